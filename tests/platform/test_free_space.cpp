// Where the free space of the recording's drive is measured, and the measure itself.
#include "platform/FreeSpace.h"

#include <gtest/gtest.h>

#include <QStorageInfo>
#include <filesystem>

#include "support/TempRoot.h"

namespace {

namespace fs = std::filesystem;

TEST(FreeSpace, DrivePathsAreMeasuredAtTheirMappedRoot) {
    zvtest::TempRoot root;
    fs::create_directories(root.file("drive_c"));
    const auto folder = zv::freeSpaceFolder("c:\\VELD\\ZORVIDEO\\not yet\\BigFile.zvf");
    ASSERT_TRUE(folder);
    EXPECT_TRUE(fs::equivalent(*folder, root.file("drive_c")));
    EXPECT_FALSE(zv::freeSpaceFolder("D:\\rec\\x.zvf")) << "a drive that does not exist";
}

TEST(FreeSpace, NativePathsAtTheNearestFolderThatExists) {
    zvtest::TempRoot root;
    EXPECT_EQ(zv::freeSpaceFolder(root.file("a/b/c.zvf")), root.path());
    EXPECT_EQ(zv::freeSpaceFolder("/no-such-folder-here/x.zvf"), "/");
    EXPECT_EQ(zv::freeSpaceFolder("/"), "/");
}

TEST(FreeSpace, PathsWithoutADriveCannotBeMeasured) {
    zv::StatvfsFreeSpace source;
    for (const char *path : {"", "BigFile.zvf", "rec\\x.zvf", "\\\\server\\share\\x.zvf"}) {
        EXPECT_FALSE(zv::freeSpaceFolder(path)) << path;
        EXPECT_FALSE(source.freeBytes(path)) << path;
    }
}

TEST(FreeSpace, BytesAvailableToTheUser) {
    zvtest::TempRoot root;
    fs::create_directories(root.file("drive_c"));
    const std::optional<int64_t> bytes = zv::systemFreeSpace().freeBytes("C:\\x.zvf");
    ASSERT_TRUE(bytes);
    const qint64 qt = QStorageInfo(QString::fromStdString(root.path())).bytesAvailable();
    // Others write to the same disk meanwhile; the two readings lie close together.
    EXPECT_NEAR(static_cast<double>(*bytes), static_cast<double>(qt), 64.0 * 1024 * 1024);
    EXPECT_GT(*bytes, 0);
}

}  // namespace
