#include "recorder/RecordingWriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "container/ZVFAppender.h"
#include "container/ZVFFrameReader.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "recorder/FrameEncoding.h"
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

// A new recording file holding the count 0: written under a temporary name and linked in, so the
// name never stands for a file shorter than the count. An existing file is left alone.
void createEmptyRecording(const std::string &file) {
    const fs::path path(file);
    // Put together as a path: GCC 12 warns (-Wrestrict) wrongly about "." + name at -O2 and above.
    fs::path tempName(".");
    tempName += path.filename();
    tempName += ".new";
    const std::string temp = (path.parent_path() / tempName).string();
    UniqueFd fd = openFile(temp, O_WRONLY | O_CREAT | O_TRUNC);
    const uint8_t count[4] = {0, 0, 0, 0};
    writeAt(fd.get(), count, sizeof count, 0);
    fd.reset();
    const int linked = ::link(temp.c_str(), file.c_str());
    const int err = errno;
    ::unlink(temp.c_str());
    if (linked != 0 && err != EEXIST)
        throw Error(systemErrorText("Не удается создать файл " + quoted(file), err));
}

// Renames without replacing: false when target exists.
bool renameNoReplace(const std::string &from, const std::string &to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {  // a file system without the flag: link, then unlink
        if (::link(from.c_str(), to.c_str()) == 0) {
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

RecordingWriter::~RecordingWriter() = default;

void RecordingWriter::close() {
    appender_.reset();
    inspect_.reset();  // releases the lock
    current_.clear();
    lastDateTime_.reset();
}

void RecordingWriter::open(const std::string &file) {
    makeRecordingFolder(file, FolderLevels::WithParents);
    if (!files_.idOf(file))
        createEmptyRecording(file);
    std::unique_ptr<RandomFile> inspect = files_.open(file, FileSystem::OpenMode::Read);
    const int fd = inspect->descriptor();
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0)
        throw Error("Файл " + quoted(file) + " уже записывает другая программа");
    auto appender = std::make_unique<ZVFAppender>(file, files_);
    const int32_t count = zvf::readCount(*inspect).value_or(0);
    TZVFFrameEntry last;
    lastDateTime_.reset();
    if (count > 0 && count <= zvf::kCapacity && zvf::readEntry(*inspect, count - 1, last))
        lastDateTime_ = last.DateTime;
    inspect_ = std::move(inspect);
    appender_ = std::move(appender);
    current_ = file;
}

bool RecordingWriter::needsRotation(int64_t maxBytes, size_t frameSize, double dateTime) {
    const int32_t count = zvf::readCount(*inspect_).value_or(0);
    if (count <= 0)
        return false;  // a file takes its first frame whatever its size
    if (count >= zvf::kCapacity)
        return true;
    if (maxBytes > 0 && inspect_->length() + static_cast<int64_t>(frameSize) > maxBytes)
        return true;
    return lastDateTime_ && dateTime < *lastDateTime_;
}

void RecordingWriter::rotate() {
    const int32_t count = zvf::readCount(*inspect_).value_or(0);
    const int64_t length = inspect_->length();
    TZVFFrameEntry first;
    const double firstDateTime =
        zvf::readEntry(*inspect_, 0, first) ? first.DateTime : lastDateTime_.value_or(0.0);
    const std::string from = current_;
    for (int number = 1;; ++number) {
        const std::string to = rotatedFileName(from, firstDateTime, number);
        if (renameNoReplace(from, to)) {
            if (log_)
                log_(LogLevel::Info, "Файл " + quoted(from) + " (" + std::to_string(count) +
                                         " кадров, " + std::to_string(length) +
                                         " байт) переименован в " + quoted(to));
            break;
        }
    }
    close();
}

void RecordingWriter::append(const std::string &file, int64_t maxBytes,
                             const std::vector<uint8_t> &gif, double dateTime) {
    dateTime = roundToMillisecond(dateTime);
    if (appender_ && (current_ != file || files_.idOf(current_) != inspect_->id()))
        close();
    try {
        if (!appender_)
            open(file);
        if (needsRotation(maxBytes, gif.size(), dateTime)) {
            rotate();
            open(file);
        }
        appendFrame(*appender_, gif, dateTime);
        lastDateTime_ = dateTime;
    } catch (...) {
        close();
        throw;
    }
}

}  // namespace zv
