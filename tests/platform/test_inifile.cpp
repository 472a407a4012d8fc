#include "platform/IniFile.h"

#include "platform/File.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>

#include "platform/Cp1251.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "support/ErrorInChild.h"
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

// Bounds: a value over 4,096 bytes or with a NUL byte reads as missing and is named; such a
// value is not written either; a file over 1 MB is not read at all and not overwritten.
TEST(IniFileRead, OversizedValuesAndFilesAreRefusedWithAReason) {
    const std::string longValue(4097, 'a');
    IniFile ini =
        IniFile::fromBytes("[A]\r\nlong=" + longValue + "\r\nnul=1" + std::string(1, '\0') +
                           "2\r\nedge=" + std::string(4096, 'b') + "\r\n");
    EXPECT_FALSE(ini.value("A", "long"));
    EXPECT_EQ(ini.readInteger("A", "nul", 7), 7);
    EXPECT_EQ(ini.readString("A", "edge", "").size(), 4096u);
    ASSERT_EQ(ini.refusedValues().size(), 2u);
    EXPECT_NE(ini.refusedValues()[0].find("long длиннее 4096 байт"), std::string::npos)
        << ini.refusedValues()[0];
    EXPECT_NE(ini.refusedValues()[1].find("nul содержит нулевой байт"), std::string::npos);
    EXPECT_THROW(ini.writeString("A", "x", longValue), zv::Error);
    EXPECT_THROW(ini.writeString("A", "x", std::string("a\0b", 3)), zv::Error);

    zvtest::TempRoot root;
    const std::string big = root.file("big.ini");
    zvtest::writeFile(big, "[A]\r\nx=1\r\n;" + std::string(1 << 20, 'x'));
    IniFile tooBig(big);
    EXPECT_NE(tooBig.readError().find("больше 1 МБ"), std::string::npos) << tooBig.readError();
    EXPECT_EQ(tooBig.readInteger("A", "x", 5), 5);
    EXPECT_THROW(tooBig.save(), zv::Error);
    EXPECT_EQ(std::filesystem::file_size(big), (1u << 20) + 11);
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

TEST(IniFileRead, BareCarriageReturnsEndLinesToo) {
    // Files saved by old Windows editors end lines with a bare CR; the profile API splits them.
    IniFile ini = IniFile::fromBytes("[ZORVideo]\rzvBitRate=8\rzvOutFile=D:\\a.zvf\r\n[B]\nx=1\r");
    EXPECT_EQ(ini.readInteger("ZORVideo", "zvBitRate", 4), 8);
    EXPECT_EQ(ini.readString("ZORVideo", "zvOutFile", ""), "D:\\a.zvf");
    EXPECT_EQ(ini.readInteger("B", "x", 0), 1);
    // Writes find the keys (no second section) and keep each line's own end; new lines take the
    // end of the first line.
    ini.writeInteger("ZORVideo", "zvBitRate", 4);
    ini.writeBool("ZORVideo", "zvEnableRec", true);
    ini.writeString("C", "y", "2");
    EXPECT_EQ(
        ini.bytes(),
        "[ZORVideo]\rzvBitRate=4\rzvOutFile=D:\\a.zvf\r\nzvEnableRec=1\r[B]\nx=1\r[C]\ry=2\r");
}

// Runs action in a child process, as the user nobody when asked and we are root (so that file
// rights apply); returns the message of the zv::Error it raised, or "(no error)".
std::string errorInChild(const std::function<void()> &action, bool asNobody) {
    return zvtest::errorInChild(
        [asNobody]() -> std::string {
            if (asNobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                return "(cannot become nobody)";
            return "";
        },
        action);
}

std::vector<std::string> folderEntries(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(IniFileDisk, SaveReplacesTheFileWholeAndKeepsOwnerRightsAndLinks) {
    zvtest::TempRoot root;
    const std::string folder = root.file("WINDOWS");
    const std::string file = folder + "/cnf.INI";
    zvtest::writeFile(file, "; keep\r\n[ZORVideo]\r\nzvBitRate=4\r\n");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    }
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    IniFile ini(file);
    ini.writeInteger("ZORVideo", "zvBitRate", 8);
    ini.save();
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    // A new file took the old one's place (a reader never sees it half-written), with its
    // owner and rights, and nothing else is left in the folder.
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(zvtest::readFile(file), "; keep\r\n[ZORVideo]\r\nzvBitRate=8\r\n");
    EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"cnf.INI"});

    // A symbolic link stays a link; the file it names gets the content.
    std::filesystem::create_symlink(file, root.file("link.ini"));
    IniFile linked(root.file("link.ini"));
    linked.writeInteger("ZORVideo", "zvBitRate", 6);
    linked.save();
    EXPECT_TRUE(std::filesystem::is_symlink(root.file("link.ini")));
    EXPECT_EQ(zvtest::readFile(file), "; keep\r\n[ZORVideo]\r\nzvBitRate=6\r\n");

    // A file with another name is written in place, so that both names see the new content.
    std::filesystem::create_hard_link(file, root.file("hard.ini"));
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    IniFile hard(root.file("hard.ini"));
    hard.writeInteger("ZORVideo", "zvBitRate", 5);
    hard.save();
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(zvtest::readFile(file), "; keep\r\n[ZORVideo]\r\nzvBitRate=5\r\n");
}

TEST(IniFileDisk, ReadOnlyFileOrFolderFailsWithTheMessageAndChangesNothing) {
    zvtest::TempRoot root;
    ASSERT_EQ(::chmod(root.path().c_str(), 0755), 0);
    const std::string folder = root.file("WINDOWS");
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/cnf.INI";
    zvtest::writeFile(file, "[A]\r\nx=1\r\n");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    auto save = [&] {
        IniFile ini(file);
        ini.writeString("A", "x", "2");
        ini.save();
    };
    // A read-only file in a folder we may write.
    EXPECT_EQ(errorInChild(save, true),
              "Не удается записать файл \"" + file + "\": " + zv::systemErrorReason(EACCES));
    // A writable file in a read-only folder: neither a new file nor a replacement can be made.
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    EXPECT_EQ(errorInChild(save, true),
              "Не удается записать файл \"" + file + "\": " + zv::systemErrorReason(EACCES));
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    EXPECT_EQ(zvtest::readFile(file), "[A]\r\nx=1\r\n");
    EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"cnf.INI"});
}

TEST(IniFileDisk, WriteFailureLeavesTheOldFileWhole) {
    zvtest::TempRoot root;
    const std::string file = root.file("WINDOWS/cnf.INI");
    const std::string old = "[A]\r\nx=1\r\n";
    zvtest::writeFile(file, old);
    // The disk fills up while the new content is written (a file size limit stands in for it).
    const std::string message = errorInChild(
        [&] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit {};
            limit.rlim_cur = limit.rlim_max = 64;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            IniFile ini(file);
            ini.writeString("A", "x", std::string(500, 'v'));
            ini.save();
        },
        false);
    EXPECT_EQ(message.find("Не удается записать файл"), 0u) << message;
    EXPECT_EQ(zvtest::readFile(file), old);
    EXPECT_EQ(folderEntries(root.file("WINDOWS")), std::vector<std::string>{"cnf.INI"});
}

}  // namespace
