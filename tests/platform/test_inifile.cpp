#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Cp1251.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "support/TempRoot.h"

namespace {

using zv::IniFile;

TEST(IniFileRead, NamesMatchWithoutCaseAndFirstOccurrenceWins) {
    const IniFile ini = IniFile::fromBytes(
        "; comment\r\n"
        "garbage line without equals\r\n"
        "orphan=before any section\r\n"
        "  [ zorvideo ]  \r\n"
        "ZVBITRATE = 6 \r\n"
        "zvBitRate=8\r\n"
        "[Other]\r\n"
        "zvWaitForNextFrame=77\r\n"
        "[ZORVIDEO]\r\n"
        "zvBitRate=9\r\n"
        "zvWaitForNextFrame=55\r\n");
    EXPECT_EQ(ini.readInteger("ZORVideo", "zvBitRate", 4), 6);
    // A key only in the second copy of the section is not seen, as with Windows.
    EXPECT_EQ(ini.readInteger("ZORVideo", "zvWaitForNextFrame", 1000), 1000);
    EXPECT_EQ(ini.readInteger("other", "ZVWAITFORNEXTFRAME", 0), 77);
    EXPECT_FALSE(ini.value("", "orphan"));
    EXPECT_FALSE(ini.value("ZORVideo", "garbage line without equals"));
}

TEST(IniFileRead, ValueForms) {
    const IniFile ini = IniFile::fromBytes(
        "[S]\n"
        "spaces=  C:\\Program Files\\x y.zvf \t\n"
        "empty=\n"
        "blank=   \n"
        "negative=-40\n"
        "plus=+12\n"
        "text=12abc\n"
        "inner=10 00\n"
        "big=4294967296\n"
        "max=2147483647\n"
        "min=-2147483648\n"
        "over=2147483648\n"
        "under=-2147483649\n"
        "sign=-\n"
        "hex=0x10\n"
        "five=5\n"
        "zero=0\n"
        "eq=a=b\n"
        "quoted= \"C:\\a b.zvf\" \n"
        "single='12'\n"
        "unmatched=\"x'\n"
        "lone=\"\n");
    EXPECT_EQ(ini.readString("S", "spaces", "d"), "C:\\Program Files\\x y.zvf");
    EXPECT_EQ(ini.readString("S", "empty", "d"), "");  // present: not the default
    EXPECT_EQ(ini.readString("S", "missing", "d"), "d");
    EXPECT_EQ(ini.readString("S", "eq", ""), "a=b");
    EXPECT_EQ(ini.readString("S", "quoted", ""), "C:\\a b.zvf");
    EXPECT_EQ(ini.readInteger("S", "single", 0), 12);
    EXPECT_EQ(ini.readString("S", "unmatched", ""), "\"x'");
    EXPECT_EQ(ini.readString("S", "lone", ""), "\"");
    EXPECT_EQ(ini.readInteger("S", "empty", 7), 7);
    EXPECT_EQ(ini.readInteger("S", "blank", 7), 7);
    EXPECT_EQ(ini.readInteger("S", "negative", 7), -40);
    EXPECT_EQ(ini.readInteger("S", "plus", 7), 12);
    EXPECT_EQ(ini.readInteger("S", "text", 7), 7);
    EXPECT_EQ(ini.readInteger("S", "inner", 7), 7);
    EXPECT_EQ(ini.readInteger("S", "big", 7), 7);
    EXPECT_EQ(ini.readInteger("S", "max", 7), 2147483647);
    EXPECT_EQ(ini.readInteger("S", "min", 7), INT32_MIN);
    EXPECT_EQ(ini.readInteger("S", "over", 7), 7);
    EXPECT_EQ(ini.readInteger("S", "under", 7), 7);
    EXPECT_EQ(ini.readInteger("S", "sign", 7), 7);
    EXPECT_EQ(ini.readInteger("S", "hex", 7), 7);
    EXPECT_TRUE(ini.readBool("S", "five", false));
    EXPECT_TRUE(ini.readBool("S", "negative", false));
    EXPECT_FALSE(ini.readBool("S", "zero", true));
    EXPECT_TRUE(ini.readBool("S", "text", true));  // not an integer: the default
    EXPECT_FALSE(ini.readBool("S", "text", false));
    EXPECT_TRUE(ini.readBool("S", "missing", true));
}

TEST(IniFileWrite, ReplacesInPlaceAndKeepsEveryOtherByte) {
    const std::string before =
        "; head comment\r\n"
        "[Other]\r\n"
        "a = 1\r\n"
        "\r\n"
        "[zorvideo]\r\n"
        "  ZVBITRATE =  6   ; not a comment for Windows\r\n"
        "zvOutFile=old\r\n"
        "\r\n"
        "[Tail]\n"
        "b=2";
    IniFile ini = IniFile::fromBytes(before);
    ini.writeInteger("ZORVideo", "zvBitRate", 8);
    ini.writeString("ZORVideo", "zvOutFile", "new");
    ini.writeBool("ZORVideo", "zvEnableRec", true);  // appended to its section
    ini.writeString("Tail", "c", "3");               // after a last line with no line end
    ini.writeString("New", "k", "v");                // a new section at the end
    EXPECT_EQ(ini.bytes(),
              "; head comment\r\n"
              "[Other]\r\n"
              "a = 1\r\n"
              "\r\n"
              "[zorvideo]\r\n"
              "  ZVBITRATE =  8\r\n"
              "zvOutFile=new\r\n"
              "zvEnableRec=1\r\n"
              "\r\n"
              "[Tail]\n"
              "b=2\r\n"
              "c=3\r\n"
              "[New]\r\n"
              "k=v\r\n");
}

TEST(IniFileWrite, NewLinesFollowAnLfFile) {
    IniFile ini = IniFile::fromBytes("[A]\nx=1\n");
    ini.writeString("A", "y", "2");
    ini.writeString("B", "z", "");
    EXPECT_EQ(ini.bytes(), "[A]\nx=1\ny=2\n[B]\nz=\n");
}

TEST(IniFileWrite, EmptyValueIsReplacedWhereItStands) {
    IniFile ini = IniFile::fromBytes("[A]\nx=\ny= \n");
    ini.writeInteger("A", "x", -5);
    ini.writeInteger("A", "y", 3);
    EXPECT_EQ(ini.bytes(), "[A]\nx=-5\ny= 3\n");
    EXPECT_EQ(ini.readInteger("A", "y", 0), 3);
}

TEST(IniFileWrite, RefusesTextThatWouldBreakTheFile) {
    IniFile ini = IniFile::fromBytes("[A]\r\nx=1\r\n");
    EXPECT_THROW(ini.writeString("A", "x", "two\r\nlines"), zv::Error);
    EXPECT_THROW(ini.writeString("A", "x", "日本"), zv::Error);
    EXPECT_EQ(ini.bytes(), "[A]\r\nx=1\r\n");
}

TEST(IniFileDisk, MissingFileReadsEmptyAndSaveCreatesIt) {
    zvtest::TempRoot root;
    std::filesystem::create_directories(zv::nativePath("C:\\WINDOWS"));
    IniFile ini("C:\\WINDOWS\\test.ini");
    EXPECT_EQ(ini.readInteger("A", "x", 42), 42);
    ini.writeInteger("A", "x", 1);
    ini.save();
    EXPECT_EQ(zvtest::readFile(root.file("drive_c/WINDOWS/test.ini")), "[A]\r\nx=1\r\n");
}

TEST(IniFileDisk, CyrillicValuesAreWindows1251OnDiskAndRoundTrip) {
    zvtest::TempRoot root;
    const std::string file = root.file("cyr.ini");
    const std::string path = "D:\\Видео\\Смена №1.zvf";
    {
        IniFile ini(file);
        ini.writeString("Раздел", "Ключ", path);
        ini.save();
    }
    const std::string bytes = zvtest::readFile(file);
    EXPECT_EQ(bytes, zv::utf8ToCp1251("[Раздел]\r\nКлюч=" + path + "\r\n"));
    const IniFile again(file);
    EXPECT_EQ(again.readString("раздел", "КЛЮЧ", ""), path);
}

TEST(IniFileDisk, ShorterContentLeavesNoTail) {
    zvtest::TempRoot root;
    const std::string file = root.file("short.ini");
    zvtest::writeFile(file, "[A]\r\nx=a very long value indeed\r\n");
    IniFile ini(file);
    ini.writeString("A", "x", "s");
    ini.save();
    EXPECT_EQ(zvtest::readFile(file), "[A]\r\nx=s\r\n");
}

TEST(IniFileDisk, FailedSaveIsAnErrorAndChangesNothing) {
    zvtest::TempRoot root;
    // A missing folder is not created.
    IniFile missing(root.file("no/such/folder/a.ini"));
    missing.writeString("A", "x", "1");
    EXPECT_THROW(missing.save(), zv::Error);
    EXPECT_FALSE(std::filesystem::exists(root.file("no")));

    // A path that is a folder cannot be read, and must not be written over.
    std::filesystem::create_directories(root.file("dir.ini"));
    IniFile folder(root.file("dir.ini"));
    EXPECT_EQ(folder.readInteger("A", "x", 3), 3);
    folder.writeString("A", "x", "1");
    try {
        folder.save();
        ADD_FAILURE() << "saved over a folder";
    } catch (const zv::Error &e) {
        EXPECT_NE(std::string(e.what()).find("dir.ini"), std::string::npos) << e.what();
    }
}

}  // namespace
