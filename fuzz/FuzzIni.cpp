// cnf.INI as people and the recorder leave it: any bytes parse; every key reads; the settings
// written read back from bytes() re-parsed; and everything outside the written lines is kept
// (every other key reads as before, every line that is not a key line stays as it was).
#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "platform/Cp1251.h"
#include "platform/IniFile.h"
#include "recording/RecordingSettings.h"

namespace {

struct Line {
    std::string text;  // without its line end
    std::string section;
    std::string key;  // empty when the line is not a key line
};

std::string trimmed(std::string_view s) {
    const size_t begin = s.find_first_not_of(" \t");
    if (begin == std::string_view::npos)
        return {};
    const size_t end = s.find_last_not_of(" \t");
    return std::string(s.substr(begin, end - begin + 1));
}

// A rough reading of the lines, independent of the parser under test: enough to name the
// sections and keys to ask for. CR, LF and CR LF all end a line.
std::vector<Line> roughLines(std::string_view bytes) {
    std::vector<Line> lines;
    std::string section;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        Line line{std::string(bytes.substr(pos, end - pos)), {}, {}};
        const std::string t = trimmed(line.text);
        if (!t.empty() && t.front() == '[') {
            const size_t close = t.rfind(']');
            section = trimmed(
                t.substr(1, (close == std::string::npos || close == 0 ? t.size() : close) - 1));
        } else if (const size_t eq = line.text.find('='); eq != std::string::npos) {
            line.key = trimmed(std::string_view(line.text).substr(0, eq));
        }
        line.section = section;
        lines.push_back(std::move(line));
        pos = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

bool isSettingsKey(const Line &line) {
    static const char *kKeys[] = {
        zv::kKeyOutFile,   zv::kKeyBitRate,     zv::kKeyWaitForNextFrame, zv::kKeyMinHDDSize,
        zv::kKeyEnableRec, zv::kKeyMaxFileSize, zv::kKeyRecursiveRecord};
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (zv::cp1251ToUpper(static_cast<unsigned char>(a[i])) !=
                zv::cp1251ToUpper(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    };
    if (!same(line.section, zv::kSettingsSection))
        return false;
    for (const char *key : kKeys)
        if (same(line.key, key))
            return true;
    return false;
}

// Settings made from the input's own bytes, so that the written values vary too.
TRecordingSettings settingsFrom(const uint8_t *data, size_t size) {
    TRecordingSettings s;
    uint32_t mix = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        mix = (mix ^ data[i]) * 16777619u;
    s.BitRate = static_cast<int32_t>(mix);
    s.WaitForNextFrame = static_cast<int32_t>(mix >> 7);
    s.MinHDDSize = -static_cast<int32_t>(mix % 1000);
    s.EnableRec = mix & 1;
    s.MaxFileSize = static_cast<int32_t>(mix ^ 0x5A5A5A5A);
    s.RecursiveRecord = mix & 2;
    s.OutFile = zv::cp1251ToUtf8(
        std::string(reinterpret_cast<const char *>(data), std::min<size_t>(size, 24)));
    // A value cannot hold a line break or a NUL: the writer refuses those.
    for (char &c : s.OutFile)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    zv::IniFile ini = zv::IniFile::fromBytes(bytes);
    FUZZ_CHECK(ini.bytes() == bytes);

    const std::vector<Line> lines = roughLines(bytes);
    std::vector<std::pair<Line, std::optional<std::string>>> before;
    for (const Line &line : lines) {
        if (line.key.empty())
            continue;
        const std::string section = zv::cp1251ToUtf8(line.section);
        const std::string key = zv::cp1251ToUtf8(line.key);
        (void)ini.readInteger(section, key, 7);
        (void)ini.readBool(section, key, true);
        before.emplace_back(line, ini.value(section, key));
    }
    TRecordingSettings read;
    zv::readRecordingSettings(ini, read);

    const TRecordingSettings written = settingsFrom(data, size);
    zv::writeRecordingSettings(ini, written);
    const std::string after = ini.bytes();
    const zv::IniFile reparsed = zv::IniFile::fromBytes(after);
    TRecordingSettings back;
    zv::readRecordingSettings(reparsed, back);
    // Values are trimmed and lose one pair of quotes when read, as Windows reads them.
    std::string expectedOut = trimmed(written.OutFile);
    if (expectedOut.size() >= 2 && (expectedOut.front() == '"' || expectedOut.front() == '\'') &&
        expectedOut.back() == expectedOut.front())
        expectedOut = expectedOut.substr(1, expectedOut.size() - 2);
    FUZZ_CHECK(back.OutFile == expectedOut);
    TRecordingSettings numbers = back;
    numbers.OutFile = written.OutFile;
    FUZZ_CHECK(numbers == written);

    // Every other key reads as before; every line that is not a key line is still there.
    for (const auto &[line, value] : before) {
        if (isSettingsKey(line))
            continue;
        FUZZ_CHECK(reparsed.value(zv::cp1251ToUtf8(line.section), zv::cp1251ToUtf8(line.key)) ==
                   value);
    }
    size_t searchFrom = 0;
    for (const Line &line : lines) {
        if (!line.key.empty())
            continue;
        const size_t at = after.find(line.text, searchFrom);
        FUZZ_CHECK(at != std::string::npos);
        searchFrom = at + line.text.size();
    }
    return 0;
}
