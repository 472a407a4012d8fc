#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "container/ZVFConstants.h"
#include "platform/File.h"
#include "platform/Status.h"

// The reads of a recording's records over an open file. Each record (the count, an index entry,
// a frame's bytes) is read here and nowhere else; the frame store, the export, the check and the
// appender all go through these, so one rule (zvf::frameFault) decides what a sound frame is.
namespace zvf {

// The count at position 0 as stored (not made safe); nullopt when the file is shorter than it.
// Throws zv::Error on a read error.
std::optional<int32_t> readCount(zv::RandomFile &file);

// Index entry index (0 .. kCapacity - 1) into entry, as far as the file reaches: a field that the
// file does not hold whole keeps its value. True when the whole entry was read; an index outside
// the index area reads nothing. Throws zv::Error on a read error.
bool readEntry(zv::RandomFile &file, int32_t index, TZVFFrameEntry &entry);

// Entries first .. first + count - 1, decoded into entries (replacing its content, reusing its
// storage), as far as the index area and the file reach; raw is scratch space kept by the
// caller. Reads in blocks of at most 256 KB. Throws zv::Error on a read error.
void readEntries(zv::RandomFile &file, int32_t first, int32_t count,
                 std::vector<TZVFFrameEntry> &entries, std::vector<uint8_t> &raw);

// The bytes of the frame that entry names, into bytes (resized to entry.Size). Throws zv::Error
// with frameFaultText when frameFault refuses the entry against the file's current length, or
// when the file is cut while it is read. Never allocates more than the file holds.
void readFrameBytes(zv::RandomFile &file, const TZVFFrameEntry &entry, std::vector<uint8_t> &bytes);

// The frames of an export that could not be read or decoded: how many, and the first of them
// with its reason. Each export words its own summary from these (what it did instead).
class FailedFrames {
public:
    // Counts a failed frame; status holds its reason.
    void note(int32_t index, const zv::Status &status);
    int64_t count() const { return count_; }
    // "кадр <index>: <reason>" of the first failed frame; empty while none failed.
    const std::string &first() const { return first_; }

private:
    int64_t count_ = 0;
    std::string first_;
};

}  // namespace zvf
