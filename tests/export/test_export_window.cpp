// The export window and its notice, driven as the operator drives them: clicks and drags go
// through the window system's path (QWindow events), where modality applies.
#include "export/VideoExportUnit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "container/GifFixtures.h"
#include "container/ZVFAppender.h"
#include "container/ZVFCheck.h"
#include "container/ZVFformatUnit.h"
#include "export/ExportRequest.h"
#include "export/WaitFormUnit.h"
#include "platform/DateTime.h"
#include "platform/DateTimeText.h"
#include "platform/File.h"
#include "platform/Messages.h"
#include "support/RawZvf.h"
#include "support/TempRoot.h"
#include "widgets/SpinEdit.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kSource = "C:\\VELD\\rec.zvf";
const double kStart = zv::encodeDateTime({2024, 3, 5, 10, 20, 30, 0});

double frameTime(int k) {
    return kStart + k / 86'400.0;
}

QString text(int k) {
    return zv::dateTimeText(frameTime(k));
}

int32_t countOf(const std::string &native) {
    int32_t count = -1;
    zv::UniqueFd fd = zv::openFile(native, O_RDONLY);
    zv::readAt(fd.get(), &count, 4, 0);
    return count;
}

// A click as the window system delivers it: to the top-level window at the widget's place.
void clickAt(QWidget *widget, QPoint at = {-1, -1}) {
    QWidget *top = widget->window();
    const QPoint local = at.x() < 0 ? widget->rect().center() : at;
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, widget->mapTo(top, local));
}

// A click on a radio button's indicator (its caption ends short of its width).
void choose(QRadioButton *button) {
    clickAt(button, {6, button->height() / 2});
}

class ExportWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale::c());
        // QSettings takes its folder from the environment only once per process.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           QString::fromStdString(root.file("config")));
        fs::create_directories(root.file("drive_c/VELD"));
        fs::create_directories(root.file("drive_c/Exp"));
    }
    void TearDown() override { form.reset(); }

    std::string sourceNative() const { return root.file("drive_c/VELD/rec.zvf"); }
    std::string exp(const std::string &name) const { return root.file("drive_c/Exp/" + name); }

    // count small frames, frame k taken k seconds after kStart.
    void record(int count, int from = 0) {
        ZVFAppender out(kSource);
        for (int k = from; k < from + count; ++k) {
            const std::vector<uint8_t> gif = zvtest::smallGif(k % 16);
            out.append(gif.data(), gif.size(), frameTime(k));
        }
    }
    // count frames of 1 MB, back to back in a sparse file (the ZVF export copies them raw).
    void recordLarge(int count) {
        zvtest::RawZvf raw(sourceNative());
        for (int k = 0; k < count; ++k)
            raw.putEntry(k, int64_t{k} * 1'000'000, 1'000'000, frameTime(k));
        raw.truncate(10'000'000 + int64_t{count} * 1'000'000);
        raw.putCount(count);
    }

    TExportForm &open() {
        form = std::make_unique<TExportForm>();
        EXPECT_TRUE(form->OpenForFile(kSource));
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return *form;
    }
    void drag(int fromX, int toX) {
        QWindow *window = form->windowHandle();
        const QPoint from = form->pb->mapTo(form.get(), QPoint(fromX, 5));
        const QPoint to = form->pb->mapTo(form.get(), QPoint(toX, 5));
        QTest::mousePress(window, Qt::LeftButton, {}, from);
        QTest::mouseMove(window, to);
        QTest::mouseRelease(window, Qt::LeftButton, {}, to);
    }
    // Columns of the strip's inner field (frame excluded) that are not white on its middle row.
    int barColumns() {
        const QImage strip = form->pb->grab().toImage();
        int columns = 0;
        for (int x = 1; x < strip.width() - 1; ++x)
            columns += strip.pixelColor(x, 5) != QColor(Qt::white);
        return columns;
    }
    QString sel() const { return form->lbSelFrames->text(); }
    // The export waits once it has reported at least `at` frames done, until pressed is set (as
    // the operator's "Отмена" is pressed); reached tells that it waits.
    void pauseExportAt(int64_t at, std::atomic<bool> &reached, std::atomic<bool> &pressed) {
        form->setExportCall([=, &reached, &pressed](TZVFFormat &zvf, const zv::ExportRequest &r) {
            auto report = zvf.OnExportFrames;
            zvf.OnExportFrames = [=, &reached, &pressed](int64_t done, int64_t total) {
                report(done, total);
                if (done >= at && !reached.exchange(true))
                    while (!pressed)
                        std::this_thread::sleep_for(1ms);
            };
            zv::runExportRequest(zvf, r);
        });
    }
    void exportNow() { clickAt(form->BitBtn1); }

    zvtest::TempRoot root;
    std::vector<std::string> messages;
    zv::ScopedMessageHandler recorder{[this](const std::string &t, zv::MessageKind) {
        messages.push_back(t);
        // Whatever the box says, the notice is gone by then.
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<TWaitVideoExpForm *>(w) && w->isVisible())
                messages.push_back("(notice still shown)");
    }};
    std::unique_ptr<TExportForm> form;
};

}  // namespace

TEST_F(ExportWindowTest, EachPanelPairFillsTheSameHeightAndDefaultsBeforeAnythingIsStored) {
    record(3);
    TExportForm &f = open();
    EXPECT_EQ(f.pos(), QPoint(0, 0));
    EXPECT_TRUE(f.rbExpVideo->isChecked());
    EXPECT_TRUE(f.rbIntTime->isChecked());
    EXPECT_FALSE(f.cbAddInZIP->isChecked());
    EXPECT_EQ(f.edExportFile->text(), "edExportFile");
    EXPECT_EQ(f.edExportDir->text(), "edExportFile");
    EXPECT_EQ(f.windowTitle(), QString::fromUtf8("Экспорт видео записи C:\\VELD\\rec.zvf"));
    EXPECT_EQ(f.font().pixelSize(), 11);
    for (QRadioButton *target : {f.rbExpPictures, f.rbExpVideo, f.rbExpMp4}) {
        for (QRadioButton *interval : {f.rbIntFrame, f.rbIntGraph, f.rbIntTime}) {
            choose(target);
            choose(interval);
            EXPECT_EQ(f.size(), QSize(420, 376));
            // Both video files use the file panel; only the ZVF file can be packed.
            EXPECT_EQ(f.Step1_1->isVisible(), target != f.rbExpPictures);
            EXPECT_EQ(f.cbAddInZIP->isEnabled(), target != f.rbExpMp4);
            EXPECT_EQ(f.Step1_2->isVisible(), target == f.rbExpPictures);
            EXPECT_EQ(f.Step2_1->isVisible(), interval == f.rbIntTime);
            EXPECT_EQ(f.Step2_2->isVisible(), interval == f.rbIntFrame);
            EXPECT_EQ(f.Step2_3->isVisible(), interval == f.rbIntGraph);
        }
    }
    EXPECT_EQ(f.pb->size(), QSize(404, 11));
}

TEST_F(ExportWindowTest, ThousandFramesRightAfterOpening) {
    record(1000);
    TExportForm &f = open();
    EXPECT_EQ(f.lbNumFramesVideo->text(), QString::fromUtf8("Всего в видео 1000 кадров"));
    EXPECT_EQ(f.lbDateTimeVideo->text(), QString::fromUtf8("Начало данных датируется ") + text(0) +
                                             QString::fromUtf8(" конец ") + text(999));
    EXPECT_EQ(f.lbStartData->text(), text(0));
    EXPECT_EQ(f.lbMeedleData->text(), text(501));
    EXPECT_EQ(f.lbEndData->text(), text(999));
    EXPECT_EQ(f.lbStartFrame->text(), "0");
    EXPECT_EQ(f.lbMeedleFrame->text(), "501");
    EXPECT_EQ(f.lbEndFrame->text(), "999");
    EXPECT_EQ(sel(), QString::fromUtf8("c 0 по 2"));
    EXPECT_EQ(f.lbSelDatas->text(),
              QString::fromUtf8("c ") + text(0) + QString::fromUtf8(" по ") + text(2));
    EXPECT_EQ(f.DateStartExp->date(), QDate(2024, 3, 5));
    EXPECT_EQ(f.TimeStartExp->time(), QTime(10, 20, 30));
    EXPECT_EQ(f.TimeEndExp->time(), QTime(10, 37, 9));
    EXPECT_EQ(f.seStartFrames->value(), 0);
    EXPECT_EQ(f.seEndFrames->value(), 999);
    EXPECT_EQ(f.seStartFrames->maximum(), 999);
    EXPECT_EQ(f.seEndFrames->maximum(), 999);
    choose(f.rbIntGraph);
    EXPECT_EQ(barColumns(), 1);
}

TEST_F(ExportWindowTest, MiddleLabelsNeverNameTheSlotAfterTheLastFrame) {
    const std::pair<int, int> cases[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {1001, 501}, {1003, 503}};
    int recorded = 0;
    for (const auto &[count, middle] : cases) {
        record(count - recorded, recorded);
        recorded = count;
        TExportForm &f = open();
        EXPECT_EQ(f.lbMeedleFrame->text(), QString::number(middle)) << count;
        EXPECT_EQ(f.lbMeedleData->text(), text(middle)) << count;
        form.reset();
    }
}

TEST_F(ExportWindowTest, DragsBeyondTheStripEndAtItsEnds) {
    record(1000);
    TExportForm &f = open();
    choose(f.rbIntGraph);
    drag(100, 700);
    EXPECT_EQ(sel(), QString::fromUtf8("c 250 по 999"));
    EXPECT_EQ(f.lbSelDatas->text(),
              QString::fromUtf8("c ") + text(250) + QString::fromUtf8(" по ") + text(999));
    drag(100, -300);
    EXPECT_EQ(sel(), QString::fromUtf8("c 250 по 0"));
    EXPECT_EQ(barColumns(), 100);  // columns 2 .. 101 of the strip
    EXPECT_FALSE(TExportForm::SelDragging);
}

TEST_F(ExportWindowTest, TheStripShowsWhereTheSizesChangedUnderTheSelection) {
    // 401 frames, so that strip position x stands for frame x: the first half of one size, in
    // the second every odd frame larger than the even ones.
    const std::vector<uint8_t> small = zvtest::smallGif(1);
    const std::vector<uint8_t> large = zvtest::makeGif(
        {16, 16, 0, zvtest::distinctPalette(4), {zvtest::patternPicture(16, 16, 4)}});
    ASSERT_NE(small.size(), large.size());
    {
        ZVFAppender out(kSource);
        for (int k = 0; k <= 400; ++k) {
            const std::vector<uint8_t> &gif = k > 200 && k % 2 ? large : small;
            out.append(gif.data(), gif.size(), frameTime(k));
        }
    }
    TExportForm &f = open();
    choose(f.rbIntGraph);
    drag(250, 350);  // the bar over pixels 252 .. 352
    const QImage strip = f.pb->grab().toImage();
    const QColor grey(0x90, 0x90, 0x90), lightBlue(0x90, 0xb0, 0xff), blue(0, 0, 255);
    EXPECT_EQ(strip.pixelColor(50 + 2, 5), QColor(Qt::white));  // a still screen
    EXPECT_EQ(strip.pixelColor(200 + 2, 5), QColor(Qt::white));
    EXPECT_EQ(strip.pixelColor(201 + 2, 5), grey);
    EXPECT_EQ(strip.pixelColor(380 + 2, 5), grey);
    EXPECT_EQ(strip.pixelColor(300 + 2, 5), lightBlue);          // inside the bar
    EXPECT_EQ(strip.pixelColor(250 + 2, 5), QColor(Qt::black));  // the bar's own frame stays
    drag(20, 120);
    EXPECT_EQ(f.pb->grab().toImage().pixelColor(70 + 2, 5), blue);
}

TEST_F(ExportWindowTest, PressAndReleaseWithoutAMoveMovesTheBarOnly) {
    record(1000);
    TExportForm &f = open();
    choose(f.rbIntGraph);
    const QString frames = sel(), dates = f.lbSelDatas->text();
    clickAt(f.pb, {200, 5});
    EXPECT_EQ(sel(), frames);
    EXPECT_EQ(f.lbSelDatas->text(), dates);
    EXPECT_EQ(TExportForm::SelStartX, 200);
    const QImage strip = f.pb->grab().toImage();
    EXPECT_EQ(strip.pixelColor(202, 5), QColor(Qt::black));
    EXPECT_EQ(strip.pixelColor(3, 5), QColor(Qt::white));  // the old bar is gone
    EXPECT_EQ(barColumns(), 1);
}

TEST_F(ExportWindowTest, PressInTheLastColumnsSelectsTheLastFrame) {
    record(1000);
    TExportForm &f = open();
    choose(f.rbIntGraph);
    f.edExportFile->setText("C:\\Exp\\last.zvf");
    QTest::mousePress(f.windowHandle(), Qt::LeftButton, {}, f.pb->mapTo(&f, QPoint(402, 5)));
    QTest::mouseRelease(f.windowHandle(), Qt::LeftButton, {}, f.pb->mapTo(&f, QPoint(402, 5)));
    EXPECT_EQ(TExportForm::SelStartX, 400);
    exportNow();
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(countOf(exp("last.zvf")), 1);
}

TEST_F(ExportWindowTest, LeftwardDragNamesTheHigherFrameFirstAndExportsTheSameFrames) {
    record(50);
    TExportForm &f = open();
    choose(f.rbIntGraph);
    drag(300, 100);
    EXPECT_EQ(sel(), QString::fromUtf8("c 37 по 12"));
    f.edExportFile->setText("C:\\Exp\\left.zvf");
    exportNow();
    drag(100, 300);
    EXPECT_EQ(sel(), QString::fromUtf8("c 12 по 37"));
    f.edExportFile->setText("C:\\Exp\\right.zvf");
    exportNow();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(countOf(exp("left.zvf")), 26);
    EXPECT_TRUE(zvtest::readFile(exp("left.zvf")) == zvtest::readFile(exp("right.zvf")));
}

TEST_F(ExportWindowTest, FolderThatCannotBeMadeClosesTheNoticeThenReportsAndWritesNothing) {
    record(5);
    TExportForm &f = open();
    zvtest::writeFile(exp("file"), "x");
    choose(f.rbExpPictures);
    choose(f.rbIntFrame);
    f.edExportDir->setText("C:\\Exp\\file\\pictures");
    exportNow();
    EXPECT_EQ(messages, std::vector<std::string>{"Ошибка экспорта: Неверная директория экспорта"});
    EXPECT_EQ(zvtest::readFile(exp("file")), "x");
    EXPECT_TRUE(f.isVisible());
}

TEST_F(ExportWindowTest, AnArchiveThatCannotBeMadeIsReportedAndTheFileStays) {
    record(5);
    TExportForm &f = open();
    fs::create_directories(exp("w.zvf.7z"));  // a folder in the archive's place
    choose(f.rbIntFrame);
    f.seStartFrames->setValue(1);
    f.seEndFrames->setValue(3);
    f.edExportFile->setText("C:\\Exp\\w.zvf");
    f.cbAddInZIP->setChecked(true);
    exportNow();
    EXPECT_EQ(messages, std::vector<std::string>{"Ошибка экспорта: Не удалось создать архив "
                                                 "\"C:\\Exp\\w.zvf.7z\": " +
                                                 zv::systemErrorReason(EISDIR)});
    EXPECT_EQ(countOf(exp("w.zvf")), 3);
    EXPECT_TRUE(fs::is_empty(exp("w.zvf.7z")));
}

TEST_F(ExportWindowTest, SuccessIsNotConfirmedAndTheWindowExportsAgain) {
    record(10);
    TExportForm &f = open();
    choose(f.rbIntFrame);
    f.seStartFrames->setValue(7);
    f.seEndFrames->setValue(2);
    f.edExportFile->setText("C:\\Exp\\one.zvf");
    exportNow();
    choose(f.rbExpPictures);
    f.edExportDir->setText("C:\\Exp\\pics\\deep");
    exportNow();
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(countOf(exp("one.zvf")), 6);
    EXPECT_EQ(zvf::checkFile("C:\\Exp\\one.zvf").problems, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(exp("pics/deep")), fs::directory_iterator()), 6);
}

TEST_F(ExportWindowTest, CaptionNumberComesOnlyFromTheFreeAreaOfTheGraphicalPanel) {
    record(10);
    TExportForm &f = open();
    choose(f.rbIntGraph);
    const QString caption = f.windowTitle();
    clickAt(f.lbStartFrame);
    clickAt(f.Label6);
    clickAt(f.pb, {50, 5});
    EXPECT_EQ(f.windowTitle(), caption);
    clickAt(f.Step2_3, {3, 50});
    bool number = false;
    const int value = f.windowTitle().toInt(&number);
    EXPECT_TRUE(number) << f.windowTitle().toStdString();
    EXPECT_GE(value, 0);
    EXPECT_LT(value, 2000);
}

TEST_F(ExportWindowTest, ChoicesOfTheLastClosingComeBackWithTheirPanels) {
    record(10);
    TExportForm &f = open();
    choose(f.rbExpPictures);
    choose(f.rbIntGraph);
    clickAt(f.cbAddInZIP);  // on the file panel, hidden now: set directly
    f.cbAddInZIP->setChecked(true);
    f.edExportDir->setText("C:\\Exp\\pics");
    f.edExportFile->setText("C:\\Exp\\x.zvf");
    f.move(40, 50);
    QTest::keyClick(f.windowHandle(), Qt::Key_Escape);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(f.videoFile(), nullptr);

    TExportForm &g = open();
    EXPECT_TRUE(g.rbExpPictures->isChecked());
    EXPECT_TRUE(g.rbIntGraph->isChecked());
    EXPECT_TRUE(g.cbAddInZIP->isChecked());
    EXPECT_EQ(g.edExportDir->text(), "C:\\Exp\\pics");
    EXPECT_EQ(g.edExportFile->text(), "C:\\Exp\\x.zvf");
    EXPECT_TRUE(g.Step1_2->isVisible());
    EXPECT_FALSE(g.Step1_1->isVisible());
    EXPECT_TRUE(g.Step2_3->isVisible());
    EXPECT_EQ(g.size(), QSize(420, 376));
    EXPECT_EQ(g.pos(), QPoint(40, 50));
    // The selection is not kept: it starts anew at 0 .. 1.
    EXPECT_EQ(TExportForm::SelStartX, 0);
    EXPECT_EQ(TExportForm::SelEndX, 1);
}

TEST_F(ExportWindowTest, EachOfTheSixCallsGetsItsArguments) {
    record(400);
    TExportForm &f = open();
    std::vector<zv::ExportRequest> calls;
    f.setExportCall([&](TZVFFormat &, const zv::ExportRequest &r) { calls.push_back(r); });
    f.edExportFile->setText(" C:\\Exp\\v ");
    f.edExportDir->setText("C:\\Exp\\p\\");
    f.cbAddInZIP->setChecked(true);
    f.seStartFrames->setValue(30);
    f.seEndFrames->setValue(20);
    f.DateStartExp->setDate(QDate(2024, 3, 5));
    f.TimeStartExp->setTime(QTime(10, 21, 0, 250));
    f.DateEndExp->setDate(QDate(2024, 3, 6));
    f.TimeEndExp->setTime(QTime(1, 2, 3));
    const double start = zv::encodeDateTime({2024, 3, 5, 10, 21, 0, 250});
    const double end = zv::encodeDateTime({2024, 3, 6, 1, 2, 3, 0});
    using T = zv::ExportTarget;
    using I = zv::ExportInterval;
    const std::vector<zv::ExportRequest> expected = {
        {T::Video, I::Frames, " C:\\Exp\\v ", true, 30, 20, 0, 0, {}},
        {T::Video, I::Time, " C:\\Exp\\v ", true, 0, 0, start, end, {}},
        {T::Video, I::Graph, " C:\\Exp\\v ", true, 299, 100, 0, 0, {}},
        {T::Pictures, I::Frames, "C:\\Exp\\p\\", false, 30, 20, 0, 0, {}},
        {T::Pictures, I::Time, "C:\\Exp\\p\\", false, 0, 0, start, end, {}},
        {T::Pictures, I::Graph, "C:\\Exp\\p\\", false, 299, 100, 0, 0, {}},
        {T::Mp4, I::Frames, " C:\\Exp\\v ", false, 30, 20, 0, 0, {}},
        {T::Mp4, I::Time, " C:\\Exp\\v ", false, 0, 0, start, end, {}},
        {T::Mp4, I::Graph, " C:\\Exp\\v ", false, 299, 100, 0, 0, {}},
    };
    for (QRadioButton *target : {f.rbExpVideo, f.rbExpPictures, f.rbExpMp4}) {
        choose(target);
        for (QRadioButton *interval : {f.rbIntFrame, f.rbIntTime, f.rbIntGraph}) {
            choose(interval);
            if (interval == f.rbIntGraph)
                drag(300, 100);  // 399 * 300 / 400 = 299.25, 399 * 100 / 400 = 99.75
            exportNow();
        }
    }
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ExportWindowTest, RecordingWithoutFramesReadsNoEntryAndRefusesItsBounds) {
    zvtest::writeFile(sourceNative(), std::string(4, '\0'));
    TExportForm &f = open();
    EXPECT_EQ(f.lbNumFramesVideo->text(), QString::fromUtf8("Всего в видео 0 кадров"));
    for (QLabel *l : {f.lbStartData, f.lbMeedleData, f.lbEndData})
        EXPECT_TRUE(l->text().isEmpty()) << l->objectName().toStdString();
    EXPECT_EQ(f.lbDateTimeVideo->text(), QString::fromUtf8("Начало данных датируется  конец "));
    EXPECT_EQ(f.lbSelDatas->text(), QString::fromUtf8("c  по "));
    f.edExportFile->setText("C:\\Exp\\none.zvf");
    choose(f.rbIntGraph);
    exportNow();
    choose(f.rbIntFrame);
    exportNow();
    EXPECT_EQ(messages,
              std::vector<std::string>(2, "Ошибка экспорта: Недопустимые границы экспорта"));
    EXPECT_FALSE(fs::exists(exp("none.zvf")));
}

TEST_F(ExportWindowTest, StripFollowsARecordingThatGrowsWhileTheWindowIsOpen) {
    record(100);
    TExportForm &f = open();
    record(100, 100);
    choose(f.rbIntGraph);
    drag(0, 400);
    EXPECT_EQ(sel(), QString::fromUtf8("c 0 по 199"));
    EXPECT_EQ(f.lbSelDatas->text(),
              QString::fromUtf8("c ") + text(0) + QString::fromUtf8(" по ") + text(199));
    // The labels and limits of the opening stay.
    EXPECT_EQ(f.lbEndFrame->text(), "99");
    EXPECT_EQ(f.seEndFrames->maximum(), 99);
}

TEST_F(ExportWindowTest, CancelStopsAtAFrameBoundaryAndLeavesAValidFileWithoutABox) {
    recordLarge(20);
    TExportForm &f = open();
    choose(f.rbIntFrame);
    f.seEndFrames->setValue(19);
    f.cbAddInZIP->setChecked(true);
    f.edExportFile->setText("C:\\Exp\\cut.zvf");
    // The export waits after its first piece of frames until the operator has pressed "Отмена".
    std::atomic<bool> reached{false}, pressed{false};
    pauseExportAt(1, reached, pressed);
    QString shownProgress;
    f.setNoticeWatcher([&](TWaitVideoExpForm &notice) {
        auto *poll = new QTimer(&notice);
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            if (!reached)
                return;
            poll->stop();
            QTest::qWait(2 * TWaitVideoExpForm::kProgressIntervalMs);
            shownProgress = notice.ProgressBar1->text();
            clickAt(notice.btCancel);
            pressed = true;
        });
        poll->start(5);
    });
    exportNow();
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(shownProgress, QString::fromUtf8("Кадры: 8 из 20"));
    EXPECT_EQ(countOf(exp("cut.zvf")), 8);
    EXPECT_EQ(zvf::checkFile("C:\\Exp\\cut.zvf").problems, 0);
    EXPECT_FALSE(fs::exists(exp("cut.zvf.7z")));
}

TEST_F(ExportWindowTest, WhileTheNoticeStandsEventsFlowAndNoInputReachesTheWindowOrTheHost) {
    record(6);
    QWidget host;
    auto *hostButton = new QPushButton("host", &host);
    host.resize(200, 100);
    host.move(600, 0);
    host.show();
    int hostClicks = 0;
    QObject::connect(hostButton, &QPushButton::clicked, [&] { ++hostClicks; });

    TExportForm &f = open();
    choose(f.rbExpPictures);
    choose(f.rbIntFrame);
    f.edExportDir->setText("C:\\Exp\\slow");
    std::atomic<int> calls{0};
    // Every picture takes 300 ms: far longer than the 100 ms within which a window manager
    // expects its ping answered.
    f.setExportCall([&](TZVFFormat &zvf, const zv::ExportRequest &r) {
        ++calls;
        auto report = zvf.OnExportFrames;
        zvf.OnExportFrames = [report](int64_t done, int64_t total) {
            report(done, total);
            std::this_thread::sleep_for(300ms);
        };
        zv::runExportRequest(zvf, r);
    });
    QElapsedTimer clock;
    int64_t last = 0, longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const int64_t now = clock.elapsed();
        longestGap = std::max(longestGap, now - last);
        last = now;
    });
    int updates = 0;
    f.setNoticeWatcher([&](TWaitVideoExpForm &notice) {
        clock.start();
        ticker.start(10);
        QTimer::singleShot(500, &notice, [&] {
            clickAt(f.BitBtn1);
            clickAt(f.BitBtn2);
            clickAt(hostButton);
        });
        QObject::connect(&notice, &QObject::destroyed, [&] { ticker.stop(); });
        QObject::connect(&notice, &TWaitVideoExpForm::barMoved, [&] { ++updates; });
    });
    exportNow();
    ticker.stop();
    EXPECT_GE(clock.elapsed(), 6 * 300);
    EXPECT_LT(longestGap, 100);
    EXPECT_GE(updates, 6);  // one move for each picture at least
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(hostClicks, 0);
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(exp("slow")), fs::directory_iterator()), 6);
}

TEST_F(ExportWindowTest, TimeIntervalsOfThePickersReachTheFrameStore) {
    record(10);
    TExportForm &f = open();
    // As opened, the pickers hold the first and the last frame's times, which lie outside the
    // interval: frames 1 .. 8 are exported.
    f.edExportFile->setText("C:\\Exp\\t.zvf");
    exportNow();
    EXPECT_EQ(countOf(exp("t.zvf")), 8);
    choose(f.rbExpPictures);
    f.edExportDir->setText("C:\\Exp\\t");
    f.TimeStartExp->setTime(QTime(10, 20, 32, 500));  // after frame 2
    f.TimeEndExp->setTime(QTime(10, 20, 35));         // frame 5 itself: not inside
    exportNow();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(exp("t")), fs::directory_iterator()), 2);
    EXPECT_TRUE(fs::exists(exp("t/240305 102033.GIF")));
    EXPECT_TRUE(fs::exists(exp("t/240305 102034.GIF")));
}

TEST_F(ExportWindowTest, Mp4TypeWritesAVideoWithTheNoticeAndTheExportsMessages) {
    record(12);
    TExportForm &f = open();
    f.edExportFile->setText("C:\\Exp\\clip.zvf");
    f.cbAddInZIP->setChecked(true);
    choose(f.rbExpMp4);
    // The name follows the kind of video file, back and forth.
    EXPECT_EQ(f.edExportFile->text(), "C:\\Exp\\clip.mp4");
    choose(f.rbExpVideo);
    EXPECT_EQ(f.edExportFile->text(), "C:\\Exp\\clip.zvf");
    choose(f.rbExpMp4);
    EXPECT_FALSE(f.cbAddInZIP->isEnabled());

    choose(f.rbIntFrame);
    f.seStartFrames->setValue(9);
    f.seEndFrames->setValue(2);
    // Progress reaches the notice through the frame store's frame hook, as for the other types.
    std::vector<std::pair<int64_t, int64_t>> reports;
    f.setExportCall([&](TZVFFormat &zvf, const zv::ExportRequest &r) {
        auto report = zvf.OnExportFrames;
        zvf.OnExportFrames = [&, report](int64_t done, int64_t total) {
            report(done, total);
            reports.emplace_back(done, total);
        };
        zv::runExportRequest(zvf, r);
    });
    exportNow();
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(reports.size(), 9u);
    EXPECT_EQ(reports.back(), std::make_pair(int64_t{8}, int64_t{8}));
    EXPECT_FALSE(fs::exists(exp("clip.zvf")));
    EXPECT_FALSE(fs::exists(exp("clip.mp4.7z")));
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-count_frames", "-show_entries",
                            "stream=codec_name,nb_read_frames", "-of", "csv=p=0",
                            QString::fromStdString(exp("clip.mp4"))});
    ASSERT_TRUE(probe.waitForFinished(60'000));
    EXPECT_EQ(probe.readAllStandardOutput().trimmed(), "h264,8");

    choose(f.rbIntTime);
    f.TimeStartExp->setTime(QTime(23, 0, 0));
    exportNow();
    EXPECT_EQ(messages, std::vector<std::string>{
                            "Ошибка экспорта: Неверно указан временной интервал экспорта"});
    // The choice comes back at the next opening, with its panel and rules.
    clickAt(f.BitBtn2);
    TExportForm &g = open();
    EXPECT_TRUE(g.rbExpMp4->isChecked());
    EXPECT_TRUE(g.Step1_1->isVisible());
    EXPECT_FALSE(g.cbAddInZIP->isEnabled());
    EXPECT_EQ(g.edExportFile->text(), "C:\\Exp\\clip.mp4");
}

TEST_F(ExportWindowTest, CancelledMp4KeepsAPlayableVideoOfTheFramesDone) {
    record(12);
    TExportForm &f = open();
    choose(f.rbExpMp4);
    choose(f.rbIntFrame);
    f.seEndFrames->setValue(11);
    f.edExportFile->setText("C:\\Exp\\cut.mp4");
    // The export waits after its third frame until the operator has pressed "Отмена".
    std::atomic<bool> reached{false}, pressed{false};
    pauseExportAt(3, reached, pressed);
    f.setNoticeWatcher([&](TWaitVideoExpForm &notice) {
        auto *poll = new QTimer(&notice);
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            if (!reached)
                return;
            poll->stop();
            clickAt(notice.btCancel);
            pressed = true;
        });
        poll->start(5);
    });
    exportNow();
    EXPECT_TRUE(messages.empty());
    QProcess probe;
    probe.start("ffprobe",
                {"-v", "error", "-count_frames", "-show_entries", "stream=nb_read_frames", "-of",
                 "csv=p=0", QString::fromStdString(exp("cut.mp4"))});
    ASSERT_TRUE(probe.waitForFinished(60'000));
    EXPECT_EQ(probe.readAllStandardOutput().trimmed(), "3");
    EXPECT_FALSE(fs::exists(exp("cut.mp4.part")));
}
