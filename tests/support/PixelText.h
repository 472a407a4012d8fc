#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "container/TextReading.h"

// Recordings whose "text" a fake reader reads back exactly, for the tests and the benchmark of
// the text index: a character is one pixel whose red channel is 0 and whose green and blue hold
// its code point (U+0000 .. U+FFFF); a line is a run of such pixels in one row. Everything else
// (backgrounds, a dialog's frame) has red above 0.
namespace zvtest {

// A picture of width x height on which lines of text are drawn.
class TextPicture {
public:
    TextPicture(int width, int height, uint32_t background = 0xFFFFFF);
    // A filled rectangle in a colour whose red channel is not 0.
    void fill(int x, int y, int width, int height, uint32_t rgb);
    // UTF-8 text, one pixel per character from (x, y) to the right.
    void text(int x, int y, const std::string &utf8);
    // GIF bytes as the recorder stores a screen (256 colours: the picture's exact colours).
    std::vector<uint8_t> gif() const;
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_, height_;
    std::vector<uint8_t> rgb_;
};

// Reads the lines of pixel text inside a region and counts its calls.
class PixelTextReader : public zv::TextReader {
public:
    explicit PixelTextReader(std::atomic<int> *calls = nullptr) : calls_(calls) {}
    std::vector<zv::TextLine> read(const zv::FramePixels &frame,
                                   const zv::TextBox &region) override;

private:
    std::atomic<int> *calls_;
};

}  // namespace zvtest
