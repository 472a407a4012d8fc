#include "container/TextImage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace zv {

namespace {

// Blocks are cut at runs of this many columns of one grey level: wider than the blank between
// two words, so that a block holds whole words and its background outnumbers its ink.
constexpr int kColumnCut = 8;
// Grey levels this close to a block's background are background (a gentle gradient).
constexpr int kSameLevel = 24;
// Cutting stops this deep (a screen is cut into a few dozen levels at most).
constexpr int kMaxDepth = 24;

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

// Prepares block b whose background is known (the grey level of the gap beside it), or, when
// background is negative, judged from its edges.
void prepareBlock(GreyImage &image, const Block &b, const BlockPreparation &how, int background) {
    if (b.y1 - b.y0 > how.mixedAbove)
        return;
    if (background < 0)
        background = backgroundOf(image, b);
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

// The pieces [begin, end) of 0 .. flat.size() between runs of at least minGap flat places
// (flat runs at either end are no part of a piece).
std::vector<std::pair<int, int>> piecesBetween(const std::vector<char> &flat, int minGap) {
    std::vector<std::pair<int, int>> pieces;
    const int n = static_cast<int>(flat.size());
    int begin = -1, lastSolid = -1;
    for (int i = 0; i < n; ++i) {
        if (flat[static_cast<size_t>(i)])
            continue;
        if (begin >= 0 && i - lastSolid - 1 >= minGap) {
            pieces.emplace_back(begin, lastSolid + 1);
            begin = -1;
        }
        if (begin < 0)
            begin = i;
        lastSolid = i;
    }
    if (begin >= 0)
        pieces.emplace_back(begin, lastSolid + 1);
    return pieces;
}

// Whitens the rows (or columns) of b outside the pieces.
void whitenOutside(GreyImage &image, const Block &b, const std::vector<std::pair<int, int>> &pieces,
                   bool rows) {
    int from = 0;
    const int n = rows ? b.y1 - b.y0 : b.x1 - b.x0;
    auto clear = [&](int begin, int end) {
        if (begin < end)
            whiten(image, rows ? Block{b.x0, b.y0 + begin, b.x1, b.y0 + end}
                               : Block{b.x0 + begin, b.y0, b.x0 + end, b.y1});
    };
    for (const auto &[begin, end] : pieces) {
        clear(from, begin);
        from = end;
    }
    clear(from, n);
}

// The grey level of the flat row (or column) next to each piece: the piece's background. Each
// piece of a cut has a gap of flat rows on one side at least.
std::vector<int> gapLevels(const GreyImage &image, const Block &b,
                           const std::vector<std::pair<int, int>> &pieces, bool rows) {
    const int n = rows ? b.y1 - b.y0 : b.x1 - b.x0;
    auto level = [&](int i) { return rows ? image.at(b.x0, b.y0 + i) : image.at(b.x0 + i, b.y0); };
    std::vector<int> levels;
    for (const auto &[begin, end] : pieces)
        levels.push_back(begin > 0 ? level(begin - 1) : end < n ? level(end) : -1);
    return levels;
}

// Cuts b along flat rows, then along runs of kColumnCut flat columns, and again inside each
// piece, until a block cuts no further: that block is prepared and kept.
void cutBlocks(GreyImage &image, const Block &b, const BlockPreparation &how, int depth,
               int background, std::vector<Block> &leaves) {
    for (bool rows : {true, false}) {
        const int n = rows ? b.y1 - b.y0 : b.x1 - b.x0;
        std::vector<char> flat(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            const bool one = rows ? rowIsFlat(image, b.y0 + i, b.x0, b.x1)
                                  : columnIsFlat(image, b.x0 + i, b.y0, b.y1);
            const int level = rows ? image.at(b.x0, b.y0 + i) : image.at(b.x0 + i, b.y0);
            // A stroke as high as the line ("I", "l") is flat too, but not of the background.
            flat[static_cast<size_t>(i)] =
                one && (background < 0 || std::abs(level - background) <= kSameLevel);
        }
        const auto pieces = piecesBetween(flat, rows ? 1 : kColumnCut);
        if (pieces.size() == 1 && pieces[0] == std::pair<int, int>(0, n))
            continue;
        const std::vector<int> levels = gapLevels(image, b, pieces, rows);
        whitenOutside(image, b, pieces, rows);
        for (size_t k = 0; k < pieces.size(); ++k) {
            const auto [begin, end] = pieces[k];
            const Block piece = rows ? Block{b.x0, b.y0 + begin, b.x1, b.y0 + end}
                                     : Block{b.x0 + begin, b.y0, b.x0 + end, b.y1};
            if (depth < kMaxDepth) {
                cutBlocks(image, piece, how, depth + 1, levels[k], leaves);
            } else {
                prepareBlock(image, piece, how, levels[k]);
                leaves.push_back(piece);
            }
        }
        return;
    }
    prepareBlock(image, b, how, background);
    leaves.push_back(b);
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

std::vector<TextBox> prepareBlocks(GreyImage &image, const BlockPreparation &how) {
    std::vector<Block> leaves;
    if (image.width > 0 && image.height > 0)
        cutBlocks(image, {0, 0, image.width, image.height}, how, 0, -1, leaves);
    std::vector<TextBox> boxes;
    boxes.reserve(leaves.size());
    for (const Block &b : leaves)
        boxes.push_back({b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0});
    return boxes;
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
