#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/Error.h"
#include "platform/File.h"

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
    // Not a drive letter: a Windows path that names no file here.
    EXPECT_EQ(zv::nativePath("1:\\x"), "");
    EXPECT_EQ(zv::nativePath("1:/x"), "1:/x");
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

TEST(Paths, DrivePathsIgnoreCaseExactMatchFirst) {
    zvtest::TempRoot root;
    const std::string r = root.path();
    zvtest::writeFile(root.file("drive_c/VELD/ZORVIDEO/BigFile.zvf"), "abc");
    // One file under every spelling the operator may type, as on the original platform.
    for (const char *typed : {"C:\\VELD\\ZORVIDEO\\BigFile.zvf", "c:\\veld\\zorvideo\\BigFile.zvf",
                              "C:\\VELD\\ZORVideo\\BIGFILE.ZVF", "c:/Veld/ZorVideo/bigfile.zvf"}) {
        EXPECT_EQ(zv::nativePath(typed), r + "/drive_c/VELD/ZORVIDEO/BigFile.zvf") << typed;
        EXPECT_TRUE(zv::fileExists(typed)) << typed;
    }
    // Missing components keep the case as typed, below the existing ones.
    EXPECT_EQ(zv::nativePath("c:\\veld\\New\\Sub\\x.zvf"), r + "/drive_c/VELD/New/Sub/x.zvf");
    EXPECT_EQ(zv::nativePath("c:\\veld\\"), r + "/drive_c/VELD/");

    // Where both spellings exist each names its own; another spelling takes the first in byte
    // order.
    std::filesystem::create_directories(root.file("drive_d/Rec"));
    std::filesystem::create_directories(root.file("drive_d/REC"));
    EXPECT_EQ(zv::nativePath("D:\\Rec"), r + "/drive_d/Rec");
    EXPECT_EQ(zv::nativePath("D:\\REC"), r + "/drive_d/REC");
    EXPECT_EQ(zv::nativePath("D:\\rec\\x"), r + "/drive_d/REC/x");

    // Cyrillic names match regardless of case too.
    std::filesystem::create_directories(root.file("drive_c/Записи"));
    EXPECT_EQ(zv::nativePath("C:\\ЗАПИСИ\\день.zvf"), r + "/drive_c/Записи/день.zvf");
    EXPECT_TRUE(zv::directoryExists("c:\\записи"));
}

TEST(Paths, WindowsPathsWithoutADriveNameNoFile) {
    zvtest::TempRoot root;
    for (const char *windows :
         {"\\\\server\\share\\BigFile.zvf", "\\\\server\\share\\", "rec\\x.zvf", "\\VELD\\x.zvf"}) {
        EXPECT_TRUE(zv::isUnmappedWindowsPath(windows)) << windows;
        EXPECT_EQ(zv::nativePath(windows), "") << windows;
        EXPECT_FALSE(zv::fileExists(windows)) << windows;
        EXPECT_FALSE(zv::directoryExists(windows)) << windows;
        try {
            zv::nativeFilePath(windows);
            ADD_FAILURE() << windows;
        } catch (const zv::Error &e) {
            EXPECT_EQ(std::string(e.what()), "Не удается открыть файл \"" + std::string(windows) +
                                                 "\": " + zv::systemErrorReason(ENOENT));
        }
    }
    // Native paths, relative ones included, stay as they are.
    for (const char *native : {"/tmp/a\\b.zvf", "rec/x.zvf", "x.zvf", "./rec\\x/y", ""}) {
        EXPECT_FALSE(zv::isUnmappedWindowsPath(native)) << native;
        EXPECT_EQ(zv::nativePath(native), native);
        EXPECT_EQ(zv::nativeFilePath(native), native);
    }
}

TEST(Paths, DialogChoicesUnderTheDrivesBecomeDrivePaths) {
    zvtest::TempRoot root;
    const std::string r = root.path();
    EXPECT_EQ(zv::operatorPath(r + "/drive_c/VELD/ZORVIDEO/x.zvf"), "C:\\VELD\\ZORVIDEO\\x.zvf");
    EXPECT_EQ(zv::operatorPath(r + "/drive_d"), "D:\\");
    EXPECT_EQ(zv::operatorPath(r + "/drive_d/"), "D:\\");
    for (const std::string &other :
         {r + "/drive_cc/x.zvf", r + "/drive_C/x.zvf", r + "/config/x.zvf",
          std::string("/tmp/x.zvf"), std::string("x.zvf")})
        EXPECT_EQ(zv::operatorPath(other), other);

    // The dialog may name the root by its real path when the root is reached through a link,
    // or with the root written as it was set.
    std::filesystem::create_directories(root.file("real/drive_c/VELD"));
    std::filesystem::create_symlink(root.file("real"), root.file("link"));
    ::setenv("ZORVIDEO_ROOT", (root.file("link") + "/").c_str(), 1);
    EXPECT_EQ(zv::operatorPath(root.file("real/drive_c/VELD/a.zvf")), "C:\\VELD\\a.zvf");
    EXPECT_EQ(zv::operatorPath(root.file("link/drive_c/VELD/a.zvf")), "C:\\VELD\\a.zvf");
    // What a dialog gives back maps onto the same file.
    EXPECT_EQ(zv::nativePath(zv::operatorPath(root.file("link/drive_c/VELD"))),
              root.file("link/") + "/drive_c/VELD");
}
