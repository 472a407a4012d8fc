#pragma once

#include <QFont>

namespace zv {

// Tahoma at a character height in pixels, as the windows were laid out in, with the nearest
// narrow face where the system has no Tahoma.
QFont tahomaFont(int pixelSize, bool bold = false);

}  // namespace zv
