// Range export of TZVFFormat: frames chosen by index or by time, into a new ZVF file (optionally
// packed into a 7z archive) or into a folder of GIF pictures.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/SevenZip.h"
#include "archive/WideString.h"
#include "container/ZVFConstants.h"
#include "container/ZVFFrameReader.h"
#include "container/ZVFformatUnit.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/PartFile.h"
#include "platform/Paths.h"

namespace {

const char kBadBounds[] = "Недопустимые границы экспорта";
const char kBadInterval[] = "Неверно указан временной интервал экспорта";
const char kSameFile[] = "Файл экспорта совпадает с исходным файлом видео";
const char kIndexEnds[] = "индекс обрывается";

// Frame bytes are copied in pieces of whole frames of this size at most (one larger frame is a
// piece of its own), so that progress moves and a cancel is seen several times a second even
// on a slow disk; large enough that the per-call cost does not show.
constexpr int64_t kCopyPiece = int64_t{8} << 20;
// Buffer of the read/write copy used where the kernel cannot copy between the two files.
constexpr size_t kCopyBuffer = size_t{4} << 20;

void progress(const std::function<void(int64_t, int64_t)> &hook, int64_t done, int64_t total) {
    if (hook)
        hook(done, total);
}

// Why an archive build failed, as far as the writer knows: the system's reason (a full disk,
// a folder without write permission), else what the library was left without.
std::string archiveFailure(const TSevenZip &archive, int32_t result) {
    if (const int err = archive.LastOSError.load())
        return zv::systemErrorReason(err);
    if (archive.LastErrCode.load() == SZ_NO_FILES_TO_ADD)
        return "нет файла для архивации";
    char code[48];
    std::snprintf(code, sizeof code, "ошибка 7-Zip 0x%08X", static_cast<unsigned>(result));
    return code;
}

std::string damagedFrame(int32_t index, const std::string &why) {
    return "Кадр " + std::to_string(index) + " исходного файла видео повреждён: " + why;
}

// Copies byte ranges from one open file to another: copy_file_range between two local files
// (no user-space copy, and a shared extent where the file system offers one), plain large reads
// and writes where the kernel cannot copy between these two files.
class RangeCopier {
public:
    RangeCopier(zv::RandomFile &in, zv::RandomFile &out)
        : in_(in), out_(out), kernelCopy_(in.descriptor() >= 0 && out.descriptor() >= 0) {}

    // Throws zv::Error for a write error (a full disk included) or a source that ends early.
    void copy(int64_t from, int64_t to, int64_t length) {
        while (length > 0 && kernelCopy_) {
            loff_t inPos = from, outPos = to;
            const ssize_t n = ::copy_file_range(in_.descriptor(), &inPos, out_.descriptor(),
                                                &outPos, static_cast<size_t>(length), 0);
            if (n > 0) {
                from += n;
                to += n;
                length -= n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            // 0 before the end we checked: some file systems answer so instead of copying. The
            // read/write loop below does the rest and finds a source that really ended.
            if (n == 0 || errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                errno == EINVAL || errno == EBADF || errno == ETXTBSY) {
                kernelCopy_ = false;
                break;
            }
            throw zv::Error(zv::systemErrorText("Ошибка записи в файл", errno));
        }
        while (length > 0) {
            const size_t want = static_cast<size_t>(std::min<int64_t>(length, kCopyBuffer));
            if (buffer_.size() < want)
                buffer_.resize(want);  // no larger than the copy needs (small runs are common)
            if (in_.readAt(buffer_.data(), want, from) < want)
                throw zv::Error(kSourceEnds);
            out_.writeAt(buffer_.data(), want, to);
            from += static_cast<int64_t>(want);
            to += static_cast<int64_t>(want);
            length -= static_cast<int64_t>(want);
        }
    }

private:
    static constexpr const char *kSourceEnds = "Исходный файл видео обрывается внутри кадра";
    zv::RandomFile &in_;
    zv::RandomFile &out_;
    bool kernelCopy_;
    std::vector<uint8_t> buffer_;
};

// Entries first .. first + n - 1 of the source, accepted by the rules of the check
// (zvf::frameFault, zvf::dateFault from the first entry copied on), so that every target passes
// it; throws the damage of the first that is not. Read in blocks that start small and grow, so
// that damage near the start of a long range is told without reading the rest.
std::vector<TZVFFrameEntry> acceptedEntries(zv::RandomFile &source, int32_t first, int32_t n) {
    std::vector<TZVFFrameEntry> entries, block;
    std::vector<uint8_t> scratch;
    const int64_t sourceLength = source.length();
    double previous = -INFINITY;
    for (int32_t at = first, size = 256; at - first < n;
         at += size, size = std::min(size * 4, 16'384)) {
        const int32_t want = std::min(size, n - (at - first));
        zvf::readEntries(source, at, want, block, scratch);
        for (size_t k = 0; k < block.size(); ++k) {
            const int32_t index = at + static_cast<int32_t>(k);
            const zvf::FrameFault fault = zvf::frameFault(block[k], sourceLength);
            if (fault != zvf::FrameFault::None)
                throw zv::Error(damagedFrame(index, zvf::frameFaultText(fault, block[k])));
            const zvf::DateFault date = zvf::dateFault(block[k].DateTime, previous);
            if (date != zvf::DateFault::None)
                throw zv::Error(damagedFrame(index, zvf::dateFaultText(date)));
            previous = block[k].DateTime;
        }
        if (block.size() < static_cast<size_t>(want))
            throw zv::Error(damagedFrame(at + static_cast<int32_t>(block.size()), kIndexEnds));
        entries.insert(entries.end(), block.begin(), block.end());
    }
    return entries;
}

// What the frame copy reports to and watches while it runs.
struct CopyHooks {
    const std::function<void(int64_t, int64_t)> &bytes;
    const std::function<void(int64_t, int64_t)> &frames;
    const std::atomic<bool> &cancel;
};

// Copies the entries' frames to out, packed from offset 0. Frames that lie back to back in the
// source (the recorder writes them so) are copied as one run, cut into pieces at frame
// boundaries; the target is packed, so every run lands back to back as well. Returns the frames
// in place: all of them, or those before the piece after which a cancel was seen.
int32_t copyFramesPacked(zv::RandomFile &source, zv::RandomFile &out,
                         const std::vector<TZVFFrameEntry> &entries, const CopyHooks &hooks) {
    // Read-ahead as for a sequential file: the runs are read in rising order in the usual
    // recording.
    source.adviseSequential();
    RangeCopier copier(source, out);
    const auto n = static_cast<int32_t>(entries.size());
    int64_t totalBytes = 0;
    for (const TZVFFrameEntry &e : entries)
        totalBytes += e.Size;
    int64_t done = 0, runFrom = 0, runLength = 0;
    // Copies the pending run; the frames before upTo are then in place. False when cancelled.
    auto flush = [&](int32_t upTo) {
        copier.copy(zvf::kDataBase + runFrom, zvf::kDataBase + done, runLength);
        done += runLength;
        progress(hooks.bytes, done, totalBytes);
        progress(hooks.frames, upTo, n);
        return !hooks.cancel.load();
    };
    progress(hooks.bytes, 0, totalBytes);
    progress(hooks.frames, 0, n);
    for (int32_t k = 0; k < n; ++k) {
        const TZVFFrameEntry &e = entries[static_cast<size_t>(k)];
        if (runLength > 0 && e.Offset == runFrom + runLength && runLength + e.Size <= kCopyPiece) {
            runLength += e.Size;
            continue;
        }
        if (runLength > 0 && !flush(k))
            return k;
        runFrom = e.Offset;
        runLength = e.Size;
    }
    flush(n);
    return n;
}

// Writes the entries and their frames packed from offset 0 into out: a count of 0 first, the
// entries, the frames, and the count of the frames in place last (all of them unless
// cancelled), each step on stable storage before the next. Returns that count.
int32_t writePacked(zv::RandomFile &source, zv::RandomFile &out,
                    const std::vector<TZVFFrameEntry> &entries, const CopyHooks &hooks) {
    const int32_t n = static_cast<int32_t>(entries.size());
    // The count stays 0 until the frames are in place (written last, below). It is on the disk
    // before anything else is written: an older, longer target written over in place must not
    // keep its old count over entries and frames that are partly new.
    uint8_t count[zvf::kCountSize];
    zvf::encodeCount(count, 0);
    out.writeAt(count, sizeof count, zvf::kCountPosition);
    out.sync();
    // Nothing of an older target stays behind the count: written over in place it would keep
    // its entries and frames past the new ones, which anyone could recover (and the archive
    // would carry on). The target becomes what a new file would be.
    out.truncate(zvf::kCountSize);

    // Entries keep their size and date-time as they are; only the offset changes to the
    // packed position.
    std::vector<uint8_t> index(static_cast<size_t>(n) * zvf::kEntrySize);
    int64_t packed = 0;
    for (int32_t k = 0; k < n; ++k) {
        TZVFFrameEntry e = entries[static_cast<size_t>(k)];
        e.Offset = packed;
        zvf::encodeEntry(index.data() + static_cast<size_t>(k) * zvf::kEntrySize, e);
        packed += e.Size;
    }
    out.writeAt(index.data(), index.size(), zvf::kIndexBase);

    const int32_t inPlace = copyFramesPacked(source, out, entries, hooks);

    // Entries and frames reach the disk before the count that claims them, and the count before
    // the export is reported done: after a power loss the target claims no frame it lacks.
    out.sync();
    zvf::encodeCount(count, inPlace);
    out.writeAt(count, sizeof count, zvf::kCountPosition);
    out.sync();
    return inPlace;
}

// "YYMMDD hhnnss" of a date-time, and the same digits as a number: names are equal exactly when
// the numbers are.
struct PictureStamp {
    char text[16];
    int64_t key;
};

PictureStamp pictureStamp(double dateTime) {
    const zv::DateTimeFields f = zv::decodeDateTime(dateTime);
    PictureStamp s{};
    const int yy = f.year % 100;
    std::snprintf(s.text, sizeof s.text, "%02d%02d%02d %02d%02d%02d", yy, f.month, f.day, f.hour,
                  f.minute, f.second);
    s.key =
        ((((int64_t{yy} * 100 + f.month) * 100 + f.day) * 100 + f.hour) * 100 + f.minute) * 100 +
        f.second;
    return s;
}

}  // namespace

std::pair<int32_t, int32_t> TZVFFormat::exportRangeOfTimes(double start, double end) const {
    const int32_t n = FrameCount();
    // The match is usually near its end of the file: blocks start small and grow, so that the
    // common case reads a few KB and a full scan still reads in large blocks.
    constexpr int32_t kFirstBlock = 512;
    constexpr int32_t kLargestBlock = 65'536;
    std::vector<TZVFFrameEntry> block;

    int32_t first = -1;
    for (int32_t at = 0, size = kFirstBlock; at < n && first < 0;) {
        const int32_t want = std::min(size, n - at);
        ReadFrameEntries(at, want, block);
        for (size_t i = 0; i < block.size(); ++i) {
            if (block[i].DateTime > start) {
                first = at + static_cast<int32_t>(i);
                break;
            }
        }
        if (static_cast<int32_t>(block.size()) < want)
            break;  // the file ends before its count
        at += want;
        size = std::min(size * 4, kLargestBlock);
    }
    if (first < 0)
        throw zv::Error(kBadInterval);

    int32_t last = -1;
    for (int32_t end_ = n, size = kFirstBlock; end_ > 0 && last < 0;) {
        const int32_t want = std::min(size, end_);
        const int32_t from = end_ - want;
        ReadFrameEntries(from, want, block);
        for (size_t i = block.size(); i-- > 0;) {
            if (block[i].DateTime < end) {
                last = from + static_cast<int32_t>(i);
                break;
            }
        }
        end_ = from;
        size = std::min(size * 4, kLargestBlock);
    }
    if (last < 0)
        throw zv::Error(kBadInterval);
    return {first, last};
}

void TZVFFormat::ExportVideoByTime(const std::string &target, bool compress, double start,
                                   double end) {
    const auto [first, last] = exportRangeOfTimes(start, end);
    ExportVideo(target, first, last, compress);
}

void TZVFFormat::ExportPicturesByTime(const std::string &folder, double start, double end) {
    const auto [first, last] = exportRangeOfTimes(start, end);
    ExportPictures(folder, first, last);
}

void TZVFFormat::ExportVideo(const std::string &target, int32_t first, int32_t last,
                             bool compress) {
    if (last < first)
        std::swap(first, last);
    if (first < 0 || last > FrameCount() - 1)
        throw zv::Error(kBadBounds);
    const int32_t n = last - first + 1;

    // The whole index range is read and checked before the target is touched: a damaged entry
    // must not leave a half-written file behind, nor make us copy bytes that are not there.
    const std::vector<TZVFFrameEntry> entries = acceptedEntries(*Stream, first, n);

    // No output is the recording, under any name: neither the target nor its archive.
    const std::string native = zv::nativeFilePath(target);
    refuseSource(native);
    if (compress)
        refuseSource(native + ".7z");
    // A second export to the same target fails here, before it has touched anything.
    const zv::TargetLock lock(native);
    std::optional<zv::TargetLock> archiveLock;
    if (compress)
        archiveLock.emplace(native + ".7z");
    {
        std::unique_ptr<zv::RandomFile> out =
            files_.open(native, zv::FileSystem::OpenMode::ReadWriteOrCreate);
        // Checked again on the open file: the name may have been pointed elsewhere meanwhile.
        if (out->id() == Stream->id())
            throw zv::Error(kSameFile);
        // The same file under another name (a link) is another export's target as well.
        if (!out->tryLock())
            throw zv::Error(zv::targetBusyText(native));

        const CopyHooks hooks{OnExportProgress, OnExportFrames, CancelExport};
        if (writePacked(*Stream, *out, entries, hooks) < n)
            return;  // cancelled: no archive of a part
        // Success is reported only for a file that is where its name says (its folder may have
        // been removed or renamed meanwhile).
        if (files_.idOf(native) != out->id())
            throw zv::Error("Файл \"" + native + "\" удалён или заменён во время экспорта");
    }

    if (compress && !CancelExport.load())
        archiveExport(target);
}

void TZVFFormat::refuseSource(const std::string &native) const {
    if (files_.idOf(native) == Stream->id())
        throw zv::Error(kSameFile);
}

void TZVFFormat::archiveExport(const std::string &target) {
    const std::string name = target + ".7z";
    const std::string native = zv::nativeFilePath(name);
    // Written to a part file of our own and put in place only when complete: a kill or a failure
    // leaves an older archive as it was and no broken one. Parts a killed export left behind go
    // first (this export holds the archive's name).
    zv::removeStaleParts(native);
    zv::PartFile part(native, 0666);
    TSevenZip archive;
    archive.SZFileName = zv::utf8ToWide(part.openPath());
    archive.LZMACompressStrength = TCompressStrength::NORMAL;
    archive.SetVolumeSize(0);
    // The target is a file whatever its name holds: "*" is an ordinary character here.
    archive.NoFolderMasks = true;
    archive.Files.Add(zv::utf8ToWide(target));
    // Set before the library runs and only read while it runs.
    std::atomic<int64_t> total{0};
    archive.OnPreProgress = [&](TSevenZip *, int64_t size) {
        total = size;
        progress(OnArchiveProgress, 0, size);
    };
    archive.OnProgress = [&](TSevenZip *sender, const std::wstring &, int64_t packed, int64_t) {
        progress(OnArchiveProgress, packed, total.load());
        if (CancelExport.load())
            sender->CancelRequested = true;
    };
    // A failed or cancelled build leaves no archive file (the part goes with this function).
    // The finished ZVF file stays either way; a failure is the operator's to know, since the
    // archive is what gets handed out.
    int32_t result = 0;
    try {
        result = archive.AddFiles();
    } catch (const TSevenZipAbort &) {
        result = -1;  // the archive file could not be created; LastOSError says why
    }
    if (CancelExport.load())
        return;
    if (result != 0)
        throw zv::Error("Не удалось создать архив \"" + name +
                        "\": " + archiveFailure(archive, result));
    try {
        part.commit();
    } catch (const zv::Error &e) {
        throw zv::Error("Не удалось создать архив \"" + name + "\": " +
                        (part.lastError() ? zv::systemErrorReason(part.lastError()) : e.what()));
    }
}

void TZVFFormat::ExportPictures(const std::string &folder, int32_t first, int32_t last) {
    namespace fs = std::filesystem;
    std::string nativeFolder = zv::nativePath(folder);
    while (nativeFolder.size() > 1 && nativeFolder.back() == '/')
        nativeFolder.pop_back();
    std::error_code error;
    fs::create_directories(nativeFolder, error);
    if (!fs::is_directory(nativeFolder, error))
        return;

    if (last < first)
        std::swap(first, last);
    if (first < 0 || last > FrameCount() - 1)
        throw zv::Error(kBadBounds);
    const int64_t total = int64_t{last} - first + 1;

    // How many pictures of each second this export has written, to name the next one.
    std::unordered_map<int64_t, int> perSecond;
    zvf::FailedFrames failed;
    std::vector<TZVFFrameEntry> entries;
    std::vector<uint8_t> bytes;
    zv::GifImage image;
    constexpr int32_t kBlock = 1'024;

    // Reports frame i as done; false when the export is cancelled.
    auto frameDone = [&](int32_t i) {
        progress(OnExportProgress, i - int64_t{first} + 1, total);
        progress(OnExportFrames, i - int64_t{first} + 1, total);
        return !CancelExport.load();
    };
    progress(OnExportProgress, 0, total);
    progress(OnExportFrames, 0, total);
    for (int32_t at = first; at <= last;) {
        const int32_t want = std::min(kBlock, last - at + 1);
        ReadFrameEntries(at, want, entries);
        for (int32_t k = 0; k < want; ++k) {
            const int32_t i = at + k;
            const zv::Status read = zv::statusOf([&] {
                if (k >= static_cast<int32_t>(entries.size()))
                    throw zv::Error(kIndexEnds);
                zvf::readFrameBytes(*Stream, entries[static_cast<size_t>(k)], bytes);
                image.loadFromBytes(bytes.data(), bytes.size());
            });
            if (!read.ok()) {
                failed.note(i, read);
                if (!frameDone(i))
                    return;
                continue;
            }
            const PictureStamp stamp = pictureStamp(entries[static_cast<size_t>(k)].DateTime);
            const int nth = ++perSecond[stamp.key];
            std::string name = nativeFolder;
            name += '/';
            name += stamp.text;
            if (nth > 1) {
                name += '_';
                name += std::to_string(nth);
            }
            name += ".GIF";
            // The recording itself may lie in the folder under a picture's name.
            if (files_.idOf(name) == Stream->id())
                throw zv::Error(std::string(kSameFile) + ": \"" + name + "\"");
            // A picture that cannot be written stops the export: the next would fail the same.
            // Written whole under a part of its own and renamed into place: a file or a link
            // planted under the picture's name is replaced, never written through. A frame
            // stored as one plain picture (what the encoder writes) is written as it is; only
            // frames with anything else in them are encoded anew. Not synced one by one (the
            // export never synced its pictures; thousands of syncs would multiply its time).
            const bool stored = zv::isPlainGif(bytes.data(), bytes.size());
            const std::vector<uint8_t> encoded =
                stored ? std::vector<uint8_t>{} : image.saveToBytes();
            const std::vector<uint8_t> &gif = stored ? bytes : encoded;
            zv::writeWholeFile(name, gif.data(), gif.size(), 0666, false);
            if (!frameDone(i))
                return;
        }
        at += want;
    }
    if (failed.count() > 0)
        throw zv::Error(
            "Не сохранено кадров, которые не удалось прочитать: " + std::to_string(failed.count()) +
            " из " + std::to_string(total) + " (" + failed.first() + ")");
}

std::pair<int32_t, int32_t> TZVFFormat::ExportRange(int32_t first, int32_t last) const {
    if (last < first)
        std::swap(first, last);
    if (first < 0 || last > FrameCount() - 1)
        throw zv::Error(kBadBounds);
    return {first, last};
}

std::pair<int32_t, int32_t> TZVFFormat::ExportRangeByTime(double start, double end) const {
    const auto [first, last] = exportRangeOfTimes(start, end);
    return ExportRange(first, last);
}

void TZVFFormat::CheckExportTarget(const std::string &target) const {
    if (files_.idOf(zv::nativePath(target)) == Stream->id())
        throw zv::Error(kSameFile);
}
