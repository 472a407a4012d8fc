#pragma once

#include <QImage>
#include <cstdint>
#include <string>
#include <vector>

namespace zvtest {

// Screens of the kind operators have, drawn with Qt Gui the same way at every call (no clock, no
// randomness), for measuring the GIF encoder against the screen itself:
//   "busy"      a gradient wallpaper, a window with a photo, a table of text, gradient title bars;
//   "flat"      a plain blue desktop, windows with plain navy title bars, grey forms, text;
//   "text"      a spreadsheet: white page, grid, coloured rows, much small text;
//   "gradients" wide gradients (wallpaper, title bars, buttons) behind a form.
// Format_RGB32.
QImage operatorScreen(const std::string &kind, int width, int height);
std::vector<std::string> operatorScreenKinds();

// A continuous-tone picture (sky, hills, texture) as a photo stands in for, width x height.
QImage photoPicture(int width, int height);

// Peak signal-to-noise ratio of b against a over RGB (top byte ignored), in dB; 99 when equal.
double psnr(const QImage &a, const QImage &b);
double psnr(const uint32_t *a, const uint32_t *b, size_t count);

}  // namespace zvtest
