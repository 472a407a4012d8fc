#include "container/TextBands.h"

#include <algorithm>

namespace zv {

namespace {

// Rows and columns of background kept around a band's ink, as the engine wants some.
constexpr int kMargin = 2;
// Rows of one colour inside a line of text, at most.
constexpr int kLineGap = 2;

// Whether the row y of the frame is of one colour between x0 and x1 (exclusive).
bool plainRow(const FramePixels &frame, int y, int x0, int x1) {
    const uint32_t *row = frame.pixels + static_cast<size_t>(y) * frame.width;
    return std::all_of(row + x0 + 1, row + x1, [&](uint32_t p) { return p == row[x0]; });
}

uint64_t mix(uint64_t hash, uint64_t value) {
    return (hash ^ value) * 0x100000001b3ull;
}

// The size of the box and, bit by bit, which pixels differ from its top left one.
uint64_t shapeOf(const FramePixels &frame, const TextBox &box) {
    uint64_t hash = mix(mix(0xcbf29ce484222325ull, static_cast<uint64_t>(box.width)),
                        static_cast<uint64_t>(box.height));
    const uint32_t background = frame.pixels[static_cast<size_t>(box.y) * frame.width + box.x];
    for (int y = box.y; y < box.y + box.height; ++y) {
        const uint32_t *row = frame.pixels + static_cast<size_t>(y) * frame.width;
        uint64_t bits = 0;
        int n = 0;
        for (int x = box.x; x < box.x + box.width; ++x) {
            bits = (bits << 1) | (row[x] != background);
            if (++n == 64) {
                hash = mix(hash, bits);
                bits = 0;
                n = 0;
            }
        }
        hash = mix(mix(hash, bits), static_cast<uint64_t>(n));
    }
    return hash;
}

// Sets box.x and box.width to the columns between x0 and x1 that hold a pixel other than the
// band's background (its first row's first pixel: a row of one colour), grown by kMargin.
void inkColumns(const FramePixels &frame, TextBox &box, int x0, int x1) {
    const uint32_t background = frame.pixels[static_cast<size_t>(box.y) * frame.width + x0];
    int left = x1, right = x0;
    for (int y = box.y; y < box.y + box.height; ++y) {
        const uint32_t *row = frame.pixels + static_cast<size_t>(y) * frame.width;
        for (int x = x0; x < left; ++x)
            if (row[x] != background)
                left = x;
        for (int x = x1 - 1; x >= right; --x)
            if (row[x] != background)
                right = x + 1;
    }
    if (right <= left) {
        left = x0;
        right = x1;
    }
    box.x = std::max(left - kMargin, x0);
    box.width = std::min(right + kMargin, x1) - box.x;
}

}  // namespace

std::vector<TextBand> textBands(const FramePixels &frame, const TextBox &region) {
    const int x0 = std::max(region.x, 0), x1 = std::min(region.x + region.width, frame.width);
    const int y0 = std::max(region.y, 0), y1 = std::min(region.y + region.height, frame.height);
    std::vector<TextBand> bands;
    if (x1 - x0 < 1 || y1 - y0 < 1 || !frame.pixels)
        return bands;
    int y = y0;
    while (y < y1) {
        while (y < y1 && plainRow(frame, y, x0, x1))
            ++y;
        if (y == y1)
            break;
        const int top = y;
        // A gap of a row or two belongs to the line (the dots of "ё", an underline).
        for (int gap = 0; y < y1 && gap <= kLineGap; ++y)
            gap = plainRow(frame, y, x0, x1) ? gap + 1 : 0;
        while (y > top && plainRow(frame, y - 1, x0, x1))
            --y;
        TextBand band;
        band.box.y = std::max(top - kMargin, y0);
        band.box.height = std::min(y + kMargin, y1) - band.box.y;
        inkColumns(frame, band.box, x0, x1);
        band.shape = shapeOf(frame, band.box);
        bands.push_back(band);
    }
    return bands;
}

bool TextBandCache::find(const TextBand &band, std::vector<TextLine> &lines) {
    std::lock_guard lock(mutex_);
    const auto it = lines_.find(band.shape);
    if (it == lines_.end())
        return false;
    for (TextLine line : it->second) {
        line.box.x += band.box.x;
        line.box.y += band.box.y;
        lines.push_back(std::move(line));
    }
    return true;
}

void TextBandCache::keep(const TextBand &band, const std::vector<TextLine> &lines) {
    std::vector<TextLine> relative = lines;
    for (TextLine &line : relative) {
        line.box.x -= band.box.x;
        line.box.y -= band.box.y;
    }
    std::lock_guard lock(mutex_);
    if (lines_.size() >= kMostShapes)
        lines_.clear();
    lines_[band.shape] = std::move(relative);
}

}  // namespace zv
