#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace zv {

class GifImage;

// The picture of one frame of an exported video: a frame of the recording on a canvas whose sides
// are rounded up to even numbers (what yuv420p needs), with the frame's time stamp burnt in.
// Qt Gui; drawing the time stamp needs a QGuiApplication.
class FrameCanvas {
public:
    // frameWidth x frameHeight: the size of the recording's frames (at least 1 x 1).
    FrameCanvas(int frameWidth, int frameHeight);

    // Even sides: the frame's, or one more.
    int width() const { return image_.width(); }
    int height() const { return image_.height(); }

    // A frame of the recording's size is copied and the padding repeats its last column and row;
    // a frame of another size (the screen changed its resolution) is stretched over the canvas.
    // Transparent pixels are black.
    void paintFrame(const GifImage &frame);
    void paintBlack();
    // text in the top right-hand corner, white on a black box, in a size that follows the
    // frame's height. Throws zv::Error without a QGuiApplication.
    void paintTimeStamp(const QString &text);

    // Pixels 0xAARRGGBB in native uint32 rows (QImage::Format_ARGB32_Premultiplied).
    const uint8_t *bits() const { return image_.constBits(); }
    ptrdiff_t stride() const { return image_.bytesPerLine(); }
    const QImage &image() const { return image_; }

private:
    int frameWidth_;
    int frameHeight_;
    QImage image_;
    QFont font_;
};

}  // namespace zv
