#pragma once

#include <cstdint>
#include <vector>

#include "container/TextReading.h"

// The pictures a text reader hands to its engine: grey, dark text on white, scaled up.
namespace zv {

struct GreyImage {
    std::vector<uint8_t> data;  // width * height bytes, rows without padding
    int width = 0;
    int height = 0;
    uint8_t &at(int x, int y) { return data[static_cast<size_t>(y) * width + x]; }
    uint8_t at(int x, int y) const { return data[static_cast<size_t>(y) * width + x]; }
};

// The part of a that lies in b (width or height 0 when none).
TextBox intersect(const TextBox &a, const TextBox &b);

// The region of a frame (inside it) in grey levels.
GreyImage greyOf(const FramePixels &frame, const TextBox &region);

struct BlockPreparation {
    bool invertDark = true;       // light on dark made dark on light
    bool stretchContrast = true;  // background to white, darkest ink to black
    double gamma = 1.0;           // with stretching: > 1 darkens the half-tones of the ink
    // A block higher than this that cuts no further is left as it is: it holds more than lines on
    // one background (a whole screen, whose bars and window frames run through every row and
    // column), so no one polarity is right for it; the engine judges each line of it.
    int mixedAbove = 96;
};

// Cuts the picture into blocks along runs of rows and columns of one grey level (the gaps
// between the bars, lines, panels and cells of a screen; recursively, so that a dialog beside a
// table is cut apart before their lines are), makes those gaps white and each block dark text on
// white as asked: its background is the median grey level of its edges (a block too high for one
// background, mixedAbove, is left as it is). Returns the blocks, the
// lines or cells of text in them, top to bottom within each cut.
std::vector<TextBox> prepareBlocks(GreyImage &image, const BlockPreparation &how);

// The picture scaled up factor times with linear interpolation.
GreyImage scaledUp(const GreyImage &image, int factor);

}  // namespace zv
