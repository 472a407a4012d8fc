#include "platform/Paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QString>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/Error.h"
#include "platform/File.h"

namespace zv {

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string envOrEmpty(const char *name) {
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool entryExists(const std::string &native) {
    struct stat st {};
    return ::lstat(native.c_str(), &st) == 0;
}

// Equal regardless of case: Unicode case for UTF-8 names, ASCII case for names that are not
// valid UTF-8 (those are compared byte by byte otherwise).
bool sameIgnoringCase(const std::string &a, const std::string &b) {
    const QString ua = QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()));
    const QString ub = QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size()));
    if (ua.toUtf8().toStdString() == a && ub.toUtf8().toStdString() == b)
        return ua.compare(ub, Qt::CaseInsensitive) == 0;
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The entry of folder that matches name regardless of case (the first in byte order when there
// are several); empty when none does.
std::string entryIgnoringCase(const std::string &folder, const std::string &name) {
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.empty() ? "/" : folder.c_str()),
                                             ::closedir);
    std::string found;
    if (!dir)
        return found;
    while (const dirent *entry = ::readdir(dir.get())) {
        const std::string candidate = entry->d_name;
        if (sameIgnoringCase(candidate, name) && (found.empty() || candidate < found))
            found = candidate;
    }
    return found;
}

// "<root>/drive_c" + the rest of a drive path, each component as it exists on disk.
std::string mapDrivePath(std::string_view path) {
    std::string result = zorvideoRoot();
    result += "/drive_";
    result += static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    std::string_view rest = path.substr(2);
    if (rest.empty())
        return result;
    if (!isSeparator(rest.front()))
        result += '/';
    std::string typed = result;
    for (char c : rest)
        typed += (c == '\\') ? '/' : c;
    if (entryExists(typed))
        return typed;  // every component matches exactly

    bool onDisk = true;  // everything up to here exists
    size_t at = 0;
    while (at < rest.size()) {
        if (isSeparator(rest[at])) {
            result += '/';
            ++at;
            continue;
        }
        size_t end = at;
        while (end < rest.size() && !isSeparator(rest[end]))
            ++end;
        const std::string component(rest.substr(at, end - at));
        at = end;
        if (onDisk && component != "." && component != ".." && !entryExists(result + component)) {
            const std::string match = entryIgnoringCase(result, component);
            onDisk = !match.empty();
            result += onDisk ? match : component;
            continue;
        }
        result += component;
    }
    return result;
}

// A root written differently ("/a//b/") still names the same folder.
std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// "X:\…" for native when it lies under root + "/drive_<x>"; empty otherwise.
std::string underDriveOf(std::string_view native, const std::string &root) {
    const std::string prefix = root + "/drive_";
    if (native.size() < prefix.size() + 1 || native.substr(0, prefix.size()) != prefix)
        return {};
    const char letter = native[prefix.size()];
    std::string_view rest = native.substr(prefix.size() + 1);
    if (letter < 'a' || letter > 'z' || (!rest.empty() && rest.front() != '/'))
        return {};
    std::string result(1, static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    result += ":\\";
    if (!rest.empty())
        rest.remove_prefix(1);
    for (char c : rest)
        result += (c == '/') ? '\\' : c;
    return result;
}

}  // namespace

std::string zorvideoRoot() {
    std::string root = envOrEmpty("ZORVIDEO_ROOT");
    if (!root.empty())
        return root;
    std::string data = envOrEmpty("XDG_DATA_HOME");
    if (!data.empty())
        return data + "/zorvideo";
    std::string home = envOrEmpty("HOME");
    if (home.empty())
        home = "/tmp";
    return home + "/.local/share/zorvideo";
}

bool hasDriveLetter(std::string_view path) {
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

bool isUnmappedWindowsPath(std::string_view path) {
    if (hasDriveLetter(path) || path.empty() || path.front() == '/')
        return false;
    return path.find('\\') != std::string_view::npos && path.find('/') == std::string_view::npos;
}

std::string nativePath(std::string_view path) {
    if (hasDriveLetter(path))
        return mapDrivePath(path);
    if (isUnmappedWindowsPath(path))
        return {};
    return std::string(path);
}

std::string nativeFilePath(std::string_view path) {
    if (isUnmappedWindowsPath(path))
        throw Error(
            systemErrorText("Не удается открыть файл \"" + std::string(path) + "\"", ENOENT));
    return nativePath(path);
}

std::string operatorPath(std::string_view native) {
    const std::string root = withoutTrailingSeparators(zorvideoRoot());
    std::string mapped = underDriveOf(native, root);
    if (mapped.empty()) {
        // The dialog may give the folder by its real path (the root reached through a link).
        char real[PATH_MAX];
        if (::realpath(root.c_str(), real) && root != real)
            mapped = underDriveOf(native, real);
    }
    return mapped.empty() ? std::string(native) : mapped;
}

std::string folderPart(std::string_view path) {
    for (size_t i = path.size(); i > 0; --i) {
        char c = path[i - 1];
        if (isSeparator(c) || (c == ':' && i == 2 && hasDriveLetter(path)))
            return std::string(path.substr(0, i));
    }
    return {};
}

std::string fileNamePart(std::string_view path) {
    return std::string(path.substr(folderPart(path).size()));
}

std::string drivePart(std::string_view path) {
    if (hasDriveLetter(path))
        return std::string(path.substr(0, 2));
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        // \\server\share: up to the separator that ends the share name.
        size_t separators = 0;
        for (size_t i = 2; i < path.size(); ++i) {
            if (isSeparator(path[i]) && ++separators == 2)
                return std::string(path.substr(0, i));
        }
        return std::string(path);
    }
    return {};
}

std::string windowsFolder() {
    return "C:\\WINDOWS";
}

bool fileExists(std::string_view path) {
    struct stat st {};
    return ::stat(nativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool directoryExists(std::string_view path) {
    struct stat st {};
    return ::stat(nativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace zv
