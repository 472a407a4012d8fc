// Screen capture: pixel layouts of X servers, pictures of real Xvfb screens taken through
// shared memory and through GetImage, and the pointer drawn into them.
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/Error.h"
#include "platform/PointerImage.h"
#include "platform/ScreenCapture.h"
#include "support/XServer.h"

namespace {

// A pattern with many colours and sharp edges, as 0x00RRGGBB.
std::vector<uint32_t> pattern(int w, int h) {
    std::vector<uint32_t> p(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p[y * w + x] =
                ((x * 255 / w) << 16) | ((y * 255 / h) << 8) | ((x / 8 + y / 8) % 2 ? 0xE0 : 0x10);
    return p;
}

std::vector<uint32_t> captured(zv::ScreenSource &source) {
    const zv::ScreenImage image = source.grab();
    std::vector<uint32_t> out;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            out.push_back(image.pixels[y * image.stride + x] & 0xFFFFFF);
    return out;
}

}  // namespace

TEST(ScreenCapture, ConvertsTheServersPixelLayouts) {
    uint32_t out[2];
    // 16 bits, 5-6-5, least significant byte first: full red, then a mid grey.
    const uint8_t rgb565[] = {0x00, 0xF8, 0xEF, 0x7B};
    zv::PixelLayout l16{16, false, 0xF800, 0x07E0, 0x001F};
    zv::convertToXrgb(rgb565, l16, 2, 1, 4, out);
    EXPECT_EQ(out[0], 0xFF0000u);
    EXPECT_EQ(out[1], 0x7B7D7Bu);
    // The same, most significant byte first.
    const uint8_t msb[] = {0xF8, 0x00, 0x7B, 0xEF};
    l16.msbFirst = true;
    zv::convertToXrgb(msb, l16, 2, 1, 4, out);
    EXPECT_EQ(out[0], 0xFF0000u);
    EXPECT_EQ(out[1], 0x7B7D7Bu);
    // 32 bits with blue and red swapped, and rows with padding.
    const uint32_t bgr[] = {0x00123456, 0xDEADBEEF, 0x00ABCDEF, 0};
    zv::PixelLayout l32{32, false, 0xFF, 0xFF00, 0xFF0000};
    EXPECT_FALSE(l32.isNativeXrgb());
    uint32_t two[2];
    zv::convertToXrgb(reinterpret_cast<const uint8_t *>(bgr), l32, 1, 2, 8, two);
    EXPECT_EQ(two[0], 0x563412u);
    EXPECT_EQ(two[1], 0xEFCDABu);
    // 24 bits packed.
    const uint8_t packed[] = {0x56, 0x34, 0x12, 0x01, 0x02, 0x03};
    zv::convertToXrgb(packed, zv::PixelLayout{24, false}, 2, 1, 6, out);
    EXPECT_EQ(out[0], 0x123456u);
    EXPECT_EQ(out[1], 0x030201u);
    EXPECT_TRUE(zv::PixelLayout{}.isNativeXrgb());
    EXPECT_THROW(zv::convertToXrgb(packed, zv::PixelLayout{8, false}, 1, 1, 1, out), zv::Error);
}

TEST(ScreenCapture, TakesTheWholeScreenThroughSharedMemoryAndWithout) {
    zvtest::XServer server(320, 200);
    zvtest::RootPicture root(server.display());
    const std::vector<uint32_t> expected = pattern(320, 200);
    root.show(expected.data(), 320, 200, 320);

    auto shared = zv::makeX11ScreenSource(server.display(), true, false);
    auto plain = zv::makeX11ScreenSource(server.display(), false, false);
    EXPECT_STREQ(shared->method(), "MIT-SHM");
    EXPECT_STREQ(plain->method(), "GetImage");
    EXPECT_EQ(captured(*shared), expected);
    EXPECT_EQ(captured(*plain), expected);
    // Again, after the screen changed: the same buffers, the new picture.
    root.fill(0x2050A0);
    EXPECT_EQ(captured(*shared), std::vector<uint32_t>(320 * 200, 0x2050A0));
    EXPECT_EQ(captured(*plain), std::vector<uint32_t>(320 * 200, 0x2050A0));
}

TEST(ScreenCapture, ConvertsA16BitScreen) {
    zvtest::XServer server(64, 48, 16);
    zvtest::RootPicture root(server.display());
    root.fill(0xFF8000);
    auto source = zv::makeX11ScreenSource(server.display(), true, false);
    const zv::ScreenImage image = source->grab();
    ASSERT_EQ(image.width, 64);
    ASSERT_EQ(image.height, 48);
    EXPECT_EQ(image.pixels[0] & 0xFFFFFF, 0xFF8200u);  // 5-6-5 widened back to 8 bits
    EXPECT_EQ(image.pixels[47 * image.stride + 63] & 0xFFFFFF, 0xFF8200u);
}

TEST(ScreenCapture, NoDisplayIsAClearError) {
    zvtest::ScopedDisplay none("");
    try {
        zv::makeX11ScreenSource();
        FAIL() << "no error";
    } catch (const zv::Error &e) {
        EXPECT_STREQ(e.what(), "Не задан дисплей X11 (переменная DISPLAY пуста)");
    }
    EXPECT_THROW(zv::makeX11ScreenSource(":97"), zv::Error);
}

namespace {

// One channel of premultiplied source over the screen, exactly.
uint32_t overExactly(uint32_t source, uint32_t screen) {
    const double a = static_cast<double>(source >> 24) / 255.0;
    uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const double s = (source >> shift) & 0xFF, d = (screen >> shift) & 0xFF;
        out |= static_cast<uint32_t>(std::lround(std::min(255.0, s + d * (1 - a)))) << shift;
    }
    return out;
}

}  // namespace

TEST(PointerImage, BlendsAtItsPlaceAndClipsAtTheEdges) {
    // A 3 x 2 pointer: opaque red, transparent, half-transparent white; opaque blue, nothing
    // (zero), a premultiplied half grey.
    const uint32_t argb[] = {0xFFFF0000, 0x00000000, 0x80808080,
                             0xFF0000FF, 0x00000000, 0x40202020};
    const uint32_t screen = 0x00336699;
    for (const auto &[left, top] :
         {std::pair{1, 1}, std::pair{-1, -1}, std::pair{3, 2}, std::pair{-3, 0}, std::pair{4, 3}}) {
        SCOPED_TRACE(testing::Message() << left << "," << top);
        const int w = 4, h = 3;
        const size_t stride = 6;  // padding that must stay as it is
        std::vector<uint32_t> pixels(stride * h, screen);
        zv::drawPointer(pixels.data(), w, h, stride, {argb, 3, 2, left, top});
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < static_cast<int>(stride); ++x) {
                const int px = x - left, py = y - top;
                const bool under = x < w && px >= 0 && px < 3 && py >= 0 && py < 2;
                const uint32_t expected = under ? overExactly(argb[py * 3 + px], screen) : screen;
                const uint32_t got = pixels[y * stride + x];
                for (int shift : {16, 8, 0})
                    EXPECT_NEAR((got >> shift) & 0xFF, (expected >> shift) & 0xFF, 1)
                        << x << "," << y;
            }
    }
}

namespace {

struct XcbCloser {
    void operator()(xcb_connection_t *c) const { xcb_disconnect(c); }
};

// The pointer's picture as the server gives it, premultiplied ARGB, with its place.
struct ServerPointer {
    std::vector<uint32_t> argb;
    int width = 0, height = 0, left = 0, top = 0;
};

class PointerControl {
public:
    explicit PointerControl(const std::string &display)
        : c_(xcb_connect(display.c_str(), nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_.get())).data->root;
        free(xcb_xfixes_query_version_reply(c_.get(), xcb_xfixes_query_version(c_.get(), 4, 0),
                                            nullptr));
    }
    void moveTo(int x, int y) {
        xcb_warp_pointer(c_.get(), XCB_NONE, root_, 0, 0, 0, 0, static_cast<int16_t>(x),
                         static_cast<int16_t>(y));
        free(xcb_get_input_focus_reply(c_.get(), xcb_get_input_focus(c_.get()), nullptr));
    }
    ServerPointer image() {
        std::unique_ptr<xcb_xfixes_get_cursor_image_reply_t, decltype(&free)> r(
            xcb_xfixes_get_cursor_image_reply(c_.get(), xcb_xfixes_get_cursor_image(c_.get()),
                                              nullptr),
            &free);
        ServerPointer p;
        if (!r)
            return p;
        const uint32_t *data = xcb_xfixes_get_cursor_image_cursor_image(r.get());
        p.argb.assign(data, data + r->width * r->height);
        p.width = r->width;
        p.height = r->height;
        p.left = r->x - r->xhot;
        p.top = r->y - r->yhot;
        return p;
    }

private:
    std::unique_ptr<xcb_connection_t, XcbCloser> c_;
    xcb_window_t root_ = 0;
};

}  // namespace

TEST(ScreenCapture, DrawsThePointerWhereItIsAndNowhereElse) {
    const int w = 320, h = 200;
    zvtest::XServer server(w, h);
    zvtest::RootPicture root(server.display());
    const std::vector<uint32_t> screen = pattern(w, h);
    root.show(screen.data(), w, h, w);
    PointerControl control(server.display());
    auto with = zv::makeX11ScreenSource(server.display());
    auto withPlain = zv::makeX11ScreenSource(server.display(), false);
    auto without = zv::makeX11ScreenSource(server.display(), true, false);

    for (const auto &[x, y] : {std::pair{100, 60}, std::pair{250, 150}, std::pair{318, 198}}) {
        SCOPED_TRACE(testing::Message() << "pointer at " << x << "," << y);
        control.moveTo(x, y);
        const ServerPointer pointer = control.image();
        ASSERT_GT(pointer.width, 0);
        ASSERT_GT(pointer.height, 0);
        // The hot spot, inside the picture, is where the pointer was put.
        ASSERT_TRUE(x >= pointer.left && x < pointer.left + pointer.width);
        ASSERT_TRUE(y >= pointer.top && y < pointer.top + pointer.height);
        // Where the pointer is, its picture over the screen; everywhere else the screen.
        std::vector<uint32_t> expected = screen;
        int visible = 0;
        for (int py = 0; py < pointer.height; ++py)
            for (int px = 0; px < pointer.width; ++px) {
                const int sx = pointer.left + px, sy = pointer.top + py;
                if (sx < 0 || sy < 0 || sx >= w || sy >= h)
                    continue;
                uint32_t &pixel = expected[static_cast<size_t>(sy) * w + sx];
                const uint32_t drawn = overExactly(pointer.argb[py * pointer.width + px], pixel);
                visible += drawn != pixel;
                pixel = drawn;
            }
        EXPECT_GT(visible, 10) << "the pointer shows";
        for (zv::ScreenSource *source : {with.get(), withPlain.get()}) {
            const std::vector<uint32_t> got = captured(*source);
            int off = 0;
            for (size_t i = 0; i < got.size(); ++i) {
                int worst = 0;
                for (int shift : {16, 8, 0})
                    worst =
                        std::max(worst, std::abs(static_cast<int>((got[i] >> shift) & 0xFF) -
                                                 static_cast<int>((expected[i] >> shift) & 0xFF)));
                off += worst > 1;
            }
            EXPECT_EQ(off, 0) << source->method();
        }
        EXPECT_EQ(captured(*without), screen);
    }
}
