// Starting, stopping, watching and registering the recorder from the settings window, with fake
// services: no display, no processes, no waiting.
#include "recording/RecorderControl.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "platform/Messages.h"
#include "platform/Paths.h"
#include "recording/VideoUnit.h"
#include "support/FakeControlServices.h"
#include "support/Fakes.h"
#include "support/TempRoot.h"

namespace {

namespace fs = std::filesystem;

const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);
constexpr int64_t kMiB = 1048576;

QString text(const char *utf8) {
    return QString::fromUtf8(utf8);
}

QColor captionColour(const QPushButton *button) {
    return button->palette().color(QPalette::Active, QPalette::ButtonText);
}

TEST(RecorderChecks, FullCheckAfterMoreThan3000MsOnAWrappingTick) {
    EXPECT_FALSE(zv::fullCheckDue(3000, 0));
    EXPECT_TRUE(zv::fullCheckDue(3001, 0));
    // 2000 ms before the wrap, then 1000 and 1001 ms after it.
    EXPECT_FALSE(zv::fullCheckDue(1000, 0xFFFFF830u));
    EXPECT_TRUE(zv::fullCheckDue(1001, 0xFFFFF830u));
    EXPECT_FALSE(zv::fullCheckDue(0xFFFFF000u, 0xFFFFF000u));
}

TEST(RecorderChecks, LowDiskSpaceIncludesEqualityAndNeverForANegativeLimit) {
    zvtest::FakeFreeSpace space;
    space.bytes = 1000 * kMiB;
    EXPECT_TRUE(zv::lowDiskSpace(space, "C:\\VELD\\x.zvf", 1000));
    EXPECT_EQ(space.lastPath, "C:\\VELD\\x.zvf");
    space.bytes = 1000 * kMiB + 1;
    EXPECT_FALSE(zv::lowDiskSpace(space, "C:\\VELD\\x.zvf", 1000));
    // The limit is computed in 64 bits: 4,000,000 MB is far beyond 32 bits.
    space.bytes = int64_t{1} << 40;
    EXPECT_TRUE(zv::lowDiskSpace(space, "C:\\x.zvf", 4'000'000));
    EXPECT_FALSE(zv::lowDiskSpace(space, "C:\\x.zvf", 1'000'000));
    space.bytes = 0;
    EXPECT_FALSE(zv::lowDiskSpace(space, "C:\\x.zvf", -1));
    EXPECT_TRUE(zv::lowDiskSpace(space, "C:\\x.zvf", 0));
    // Space that cannot be measured is not "all good", unless the check is switched off.
    space.bytes.reset();
    EXPECT_TRUE(zv::lowDiskSpace(space, "rec\\x.zvf", 1000));
    EXPECT_FALSE(zv::lowDiskSpace(space, "rec\\x.zvf", -1));
}

TEST(RecorderChecks, RunKeyActionIsSilentAndOnlyTheTestAnswers) {
    zvtest::TempRoot root;
    zvtest::FakeAutostart store;
    EXPECT_FALSE(zv::runKeyAction(store, "ZORVideo", zv::kRunKeyTest));
    EXPECT_FALSE(zv::runKeyAction(store, "ZORVideo", zv::kRunKeyAdd));
    EXPECT_EQ(store.entries.at("ZORVideo"), zv::nativePath("C:\\VELD\\ZORVideoService.exe"));
    EXPECT_TRUE(zv::runKeyAction(store, "ZORVideo", zv::kRunKeyTest));
    EXPECT_FALSE(zv::runKeyAction(store, "ZORVideo", 7));
    store.refuseWrites = true;
    EXPECT_NO_THROW(zv::runKeyAction(store, "ZORVideo", zv::kRunKeyDelete));
    EXPECT_TRUE(zv::runKeyAction(store, "ZORVideo", zv::kRunKeyTest));
    store.refuseWrites = false;
    EXPECT_FALSE(zv::runKeyAction(store, "ZORVideo", zv::kRunKeyDelete));
    EXPECT_NO_THROW(zv::runKeyAction(store, "ZORVideo", zv::kRunKeyDelete));  // already gone
    EXPECT_FALSE(zv::runKeyAction(store, "ZORVideo", zv::kRunKeyTest));
}

TEST(RecorderChecks, RecorderFoundByItsExactTitleInAnyCase) {
    zvtest::FakeWindowList windows;
    windows.list = {{1, "ZorvideoService2"}, {2, "TempForm2"}};
    EXPECT_FALSE(zv::isRecorderRunning(windows));
    EXPECT_FALSE(zv::stopRecorder(windows));
    EXPECT_TRUE(windows.quitSent.empty());
    windows.list.push_back({3, "zorvideoservice"});
    windows.list.push_back({4, "TEMPFORM"});
    EXPECT_TRUE(zv::isRecorderRunning(windows));
    EXPECT_TRUE(zv::stopRecorder(windows));
    EXPECT_EQ(windows.quitSent, std::vector<uint32_t>{4});
}

// The installed recorder and the mapped path that "Запустить" opens. The root holds an installed
// tree of its own ("usr/bin") beside the mapped drive.
class RecorderLinkTest : public ::testing::Test {
protected:
    std::string installRecorder(const std::string &name, fs::perms mode = fs::perms::owner_all) {
        const std::string file = root_.file("usr/bin/" + name);
        zvtest::writeFile(file, "#!/bin/sh\n");
        fs::permissions(file, mode);
        return file;
    }
    fs::path mapped() const { return zv::nativePath(zv::kRecorderExecutable); }

    zvtest::TempRoot root_;
};

TEST_F(RecorderLinkTest, AFreshRootGetsTheFolderAndALinkToTheInstalledRecorder) {
    const std::string installed = installRecorder("ZORVideoService");
    EXPECT_TRUE(zv::linkInstalledRecorder(installed));
    ASSERT_TRUE(fs::is_symlink(mapped()));
    EXPECT_EQ(fs::read_symlink(mapped()), fs::canonical(installed));
    EXPECT_TRUE(zv::fileExists(zv::kRecorderExecutable));
    // Made once: a second load finds it in place.
    EXPECT_FALSE(zv::linkInstalledRecorder(installed));
}

TEST_F(RecorderLinkTest, ARecorderInPlaceIsKept) {
    const std::string installed = installRecorder("ZORVideoService");
    zvtest::writeFile(mapped(), "the operator's own\n");
    EXPECT_FALSE(zv::linkInstalledRecorder(installed));
    EXPECT_FALSE(fs::is_symlink(mapped()));
    EXPECT_EQ(zvtest::readFile(mapped()), "the operator's own\n");

    // A link to another recorder that exists (a developer's build) stays too.
    fs::remove(mapped());
    const std::string other = installRecorder("other");
    fs::create_symlink(other, mapped());
    EXPECT_FALSE(zv::linkInstalledRecorder(installed));
    EXPECT_EQ(fs::read_symlink(mapped()), other);
}

TEST_F(RecorderLinkTest, ALinkThatLeadsNowhereIsReplaced) {
    const std::string installed = installRecorder("ZORVideoService");
    fs::create_directories(mapped().parent_path());
    fs::create_symlink(root_.file("removed/ZORVideoService"), mapped());
    EXPECT_TRUE(zv::linkInstalledRecorder(installed));
    EXPECT_EQ(fs::read_symlink(mapped()), fs::canonical(installed));
}

TEST_F(RecorderLinkTest, WithoutAnInstalledRecorderNothingIsMade) {
    const std::string notExecutable = installRecorder("plain", fs::perms::owner_read);
    fs::create_directories(root_.file("usr/bin/folder"));
    for (const std::string &installed : {std::string(), root_.file("usr/bin/missing"),
                                         notExecutable, root_.file("usr/bin/folder")}) {
        EXPECT_FALSE(zv::linkInstalledRecorder(installed)) << installed;
    }
    EXPECT_FALSE(fs::exists(root_.file("drive_c")));
}

// The window as load() leaves it, shown without a modal loop; ticks of Timer1 are driven by hand
// one simulated second apart.
class MonitorTest : public ::testing::Test {
protected:
    TVideoForm &open() {
        form = std::make_unique<TVideoForm>(settings, fakes.bundle());
        form->show();
        return *form;
    }
    void tick(int times = 1) {
        for (int i = 0; i < times; ++i) {
            fakes.clock.advance(1000);
            form->Timer1Timer();
        }
    }
    void recorderWindows() { fakes.windows.list = {{11, "ZorvideoService"}, {12, "TempForm"}}; }
    std::vector<bool> image1Hidden(int ticks) {
        std::vector<bool> states;
        for (int i = 0; i < ticks; ++i) {
            tick();
            states.push_back(form->Image1->isHidden());
        }
        return states;
    }
    void placeRecorderExecutable() {
        zvtest::writeFile(zv::nativePath("C:\\VELD\\ZORVideoService.exe"), "#!/bin/sh\n");
    }

    zvtest::TempRoot root;
    zvtest::FakeControlServices fakes;
    TRecordingSettings settings;
    std::vector<std::string> messages;
    zv::ScopedMessageHandler recorder{
        [this](const std::string &text, zv::MessageKind) { messages.push_back(text); }};
    std::unique_ptr<TVideoForm> form;
};

TEST_F(MonitorTest, WithoutTheRecorderTheMarkBlinksEverySecond) {
    TVideoForm &f = open();
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_EQ(f.Timer1->interval(), 1000);
    EXPECT_EQ(fakes.windows.reads, 1);  // FormShow asks once
    // The full checks (every fourth tick) force the mark visible, in step with the blinking.
    EXPECT_EQ(image1Hidden(9),
              (std::vector<bool>{false, true, false, true, false, true, false, true, false}));
    EXPECT_EQ(fakes.windows.reads, 1 + 3);
    EXPECT_TRUE(f.bGo->isEnabled());
    EXPECT_FALSE(f.bStop->isEnabled());
    EXPECT_FALSE(f.Image2->isHidden());
    EXPECT_FALSE(f.Image3->isHidden());
}

TEST_F(MonitorTest, LowerCaseRecorderTitleIsFoundWithinFourSeconds) {
    TVideoForm &f = open();
    tick(2);
    fakes.windows.list = {{5, "ZorvideoService2"}};  // a longer title is not the recorder
    tick(4);
    EXPECT_TRUE(f.bGo->isEnabled());
    fakes.windows.list.push_back({6, "zorvideoservice"});
    int ticks = 0;
    while (!(f.Image1->isHidden() && !f.bGo->isEnabled() && f.bStop->isEnabled()) && ticks < 10) {
        tick();
        ++ticks;
    }
    EXPECT_LE(ticks, 4);
    EXPECT_EQ(image1Hidden(5), std::vector<bool>(5, true)) << "no blinking while it runs";

    fakes.windows.list.clear();  // the recorder ended
    const std::vector<bool> states = image1Hidden(8);
    EXPECT_NE(std::count(states.begin(), states.end(), false), 0);
    EXPECT_NE(std::count(states.begin(), states.end(), true), 0);
    EXPECT_TRUE(f.bGo->isEnabled());
}

// A recorder that runs but records nothing (the state on its window says so) blinks the mark as
// one that is not running would, while recording is switched on; the hint says why.
TEST_F(MonitorTest, ARunningRecorderThatRecordsNothingBlinksWithTheReason) {
    settings.EnableRec = true;
    recorderWindows();
    auto state = [&](const char *text) {
        fakes.windows.properties[{11, "_ZORVIDEO_RECORDER_STATE"}] = text;
    };
    state("recording");
    TVideoForm &f = open();
    EXPECT_EQ(image1Hidden(6), std::vector<bool>(6, true));
    EXPECT_FALSE(f.bGo->isEnabled());
    EXPECT_TRUE(f.bStop->isEnabled());

    state("failing: Кадр не записан: Отказано в доступе");
    const std::vector<bool> failing = image1Hidden(8);
    EXPECT_NE(std::count(failing.begin(), failing.end(), false), 0);
    EXPECT_NE(std::count(failing.begin(), failing.end(), true), 0);
    EXPECT_TRUE(f.bStop->isEnabled()) << "it still runs and can be stopped";
    EXPECT_TRUE(f.Image1->toolTip().contains(text("запущена, но не записывает")));
    EXPECT_TRUE(f.Image1->toolTip().contains(text("Кадр не записан: Отказано в доступе")))
        << f.Image1->toolTip().toStdString();
    QTest::mouseClick(f.Image2, Qt::LeftButton);
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back().find("Отказано в доступе"), std::string::npos) << messages.back();

    state("paused: мало места на диске: свободно 2 МБ, нужно больше 4 МБ");
    tick(4);
    EXPECT_TRUE(f.Image1->toolTip().contains(text("свободно 2 МБ")));

    // Recording switched off in cnf.INI: nothing is expected, nothing blinks.
    settings.EnableRec = false;
    tick(4);
    EXPECT_EQ(image1Hidden(6), std::vector<bool>(6, true));
    // Back to recording, or an older recorder that publishes no state: all is well.
    settings.EnableRec = true;
    state("recording");
    tick(4);
    EXPECT_EQ(image1Hidden(6), std::vector<bool>(6, true));
    EXPECT_EQ(f.Image1->toolTip(), text("Мигающая картинка сигнализирует о том, \nчто сервис "
                                        "записи видео не запущен!"));
    fakes.windows.properties.clear();
    EXPECT_EQ(image1Hidden(6), std::vector<bool>(6, true));
}

TEST_F(MonitorTest, ButtonsKeepTheirStatesUntilTheFirstFullCheck) {
    // The tick counter is young: LastCheckTick starts at 0, and 3000 exactly is not "more".
    fakes.clock.advance(1000 - 100'000);
    recorderWindows();
    fakes.autostart.entries["ZORVideo"] = "x";
    TVideoForm &f = open();
    tick(2);  // 3000 ms
    for (QPushButton *b : {f.bGo, f.bStop, f.bAddAuto, f.bDelAuto})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_EQ(fakes.windows.reads, 1);
    tick();
    EXPECT_FALSE(f.bGo->isEnabled());
    EXPECT_FALSE(f.bAddAuto->isEnabled());
    EXPECT_TRUE(f.bDelAuto->isEnabled());
}

TEST_F(MonitorTest, FullChecksAcrossTheWrapOfTheTickCounter) {
    fakes.clock.advance(0xFFFFFFFFu - 1500 - 100'000);
    open();
    tick();  // a full check just before the wrap
    EXPECT_EQ(fakes.windows.reads, 2);
    tick(3);  // 3000 ms later, across the wrap
    EXPECT_EQ(fakes.windows.reads, 2);
    tick();
    EXPECT_EQ(fakes.windows.reads, 3);
    EXPECT_LT(fakes.clock.tickCount(), 5000u);
}

TEST_F(MonitorTest, DiskMarkBlinksAtOrBelowTheLimitOfTheAppliedSettings) {
    settings.MinHDDSize = 1000;
    settings.OutFile = "D:\\rec\\big.zvf";
    fakes.freeSpace.bytes = 1000 * kMiB;
    TVideoForm &f = open();
    f.edFileForRec->setText("E:\\typed\\not applied.zvf");
    tick();
    EXPECT_EQ(fakes.freeSpace.lastPath, "D:\\rec\\big.zvf");
    EXPECT_TRUE(f.Image4->isHidden());  // low now, but the mark keeps its state until it blinks
    tick();
    EXPECT_FALSE(f.Image4->isHidden());
    tick();
    EXPECT_TRUE(f.Image4->isHidden());
    tick();
    EXPECT_FALSE(f.Image4->isHidden());

    fakes.freeSpace.bytes = 1000 * kMiB + 1;
    tick();  // the full check: enough space, the mark goes
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(f.Image4->isHidden());
        tick();
    }

    fakes.freeSpace.bytes.reset();  // cannot be measured: blinks as for low space
    tick(4);
    const bool before = f.Image4->isHidden();
    tick();
    EXPECT_NE(f.Image4->isHidden(), before);
}

TEST_F(MonitorTest, NegativeLimitNeverSignalsLowSpace) {
    settings.MinHDDSize = -5;
    fakes.freeSpace.bytes = 0;
    TVideoForm &f = open();
    for (int i = 0; i < 9; ++i) {
        tick();
        EXPECT_TRUE(f.Image4->isHidden());
    }
}

TEST_F(MonitorTest, AutostartChangesAtOnceAndTheButtonsAtTheNextFullCheck) {
    TVideoForm &f = open();
    tick();  // full check: no entry
    EXPECT_TRUE(f.bAddAuto->isEnabled());
    EXPECT_FALSE(f.bDelAuto->isEnabled());
    tick();
    const bool markBefore = f.Image1->isHidden();
    QTest::mouseClick(f.bAddAuto, Qt::LeftButton);
    EXPECT_EQ(fakes.autostart.entries.at("ZORVideo"),
              zv::nativePath("C:\\VELD\\ZORVideoService.exe"));
    EXPECT_NE(f.Image1->isHidden(), markBefore) << "the button runs one tick";
    EXPECT_TRUE(f.bAddAuto->isEnabled());  // within 3 s of the last full check
    tick(2);
    EXPECT_TRUE(f.bAddAuto->isEnabled());
    tick();
    EXPECT_FALSE(f.bAddAuto->isEnabled());
    EXPECT_TRUE(f.bDelAuto->isEnabled());

    // Past the 3 s the button's own tick makes the full check.
    tick(3);
    fakes.clock.advance(1);
    QTest::mouseClick(f.bDelAuto, Qt::LeftButton);
    EXPECT_TRUE(fakes.autostart.entries.empty());
    EXPECT_TRUE(f.bAddAuto->isEnabled());
    EXPECT_FALSE(f.bDelAuto->isEnabled());
    EXPECT_TRUE(messages.empty());
}

TEST_F(MonitorTest, AStoreThatRefusesWritesChangesNothingAndShowsNothing) {
    fakes.autostart.refuseWrites = true;
    TVideoForm &f = open();
    tick(5);
    QTest::mouseClick(f.bAddAuto, Qt::LeftButton);
    tick(5);
    EXPECT_TRUE(fakes.autostart.entries.empty());
    EXPECT_TRUE(f.bAddAuto->isEnabled());
    EXPECT_FALSE(f.bDelAuto->isEnabled());
    EXPECT_TRUE(messages.empty());
}

TEST_F(MonitorTest, ClosingStopsTheBlinkingWhereItStandsAndReopeningKeepsTheStates) {
    TVideoForm &f = open();
    tick(2);  // full check at the first tick, the mark hidden by the second
    ASSERT_TRUE(f.Image1->isHidden());
    f.reject();
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_TRUE(f.Image1->isHidden());

    // The recorder comes up while the window is closed; reopened within 3 s of the last check,
    // the window knows it runs (no blinking) but shows the old states until the full check.
    recorderWindows();
    fakes.clock.advance(1000);
    f.show();
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_TRUE(f.bGo->isEnabled());
    EXPECT_FALSE(f.bStop->isEnabled());
    tick();  // 3000 ms since the last full check: not yet
    EXPECT_TRUE(f.Image1->isHidden());
    EXPECT_TRUE(f.bGo->isEnabled());
    tick();
    EXPECT_FALSE(f.bGo->isEnabled());
    EXPECT_TRUE(f.bStop->isEnabled());
}

TEST_F(MonitorTest, HostQueryHidesTheButtonsWhileTheMonitorStillSetsThem) {
    TVideoForm &f = open();
    f.reject();
    f.setHostQuery([](zv::Variant *answer, int32_t, int32_t) {
        answer->vt = zv::VT_I4;
        answer->lVal = 1;
    });
    recorderWindows();
    fakes.autostart.entries["ZORVideo"] = "x";
    f.show();
    tick(4);
    const QPushButton *buttons[] = {f.bGo, f.bStop, f.bAddAuto, f.bDelAuto};
    for (const QPushButton *b : buttons)
        EXPECT_TRUE(b->isHidden());
    EXPECT_FALSE(f.bGo->isEnabled());
    EXPECT_TRUE(f.bStop->isEnabled());
    EXPECT_FALSE(f.bAddAuto->isEnabled());
    EXPECT_TRUE(f.bDelAuto->isEnabled());
}

TEST_F(MonitorTest, StartRunsTheMappedExecutableAndWaitsThreeSeconds) {
    placeRecorderExecutable();
    TVideoForm &f = open();
    std::vector<std::pair<QString, QColor>> during;
    fakes.clock.onSleep = [&] { during.emplace_back(f.bGo->text(), captionColour(f.bGo)); };
    QTest::mouseClick(f.bGo, Qt::LeftButton);
    EXPECT_EQ(fakes.processes.started,
              std::vector<std::string>{zv::nativePath("C:\\VELD\\ZORVideoService.exe")});
    EXPECT_EQ(fakes.clock.totalSlept(), 61u * 50u);
    ASSERT_EQ(during.size(), 61u);
    EXPECT_EQ(during.front(), std::make_pair(text("Ждем..."), kBlue));
    EXPECT_EQ(during.back(), std::make_pair(text("Ждем..."), kBlue));
    EXPECT_EQ(f.bGo->text(), text("Запустить"));
    EXPECT_EQ(captionColour(f.bGo), kBlack);
    EXPECT_TRUE(messages.empty());
    // A disabled button stays grey, whatever colour its caption has.
    EXPECT_NE(f.bGo->palette().color(QPalette::Disabled, QPalette::ButtonText), kBlack);
    EXPECT_EQ(f.bGo->palette().color(QPalette::Disabled, QPalette::ButtonText),
              f.bAddAuto->palette().color(QPalette::Disabled, QPalette::ButtonText));

    // A start that fails is not reported; the monitor goes on finding no recorder.
    fakes.processes.result = false;
    QTest::mouseClick(f.bGo, Qt::LeftButton);
    EXPECT_EQ(fakes.processes.started.size(), 2u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MonitorTest, StartWithoutTheExecutableSaysSoAtOnce) {
    TVideoForm &f = open();
    std::pair<QString, QColor> whileShown;
    zv::ScopedMessageHandler box([&](const std::string &message, zv::MessageKind kind) {
        messages.push_back(message);
        EXPECT_EQ(kind, zv::MessageKind::TopMost);
        whileShown = {f.bGo->text(), captionColour(f.bGo)};
    });
    QTest::mouseClick(f.bGo, Qt::LeftButton);
    EXPECT_EQ(messages, std::vector<std::string>{"Исполняемый файл службы видеозаписи не найден"});
    EXPECT_EQ(whileShown, std::make_pair(text("Ждем..."), kBlue));
    EXPECT_EQ(fakes.clock.totalSlept(), 0u);
    EXPECT_TRUE(fakes.processes.started.empty());
    EXPECT_EQ(f.bGo->text(), text("Запустить"));
    EXPECT_EQ(captionColour(f.bGo), kBlack);
}

TEST_F(MonitorTest, StopSendsTheQuitMessageToTempFormAndWaitsEitherWay) {
    recorderWindows();
    TVideoForm &f = open();
    tick();
    std::vector<QString> captions;
    fakes.clock.onSleep = [&] { captions.push_back(f.bStop->text()); };
    QTest::mouseClick(f.bStop, Qt::LeftButton);
    EXPECT_EQ(fakes.windows.quitSent, std::vector<uint32_t>{12});
    EXPECT_EQ(fakes.clock.totalSlept(), 61u * 50u);
    EXPECT_EQ(captions, std::vector<QString>(61, text("Ждем...")));
    EXPECT_EQ(f.bStop->text(), text("Остановить"));

    fakes.windows.list.clear();
    f.bStop->setEnabled(true);
    QTest::mouseClick(f.bStop, Qt::LeftButton);
    EXPECT_EQ(fakes.windows.quitSent.size(), 1u);
    EXPECT_EQ(fakes.clock.totalSlept(), 2u * 61u * 50u);
    EXPECT_EQ(captionColour(f.bStop), kBlack);
}

TEST_F(MonitorTest, TheWaitHandlesEventsAndSurvivesTheWindowGoingAway) {
    recorderWindows();
    TVideoForm &f = open();
    int rounds = 0;
    fakes.clock.onSleep = [&] {
        if (++rounds == 10)
            QTimer::singleShot(0, [this] { form.reset(); });
    };
    QTest::mouseClick(f.bStop, Qt::LeftButton);
    EXPECT_FALSE(form);
    EXPECT_EQ(rounds, 10) << "the wait ends with the window";
}

TEST_F(MonitorTest, PicturesExplainTheMarks) {
    TVideoForm &f = open();
    const std::string recorderText =
        "Мигающий красный крест сигнализирует о\nтом, что служба видеозаписи не запущена!\n"
        "В противном случае - все хорошо.";
    const std::string diskText =
        "Мигающий крест сигнализирует о том, \nчто мало места на диске для видеозаписи!\n"
        "В противном случае - все хорошо.";
    QTest::mouseClick(f.Image1, Qt::LeftButton);
    f.Image1->hide();
    QTest::mouseClick(f.Image2, Qt::LeftButton);
    QTest::mouseClick(f.Image2, Qt::RightButton);  // not a click
    QTest::mousePress(f.Image3, Qt::RightButton);
    f.Image4->show();
    QTest::mousePress(f.Image4, Qt::MiddleButton);
    EXPECT_EQ(messages, (std::vector<std::string>{recorderText, recorderText, diskText, diskText}));
    EXPECT_TRUE(f.Image2->toolTip().isEmpty());
    EXPECT_EQ(f.Image1->toolTip(), text("Мигающая картинка сигнализирует о том, \nчто сервис "
                                        "записи видео не запущен!"));
}

}  // namespace
