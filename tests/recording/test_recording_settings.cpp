#include "recording/RecordingSettings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Cp1251.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "recording/DefaultConfig.h"
#include "recording/HostQuery.h"
#include "support/TempRoot.h"

namespace {

std::string configOnDisk(const zvtest::TempRoot &root) {
    return root.file("drive_c/WINDOWS/cnf.INI");
}

TEST(RecordingSettings, ConfigFileLiesInTheMappedWindowsFolder) {
    zvtest::TempRoot root;
    EXPECT_EQ(ConfigFileName(), "C:\\WINDOWS\\cnf.INI");
    EXPECT_EQ(zv::nativePath(ConfigFileName()), configOnDisk(root));
}

TEST(RecordingSettings, MissingFileKeepsTheDefaultsAndSavingWritesTheEightLines) {
    zvtest::TempRoot root;
    TRecordingSettings settings;
    zv::readRecordingSettings(ConfigFileName(), settings);
    EXPECT_EQ(settings, TRecordingSettings{});
    EXPECT_FALSE(std::filesystem::exists(configOnDisk(root)));

    zv::saveRecordingSettings(ConfigFileName(), settings);
    EXPECT_EQ(zvtest::readFile(configOnDisk(root)), kDefaultSection);
}

TEST(RecordingSettings, ReadsTheFileWithTheCurrentValuesAsDefaults) {
    zvtest::TempRoot root;
    zvtest::writeFile(configOnDisk(root), zv::utf8ToCp1251("[zorvideo]\n"
                                                           "ZVOUTFILE = D:\\Запись\\смена.zvf \n"
                                                           "zvBitRate=6\n"
                                                           "zvWaitForNextFrame=abc\n"
                                                           "zvMinHDDSize=-5\n"
                                                           "zvEnableRec=5\n"
                                                           "zvMaxFileSize=99999999999\n"
                                                           "zvRecursiveRecord=0\n"));
    TRecordingSettings settings;
    settings.WaitForNextFrame = 333;  // what the field holds is the default of its key
    settings.MaxFileSize = 777;
    zv::readRecordingSettings(ConfigFileName(), settings);
    EXPECT_EQ(settings.OutFile, "D:\\Запись\\смена.zvf");
    EXPECT_EQ(settings.BitRate, 6);
    EXPECT_EQ(settings.WaitForNextFrame, 333);
    EXPECT_EQ(settings.MinHDDSize, -5);
    EXPECT_TRUE(settings.EnableRec);
    EXPECT_EQ(settings.MaxFileSize, 777);
    EXPECT_FALSE(settings.RecursiveRecord);
}

TEST(RecordingSettings, SavingKeepsTheRestOfTheFile) {
    zvtest::TempRoot root;
    const std::string before =
        "[Station]\r\nName=АЗС "
        "7\r\n\r\n[ZORVideo]\r\nzvBitRate=6\r\nextra=keep\r\n\r\n[Z]\r\nq=1\r\n";
    zvtest::writeFile(configOnDisk(root), zv::utf8ToCp1251(before));
    TRecordingSettings settings;
    settings.OutFile = "D:\\Видео\\a.zvf";
    settings.BitRate = 8;
    settings.EnableRec = true;
    zv::saveRecordingSettings(ConfigFileName(), settings);
    EXPECT_EQ(zv::cp1251ToUtf8(zvtest::readFile(configOnDisk(root))),
              "[Station]\r\nName=АЗС 7\r\n\r\n[ZORVideo]\r\nzvBitRate=8\r\nextra=keep\r\n"
              "zvOutFile=D:\\Видео\\a.zvf\r\nzvWaitForNextFrame=1000\r\nzvMinHDDSize=1000\r\n"
              "zvEnableRec=1\r\nzvMaxFileSize=4000\r\nzvRecursiveRecord=1\r\n\r\n[Z]\r\nq=1\r\n");

    TRecordingSettings again;
    again.BitRate = 0;
    zv::readRecordingSettings(ConfigFileName(), again);
    EXPECT_EQ(again, settings);
}

TEST(RecordingSettings, AUtf8PathWrittenByAnotherEditorSurvivesAByteExactRoundTrip) {
    zvtest::TempRoot root;
    const std::string utf8Path = "D:\\Видео\\a.zvf";  // UTF-8 bytes, not Windows-1251
    zvtest::writeFile(configOnDisk(root), "[ZORVideo]\nzvOutFile=" + utf8Path + "\n");
    TRecordingSettings settings;
    zv::readRecordingSettings(ConfigFileName(), settings);
    EXPECT_NE(settings.OutFile, utf8Path);  // read as Windows-1251, as the recorder reads it
    zv::saveRecordingSettings(ConfigFileName(), settings);
    const std::string after = zvtest::readFile(configOnDisk(root));
    EXPECT_EQ(after.substr(0, after.find('\n', 12) + 1),
              "[ZORVideo]\nzvOutFile=" + utf8Path + "\n");
}

TEST(RecordingSettings, AFailedSaveWritesNothing) {
    zvtest::TempRoot root;
    // The Windows folder cannot be made: a file stands where it should be.
    zvtest::writeFile(root.file("drive_c/WINDOWS"), "not a folder");
    EXPECT_THROW(zv::saveRecordingSettings(ConfigFileName(), TRecordingSettings{}), zv::Error);

    // A path the file cannot hold fails before anything is written.
    zvtest::TempRoot other;
    zvtest::writeFile(configOnDisk(other), "[ZORVideo]\r\nzvBitRate=8\r\n");
    TRecordingSettings settings;
    settings.OutFile = "C:\\录像.zvf";
    EXPECT_THROW(zv::saveRecordingSettings(ConfigFileName(), settings), zv::Error);
    EXPECT_EQ(zvtest::readFile(configOnDisk(other)), "[ZORVideo]\r\nzvBitRate=8\r\n");
}

TEST(RecordingSettings, HourlyEstimate) {
    EXPECT_EQ(zv::framesPerHour(1000), 3600);
    EXPECT_EQ(zv::framesPerHour(40), 90000);
    EXPECT_EQ(zv::framesPerHour(9999999), 0);
    EXPECT_EQ(zv::framesPerHour(0), 0);
    // Halves go to the even neighbour: 2.5 -> 2, 1.5 -> 2, 3.5 -> 4.
    EXPECT_EQ(zv::framesPerHour(1440000), 2);
    EXPECT_EQ(zv::framesPerHour(2400000), 2);
    EXPECT_EQ(zv::framesPerHour(7200000 / 7 + 1), 3);  // 3.4999... -> 3
    EXPECT_DOUBLE_EQ(zv::hourlySizeEstimate(1000, true), 126.0);
    EXPECT_DOUBLE_EQ(zv::hourlySizeEstimate(1000, false), 234.0);
    EXPECT_DOUBLE_EQ(zv::hourlySizeEstimate(40, true), 3150.0);
    EXPECT_DOUBLE_EQ(zv::hourlySizeEstimate(40, false), 5850.0);
}

// Host query functions as a host would write them.
int g_calls = 0;
int32_t g_lastCode = -1, g_lastZero = -1;
void answerInt(zv::Variant *answer, int32_t code, int32_t zero, int32_t value) {
    ++g_calls;
    g_lastCode = code;
    g_lastZero = zero;
    EXPECT_EQ(answer->vt, zv::VT_EMPTY);  // handed over empty
    answer->vt = zv::VT_I4;
    answer->lVal = value;
}
void answerZero(zv::Variant *a, int32_t c, int32_t z) {
    answerInt(a, c, z, 0);
}
void answerOne(zv::Variant *a, int32_t c, int32_t z) {
    answerInt(a, c, z, 1);
}
void answerText(zv::Variant *a, int32_t, int32_t) {
    a->vt = zv::VT_BSTR;
    a->bstrVal = zv::sysAllocString(u"0");  // released by the module (the sanitizer checks)
}
void answerNothing(zv::Variant *, int32_t, int32_t) {}

TEST(HostQuery, AsksCode56AndComparesWithZero) {
    g_calls = 0;
    EXPECT_EQ(zv::hostAnswersZero(nullptr, 56), std::nullopt);
    EXPECT_EQ(zv::hostAnswersZero(&answerZero, 56), true);
    EXPECT_EQ(g_lastCode, 56);
    EXPECT_EQ(g_lastZero, 0);
    EXPECT_EQ(zv::hostAnswersZero(&answerOne, 56), false);
    EXPECT_EQ(g_calls, 2);
    EXPECT_EQ(zv::hostAnswersZero(&answerText, 56), true);
    EXPECT_EQ(zv::hostAnswersZero(&answerNothing, 56), false);
}

}  // namespace
