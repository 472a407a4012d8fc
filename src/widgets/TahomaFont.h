#pragma once

#include <QFont>

namespace zv {

// Tahoma at a character height in pixels, as the windows were laid out in (Tahoma 8 pt of the
// original windows is 11 px). fonts-wine's Tahoma is loaded first where the system has none
// (loadWindowFonts); without either, the nearest narrow face stands in.
QFont tahomaFont(int pixelSize, bool bold = false);

}  // namespace zv
