#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "platform/File.h"

namespace zvtest {

// Little-endian field writers over a raw ZVF file, with the positions written out by hand, so that
// the tests do not share the coder under test.
class RawZvf {
public:
    explicit RawZvf(const std::string &nativeFile)
        : fd_(zv::openFile(nativeFile, O_RDWR | O_CREAT)) {}
    void put(int64_t pos, const void *data, size_t n) { zv::writeAt(fd_.get(), data, n, pos); }
    void putCount(int32_t n) { put(0, &n, 4); }
    void putEntry(int64_t i, int64_t offset, int32_t size, double dateTime) {
        const int64_t p = 2000 + 20 * i;
        put(p, &offset, 8);
        put(p + 8, &size, 4);
        put(p + 12, &dateTime, 8);
    }
    void truncate(int64_t length) { ASSERT_EQ(::ftruncate(fd_.get(), length), 0); }

private:
    zv::UniqueFd fd_;
};

}  // namespace zvtest
