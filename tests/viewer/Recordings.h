#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "container/GifFixtures.h"

// Recordings for the viewer tests: frame k is a plain picture of one colour, so that a picture
// (or the painted box) tells which frame it shows, taken one second after frame k - 1.
namespace zvtest {

Rgb frameColour(int k);
// 0xAARRGGBB of frame k's pixels, as GifImage::pixels() holds them.
uint32_t framePixel(int k);
std::vector<uint8_t> plainGif(Rgb colour, int width = 32, int height = 24);
double frameTime(int k);

// Appends frames first .. first + count - 1 to file (created with its folder when missing);
// frames listed in bad hold bytes that are not a GIF.
void appendFrames(const std::string &file, int first, int count, const std::vector<int> &bad = {});
// A recording of still screens: runs[r] frames of one picture each (colour frameColour(r); all
// of one size), frame k taken at frameTime(k).
void makeRuns(const std::string &file, const std::vector<int> &runs);
inline void makeRecording(const std::string &file, int count, const std::vector<int> &bad = {}) {
    appendFrames(file, 0, count, bad);
}

}  // namespace zvtest
