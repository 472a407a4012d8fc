#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "container/ZVFConstants.h"
#include "container/ZVFformatUnit.h"

// Pure encoding of the format's fields over bytes; the file I/O lives in the callers. Little-endian
// on every host.
namespace zvf {

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

}  // namespace zvf
