#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

// The record layout of a ZVF recording, shared by every reader and writer of the module: the
// positions, the index entry and its coding over bytes, and the one rule of what an entry must
// hold to name a readable frame. Pure functions over bytes; the file I/O lives in the callers.
// Little-endian on every host; all positions are absolute byte positions from the file's start.

// One index entry as held in memory. The field order (offset, date-time, size) differs from the
// order in the file (offset, size, date-time).
struct TZVFFrameEntry {
    int64_t Offset = 0;     // data offset, relative to position 10,000,000
    double DateTime = 0.0;  // when the frame was taken, local time
    int32_t Size = 0;       // length of the frame's GIF bytes
};

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
// Largest frame any reader accepts: a screen of 8,192 x 8,192 pixels stored uncompressed is
// 64 MB, so an entry claiming more is damaged (and must not make a reader allocate what it claims).
inline constexpr int32_t kMaxFrameSize = 256 << 20;

static_assert((kDataBase - kIndexBase) / kEntrySize == kCapacity);

// Position of index entry i, in 64 bits.
constexpr int64_t entryPosition(int64_t index) {
    return kIndexBase + kEntrySize * index;
}

inline uint64_t loadLe64(const uint8_t *p) {
    uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

inline uint32_t loadLe32(const uint8_t *p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline void storeLe64(uint8_t *p, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void storeLe32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline int32_t decodeCount(const uint8_t *p) {
    return static_cast<int32_t>(loadLe32(p));
}
inline void encodeCount(uint8_t *p, int32_t count) {
    storeLe32(p, static_cast<uint32_t>(count));
}

inline int64_t decodeOffset(const uint8_t *entry) {
    return static_cast<int64_t>(loadLe64(entry + kEntryOffsetField));
}
inline int32_t decodeSize(const uint8_t *entry) {
    return static_cast<int32_t>(loadLe32(entry + kEntrySizeField));
}
inline double decodeDateTime(const uint8_t *entry) {
    return std::bit_cast<double>(loadLe64(entry + kEntryDateTimeField));
}

// entry points at kEntrySize bytes in file order (offset, size, date-time).
inline TZVFFrameEntry decodeEntry(const uint8_t *entry) {
    TZVFFrameEntry e;
    e.Offset = decodeOffset(entry);
    e.Size = decodeSize(entry);
    e.DateTime = decodeDateTime(entry);
    return e;
}

inline void encodeEntry(uint8_t *entry, const TZVFFrameEntry &e) {
    storeLe64(entry + kEntryOffsetField, static_cast<uint64_t>(e.Offset));
    storeLe32(entry + kEntrySizeField, static_cast<uint32_t>(e.Size));
    storeLe64(entry + kEntryDateTimeField, std::bit_cast<uint64_t>(e.DateTime));
}

// Entries a file of the given length holds completely, at most kCapacity.
inline int32_t entriesHeld(int64_t fileLength) {
    if (fileLength < kIndexBase + kEntrySize)
        return 0;
    int64_t n = (fileLength - kIndexBase) / kEntrySize;
    return n > kCapacity ? kCapacity : static_cast<int32_t>(n);
}

// Why an entry names no readable frame, the first that applies.
enum class FrameFault {
    None,       // a frame of Size bytes, all inside the file's data area
    Size,       // Size is 0 or negative: no picture
    TooLarge,   // Size is above kMaxFrameSize
    Offset,     // Offset is negative: the bytes would lie before the data area
    BeyondEnd,  // the bytes run past the end of the file (or the sum overflows)
};

// The one rule of a readable frame, for every reader and writer: a size above 0 and at most
// kMaxFrameSize, an offset of 0 or more, and every byte between kDataBase + Offset and
// kDataBase + Offset + Size inside a file of fileLength bytes. Written so that no sum can
// overflow.
constexpr FrameFault frameFault(const TZVFFrameEntry &e, int64_t fileLength) {
    if (e.Size <= 0)
        return FrameFault::Size;
    if (e.Size > kMaxFrameSize)
        return FrameFault::TooLarge;
    if (e.Offset < 0)
        return FrameFault::Offset;
    const int64_t data = fileLength - kDataBase;
    if (data < e.Size || e.Offset > data - e.Size)
        return FrameFault::BeyondEnd;
    return FrameFault::None;
}

// The operator's text for a fault (Russian, as the frame store and the export show it).
inline std::string frameFaultText(FrameFault fault, const TZVFFrameEntry &e) {
    switch (fault) {
        case FrameFault::None:
            return {};
        case FrameFault::Size:
            return "Недопустимый размер кадра: " + std::to_string(e.Size);
        case FrameFault::TooLarge:
            return "Недопустимый размер кадра: " + std::to_string(e.Size) + " (больше 256 МБ)";
        case FrameFault::Offset:
            return "Недопустимое смещение кадра: " + std::to_string(e.Offset);
        case FrameFault::BeyondEnd:
            break;
    }
    // The runtime's text for a stream that ends before the bytes asked for.
    return "Ошибка чтения потока: данные кадра за концом файла";
}

// Why an entry's date-time breaks the order of a recording, the first that applies.
enum class DateFault {
    None,       // a finite date-time, not earlier than the one before
    NotFinite,  // NaN or an infinity: no moment at all
    Falls,      // earlier than the date-time of the entry before
};

// The one rule of date-times, for the check and the export alike: each is finite and none is
// earlier than the one before it (previous: that of the entry before, -infinity for the first).
inline DateFault dateFault(double dateTime, double previous) {
    if (!std::isfinite(dateTime))
        return DateFault::NotFinite;
    if (dateTime < previous)
        return DateFault::Falls;
    return DateFault::None;
}

inline std::string dateFaultText(DateFault fault) {
    switch (fault) {
        case DateFault::None:
            break;
        case DateFault::NotFinite:
            return "дата и время кадра не являются числом";
        case DateFault::Falls:
            return "дата и время кадра раньше, чем у предыдущего";
    }
    return {};
}

}  // namespace zvf
