#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// Bounds of what is read at all: a larger file, or a longer value (or one holding a NUL byte),
// is refused rather than read.
inline constexpr int64_t kMaxIniFileBytes = 1'048'576;
inline constexpr size_t kMaxIniValueBytes = 4096;

// A profile (INI) file with the behaviour of the Windows profile API, which is what the recorder
// expects of cnf.INI:
//  - section and key names match without regard to case; the first section and the first key of
//    a name count, later duplicates are ignored;
//  - CR LF, LF and a bare CR (files of old Windows editors) all end a line;
//  - a key line is "name=value"; name and value are trimmed of blanks and tabs, and a value
//    read loses one pair of matching quotes around it ('x' or "x"); lines that are
//    neither a section nor a key (comments, garbage) are ignored when reading;
//  - a write replaces the value in place, or adds the key after the last line of its section, or
//    adds the section at the end of the file; every other byte of the file stays as it was, and
//    new lines take the line end of the file's first line (CR LF for a file without any).
// On disk the file is Windows-1251; names and values here are UTF-8.
//
// Writes change the copy in memory; save() replaces the whole file at once, so a failure leaves
// the file as it was rather than half-updated.
class IniFile {
public:
    // Reads the file at path (an operator path, mapped with nativePath). A missing file reads as
    // empty and is created by save(). Never throws: a file that exists but cannot be read (or is
    // larger than kMaxIniFileBytes) also reads as empty, and then save() refuses to overwrite it.
    explicit IniFile(std::string path);

    // An unnamed file over the given Windows-1251 bytes (for parsing without disk access).
    static IniFile fromBytes(std::string bytes);

    const std::string &path() const { return path_; }
    // Why a file that exists could not be read (the system's reason); empty when it was read or
    // is missing.
    const std::string &readError() const { return readError_; }
    // Values refused while reading (longer than kMaxIniValueBytes or holding a NUL byte), one
    // Russian line each naming the key; such a key reads as missing.
    const std::vector<std::string> &refusedValues() const { return refused_; }
    // Whole file as it would be saved.
    std::string bytes() const;

    // Whether a section of that name is there.
    bool hasSection(std::string_view section) const;
    // The trimmed value, UTF-8; nullopt when the section or key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // A present key with an empty value reads as the empty string, not as the default.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Decimal, optional sign, within 32 bits; anything else (empty, text, overflow) gives the
    // default.
    int32_t readInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
    // Read as an integer: any value other than 0 is true.
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;

    // Throw zv::Error when a name or value holds a line break or a NUL, is longer than
    // kMaxIniValueBytes, or cannot be written in Windows-1251; the copy in memory is then
    // unchanged.
    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int32_t value);
    void writeBool(std::string_view section, std::string_view key, bool value);

    // Puts the file on disk so that a crash or power loss at any moment leaves either the old
    // file or the new one: a new file in the same folder, synced, given the old one's owner and
    // rights, renamed over it, and the folder synced. A symbolic link is followed (the link
    // stays); a file with other names (hard links), or whose owner cannot be given to a new
    // file, is written in place instead. Creates the file but not its folder. Throws zv::Error
    // "Не удается записать файл \"<path>\": <reason>" (a read-only file or folder included);
    // the file on disk is then unchanged.
    void save() const;

private:
    IniFile() = default;

    struct KeyLine {
        size_t line;
        size_t valueBegin, valueEnd;  // trimmed value within the line's bytes
    };
    std::optional<size_t> findSection(std::string_view section1251) const;
    std::optional<KeyLine> findKey(std::string_view section1251, std::string_view key1251) const;
    std::string lineEnd() const;
    void findRefusedValues();

    std::string path_;
    // Each line with its own line end ("\r\n", "\n", or none for the last line).
    std::vector<std::string> lines_;
    std::string readError_;  // why an existing file could not be read
    std::vector<std::string> refused_;
};

// Parses a whole profile-file integer as the reads above do.
std::optional<int32_t> parseProfileInteger(std::string_view text);

}  // namespace zv
