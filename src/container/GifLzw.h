#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zv {

// GIF's variable-length LZW compression of palette indices. Up to 16 colours the codes are found
// in a direct table (for every code, the code that extends it by each index: one load per pixel);
// with more, in a small hash that stays in the processor's cache. A run of equal indices takes
// one step per code rather than one per pixel, through the codes of repeated indices. Tables and
// buffers are kept between pictures. Not thread-safe; one encoder per thread.
class GifLzwEncoder {
public:
    GifLzwEncoder();
    ~GifLzwEncoder();
    GifLzwEncoder(const GifLzwEncoder &) = delete;
    GifLzwEncoder &operator=(const GifLzwEncoder &) = delete;

    // Appends to out what follows an image descriptor: the minimum code size byte, the
    // compressed indices in data sub-blocks of up to 255 bytes, and the empty block that ends
    // them. minCodeSize is 2..8 and every index must be below 1 << minCodeSize (the caller's
    // palette covers it); count may be 0.
    void encode(const uint8_t *indices, size_t count, int minCodeSize, std::vector<uint8_t> &out);

private:
    size_t compress(const uint8_t *indices, size_t count, int minCodeSize);

    std::unique_ptr<uint16_t[]> direct_;    // 4096 codes x 16 indices: the code for (code, index)
    std::unique_ptr<uint32_t[]> hash_;      // (code, index) -> code for larger alphabets
    std::unique_ptr<uint16_t[]> runCodes_;  // per index: the code of n repeats at n
    std::unique_ptr<uint8_t[]> packed_;     // the code stream before it is cut into sub-blocks
    size_t packedCapacity_ = 0;
};

}  // namespace zv
