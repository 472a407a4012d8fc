#include "container/GifFixtures.h"

#include <gif_lib.h>

#include <stdexcept>

namespace zvtest {

namespace {

int append(GifFileType *gif, const GifByteType *data, int length) {
    auto *out = static_cast<std::vector<uint8_t> *>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

ColorMapObject *makeMap(const std::vector<Rgb> &palette) {
    if (palette.empty())
        return nullptr;
    std::vector<GifColorType> colours;
    for (Rgb c : palette)
        colours.push_back({c.r, c.g, c.b});
    return GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
}

void check(int result, const char *what) {
    if (result == GIF_ERROR)
        throw std::runtime_error(what);
}

}  // namespace

std::vector<uint8_t> makeGif(const GifLayout &layout) {
    std::vector<uint8_t> out;
    int error = 0;
    GifFileType *gif = EGifOpen(&out, append, &error);
    if (!gif)
        throw std::runtime_error("EGifOpen");
    EGifSetGifVersion(gif, true);
    ColorMapObject *global = makeMap(layout.globalPalette);
    check(EGifPutScreenDesc(gif, layout.screenWidth, layout.screenHeight, 8, layout.background,
                            global),
          "screen");
    GifFreeMapObject(global);
    for (const GifPicture &p : layout.pictures) {
        if (p.transparent >= 0) {
            GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, p.transparent};
            GifByteType block[4];
            size_t n = EGifGCBToExtension(&gcb, block);
            check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), block), "gcb");
        }
        ColorMapObject *local = makeMap(p.localPalette);
        check(EGifPutImageDesc(gif, p.left, p.top, p.width, p.height, p.interlaced, local),
              "image");
        GifFreeMapObject(local);
        std::vector<int> order;
        if (p.interlaced) {
            const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < p.height; y += step[pass])
                    order.push_back(y);
        } else {
            for (int y = 0; y < p.height; ++y)
                order.push_back(y);
        }
        for (int y : order) {
            std::vector<GifPixelType> row(p.raster.begin() + y * p.width,
                                          p.raster.begin() + (y + 1) * p.width);
            check(EGifPutLine(gif, row.data(), p.width), "line");
        }
    }
    check(EGifCloseFile(gif, &error), "close");
    return out;
}

GifPicture patternPicture(int width, int height, int colours) {
    GifPicture p;
    p.width = width;
    p.height = height;
    p.raster.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.raster[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>((x * 7 + y * 3) % colours);
    return p;
}

std::vector<Rgb> distinctPalette(int colours, int seed) {
    std::vector<Rgb> palette;
    for (int i = 0; i < colours; ++i) {
        int v = i + seed * 37;
        palette.push_back({static_cast<uint8_t>((v * 8) & 0xF8),
                           static_cast<uint8_t>(((v / 32) * 40 + 16) & 0xF8),
                           static_cast<uint8_t>((255 - i * 8) & 0xF8)});
    }
    return palette;
}

std::vector<uint8_t> smallGif(int seed) {
    GifLayout layout;
    layout.screenWidth = 6;
    layout.screenHeight = 4;
    layout.globalPalette = distinctPalette(8, seed);
    layout.pictures.push_back(patternPicture(6, 4, 8));
    return makeGif(layout);
}

}  // namespace zvtest
