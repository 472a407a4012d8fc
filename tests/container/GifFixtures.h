#pragma once

#include <cstdint>
#include <vector>

// GIF files made by code for the container tests, written with giflib's low-level encoder so that
// every variant (interlacing, local palettes, transparency, offsets, several pictures) is exact.
namespace zvtest {

struct Rgb {
    uint8_t r, g, b;
};

struct GifPicture {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    std::vector<Rgb> localPalette;  // empty: use the global one; size a power of two
    int transparent = -1;
    std::vector<uint8_t> raster;  // width * height indices, rows in display order
};

struct GifLayout {
    int screenWidth = 0, screenHeight = 0;
    int background = 0;
    std::vector<Rgb> globalPalette;  // empty: none; size a power of two
    std::vector<GifPicture> pictures;
};

std::vector<uint8_t> makeGif(const GifLayout &layout);

// A picture of the given size whose pixel (x, y) has index (x * 7 + y * 3) % colours.
GifPicture patternPicture(int width, int height, int colours);

// A 6 x 4 one-picture GIF with an 8-colour palette chosen by seed: small frames that differ.
std::vector<uint8_t> smallGif(int seed);

// colours entries, all different, each channel a multiple of 8.
std::vector<Rgb> distinctPalette(int colours, int seed = 0);

// 0xAARRGGBB as GifImage::pixels() holds it.
inline uint32_t argb(Rgb c) {
    return 0xFF000000u | (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
}

}  // namespace zvtest
