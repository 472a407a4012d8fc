#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <cstdint>
#include <vector>

namespace zv {

// A rectangle as the original's canvas draws it with a solid black pen one pixel wide: the area
// between the corners, right and bottom edge excluded, framed in black and filled with fill; a
// rectangle of no width or height still leaves its one column or row of frame. The corners may
// come in any order; parts outside the image are left out.
void drawFramedRectangle(QImage &image, QPoint corner1, QPoint corner2, const QColor &fill);

// The picture of the export window's selection strip: a white field framed in black over the
// whole strip, and the selection as a blue bar from selStartX + 2 to selEndX + 2 (either order),
// two pixels in from the top and the bottom. Under the selection, the recording's activity: for
// each strip position x with activity[x] set, a grey column at x + 2 as high as the bar, drawn
// light blue inside the bar.
QImage selectionStripPicture(QSize size, int64_t selStartX, int64_t selEndX,
                             const std::vector<uint8_t> &activity = {});

}  // namespace zv
