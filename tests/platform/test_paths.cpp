#include "platform/Paths.h"

#include <gtest/gtest.h>

#include "support/TempRoot.h"

TEST(Paths, DrivePathsMapUnderTheRoot) {
    zvtest::TempRoot root;
    const std::string r = root.path();
    EXPECT_EQ(zv::zorvideoRoot(), r);
    EXPECT_EQ(zv::nativePath("C:\\VELD\\ZORVIDEO\\BigFile.zvf"),
              r + "/drive_c/VELD/ZORVIDEO/BigFile.zvf");
    EXPECT_EQ(zv::nativePath("c:/VELD/x.zvf"), r + "/drive_c/VELD/x.zvf");
    EXPECT_EQ(zv::nativePath("D:x.zvf"), r + "/drive_d/x.zvf");
    EXPECT_EQ(zv::nativePath("C:"), r + "/drive_c");
    EXPECT_EQ(zv::nativePath("C:\\"), r + "/drive_c/");
    // Native paths pass unchanged, backslashes included.
    EXPECT_EQ(zv::nativePath("/tmp/a\\b.zvf"), "/tmp/a\\b.zvf");
    EXPECT_EQ(zv::nativePath("relative/x"), "relative/x");
    EXPECT_EQ(zv::nativePath(""), "");
    EXPECT_EQ(zv::nativePath("1:\\x"), "1:\\x");
}

TEST(Paths, FolderFileAndDriveParts) {
    EXPECT_EQ(zv::folderPart("C:\\VELD\\ZORVIDEO\\BigFile.zvf"), "C:\\VELD\\ZORVIDEO\\");
    EXPECT_EQ(zv::fileNamePart("C:\\VELD\\ZORVIDEO\\BigFile.zvf"), "BigFile.zvf");
    EXPECT_EQ(zv::folderPart("C:x.zvf"), "C:");
    EXPECT_EQ(zv::fileNamePart("C:x.zvf"), "x.zvf");
    EXPECT_EQ(zv::folderPart("/home/op/a/b.zvf"), "/home/op/a/");
    EXPECT_EQ(zv::folderPart("mixed/a\\b.zvf"), "mixed/a\\");
    EXPECT_EQ(zv::folderPart("plain.zvf"), "");
    EXPECT_EQ(zv::fileNamePart("plain.zvf"), "plain.zvf");
    EXPECT_EQ(zv::fileNamePart("C:\\VELD\\"), "");
    // A colon that is not a drive is part of a name.
    EXPECT_EQ(zv::folderPart("ab:c"), "");

    EXPECT_EQ(zv::drivePart("C:\\VELD\\x"), "C:");
    EXPECT_EQ(zv::drivePart("\\\\server\\share\\dir\\x"), "\\\\server\\share");
    EXPECT_EQ(zv::drivePart("//server/share"), "//server/share");
    EXPECT_EQ(zv::drivePart("/home/x"), "");
    EXPECT_TRUE(zv::hasDriveLetter("z:"));
    EXPECT_FALSE(zv::hasDriveLetter("z"));
    EXPECT_EQ(zv::windowsFolder(), "C:\\WINDOWS");
}

TEST(Paths, ExistenceGoesThroughTheMapping) {
    zvtest::TempRoot root;
    zvtest::writeFile(root.file("drive_c/VELD/x.zvf"), "abc");
    EXPECT_TRUE(zv::fileExists("C:\\VELD\\x.zvf"));
    EXPECT_FALSE(zv::directoryExists("C:\\VELD\\x.zvf"));
    EXPECT_TRUE(zv::directoryExists("C:\\VELD"));
    EXPECT_FALSE(zv::fileExists("C:\\VELD"));
    EXPECT_FALSE(zv::fileExists("C:\\VELD\\missing.zvf"));
    EXPECT_TRUE(zv::fileExists(root.file("drive_c/VELD/x.zvf")));
}
