#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zv {

// A GIF picture in place of the original runtime's GIF image class, on giflib.
//
// Loading keeps two forms of the first picture of a GIF file: a 32-bit bitmap of the logical
// screen for painting, and the indexed picture with its palette so that saving writes the same
// picture back without quantising. Buffers are kept between loads, so one image reused for many
// frames allocates nothing after the first (multi-megabyte fresh buffers cost page faults).
class GifImage {
public:
    GifImage();
    ~GifImage();
    GifImage(GifImage &&) noexcept;
    GifImage &operator=(GifImage &&) noexcept;
    GifImage(const GifImage &) = delete;
    GifImage &operator=(const GifImage &) = delete;

    bool empty() const;
    int width() const;
    int height() const;

    // width() * height() pixels, rows top to bottom without padding; each pixel is 0xAARRGGBB in
    // a native uint32 (the layout of QImage::Format_ARGB32). Transparent pixels are 0 (alpha and
    // colour), so the same pixels are also valid premultiplied ARGB, which paints faster.
    // Null when empty. Valid until the next load or clear.
    const uint32_t *pixels() const;

    // Replaces the content with the first picture of a whole GIF file held in memory. On failure
    // the image is empty and zv::Error carries giflib's message.
    void loadFromBytes(const void *data, size_t size);

    void clear();

    // The picture as a GIF file: the indexed picture and palette as loaded (or as encoded). An
    // empty image throws zv::Error.
    std::vector<uint8_t> saveToBytes() const;
    // Writes saveToBytes() to a native path, replacing a file (or a link) of that name, through
    // zv::writeWholeFile: nothing half written stays (a full disk), no link is followed. Throws
    // zv::Error with the system's reason.
    void saveToFile(const std::string &nativeFile) const;

    // Encodes an RGB bitmap (3 bytes per pixel, R G B, rows contiguous) as a one-picture GIF
    // file with at most 16 or 256 colours (see GifEncoder). Throws zv::Error.
    static std::vector<uint8_t> encodeRgb(const uint8_t *rgb, int width, int height, int colours);

private:
    struct Data;
    Data *d_;
};

// Encodes pictures as one-picture GIF files with at most 16 or 256 colours, again and again: its
// buffers are kept between pictures, so that encoding a screen a second allocates nothing once
// the first is done. A picture with no more colours than that is stored exactly; otherwise the
// palette is chosen by zv::Quantizer (black, white and the flat colours kept exactly). The same
// picture always gives the same bytes. The palette is as large as the colours used need (a
// power of two), and the picture is one plain image (isPlainGif). The bytes returned stay valid
// until the next call. Not thread-safe; one encoder per thread.
class GifEncoder {
public:
    GifEncoder();
    ~GifEncoder();
    GifEncoder(const GifEncoder &) = delete;
    GifEncoder &operator=(const GifEncoder &) = delete;

    // RGB bitmap: 3 bytes per pixel (R G B), rows contiguous. Throws zv::Error for a size outside
    // 1..65535 per side (or too many pixels) or a colour count other than a power of two in
    // 2..256.
    const std::vector<uint8_t> &encodeRgb(const uint8_t *rgb, int width, int height, int colours);
    // Pixels 0xXXRRGGBB in a native uint32 (the layout of QImage::Format_RGB32 and of a 24-bit X
    // screen), rows stride pixels apart; the top byte is ignored. Throws as encodeRgb.
    const std::vector<uint8_t> &encodeXrgb(const uint32_t *pixels, int width, int height,
                                           size_t stride, int colours);

private:
    struct Buffers;
    std::unique_ptr<Buffers> b_;
};

// Whether GIF bytes are one plain picture, as GifEncoder writes: a screen descriptor, colour
// tables, one image descriptor inside the screen, not interlaced, its data, the trailer, and
// nothing else (no extension, no second picture, nothing after the trailer). Such bytes show
// what saving their decoded picture would write, so they may be stored as they are. Looks at
// the structure only; whether the compressed data decode is for the decoder to say.
bool isPlainGif(const uint8_t *data, size_t size);

// Writes GIF bytes to a native path through a part file (writeWholeFile): a file or a link of
// that name is replaced, never written through, and nothing half written stays. Throws zv::Error
// "Не удается записать файл \"<path>\": <reason>".
void writeGifFile(const std::string &nativeFile, const uint8_t *data, size_t size);

}  // namespace zv
