#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Reading the text that stood on the operator's screen, from the decoded frames of a recording.
// Only what changed is read: for each frame that starts something new, the regions where it
// differs from the frame before it.
namespace zv {

// A rectangle of a frame, in pixels.
struct TextBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const TextBox &, const TextBox &) = default;
};

// One line of text read from a frame: where it stands, its words as UTF-8 (separated by single
// blanks), and the engine's confidence, 0 .. 100.
struct TextLine {
    TextBox box;
    std::string text;
    float confidence = 0;
};

// A decoded frame: width * height pixels 0xAARRGGBB in native uint32, rows without padding (the
// layout of GifImage::pixels). The pixels belong to the caller.
struct FramePixels {
    const uint32_t *pixels = nullptr;
    int width = 0;
    int height = 0;
};

// The regions where current differs from previous: bounding boxes of the changed pixels (a pixel
// whose colour moved by a few levels only, as a shifted palette moves the edges of glyphs, is no
// change), merged when close, widened to the whole words they cut (a digit that changed in an
// amount brings the amount), grown by a few pixels and clipped to the frame. No previous frame
// (null) or one of another size gives the whole frame; equal frames give none. Pure and
// thread-safe; some 0.1 ms for equal 1920x1080 frames, under 1 ms for a dialog that appears.
std::vector<TextBox> changedRegions(const FramePixels *previous, const FramePixels &current);

// Reads the lines of text inside a region of a frame. An engine is loaded once per reader and is
// not thread-safe: one reader per thread.
class TextReader {
public:
    virtual ~TextReader() = default;
    // The lines found in region (clipped to the frame), boxes in frame coordinates. Throws
    // zv::Error when the engine fails.
    virtual std::vector<TextLine> read(const FramePixels &frame, const TextBox &region) = 0;
    // A flag that, once set, makes a read under way give up between the parts it reads, with
    // zv::Error, so that a run being cancelled need not wait for a whole screen to be read (some
    // seconds). Null: reads run to their end. The flag must outlive the reader's reads.
    virtual void setCancel(const std::atomic<bool> *cancel) { (void)cancel; }
};

}  // namespace zv
