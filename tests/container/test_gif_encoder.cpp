// The GIF encoder against the screens it encodes: exact storage where the palette holds every
// colour, black, white and the dominant colours kept, PSNR floors on operator screens, the same
// bytes for the same screen, LZW that giflib (and ImageMagick, where installed) decode, and the
// plain-picture check of the picture export.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <random>

#include "container/GifFixtures.h"
#include "container/GifImage.h"
#include "support/OperatorScreens.h"
#include "support/TempRoot.h"

namespace {

std::vector<uint32_t> decodedPixels(const std::vector<uint8_t> &gif, int w, int h) {
    zv::GifImage image;
    image.loadFromBytes(gif.data(), gif.size());
    EXPECT_EQ(image.width(), w);
    EXPECT_EQ(image.height(), h);
    std::vector<uint32_t> out(image.pixels(), image.pixels() + static_cast<size_t>(w) * h);
    for (uint32_t &p : out)
        p &= 0xFFFFFF;
    return out;
}

std::vector<uint8_t> encode(const std::vector<uint32_t> &screen, int w, int h, int colours) {
    zv::GifEncoder encoder;
    return encoder.encodeXrgb(screen.data(), w, h, static_cast<size_t>(w), colours);
}

// count colours, all different, some a single step apart (which a 5-bit grid would merge).
std::vector<uint32_t> distinctColours(int count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint32_t> colours;
    for (int i = 0; static_cast<int>(colours.size()) < count; ++i) {
        const uint32_t c = i % 3 == 1 ? (colours.back() + 1) & 0xFFFFFF : random() & 0xFFFFFF;
        if (std::find(colours.begin(), colours.end(), c) == colours.end())
            colours.push_back(c);
    }
    return colours;
}

std::vector<uint32_t> pixelsOf(const QImage &image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    std::vector<uint32_t> out;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const uint32_t *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            out.push_back(line[x] & 0xFFFFFF);
    }
    return out;
}

}  // namespace

TEST(GifEncoder, StoresAScreenWithNoMoreColoursThanThePaletteExactly) {
    // Runs of random length and noise, from every colour count that makes another code size
    // (1 colour: 2 bits; 3: 2 bits; 5: 3 bits ... 256: 8 bits), and a picture large enough for
    // the LZW table to fill and start over many times.
    const int w = 301, h = 211;
    for (int count : {1, 2, 3, 5, 9, 16, 17, 33, 100, 255, 256}) {
        SCOPED_TRACE(count);
        const std::vector<uint32_t> colours = distinctColours(count, 7u + count);
        std::mt19937 random(static_cast<uint32_t>(count));
        std::vector<uint32_t> screen;
        while (screen.size() < static_cast<size_t>(w) * h) {
            const uint32_t c = colours[random() % colours.size()];
            screen.insert(screen.end(), random() % 3 == 0 ? random() % 40 + 1 : 1, c);
        }
        screen.resize(static_cast<size_t>(w) * h);
        for (int palette : {16, 256}) {
            if (count > palette)
                continue;
            EXPECT_EQ(decodedPixels(encode(screen, w, h, palette), w, h), screen) << palette;
        }
    }
}

TEST(GifEncoder, KeepsBlackWhiteAndTheColoursCoveringTheScreen) {
    // A photo with a desktop colour beside it, a navy bar over it, white paper with black text:
    // thousands of colours, so the palette must be chosen.
    const int w = 480, h = 320;
    const QImage photo = zvtest::photoPicture(w / 2, h);
    std::vector<uint32_t> screen(static_cast<size_t>(w) * h);
    const uint32_t desktop = 0x3A6EA5, navy = 0x0A246A, white = 0xFFFFFF, black = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t &p = screen[static_cast<size_t>(y) * w + x];
            if (y < 20)
                p = navy;
            else if (x < w / 2)
                p = reinterpret_cast<const uint32_t *>(photo.constScanLine(y))[x] & 0xFFFFFF;
            else if (y < h / 2)
                p = desktop;
            else
                p = (x / 3 + y / 5) % 7 == 0 ? black : white;
        }
    for (int colours : {16, 256}) {
        SCOPED_TRACE(colours);
        const std::vector<uint32_t> shown = decodedPixels(encode(screen, w, h, colours), w, h);
        size_t kept = 0, checked = 0;
        for (size_t i = 0; i < screen.size(); ++i) {
            const uint32_t p = screen[i];
            if (p == desktop || p == navy || p == white || p == black) {
                ++checked;
                kept += shown[i] == p;
            }
        }
        EXPECT_EQ(kept, checked);
    }
}

TEST(GifEncoder, KeepsTheFlatColoursThatComeAfterTensOfThousandsOfOthers) {
    // Every pixel of the top half another colour (66,600 of them: more than the quantiser
    // numbers one by one), then a desktop, a navy bar and black on white, which must still be
    // kept exactly; rows not a multiple of 64 pixels long, and the same bytes every time.
    const int w = 333, h = 400;
    std::vector<uint32_t> screen(static_cast<size_t>(w) * h);
    const uint32_t desktop = 0x3A6EA5, navy = 0x0A246A, white = 0xFFFFFF, black = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            if (y < h / 2)
                screen[i] = static_cast<uint32_t>(i * 0x9E3779u) & 0xFFFFFF;
            else if (x < w / 2)
                screen[i] = desktop;
            else if (y < h / 2 + 20)
                screen[i] = navy;
            else
                screen[i] = (x / 3 + y / 5) % 7 == 0 ? black : white;
        }
    for (int colours : {16, 256}) {
        SCOPED_TRACE(colours);
        const std::vector<uint8_t> gif = encode(screen, w, h, colours);
        EXPECT_EQ(encode(screen, w, h, colours), gif);
        const std::vector<uint32_t> shown = decodedPixels(gif, w, h);
        for (size_t i = static_cast<size_t>(w) * (h / 2); i < screen.size(); ++i)
            ASSERT_EQ(shown[i], screen[i]) << "pixel " << i;
    }
}

TEST(GifEncoder, OperatorScreensMeetTheirPsnrFloors) {
    struct Floor {
        const char *screen;
        int colours;
        double db;
    };
    const int w = 960, h = 540;
    for (const Floor &f : {Floor{"busy", 256, 38.5}, Floor{"busy", 16, 26.5},
                           Floor{"flat", 16, 30.0}, Floor{"flat", 256, 40.0}}) {
        const QImage image = zvtest::operatorScreen(f.screen, w, h);
        const std::vector<uint32_t> screen = pixelsOf(image);
        const std::vector<uint32_t> shown = decodedPixels(encode(screen, w, h, f.colours), w, h);
        const double db = zvtest::psnr(screen.data(), shown.data(), screen.size());
        EXPECT_GE(db, f.db) << f.screen << " at " << f.colours << " colours: " << db << " dB";
        RecordProperty(std::string(f.screen) + "_" + std::to_string(f.colours) + "_psnr",
                       std::to_string(db));
    }
}

TEST(GifEncoder, TheSameScreenGivesTheSameBytes) {
    const int w = 640, h = 400;
    const std::vector<uint32_t> busy = pixelsOf(zvtest::operatorScreen("busy", w, h));
    const std::vector<uint32_t> other = pixelsOf(zvtest::operatorScreen("gradients", w, h));
    for (int colours : {16, 256}) {
        SCOPED_TRACE(colours);
        zv::GifEncoder fresh, used;
        const std::vector<uint8_t> first = fresh.encodeXrgb(busy.data(), w, h, w, colours);
        used.encodeXrgb(other.data(), w, h, w, colours);
        EXPECT_EQ(used.encodeXrgb(busy.data(), w, h, w, colours), first);
        std::vector<uint8_t> rgb;
        for (uint32_t p : busy)
            rgb.insert(rgb.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                                   static_cast<uint8_t>(p)});
        EXPECT_EQ(zv::GifImage::encodeRgb(rgb.data(), w, h, colours), first);
    }
}

TEST(GifEncoder, ImageMagickReadsTheSamePixels) {
    const QString convert = QStandardPaths::findExecutable("convert");
    if (convert.isEmpty())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    zvtest::TempRoot root;
    const int w = 400, h = 300;
    const std::vector<uint32_t> busy = pixelsOf(zvtest::operatorScreen("busy", w, h));
    for (int colours : {16, 256}) {
        SCOPED_TRACE(colours);
        const std::vector<uint8_t> gif = encode(busy, w, h, colours);
        const std::string file = root.file("frame.gif");
        zv::writeGifFile(file, gif.data(), gif.size());
        QProcess process;
        process.start(convert, {QString::fromStdString(file), "-depth", "8", "rgb:-"});
        ASSERT_TRUE(process.waitForFinished(60'000));
        const QByteArray rgb = process.readAllStandardOutput();
        ASSERT_EQ(rgb.size(), w * h * 3) << process.readAllStandardError().toStdString();
        const std::vector<uint32_t> ours = decodedPixels(gif, w, h);
        size_t same = 0;
        for (size_t i = 0; i < ours.size(); ++i) {
            const auto *p = reinterpret_cast<const uint8_t *>(rgb.constData()) + 3 * i;
            same += ours[i] == ((uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]);
        }
        EXPECT_EQ(same, ours.size());
    }
}

TEST(GifEncoder, ItsPicturesArePlainAndOthersAreNot) {
    std::vector<uint32_t> screen(64 * 48, 0x102030);
    const std::vector<uint8_t> ours = encode(screen, 64, 48, 16);
    EXPECT_TRUE(zv::isPlainGif(ours.data(), ours.size()));
    // Cut short, or with something after the trailer: not plain.
    EXPECT_FALSE(zv::isPlainGif(ours.data(), ours.size() - 1));
    std::vector<uint8_t> longer = ours;
    longer.push_back(0);
    EXPECT_FALSE(zv::isPlainGif(longer.data(), longer.size()));
    EXPECT_FALSE(zv::isPlainGif(nullptr, 0));

    zvtest::GifLayout layout;
    layout.screenWidth = 16;
    layout.screenHeight = 12;
    layout.globalPalette = zvtest::distinctPalette(16);
    layout.pictures.push_back(zvtest::patternPicture(16, 12, 16));
    const std::vector<uint8_t> plain = zvtest::makeGif(layout);
    EXPECT_TRUE(zv::isPlainGif(plain.data(), plain.size()));
    struct Variant {
        const char *what;
        void (*change)(zvtest::GifLayout &);
    };
    for (const Variant &v : {
             Variant{"interlaced", [](zvtest::GifLayout &l) { l.pictures[0].interlaced = true; }},
             Variant{"transparent", [](zvtest::GifLayout &l) { l.pictures[0].transparent = 3; }},
             Variant{"two pictures",
                     [](zvtest::GifLayout &l) { l.pictures.push_back(l.pictures[0]); }},
             Variant{"outside the screen", [](zvtest::GifLayout &l) { l.pictures[0].left = 4; }},
         }) {
        zvtest::GifLayout changed = layout;
        v.change(changed);
        const std::vector<uint8_t> bytes = zvtest::makeGif(changed);
        EXPECT_FALSE(zv::isPlainGif(bytes.data(), bytes.size())) << v.what;
    }
}
