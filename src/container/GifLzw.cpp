#include "container/GifLzw.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace zv {

namespace {

constexpr int kMaxBits = 12;
constexpr uint32_t kCodes = 1u << kMaxBits;
// The last code the encoder hands out before it starts over with a clear code (as giflib does:
// one short of the table's end, which every decoder reads alike).
constexpr uint32_t kLastCode = kCodes - 1;
// Alphabets up to this many bits (16 colours) go through a direct table.
constexpr int kDirectBits = 4;

// Packs codes of varying width, least significant bit first, into a byte buffer large enough
// for every code of the picture and 8 bytes more. Each code stores 8 bytes and moves on by the
// whole bytes done: no branch, which would go one way or the other every few codes.
class BitWriter {
public:
    explicit BitWriter(uint8_t *out) : out_(out), start_(out) {}
    void put(uint32_t code, int width) {
        acc_ |= uint64_t{code} << bits_;
        bits_ += width;
        uint8_t bytes[8];
        for (int k = 0; k < 8; ++k)
            bytes[k] = static_cast<uint8_t>(acc_ >> (8 * k));
        std::memcpy(out_, bytes, 8);
        const int done = bits_ / 8;
        out_ += done;
        acc_ >>= 8 * done;
        bits_ -= 8 * done;
    }
    size_t finish() {
        if (bits_ > 0)
            *out_++ = static_cast<uint8_t>(acc_);
        return static_cast<size_t>(out_ - start_);
    }

private:
    uint64_t acc_ = 0;
    int bits_ = 0;
    uint8_t *out_;
    uint8_t *start_;
};

}  // namespace

GifLzwEncoder::GifLzwEncoder() = default;
GifLzwEncoder::~GifLzwEncoder() = default;

namespace {

// The code for (prefix, index), kept either in a direct table (a row of the alphabet for every
// code: one load, no probing, for small alphabets) or, for 256 colours, in a hash of 16K entries
// (64 KB, which stays in the cache where a direct table of 2 MB would not).
class DirectTable {
public:
    DirectTable(uint16_t *table, int alphabetBits) : table_(table), bits_(alphabetBits) {}
    uint32_t find(uint32_t prefix, uint32_t index) const {
        return table_[(prefix << bits_) | index];
    }
    void insert(uint32_t prefix, uint32_t index, uint32_t code) {
        table_[(prefix << bits_) | index] = static_cast<uint16_t>(code);
        keys_[code] = (prefix << bits_) | index;
    }
    void clear(uint32_t first, uint32_t end) {
        for (uint32_t code = first; code < end; ++code)
            table_[keys_[code]] = 0;
    }

private:
    uint16_t *table_;
    int bits_;
    uint32_t keys_[kCodes];  // the entry that holds each code handed out, for clearing
};

class HashTable {
public:
    static constexpr int kBits = 14;
    static constexpr uint32_t kEmpty = 0xFFFFFFFF;

    HashTable(uint32_t *slots, uint32_t *hints) : slots_(slots), hints_(hints) {}
    // The code's last extension found or made is tried first: in a run, or a pattern that
    // repeats, it is the one asked for, and the hints (16 KB) stay in the nearest cache.
    uint32_t find(uint32_t prefix, uint32_t index) {
        const uint32_t hint = hints_[prefix];
        if ((hint >> 16) == index && (hint & 0xFFFF) != 0)
            return hint & 0xFFFF;
        const uint32_t key = (prefix << 8) | index;
        for (uint32_t at = slotOf(key);; at = (at + 1) & kMask) {
            const uint32_t entry = slots_[at];
            if (entry == kEmpty)
                return 0;
            if ((entry >> 12) == key) {
                hints_[prefix] = (index << 16) | (entry & 0xFFF);
                return entry & 0xFFF;
            }
        }
    }
    void insert(uint32_t prefix, uint32_t index, uint32_t code) {
        const uint32_t key = (prefix << 8) | index;
        uint32_t at = slotOf(key);
        while (slots_[at] != kEmpty)
            at = (at + 1) & kMask;
        slots_[at] = (key << 12) | code;
        hints_[prefix] = (index << 16) | code;
    }
    void clear(uint32_t, uint32_t) {
        std::memset(slots_, 0xFF, sizeof(uint32_t) << kBits);
        std::memset(hints_, 0, sizeof(uint32_t) * kCodes);
    }

private:
    static constexpr uint32_t kMask = (1u << kBits) - 1;
    static uint32_t slotOf(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kBits); }
    uint32_t *slots_;
    uint32_t *hints_;  // per code: (index << 16) | the code of (code, index); 0: none
};

// The length of the run of equal indices that starts at p, counting at most max (>= 1).
size_t runLength(const uint8_t *p, size_t max) {
    const uint8_t first = p[0];
    size_t n = 1;
    if constexpr (std::endian::native == std::endian::little) {
        const uint64_t pattern = 0x0101010101010101ull * first;
        for (; n + 8 <= max; n += 8) {
            uint64_t word;
            std::memcpy(&word, p + n, 8);
            if (word != pattern)
                return n + static_cast<size_t>(std::countr_zero(word ^ pattern) / 8);
        }
    }
    while (n < max && p[n] == first)
        ++n;
    return n;
}

// The codes of the strings made of one index repeated, which the table holds for every index up
// to some length (a string's prefixes are always in the table before it). A run of equal indices,
// which screens are mostly made of, then takes one step per code instead of one per pixel.
class RunCodes {
public:
    explicit RunCodes(uint16_t *codes) : codes_(codes) {}
    void clear(uint32_t alphabet) {
        for (uint32_t index = 0; index < alphabet; ++index) {
            longest_[index] = 1;
            codes_[index * kCodes + 1] = static_cast<uint16_t>(index);
        }
    }
    // Called for every code added: notes it when it repeats index once more than the longest.
    void added(uint32_t prefix, uint32_t index, uint32_t code) {
        const uint32_t n = longest_[index];
        if (codes_[index * kCodes + n] == prefix) {
            longest_[index] = n + 1;
            codes_[index * kCodes + n + 1] = static_cast<uint16_t>(code);
        }
    }
    // The code of the indices from at as long as they repeat the first and the table holds such
    // a run (at least the first alone); moves at past them.
    uint32_t take(const uint8_t *indices, size_t count, size_t &at) const {
        const uint32_t index = indices[at];
        const size_t n = runLength(indices + at, std::min<size_t>(longest_[index], count - at));
        at += n;
        return codes_[index * kCodes + n];
    }

private:
    uint16_t *codes_;          // per index, kCodes entries: the code of the index n times at n
    uint32_t longest_[256]{};  // per index: the longest run string in the table
};

// GIF's LZW over indices into the packed code stream; returns its length in bytes. The table is
// empty on entry and left empty.
template <typename Table>
size_t lzw(Table &table, RunCodes &runs, const uint8_t *indices, size_t count, int minCodeSize,
           uint8_t *packed) {
    const uint32_t clear = 1u << minCodeSize;
    const uint32_t firstFree = clear + 2;
    uint32_t nextCode = firstFree;
    int width = minCodeSize + 1;
    BitWriter writer(packed);
    writer.put(clear, width);
    runs.clear(clear);
    if (count > 0) {
        size_t i = 0;
        uint32_t prefix = runs.take(indices, count, i);
        while (i < count) {
            const uint32_t index = indices[i];
            const uint32_t child = table.find(prefix, index);
            if (child != 0) {
                prefix = child;
                ++i;
                continue;
            }
            writer.put(prefix, width);
            if (nextCode >= (1u << width) && width < kMaxBits)
                ++width;
            if (nextCode >= kLastCode) {
                writer.put(clear, width);
                table.clear(firstFree, nextCode);
                runs.clear(clear);
                nextCode = firstFree;
                width = minCodeSize + 1;
            } else {
                table.insert(prefix, index, nextCode);
                runs.added(prefix, index, nextCode++);
            }
            prefix = runs.take(indices, count, i);
        }
        writer.put(prefix, width);
        if (nextCode >= (1u << width) && width < kMaxBits)
            ++width;
    }
    writer.put(clear + 1, width);
    table.clear(firstFree, nextCode);
    return writer.finish();
}

}  // namespace

size_t GifLzwEncoder::compress(const uint8_t *indices, size_t count, int minCodeSize) {
    // At most 12 bits per pixel, a clear code every 4000-odd codes, and the 8 bytes that each
    // code stores.
    const size_t capacity = count / 2 * 3 + count / 1024 + 64 + 8;
    if (capacity > packedCapacity_) {
        packed_.reset();
        packed_ = std::make_unique_for_overwrite<uint8_t[]>(capacity);
        packedCapacity_ = capacity;
    }
    if (!runCodes_)  // only the rows of the indices in use are ever touched
        runCodes_ = std::make_unique_for_overwrite<uint16_t[]>(size_t{256} * kCodes);
    RunCodes runs(runCodes_.get());
    if (minCodeSize <= kDirectBits) {
        if (!direct_)  // every entry zero: 0 is the clear code, never an extension of anything
            direct_ = std::make_unique<uint16_t[]>(size_t{kCodes} << kDirectBits);
        // Rows as wide as the largest small alphabet: one table for all of them.
        DirectTable table(direct_.get(), kDirectBits);
        return lzw(table, runs, indices, count, minCodeSize, packed_.get());
    }
    if (!hash_) {
        hash_ =
            std::make_unique_for_overwrite<uint32_t[]>((size_t{1} << HashTable::kBits) + kCodes);
        HashTable(hash_.get(), hash_.get() + (size_t{1} << HashTable::kBits)).clear(0, 0);
    }
    HashTable table(hash_.get(), hash_.get() + (size_t{1} << HashTable::kBits));
    return lzw(table, runs, indices, count, minCodeSize, packed_.get());
}

void GifLzwEncoder::encode(const uint8_t *indices, size_t count, int minCodeSize,
                           std::vector<uint8_t> &out) {
    if (minCodeSize < 2 || minCodeSize > 8)
        throw std::invalid_argument("GIF LZW: minimum code size out of 2..8");
    const size_t packed = compress(indices, count, minCodeSize);
    const size_t blocks = (packed + 254) / 255;
    const size_t at = out.size();
    out.resize(at + 1 + blocks + packed + 1);
    uint8_t *to = out.data() + at;
    *to++ = static_cast<uint8_t>(minCodeSize);
    for (size_t done = 0; done < packed;) {
        const size_t n = std::min<size_t>(255, packed - done);
        *to++ = static_cast<uint8_t>(n);
        std::memcpy(to, packed_.get() + done, n);
        to += n;
        done += n;
    }
    *to = 0;
}

}  // namespace zv
