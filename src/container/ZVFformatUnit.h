#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "container/GifImage.h"
#include "platform/File.h"

// One index entry as held in memory. The field order (offset, date-time, size) differs from the
// order in the file (offset, size, date-time).
struct TZVFFrameEntry {
    int64_t Offset = 0;     // data offset, relative to position 10,000,000
    double DateTime = 0.0;  // when the frame was taken, local time
    int32_t Size = 0;       // length of the frame's GIF bytes
};

// The frame store over one ZVF file: the only class that touches a recording's bytes.
//
// The file is opened read-only and may be appended to by the recorder (or read by another
// instance) at the same time. Nothing is cached: the count and the entries are read from the file
// on every call, so a count read later may be larger than one read earlier. Only reusable scratch
// buffers are kept. Not thread-safe; all calls come from one thread.
class TZVFFormat {
public:
    // fileName is the name as the operator sees it (a drive path is mapped to the file system).
    // A missing file is created empty first. Throws zv::Error when the file cannot be created or
    // opened.
    explicit TZVFFormat(const std::string &fileName);
    ~TZVFFormat();
    TZVFFormat(const TZVFFormat &) = delete;
    TZVFFormat &operator=(const TZVFFormat &) = delete;

    // The count at position 0, made safe for damaged files: a negative count (or a file shorter
    // than 4 bytes) gives 0; a count above 499,900, or above the entries the file physically
    // holds, is cut to what is there. Raises nothing.
    int32_t FrameCount() const;

    // Reads entry index field by field. Does not compare the index with the count (an index equal
    // to the count reads the next, not yet valid, slot). Fields that the file does not reach keep
    // their values. Raises nothing.
    void ReadFrameEntry(int32_t index, TZVFFrameEntry &entry) const;

    // Entries first .. first + count - 1 in a few large reads (no seek per entry), as far as the
    // index area and the file reach (fewer when the file ends or the range leaves the index area;
    // none for a negative first or count). Does not compare with FrameCount. Raises nothing.
    std::vector<TZVFFrameEntry> ReadFrameEntries(int32_t first, int32_t count) const;
    // The same into entries (replacing its content), reusing its storage: for callers that read
    // the index again and again (a full index is 12 MB in memory; a fresh one costs page faults).
    void ReadFrameEntries(int32_t first, int32_t count, std::vector<TZVFFrameEntry> &entries) const;

    // Current length of the file in bytes.
    int64_t FileSize() const;

    // Decodes frame index into a new image that the caller owns. Any failure (a read error, an
    // entry that is damaged or points beyond the file, bytes that are not a GIF) is shown through
    // the message hook as "Ошибка получения данных из файла видео:" + "\r" + the error's message,
    // and the image is returned empty; nothing is raised. Never allocates more than the file holds.
    std::unique_ptr<zv::GifImage> LoadFrame(int32_t index);

    // The same into an image the caller keeps, reusing its buffers; false after a failure (the
    // message is shown the same way and the image is empty).
    bool LoadFrame(int32_t index, zv::GifImage &image);

    // Range export. Indices are inclusive bounds in either order; times are date-times of the
    // format, and a frame whose date-time equals start or end lies outside the interval (an
    // interval between two neighbouring frames gives both). Errors are zv::Error with the
    // operator's text: "Недопустимые границы экспорта" for indices outside 0 .. FrameCount() - 1
    // (every range on a file of no frames), "Неверно указан временной интервал экспорта" when no
    // frame is later than start or none earlier than end; file-system and archive errors pass
    // through as raised.

    // Decodes frames first .. last and writes each as a GIF file "YYMMDD hhnnss.GIF" (the
    // frame's date-time) in folder, which is created with its parents; returns silently when it
    // cannot be. Frames of one second in one export get "_2", "_3", … before ".GIF". A frame
    // that cannot be read or decoded writes no picture and the export goes on; afterwards one
    // zv::Error names how many failed and the first failure. A failed write stops the export.
    void ExportPictures(const std::string &folder, int32_t first, int32_t last);
    void ExportPicturesByTime(const std::string &folder, double start, double end);

    // Copies entries and frame bytes first .. last raw into target, packed from offset 0, and
    // with compress packs the finished target into target + ".7z" beside it (the target stays;
    // the archive writer's result is not examined). An existing target is written over in place
    // and keeps its length. Refused before the target is touched: the source file itself under
    // any name, and an entry with a negative size or with bytes outside the source's data area
    // (an entry of size 0 is copied as an empty frame). The count is written last (0 until every
    // frame is in place), so a target left by a failure never claims a frame it does not hold.
    void ExportVideo(const std::string &target, int32_t first, int32_t last, bool compress);
    void ExportVideoByTime(const std::string &target, bool compress, double start, double end);

    // Called during an export with the work done and the total: bytes of frames for a ZVF
    // export, frames for pictures. May be empty. An exception it throws stops the export.
    std::function<void(int64_t done, int64_t total)> OnExportProgress;

    // The name given to the constructor; kept, not used again.
    const std::string FileName;

private:
    // The index range of a time interval, in the order found (first may exceed last).
    std::pair<int32_t, int32_t> exportRangeOfTimes(double start, double end) const;

    zv::UniqueFd Stream;
    std::vector<uint8_t> frameBytes_;  // reused between LoadFrame calls
    // One block of raw index bytes, reused between ReadFrameEntries calls.
    mutable std::vector<uint8_t> indexBytes_;
};
