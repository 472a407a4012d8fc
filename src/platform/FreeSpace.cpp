#include "platform/FreeSpace.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <limits>

#include "platform/Paths.h"

namespace zv {

namespace {

bool isDirectory(const std::string &nativeFolder) {
    struct stat st {};
    return ::stat(nativeFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::optional<std::string> freeSpaceFolder(std::string_view path) {
    std::string folder(path);
    if (hasDriveLetter(path)) {
        if (!isDirectory(nativePath(drivePart(path) + "\\")))
            return std::nullopt;
        folder = nativePath(path);
    }
    if (folder.empty() || folder.front() != '/')
        return std::nullopt;
    // The file's folder may not exist yet (the recorder makes it); any folder above it lies on
    // the same file system unless something is mounted in between, which would exist.
    while (!isDirectory(folder)) {
        const size_t slash = folder.find_last_of('/');
        folder.resize(slash == 0 ? 1 : slash);
    }
    return folder;
}

std::optional<int64_t> StatvfsFreeSpace::freeBytes(std::string_view path) {
    const std::optional<std::string> folder = freeSpaceFolder(path);
    struct statvfs fs {};
    if (!folder || ::statvfs(folder->c_str(), &fs) != 0)
        return std::nullopt;
    constexpr auto kMax = static_cast<unsigned long long>(std::numeric_limits<int64_t>::max());
    const unsigned long long blocks = fs.f_bavail, size = fs.f_frsize;
    if (size != 0 && blocks > kMax / size)
        return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(blocks * size);
}

FreeSpaceSource &systemFreeSpace() {
    static StatvfsFreeSpace source;
    return source;
}

}  // namespace zv
