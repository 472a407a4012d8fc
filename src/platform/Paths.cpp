#include "platform/Paths.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>

namespace zv {

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string envOrEmpty(const char *name) {
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
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

std::string nativePath(std::string_view path) {
    if (!hasDriveLetter(path))
        return std::string(path);
    std::string result = zorvideoRoot();
    result += "/drive_";
    result += static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    std::string_view rest = path.substr(2);
    if (!rest.empty() && !isSeparator(rest.front()))
        result += '/';
    for (char c : rest)
        result += (c == '\\') ? '/' : c;
    return result;
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
