#include "container/Quantizer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zv {

namespace {

constexpr uint32_t kRgbMask = 0xFFFFFF;
constexpr uint32_t kNoColour = 0xFFFFFFFF;  // never a colour: the top byte is masked off
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;

int redOf(uint32_t v) {
    return static_cast<int>((v >> 16) & 0xFF);
}
int greenOf(uint32_t v) {
    return static_cast<int>((v >> 8) & 0xFF);
}
int blueOf(uint32_t v) {
    return static_cast<int>(v & 0xFF);
}

int distance(uint32_t a, uint32_t b) {
    const int dr = redOf(a) - redOf(b), dg = greenOf(a) - greenOf(b), db = blueOf(a) - blueOf(b);
    return dr * dr + dg * dg + db * db;
}

uint32_t hashOf(uint32_t v, int bits) {
    return (v * 0x9E3779B1u) >> (32 - bits);
}

// Exact colours with a count each, by open addressing in a fixed number of slots; once half full
// it takes no new colours (add() says so), so a lookup always ends at an empty slot.
class ColourTable {
public:
    explicit ColourTable(int bits) : bits_(bits), keys_(size_t{1} << bits), values_(keys_.size()) {}
    void clear() {
        std::fill(keys_.begin(), keys_.end(), kNoColour);
        size_ = 0;
    }
    // The slot of colour, or of the empty place where it would go.
    size_t slotOf(uint32_t colour) const {
        const size_t mask = keys_.size() - 1;
        size_t at = hashOf(colour, bits_);
        while (keys_[at] != colour && keys_[at] != kNoColour)
            at = (at + 1) & mask;
        return at;
    }
    bool full() const { return size_ * 2 >= keys_.size(); }
    // Adds count to colour's value; false when the colour is new and the table full.
    bool add(uint32_t colour, uint32_t count) {
        const size_t at = slotOf(colour);
        if (keys_[at] == kNoColour) {
            if (full())
                return false;
            keys_[at] = colour;
            values_[at] = 0;
            ++size_;
        }
        values_[at] += count;
        return true;
    }
    const std::vector<uint32_t> &keys() const { return keys_; }
    std::vector<uint32_t> &keys() { return keys_; }
    std::vector<uint32_t> &values() { return values_; }
    size_t size() const { return size_; }
    void setSize(size_t n) { size_ = n; }

private:
    int bits_;
    std::vector<uint32_t> keys_;
    std::vector<uint32_t> values_;
    size_t size_ = 0;
};

// Bit k set where row[k] and row[k + 1] differ (the top bytes ignored), for k below count (at
// most 64): where runs of equal colours end. Reads row[0..count].
uint64_t runEnds(const uint32_t *row, int count) {
    uint64_t ends = 0;
#if defined(__SSE2__)
    if (count == 64) {
        const __m128i mask = _mm_set1_epi32(static_cast<int>(kRgbMask));
        const __m128i zero = _mm_setzero_si128();
        for (int k = 0; k < 64; k += 4) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + k));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + k + 1));
            const __m128i same =
                _mm_cmpeq_epi32(_mm_and_si128(_mm_xor_si128(here, next), mask), zero);
            ends |= static_cast<uint64_t>(_mm_movemask_ps(_mm_castsi128_ps(same)) ^ 0xF) << k;
        }
        return ends;
    }
#endif
    for (int k = 0; k < count; ++k)
        ends |= static_cast<uint64_t>(((row[k] ^ row[k + 1]) & kRgbMask) != 0) << k;
    return ends;
}

// Calls run(start, length) for each run of equal colours in a row, left to right. The ends of
// runs are found 64 pixels at a time, so that a screen's many short runs cost no mispredicted
// branch each.
template <typename Run>
void forEachRun(const uint32_t *row, int width, Run run) {
    int start = 0;
    for (int x = 0; x + 1 < width; x += 64) {
        for (uint64_t ends = runEnds(row + x, std::min(64, width - 1 - x)); ends != 0;
             ends &= ends - 1) {
            const int end = x + std::countr_zero(ends) + 1;
            run(start, end - start);
            start = end;
        }
    }
    run(start, width - start);
}

// The screen's exact colours, numbered in the order they first appear, with how many pixels each
// covers and how many of those lie in runs of three or more (flat areas: backgrounds, bars,
// text). Open addressing in a fixed number of slots, kept at most half full: a screen of very
// many colours has only its first ones numbered, add() returns kNone for the rest.
class ColourIds {
public:
    static constexpr uint32_t kNone = 0xFFFF;

    // bits: 2^bits slots of 16 bits, the colours in a table of their own: both small enough to
    // stay in the processor's cache while the screen streams past.
    explicit ColourIds(int bits) : bits_(bits), slots_(size_t{1} << bits, kNone) {}
    void clear() {
        for (uint32_t at : taken_)
            slots_[at] = kNone;
        taken_.clear();
        colours_.clear();
        pixels_.clear();
        flat_.clear();
    }
    uint32_t add(uint32_t colour, uint32_t run) {
        const uint32_t mask = (1u << bits_) - 1;
        uint32_t at = hashOf(colour, bits_);
        uint32_t id = slots_[at];
        while (id != kNone && colours_[id] != colour) {
            at = (at + 1) & mask;
            id = slots_[at];
        }
        if (id == kNone) {
            if (colours_.size() * 2 >= slots_.size())
                return kNone;
            id = static_cast<uint32_t>(colours_.size());
            slots_[at] = static_cast<uint16_t>(id);
            taken_.push_back(at);
            colours_.push_back(colour);
            pixels_.push_back(0);
            flat_.push_back(0);
        }
        pixels_[id] += run;
        flat_[id] += run >= 3 ? run : 0;
        return id;
    }
    size_t size() const { return colours_.size(); }
    uint32_t colour(uint32_t id) const { return colours_[id]; }
    uint32_t pixels(uint32_t id) const { return pixels_[id]; }
    uint32_t flat(uint32_t id) const { return flat_[id]; }

private:
    int bits_;
    std::vector<uint16_t> slots_;                    // the id of the colour, or kNone
    std::vector<uint32_t> taken_;                    // the slots in use
    std::vector<uint32_t> colours_, pixels_, flat_;  // by id
};

// ---- Wu's quantiser on a 32 x 32 x 32 grid of cells, with sums of the full 8-bit channels ----

constexpr int kSide = 33;  // 32 cells per channel and the zero plane the sums start from
constexpr size_t kCells = size_t{kSide} * kSide * kSide;

constexpr size_t cellIndex(int r, int g, int b) {
    return (static_cast<size_t>(r) * kSide + static_cast<size_t>(g)) * kSide +
           static_cast<size_t>(b);
}

size_t cellOf(uint32_t v) {
    return cellIndex(redOf(v) / 8 + 1, greenOf(v) / 8 + 1, blueOf(v) / 8 + 1);
}

// Pixel count and channel sums of one cell, together so that adding a pixel touches one place.
struct Cell {
    int64_t w, r, g, b;
    double m2;  // sum of r^2 + g^2 + b^2
};

struct CellHistogram {
    std::vector<Cell> cells = std::vector<Cell>(kCells);

    void clear() { std::fill(cells.begin(), cells.end(), Cell{}); }
    void add(uint32_t v, int64_t count) {
        Cell &c = cells[cellOf(v)];
        const int64_t red = redOf(v), green = greenOf(v), blue = blueOf(v);
        c.w += count;
        c.r += red * count;
        c.g += green * count;
        c.b += blue * count;
        c.m2 += static_cast<double>((red * red + green * green + blue * blue) * count);
    }
};

// The sums of CellHistogram over every box from the origin to each cell.
struct Moments {
    std::vector<int64_t> w, r, g, b;
    std::vector<double> m2;

    Moments() : w(kCells), r(kCells), g(kCells), b(kCells), m2(kCells) {}
};

// Turns per-cell moments into sums over the box from the origin to each cell.
void accumulate(const CellHistogram &histogram, Moments &sums) {
    for (int r = 1; r < kSide; ++r) {
        int64_t areaW[kSide]{}, areaR[kSide]{}, areaG[kSide]{}, areaB[kSide]{};
        double areaM2[kSide]{};
        for (int g = 1; g < kSide; ++g) {
            int64_t lineW = 0, lineR = 0, lineG = 0, lineB = 0;
            double lineM2 = 0;
            for (int b = 1; b < kSide; ++b) {
                const size_t i = cellIndex(r, g, b), below = cellIndex(r - 1, g, b);
                const Cell &cell = histogram.cells[i];
                lineW += cell.w;
                lineR += cell.r;
                lineG += cell.g;
                lineB += cell.b;
                lineM2 += cell.m2;
                areaW[b] += lineW;
                areaR[b] += lineR;
                areaG[b] += lineG;
                areaB[b] += lineB;
                areaM2[b] += lineM2;
                sums.w[i] = sums.w[below] + areaW[b];
                sums.r[i] = sums.r[below] + areaR[b];
                sums.g[i] = sums.g[below] + areaG[b];
                sums.b[i] = sums.b[below] + areaB[b];
                sums.m2[i] = sums.m2[below] + areaM2[b];
            }
        }
    }
}

// A box of cells: lower bounds exclusive, upper inclusive.
struct Box {
    int r0 = 0, r1 = kSide - 1, g0 = 0, g1 = kSide - 1, b0 = 0, b1 = kSide - 1;
    int cells() const { return (r1 - r0) * (g1 - g0) * (b1 - b0); }
};

enum class Axis { Red, Green, Blue };

template <typename T>
T volume(const Box &x, const std::vector<T> &m) {
    return m[cellIndex(x.r1, x.g1, x.b1)] - m[cellIndex(x.r1, x.g1, x.b0)] -
           m[cellIndex(x.r1, x.g0, x.b1)] + m[cellIndex(x.r1, x.g0, x.b0)] -
           m[cellIndex(x.r0, x.g1, x.b1)] + m[cellIndex(x.r0, x.g1, x.b0)] +
           m[cellIndex(x.r0, x.g0, x.b1)] - m[cellIndex(x.r0, x.g0, x.b0)];
}

// The part of the volume of the lower half of a box cut across axis that does not depend on
// where the cut lies; top() is the part that does.
int64_t bottom(const Box &x, Axis axis, const std::vector<int64_t> &m) {
    switch (axis) {
        case Axis::Red:
            return -m[cellIndex(x.r0, x.g1, x.b1)] + m[cellIndex(x.r0, x.g1, x.b0)] +
                   m[cellIndex(x.r0, x.g0, x.b1)] - m[cellIndex(x.r0, x.g0, x.b0)];
        case Axis::Green:
            return -m[cellIndex(x.r1, x.g0, x.b1)] + m[cellIndex(x.r1, x.g0, x.b0)] +
                   m[cellIndex(x.r0, x.g0, x.b1)] - m[cellIndex(x.r0, x.g0, x.b0)];
        case Axis::Blue:
            return -m[cellIndex(x.r1, x.g1, x.b0)] + m[cellIndex(x.r1, x.g0, x.b0)] +
                   m[cellIndex(x.r0, x.g1, x.b0)] - m[cellIndex(x.r0, x.g0, x.b0)];
    }
    return 0;
}

int64_t top(const Box &x, Axis axis, int at, const std::vector<int64_t> &m) {
    switch (axis) {
        case Axis::Red:
            return m[cellIndex(at, x.g1, x.b1)] - m[cellIndex(at, x.g1, x.b0)] -
                   m[cellIndex(at, x.g0, x.b1)] + m[cellIndex(at, x.g0, x.b0)];
        case Axis::Green:
            return m[cellIndex(x.r1, at, x.b1)] - m[cellIndex(x.r1, at, x.b0)] -
                   m[cellIndex(x.r0, at, x.b1)] + m[cellIndex(x.r0, at, x.b0)];
        case Axis::Blue:
            return m[cellIndex(x.r1, x.g1, at)] - m[cellIndex(x.r1, x.g0, at)] -
                   m[cellIndex(x.r0, x.g1, at)] + m[cellIndex(x.r0, x.g0, at)];
    }
    return 0;
}

double variance(const Box &x, const Moments &m) {
    const double r = static_cast<double>(volume(x, m.r));
    const double g = static_cast<double>(volume(x, m.g));
    const double b = static_cast<double>(volume(x, m.b));
    const double w = static_cast<double>(volume(x, m.w));
    return volume(x, m.m2) - (r * r + g * g + b * b) / w;
}

struct Sums {
    int64_t w, r, g, b;
};

Sums boxSums(const Box &x, const Moments &m) {
    return {volume(x, m.w), volume(x, m.r), volume(x, m.g), volume(x, m.b)};
}

double spread(const Sums &s) {
    const double r = static_cast<double>(s.r), g = static_cast<double>(s.g),
                 b = static_cast<double>(s.b);
    return (r * r + g * g + b * b) / static_cast<double>(s.w);
}

// The best cut of box across axis (the one that leaves the least variance in the two halves) in
// cut, -1 when none splits its pixels; returns how good it is.
double bestCut(const Box &x, Axis axis, int first, int last, const Sums &whole, const Moments &m,
               int &cut) {
    const Sums base{bottom(x, axis, m.w), bottom(x, axis, m.r), bottom(x, axis, m.g),
                    bottom(x, axis, m.b)};
    double best = 0;
    cut = -1;
    for (int i = first; i < last; ++i) {
        const Sums half{base.w + top(x, axis, i, m.w), base.r + top(x, axis, i, m.r),
                        base.g + top(x, axis, i, m.g), base.b + top(x, axis, i, m.b)};
        if (half.w == 0 || half.w == whole.w)
            continue;
        const Sums rest{whole.w - half.w, whole.r - half.r, whole.g - half.g, whole.b - half.b};
        const double value = spread(half) + spread(rest);
        if (value > best) {
            best = value;
            cut = i;
        }
    }
    return best;
}

// Splits box into itself and second along the best cut; false when it cannot be split.
bool split(Box &box, Box &second, const Moments &m) {
    const Sums whole = boxSums(box, m);
    int cutR, cutG, cutB;
    const double red = bestCut(box, Axis::Red, box.r0 + 1, box.r1, whole, m, cutR);
    const double green = bestCut(box, Axis::Green, box.g0 + 1, box.g1, whole, m, cutG);
    const double blue = bestCut(box, Axis::Blue, box.b0 + 1, box.b1, whole, m, cutB);
    second = box;
    if (red >= green && red >= blue) {
        if (cutR < 0)
            return false;
        second.r0 = box.r1 = cutR;
    } else if (green >= blue) {
        second.g0 = box.g1 = cutG;
    } else {
        second.b0 = box.b1 = cutB;
    }
    return true;
}

// Cuts the cells into at most count boxes, the one of most variance first, and stops early once
// the squared error of all boxes (each pixel taken as its box's mean) is at most enough; appends
// the mean colour of each box that holds pixels to palette.
void wuPalette(const Moments &sums, int count, double enough, std::vector<uint32_t> &palette) {
    std::vector<Box> boxes(static_cast<size_t>(std::max(count, 1)));
    std::vector<double> spreadOf(boxes.size(), 0.0), errorOf(boxes.size(), 0.0);
    errorOf[0] = volume(boxes[0], sums.w) > 0 ? variance(boxes[0], sums) : 0.0;
    double error = errorOf[0];
    int made = 1;
    size_t next = 0;
    while (made < count && error > enough) {
        Box &box = boxes[next];
        Box &second = boxes[static_cast<size_t>(made)];
        if (split(box, second, sums)) {
            const auto added = static_cast<size_t>(made);
            error -= errorOf[next];
            errorOf[next] = variance(box, sums);
            errorOf[added] = variance(second, sums);
            error += errorOf[next] + errorOf[added];
            spreadOf[next] = box.cells() > 1 ? errorOf[next] : 0.0;
            spreadOf[added] = second.cells() > 1 ? errorOf[added] : 0.0;
            ++made;
        } else {
            spreadOf[next] = 0;
        }
        next = static_cast<size_t>(std::max_element(spreadOf.begin(), spreadOf.begin() + made) -
                                   spreadOf.begin());
        if (spreadOf[next] <= 0)
            break;
    }
    for (int i = 0; i < made; ++i) {
        const Sums s = boxSums(boxes[static_cast<size_t>(i)], sums);
        if (s.w <= 0)
            continue;
        auto mean = [&](int64_t sum) { return static_cast<uint32_t>((sum + s.w / 2) / s.w); };
        palette.push_back((mean(s.r) << 16) | (mean(s.g) << 8) | mean(s.b));
    }
}

}  // namespace

// ---- nearest palette colour ----

namespace {

// Finds the nearest palette colour (squared RGB distance; of equals, the first). For each cell of
// 8 x 8 x 8 colours that a screen uses, the palette colours that may be nearest to some colour in
// it are listed once (those no farther from the cell than the farthest corner of the cell from
// the colour nearest to it all over): most cells list one or two, so a lookup compares few.
class NearestColour {
public:
    void build(const uint32_t *palette, int count) {
        count_ = count;
        for (int i = 0; i < count; ++i) {
            red_[i] = redOf(palette[i]);
            green_[i] = greenOf(palette[i]);
            blue_[i] = blueOf(palette[i]);
        }
        std::fill(start_.begin(), start_.end(), -1);
        lists_.clear();
    }
    int find(uint32_t v) {
        const int r = redOf(v), g = greenOf(v), b = blueOf(v);
        const size_t cell = (static_cast<size_t>(r >> 3) << 10) |
                            (static_cast<size_t>(g >> 3) << 5) | static_cast<size_t>(b >> 3);
        int32_t at = start_[cell];
        if (at < 0)
            at = list(cell);
        const int n = lists_[static_cast<size_t>(at)];
        const uint16_t *candidates = lists_.data() + at + 1;
        int best = std::numeric_limits<int>::max(), bestIndex = candidates[0];
        for (int k = 0; k < n && best > 0; ++k) {
            const int i = candidates[k];
            const int dr = red_[i] - r, dg = green_[i] - g, db = blue_[i] - b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < best) {
                best = d;
                bestIndex = i;
            }
        }
        return bestIndex;
    }

private:
    // Lists the candidates of a cell (their count, then their indices in palette order); where
    // the list starts.
    int32_t list(size_t cell) {
        const int lowRed = static_cast<int>(cell >> 10) * 8;
        const int lowGreen = static_cast<int>((cell >> 5) & 31) * 8;
        const int lowBlue = static_cast<int>(cell & 31) * 8;
        // The squared distance along one channel from value to the nearest and to the farthest
        // colour of the cell (low .. low + 7); simple enough for the loop to be vectorised.
        auto nearAxis = [](int value, int low) {
            const int outside = std::max(std::max(low - value, value - low - 7), 0);
            return outside * outside;
        };
        auto farAxis = [](int value, int low) {
            const int far = std::max(value - low, low + 7 - value);
            return far * far;
        };
        int nearest[256];
        int bound = std::numeric_limits<int>::max();
        for (int i = 0; i < count_; ++i) {
            nearest[i] = nearAxis(red_[i], lowRed) + nearAxis(green_[i], lowGreen) +
                         nearAxis(blue_[i], lowBlue);
            bound = std::min(bound, farAxis(red_[i], lowRed) + farAxis(green_[i], lowGreen) +
                                        farAxis(blue_[i], lowBlue));
        }
        const auto at = static_cast<int32_t>(lists_.size());
        lists_.push_back(0);
        for (int i = 0; i < count_; ++i) {
            if (nearest[i] <= bound)
                lists_.push_back(static_cast<uint16_t>(i));
        }
        lists_[static_cast<size_t>(at)] =
            static_cast<uint16_t>(lists_.size() - static_cast<size_t>(at) - 1);
        start_[cell] = at;
        return at;
    }

    int count_ = 0;
    int red_[256]{}, green_[256]{}, blue_[256]{};
    std::vector<int32_t> start_ = std::vector<int32_t>(size_t{1} << 15, -1);
    std::vector<uint16_t> lists_;
};

constexpr int kCacheBits = 14;
// How far a run may carry on an index that is not its own nearest colour past the last run that
// chose it for itself: long enough for the runs that LZW likes in photos and gradients, short
// enough that the edge of text on a gradient leaves no long streak.
constexpr int kChainPixels = 32;

// Where fidelity gives way to size once a screen has more colours than the palette. Measured on
// operator screens (bench/gif_frames): frames about as large as giflib's quantiser made them (which
// merged colours on a 5-bit grid and so made long runs), at 40 dB and more with 256 colours and
// 28-39 dB with 16.
struct Tradeoff {
    // No more boxes once the error of taking each pixel as its box's mean is this good (PSNR, dB):
    // a screen of flat colours and text needs fewer colours than the palette holds, and each
    // colour fewer means fewer distinct runs to store.
    double enoughDb;
    // A pixel takes the index to its left when that is at most twice as far plus this (squared
    // RGB distance).
    int slack;
};

Tradeoff tradeoffFor(int maxColours) {
    return maxColours > 16 ? Tradeoff{43.0, 150} : Tradeoff{35.0, 1200};
}

// Sets count indices from out to index; end is the end of the row. Short runs, most of them on a
// busy screen, take one 16-byte store that may spill onto what the next runs in the row write.
void fill(uint8_t *out, int index, int count, const uint8_t *end) {
    if (count <= 16 && end - out >= 16) {
        uint8_t block[16];
        std::memset(block, index, sizeof block);
        std::memcpy(out, block, sizeof block);
    } else {
        std::memset(out, index, static_cast<size_t>(count));
    }
}

}  // namespace

struct Quantizer::State {
    ColourTable exact{10};  // the screen's colours while they fit the palette
    ColourIds ids{16};      // the screen's colours, as far as they fit
    ColourTable flat{13};   // colours of runs of those that did not fit
    // Each run of equal colours, row after row: its length, and its colour's id << 16.
    std::vector<uint32_t> runs;
    // What a run of a colour needs to choose its index: the colour, its nearest palette colour,
    // and how far the colour to its left may be for the run to take that instead.
    struct Choice {
        int32_t bound;     // the farthest (squared RGB distance); -1 for a colour in the palette
        uint32_t ownWord;  // the nearest palette colour's index << 24 | its colour
        int16_t own, red, green, blue;  // that index; the colour's channels

        static Choice of(uint32_t v, int own, const uint32_t *palette, int slack) {
            const int mine = distance(v, palette[own]);
            return {
                mine > 0 ? 2 * mine + slack : -1, static_cast<uint32_t>(own) << 24 | palette[own],
                static_cast<int16_t>(own),        static_cast<int16_t>(redOf(v)),
                static_cast<int16_t>(greenOf(v)), static_cast<int16_t>(blueOf(v))};
        }
    };
    std::vector<Choice> choiceOfId;
    CellHistogram cells;
    Moments sums;  // from the origin
    int64_t black = 0, white = 0;
    std::vector<uint32_t> keys;  // colours kept exactly
    std::vector<uint32_t> work;  // the palette being made
    NearestColour nearest;
    std::vector<uint32_t> cacheColour = std::vector<uint32_t>(size_t{1} << kCacheBits);
    std::vector<uint8_t> cacheIndex = std::vector<uint8_t>(size_t{1} << kCacheBits);

    bool tryExact(const uint32_t *pixels, int width, int height, size_t stride, int maxColours,
                  uint32_t *palette, uint8_t *indices, int &used);
    void gather(const uint32_t *pixels, int width, int height, size_t stride);
    void gatherUnnumbered(uint32_t v, int run);  // a run of a colour that ids had no room for
    void chooseKeys(int maxColours, int64_t pixelCount);
    Choice choiceFor(uint32_t v, const uint32_t *palette, int slack);
    void map(const uint32_t *pixels, int width, int height, size_t stride, const uint32_t *palette,
             int slack, uint8_t *indices);
};

bool Quantizer::State::tryExact(const uint32_t *pixels, int width, int height, size_t stride,
                                int maxColours, uint32_t *palette, uint8_t *indices, int &used) {
    exact.clear();
    used = 0;
    uint32_t last = kNoColour;
    uint8_t lastIndex = 0;
    std::vector<uint32_t> &keys = exact.keys();
    std::vector<uint32_t> &values = exact.values();
    for (int y = 0; y < height; ++y) {
        const uint32_t *row = pixels + static_cast<size_t>(y) * stride;
        uint8_t *out = indices + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            const uint32_t v = row[x] & kRgbMask;
            if (v != last) {
                const size_t at = exact.slotOf(v);
                if (keys[at] == kNoColour) {
                    if (used == maxColours)
                        return false;
                    keys[at] = v;
                    values[at] = static_cast<uint32_t>(used);
                    palette[used++] = v;
                }
                last = v;
                lastIndex = static_cast<uint8_t>(values[at]);
            }
            out[x] = lastIndex;
        }
    }
    return true;
}

void Quantizer::State::gather(const uint32_t *pixels, int width, int height, size_t stride) {
    cells.clear();
    ids.clear();
    flat.clear();
    black = white = 0;
    runs.clear();
    for (int y = 0; y < height; ++y) {
        const uint32_t *row = pixels + static_cast<size_t>(y) * stride;
        forEachRun(row, width, [&](int x, int run) {
            const uint32_t v = row[x] & kRgbMask;
            const uint32_t id = ids.add(v, static_cast<uint32_t>(run));
            runs.push_back(static_cast<uint32_t>(run) | id << 16);
            if (id == ColourIds::kNone)
                gatherUnnumbered(v, run);
        });
    }
    for (uint32_t id = 0; id < ids.size(); ++id) {
        const uint32_t v = ids.colour(id);
        cells.add(v, ids.pixels(id));
        black += v == kBlack ? ids.pixels(id) : 0;
        white += v == kWhite ? ids.pixels(id) : 0;
    }
}

void Quantizer::State::gatherUnnumbered(uint32_t v, int run) {
    cells.add(v, run);
    if (run >= 3)
        flat.add(v, static_cast<uint32_t>(run));
    black += v == kBlack ? run : 0;
    white += v == kWhite ? run : 0;
}

void Quantizer::State::chooseKeys(int maxColours, int64_t pixelCount) {
    keys.clear();
    const size_t limit = static_cast<size_t>(std::max(1, maxColours / 4));
    // Black and white first: text and rules are drawn in them.
    if (black > 0)
        keys.push_back(kBlack);
    if (white > 0 && keys.size() < limit)
        keys.push_back(kWhite);
    // Then the flat colours that cover most, while each covers a good share of the screen.
    struct Flat {
        uint32_t colour, count;
    };
    const int64_t share = pixelCount / (int64_t{maxColours} * 8);
    std::vector<Flat> found;
    auto consider = [&](uint32_t colour, uint32_t count) {
        if (count >= share && colour != kBlack && colour != kWhite)
            found.push_back({colour, count});
    };
    for (uint32_t id = 0; id < ids.size(); ++id)
        consider(ids.colour(id), ids.flat(id));
    const std::vector<uint32_t> &colours = flat.keys();
    for (size_t i = 0; i < colours.size(); ++i) {
        if (colours[i] != kNoColour)
            consider(colours[i], flat.values()[i]);
    }
    std::sort(found.begin(), found.end(), [](const Flat &a, const Flat &b) {
        return a.count != b.count ? a.count > b.count : a.colour < b.colour;
    });
    for (const Flat &f : found) {
        if (keys.size() >= limit)
            break;
        keys.push_back(f.colour);
        cells.add(f.colour, -int64_t{f.count});
    }
    if (black > 0)
        cells.add(kBlack, -black);
    if (white > 0 && std::find(keys.begin(), keys.end(), kWhite) != keys.end())
        cells.add(kWhite, -white);
}

Quantizer::State::Choice Quantizer::State::choiceFor(uint32_t v, const uint32_t *palette,
                                                     int slack) {
    const uint32_t at = hashOf(v, kCacheBits);
    if (cacheColour[at] != v) {
        cacheColour[at] = v;
        cacheIndex[at] = static_cast<uint8_t>(nearest.find(v));
    }
    return Choice::of(v, cacheIndex[at], palette, slack);
}

void Quantizer::State::map(const uint32_t *pixels, int width, int height, size_t stride,
                           const uint32_t *palette, int slack, uint8_t *indices) {
    std::fill(cacheColour.begin(), cacheColour.end(), kNoColour);
    choiceOfId.resize(ids.size());
    for (uint32_t id = 0; id < ids.size(); ++id) {
        const uint32_t v = ids.colour(id);
        choiceOfId[id] = Choice::of(v, nearest.find(v), palette, slack);
    }
    const uint32_t *run = runs.data();
    for (int y = 0; y < height; ++y) {
        const uint32_t *row = pixels + static_cast<size_t>(y) * stride;
        uint8_t *out = indices + static_cast<size_t>(y) * static_cast<size_t>(width);
        // What the run to the left took, in one word: where the last run that took its own
        // nearest colour ends << 32 | the index << 24 | its colour. None yet at the row's start.
        uint64_t left = static_cast<uint64_t>(-kChainPixels - 1) << 32;
        for (int x = 0; x < width; ++run) {
            const int length = static_cast<int>(*run & 0xFFFF);
            const uint32_t id = *run >> 16;
            const Choice c = id != ColourIds::kNone ? choiceOfId[id]
                                                    : choiceFor(row[x] & kRgbMask, palette, slack);
            // A colour between palette colours (an edge, a gradient, a photo) takes the index of
            // the run to its left when that is nearly as near, and not too far from where that
            // index was some run's own: longer runs, which LZW stores in fewer bytes, for little
            // error. Colours in the palette stay exact. (No dithering: it would hurt text and LZW
            // alike.) Each run's choice waits for the last one's, so as little as can be is
            // worked out here, and without branches: which way it goes is hard to foretell.
            const int dr = c.red - static_cast<int>((left >> 16) & 0xFF);
            const int dg = c.green - static_cast<int>((left >> 8) & 0xFF);
            const int db = c.blue - static_cast<int>(left & 0xFF);
            const bool keep = (static_cast<int>((left >> 24) & 0xFF) != c.own) &
                              (x - static_cast<int>(left >> 32) <= kChainPixels) &
                              (dr * dr + dg * dg + db * db <= c.bound);
            const uint64_t own =
                static_cast<uint64_t>(static_cast<uint32_t>(x + length)) << 32 | c.ownWord;
            const uint64_t mask = 0 - static_cast<uint64_t>(keep);
            left = (left & mask) | (own & ~mask);
            fill(out + x, static_cast<int>((left >> 24) & 0xFF), length, out + width);
            x += length;
        }
    }
}

Quantizer::Quantizer() : s_(std::make_unique<State>()) {}
Quantizer::~Quantizer() = default;

int Quantizer::quantise(const uint32_t *pixels, int width, int height, size_t stride,
                        int maxColours, uint32_t *palette, uint8_t *indices) {
    if (width > 65535)  // a run's length is kept in 16 bits
        throw std::invalid_argument("Quantizer: a row of more than 65535 pixels");
    maxColours = std::clamp(maxColours, 1, 256);
    int used = 0;
    if (s_->tryExact(pixels, width, height, stride, maxColours, palette, indices, used))
        return std::max(used, 1);

    State &s = *s_;
    s.gather(pixels, width, height, stride);
    s.chooseKeys(maxColours, int64_t{width} * height);
    accumulate(s.cells, s.sums);
    s.work = s.keys;
    const Tradeoff tradeoff = tradeoffFor(maxColours);
    const double pixelCount = static_cast<double>(width) * height;
    const double enough = 3 * pixelCount * 255.0 * 255.0 / std::pow(10.0, tradeoff.enoughDb / 10);
    wuPalette(s.sums, maxColours - static_cast<int>(s.keys.size()), enough, s.work);
    std::copy(s.work.begin(), s.work.end(), palette);
    const int count = static_cast<int>(s.work.size());
    s.nearest.build(palette, count);
    s.map(pixels, width, height, stride, palette, tradeoff.slack, indices);
    return count;
}

}  // namespace zv
