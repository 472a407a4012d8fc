#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv {

// Free disk space below a path, in place of GetDiskFreeSpaceEx on a drive's root folder.
class FreeSpaceSource {
public:
    virtual ~FreeSpaceSource() = default;
    // Bytes available to the current user on the file system that holds path (a path as the
    // module keeps it: a drive path or a native one). nullopt when it cannot be measured.
    // Never throws.
    virtual std::optional<int64_t> freeBytes(std::string_view path) = 0;
};

// The native folder at which the free space for a file at path is measured: the nearest existing
// folder of the mapped file ("C:\x\y.zvf" -> "<root>/drive_c/x" when it exists, else
// "<root>/drive_c"). On Windows a drive's root and its folders are one volume; here a folder below
// the drive may be another file system (a disk mounted under C:\VELD), and the folder tells. The
// recorder and the settings window both measure here. A drive path needs its drive folder
// (<root>/drive_<x>) to exist. nullopt for a path that names no place (relative, network) and for
// a drive that does not exist.
std::optional<std::string> freeSpaceFolder(std::string_view path);

// statvfs on freeSpaceFolder(path): f_bavail x f_frsize.
class StatvfsFreeSpace : public FreeSpaceSource {
public:
    std::optional<int64_t> freeBytes(std::string_view path) override;
};

// The process-wide source. Never null; lives for the whole process.
FreeSpaceSource &systemFreeSpace();

}  // namespace zv
