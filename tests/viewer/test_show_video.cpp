#include "viewer/ShowVideoUnit.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QBackingStore>
#include <QDate>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "container/GifFixtures.h"
#include "container/ZVFAppender.h"
#include "container/ZVFformatUnit.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/DateTimeText.h"
#include "platform/File.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "support/Fakes.h"
#include "support/TempRoot.h"
#include "viewer/FrameListModel.h"
#include "viewer/Recordings.h"
#include "viewer/VideoPlayer.h"

namespace {

const std::string kPrefix = "Ошибка получения данных из файла видео:\r";

using zvtest::frameColour;
using zvtest::frameTime;
using zvtest::makeRecording;
using zvtest::plainGif;

class ShowVideoTest : public ::testing::Test {
protected:
    ShowVideoTest()
        : recorder_(
              [this](const std::string &text, zv::MessageKind) { messages.push_back(text); }) {}

    // Opens file in a shown (not modal) window of the fake clock.
    std::unique_ptr<TShowVideoForm> openShown(const std::string &file) {
        auto form = std::make_unique<TShowVideoForm>(nullptr, clock);
        EXPECT_TRUE(form->OpenVideoFile(file));
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }

    // The colour in the middle of the painted picture; painting the box runs the paint handler.
    static QColor paintedColour(TShowVideoForm &form) {
        const QImage image = form.pb->grab().toImage();
        return image.pixelColor(image.width() / 2, image.height() / 2);
    }
    static QColor colourOf(int k) {
        const zvtest::Rgb c = frameColour(k);
        return QColor(c.r, c.g, c.b);
    }

    zvtest::TempRoot root;
    zvtest::FakeClock clock;
    std::vector<std::string> messages;
    const std::string file = "C:\\VELD\\ZORVIDEO\\Test.zvf";

private:
    zv::ScopedMessageHandler recorder_;
};

// ---- Opening ---------------------------------------------------------------------------------

TEST_F(ShowVideoTest, OpeningShowsTheFileAndPaintsFrameZero) {
    makeRecording(file, 250);
    auto form = openShown(file);

    EXPECT_EQ(form->windowTitle().toStdString(), "Просмотр видеофайла: " + file);
    EXPECT_EQ(form->lbFrameCount->text(), "250");
    TZVFFormat reader(file);
    EXPECT_EQ(form->lbSIzevideo->text(), QString::number(reader.FileSize()));
    EXPECT_EQ(form->RxSlider1->minimum(), 0);
    EXPECT_EQ(form->RxSlider1->maximum(), 249);
    EXPECT_EQ(form->RxSlider1->value(), 0);
    EXPECT_TRUE(form->RxSlider1->isEnabled());

    EXPECT_EQ(paintedColour(*form), colourOf(0));
    TZVFFrameEntry entry;
    reader.ReadFrameEntry(0, entry);
    EXPECT_EQ(form->lbFRNum->text(), "1/250");
    EXPECT_EQ(form->LbFrSize->text(), QString::number(entry.Size));
    EXPECT_EQ(form->lbFrData->text(), zv::dateTimeText(frameTime(0)));
    EXPECT_TRUE(messages.empty());
}

TEST_F(ShowVideoTest, SliderEnabledOnlyForMoreThanOneFrame) {
    makeRecording(file, 1);
    auto form = openShown(file);
    EXPECT_EQ(form->RxSlider1->maximum(), 0);
    EXPECT_FALSE(form->RxSlider1->isEnabled());
    EXPECT_EQ(paintedColour(*form), colourOf(0));
    EXPECT_EQ(form->lbFRNum->text(), "1/1");
}

TEST_F(ShowVideoTest, MissingFileShowsNothing) {
    TShowVideoForm form(nullptr, clock);
    EXPECT_FALSE(form.OpenVideoFile(file));
    form.ShowVideoFile(file);  // returns at once: no modal loop
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.videoFile(), nullptr);
    EXPECT_FALSE(zv::fileExists(file));
    EXPECT_TRUE(messages.empty());
}

TEST_F(ShowVideoTest, FileWithoutFramesReadsNoFrame) {
    // Count 0, but entry slot 0 points far past the file: any read of frame 0 would complain.
    makeRecording(file, 0);
    {
        zv::UniqueFd fd = zv::openFile(zv::nativePath(file), O_RDWR | O_CREAT);
        const int32_t count = 0;
        const int64_t offset = int64_t{1} << 40;
        const int32_t size = 1000;
        zv::writeAt(fd.get(), &count, 4, 0);
        zv::writeAt(fd.get(), &offset, 8, 2000);
        zv::writeAt(fd.get(), &size, 4, 2008);
    }
    auto form = openShown(file);
    EXPECT_EQ(form->lbFrameCount->text(), "0");
    EXPECT_EQ(form->lbFRNum->text(), "0/0");
    EXPECT_FALSE(form->RxSlider1->isEnabled());
    EXPECT_EQ(paintedColour(*form), form->palette().window().color());
    QTest::keyClick(form.get(), Qt::Key_Right);
    form->sbPlay3x->click();
    form->Timer1Timer();
    EXPECT_FALSE(form->Timer1->isActive());
    form->sbFrames->click();
    EXPECT_EQ(form->frameList().rowCount(), 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(messages.empty());
}

// ---- Keys ------------------------------------------------------------------------------------

TEST_F(ShowVideoTest, StepKeysClampAtTheEnds) {
    makeRecording(file, 30);
    auto form = openShown(file);
    QTest::keyClick(form.get(), Qt::Key_Left);
    EXPECT_EQ(form->RxSlider1->value(), 0);
    QTest::keyClick(form.get(), Qt::Key_Right);
    EXPECT_EQ(form->RxSlider1->value(), 1);
    EXPECT_EQ(form->lbFRNum->text(), "2/30");
    EXPECT_EQ(paintedColour(*form), colourOf(1));

    form->RxSlider1->setValue(24);
    QTest::keyClick(form.get(), Qt::Key_PageDown);
    EXPECT_EQ(form->RxSlider1->value(), 29);
    EXPECT_EQ(form->lbFRNum->text(), "30/30");

    form->RxSlider1->setValue(4);
    QTest::keyClick(form.get(), Qt::Key_PageUp);
    EXPECT_EQ(form->RxSlider1->value(), 0);

    // The keys act wherever the focus is, also in the frame list.
    form->sbFrames->click();
    form->lvFrames->setFocus();
    QTest::keyClick(form->lvFrames, Qt::Key_PageDown);
    EXPECT_EQ(form->RxSlider1->value(), 10);
}

TEST_F(ShowVideoTest, SpaceAndPlusMinusDriveTheTimerOnly) {
    makeRecording(file, 5);
    auto form = openShown(file);
    EXPECT_EQ(form->Timer1->interval(), 1000);
    QTest::keyClick(form.get(), Qt::Key_Space);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 1000);
    for (QToolButton *b : {form->sbPlay, form->sbPlay2x, form->sbPlay3x})
        EXPECT_FALSE(b->isChecked());
    QTest::keyClick(form.get(), Qt::Key_Space);
    EXPECT_FALSE(form->Timer1->isActive());

    form->sbPlay->click();
    EXPECT_EQ(form->Timer1->interval(), 950);
    QTest::keyClick(form.get(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(form->Timer1->interval(), 930);
    QTest::keyClick(form.get(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(form->Timer1->interval(), 910);
    QTest::keyClick(form.get(), Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(form->Timer1->interval(), 930);
    QTest::keyClick(form.get(), Qt::Key_Plus);  // the second shortcut: the key named "+"
    EXPECT_EQ(form->Timer1->interval(), 910);
    QTest::keyClick(form.get(), Qt::Key_Minus);  // only the keypad's minus lengthens it
    EXPECT_EQ(form->Timer1->interval(), 910);
    EXPECT_TRUE(form->sbPlay->isChecked());

    // The fastest speed is the floor: 0 would stop the ticks, below 0 is no interval.
    form->Timer1->setInterval(25);
    form->acPlus->trigger();
    EXPECT_EQ(form->Timer1->interval(), 10);
    form->sbPlay3x->click();
    form->acPlus->trigger();
    EXPECT_EQ(form->Timer1->interval(), 10);
    EXPECT_TRUE(form->Timer1->isActive());
}

// ---- Playback --------------------------------------------------------------------------------

TEST_F(ShowVideoTest, PlaybackStopsAtTheLastFrameWithoutReplay) {
    makeRecording(file, 5);
    auto form = openShown(file);
    form->sbPlay2x->click();
    EXPECT_TRUE(form->sbPlay2x->isChecked());
    EXPECT_EQ(form->Timer1->interval(), 150);
    for (int tick = 1; tick <= 4; ++tick) {
        ASSERT_TRUE(form->Timer1->isActive()) << tick;
        form->Timer1Timer();
        EXPECT_EQ(form->RxSlider1->value(), tick);
    }
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(form->sbPlay2x->isChecked());
    EXPECT_EQ(form->lbFRNum->text(), "5/5");
    EXPECT_EQ(paintedColour(*form), colourOf(4));
    EXPECT_EQ(clock.totalSlept(), 4u * 5u);
}

TEST_F(ShowVideoTest, PlaybackWithReplayFollowsTheLastFrameWithFrameZero) {
    makeRecording(file, 5);
    auto form = openShown(file);
    form->sbRePlay->click();
    form->sbPlay3x->click();
    for (int tick = 0; tick < 3; ++tick)
        form->Timer1Timer();
    EXPECT_EQ(form->RxSlider1->value(), 3);
    form->Timer1Timer();  // reaches the last frame and starts again within the tick
    EXPECT_EQ(form->RxSlider1->value(), 0);
    EXPECT_EQ(form->lbFRNum->text(), "1/5");
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_TRUE(form->sbPlay3x->isChecked());
    form->Timer1Timer();
    EXPECT_EQ(form->RxSlider1->value(), 1);
}

TEST_F(ShowVideoTest, PlayButtonsFormOneGroupThatMayBeAllUp) {
    makeRecording(file, 5);
    auto form = openShown(file);
    QTest::mouseClick(form->sbPlay, Qt::LeftButton);
    QTest::mouseClick(form->sbPlay3x, Qt::LeftButton);
    EXPECT_FALSE(form->sbPlay->isChecked());
    EXPECT_TRUE(form->sbPlay3x->isChecked());
    EXPECT_EQ(form->Timer1->interval(), 10);
    // Clicking the down button puts it up and still starts the timer.
    QTest::mouseClick(form->sbPlay3x, Qt::LeftButton);
    EXPECT_FALSE(form->sbPlay3x->isChecked());
    EXPECT_TRUE(form->Timer1->isActive());

    form->RxSlider1->setValue(3);
    form->sbPlay->click();
    form->sbPause->click();
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(form->sbPlay->isChecked());
    EXPECT_EQ(form->RxSlider1->value(), 3);
    form->sbPlay->click();
    form->sbStop->click();
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(form->sbPlay->isChecked());
    EXPECT_EQ(form->RxSlider1->value(), 0);
    form->sbLast->click();
    EXPECT_EQ(form->RxSlider1->value(), 4);
    form->sbFirst->click();
    EXPECT_EQ(form->RxSlider1->value(), 0);
}

TEST_F(ShowVideoTest, FrameListShownStopsPlaybackAtTheFirstTick) {
    makeRecording(file, 5);
    auto form = openShown(file);
    form->sbFrames->click();
    ASSERT_TRUE(form->gbFrames->isVisible());
    form->sbPlay->click();
    EXPECT_TRUE(form->Timer1->isActive());
    form->Timer1Timer();
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(form->sbPlay->isChecked());
    EXPECT_EQ(form->RxSlider1->value(), 0);
}

// ---- Frame list ------------------------------------------------------------------------------

TEST_F(ShowVideoTest, FrameListRowsAndChoosingARow) {
    makeRecording(file, 250);
    auto form = openShown(file);
    const int boxWidth = form->pb->width();
    form->sbFrames->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->gbFrames->isVisible());
    EXPECT_EQ(form->pb->width(), boxWidth - 185);
    const zv::FrameListModel &rows = form->frameList();
    ASSERT_EQ(rows.rowCount(), 250);
    EXPECT_EQ(rows.headerData(0, Qt::Horizontal).toString(), "кадр");
    EXPECT_EQ(rows.headerData(1, Qt::Horizontal).toString(), "Время");
    EXPECT_EQ(rows.data(rows.index(0, 0)).toString(), "00000");
    EXPECT_EQ(rows.data(rows.index(42, 0)).toString(), "00042");
    EXPECT_EQ(rows.data(rows.index(249, 1)).toString(), zv::dateTimeText(frameTime(249)));
    EXPECT_EQ(rows.data(rows.index(3, 1)).toString(), zv::dateTimeText(frameTime(3)));

    form->RxSlider1->setValue(7);
    form->lvFrames->setCurrentIndex(rows.index(42, 0));
    EXPECT_EQ(form->lbFRNum->text(), "43/250");
    EXPECT_EQ(form->RxSlider1->value(), 7);
    EXPECT_EQ(paintedColour(*form), colourOf(42));
    // The next repaint draws the slider's frame again.
    EXPECT_EQ(paintedColour(*form), colourOf(7));
    EXPECT_EQ(form->lbFRNum->text(), "8/250");

    form->sbFrames->click();  // up: hidden and emptied
    EXPECT_FALSE(form->gbFrames->isVisible());
    EXPECT_EQ(rows.rowCount(), 0);
}

TEST_F(ShowVideoTest, RowCaptionsHaveAtLeastFiveDigits) {
    EXPECT_EQ(zv::FrameListModel::rowCaption(0), "00000");
    EXPECT_EQ(zv::FrameListModel::rowCaption(99999), "99999");
    EXPECT_EQ(zv::FrameListModel::rowCaption(499899), "499899");
}

TEST_F(ShowVideoTest, ListOfAFullRecordingReadsOnlyTheRowsAskedFor) {
    // A sparse file with all 499,900 entries: the index area exists, the frames do not.
    const std::string native = zv::nativePath(file);
    std::filesystem::create_directories(std::filesystem::path(native).parent_path());
    {
        zv::UniqueFd fd = zv::openFile(native, O_RDWR | O_CREAT);
        const int32_t count = 499'900;
        zv::writeAt(fd.get(), &count, 4, 0);
        const double last = frameTime(5);
        zv::writeAt(fd.get(), &last, 8, 2000 + 20 * int64_t{499'899} + 12);
        ASSERT_EQ(::ftruncate(fd.get(), 10'000'000), 0);
    }
    TShowVideoForm form(nullptr, clock);
    ASSERT_TRUE(form.OpenVideoFile(file));
    form.sbFrames->click();
    const zv::FrameListModel &rows = form.frameList();
    ASSERT_EQ(rows.rowCount(), 499'900);
    EXPECT_EQ(rows.data(rows.index(499'899, 0)).toString(), "499899");
    EXPECT_EQ(rows.data(rows.index(499'899, 1)).toString(), zv::dateTimeText(frameTime(5)));
    EXPECT_EQ(rows.data(rows.index(1, 1)).toString(), zv::dateTimeText(0.0));
}

TEST_F(ShowVideoTest, FillWithoutAReaderEndsInTheErrorRow) {
    TShowVideoForm form(nullptr, clock);
    form.sbFrames->click();
    const zv::FrameListModel &rows = form.frameList();
    ASSERT_EQ(rows.rowCount(), 1);
    EXPECT_EQ(rows.data(rows.index(0, 0)).toString(), "      Ошибка!");
    EXPECT_EQ(clock.totalSlept(), 500u);
    EXPECT_FALSE(form.gbFrames->isVisibleTo(&form));
    EXPECT_FALSE(form.sbFrames->isChecked());
    // The error row is no frame.
    form.lvFramesChanging(0);
    EXPECT_TRUE(messages.empty());
}

// ---- Opening another file --------------------------------------------------------------------

TEST_F(ShowVideoTest, OpenAnotherFileStopsPlaybackAndListsTheNewRows) {
    makeRecording(file, 250);
    const std::string other = "C:\\VELD\\ZORVIDEO\\Other.zvf";
    makeRecording(other, 12);
    auto form = openShown(file);
    form->sbFrames->click();
    form->RxSlider1->setValue(100);
    form->sbPlay2x->click();

    std::optional<QString> choice;  // cancelled
    form->setFileChooser([&] { return choice; });
    form->sbOpenClick();
    choice = QString::fromStdString("C:\\VELD\\ZORVIDEO\\NoSuch.zvf");
    form->sbOpenClick();
    choice = QString();
    form->sbOpenClick();
    EXPECT_EQ(form->lbFrameCount->text(), "250");
    EXPECT_TRUE(form->Timer1->isActive());

    choice = QString::fromStdString(other);
    form->sbOpenClick();
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(form->sbPlay2x->isChecked());
    EXPECT_EQ(form->lbFrameCount->text(), "12");
    EXPECT_EQ(form->RxSlider1->maximum(), 11);
    EXPECT_EQ(form->RxSlider1->value(), 0);
    EXPECT_EQ(form->windowTitle().toStdString(), "Просмотр видеофайла: " + other);
    EXPECT_EQ(form->lbFRNum->text(), "1/12");
    EXPECT_EQ(form->frameList().rowCount(), 12);
    EXPECT_TRUE(form->gbFrames->isVisible());
    EXPECT_TRUE(messages.empty());
}

TEST_F(ShowVideoTest, FileThatCannotBeOpenedLeavesTheWindowWithoutAReader) {
    makeRecording(file, 10);
    // A socket exists as a name but cannot be opened as a file.
    const std::string socketPath = root.file("socket.zvf");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);

    auto form = openShown(file);
    form->sbFrames->click();
    form->setFileChooser(
        [&] { return std::optional<QString>(QString::fromStdString(socketPath)); });
    form->sbOpenClick();
    ::close(sock);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(form->videoFile(), nullptr);
    EXPECT_EQ(form->lbFrameCount->text(), "0");
    EXPECT_FALSE(form->RxSlider1->isEnabled());
    EXPECT_EQ(form->windowTitle(), "Просмотр видеофайла: ");
    // The list had the old file's rows; filled from no reader it ends in the error row, hidden.
    EXPECT_FALSE(form->gbFrames->isVisible());
    EXPECT_EQ(form->frameList().rowCount(), 1);
    // Nothing is read while no reader is held.
    messages.clear();
    QTest::keyClick(form.get(), Qt::Key_Right);
    form->lvFramesChanging(0);
    EXPECT_EQ(paintedColour(*form), form->palette().window().color());
    QCoreApplication::processEvents();
    EXPECT_TRUE(messages.empty());
}

// ---- Failures --------------------------------------------------------------------------------

TEST_F(ShowVideoTest, UndecodableFrameIsReportedOncePerPosition) {
    makeRecording(file, 4, {2});
    auto form = openShown(file);
    form->RxSlider1->setValue(1);
    form->RxSlider1->setValue(2);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(kPrefix, 0), 0u) << messages[0];
    EXPECT_GT(messages[0].size(), kPrefix.size());
    TZVFFrameEntry entry;
    TZVFFormat(file).ReadFrameEntry(2, entry);
    EXPECT_EQ(form->LbFrSize->text(), QString::number(entry.Size));
    EXPECT_EQ(form->lbFRNum->text(), "3/4");
    EXPECT_EQ(form->lbFrData->text(), zv::dateTimeText(frameTime(2)));

    // Repaints read the frame again but tell nothing new; the picture keeps the last frame.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(paintedColour(*form), colourOf(1));
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(messages.size(), 1u);

    // Another position is another report.
    form->RxSlider1->setValue(3);
    form->RxSlider1->setValue(2);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(ShowVideoTest, FailureFoundWhilePaintingIsShownAfterThePaint) {
    makeRecording(file, 3, {1});
    int shownDuringPaint = 0;
    bool painting = false;
    zv::ScopedMessageHandler watch([&](const std::string &text, zv::MessageKind) {
        messages.push_back(text);
        if (painting)
            ++shownDuringPaint;
    });
    auto form = openShown(file);
    form->RxSlider1->setValue(1);  // reported at once, outside a paint
    ASSERT_EQ(messages.size(), 1u);
    // A good frame from the list ends that report; the next paint reads the position again.
    form->sbFrames->click();
    form->lvFramesChanging(2);
    EXPECT_EQ(form->lbFRNum->text(), "3/3");
    form->pb->repaint();  // draws the row's frame
    painting = true;
    form->pb->repaint();
    painting = false;
    EXPECT_EQ(form->lbFRNum->text(), "2/3");
    QCoreApplication::processEvents();
    EXPECT_EQ(shownDuringPaint, 0);
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(ShowVideoTest, TransparentPartOfAFrameIsBlackNotThePreviousFrame) {
    {
        std::filesystem::create_directories(
            std::filesystem::path(zv::nativePath(file)).parent_path());
        ZVFAppender appender(file);
        const std::vector<uint8_t> first = plainGif(frameColour(3));
        appender.append(first.data(), first.size(), frameTime(0));
        zvtest::GifLayout layout;
        layout.screenWidth = 32;
        layout.screenHeight = 24;
        layout.globalPalette = {{255, 255, 255}, {0, 0, 0}};
        zvtest::GifPicture picture;
        picture.width = 32;
        picture.height = 24;
        picture.transparent = 0;
        picture.raster.assign(32 * 24, 0);
        layout.pictures.push_back(picture);
        const std::vector<uint8_t> clear = zvtest::makeGif(layout);
        appender.append(clear.data(), clear.size(), frameTime(1));
    }
    auto form = openShown(file);
    EXPECT_EQ(paintedColour(*form), colourOf(3));
    // What the window holds on screen, not a fresh rendering of the box alone.
    auto onScreen = [&] {
        form->pb->repaint();
        auto *store = dynamic_cast<QImage *>(form->backingStore()->paintDevice());
        const QPoint centre = form->pb->mapTo(form.get(), form->pb->rect().center());
        return store ? store->pixelColor(centre) : QColor();
    };
    EXPECT_EQ(onScreen(), colourOf(3));
    form->RxSlider1->setValue(1);
    EXPECT_EQ(onScreen(), QColor(Qt::black));
    EXPECT_TRUE(messages.empty());
}

// ---- Window ----------------------------------------------------------------------------------

TEST_F(ShowVideoTest, DoubleClickTogglesFullWindowMode) {
    makeRecording(file, 3);
    auto form = openShown(file);
    QTest::mouseDClick(form->pb, Qt::LeftButton);
    EXPECT_TRUE(form->isFullWindow());
    EXPECT_TRUE(form->windowState() & Qt::WindowFullScreen);
    QCoreApplication::processEvents();  // the layout follows the panel's hiding
    EXPECT_EQ(form->pb->height(), form->height());
    EXPECT_FALSE(form->MainPanel->isVisible());
    EXPECT_TRUE(form->isVisible());

    QTest::mouseDClick(form->pb, Qt::LeftButton);
    EXPECT_FALSE(form->isFullWindow());
    EXPECT_EQ(form->windowState(), Qt::WindowNoState);
    EXPECT_TRUE(form->MainPanel->isVisible());
    EXPECT_TRUE(form->isVisible());

    // Closed in full-window mode, the window comes back normal, with its panel.
    QTest::mouseDClick(form->pb, Qt::LeftButton);
    form->close();
    TShowVideoForm again(nullptr, clock);
    ASSERT_TRUE(again.OpenVideoFile(file));
    EXPECT_EQ(again.windowState(), Qt::WindowNoState);
}

TEST_F(ShowVideoTest, ClosingDuringPlaybackStopsAndReleasesTheFile) {
    makeRecording(file, 20);
    auto form = openShown(file);
    form->sbFrames->click();
    form->RxSlider1->setValue(9);
    form->sbPlay3x->click();
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_FALSE(form->sbPlay3x->isChecked());
    EXPECT_EQ(form->RxSlider1->value(), 0);
    EXPECT_EQ(form->lbFRNum->text(), "1/20");
    EXPECT_FALSE(form->gbFrames->isVisibleTo(form.get()));
    EXPECT_FALSE(form->sbFrames->isChecked());
    EXPECT_EQ(form->frameList().rowCount(), 0);
    EXPECT_EQ(form->videoFile(), nullptr);
    // Nothing is read after the release.
    form->ShowFrame(3);
    form->pb->grab();
    EXPECT_TRUE(messages.empty());
}

TEST_F(ShowVideoTest, ModalShowingEndsWithTheCloseButtonAndKeepsThePlacement) {
    makeRecording(file, 20);
    QRect placed;
    {
        TShowVideoForm form(nullptr, clock);
        bool closedInsideTheLoop = false;
        QTimer::singleShot(0, &form, [&] {
            // Changing the border re-creates the window; the modal showing must go on.
            QTest::mouseDClick(form.pb, Qt::LeftButton);
            QTest::mouseDClick(form.pb, Qt::LeftButton);
            form.sbPlay3x->click();
            form.setGeometry(120, 90, 640, 500);
            placed = form.geometry();
            QTimer::singleShot(0, &form, [&] {
                closedInsideTheLoop = form.isVisible();
                form.BitBtn1->click();
            });
        });
        form.ShowVideoFile(file);
        EXPECT_TRUE(closedInsideTheLoop);
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(form.Timer1->isActive());
        EXPECT_EQ(form.videoFile(), nullptr);
    }
    TShowVideoForm again(nullptr, clock);
    ASSERT_TRUE(again.OpenVideoFile(file));
    EXPECT_EQ(again.size(), placed.size());
    EXPECT_EQ(again.pos(), placed.topLeft());
}

TEST_F(ShowVideoTest, FrameListMovesLikeAListAndFitsItsWidth) {
    makeRecording(file, 40);
    auto form = openShown(file);
    form->sbFrames->click();
    QCoreApplication::processEvents();
    const zv::FrameListModel &rows = form->frameList();
    form->lvFrames->setFocus();
    form->lvFrames->setCurrentIndex(rows.index(10, 1));
    QTest::keyClick(form->lvFrames, Qt::Key_End);
    EXPECT_EQ(form->lvFrames->currentIndex().row(), 39);
    EXPECT_EQ(form->lbFRNum->text(), "40/40");
    QTest::keyClick(form->lvFrames, Qt::Key_Home);
    EXPECT_EQ(form->lvFrames->currentIndex().row(), 0);
    EXPECT_EQ(form->lbFRNum->text(), "1/40");

    // At the design width both columns are seen whole, without a horizontal scroll bar.
    QTableView &list = *form->lvFrames;
    EXPECT_FALSE(list.horizontalScrollBar()->isVisible());
    EXPECT_LE(list.columnViewportPosition(1) + list.columnWidth(1), list.viewport()->width());
    const QString time = rows.data(rows.index(39, 1)).toString();
    EXPECT_GE(list.columnWidth(1), list.fontMetrics().horizontalAdvance(time));
    EXPECT_EQ(list.columnWidth(0), 40);
}

TEST_F(ShowVideoTest, ListAndLabelsFollowAGrowingRecording) {
    makeRecording(file, 3);
    auto form = openShown(file);
    form->sbFrames->click();
    form->lvFrames->setCurrentIndex(form->frameList().index(2, 0));
    zvtest::appendFrames(file, 3, 4);
    EXPECT_TRUE(form->player().refresh());
    EXPECT_EQ(form->lbFrameCount->text(), "7");
    EXPECT_EQ(form->lbSIzevideo->text(),
              QString::number(std::filesystem::file_size(zv::nativePath(file))));
    EXPECT_EQ(form->RxSlider1->maximum(), 6);
    EXPECT_EQ(form->lbFRNum->text(), "3/7");
    EXPECT_EQ(form->frameList().rowCount(), 7);
    EXPECT_EQ(form->lvFrames->currentIndex().row(), 2);  // the list keeps its place
    EXPECT_EQ(form->frameList().data(form->frameList().index(6, 1)).toString(),
              zv::dateTimeText(frameTime(6)));
    form->sbLast->click();
    EXPECT_EQ(form->lbFRNum->text(), "7/7");
    EXPECT_EQ(paintedColour(*form), colourOf(6));
}

TEST_F(ShowVideoTest, GoingToATimeFromTheField) {
    makeRecording(file, 60);
    auto form = openShown(file);
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(form->edGoTime->dateTime(), zv::toQDateTime(frameTime(0)));
    EXPECT_FALSE(form->edGoTime->hasFocus());

    form->edGoTime->setDateTime(zv::toQDateTime(frameTime(42) + 0.5 / 86400));
    form->sbGoTime->click();
    EXPECT_EQ(form->RxSlider1->value(), 42);
    EXPECT_EQ(form->lbFRNum->text(), "43/60");
    EXPECT_EQ(paintedColour(*form), colourOf(42));

    // Ctrl+G puts the focus in the field, with the shown frame's time; Enter goes there and
    // gives the keys back to the frames.
    form->RxSlider1->setValue(5);
    QTest::keyClick(form.get(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(form->edGoTime->hasFocus());
    EXPECT_EQ(form->edGoTime->dateTime(), zv::toQDateTime(frameTime(5)));
    form->edGoTime->setDateTime(zv::toQDateTime(frameTime(30)));
    QTest::keyClick(form->edGoTime, Qt::Key_Return);
    EXPECT_EQ(form->RxSlider1->value(), 30);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->edGoTime->hasFocus());
    QTest::keyClick(form.get(), Qt::Key_Right);
    EXPECT_EQ(form->RxSlider1->value(), 31);

    // The field is on the panel: from full-window mode Ctrl+G brings the panel back.
    form->pbDblClick();
    QTest::keyClick(form.get(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_FALSE(form->isFullWindow());
    EXPECT_TRUE(form->edGoTime->isVisible());
    EXPECT_TRUE(messages.empty());
}

TEST_F(ShowVideoTest, TheTimeRowKeepsThePanelsControlsInTheirPlaces) {
    TShowVideoForm form(nullptr, clock);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QRect panel = form.MainPanel->rect();
    const std::vector<QWidget *> row{form.lbGoTime,     form.edGoTime,     form.sbGoTime,
                                     form.sbPrevChange, form.sbNextChange, form.sbSkipStill};
    for (QWidget *added : row) {
        EXPECT_TRUE(panel.contains(added->geometry())) << added->objectName().toStdString();
        for (QWidget *part :
             form.MainPanel->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (std::find(row.begin(), row.end(), part) != row.end())
                continue;
            EXPECT_FALSE(part->geometry().intersects(added->geometry()))
                << added->objectName().toStdString() << " covers "
                << part->objectName().toStdString();
        }
    }
    EXPECT_EQ(form.sbRePlay->geometry(), QRect(370, 25, 23, 22));
    EXPECT_EQ(form.Label3->pos(), QPoint(8, 52));
}

TEST_F(ShowVideoTest, SliderShowsTheTimeUnderThePointerWhileDragging) {
    makeRecording(file, 50);
    auto form = openShown(file);
    QSlider &slider = *form->RxSlider1;
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = slider.orientation();
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    option.sliderPosition = slider.sliderPosition();
    option.sliderValue = slider.value();
    const QRect handle = slider.style()->subControlRect(QStyle::CC_Slider, &option,
                                                        QStyle::SC_SliderHandle, &slider);
    QTest::mousePress(&slider, Qt::LeftButton, {}, handle.center());
    QTest::mouseMove(&slider, QPoint(slider.width() / 2, handle.center().y()));
    const int value = slider.value();
    EXPECT_GT(value, 10);
    EXPECT_LT(value, 40);
    EXPECT_EQ(QToolTip::text(), zv::dateTimeText(frameTime(value)));
    QTest::mouseRelease(&slider, Qt::LeftButton, {},
                        QPoint(slider.width() / 2, handle.center().y()));
    EXPECT_EQ(form->lbFRNum->text(), QString::number(value + 1) + "/50");
}

TEST_F(ShowVideoTest, ControlsAnchoredRightFollowThePanelsWidth) {
    TShowVideoForm form(nullptr, clock);
    EXPECT_EQ(form.size(), QSize(492, 420));
    form.resize(692, 420);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // The design's 76 px and the row that goes to a date-time.
    EXPECT_EQ(form.MainPanel->geometry(), QRect(0, 420 - 98, 692, 98));
    EXPECT_EQ(form.RxSlider1->geometry(), QRect(168, 1, 451, 24));
    EXPECT_EQ(form.BitBtn1->geometry(), QRect(608, 36, 79, 25));
    EXPECT_EQ(form.lbFRNum->geometry().right(), 692 - 4 - 1);
    EXPECT_EQ(form.sbPlay->geometry(), QRect(197, 25, 23, 22));
}

TEST(DateTimeText, TimeIsLeftOutExactlyAtMidnight) {
    const QString date = QStringLiteral("05.03.2024");
    EXPECT_EQ(zv::dateTimeText(zv::encodeDateTime({2024, 3, 5, 0, 0, 0, 0})), date);
    const QString withTime = zv::dateTimeText(zv::encodeDateTime({2024, 3, 5, 10, 20, 30, 0}));
    EXPECT_TRUE(withTime.startsWith(date + QLatin1Char(' '))) << withTime.toStdString();
    EXPECT_TRUE(withTime.contains(QStringLiteral("10:20:30"))) << withTime.toStdString();
    // A millisecond after midnight is no longer midnight.
    EXPECT_NE(zv::dateTimeText(zv::encodeDateTime({2024, 3, 5, 0, 0, 0, 1})), date);
}

TEST(DateTimeText, DateTimesAreRussianWhateverTheSystemLocale) {
    for (const QLocale &system : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::German, QLocale::Germany)}) {
        QLocale::setDefault(system);
        EXPECT_EQ(zv::dateTimeText(zv::encodeDateTime({2024, 3, 10, 9, 5, 7, 0})),
                  QStringLiteral("10.03.2024 09:05:07"))
            << system.name().toStdString();
        EXPECT_EQ(zv::dateTimeEditFormat(), QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    }
    QLocale::setDefault(QLocale::system());
}

}  // namespace
