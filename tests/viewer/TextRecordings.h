#pragma once

#include <cstdint>
#include <string>

// Recordings with text for the viewer's text search, in the pixel text that
// zvtest::PixelTextReader reads exactly (support/PixelText.h).
namespace zvtest {

// Receipt dialog of the text recording: on frames kReceiptFirst .. kReceiptLast, its number line
// at (kReceiptX, kReceiptY).
constexpr int kTextFrameWidth = 240;
constexpr int kTextFrameHeight = 180;
constexpr int kReceiptFirst = 5;
constexpr int kReceiptLast = 8;
constexpr int kReceiptX = 40;
constexpr int kReceiptY = 55;

// Frame k of the text recording, taken at textFrameTime(k): a label that stays, a clock that
// changes every third frame, and the receipt dialog ("Чек № 10342", "Сумма 2 486,00",
// "Кассир Ёлкина Анна"). Frames from 20 on show a counter that changes with every frame.
double textFrameTime(int k);
// Appends frames first .. first + count - 1 of the text recording to file.
void appendTextFrames(const std::string &file, int first, int count);

}  // namespace zvtest
