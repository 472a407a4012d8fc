// The regions of a frame that differ from the frame before it, for reading only what changed.
//
// Rows are compared as memory first (most rows of a screen are unchanged, and memcmp runs at the
// speed of the memory); a row that differs is compared in pieces of one tile width, and only a
// piece that differs is looked at pixel by pixel (a colour that moved only a little is no
// change). Each tile of kTile x kTile pixels keeps the exact box of its changed pixels;
// neighbouring tiles whose boxes lie close are joined into one region. A changed region is then
// widened to the whole words it cuts (a digit that changed in an amount must be read with the
// rest of the amount), grown by a margin for the engine, clipped and merged with the regions it
// touches.
#include <algorithm>
#include <cstring>
#include <numeric>

#include "container/TextReading.h"

namespace zv {

namespace {

constexpr int kTile = 16;
// Changes at most this far apart (in pixels, both ways) belong to one region.
constexpr int kJoinGap = 8;
// The margin around a region: the engine wants some background around the glyphs.
constexpr int kMargin = 3;
// Widening to words: a run of this many columns without ink ends a word (more than the blank
// between words of 15 px text, less than the gap between the columns of a table).
constexpr int kWordGap = 12;
// Widening stops after this many pixels to each side (a long line is read in pieces at worst).
constexpr int kMaxWiden = 320;
// Screen text is at most ~16 px high: a region is grown by at most this much up and down to take
// in the rest of the glyphs it cuts.
constexpr int kMaxRaise = 10;
// Changes taller than this are more than a line or two of text.
constexpr int kTallBlock = 40;

struct Span {
    int x0, y0, x1, y1;  // x1, y1 exclusive
    bool empty() const { return x1 <= x0; }
};

Span unite(const Span &a, const Span &b) {
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

bool near(const Span &a, const Span &b, int gap) {
    return a.x0 - b.x1 <= gap && b.x0 - a.x1 <= gap && a.y0 - b.y1 <= gap && b.y0 - a.y1 <= gap;
}

struct Grid {
    int columns = 0, rows = 0;
    std::vector<Span> tiles;  // empty span: the tile holds no change
    Span &at(int tx, int ty) { return tiles[static_cast<size_t>(ty * columns + tx)]; }
};

// Whether a pixel changed: a colour that moved this little in every channel did not. Between two
// frames the encoder's palette shifts where other parts of the screen changed, and the half-tones
// of the glyphs' edges then map to neighbouring colours all over the screen; the ink of text
// against its background differs by far more.
constexpr int kSameColour = 40;

bool differs(uint32_t a, uint32_t b) {
    if (a == b)
        return false;
    for (int shift : {0, 8, 16}) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > kSameColour || d < -kSameColour)
            return true;
    }
    return false;
}

void markPiece(Grid &grid, const uint32_t *a, const uint32_t *b, int x0, int n, int y) {
    int first = 0;
    while (first < n && !differs(a[first], b[first]))
        ++first;
    if (first == n)
        return;
    int last = n - 1;
    while (!differs(a[last], b[last]))
        --last;
    Span &tile = grid.at(x0 / kTile, y / kTile);
    const Span change{x0 + first, y, x0 + last + 1, y + 1};
    tile = tile.empty() ? change : unite(tile, change);
}

Grid changedTiles(const FramePixels &previous, const FramePixels &current) {
    const int w = current.width, h = current.height;
    Grid grid;
    grid.columns = (w + kTile - 1) / kTile;
    grid.rows = (h + kTile - 1) / kTile;
    grid.tiles.assign(static_cast<size_t>(grid.columns) * grid.rows, Span{0, 0, 0, 0});
    const size_t rowBytes = static_cast<size_t>(w) * sizeof(uint32_t);
    for (int y = 0; y < h; ++y) {
        const uint32_t *a = previous.pixels + static_cast<size_t>(y) * w;
        const uint32_t *b = current.pixels + static_cast<size_t>(y) * w;
        if (std::memcmp(a, b, rowBytes) == 0)
            continue;
        for (int x = 0; x < w; x += kTile) {
            const int n = std::min(kTile, w - x);
            if (std::memcmp(a + x, b + x, static_cast<size_t>(n) * sizeof(uint32_t)) != 0)
                markPiece(grid, a + x, b + x, x, n, y);
        }
    }
    return grid;
}

// Joins the changed tiles into regions: a tile belongs with its eight neighbours when their
// boxes lie within kJoinGap (tiles further apart are always further apart than that).
std::vector<Span> joinTiles(Grid &grid) {
    const size_t count = grid.tiles.size();
    std::vector<int> parent(count);
    std::iota(parent.begin(), parent.end(), 0);
    auto root = [&](int i) {
        while (parent[static_cast<size_t>(i)] != i)
            i = parent[static_cast<size_t>(i)] =
                parent[static_cast<size_t>(parent[static_cast<size_t>(i)])];
        return i;
    };
    for (int ty = 0; ty < grid.rows; ++ty)
        for (int tx = 0; tx < grid.columns; ++tx) {
            if (grid.at(tx, ty).empty())
                continue;
            static const int kAhead[4][2] = {{1, 0}, {-1, 1}, {0, 1}, {1, 1}};
            for (const auto &d : kAhead) {
                const int nx = tx + d[0], ny = ty + d[1];
                if (nx < 0 || nx >= grid.columns || ny >= grid.rows || grid.at(nx, ny).empty())
                    continue;
                if (near(grid.at(tx, ty), grid.at(nx, ny), kJoinGap))
                    parent[static_cast<size_t>(root(ty * grid.columns + tx))] =
                        root(ny * grid.columns + nx);
            }
        }
    std::vector<Span> joined(count, Span{0, 0, 0, 0});
    for (size_t i = 0; i < count; ++i) {
        if (grid.tiles[i].empty())
            continue;
        Span &r = joined[static_cast<size_t>(root(static_cast<int>(i)))];
        r = r.empty() ? grid.tiles[i] : unite(r, grid.tiles[i]);
    }
    std::erase_if(joined, [](const Span &s) { return s.empty(); });
    return joined;
}

struct Picture {
    const uint32_t *pixels;
    int width, height;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // An edge between columns a and b over rows y0 .. y1: glyphs make edges, a horizontal line
    // (a grid, an underline) does not.
    bool edgeBetween(int a, int b, int y0, int y1) const {
        for (int y = y0; y < y1; ++y)
            if (at(a, y) != at(b, y))
                return true;
        return false;
    }
    // Ink in row y between columns x0 and x1: the row is not one colour there.
    bool inkInRow(int y, int x0, int x1) const {
        const uint32_t *row = pixels + static_cast<size_t>(y) * width;
        return std::any_of(row + x0 + 1, row + x1, [&](uint32_t p) { return p != row[x0]; });
    }
};

// Widens s to the words it cuts: sideways while edges follow within kWordGap columns, then up
// and down (a little) while the rows hold ink. A tall region is a block that changed as a whole
// (a dialog that appeared) and is left as it is.
Span widenToWords(const Picture &p, Span s) {
    if (s.y1 - s.y0 > kTallBlock)
        return s;
    for (int step : {1, -1}) {
        int x = step > 0 ? s.x1 : s.x0 - 1, blank = 0;
        const int limit =
            step > 0 ? std::min(p.width, s.x1 + kMaxWiden) : std::max(-1, s.x0 - 1 - kMaxWiden);
        for (; x != limit && blank < kWordGap; x += step) {
            // Column x holds ink when it differs from the next one out (the first column past a
            // glyph does, from the glyph's own edge, if compared with the one inside).
            const int out = x + step;
            if (out < 0 || out >= p.width || !p.edgeBetween(x, out, s.y0, s.y1)) {
                ++blank;
                continue;
            }
            blank = 0;
            (step > 0 ? s.x1 : s.x0) = step > 0 ? x + 1 : x;
        }
    }
    for (int y = s.y0 - 1; y >= std::max(0, s.y0 - kMaxRaise) && p.inkInRow(y, s.x0, s.x1); --y)
        s.y0 = y;
    for (int y = s.y1; y < std::min(p.height, s.y1 + kMaxRaise) && p.inkInRow(y, s.x0, s.x1); ++y)
        s.y1 = y + 1;
    return s;
}

// Merges regions that overlap or lie within kJoinGap until none do.
void mergeNear(std::vector<Span> &spans) {
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < spans.size(); ++i)
            for (size_t j = i + 1; j < spans.size();) {
                if (near(spans[i], spans[j], kJoinGap)) {
                    spans[i] = unite(spans[i], spans[j]);
                    spans.erase(spans.begin() + static_cast<long>(j));
                    merged = true;
                } else {
                    ++j;
                }
            }
    }
}

}  // namespace

std::vector<TextBox> changedRegions(const FramePixels *previous, const FramePixels &current) {
    if (current.width <= 0 || current.height <= 0 || !current.pixels)
        return {};
    if (!previous || !previous->pixels || previous->width != current.width ||
        previous->height != current.height)
        return {TextBox{0, 0, current.width, current.height}};
    Grid grid = changedTiles(*previous, current);
    std::vector<Span> spans = joinTiles(grid);
    const Picture picture{current.pixels, current.width, current.height};
    for (Span &s : spans) {
        s = widenToWords(picture, s);
        s = {std::max(0, s.x0 - kMargin), std::max(0, s.y0 - kMargin),
             std::min(current.width, s.x1 + kMargin), std::min(current.height, s.y1 + kMargin)};
    }
    mergeNear(spans);
    std::sort(spans.begin(), spans.end(), [](const Span &a, const Span &b) {
        return a.y0 != b.y0 ? a.y0 < b.y0 : a.x0 < b.x0;
    });
    std::vector<TextBox> boxes;
    boxes.reserve(spans.size());
    for (const Span &s : spans)
        boxes.push_back({s.x0, s.y0, s.x1 - s.x0, s.y1 - s.y0});
    return boxes;
}

}  // namespace zv
