#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zv {

// How the H.264 stream is encoded (x264's names). The defaults were chosen with
// bench/export_mp4_quality on 1280x1024 operator screens at 1 frame/s: CRF 25 keeps the average
// PSNR at about 39 dB (screen text stays crisp) in about 15 % of the GIF frames' bytes; "faster"
// costs about a fifth less processor time than "medium" for 0.1 to 0.2 dB less, and "stillimage"
// gives a smaller file than no tune at the same quality.
struct Mp4Encoding {
    int crf = 25;
    std::string preset = "faster";
    std::string tune = "stillimage";  // empty: none
    std::string params;               // x264's own options, "key=value:key=value"; may be empty

    friend bool operator==(const Mp4Encoding &, const Mp4Encoding &) = default;
};

// FFmpeg's own log on stderr (English, for a developer: the encoder's options and statistics, the
// muxer's complaints), off unless asked for; zvf's --verbose turns it on. Applies to writers
// made afterwards.
void showEncoderLog(bool show);

// Writes one MP4 file with one H.264 video stream (yuv420p, BT.709, limited range) through
// FFmpeg's libraries, with presentation times in milliseconds (variable frame rate) and the
// index at the front of the file (+faststart), so that it plays while it is still downloading.
//
// Pictures are 32-bit pixels 0xXXRRGGBB in a native uint32 (QImage::Format_RGB32) of the size
// given at construction, which must be even. Not thread-safe. Errors are zv::Error; after one,
// the writer is of no further use and the file is incomplete.
class Mp4Writer {
public:
    // Creates (or truncates) nativeFile. Throws zv::Error when the encoder or the file cannot be
    // opened.
    Mp4Writer(const std::string &nativeFile, int width, int height, const Mp4Encoding &encoding);
    // Closes without finishing when finish() was not called: the file is then incomplete.
    ~Mp4Writer();
    Mp4Writer(const Mp4Writer &) = delete;
    Mp4Writer &operator=(const Mp4Writer &) = delete;

    // Encodes one picture shown from ptsMs on; times must rise strictly. stride: bytes from one
    // row to the next.
    void write(const uint8_t *pixels, ptrdiff_t stride, int64_t ptsMs);

    // Flushes the encoder, gives the last picture lastDurationMs, writes the index and closes the
    // file. With no picture written the file holds an empty stream.
    void finish(int64_t lastDurationMs);

    int width() const;
    int height() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace zv
