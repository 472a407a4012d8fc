#include "recorder/RecordingWriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <random>

#include "container/ZVFConstants.h"
#include "container/ZVFFrameReader.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "recorder/RecordingRepair.h"
#include "recorder/RotatedFiles.h"

namespace fs = std::filesystem;

namespace zv {

namespace {

std::string quoted(const std::string &path) {
    return "\"" + path + "\"";
}

// The folder <root>/drive_<x> of a mapped drive path, empty for any other path.
fs::path driveFolderOf(const fs::path &file) {
    const fs::path root = fs::path(zorvideoRoot()).lexically_normal();
    const fs::path relative = file.lexically_normal().lexically_relative(root);
    if (relative.empty() || *relative.begin() == "..")
        return {};
    const std::string first = relative.begin()->string();
    if (first.size() == 7 && first.rfind("drive_", 0) == 0)
        return root / first;
    return {};
}

// Links the file open at fd in under name. The kernel's name of the descriptor links exactly the
// file we made, whatever has since happened to any name in the folder; without /proc the
// descriptor itself is linked (which needs the right to search any path, as root has).
bool linkOpenFile(int fd, const std::string &name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno != ENOENT)
        return false;
    return ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}

// A file of our own in folder with no name (O_TMPFILE), or, where the file system has no such
// files, under a random name created exclusively without following a link (its name then
// returned in temp, to be removed once the file is linked in).
UniqueFd createUnnamed(const fs::path &folder, std::string &temp) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
    if (fd >= 0)
        return UniqueFd(fd);
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        throw Error(systemErrorText("Не удается создать файл в папке " + quoted(folder), errno));
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, ".zorvideo-%08x%08x.new", random(), random());
        temp = (folder / name).string();
        fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0)
            return UniqueFd(fd);
        if (errno != EEXIST)
            break;
    }
    throw Error(systemErrorText("Не удается создать файл в папке " + quoted(folder), errno));
}

// A new recording file holding the count 0, linked in under file once the count is on disk, so
// the name never stands for a file shorter than the count and no link planted in the folder is
// followed. An existing file (or link) of that name is left alone.
void createEmptyRecording(const std::string &file) {
    const fs::path path(file);
    std::string temp;
    UniqueFd fd = createUnnamed(path.parent_path(), temp);
    const uint8_t count[4] = {0, 0, 0, 0};
    int err = 0;
    try {
        writeAt(fd.get(), count, sizeof count, 0);
        syncFile(fd.get(), "Ошибка записи в файл");
        if (!linkOpenFile(fd.get(), file))
            err = errno;
    } catch (...) {
        if (!temp.empty())
            ::unlink(temp.c_str());
        throw;
    }
    if (!temp.empty())
        ::unlink(temp.c_str());
    if (err != 0 && err != EEXIST)
        throw Error(systemErrorText("Не удается создать файл " + quoted(file), err));
}

// A symbolic link at the recording's name that another user made is not followed: in a folder
// that others may write it could lead the recorder to write over any file it may write.
void refuseForeignLink(const std::string &file) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && st.st_uid != ::geteuid())
        throw Error("Файл записи " + quoted(file) +
                    " - символьная ссылка другого пользователя; запись в нее не ведется");
}

// Renames without replacing: false when target exists. fd is the file open under from: where the
// file system lacks the flag, that very file is linked in under the new name and the old name
// removed.
bool renameNoReplace(const std::string &from, const std::string &to, int fd) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    int err = errno;
    if ((err == EINVAL || err == ENOSYS) && fd >= 0) {
        if (linkOpenFile(fd, to)) {
            ::unlink(from.c_str());
            return true;
        }
        err = errno;
    }
    if (err == EEXIST)
        return false;
    throw Error(systemErrorText("Не удается переименовать файл " + quoted(from), err));
}

}  // namespace

void makeRecordingFolder(const std::string &file, FolderLevels levels) {
    const std::string nativeFile = nativePath(file);
    const fs::path folder = fs::path(nativeFile).parent_path();
    std::error_code ec;
    if (folder.empty() || fs::is_directory(folder, ec))
        return;
    if (levels == FolderLevels::LastOnly) {
        if (fs::is_directory(folder.parent_path(), ec))
            fs::create_directory(folder, ec);
    } else {
        const fs::path drive = driveFolderOf(nativeFile);
        if (!drive.empty() && !fs::is_directory(drive, ec))
            throw Error("Нет диска " + quoted(drive.string()) + " для файла " + quoted(nativeFile));
        fs::create_directories(folder, ec);
    }
    if (ec)
        throw Error("Не удается создать папку " + quoted(folder.string()) + ": " + ec.message());
}

RecordingWriter::RecordingWriter(FileSystem &files, RecorderLog log)
    : files_(files), log_(std::move(log)) {}

RecordingWriter::~RecordingWriter() {
    close();
}

void RecordingWriter::close() {
    if (committer_) {
        try {
            committer_->flush();
        } catch (const Error &e) {
            noteUncounted(e.what());
        }
    }
    committer_.reset();
    file_.reset();  // releases the lock
    current_.clear();
    lastDateTime_.reset();
}

void RecordingWriter::flush() {
    if (!committer_)
        return;
    try {
        committer_->flush();
    } catch (const Error &e) {
        noteUncounted(e.what());
        throw;
    }
}

void RecordingWriter::noteUncounted(const std::string &reason) {
    const int32_t lost = count_ - committer_->committed();
    if (lost <= 0)
        return;
    uncounted_ += static_cast<uint64_t>(lost);
    count_ -= lost;
    if (log_)
        log_(LogLevel::Error, "Кадров записано, но не учтено в счетчике: " + std::to_string(lost) +
                                  " (" + reason + ")");
}

void RecordingWriter::open(const std::string &file, double at) {
    refuseForeignLink(file);
    if (!files_.idOf(file)) {
        makeRecordingFolder(file, FolderLevels::WithParents);
        createEmptyRecording(file);
    }
    std::unique_ptr<RandomFile> opened = files_.open(file, FileSystem::OpenMode::ReadWriteOrCreate);
    const int fd = opened->descriptor();
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0)
        throw Error("Файл " + quoted(file) + " уже записывает другая программа");
    file_ = std::move(opened);
    current_ = file;
    if (!repairOrSetAside(file, at))
        return open(file, at);  // a new file in place of the one set aside
    count_ = zvf::readCount(*file_).value_or(0);
    nextOffset_ = 0;
    lastDateTime_.reset();
    TZVFFrameEntry last;
    if (count_ > 0 && zvf::readEntry(*file_, count_ - 1, last)) {
        lastDateTime_ = last.DateTime;
        nextOffset_ = last.Offset + last.Size;  // a sound frame: no overflow
    }
    committer_ = std::make_unique<CountCommitter>(*file_, count_);
}

bool RecordingWriter::repairOrSetAside(const std::string &file, double at) {
    const RecordingVerdict verdict = inspectRecording(*file_);
    switch (verdict.kind) {
        case RecordingVerdict::Kind::Sound:
            return true;
        case RecordingVerdict::Kind::TornTail: {
            // In place: the count alone changes; the bytes beyond it carry no meaning.
            uint8_t countBytes[zvf::kCountSize];
            zvf::encodeCount(countBytes, verdict.keep);
            file_->writeAt(countBytes, sizeof countBytes, zvf::kCountPosition);
            file_->syncData();
            if (log_)
                log_(LogLevel::Warning,
                     "Файл " + quoted(file) + " поврежден в конце (" + verdict.problem +
                         "): он укорочен до " + std::to_string(verdict.keep) +
                         " целых кадров, отброшено кадров: " +
                         std::to_string(std::max(verdict.count, verdict.keep) - verdict.keep));
            return true;
        }
        case RecordingVerdict::Kind::Damaged:
            setAside(file, at, verdict.problem);
            return false;
    }
    return true;
}

void RecordingWriter::setAside(const std::string &file, double at, const std::string &problem) {
    const int fd = file_->descriptor();
    for (int number = 1;; ++number) {
        const std::string to = damagedFileName(file, at, number);
        if (renameNoReplace(file, to, fd)) {
            if (log_)
                log_(LogLevel::Warning, "Файл " + quoted(file) + " поврежден (" + problem +
                                            "): он отложен без изменений как " + quoted(to) +
                                            ", запись идет в новый файл");
            break;
        }
    }
    close();
}

bool RecordingWriter::needsRotation(int64_t maxBytes, size_t frameSize, double dateTime) {
    if (count_ <= 0)
        return false;  // a file takes its first frame whatever its size
    if (count_ >= zvf::kCapacity)
        return true;
    if (maxBytes > 0 && file_->length() + static_cast<int64_t>(frameSize) > maxBytes)
        return true;
    return lastDateTime_ && dateTime < *lastDateTime_;
}

void RecordingWriter::rotate() {
    committer_->flush();  // the file moves with every frame counted
    const int64_t length = file_->length();
    TZVFFrameEntry first;
    const double firstDateTime =
        zvf::readEntry(*file_, 0, first) ? first.DateTime : lastDateTime_.value_or(0.0);
    const std::string from = current_;
    for (int number = 1;; ++number) {
        const std::string to = rotatedFileName(from, firstDateTime, number);
        if (renameNoReplace(from, to, file_->descriptor())) {
            if (log_)
                log_(LogLevel::Info, "Файл " + quoted(from) + " (" + std::to_string(count_) +
                                         " кадров, " + std::to_string(length) +
                                         " байт) переименован в " + quoted(to));
            break;
        }
    }
    close();
}

// Frame bytes, then the entry; the committer syncs and raises the count. Damage done behind the
// writer's back (the file cut, the count changed) is found here, before anything is written.
void RecordingWriter::writeFrame(const std::vector<uint8_t> &gif, double dateTime) {
    const std::string failure = committer_->takeFailure();
    if (!failure.empty()) {
        noteUncounted(failure);
        throw Error(failure);
    }
    if (gif.empty() || gif.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw Error("Недопустимый размер кадра: " + std::to_string(gif.size()));
    const std::optional<int32_t> stored = zvf::readCount(*file_);
    if (!stored || *stored < 0 || *stored > count_ ||
        (count_ > 0 && file_->length() < zvf::kDataBase + nextOffset_))
        throw Error("Поврежден индекс кадров");
    file_->writeAt(gif.data(), gif.size(), zvf::kDataBase + nextOffset_);
    uint8_t entry[zvf::kEntrySize];
    zvf::encodeEntry(entry,
                     TZVFFrameEntry{nextOffset_, dateTime, static_cast<int32_t>(gif.size())});
    file_->writeAt(entry, sizeof entry, zvf::entryPosition(count_));
    ++count_;
    nextOffset_ += static_cast<int64_t>(gif.size());
    committer_->written(count_);
}

void RecordingWriter::appendOnce(const std::string &file, int64_t maxBytes,
                                 const std::vector<uint8_t> &gif, double dateTime) {
    if (!file_)
        open(file, dateTime);
    if (needsRotation(maxBytes, gif.size(), dateTime)) {
        rotate();
        open(file, dateTime);
    }
    writeFrame(gif, dateTime);
    lastDateTime_ = dateTime;
}

void RecordingWriter::append(const std::string &file, int64_t maxBytes,
                             const std::vector<uint8_t> &gif, double dateTime) {
    dateTime = roundToMillisecond(dateTime);
    if (file_ && (current_ != file || files_.idOf(current_) != file_->id()))
        close();
    try {
        appendOnce(file, maxBytes, gif, dateTime);
    } catch (const Error &) {
        // Damage that came while the file was open (cut by another program, say) shows as a
        // failed append: the file is opened anew, which mends it or sets it aside, and the
        // frame goes in at once. Any other failure stands.
        const bool wasOpen = file_ != nullptr;
        close();
        if (!wasOpen || !damagedNow(file))
            throw;
        try {
            appendOnce(file, maxBytes, gif, dateTime);
        } catch (...) {
            close();
            throw;
        }
    }
}

bool RecordingWriter::damagedNow(const std::string &file) {
    try {
        std::unique_ptr<RandomFile> look = files_.open(file, FileSystem::OpenMode::Read);
        return inspectRecording(*look).kind != RecordingVerdict::Kind::Sound;
    } catch (const Error &) {
        return false;
    }
}

}  // namespace zv
