// The viewer's text search row on a real X server under a window manager: Ctrl+F, typing and
// Enter as the X server delivers them (xdotool), a hit chosen outlined on the picture until the
// next step, the background indexing of the open recording, and closing while it runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "platform/DateTimeText.h"
#include "support/Fakes.h"
#include "support/PixelText.h"
#include "support/TempRoot.h"
#include "support/TestWindows.h"
#include "support/WindowManagerEnvironment.h"
#include "viewer/ShowVideoUnit.h"
#include "viewer/TextRecordings.h"
#include "viewer/TextSearch.h"
#include "viewer/VideoPlayer.h"

namespace {

// Real input: xdotool activates the window through the window manager and sends through XTEST.
void xdotool(const QWidget &window, const QStringList &command) {
    QStringList arguments{QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                          QString::number(window.winId())};
    arguments += command;
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), arguments), 0) << "xdotool failed";
}
void keys(const QWidget &window, const QStringList &names) {
    xdotool(window, QStringList{QStringLiteral("key")} + names);
}

const auto *const kWindowManager =
    ::testing::AddGlobalTestEnvironment(new zvtest::WindowManagerEnvironment);

// A reader of pixel text that takes its time over each region.
class SlowReader : public zvtest::PixelTextReader {
public:
    std::vector<zv::TextLine> read(const zv::FramePixels &frame,
                                   const zv::TextBox &region) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        return PixelTextReader::read(frame, region);
    }
};

// Pure red pixels (the outline's colour, which the recording has none of) inside rect.
int redPixels(const QImage &image, const QRect &rect) {
    int n = 0;
    for (int y = std::max(rect.top(), 0); y <= std::min(rect.bottom(), image.height() - 1); ++y)
        for (int x = std::max(rect.left(), 0); x <= std::min(rect.right(), image.width() - 1); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == 0xFF0000;
    return n;
}

class ShowVideoTextTest : public ::testing::Test {
protected:
    std::unique_ptr<TShowVideoForm> openShown(int frames, zv::TextReaderFactory factory) {
        zvtest::appendTextFrames(file, 0, frames);
        auto form = std::make_unique<TShowVideoForm>(nullptr, clock);
        zv::TextIndexerOptions o;
        o.threads = 1;
        o.lowPriority = false;
        o.commitMs = 0;
        o.pollMs = 20;
        form->textSearch().setIndexerOptions(o);
        form->textSearch().setReaderFactory(std::move(factory));
        EXPECT_TRUE(form->OpenVideoFile(file));
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }
    static zv::TextReaderFactory pixelReader() {
        return [] { return std::make_unique<zvtest::PixelTextReader>(); };
    }

    void TearDown() override { zv::TextSearch::waitForRetiredRuns(); }  // before root goes

    zvtest::TempRoot root;
    zvtest::FakeClock clock;
    const std::string file = root.file("rec.zvf");
};

}  // namespace

TEST_F(ShowVideoTextTest, CtrlFFindsTheReceiptAndTheChosenHitIsOutlinedUntilAStep) {
    auto form = openShown(12, pixelReader());
    const int height = form->height();
    const QSize picture = form->pb->size();
    keys(*form, {QStringLiteral("ctrl+f")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->isFindRowShown(); }));
    // The window grew by the row: the picture and the controls above it keep their places.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->pb->size() == picture; }))
        << form->pb->height() << " " << picture.height() << " " << form->height() << " " << height;
    EXPECT_GT(form->height(), height);
    EXPECT_TRUE(form->edFindText->isVisible());
    EXPECT_TRUE(form->lvTextHits->isVisible());
    EXPECT_GE(form->pnFindText->y(), form->edGoTime->geometry().bottom());
    EXPECT_LE(form->pnFindText->geometry().bottom(), form->MainPanel->height());
    EXPECT_TRUE(form->edFindText->hasFocus());
    // The recording is indexed in the background while it is open.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return form->lbTextIndex->text() == QStringLiteral("Проиндексировано 12 из 12 кадров");
        },
        20000))
        << form->lbTextIndex->text().toStdString();

    xdotool(*form, {QStringLiteral("type"), QStringLiteral("10342")});
    keys(*form, {QStringLiteral("Return")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->lvTextHits->rowCount() == 1; }, 10000));
    EXPECT_EQ(form->lvTextHits->item(0, 0)->text(), zv::dateTimeText(zvtest::textFrameTime(5)));
    EXPECT_EQ(form->lvTextHits->item(0, 1)->text(), QStringLiteral("Чек № 10342"));
    EXPECT_TRUE(form->lbTextIndex->text().startsWith(QStringLiteral("Найдено: 1. ")));
    EXPECT_EQ(form->player().position(), 0);  // listing chooses nothing

    // Down goes on to the hits and chooses the first.
    keys(*form, {QStringLiteral("Down")});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->player().position() == zvtest::kReceiptFirst; }));
    EXPECT_EQ(form->outlinedFrame(), zvtest::kReceiptFirst);
    const double sx = double(form->pb->width()) / zvtest::kTextFrameWidth;
    const double sy = double(form->pb->height()) / zvtest::kTextFrameHeight;
    const zv::TextBox box = form->outlinedBox();
    const QRect around(int(box.x * sx) - 8, int(box.y * sy) - 8, int(box.width * sx) + 16,
                       int(box.height * sy) + 16);
    QImage shown = form->pb->grab().toImage();
    EXPECT_GT(redPixels(shown, around), 2 * int(box.width * sx));
    EXPECT_EQ(redPixels(shown, shown.rect()), redPixels(shown, around));

    // The next step clears it.
    keys(*form, {QStringLiteral("Right")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->player().position() == 6; }));
    EXPECT_EQ(form->outlinedFrame(), -1);
    shown = form->pb->grab().toImage();
    EXPECT_EQ(redPixels(shown, shown.rect()), 0);
    // Enter on the hit goes back to it.
    keys(*form, {QStringLiteral("Return")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->outlinedFrame() == zvtest::kReceiptFirst; }));
    EXPECT_EQ(form->player().position(), zvtest::kReceiptFirst);
    keys(*form, {QStringLiteral("Right")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->outlinedFrame() == -1; }));

    // Esc closes the row and gives the window its size back; the next Esc closes the window.
    keys(*form, {QStringLiteral("Escape")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->isFindRowShown(); }));
    EXPECT_TRUE(form->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->height() == height; }));
    EXPECT_EQ(form->pb->size(), picture);
    keys(*form, {QStringLiteral("Escape")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }));
}

TEST_F(ShowVideoTextTest, CtrlFAgainClosesTheRowAndNothingFoundSaysSo) {
    auto form = openShown(12, pixelReader());
    keys(*form, {QStringLiteral("ctrl+f")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->edFindText->hasFocus(); }));
    xdotool(*form, {QStringLiteral("type"), QStringLiteral("99999")});
    keys(*form, {QStringLiteral("Return")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->lbTextIndex->text().startsWith(QStringLiteral("Ничего не найдено")); },
        10000))
        << form->lbTextIndex->text().toStdString();
    EXPECT_EQ(form->lvTextHits->rowCount(), 0);
    // Space and the arrows belong to the text while it is typed, not to playback.
    keys(*form, {QStringLiteral("space"), QStringLiteral("Right"), QStringLiteral("7")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->edFindText->text() == "99999 7"; }))
        << form->edFindText->text().toStdString();
    EXPECT_FALSE(form->player().isPlaying());
    EXPECT_EQ(form->player().position(), 0);

    keys(*form, {QStringLiteral("ctrl+f")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->isFindRowShown(); }));
    EXPECT_FALSE(form->pnFindText->isVisible());
    EXPECT_FALSE(form->sbFindRow->isChecked());
    keys(*form, {QStringLiteral("Right")});  // the keys step through frames again
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->player().position() == 1; }));
    // The button beside the changes' buttons opens it too.
    QTest::mouseClick(form->sbFindRow, Qt::LeftButton);
    EXPECT_TRUE(form->isFindRowShown());
    EXPECT_TRUE(form->sbFindRow->isChecked());
    EXPECT_EQ(form->edFindText->text(), QStringLiteral("99999 7"));  // as it was left

    // Another file: the row forgets the hits and the index of the one before.
    ASSERT_TRUE(form->lbTextIndex->text().startsWith(QStringLiteral("Ничего не найдено")));
    const std::string other = root.file("other.zvf");
    zvtest::appendTextFrames(other, 0, 3);
    form->setFileChooser([&] { return std::optional<QString>(QString::fromStdString(other)); });
    form->sbOpenClick();
    EXPECT_FALSE(form->lbTextIndex->text().contains(QStringLiteral("найдено")));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return form->lbTextIndex->text() == QStringLiteral("Проиндексировано 3 из 3 кадров");
        },
        20000))
        << form->lbTextIndex->text().toStdString();
}

TEST_F(ShowVideoTextTest, CtrlFInFullWindowModeBringsThePanelBackWithTheRow) {
    auto form = openShown(12, pixelReader());
    form->pbDblClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->geometry() == form->screen()->geometry(); }));
    keys(*form, {QStringLiteral("ctrl+f")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->isFindRowShown(); }));
    EXPECT_FALSE(form->isFullWindow());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->edFindText->isVisible(); }));
}

TEST_F(ShowVideoTextTest, ClosingTheWindowWhileIndexingReturnsPromptly) {
    auto form = openShown(120, [] { return std::make_unique<SlowReader>(); });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->textSearch().status().coverage.indexedFrames > 20; }, 20000));
    QElapsedTimer closing;
    closing.start();
    keys(*form, {QStringLiteral("Escape")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }));
    EXPECT_LT(closing.elapsed(), 3000);  // the indexing is not waited for
    EXPECT_EQ(form->textSearch().status().mode, zv::TextIndexStatus::Mode::Idle);
    // Opened again, the file's index goes on from where the run let go stopped.
    ASSERT_TRUE(form->OpenVideoFile(file));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const zv::TextIndexStatus &s = form->textSearch().status();
            return s.mode == zv::TextIndexStatus::Mode::Indexing && s.coverage.indexedFrames > 20;
        },
        20000));
}
