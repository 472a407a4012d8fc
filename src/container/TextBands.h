#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "container/TextReading.h"

// What was read once is not read again: a changed region is cut into bands of rows (separated by
// rows of one colour), and each band is known by the shape of its ink (the pixels that differ
// from the band's background, whatever the colours). A band whose shape was read before, at any
// place and in any frame, gives the lines read then, moved to its place: a journal that scrolls
// by a row shows one new row to read, not the whole table; a dialog that comes again is not read
// again. The reader still sees each band as a region of the frame.
namespace zv {

struct TextBand {
    TextBox box;
    uint64_t shape = 0;  // hash of the size and the ink of the band
};

// The bands of region (clipped to the frame): maximal runs of rows that are not of one colour
// across the region, cut to the columns that hold ink, each with two rows and columns of margin
// where the region has them. A region without rows of one colour is one band.
std::vector<TextBand> textBands(const FramePixels &frame, const TextBox &region);

// The lines read of band shapes, shared by the reading threads. Thread-safe.
class TextBandCache {
public:
    // The lines of a band of this shape, moved to box; false when the shape is not known.
    bool find(const TextBand &band, std::vector<TextLine> &lines);
    // Keeps the lines read in band (in frame coordinates).
    void keep(const TextBand &band, const std::vector<TextLine> &lines);

private:
    static constexpr size_t kMostShapes = 50'000;  // then it starts afresh
    std::mutex mutex_;
    std::unordered_map<uint64_t, std::vector<TextLine>> lines_;  // relative to the band
};

}  // namespace zv
