#pragma once

#include <cstdint>
#include <string>

namespace zv {
class IniFile;
}

// The recorder's settings as the module holds them. The defaults are the values of a freshly
// loaded module and of every key missing from cnf.INI. The one instance of the module
// (RecordingSettings) belongs to the plug-in's module state; windows receive it by reference.
struct TRecordingSettings {
    std::string OutFile = "C:\\VELD\\ZORVIDEO\\BigFile.zvf";  // UTF-8, as the operator typed it
    int32_t BitRate = 4;                                      // 4 normal, 8 high quality
    int32_t WaitForNextFrame = 1000;                          // ms between two screenshots
    int32_t MinHDDSize = 1000;                                // MB free below which recording stops
    bool EnableRec = false;
    int32_t MaxFileSize = 4000;  // MB at which the recorder starts a new file
    bool RecursiveRecord = true;

    bool operator==(const TRecordingSettings &) const = default;
};

namespace zv {

// The section and keys of cnf.INI, in the order they are written.
inline constexpr const char *kSettingsSection = "ZORVideo";
inline constexpr const char *kKeyOutFile = "zvOutFile";
inline constexpr const char *kKeyBitRate = "zvBitRate";
inline constexpr const char *kKeyWaitForNextFrame = "zvWaitForNextFrame";
inline constexpr const char *kKeyMinHDDSize = "zvMinHDDSize";
inline constexpr const char *kKeyEnableRec = "zvEnableRec";
inline constexpr const char *kKeyMaxFileSize = "zvMaxFileSize";
inline constexpr const char *kKeyRecursiveRecord = "zvRecursiveRecord";

// Reads the seven keys, each with the field's current value as its default, into settings.
// Never throws; a missing or unreadable file leaves the fields as they are, and the second form
// then says why (empty when the file was read whole), for whoever must tell: a file that cannot
// be read or is over 1 MB, a missing section [ZORVideo], a value that is not a whole number, or
// one refused for its length or a NUL byte (those keys keep the fields' values).
void readRecordingSettings(const IniFile &file, TRecordingSettings &settings);
std::string readRecordingSettings(const std::string &iniPath, TRecordingSettings &settings);

// Sets the seven keys in the file's copy in memory, in key order.
void writeRecordingSettings(IniFile &file, const TRecordingSettings &settings);

// Writes the seven keys into the file at iniPath at once, keeping everything else in it.
// Creates the file (and the Windows folder when iniPath is the configuration file) when missing.
// Throws zv::Error when nothing could be written; the file is then unchanged.
void saveRecordingSettings(const std::string &iniPath, const TRecordingSettings &settings);

// Frames per hour at the given delay between screenshots, rounded half to even; 0 for a delay
// of 0 (the division error of the original gives 0 frames too).
int32_t framesPerHour(int32_t delayMs);
// The hourly size estimate of the settings window, in megabytes: frames per hour times 0.035 MB
// for normal quality or 0.065 MB for high quality.
double hourlySizeEstimate(int32_t delayMs, bool normalQuality);

}  // namespace zv

// "C:\WINDOWS\cnf.INI": the Windows folder followed by "\cnf.INI". An operator path; the file
// system sees it through zv::nativePath.
std::string ConfigFileName();
