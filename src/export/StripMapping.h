#pragma once

#include <cstdint>

// How the export window's selection strip and its labels map onto the frames of a recording.
// Pure functions of the frame count, which the window reads from the file at every use.
namespace zv {

// The strip position that stands for the last frame (the strip itself is 404 pixels wide).
inline constexpr int64_t kStripScale = 400;

// The frame of strip position x with frameCount frames: p = (n - 1) * (x / 400), each step
// rounded to the x87 extended format (64-bit significand, to nearest), then p rounded to the
// nearest whole number with ties to even. The extended format decides the halfway cases: with
// 76 frames x = 56 gives 10 and x = 168 gives 31, where double precision gives 11 and 32.
// Position 0 gives 0 and 400 gives n - 1; results beyond the int32 range are cut to it.
int32_t positionToFrame(int64_t x, int32_t frameCount);

// A strip position held within 0 .. 400.
int64_t clampStripPosition(int64_t x);

// The frame the middle labels name: n / 2 rounded with ties to even, plus 1, but never past the
// last frame (with 1, 2 or 3 frames the sum would name the slot after it). n - 1, that is -1,
// for a recording of no frames.
int32_t middleFrame(int32_t frameCount);

}  // namespace zv
