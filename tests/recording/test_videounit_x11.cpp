// The settings window against a real X display (xvfb-run), bare and under a reparenting window
// manager: the recorder stand-in started, found and stopped through the real services, the
// autostart entry in real folders, and every press a real mouse click (xdotool).
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "platform/Messages.h"
#include "platform/Paths.h"
#include "recording/VideoUnit.h"
#include "support/TempRoot.h"
#include "support/TestWindows.h"
#include "widgets/MessageBoxes.h"

namespace {

namespace fs = std::filesystem;

const QColor kBlue(0, 0, 255);

QString text(const char *utf8) {
    return QString::fromUtf8(utf8);
}

// A real click in the middle of the widget, through the X server.
void click(QWidget *widget) {
    const QPoint at = widget->mapToGlobal(widget->rect().center());
    const int status = QProcess::execute("xdotool", {"mousemove", "--sync", QString::number(at.x()),
                                                     QString::number(at.y()), "click", "1"});
    ASSERT_EQ(status, 0) << "xdotool";
}

// Whether the process has ended (gone, or a zombie nobody reaped yet).
bool processEnded(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t close = text.rfind(')');
    return close == std::string::npos || text.substr(close + 2, 1) == "Z";
}

class RecorderWindowTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam())
            manager = std::make_unique<zvtest::WindowManager>(root.path());
        autostart = root.file("autostart");
        fs::create_directories(autostart);
        ::setenv("ZORVIDEO_AUTOSTART_DIR", autostart.c_str(), 1);
        pidFile = root.file("standin.pid");
        ::setenv("ZV_STANDIN_PIDFILE", pidFile.c_str(), 1);
        settings.OutFile = root.file("rec/BigFile.zvf");
        settings.MinHDDSize = -1;
    }
    void TearDown() override {
        form.reset();
        // A stand-in left running by a failed test is ours to end.
        if (const int pid = standInPid(); pid > 0 && !processEnded(pid))
            ::kill(pid, SIGTERM);
        ::unsetenv("ZORVIDEO_AUTOSTART_DIR");
        ::unsetenv("ZV_STANDIN_PIDFILE");
    }
    // The stand-in at the recorder's place, its windows mapped under a window manager so that
    // they are framed, unmapped otherwise as the recorder keeps them.
    void installStandIn() {
        const std::string exe = zv::nativePath("C:\\VELD\\ZORVideoService.exe");
        zvtest::writeFile(exe, std::string("#!/bin/sh\nexec '") + ZV_RECORDER_STANDIN + "'" +
                                   (GetParam() ? " --mapped" : "") + "\n");
        fs::permissions(exe, fs::perms::owner_all);
    }
    int standInPid() const {
        std::ifstream in(pidFile);
        int pid = 0;
        in >> pid;
        return pid;
    }
    TVideoForm &open() {
        form = std::make_unique<TVideoForm>(settings);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return *form;
    }
    bool recorderShownRunning() const {
        return form->Image1->isHidden() && !form->bGo->isEnabled() && form->bStop->isEnabled();
    }
    // Whether Image1 changes its visibility within the time. It changes every second, except
    // that a full check forces it visible: when a check comes three ticks after the last one
    // (the ticks run a little late), the mark stays visible for two seconds. The ceiling is
    // generous: on a loaded machine the ticks come late.
    bool image1Blinks(int ms = 10000) {
        const bool hidden = form->Image1->isHidden();
        return QTest::qWaitFor([&] { return form->Image1->isHidden() != hidden; }, ms);
    }

    zvtest::TempRoot root;
    std::unique_ptr<zvtest::WindowManager> manager;
    std::string autostart, pidFile;
    TRecordingSettings settings;
    std::unique_ptr<TVideoForm> form;
};

TEST_P(RecorderWindowTest, StartFindAndStopTheRecorder) {
    installStandIn();
    TVideoForm &f = open();
    ASSERT_TRUE(image1Blinks());
    ASSERT_TRUE(image1Blinks());
    EXPECT_TRUE(f.bGo->isEnabled());
    EXPECT_FALSE(f.bStop->isEnabled());

    QElapsedTimer clock;
    clock.start();
    click(f.bGo);
    // The press waits about 3 s; the full check that follows comes within 4 s of the start on
    // a quiet machine (the monitor's timing itself is tested with a clock of the test's own).
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorderShownRunning(); }, 30000))
        << "the recorder is not seen running";
    EXPECT_EQ(f.bGo->text(), text("Запустить"));
    const int pid = standInPid();
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(processEnded(pid));
    EXPECT_FALSE(image1Blinks(2500)) << "the mark blinks while the recorder runs";

    click(f.bStop);
    EXPECT_TRUE(QTest::qWaitFor([&] { return processEnded(pid); }, 20000))
        << "the recorder did not end on the quit message";
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.bGo->isEnabled(); }, 30000));
    EXPECT_FALSE(f.bStop->isEnabled());
    EXPECT_EQ(f.bStop->text(), text("Остановить"));
    EXPECT_TRUE(image1Blinks());
    EXPECT_TRUE(image1Blinks());
}

TEST_P(RecorderWindowTest, MissingExecutableAndNothingToStop) {
    if (GetParam())
        GTEST_SKIP() << "no window of the recorder takes part";
    zv::installMessageBoxes();
    TVideoForm &f = open();
    QString shown;
    qint64 shownAfter = -1;
    QElapsedTimer clock;
    QTimer watch;
    watch.callOnTimeout([&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || shownAfter >= 0)
            return;
        shownAfter = clock.elapsed();
        shown = box->text();
        QTimer::singleShot(100, [box] { click(box->button(QMessageBox::Ok)); });
    });
    watch.start(20);
    clock.start();
    click(f.bGo);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return shownAfter >= 0 && !QApplication::activeModalWidget(); }, 20000));
    // Well before the 3 s wait that a started recorder gets.
    EXPECT_LT(shownAfter, 2500) << "the message comes without the wait";
    EXPECT_EQ(shown, text("Исполняемый файл службы видеозаписи не найден"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.bGo->text() == text("Запустить"); }, 10000));
    zv::setMessageHandler({});

    // No "TempForm": the button still says it waits, in blue, for about 3 s.
    f.bStop->setEnabled(true);
    qint64 first = -1, last = -1;
    bool blue = true;
    watch.disconnect();
    watch.callOnTimeout([&] {
        if (f.bStop->text() != text("Ждем..."))
            return;
        last = clock.elapsed();
        first = first < 0 ? last : first;
        // The monitor disables the button meanwhile (nothing runs); a disabled caption is grey
        // whatever its colour, so the colour looked at is the enabled one.
        blue = blue && f.bStop->palette().color(QPalette::Active, QPalette::ButtonText) == kBlue;
    });
    clock.restart();
    click(f.bStop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first >= 0 && f.bStop->text() == text("Остановить"); },
                                30000));
    // About 3 s: 61 sleeps of 50 ms; a loaded machine only makes it longer.
    EXPECT_GT(last - first, 2700);
    EXPECT_LT(last - first, 10000);
    EXPECT_TRUE(blue);
}

TEST_P(RecorderWindowTest, AutostartInARealAndAReadOnlyFolder) {
    if (GetParam())
        GTEST_SKIP() << "no window of the recorder takes part";
    TVideoForm &f = open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.bDelAuto->isEnabled(); }, 20000));
    click(f.bAddAuto);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return fs::exists(autostart + "/ZORVideo.desktop"); }, 10000));
    EXPECT_NE(zvtest::readFile(autostart + "/ZORVideo.desktop")
                  .find("Exec=\"" + zv::nativePath("C:\\VELD\\ZORVideoService.exe") + "\"\n"),
              std::string::npos);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.bDelAuto->isEnabled(); }, 20000));
    EXPECT_FALSE(f.bAddAuto->isEnabled());
    click(f.bDelAuto);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !fs::exists(autostart + "/ZORVideo.desktop"); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.bAddAuto->isEnabled(); }, 20000));

    std::vector<std::string> messages;
    zv::ScopedMessageHandler recorder(
        [&](const std::string &message, zv::MessageKind) { messages.push_back(message); });
    fs::permissions(autostart, fs::perms::owner_read | fs::perms::owner_exec);
    {
        zvtest::ScopedFileRights rights;
        bool clicked = false;
        QObject::connect(f.bAddAuto, &QPushButton::clicked, [&] { clicked = true; });
        click(f.bAddAuto);
        ASSERT_TRUE(QTest::qWaitFor([&] { return clicked; }, 10000));
        // A full check after the click sets both buttons from what is there: a wrong state put
        // on one of them shows when it has come.
        f.bDelAuto->setEnabled(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f.bDelAuto->isEnabled(); }, 20000))
            << "no full check came";
    }
    fs::permissions(autostart, fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(autostart + "/ZORVideo.desktop"));
    EXPECT_TRUE(f.bAddAuto->isEnabled());
    EXPECT_FALSE(f.bDelAuto->isEnabled());
    EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Display, RecorderWindowTest, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Openbox" : "Bare"; });

}  // namespace
