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

QImage selectionStripPicture(QSize size, int64_t selStartX, int64_t selEndX,
                             const std::vector<uint8_t> &activity) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    drawFramedRectangle(picture, {0, 0}, {size.width(), size.height()}, Qt::white);
    const int top = 2;
    const int bottom = size.height() - 2;  // excluded
    auto drawActivity = [&](int from, int to, int rowFrom, int rowTo, const QColor &colour) {
        QPainter painter(&picture);
        for (int x = std::max(from, 0); x < to && x < static_cast<int>(activity.size()); ++x)
            if (activity[static_cast<size_t>(x)] && rowTo > rowFrom)
                painter.fillRect(x + 2, rowFrom, 1, rowTo - rowFrom, colour);
    };
    // Columns 1 .. width - 2 lie inside the strip's frame.
    drawActivity(-1, size.width() - 3, top, bottom, QColor(0x90, 0x90, 0x90));
    const int left = pixel(std::min(selStartX, selEndX) + 2);
    const int right = pixel(std::max(selStartX, selEndX) + 2);
    drawFramedRectangle(picture, {pixel(selStartX + 2), top}, {pixel(selEndX + 2), bottom},
                        QColor(0, 0, 255));
    // Inside the bar's own frame.
    drawActivity(left + 1 - 2, right - 1 - 2, top + 1, bottom - 1, QColor(0x90, 0xb0, 0xff));
    return picture;
}

}  // namespace zv
