#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

// Length of the line end at the back of a line: "\r\n", "\n", "\r" or none.
size_t lineEndLength(const std::string &line) {
    const size_t n = line.size();
    if (n >= 2 && line[n - 2] == '\r' && line[n - 1] == '\n')
        return 2;
    return n >= 1 && (line[n - 1] == '\n' || line[n - 1] == '\r') ? 1 : 0;
}

// Length of the line without its line end.
size_t contentLength(const std::string &line) {
    return line.size() - lineEndLength(line);
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

// CR LF, LF and a bare CR (files of old Windows editors) all end a line, as the profile API
// reads them. Each line keeps its own line end.
std::vector<std::string> splitLines(const std::string &bytes) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t end = bytes.find_first_of("\r\n", pos);
        size_t next = bytes.size();
        if (end != std::string::npos)
            next = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        lines.emplace_back(bytes, pos, next - pos);
        pos = next;
    }
    return lines;
}

// Why a value is refused (a NUL, more than kMaxIniValueBytes); empty for a value in order.
std::string refusalOf(std::string_view value) {
    if (value.find('\0') != std::string_view::npos)
        return "содержит нулевой байт";
    if (value.size() > kMaxIniValueBytes)
        return "длиннее " + std::to_string(kMaxIniValueBytes) + " байт (" +
               std::to_string(value.size()) + " байт)";
    return {};
}

// A name or value as it goes into the file; throws for what would break the line structure.
std::string encodeText(std::string_view text) {
    if (text.find_first_of("\r\n") != std::string_view::npos)
        throw Error("Значение параметра не может содержать перевод строки");
    const std::string refusal = refusalOf(text);
    if (!refusal.empty())
        throw Error("Значение параметра " + refusal);
    return utf8ToCp1251(text);
}

// A system error while saving, turned into the operator's message by save().
struct SaveFailure {
    int error;
};

void check(bool ok) {
    if (!ok)
        throw SaveFailure{errno};
}

int openRetrying(const std::string &path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Writes content over the file in place, as the profile API does: the way for a file whose
// owner we may not give to a new file, or that has other names (hard links).
void writeInPlace(int fd, const std::string &content) {
    writeAt(fd, content.data(), content.size(), 0);
    check(::ftruncate(fd, static_cast<off_t>(content.size())) == 0);
    syncFile(fd, "Ошибка записи в файл");
}

// A new file temp (beside the one it replaces) holding content on stable storage, with the owner
// and rights of the old file (old) when there is one. Returns false, with the new file
// removed, when the owner cannot be given (then the caller writes in place).
bool writeBeside(const std::string &temp, const std::string &content, const struct stat *old) {
    const int fd = openRetrying(temp, O_WRONLY | O_CREAT | O_EXCL, old ? 0600 : 0644);
    check(fd >= 0);
    UniqueFd file(fd);
    try {
        if (old && (::fchown(fd, old->st_uid, old->st_gid) != 0)) {
            if (errno != EPERM)
                throw SaveFailure{errno};
            ::unlink(temp.c_str());
            return false;
        }
        if (old)
            check(::fchmod(fd, old->st_mode & 07777) == 0);
        writeAt(fd, content.data(), content.size(), 0);
        syncFile(fd, "Ошибка записи в файл");
        check(::close(file.release()) == 0);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    return true;
}

// Replaces the file at native (a symbolic link is followed) so that it holds content: a new file
// in the same folder, synced, then renamed over the old one, and the folder synced, so that a
// crash or power loss leaves either the old file or the new one, never a torn one. The old file
// must be writable where it stands (a read-only file or folder fails as it always did).
void replaceFileContent(const std::string &native, const std::string &content) {
    std::string target = native;
    if (char *real = ::realpath(native.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    struct stat old {};
    // O_NONBLOCK: a named pipe fails at once instead of waiting for a reader.
    const int fd = openRetrying(target, O_WRONLY | O_NONBLOCK);
    if (fd < 0 && errno != ENOENT)
        throw SaveFailure{errno};
    UniqueFd existing(fd);
    if (existing.valid()) {
        check(::fstat(existing.get(), &old) == 0);
        if (!S_ISREG(old.st_mode))
            throw SaveFailure{EINVAL};
        if (old.st_nlink > 1)
            return writeInPlace(existing.get(), content);  // every name keeps the new content
    }
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "./" : target.substr(0, slash + 1);
    const std::string temp = folder + "." +
                             target.substr(slash == std::string::npos ? 0 : slash + 1) + ".new-" +
                             std::to_string(::getpid());
    ::unlink(temp.c_str());  // left by a crash of an earlier process of the same number
    if (!writeBeside(temp, content, existing.valid() ? &old : nullptr))
        return writeInPlace(existing.get(), content);
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw SaveFailure{error};
    }
    const int dir = openRetrying(folder, O_RDONLY | O_DIRECTORY);
    check(dir >= 0);
    UniqueFd folderFd(dir);
    if (::fsync(dir) != 0 && errno != EINVAL)
        throw SaveFailure{errno};
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
            readError_ = systemErrorReason(errno);
        return;
    }
    UniqueFd file(fd);
    std::string bytes;
    try {
        const int64_t length = fileLength(file.get());
        if (length > kMaxIniFileBytes) {
            readError_ = "файл больше 1 МБ (" + std::to_string(length) +
                         " байт), такой файл настроек не читается";
            return;
        }
        bytes.resize(static_cast<size_t>(length));
        bytes.resize(readAt(file.get(), bytes.data(), bytes.size(), 0));
    } catch (const Error &e) {
        readError_ = e.what();
        return;
    }
    lines_ = splitLines(bytes);
    findRefusedValues();
}

IniFile IniFile::fromBytes(std::string bytes) {
    IniFile file;
    file.lines_ = splitLines(bytes);
    file.findRefusedValues();
    return file;
}

void IniFile::findRefusedValues() {
    for (const std::string &line : lines_) {
        const std::optional<ParsedKey> key = keyLine(line);
        if (!key)
            continue;
        const std::string refusal = refusalOf(
            std::string_view(line).substr(key->valueBegin, key->valueEnd - key->valueBegin));
        if (!refusal.empty())
            refused_.push_back("значение параметра " +
                               cp1251ToUtf8(key->name.substr(0, kMaxIniValueBytes)) + " " +
                               refusal + " не принято");
    }
}

std::string IniFile::bytes() const {
    std::string result;
    for (const std::string &line : lines_)
        result += line;
    return result;
}

std::string IniFile::lineEnd() const {
    // The file's own line end, as its first line has it; CR LF for a file without any.
    for (const std::string &line : lines_) {
        if (const size_t n = lineEndLength(line))
            return line.substr(line.size() - n);
    }
    return "\r\n";
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

bool IniFile::hasSection(std::string_view section) const {
    return isCp1251Representable(section) && findSection(utf8ToCp1251(section)).has_value();
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
    if (!refusalOf(text).empty())
        return std::nullopt;  // refused: read as missing (see refusedValues)
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
        if (!lines_.empty() && lineEndLength(lines_.back()) == 0)
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
    if (lineEndLength(lines_[last]) == 0)
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
    const std::string what = "Не удается записать файл \"" + path_ + "\"";
    try {
        replaceFileContent(nativePath(path_), bytes());
    } catch (const SaveFailure &failure) {
        throw Error(systemErrorText(what, failure.error));
    } catch (const Error &e) {
        throw Error(what + ": " + e.what());
    }
}

}  // namespace zv
