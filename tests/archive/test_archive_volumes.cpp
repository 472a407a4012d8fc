// The archive writer's file side: numbered volumes and where bytes land in them.

#include "archive/ArchiveVolumes.h"
#include "support/TempRoot.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace {

std::string pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + seed * 7) >> 2);
    return bytes;
}

class ArchiveVolumes : public ::testing::Test {
protected:
    std::string native(const std::string &relative) { return root.file("drive_d/Exp/" + relative); }
    bool exists(const std::string &relative) { return std::filesystem::exists(native(relative)); }
    std::string read(const std::string &relative) { return zvtest::readFile(native(relative)); }

    zvtest::TempRoot root;
    void SetUp() override { std::filesystem::create_directories(native("")); }
};

TEST_F(ArchiveVolumes, OneWriteSpreadsOverVolumesAndOpensTheNextOnlyWhenReached) {
    const std::string data = pattern(2500, 1);
    {
        ArchiveVolumeWriter writer(L"D:\\Exp\\x.7z", 1000, false);
        EXPECT_TRUE(exists("x.7z.001"));
        EXPECT_FALSE(exists("x.7z.002"));
        EXPECT_EQ(writer.write(data.data(), 2500), 2500u);
        EXPECT_EQ(writer.position(), 2500);
        EXPECT_EQ(writer.size(), 2500);
        ASSERT_EQ(writer.volumeNames(),
                  (std::vector<std::wstring>{L"D:\\Exp\\x.7z.001", L"D:\\Exp\\x.7z.002",
                                             L"D:\\Exp\\x.7z.003"}));
    }
    EXPECT_FALSE(exists("x.7z"));
    EXPECT_EQ(read("x.7z.001"), data.substr(0, 1000));
    EXPECT_EQ(read("x.7z.002"), data.substr(1000, 1000));
    EXPECT_EQ(read("x.7z.003"), data.substr(2000));
    EXPECT_FALSE(exists("x.7z.004"));
}

TEST_F(ArchiveVolumes, AWriteEndingOnABoundaryLeavesAnEmptyNextVolume) {
    const std::string data = pattern(2000, 2);
    {
        ArchiveVolumeWriter writer(L"D:\\Exp\\x.7z", 1000, false);
        EXPECT_EQ(writer.write(data.data(), 2000), 2000u);
    }
    EXPECT_EQ(read("x.7z.002"), data.substr(1000));
    ASSERT_TRUE(exists("x.7z.003"));
    EXPECT_EQ(read("x.7z.003"), "");
}

TEST_F(ArchiveVolumes, SeekingBackRewritesInsideEarlierVolumes) {
    // The library rewrites the start header at the end; that must land in volume 1.
    const std::string data = pattern(2300, 3);
    {
        ArchiveVolumeWriter writer(L"D:\\Exp\\x.7z", 1000, false);
        writer.write(data.data(), 2300);
        ASSERT_TRUE(writer.seek(990, 0));
        EXPECT_EQ(writer.write("ABCDEFGHIJKLMNOPQRST", 20), 20u);
        EXPECT_EQ(writer.position(), 1010);
        EXPECT_EQ(writer.size(), 2300);
        EXPECT_FALSE(writer.seek(-1, 0));
        EXPECT_EQ(writer.position(), 1010);
        ASSERT_TRUE(writer.seek(-300, 2));
        EXPECT_EQ(writer.position(), 2000);
        ASSERT_TRUE(writer.seek(5, 9));  // an unknown origin keeps the position
        EXPECT_EQ(writer.position(), 2000);
    }
    std::string expected = data;
    expected.replace(990, 20, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(read("x.7z.001") + read("x.7z.002") + read("x.7z.003"), expected);
}

TEST_F(ArchiveVolumes, SingleFileIsTruncatedAndVolumeNamesGrowPastThreeDigits) {
    zvtest::writeFile(native("x.7z"), std::string(5000, 'o'));
    {
        ArchiveVolumeWriter writer(L"D:\\Exp\\x.7z", 0, false);
        EXPECT_EQ(writer.write("new", 3), 3u);
    }
    EXPECT_EQ(read("x.7z"), "new");
    EXPECT_EQ(ArchiveVolumeWriter::volumeName(L"x.7z", 10, 7), L"x.7z.007");
    EXPECT_EQ(ArchiveVolumeWriter::volumeName(L"x.7z", 10, 1000), L"x.7z.1000");
    EXPECT_EQ(ArchiveVolumeWriter::volumeName(L"x.7z", 0, 1), L"x.7z");
}

TEST_F(ArchiveVolumes, SfxAppendWritesAfterTheStub) {
    zvtest::writeFile(native("x.exe"), "STUB");
    {
        ArchiveVolumeWriter writer(L"D:\\Exp\\x.exe", 0, true);
        EXPECT_EQ(writer.position(), 4);
        writer.write("7z", 2);
    }
    EXPECT_EQ(read("x.exe"), "STUB7z");
}

TEST_F(ArchiveVolumes, FailuresAreReportedNotHidden) {
    // The first volume cannot be created: the constructor aborts.
    EXPECT_THROW(ArchiveVolumeWriter(L"D:\\NoSuchFolder\\x.7z", 0, false), TSevenZipAbort);

    // A later volume cannot be created: the write counts nothing and remembers why.
    std::filesystem::create_directories(native("y.7z.002"));
    ArchiveVolumeWriter writer(L"D:\\Exp\\y.7z", 100, false);
    const std::string data = pattern(150, 4);
    EXPECT_EQ(writer.write(data.data(), 150), 0u);
    EXPECT_EQ(writer.lastOSError(), EISDIR);
    EXPECT_EQ(writer.position(), 0);
    removeArchiveFiles(writer.volumeNames());
    EXPECT_FALSE(exists("y.7z.001"));
}

}  // namespace
