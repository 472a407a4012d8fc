// Changed regions of frames and the Tesseract reader on rendered operator screens.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <atomic>

#include "container/TesseractReader.h"
#include "container/TextImage.h"
#include "container/TextReading.h"
#include "recorder/SampleRecording.h"
#include "support/ErrorOf.h"
#include "support/TextScreens.h"

namespace {

using zv::TextBox;

struct Frame {
    std::vector<uint32_t> pixels;
    int width, height;
    Frame(int w, int h, uint32_t fill = 0xFFF0F0F0)
        : pixels(size_t(w) * h, fill), width(w), height(h) {}
    uint32_t &at(int x, int y) { return pixels[size_t(y) * width + x]; }
    zv::FramePixels view() const { return {pixels.data(), width, height}; }
    // Glyph-like marks: vertical strokes 1 px wide, 2 px apart, rows y .. y + 10.
    void strokes(int x0, int x1, int y, uint32_t colour = 0xFF000000) {
        for (int x = x0; x < x1; x += 3)
            for (int dy = 0; dy < 10; ++dy)
                at(x, y + dy) = colour;
    }
};

bool inside(const TextBox &inner, const TextBox &outer) {
    return inner.x >= outer.x && inner.y >= outer.y &&
           inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

TEST(ChangedRegions, EqualFramesNoneAndWithoutAComparableFrameTheWholeFrame) {
    Frame a(64, 48), b(64, 48), other(48, 64);
    a.strokes(10, 40, 10);
    b.strokes(10, 40, 10);
    const auto av = a.view(), bv = b.view(), ov = other.view();
    EXPECT_TRUE(zv::changedRegions(&av, bv).empty());
    EXPECT_EQ(zv::changedRegions(nullptr, bv), (std::vector<TextBox>{{0, 0, 64, 48}}));
    EXPECT_EQ(zv::changedRegions(&ov, bv), (std::vector<TextBox>{{0, 0, 64, 48}}));
    EXPECT_TRUE(zv::changedRegions(&av, zv::FramePixels{nullptr, 0, 0}).empty());
}

TEST(ChangedRegions, OnePixelGivesASmallGrownBoxClippedAtTheEdges) {
    Frame a(1920, 1080), b(1920, 1080);
    b.at(0, 5) = 0xFF000000;
    const auto av = a.view(), bv = b.view();
    EXPECT_EQ(zv::changedRegions(&av, bv), (std::vector<TextBox>{{0, 2, 4, 7}}));
    b.at(0, 5) = a.at(0, 5);
    b.at(1919, 1079) = 0xFF000000;
    EXPECT_EQ(zv::changedRegions(&av, b.view()), (std::vector<TextBox>{{1916, 1076, 4, 4}}));
}

// Another palette between two frames maps the half-tones of glyph edges to neighbouring colours
// all over the screen: that is no change to read, a stroke of ink is.
TEST(ChangedRegions, ColoursThatMovedALittleAreNoChangeInkIs) {
    Frame a(640, 480), b(640, 480);
    a.strokes(100, 160, 200, 0xFF808080);
    b.strokes(100, 160, 200, 0xFF9A7A88);  // each channel within a few dozen levels
    for (int x = 300; x < 640; x += 7)
        a.at(x, 50) = 0xFFC8C8C8, b.at(x, 50) = 0xFFD2CCC4;
    const auto av = a.view(), bv = b.view();
    EXPECT_TRUE(zv::changedRegions(&av, bv).empty());
    b.at(400, 300) = 0xFF303030;
    EXPECT_EQ(zv::changedRegions(&av, b.view()), (std::vector<TextBox>{{397, 297, 7, 7}}));
}

TEST(ChangedRegions, FarChangesApartAndNearOnesMerged) {
    Frame a(800, 600), b(800, 600);
    b.at(100, 100) = b.at(700, 500) = 0xFF000000;  // far apart
    b.at(400, 300) = b.at(405, 303) = 0xFF000000;  // 5 px apart: one region
    b.at(431, 300) = 0xFF000000;                   // in the next tile, 26 px on: its own
    const auto av = a.view(), bv = b.view();
    const auto regions = zv::changedRegions(&av, bv);
    ASSERT_EQ(regions.size(), 4u);
    EXPECT_EQ(regions[0], (TextBox{97, 97, 7, 7}));
    EXPECT_EQ(regions[1], (TextBox{397, 297, 12, 10}));
    EXPECT_EQ(regions[2], (TextBox{428, 297, 7, 7}));
    EXPECT_EQ(regions[3], (TextBox{697, 497, 7, 7}));
}

TEST(ChangedRegions, AChangeInsideAWordTakesTheWholeWordButNotTheNextColumn) {
    Frame a(800, 100);
    a.strokes(100, 160, 40);  // a "number"
    a.strokes(166, 190, 40);  // the next group of its digits, a blank of 6 px on
    a.strokes(240, 300, 40);  // another column of the table, 50 px on
    Frame b = a;
    b.at(130, 45) = 0xFFF0F0F0;  // one stroke of one digit changes
    const auto av = a.view(), bv = b.view();
    const auto regions = zv::changedRegions(&av, bv);
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_TRUE(inside({100, 40, 88, 10}, regions[0])) << regions[0].x << " " << regions[0].width;
    EXPECT_LT(regions[0].x + regions[0].width, 240);
}

TEST(ChangedRegions, ADialogThatAppearsIsOneRegion) {
    const QString font = zvtest::textScreenFonts().at(0);
    const auto screen = zvtest::textScreen(font, 13, false, 1);
    QImage before = screen.image.copy();
    QPainter(&before).fillRect(screen.dialog, QColor(236, 233, 216));
    const zv::FramePixels a{reinterpret_cast<const uint32_t *>(before.constBits()), before.width(),
                            before.height()};
    const zv::FramePixels b{reinterpret_cast<const uint32_t *>(screen.image.constBits()),
                            screen.image.width(), screen.image.height()};
    const auto regions = zv::changedRegions(&a, b);
    ASSERT_EQ(regions.size(), 1u);
    const QRect d = screen.dialog;
    EXPECT_TRUE(inside({d.x(), d.y(), d.width(), d.height()}, regions[0]));
    EXPECT_LE(regions[0].width, d.width() + 8);
}

TEST(TextImage, ALightOnDarkBarAndADarkOnLightFormBothComeOutDarkOnWhite) {
    zv::GreyImage image;
    image.width = 120, image.height = 40;
    image.data.assign(120 * 40, 30);  // a dark bar over rows 0 .. 15
    for (int y = 16; y < 40; ++y)
        for (int x = 0; x < 120; ++x)
            image.at(x, y) = 220;  // a light form below it
    for (int x = 10; x < 60; x += 3)
        for (int y = 4; y < 12; ++y)
            image.at(x, y) = 200;  // light "glyphs" in the bar
    for (int x = 10; x < 60; x += 3)
        for (int y = 24; y < 32; ++y)
            image.at(x, y) = 20;  // dark ones in the form, the first as high as the line ("I")
    const auto blocks = zv::prepareBlocks(image, {});
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], (TextBox{10, 4, 49, 8}));
    EXPECT_EQ(blocks[1], (TextBox{10, 24, 49, 8}));
    for (int y : {5, 25}) {
        EXPECT_LT(image.at(10, y), 40) << y;   // ink, the stroke at the block's edge kept
        EXPECT_LT(image.at(13, y), 40) << y;   // ink
        EXPECT_GT(image.at(11, y), 215) << y;  // background between strokes
        EXPECT_EQ(image.at(90, y), 255) << y;  // the gap beside the block
    }
    EXPECT_EQ(image.at(5, 0), 255);
    EXPECT_EQ(image.at(5, 20), 255);
}

std::string readAll(zv::TextReader &reader, const QImage &image, const TextBox &box) {
    const zv::FramePixels frame{reinterpret_cast<const uint32_t *>(image.constBits()),
                                image.width(), image.height()};
    std::string all;
    for (const zv::TextLine &line : reader.read(frame, box)) {
        EXPECT_TRUE(inside(line.box, box)) << line.text;
        EXPECT_GE(line.confidence, 0.0f);
        EXPECT_LE(line.confidence, 100.0f);
        all += line.text + "\n";
    }
    return all;
}

TEST(TesseractReader, ReadsAReceiptNumberAnAmountAndACyrillicNameFromADialog) {
    auto reader = zv::makeTesseractReader();
    for (bool dark : {false, true}) {
        const QString font = zvtest::textScreenFonts().at(0);
        const auto screen = zvtest::textScreen(font, 13, dark, 2);
        const QRect d = screen.dialog;
        const QString text = zvtest::normalisedText(QString::fromStdString(
            readAll(*reader, screen.image, {d.x(), d.y(), d.width(), d.height()})));
        EXPECT_TRUE(zvtest::containsTerm(text, screen.receipt)) << text.toStdString();
        EXPECT_TRUE(zvtest::containsTerm(text, screen.amount)) << text.toStdString();
        EXPECT_TRUE(zvtest::containsTerm(text, screen.name)) << text.toStdString();
    }
}

// A file's first frame is read whole: a screen whose title bar, menu, panels and table frames run
// through every row and column, so it cannot be cut into blocks of one background. Read as one
// block of one polarity, its dark-on-light words came out inverted and were read as Latin
// look-alikes ("Cymma" for "Сумма"); the engine must judge its lines itself.
TEST(TesseractReader, AWholeOperatorScreenReadsItsCyrillicWords) {
    const QImage screen = renderSampleScreen(1280, 1024, 46'000.5, 0);
    auto reader = zv::makeTesseractReader();
    const QString text = zvtest::normalisedText(
        QString::fromStdString(readAll(*reader, screen, {0, 0, screen.width(), screen.height()})));
    for (const char *word : {"смена", "продажи", "сумма", "оплата", "наличные", "10002"})
        EXPECT_TRUE(zvtest::containsTerm(text, QString::fromUtf8(word)))
            << word << " in " << text.toStdString();
}

// A stopped run must not wait seconds for a whole screen to be read: a set flag makes the read
// give up with an error (nothing half read comes back), a cleared one lets it read again.
TEST(TesseractReader, ASetCancelFlagGivesUpTheReadAndAClearedOneReadsAgain) {
    auto reader = zv::makeTesseractReader();
    const auto screen = zvtest::textScreen(zvtest::textScreenFonts().at(0), 13, false, 2);
    const QRect d = screen.dialog;
    std::atomic<bool> cancel{true};
    reader->setCancel(&cancel);
    const std::string error = zvtest::errorOf(
        [&] { readAll(*reader, screen.image, {d.x(), d.y(), d.width(), d.height()}); });
    EXPECT_NE(error.find("прервано"), std::string::npos) << error;
    cancel = false;
    const QString text = zvtest::normalisedText(QString::fromStdString(
        readAll(*reader, screen.image, {d.x(), d.y(), d.width(), d.height()})));
    EXPECT_TRUE(zvtest::containsTerm(text, screen.receipt)) << text.toStdString();
}

TEST(TesseractReader, ADigitThatChangesInAnAmountReadsTheWholeAmount) {
    auto draw = [](const QString &amount) {
        QImage image(400, 60, QImage::Format_RGB32);
        image.fill(QColor(236, 233, 216));
        QPainter p(&image);
        QFont font(zvtest::textScreenFonts().at(0));
        font.setPixelSize(13);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QRect(10, 20, 380, 20), Qt::AlignVCenter, "Сумма: " + amount + " руб.");
        return image;
    };
    const QChar nbsp(0x00A0);  // the group separator of Russian amounts
    const QImage before = draw(QString("2") + nbsp + "486,00");
    const QImage after = draw(QString("2") + nbsp + "487,00");
    const zv::FramePixels a{reinterpret_cast<const uint32_t *>(before.constBits()), 400, 60};
    const zv::FramePixels b{reinterpret_cast<const uint32_t *>(after.constBits()), 400, 60};
    const auto regions = zv::changedRegions(&a, b);
    ASSERT_EQ(regions.size(), 1u);
    auto reader = zv::makeTesseractReader();
    const QString text =
        zvtest::normalisedText(QString::fromStdString(readAll(*reader, after, regions[0])));
    EXPECT_TRUE(text.contains("2487,00")) << text.toStdString();
}

TEST(TesseractReader, MissingLanguageDataIsAnErrorAndARegionOutsideTheFrameReadsNothing) {
    zv::TesseractSettings settings;
    settings.dataPath = "/nonexistent/tessdata";
    const std::string error = zvtest::errorOf([&] { zv::makeTesseractReader(settings); });
    EXPECT_NE(error.find("tesseract-ocr-rus"), std::string::npos) << error;
    EXPECT_NE(error.find("/nonexistent/tessdata"), std::string::npos) << error;

    auto reader = zv::makeTesseractReader();
    Frame f(100, 50);
    EXPECT_TRUE(reader->read(f.view(), {200, 10, 50, 20}).empty());
    EXPECT_TRUE(reader->read(f.view(), {10, 10, 0, 20}).empty());
    EXPECT_TRUE(reader->read(f.view(), {0, 0, 100, 50}).empty());  // a plain picture: no text
}

}  // namespace
