#include "platform/PointerImage.h"

#include <algorithm>

namespace zv {

namespace {

// One channel of premultiplied source over the screen: s + d * (255 - a) / 255, rounded.
uint32_t over(uint32_t source, uint32_t screen, uint32_t inverseAlpha) {
    const uint32_t t = screen * inverseAlpha + 128;
    return std::min<uint32_t>(255, source + ((t + (t >> 8)) >> 8));
}

uint32_t blend(uint32_t source, uint32_t screen) {
    const uint32_t alpha = source >> 24;
    if (alpha == 0 && (source & 0xFFFFFF) == 0)
        return screen;
    const uint32_t inverse = 255 - alpha;
    const uint32_t r = over((source >> 16) & 0xFF, (screen >> 16) & 0xFF, inverse);
    const uint32_t g = over((source >> 8) & 0xFF, (screen >> 8) & 0xFF, inverse);
    const uint32_t b = over(source & 0xFF, screen & 0xFF, inverse);
    return (r << 16) | (g << 8) | b;
}

}  // namespace

void drawPointer(uint32_t *pixels, int width, int height, size_t stride,
                 const PointerImage &pointer) {
    if (!pixels || !pointer.argb || pointer.width <= 0 || pointer.height <= 0)
        return;
    const int x0 = std::max(0, pointer.left), x1 = std::min(width, pointer.left + pointer.width);
    const int y0 = std::max(0, pointer.top), y1 = std::min(height, pointer.top + pointer.height);
    for (int y = y0; y < y1; ++y) {
        uint32_t *row = pixels + static_cast<size_t>(y) * stride;
        const uint32_t *source = pointer.argb + static_cast<size_t>(y - pointer.top) *
                                                    static_cast<size_t>(pointer.width);
        for (int x = x0; x < x1; ++x)
            row[x] = blend(source[x - pointer.left], row[x]);
    }
}

}  // namespace zv
