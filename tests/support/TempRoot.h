#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zvtest {

// A fresh temporary folder that ZORVIDEO_ROOT (and XDG_CONFIG_HOME, for stored window
// placements) points at while the object lives; removed with everything in it afterwards.
class TempRoot {
public:
    TempRoot();
    ~TempRoot();
    TempRoot(const TempRoot &) = delete;
    TempRoot &operator=(const TempRoot &) = delete;

    const std::string &path() const { return path_; }
    // path() + "/" + relative
    std::string file(const std::string &relative) const;

private:
    std::string path_;
    std::string previousRoot_;
    std::string previousConfig_;
    bool hadRoot_ = false;
    bool hadConfig_ = false;
};

// Writes bytes to a native path, creating parent folders.
void writeFile(const std::string &nativeFile, const std::string &bytes);
std::string readFile(const std::string &nativeFile);
// The names of a folder's entries, sorted.
std::vector<std::string> namesIn(const std::string &nativeFolder);
// Whether each 8-bit channel of two 0x..RRGGBB pixels differs by at most tolerance: a recorded
// colour as near as a frame's palette gives it.
bool nearColour(uint32_t pixel, uint32_t colour, int tolerance = 16);

}  // namespace zvtest

namespace zvtest {

// While the object lives, the calling thread obeys file permissions even as root (the
// capabilities that override them are left out of its effective set), so that a folder made
// read-only really refuses writes.
class ScopedFileRights {
public:
    ScopedFileRights();
    ~ScopedFileRights();
    ScopedFileRights(const ScopedFileRights &) = delete;
    ScopedFileRights &operator=(const ScopedFileRights &) = delete;

private:
    bool dropped_ = false;
};

}  // namespace zvtest
