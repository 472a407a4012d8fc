// Where the free space of the recording's drive is measured, and the measure itself.
#include "platform/FreeSpace.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <QStorageInfo>
#include <filesystem>

#include "platform/Paths.h"
#include "support/TempRoot.h"

namespace {

namespace fs = std::filesystem;

TEST(FreeSpace, DrivePathsAreMeasuredAtTheNearestFolderOfTheMappedFile) {
    zvtest::TempRoot root;
    fs::create_directories(root.file("drive_c"));
    const char *path = "c:\\VELD\\ZORVIDEO\\not yet\\BigFile.zvf";
    auto folder = zv::freeSpaceFolder(path);
    ASSERT_TRUE(folder);
    EXPECT_TRUE(fs::equivalent(*folder, root.file("drive_c")));
    fs::create_directories(root.file("drive_c/veld"));
    folder = zv::freeSpaceFolder(path);
    ASSERT_TRUE(folder);
    EXPECT_TRUE(fs::equivalent(*folder, root.file("drive_c/veld")));
    EXPECT_FALSE(zv::freeSpaceFolder("D:\\rec\\x.zvf")) << "a drive that does not exist";
}

// A small disk mounted below the drive (as a disk under C:\VELD): the settings window (which
// asks with the operator's path) and the recorder (with the mapped one) both see its space.
TEST(FreeSpace, ADiskMountedBelowTheDriveIsMeasuredWhereTheFileLies) {
    zvtest::TempRoot root;
    const std::string mount = root.file("drive_c/VELD");
    fs::create_directories(mount);
    if (::mount("zorvideo-test", mount.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mount};
    const char *operatorPath = "C:\\VELD\\ZORVIDEO\\BigFile.zvf";
    const std::optional<int64_t> window = zv::systemFreeSpace().freeBytes(operatorPath);
    const std::optional<int64_t> recorder =
        zv::systemFreeSpace().freeBytes(zv::nativePath(operatorPath));
    ASSERT_TRUE(window && recorder);
    EXPECT_EQ(*window, *recorder);
    EXPECT_EQ(*window, 4 * 1024 * 1024);
    const std::optional<int64_t> drive = zv::systemFreeSpace().freeBytes("C:\\other.zvf");
    ASSERT_TRUE(drive);
    EXPECT_NE(*drive, *window) << "the drive itself lies on another file system";
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
