#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

// The pointer's picture where it stands on the screen: width * height pixels of premultiplied
// ARGB (0xAARRGGBB in a native uint32, as X's XFixes gives it), rows contiguous; left and top
// are the screen position of its top-left pixel (the pointer's position less its hot spot).
struct PointerImage {
    const uint32_t *argb = nullptr;
    int width = 0;
    int height = 0;
    int left = 0;
    int top = 0;
};

// Draws the pointer over a screen picture (0xXXRRGGBB pixels, rows stride apart), alpha blended;
// the part outside the screen is left out. The top byte of the pixels it changes becomes 0.
void drawPointer(uint32_t *pixels, int width, int height, size_t stride,
                 const PointerImage &pointer);

}  // namespace zv
