#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace zv {

// A picture of the whole screen: width * height pixels 0xXXRRGGBB in a native uint32 (the top
// byte means nothing), rows stride pixels apart, top row first. The pixels belong to the source
// that made it and stay valid until its next grab.
struct ScreenImage {
    const uint32_t *pixels = nullptr;
    int width = 0;
    int height = 0;
    size_t stride = 0;
};

// Takes pictures of the screen for the recorder. grab() throws zv::Error when no picture can be
// taken (the display went away, the server refused); the next grab may succeed again.
class ScreenSource {
public:
    virtual ~ScreenSource() = default;
    virtual ScreenImage grab() = 0;
};

// For tests: hands out a picture of its own, of one colour until told otherwise.
class FakeScreenSource : public ScreenSource {
public:
    FakeScreenSource(int width, int height, uint32_t colour = 0)
        : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, colour) {}
    ScreenImage grab() override {
        ++grabs_;
        if (!failure_.empty())
            throw Error(failure_);
        return {pixels_.data(), width_, height_, static_cast<size_t>(width_)};
    }
    std::vector<uint32_t> &pixels() { return pixels_; }
    void fill(uint32_t colour) { pixels_.assign(pixels_.size(), colour); }
    // A non-empty text makes every grab fail with it.
    void failWith(std::string text) { failure_ = std::move(text); }
    int grabs() const { return grabs_; }

private:
    int width_;
    int height_;
    std::vector<uint32_t> pixels_;
    std::string failure_;
    int grabs_ = 0;
};

}  // namespace zv
