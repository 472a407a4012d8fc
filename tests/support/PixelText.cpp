#include "support/PixelText.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "container/GifImage.h"
#include "platform/Utf8.h"

namespace zvtest {

namespace {

constexpr uint32_t kMark = 0x0000FF;
constexpr int kLineHeight = 17;

bool isMark(uint32_t pixel) {
    return (pixel & 0xFFFFFF) == kMark;
}

bool isBit(uint32_t pixel) {
    return (pixel & 0xFFFFFF) == 0;
}

}  // namespace

TextPicture::TextPicture(int width, int height, uint32_t background)
    : width_(width), height_(height), rgb_(static_cast<size_t>(width * height * 3)) {
    fill(0, 0, width, height, background);
}

void TextPicture::fill(int x, int y, int width, int height, uint32_t rgb) {
    for (int row = std::max(y, 0); row < std::min(y + height, height_); ++row)
        for (int col = std::max(x, 0); col < std::min(x + width, width_); ++col) {
            uint8_t *p = &rgb_[static_cast<size_t>((row * width_ + col) * 3)];
            p[0] = static_cast<uint8_t>(rgb >> 16);
            p[1] = static_cast<uint8_t>(rgb >> 8);
            p[2] = static_cast<uint8_t>(rgb);
        }
}

void TextPicture::text(int x, int y, const std::string &utf8) {
    for (size_t at = 0; at < utf8.size();) {
        const std::optional<char32_t> decoded = zv::decodeUtf8(utf8, at);
        if (!decoded)
            throw std::invalid_argument("pixel text: not UTF-8");
        const char32_t c = *decoded;
        fill(x, y, 2, 1, kMark);
        for (int bit = 0; bit < 16; ++bit)
            fill(x + ((c >> bit) & 1 ? 0 : 1), y + 1 + bit, 1, 1, 0x000000);
        x += 2;
    }
}

std::vector<uint8_t> TextPicture::gif() const {
    return zv::GifImage::encodeRgb(rgb_.data(), width_, height_, 256);
}

std::vector<zv::TextLine> PixelTextReader::read(const zv::FramePixels &frame,
                                                const zv::TextBox &region) {
    if (calls_)
        ++*calls_;
    std::vector<zv::TextLine> lines;
    const int x0 = std::max(region.x, 0), x1 = std::min(region.x + region.width, frame.width);
    const int y0 = std::max(region.y, 0), y1 = std::min(region.y + region.height, frame.height);
    for (int y = y0; y + kLineHeight <= y1; ++y) {
        const uint32_t *row = frame.pixels + static_cast<size_t>(y) * frame.width;
        for (int x = x0; x < x1;) {
            if (!isMark(row[x])) {
                ++x;
                continue;
            }
            zv::TextLine line;
            line.box = {x, y, 0, kLineHeight};
            for (; x + 1 < x1 && isMark(row[x]); x += 2) {
                char32_t c = 0;
                for (int bit = 0; bit < 16; ++bit)
                    if (isBit(row[x + static_cast<size_t>(bit + 1) * frame.width]))
                        c |= char32_t{1} << bit;
                zv::appendUtf8(line.text, c);
            }
            line.box.width = x - line.box.x;
            line.confidence = 90;
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

}  // namespace zvtest
