// zvf index and zvf search as processes, with the real reader over rendered operator screens.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstring>
#include <filesystem>

#include "container/GifImage.h"
#include "container/ZVFAppender.h"
#include "platform/DateTime.h"
#include "support/TempRoot.h"
#include "support/TextScreens.h"
#include "support/ToolProcess.h"

namespace {

zvtest::ToolOutcome zvf(const QStringList &args) {
    return zvtest::runTool(QStringLiteral(ZVF_TOOL), args);
}

bool haveLanguageData() {
    for (const char *folder :
         {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata"})
        if (std::filesystem::exists(std::string(folder) + "/rus.traineddata") &&
            std::filesystem::exists(std::string(folder) + "/eng.traineddata"))
            return true;
    return false;
}

std::vector<uint8_t> gifOf(const QImage &image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<uint8_t> bytes(static_cast<size_t>(rgb.width() * rgb.height() * 3));
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(&bytes[static_cast<size_t>(y * rgb.width() * 3)], rgb.constScanLine(y),
                    static_cast<size_t>(rgb.width() * 3));
    return zv::GifImage::encodeRgb(bytes.data(), rgb.width(), rgb.height(), 256);
}

}  // namespace

TEST(ZvfTextTool, IndexesARecordingAndFindsTheDialogWhereItStood) {
    if (!haveLanguageData())
        GTEST_SKIP() << "tesseract-ocr-rus or tesseract-ocr-eng is not installed";
    zvtest::TempRoot root;
    const std::string file = root.file("rec.zvf");
    const QString name = QString::fromStdString(file);

    // Frames 0 .. 2 without the dialog, 3 .. 5 with it, 6 .. 7 without it again.
    const zvtest::TextScreen screen = zvtest::textScreen("DejaVu Sans", 14, false, 3, 1280, 720);
    QImage without = screen.image;
    {
        QPainter p(&without);
        p.fillRect(screen.dialog.adjusted(-2, -2, 2, 2),
                   QColor::fromRgb(screen.image.pixel(screen.dialog.right() + 5, 5)));
    }
    {
        ZVFAppender out(file);
        const std::vector<uint8_t> a = gifOf(without), b = gifOf(screen.image);
        for (int i = 0; i < 8; ++i) {
            const std::vector<uint8_t> &gif = i >= 3 && i <= 5 ? b : a;
            out.append(gif.data(), gif.size(), 46'000.5 + i / 86'400.0);
        }
    }

    zvtest::ToolOutcome none = zvf({"search", name, screen.receipt});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("не проиндексирована"), std::string::npos) << none.err;

    zvtest::ToolOutcome indexed = zvf({"index", name, "--threads", "1"});
    ASSERT_EQ(indexed.status, 0) << indexed.err;
    EXPECT_EQ(indexed.out, "кадров проиндексировано: 8 из 8\n");
    EXPECT_EQ(indexed.err.find("кадров проиндексировано"), std::string::npos)
        << "a progress line without a terminal: " << indexed.err;

    // Receipt number, the amount without its group blanks, the operator's name in capitals.
    QString amount = screen.amount;
    amount.remove(QChar(0xA0));
    for (const QString &query : {screen.receipt, amount, screen.name.toUpper()}) {
        zvtest::ToolOutcome found = zvf({"search", name, query});
        ASSERT_EQ(found.status, 0) << query.toStdString() << "\n" << found.err;
        EXPECT_EQ(found.err, "");
        // One place: first frame, its date-time, the frame it left at, the line read.
        const QStringList fields = QString::fromStdString(found.out).split('\t');
        ASSERT_EQ(fields.size(), 4) << found.out;
        EXPECT_EQ(fields[0], "3");
        EXPECT_EQ(fields[1].toStdString(), zv::formatDateTimeIso(46'000.5 + 3 / 86'400.0));
        EXPECT_EQ(fields[2], "6") << found.out;
        EXPECT_TRUE(fields[3].endsWith('\n'));
    }
    EXPECT_EQ(zvf({"search", name, "НетТакогоТекста"}).status, 1);
    EXPECT_EQ(zvf({"search", name}).status, 2);
    EXPECT_EQ(zvf({"index", name, "--threads", "0"}).status, 2);
}
