// Screen capture: pixel layouts of X servers, and pictures of real Xvfb screens taken through
// shared memory and through GetImage.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/Error.h"
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

    auto shared = zv::makeX11ScreenSource(server.display());
    auto plain = zv::makeX11ScreenSource(server.display(), false);
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
    auto source = zv::makeX11ScreenSource(server.display());
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
