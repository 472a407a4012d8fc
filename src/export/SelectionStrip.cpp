#include "export/SelectionStrip.h"

#include <QPainter>
#include <algorithm>
#include <limits>

namespace zv {

namespace {

// Strip positions are 64-bit; anything far outside the picture is drawn as at its edge.
int pixel(int64_t x) {
    return static_cast<int>(std::clamp<int64_t>(x, -1, std::numeric_limits<int16_t>::max()));
}

}  // namespace

void drawFramedRectangle(QImage &image, QPoint corner1, QPoint corner2, const QColor &fill) {
    const int left = std::min(corner1.x(), corner2.x());
    const int top = std::min(corner1.y(), corner2.y());
    // The pen leaves at least one column and one row: a selection of no width still shows.
    const int right = std::max({corner1.x(), corner2.x(), left + 1});
    const int bottom = std::max({corner1.y(), corner2.y(), top + 1});
    QPainter painter(&image);
    painter.fillRect(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), Qt::black);
    if (right - left > 2 && bottom - top > 2)
        painter.fillRect(QRect(QPoint(left + 1, top + 1), QPoint(right - 2, bottom - 2)), fill);
}

QImage selectionStripPicture(QSize size, int64_t selStartX, int64_t selEndX) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    drawFramedRectangle(picture, {0, 0}, {size.width(), size.height()}, Qt::white);
    drawFramedRectangle(picture, {pixel(selStartX + 2), 2}, {pixel(selEndX + 2), size.height() - 2},
                        QColor(0, 0, 255));
    return picture;
}

}  // namespace zv
