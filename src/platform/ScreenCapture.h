#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace zv {

// A picture of the whole screen: width * height pixels 0xXXRRGGBB in a native uint32 (the top
// byte means nothing), rows stride pixels apart, top row first. The pixels belong to the source
// that made it and stay valid until its next grab.
struct ScreenImage {
    const uint32_t *pixels = nullptr;
    int width = 0;
    int height = 0;
    size_t stride = 0;
};

// Takes pictures of the screen for the recorder. grab() throws zv::Error when no picture can be
// taken (the display went away, the server refused); the next grab may succeed again.
class ScreenSource {
public:
    virtual ~ScreenSource() = default;
    virtual ScreenImage grab() = 0;
    // How the pictures are taken, for the log ("MIT-SHM", "GetImage", ...).
    virtual const char *method() const = 0;
};

// The screen of an X display: displayName, or $DISPLAY when it is empty. Pictures are taken of
// the root window through shared memory (MIT-SHM) when the server offers it and allowSharedMemory
// is set, with GetImage otherwise; a root window that changes size is followed. With drawPointer
// (and the XFixes extension on the server) every picture shows the pointer where it is, in the
// shape the operator sees, alpha blended at its hot spot. Throws zv::Error when the display
// cannot be opened.
std::unique_ptr<ScreenSource> makeX11ScreenSource(const std::string &displayName = {},
                                                  bool allowSharedMemory = true,
                                                  bool drawPointer = true);

// How the pixels of an image from the display server are laid out.
struct PixelLayout {
    int bitsPerPixel = 32;  // 16, 24 or 32
    bool msbFirst = false;  // the server's image byte order
    uint32_t redMask = 0xFF0000, greenMask = 0xFF00, blueMask = 0xFF;

    // Already 0xXXRRGGBB in a native uint32: no conversion is needed.
    bool isNativeXrgb() const;
};

// Converts height rows of width pixels, bytesPerLine apart, to 0x00RRGGBB, width per row in out.
// Channels of fewer than 8 bits are widened to the full range. Unsupported layouts (other bits
// per pixel, an empty mask) throw zv::Error.
void convertToXrgb(const uint8_t *data, const PixelLayout &layout, int width, int height,
                   size_t bytesPerLine, uint32_t *out);

}  // namespace zv
