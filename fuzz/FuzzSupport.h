#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/MemoryFileSystem.h"

// What the fuzz targets share: a failed property aborts (libFuzzer then keeps the input), and the
// layout by which a fuzzer's bytes become a recording.
namespace zvfuzz {

[[noreturn]] inline void fail(const char *what, const char *file, int line) {
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::zvfuzz::fail(#condition, __FILE__, __LINE__))

// A fuzzer's bytes laid out as a ZVF file, sparse:
//   bytes 0..3    the count, at position 0
//   bytes 4..5    L, the length of the index part (uint16, little-endian; cut to what follows)
//   next L bytes  the index area, from position 2,000
//   the rest      the data area, from position 10,000,000
// The file ends with its last area. An input shorter than 6 bytes is the whole file.
struct RecordingLayout {
    const uint8_t *count = nullptr;
    const uint8_t *index = nullptr;
    size_t indexSize = 0;
    const uint8_t *dataArea = nullptr;
    size_t dataSize = 0;
    int64_t length = 0;
};

RecordingLayout layOut(const uint8_t *data, size_t size);

// Puts the laid-out file into files under name.
void putRecording(zvtest::MemoryFileSystem &files, const std::string &name, const uint8_t *data,
                  size_t size);

// The inverse, for seeds: a recording's areas as fuzzer bytes (an index longer than 65,535
// bytes is cut).
std::vector<uint8_t> fuzzBytesOf(const std::string &recording);

}  // namespace zvfuzz
