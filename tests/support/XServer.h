#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct xcb_connection_t;

namespace zvtest {

// An X server (Xvfb) of the test's own, with a screen of the given size and depth, running while
// the object lives. Throws std::runtime_error when it does not come up.
class XServer {
public:
    XServer(int width, int height, int depth = 24);
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    // ":<n>", for DISPLAY.
    const std::string &display() const { return display_; }
    // The server's process, for its processor time (processCpuMs).
    int pid() const { return pid_; }

private:
    int pid_ = -1;
    std::string display_;
};

// Processor time (user and system) of a process so far, in milliseconds, from /proc/<pid>/stat;
// 0 when it cannot be read.
double processCpuMs(int pid);

// Sets DISPLAY while the object lives (unsets it for an empty name), then restores it.
class ScopedDisplay {
public:
    explicit ScopedDisplay(const std::string &display);
    ~ScopedDisplay();
    ScopedDisplay(const ScopedDisplay &) = delete;
    ScopedDisplay &operator=(const ScopedDisplay &) = delete;

private:
    std::string previous_;
    bool had_ = false;
};

// The picture of the root window of a display, set as its background: what a capture of the
// whole screen then sees. Keeps a connection while it lives, so that the server does not reset
// and drop the picture. Works on TrueColor screens of 16, 24 and 32 bits.
class RootPicture {
public:
    // displayName: empty for $DISPLAY. Throws std::runtime_error without a display.
    explicit RootPicture(const std::string &displayName = {});
    ~RootPicture();
    RootPicture(const RootPicture &) = delete;
    RootPicture &operator=(const RootPicture &) = delete;

    int width() const { return width_; }
    int height() const { return height_; }

    // One colour (0xRRGGBB) over the whole screen.
    void fill(uint32_t rgb);
    // A picture of 0xXXRRGGBB pixels, rows stride pixels apart, from the top left corner.
    void show(const uint32_t *pixels, int width, int height, size_t stride);

private:
    uint32_t pixelOf(uint32_t rgb) const;
    void sync();

    xcb_connection_t *connection_ = nullptr;
    uint32_t root_ = 0;
    int width_ = 0, height_ = 0, depth_ = 0, bitsPerPixel_ = 32;
    uint32_t masks_[3] = {0xFF0000, 0xFF00, 0xFF};
};

}  // namespace zvtest
