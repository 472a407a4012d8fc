#include "container/TextImage.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zv {

namespace {

// Blocks are cut at runs of this many columns of one grey level: wider than the blank between
// two words, so that a block holds whole words and its background outnumbers its ink.
constexpr int kColumnCut = 8;

struct Block {
    int x0, y0, x1, y1;
};

bool rowIsFlat(const GreyImage &image, int y, int x0, int x1) {
    for (int x = x0 + 1; x < x1; ++x)
        if (image.at(x, y) != image.at(x0, y))
            return false;
    return true;
}

bool columnIsFlat(const GreyImage &image, int x, int y0, int y1) {
    for (int y = y0 + 1; y < y1; ++y)
        if (image.at(x, y) != image.at(x, y0))
            return false;
    return true;
}

void whiten(GreyImage &image, const Block &b) {
    for (int y = b.y0; y < b.y1; ++y)
        std::fill_n(&image.at(b.x0, y), b.x1 - b.x0, uint8_t{255});
}

// The block's background: the median grey level of its outermost pixels, which are mostly
// background (also where it is a gradient, as title bars are).
int backgroundOf(const GreyImage &image, const Block &b) {
    std::array<int, 256> histogram{};
    int count = 0;
    auto add = [&](int x, int y) { ++histogram[image.at(x, y)], ++count; };
    for (int x = b.x0; x < b.x1; ++x)
        add(x, b.y0), add(x, b.y1 - 1);
    for (int y = b.y0; y < b.y1; ++y)
        add(b.x0, y), add(b.x1 - 1, y);
    int seen = 0;
    for (int v = 0; v < 256; ++v)
        if ((seen += histogram[static_cast<size_t>(v)]) * 2 >= count)
            return v;
    return 255;
}

// Darkens the half-tones of the glyphs' edges: thin strokes and small marks (a comma's tail)
// survive the engine's binarisation.
int shade(int level, double gamma) {
    return gamma == 1.0 ? level : static_cast<int>(255.0 * std::pow(level / 255.0, gamma) + 0.5);
}

void prepareBlock(GreyImage &image, const Block &b, const BlockPreparation &how) {
    const int background = backgroundOf(image, b);
    const bool invert = how.invertDark && background < 128;
    int ink = invert ? 0 : 255;
    for (int y = b.y0; y < b.y1; ++y)
        for (int x = b.x0; x < b.x1; ++x)
            ink = invert ? std::max<int>(ink, image.at(x, y)) : std::min<int>(ink, image.at(x, y));
    const int from = invert ? 255 - ink : ink, to = invert ? 255 - background : background;
    const bool stretch = how.stretchContrast && to - from >= 32;
    std::array<uint8_t, 256> map{};
    for (int v = 0; v < 256; ++v) {
        const int level = invert ? 255 - v : v;
        map[static_cast<size_t>(v)] = static_cast<uint8_t>(
            stretch ? shade(std::clamp((level - from) * 255 / (to - from), 0, 255), how.gamma)
                    : level);
    }
    for (int y = b.y0; y < b.y1; ++y)
        for (int x = b.x0; x < b.x1; ++x)
            image.at(x, y) = map[image.at(x, y)];
}

// The blocks of a band of rows, cut at runs of kColumnCut flat columns or more (and at flat
// columns along the edges), which hold no text and are made white.
void prepareBand(GreyImage &image, int y0, int y1, const BlockPreparation &how) {
    const int w = image.width;
    std::vector<char> flat(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x)
        flat[static_cast<size_t>(x)] = columnIsFlat(image, x, y0, y1);
    auto flatRunEnd = [&](int x) {
        while (x < w && flat[static_cast<size_t>(x)])
            ++x;
        return x;
    };
    for (int x = 0; x < w;) {
        if (flat[static_cast<size_t>(x)]) {
            const int end = flatRunEnd(x);
            if (end - x >= kColumnCut || x == 0 || end == w)
                whiten(image, {x, y0, end, y1});
            x = end;
            continue;
        }
        int end = x;
        while (end < w) {
            if (!flat[static_cast<size_t>(end)]) {
                ++end;
                continue;
            }
            const int runEnd = flatRunEnd(end);
            if (runEnd - end >= kColumnCut || runEnd == w)
                break;
            end = runEnd;
        }
        prepareBlock(image, {x, y0, end, y1}, how);
        x = end;
    }
}

}  // namespace

TextBox intersect(const TextBox &a, const TextBox &b) {
    const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
    const int x1 = std::min(a.x + a.width, b.x + b.width);
    const int y1 = std::min(a.y + a.height, b.y + b.height);
    return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

GreyImage greyOf(const FramePixels &frame, const TextBox &region) {
    GreyImage grey;
    grey.width = region.width;
    grey.height = region.height;
    grey.data.resize(static_cast<size_t>(region.width) * region.height);
    for (int y = 0; y < region.height; ++y) {
        const uint32_t *row =
            frame.pixels + static_cast<size_t>(region.y + y) * frame.width + region.x;
        for (int x = 0; x < region.width; ++x) {
            const uint32_t p = row[x];
            const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            grey.at(x, y) = static_cast<uint8_t>((r * 77 + g * 150 + b * 29) >> 8);
        }
    }
    return grey;
}

void prepareBlocks(GreyImage &image, const BlockPreparation &how) {
    int start = -1;
    for (int y = 0; y <= image.height; ++y) {
        const bool flat = y == image.height || rowIsFlat(image, y, 0, image.width);
        if (!flat && start < 0)
            start = y;
        if (flat && start >= 0) {
            prepareBand(image, start, y, how);
            start = -1;
        }
        if (flat && y < image.height)
            whiten(image, {0, y, image.width, y + 1});
    }
}

GreyImage scaledUp(const GreyImage &image, int factor) {
    if (factor == 1)
        return image;
    GreyImage big;
    big.width = image.width * factor;
    big.height = image.height * factor;
    big.data.resize(static_cast<size_t>(big.width) * big.height);
    // Source position of output pixel i in 1/(2 factor) steps: (2 i + 1 - factor) / (2 factor).
    const int steps = 2 * factor;
    auto source = [&](int i, int size, int &a, int &b, int &weight) {
        const int pos = std::max(0, 2 * i + 1 - factor);
        a = std::min(pos / steps, size - 1);
        b = std::min(a + 1, size - 1);
        weight = pos % steps;  // of b, out of steps
    };
    for (int y = 0; y < big.height; ++y) {
        int ya, yb, wy;
        source(y, image.height, ya, yb, wy);
        for (int x = 0; x < big.width; ++x) {
            int xa, xb, wx;
            source(x, image.width, xa, xb, wx);
            const int top = image.at(xa, ya) * (steps - wx) + image.at(xb, ya) * wx;
            const int low = image.at(xa, yb) * (steps - wx) + image.at(xb, yb) * wx;
            big.at(x, y) = static_cast<uint8_t>(
                (top * (steps - wy) + low * wy + steps * steps / 2) / (steps * steps));
        }
    }
    return big;
}

}  // namespace zv
