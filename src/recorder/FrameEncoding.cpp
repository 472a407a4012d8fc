#include "recorder/FrameEncoding.h"

#include "container/GifImage.h"
#include "container/ZVFAppender.h"
#include "platform/DateTime.h"

namespace zv {

int coloursForBitRate(int32_t bitRate) {
    return bitRate == 4 ? 16 : 256;
}

const std::vector<uint8_t> &encodeScreen(GifEncoder &encoder, const ScreenImage &screen,
                                         int32_t bitRate) {
    return encoder.encodeXrgb(screen.pixels, screen.width, screen.height, screen.stride,
                              coloursForBitRate(bitRate));
}

void appendFrame(ZVFAppender &appender, const std::vector<uint8_t> &gif, double dateTime) {
    appender.append(gif.data(), gif.size(), roundToMillisecond(dateTime));
}

}  // namespace zv
