#pragma once

#include <QImage>
#include <optional>
#include <string>
#include <vector>

namespace zv {
class GifEncoder;
}

// Sample recordings for the demo, the tests and the benchmarks: rendered operator screens of a
// fuel station (windows, a table of fuel sales, pumps, a running clock), not noise, encoded the
// way the recorder encodes its screenshots and appended in the recorder's order.
//
// Rendering text needs a QGuiApplication: callers must have one (the offscreen platform will do);
// without one the functions throw zv::Error. Qt Gui only, no Widgets.

struct SampleOptions {
    int frames = 120;
    int delayMs = 1000;  // between frames; also the date-time step
    int width = 1280;
    int height = 1024;
    int quality = 8;              // 4: 16 colours, 8: 256 colours (the recorder's zvBitRate)
    std::optional<double> start;  // date-time of frame 0; now when not given
    bool append = false;          // continue an existing recording instead of replacing it
};

// Writes a recording of options.frames frames to a native path (drive paths are mapped as well).
// Replaces an existing file unless options.append. Throws zv::Error for bad options (frames
// outside 0..499,900, size outside 16..8192 per side, quality other than 4 or 8, negative delay),
// write errors, or no QGuiApplication.
void writeSampleRecording(const std::string &nativeFile, const SampleOptions &options);

// One operator screen as the recorder would grab it at dateTime; frameNumber drives the changes
// between frames (sales, pump counters). Format_RGB32.
QImage renderSampleScreen(int width, int height, double dateTime, int frameNumber);

// The GIF bytes of a screen as the recorder stores it at the given quality (zvBitRate: 4 gives
// 16 colours, 8 gives 256). The second form reuses the encoder's buffers; its bytes stay valid
// until the encoder's next call.
std::vector<uint8_t> encodeSampleScreen(const QImage &screen, int quality);
const std::vector<uint8_t> &encodeSampleScreen(zv::GifEncoder &encoder, const QImage &screen,
                                               int quality);
