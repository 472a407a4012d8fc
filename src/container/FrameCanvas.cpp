#include "container/FrameCanvas.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "container/GifImage.h"
#include "platform/Error.h"

namespace zv {

namespace {

int evenUp(int n) {
    return n + (n & 1);
}

}  // namespace

FrameCanvas::FrameCanvas(int frameWidth, int frameHeight)
    : frameWidth_(frameWidth),
      frameHeight_(frameHeight),
      image_(evenUp(frameWidth), evenUp(frameHeight), QImage::Format_ARGB32_Premultiplied) {
    if (image_.isNull())
        throw Error("Недостаточно памяти");
    image_.fill(Qt::black);
    // Digits of one width keep the box from changing its size every second.
    font_.setFamily(QStringLiteral("DejaVu Sans Mono"));
    font_.setStyleHint(QFont::Monospace);
    font_.setBold(true);
    font_.setPixelSize(std::clamp(frameHeight / 42, 9, 64));
}

void FrameCanvas::paintBlack() {
    image_.fill(Qt::black);
}

void FrameCanvas::paintFrame(const GifImage &frame) {
    if (frame.empty()) {
        paintBlack();
        return;
    }
    const int w = frame.width(), h = frame.height();
    if (w != frameWidth_ || h != frameHeight_) {
        const QImage source(reinterpret_cast<const uchar *>(frame.pixels()), w, h, w * 4,
                            QImage::Format_ARGB32_Premultiplied);
        image_.fill(Qt::black);
        QPainter p(&image_);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(image_.rect(), source);
        return;
    }
    const size_t rowBytes = static_cast<size_t>(w) * 4;
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<uint32_t *>(image_.scanLine(y));
        std::memcpy(row, frame.pixels() + static_cast<size_t>(y) * static_cast<size_t>(w),
                    rowBytes);
        if (image_.width() > w)
            row[w] = row[w - 1];
    }
    if (image_.height() > h)
        std::memcpy(image_.scanLine(h), image_.constScanLine(h - 1),
                    static_cast<size_t>(image_.bytesPerLine()));
}

void FrameCanvas::paintTimeStamp(const QString &text) {
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        throw Error("Для отметки времени на кадрах нужен QGuiApplication");
    const QFontMetrics metrics(font_);
    const int pad = std::max(2, metrics.height() / 4);
    const int boxWidth = metrics.horizontalAdvance(text) + 2 * pad;
    const int boxHeight = metrics.height() + pad;
    const QRect box(image_.width() - boxWidth, 0, boxWidth, boxHeight);
    QPainter p(&image_);
    p.fillRect(box, Qt::black);
    p.setFont(font_);
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, text);
}

}  // namespace zv
