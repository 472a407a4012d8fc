#pragma once

#include <cstdint>

// Layout of a ZVF recording, shared by every reader and writer of the module. Little-endian
// throughout; all positions are absolute byte positions from the start of the file.
namespace zvf {

// Position of the frame count: int32, the number of valid index entries.
inline constexpr int64_t kCountPosition = 0;
// Width of the frame count in bytes.
inline constexpr int64_t kCountSize = 4;
// Position of index entry 0; entry i starts at kIndexBase + kEntrySize * i.
inline constexpr int64_t kIndexBase = 2'000;
// Bytes per index entry: offset (int64), size (int32), date-time (double), in that order.
inline constexpr int64_t kEntrySize = 20;
// Offset of the data offset inside an entry: int64, frame position minus kDataBase.
inline constexpr int64_t kEntryOffsetField = 0;
// Offset of the frame size inside an entry: int32, length of the frame's GIF bytes.
inline constexpr int64_t kEntrySizeField = 8;
// Offset of the date-time inside an entry: double, days since 1899-12-30, local time.
inline constexpr int64_t kEntryDateTimeField = 12;
// Position to which every data offset is relative; the data area starts here.
inline constexpr int64_t kDataBase = 10'000'000;
// Most frames a file holds: (kDataBase - kIndexBase) / kEntrySize.
inline constexpr int32_t kCapacity = 499'900;

static_assert((kDataBase - kIndexBase) / kEntrySize == kCapacity);

// Position of index entry i, in 64 bits.
constexpr int64_t entryPosition(int64_t index) {
    return kIndexBase + kEntrySize * index;
}

}  // namespace zvf
