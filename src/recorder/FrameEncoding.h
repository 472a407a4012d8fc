#pragma once

#include <cstdint>
#include <vector>

#include "platform/ScreenCapture.h"

class ZVFAppender;

namespace zv {

class GifEncoder;

// How a screen becomes a frame of a recording; shared by the recorder and the sample recordings,
// so that both store the same kind of frames.

// The colours of a frame for a zvBitRate value: 4 (normal quality) gives 16, anything else 256
// (the settings window shows every other value as high quality).
int coloursForBitRate(int32_t bitRate);

// The screen as one GIF file with the colours of bitRate. The bytes stay valid until the
// encoder's next call. Throws zv::Error.
const std::vector<uint8_t> &encodeScreen(GifEncoder &encoder, const ScreenImage &screen,
                                         int32_t bitRate);

// Appends one frame taken at dateTime, stored as roundToMillisecond(dateTime): the text that a
// listing prints for the frame then parses back to exactly its date-time. Throws zv::Error as
// ZVFAppender::append does.
void appendFrame(ZVFAppender &appender, const std::vector<uint8_t> &gif, double dateTime);

}  // namespace zv
