#include "container/GifImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "container/GifFixtures.h"
#include "platform/Error.h"
#include "support/TempRoot.h"

using zv::GifImage;
using zvtest::GifLayout;
using zvtest::GifPicture;
using zvtest::Rgb;

namespace {

// Pixels a picture on a screen must show, computed from the layout independently of the decoder.
std::vector<uint32_t> expectedPixels(const GifLayout &layout, uint32_t outside) {
    const GifPicture &p = layout.pictures.front();
    const auto &palette = p.localPalette.empty() ? layout.globalPalette : p.localPalette;
    std::vector<uint32_t> out(static_cast<size_t>(layout.screenWidth) * layout.screenHeight,
                              outside);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            uint8_t index = p.raster[static_cast<size_t>(y) * p.width + x];
            out[static_cast<size_t>(p.top + y) * layout.screenWidth + p.left + x] =
                index == p.transparent ? 0u : zvtest::argb(palette[index]);
        }
    return out;
}

std::vector<uint32_t> pixelsOf(const GifImage &image) {
    return {image.pixels(), image.pixels() + static_cast<size_t>(image.width()) * image.height()};
}

GifLayout plainSpec(int w, int h) {
    GifLayout layout;
    layout.screenWidth = w;
    layout.screenHeight = h;
    layout.globalPalette = zvtest::distinctPalette(256);
    layout.pictures.push_back(zvtest::patternPicture(w, h, 256));
    return layout;
}

void expectDecodesAsWritten(const GifLayout &layout, uint32_t outside = 0) {
    std::vector<uint8_t> bytes = zvtest::makeGif(layout);
    GifImage image;
    image.loadFromBytes(bytes.data(), bytes.size());
    ASSERT_EQ(image.width(), layout.screenWidth);
    ASSERT_EQ(image.height(), layout.screenHeight);
    EXPECT_EQ(pixelsOf(image), expectedPixels(layout, outside));

    // Saving writes the indexed picture back: it decodes to the same bitmap.
    std::vector<uint8_t> saved = image.saveToBytes();
    GifImage again;
    again.loadFromBytes(saved.data(), saved.size());
    EXPECT_EQ(pixelsOf(again), pixelsOf(image));
}

}  // namespace

TEST(GifImage, DecodesVariantsToThePixelsWritten) {
    {
        SCOPED_TRACE("plain, global palette");
        expectDecodesAsWritten(plainSpec(37, 23));
    }
    {
        SCOPED_TRACE("interlaced, every pass non-empty and a height not a multiple of 8");
        GifLayout layout = plainSpec(19, 29);
        layout.pictures[0].interlaced = true;
        expectDecodesAsWritten(layout);
    }
    {
        SCOPED_TRACE("local palette wins over the global one");
        GifLayout layout = plainSpec(16, 16);
        layout.pictures[0] = zvtest::patternPicture(16, 16, 16);
        layout.pictures[0].localPalette = zvtest::distinctPalette(16, 3);
        expectDecodesAsWritten(layout);
    }
    {
        SCOPED_TRACE("local palette and no global one");
        GifLayout layout = plainSpec(8, 8);
        layout.globalPalette.clear();
        layout.pictures[0] = zvtest::patternPicture(8, 8, 4);
        layout.pictures[0].localPalette = zvtest::distinctPalette(4, 5);
        expectDecodesAsWritten(layout);
    }
    {
        SCOPED_TRACE("transparent index has alpha 0");
        GifLayout layout = plainSpec(12, 10);
        layout.pictures[0].transparent = 5;
        expectDecodesAsWritten(layout);
    }
    {
        SCOPED_TRACE("several pictures: the first one only");
        GifLayout layout = plainSpec(10, 10);
        GifPicture second = zvtest::patternPicture(10, 10, 3);
        second.raster.assign(second.raster.size(), 1);
        layout.pictures.push_back(second);
        expectDecodesAsWritten(layout);
    }
}

TEST(GifImage, FirstPictureSmallerThanTheScreen) {
    GifLayout layout = plainSpec(30, 20);
    layout.background = 9;
    layout.pictures[0] = zvtest::patternPicture(7, 5, 256);
    layout.pictures[0].left = 11;
    layout.pictures[0].top = 4;
    // Without transparency the rest of the screen is the background colour.
    expectDecodesAsWritten(layout, zvtest::argb(layout.globalPalette[9]));
    // With it the rest is transparent.
    layout.pictures[0].transparent = 2;
    expectDecodesAsWritten(layout, 0u);
}

TEST(GifImage, ReusedImageFollowsEachLoad) {
    GifImage image;
    GifLayout big = plainSpec(64, 48);
    GifLayout small = plainSpec(5, 3);
    small.globalPalette = zvtest::distinctPalette(256, 1);
    for (const GifLayout *layout : {&big, &small, &big}) {
        std::vector<uint8_t> bytes = zvtest::makeGif(*layout);
        image.loadFromBytes(bytes.data(), bytes.size());
        EXPECT_EQ(pixelsOf(image), expectedPixels(*layout, 0));
    }
}

TEST(GifImage, BadBytesLeaveItEmptyWithGiflibsReasonInRussian) {
    GifImage image;
    std::vector<uint8_t> good = zvtest::makeGif(plainSpec(40, 40));
    image.loadFromBytes(good.data(), good.size());
    ASSERT_FALSE(image.empty());

    const std::string notGif = "this is not a picture at all";
    try {
        image.loadFromBytes(notGif.data(), notGif.size());
        FAIL() << "no error";
    } catch (const zv::Error &e) {
        EXPECT_STREQ(e.what(), "Данные не являются изображением GIF");
    }
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(image.pixels(), nullptr);
    EXPECT_THROW(image.saveToBytes(), zv::Error);

    // Cut anywhere after the header: an error, never a crash or a half picture.
    for (size_t cut :
         {size_t{0}, size_t{6}, size_t{13}, size_t{800}, good.size() / 2, good.size() - 2}) {
        SCOPED_TRACE(cut);
        EXPECT_THROW(image.loadFromBytes(good.data(), cut), zv::Error);
        EXPECT_TRUE(image.empty());
    }
    EXPECT_THROW(image.loadFromBytes(nullptr, 100), zv::Error);
}

TEST(GifImage, HeaderClaimingAHugeScreenIsRefused) {
    GifLayout layout = plainSpec(4, 4);
    std::vector<uint8_t> bytes = zvtest::makeGif(layout);
    bytes[6] = bytes[7] = bytes[8] = bytes[9] = 0xFF;  // 65535 x 65535 logical screen
    GifImage image;
    EXPECT_THROW(image.loadFromBytes(bytes.data(), bytes.size()), zv::Error);
    EXPECT_TRUE(image.empty());
}

TEST(GifImage, EncodeRgbKeepsFewColoursAndRefusesBadInput) {
    const int w = 50, h = 30;
    std::vector<Rgb> colours = zvtest::distinctPalette(12, 2);
    std::vector<uint8_t> rgb;
    std::vector<uint32_t> expected;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgb c = colours[(x / 5 + y / 3) % colours.size()];
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
            expected.push_back(zvtest::argb(c));
        }
    for (int n : {16, 256}) {
        SCOPED_TRACE(n);
        std::vector<uint8_t> gif = GifImage::encodeRgb(rgb.data(), w, h, n);
        GifImage image;
        image.loadFromBytes(gif.data(), gif.size());
        ASSERT_EQ(image.width(), w);
        ASSERT_EQ(image.height(), h);
        // Twelve colours on a 5-bit grid fit either palette exactly.
        EXPECT_EQ(pixelsOf(image), expected);
    }
    EXPECT_THROW(GifImage::encodeRgb(rgb.data(), w, h, 17), zv::Error);
    EXPECT_THROW(GifImage::encodeRgb(rgb.data(), 0, h, 16), zv::Error);
    EXPECT_THROW(GifImage::encodeRgb(nullptr, w, h, 16), zv::Error);
}

TEST(GifEncoder, ScreenRowsWithPaddingEncodeAsTheirRgb) {
    // A screen whose rows are longer than its width (as a shared-memory image may be), encoded
    // twice with one encoder: the padding and the top byte never reach the picture, and the
    // second picture does not keep anything of the first.
    const int w = 37, h = 21;
    const size_t stride = 40;
    std::vector<Rgb> colours = zvtest::distinctPalette(9, 3);
    zv::GifEncoder encoder;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        std::vector<uint32_t> screen(stride * h, 0xFFFF00FFu);  // padding in magenta
        std::vector<uint8_t> rgb;
        std::vector<uint32_t> expected;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                Rgb c = colours[(x / 4 + y / 2 + round) % colours.size()];
                screen[y * stride + x] = 0x5A000000u | (zvtest::argb(c) & 0xFFFFFF);
                rgb.insert(rgb.end(), {c.r, c.g, c.b});
                expected.push_back(zvtest::argb(c));
            }
        const std::vector<uint8_t> gif = encoder.encodeXrgb(screen.data(), w, h, stride, 16);
        EXPECT_EQ(gif, GifImage::encodeRgb(rgb.data(), w, h, 16));
        GifImage image;
        image.loadFromBytes(gif.data(), gif.size());
        EXPECT_EQ(pixelsOf(image), expected);
    }
    std::vector<uint32_t> screen(stride * h);
    EXPECT_THROW(encoder.encodeXrgb(screen.data(), w, h, w - 1, 16), zv::Error);
    EXPECT_THROW(encoder.encodeXrgb(screen.data(), w, h, stride, 3), zv::Error);
}

TEST(GifImage, SaveToFileWritesTheGif) {
    zvtest::TempRoot root;
    std::vector<uint8_t> bytes = zvtest::makeGif(plainSpec(9, 9));
    GifImage image;
    image.loadFromBytes(bytes.data(), bytes.size());
    image.saveToFile(root.file("x.gif"));
    std::string stored = zvtest::readFile(root.file("x.gif"));
    GifImage again;
    again.loadFromBytes(stored.data(), stored.size());
    EXPECT_EQ(pixelsOf(again), pixelsOf(image));
    EXPECT_THROW(image.saveToFile(root.file("no/such/folder/x.gif")), zv::Error);
}

TEST(GifImage, IndicesPastThePaletteAreSavedAsTheyAreShown) {
    // Found by fuzzing: a 4 x 2 picture with a 2-colour global palette and an LZW code size of 8
    // whose pixels hold indices such as 97 and 220. The decoder shows such pixels black; saving
    // must not let the encoder mask them into palette colours.
    const char *hex =
        "474946383961040002008000000000003565c52c000000000400020000080c00010400104638370220"
        "008000000202003b";
    std::vector<uint8_t> bytes;
    for (const char *p = hex; *p; p += 2)
        bytes.push_back(static_cast<uint8_t>(std::strtoul(std::string(p, 2).c_str(), nullptr, 16)));
    ASSERT_EQ(bytes.size(), 49u);
    GifImage image;
    image.loadFromBytes(bytes.data(), bytes.size());
    const std::vector<uint32_t> shown = pixelsOf(image);
    ASSERT_EQ(shown.size(), 8u);
    EXPECT_NE(std::count(shown.begin(), shown.end(), 0xFF000000u), 0);

    std::vector<uint8_t> saved = image.saveToBytes();
    GifImage again;
    again.loadFromBytes(saved.data(), saved.size());
    EXPECT_EQ(pixelsOf(again), shown);

    // The same with a local palette, a transparent index past it, and on a reused image. The
    // encoder of the fixtures masks indices too, so the picture is written with 256 colours and
    // its palette then cut to 4, keeping the code size of 8.
    GifLayout layout;
    layout.screenWidth = 6;
    layout.screenHeight = 3;
    layout.pictures.push_back(zvtest::patternPicture(6, 3, 256));
    layout.pictures[0].localPalette = zvtest::distinctPalette(256, 2);
    layout.pictures[0].raster = {0, 1, 2, 3, 200, 17, 3, 2, 1, 0, 255, 4, 5, 6, 7, 8, 9, 200};
    layout.pictures[0].transparent = 200;
    bytes = zvtest::makeGif(layout);
    const size_t descriptor = 13 + 8;  // header, screen, graphics control block
    ASSERT_EQ(bytes[descriptor], 0x2C);
    bytes[descriptor + 9] = static_cast<uint8_t>((bytes[descriptor + 9] & ~0x07) | 0x01);
    bytes.erase(bytes.begin() + descriptor + 10 + 4 * 3, bytes.begin() + descriptor + 10 + 256 * 3);
    image.loadFromBytes(bytes.data(), bytes.size());
    EXPECT_EQ(image.pixels()[3], zvtest::argb(layout.pictures[0].localPalette[3]));
    EXPECT_EQ(image.pixels()[4], 0u);           // transparent
    EXPECT_EQ(image.pixels()[5], 0xFF000000u);  // past the palette
    saved = image.saveToBytes();
    again.loadFromBytes(saved.data(), saved.size());
    EXPECT_EQ(pixelsOf(again), pixelsOf(image));
}
