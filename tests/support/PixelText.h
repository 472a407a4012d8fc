#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "container/TextReading.h"

// Recordings whose "text" a fake reader reads back exactly, for the tests and the benchmark of
// the text index. As on a real screen, the text is in the shape of the ink, not in its colour:
// a character is two columns 17 pixels high, a blue mark on top and below it the 16 bits of its
// code point (U+0000 .. U+FFFF), black in the first column for 1 and in the second for 0 (so
// that no row of a line is blank, as in real glyphs); a line is a run of such columns. Everything
// else (backgrounds, a dialog's frame, a caret) is neither pure blue nor black.
namespace zvtest {

// A picture of width x height on which lines of text are drawn.
class TextPicture {
public:
    TextPicture(int width, int height, uint32_t background = 0xFFFFFF);
    // A filled rectangle in a colour whose red channel is not 0.
    void fill(int x, int y, int width, int height, uint32_t rgb);
    // UTF-8 text, two columns per character from (x, y) to the right, rows y .. y + 16.
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
