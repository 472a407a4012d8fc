#include "container/ZVFAppender.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "container/ZVFConstants.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "support/TempRoot.h"

namespace {

// Reads fields straight from the file, independent of the reader class.
struct Raw {
    std::string bytes;
    int32_t count() const { return field<int32_t>(0); }
    int64_t offset(int i) const { return field<int64_t>(2000 + 20 * i); }
    int32_t size(int i) const { return field<int32_t>(2008 + 20 * i); }
    double dateTime(int i) const { return field<double>(2012 + 20 * i); }
    template <typename T>
    T field(size_t pos) const {
        T v{};
        std::memcpy(&v, bytes.data() + pos, sizeof v);
        return v;
    }
};

void poke(const std::string &path, int64_t pos, const void *data, size_t n) {
    zv::UniqueFd fd = zv::openFile(path, O_RDWR);
    zv::writeAt(fd.get(), data, n, pos);
}

}  // namespace

TEST(ZVFAppender, WritesPackedFramesAtTheFixedAreas) {
    zvtest::TempRoot root;
    std::filesystem::create_directories(root.file("drive_c/VELD"));
    const std::string path = root.file("drive_c/VELD/rec.zvf");
    const std::string a(1000, 'a'), b(37, 'b'), c(5, 'c');
    {
        ZVFAppender writer("C:\\VELD\\rec.zvf");
        EXPECT_EQ(writer.frameCount(), 0);
        writer.append(a.data(), a.size(), 40543.5);
        // One frame of s bytes: the file is exactly 10,000,000 + s long.
        EXPECT_EQ(std::filesystem::file_size(path), 10'000'000u + a.size());
        writer.append(b.data(), b.size(), 40543.75);
    }
    // A new appender continues the recording.
    ZVFAppender(path).append(c.data(), c.size(), 40544.0);

    Raw raw{zvtest::readFile(path)};
    ASSERT_EQ(raw.bytes.size(), 10'000'000u + 1042u);
    EXPECT_EQ(raw.count(), 3);
    EXPECT_EQ(raw.offset(0), 0);
    EXPECT_EQ(raw.offset(1), 1000);
    EXPECT_EQ(raw.offset(2), 1037);
    EXPECT_EQ(raw.size(0), 1000);
    EXPECT_EQ(raw.size(1), 37);
    EXPECT_EQ(raw.size(2), 5);
    EXPECT_EQ(raw.dateTime(0), 40543.5);
    EXPECT_EQ(raw.dateTime(2), 40544.0);
    EXPECT_EQ(raw.bytes.substr(10'000'000, 1000), a);
    EXPECT_EQ(raw.bytes.substr(10'001'000, 37), b);
    EXPECT_EQ(raw.bytes.substr(10'001'037, 5), c);
    // The reserved header bytes stay zero.
    EXPECT_EQ(raw.bytes.substr(4, 1996), std::string(1996, '\0'));
}

TEST(ZVFAppender, RefusesWithoutTouchingTheCount) {
    zvtest::TempRoot root;
    const std::string path = root.file("rec.zvf");
    const std::string frame(10, 'x');
    ZVFAppender writer(path);
    EXPECT_THROW(writer.append(frame.data(), 0, 1.0), zv::Error);
    EXPECT_THROW(writer.append(nullptr, 10, 1.0), zv::Error);
    EXPECT_EQ(writer.frameCount(), 0);
    writer.append(frame.data(), frame.size(), 1.0);

    int32_t full = zvf::kCapacity;
    poke(path, 0, &full, 4);
    try {
        writer.append(frame.data(), frame.size(), 2.0);
        FAIL() << "appended beyond the capacity";
    } catch (const zv::Error &e) {
        EXPECT_NE(std::string(e.what()).find("499900"), std::string::npos) << e.what();
    }
    EXPECT_EQ(writer.frameCount(), zvf::kCapacity);

    for (int32_t bad : {-1, zvf::kCapacity + 1}) {
        poke(path, 0, &bad, 4);
        EXPECT_THROW(writer.append(frame.data(), frame.size(), 2.0), zv::Error);
        EXPECT_EQ(writer.frameCount(), bad);
    }

    // A last entry that points where nothing can be written: the frame's bytes fail first, so
    // neither the entry nor the count is written.
    int32_t one = 1;
    poke(path, 0, &one, 4);
    int64_t far = int64_t{1} << 61;
    poke(path, 2000, &far, 8);
    EXPECT_THROW(writer.append(frame.data(), frame.size(), 2.0), zv::Error);
    EXPECT_EQ(writer.frameCount(), 1);
    Raw raw{zvtest::readFile(path)};
    EXPECT_EQ(raw.size(1), 0);

    // Damaged last entries are refused.
    int32_t zero = 0;
    poke(path, 2008, &zero, 4);
    EXPECT_THROW(writer.append(frame.data(), frame.size(), 2.0), zv::Error);
    int64_t negative = -5;
    int32_t ten = 10;
    poke(path, 2008, &ten, 4);
    poke(path, 2000, &negative, 8);
    EXPECT_THROW(writer.append(frame.data(), frame.size(), 2.0), zv::Error);
    EXPECT_EQ(writer.frameCount(), 1);
}

TEST(ZVFAppender, MissingFolderIsAnError) {
    zvtest::TempRoot root;
    EXPECT_THROW(ZVFAppender("C:\\NO\\SUCH\\rec.zvf"), zv::Error);
}
