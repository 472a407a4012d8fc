#include "recording/RecordingSettings.h"

#include <cmath>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/IniFile.h"
#include "platform/Paths.h"

std::string ConfigFileName() {
    return zv::windowsFolder() + "\\cnf.INI";
}

namespace zv {

void readRecordingSettings(const IniFile &file, TRecordingSettings &s) {
    const char *section = kSettingsSection;
    s.OutFile = file.readString(section, kKeyOutFile, s.OutFile);
    s.BitRate = file.readInteger(section, kKeyBitRate, s.BitRate);
    s.WaitForNextFrame = file.readInteger(section, kKeyWaitForNextFrame, s.WaitForNextFrame);
    s.MinHDDSize = file.readInteger(section, kKeyMinHDDSize, s.MinHDDSize);
    s.EnableRec = file.readBool(section, kKeyEnableRec, s.EnableRec);
    s.MaxFileSize = file.readInteger(section, kKeyMaxFileSize, s.MaxFileSize);
    s.RecursiveRecord = file.readBool(section, kKeyRecursiveRecord, s.RecursiveRecord);
}

namespace {

// What in the section keeps a key from being read: values that are not whole numbers.
std::vector<std::string> unreadableNumbers(const IniFile &file) {
    std::vector<std::string> problems;
    for (const char *key : {kKeyBitRate, kKeyWaitForNextFrame, kKeyMinHDDSize, kKeyEnableRec,
                            kKeyMaxFileSize, kKeyRecursiveRecord}) {
        const std::optional<std::string> text = file.value(kSettingsSection, key);
        if (text && !parseProfileInteger(*text))
            problems.push_back("значение " + std::string(key) + "=\"" + text->substr(0, 64) +
                               "\" не целое число");
    }
    return problems;
}

}  // namespace

std::string readRecordingSettings(const std::string &iniPath, TRecordingSettings &settings) {
    const IniFile file(iniPath);
    if (!file.readError().empty())
        return "Не удается прочитать файл настроек \"" + iniPath + "\": " + file.readError();
    if (!fileExists(iniPath))
        return "Нет файла настроек \"" + iniPath + "\"";
    readRecordingSettings(file, settings);
    std::vector<std::string> problems = file.refusedValues();
    if (!file.hasSection(kSettingsSection))
        problems.push_back("нет раздела [" + std::string(kSettingsSection) + "]");
    for (std::string &problem : unreadableNumbers(file))
        problems.push_back(std::move(problem));
    if (problems.empty())
        return {};
    std::string text = "Файл настроек \"" + iniPath + "\" прочитан не полностью: ";
    for (size_t i = 0; i < problems.size(); ++i)
        text += (i ? "; " : "") + problems[i];
    return text;
}

void writeRecordingSettings(IniFile &file, const TRecordingSettings &s) {
    const char *section = kSettingsSection;
    file.writeString(section, kKeyOutFile, s.OutFile);
    file.writeInteger(section, kKeyBitRate, s.BitRate);
    file.writeInteger(section, kKeyWaitForNextFrame, s.WaitForNextFrame);
    file.writeInteger(section, kKeyMinHDDSize, s.MinHDDSize);
    file.writeBool(section, kKeyEnableRec, s.EnableRec);
    file.writeInteger(section, kKeyMaxFileSize, s.MaxFileSize);
    file.writeBool(section, kKeyRecursiveRecord, s.RecursiveRecord);
}

void saveRecordingSettings(const std::string &iniPath, const TRecordingSettings &settings) {
    if (iniPath == ConfigFileName()) {
        // On Windows the system folder always exists; under a fresh root it is made here.
        // A failure shows up as the failure of the write below.
        std::error_code ignored;
        std::filesystem::create_directories(nativePath(windowsFolder()), ignored);
    }
    IniFile file(iniPath);
    writeRecordingSettings(file, settings);
    file.save();
}

int32_t framesPerHour(int32_t delayMs) {
    if (delayMs == 0)
        return 0;
    // Halves go to the even neighbour, as the original's rounding does (2.5 -> 2).
    const double frames = std::nearbyint(3600000.0 / delayMs);
    return static_cast<int32_t>(frames);
}

double hourlySizeEstimate(int32_t delayMs, bool normalQuality) {
    const double megabytesPerFrame = normalQuality ? 0.035 : 0.065;
    return framesPerHour(delayMs) * megabytesPerFrame;
}

}  // namespace zv
