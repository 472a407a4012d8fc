#pragma once

#include <cstdint>
#include <memory>
#include <string>
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

    // The name given to the constructor; kept, not used again.
    const std::string FileName;

private:
    zv::UniqueFd Stream;
    std::vector<uint8_t> frameBytes_;  // reused between LoadFrame calls
    // One block of raw index bytes, reused between ReadFrameEntries calls.
    mutable std::vector<uint8_t> indexBytes_;
};
