#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Cp1251.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/Paths.h"

namespace zv {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Bounds of the text of s[begin, end) without blanks around it.
void trimBounds(const std::string &s, size_t &begin, size_t &end) {
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
}

// Length of the line without its line end.
size_t contentLength(const std::string &line) {
    size_t n = line.size();
    if (n > 0 && line[n - 1] == '\n')
        --n;
    return n;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (cp1251ToUpper(static_cast<unsigned char>(a[i])) !=
            cp1251ToUpper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The section name when the line is a section header.
std::optional<std::string_view> sectionName(const std::string &line) {
    size_t begin = 0, end = contentLength(line);
    trimBounds(line, begin, end);
    if (begin == end || line[begin] != '[')
        return std::nullopt;
    ++begin;
    // Without a closing bracket the rest of the line is the name, as Windows reads it.
    size_t close = line.rfind(']', end - 1);
    if (close != std::string::npos && close >= begin)
        end = close;
    trimBounds(line, begin, end);
    return std::string_view(line).substr(begin, end - begin);
}

struct ParsedKey {
    std::string_view name;
    size_t valueBegin, valueEnd;
};

std::optional<ParsedKey> keyLine(const std::string &line) {
    size_t end = contentLength(line);
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq >= end)
        return std::nullopt;
    size_t nameBegin = 0, nameEnd = eq;
    trimBounds(line, nameBegin, nameEnd);
    if (nameBegin == nameEnd || line[nameBegin] == '[')
        return std::nullopt;
    size_t valueBegin = eq + 1, valueEnd = end;
    trimBounds(line, valueBegin, valueEnd);
    return ParsedKey{std::string_view(line).substr(nameBegin, nameEnd - nameBegin), valueBegin,
                     valueEnd};
}

std::vector<std::string> splitLines(const std::string &bytes) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        size_t next = nl == std::string::npos ? bytes.size() : nl + 1;
        lines.emplace_back(bytes, pos, next - pos);
        pos = next;
    }
    return lines;
}

// A name or value as it goes into the file; throws for what would break the line structure.
std::string encodeText(std::string_view text) {
    if (text.find_first_of("\r\n") != std::string_view::npos)
        throw Error("Значение параметра не может содержать перевод строки");
    return utf8ToCp1251(text);
}

}  // namespace

std::optional<int32_t> parseProfileInteger(std::string_view text) {
    size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        negative = text[pos++] == '-';
    if (pos == text.size())
        return std::nullopt;
    int64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > int64_t{1} << 31)
            return std::nullopt;
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    std::string native = nativePath(path_);
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            readError_ = std::strerror(errno);
        return;
    }
    UniqueFd file(fd);
    std::string bytes;
    try {
        bytes.resize(static_cast<size_t>(fileLength(file.get())));
        bytes.resize(readAt(file.get(), bytes.data(), bytes.size(), 0));
    } catch (const Error &e) {
        readError_ = e.what();
        return;
    }
    lines_ = splitLines(bytes);
}

IniFile IniFile::fromBytes(std::string bytes) {
    IniFile file;
    file.lines_ = splitLines(bytes);
    return file;
}

std::string IniFile::bytes() const {
    std::string result;
    for (const std::string &line : lines_)
        result += line;
    return result;
}

std::string IniFile::lineEnd() const {
    bool lf = false;
    for (const std::string &line : lines_) {
        size_t n = line.size();
        if (n >= 2 && line[n - 2] == '\r' && line[n - 1] == '\n')
            return "\r\n";
        if (n >= 1 && line[n - 1] == '\n')
            lf = true;
    }
    return lf ? "\n" : "\r\n";
}

std::optional<size_t> IniFile::findSection(std::string_view section1251) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::optional<std::string_view> name = sectionName(lines_[i]);
        if (name && sameName(*name, section1251))
            return i;
    }
    return std::nullopt;
}

std::optional<IniFile::KeyLine> IniFile::findKey(std::string_view section1251,
                                                 std::string_view key1251) const {
    std::optional<size_t> header = findSection(section1251);
    if (!header)
        return std::nullopt;
    for (size_t i = *header + 1; i < lines_.size() && !sectionName(lines_[i]); ++i) {
        std::optional<ParsedKey> key = keyLine(lines_[i]);
        if (key && sameName(key->name, key1251))
            return KeyLine{i, key->valueBegin, key->valueEnd};
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    // A name that Windows-1251 cannot hold cannot be in the file either.
    if (!isCp1251Representable(section) || !isCp1251Representable(key))
        return std::nullopt;
    std::optional<KeyLine> found = findKey(utf8ToCp1251(section), utf8ToCp1251(key));
    if (!found)
        return std::nullopt;
    std::string_view text = std::string_view(lines_[found->line])
                                .substr(found->valueBegin, found->valueEnd - found->valueBegin);
    // Windows drops one pair of matching quotes around a value.
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front())
        text = text.substr(1, text.size() - 2);
    return cp1251ToUtf8(text);
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    std::optional<std::string> text = value(section, key);
    return text ? *text : std::string(defaultValue);
}

int32_t IniFile::readInteger(std::string_view section, std::string_view key,
                             int32_t defaultValue) const {
    std::optional<std::string> text = value(section, key);
    if (!text)
        return defaultValue;
    return parseProfileInteger(*text).value_or(defaultValue);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    std::string section1251 = encodeText(section);
    std::string key1251 = encodeText(key);
    std::string value1251 = encodeText(value);

    if (std::optional<KeyLine> found = findKey(section1251, key1251)) {
        std::string &line = lines_[found->line];
        line.replace(found->valueBegin, found->valueEnd - found->valueBegin, value1251);
        return;
    }
    const std::string eol = lineEnd();
    std::string newLine = key1251 + "=" + value1251 + eol;
    std::optional<size_t> header = findSection(section1251);
    if (!header) {
        if (!lines_.empty() && lines_.back().back() != '\n')
            lines_.back() += eol;
        lines_.push_back("[" + section1251 + "]" + eol);
        lines_.push_back(newLine);
        return;
    }
    // After the last non-blank line of the section, so that a blank line that separates it from
    // the next section stays below.
    size_t last = *header;
    for (size_t i = *header + 1; i < lines_.size() && !sectionName(lines_[i]); ++i) {
        size_t begin = 0, end = contentLength(lines_[i]);
        trimBounds(lines_[i], begin, end);
        if (begin != end)
            last = i;
    }
    if (lines_[last].back() != '\n')
        lines_[last] += eol;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last) + 1, newLine);
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int32_t value) {
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

void IniFile::save() const {
    if (!readError_.empty())
        throw Error("Не удается прочитать файл \"" + path_ + "\": " + readError_);
    const std::string content = bytes();
    const std::string native = nativePath(path_);
    auto fail = [&](int err) {
        return Error(systemErrorText("Не удается записать файл \"" + path_ + "\"", err));
    };
    // In place rather than through a new file and a rename: a read-only file must stay refused,
    // and the file keeps its owner and rights.
    int fd;
    do {
        fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw fail(errno);
    UniqueFd file(fd);
    try {
        writeAt(file.get(), content.data(), content.size(), 0);
    } catch (const Error &e) {
        throw Error("Не удается записать файл \"" + path_ + "\": " + e.what());
    }
    if (::ftruncate(file.get(), static_cast<off_t>(content.size())) != 0)
        throw fail(errno);
    if (::close(file.release()) != 0)
        throw fail(errno);
}

}  // namespace zv
