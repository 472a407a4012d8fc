// The windows under a real X server and window manager, driven with real input (xdotool): what
// the operator types reaches the settings the way the keys and clicks deliver it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "export/VideoExportUnit.h"
#include "platform/Cp1251.h"
#include "platform/Messages.h"
#include "recording/VideoUnit.h"
#include "support/FakeControlServices.h"
#include "support/Fakes.h"
#include "support/TempRoot.h"
#include "support/TestWindows.h"
#include "viewer/Recordings.h"
#include "widgets/SpinEdit.h"

namespace {

void xdotool(const QStringList &args) {
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), args), 0) << "xdotool";
}

// A real click in the middle of the widget.
void click(QWidget *widget) {
    const QPoint at = widget->mapToGlobal(widget->rect().center());
    xdotool(
        {"mousemove", "--sync", QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

// Clicks into a field, selects what it shows and types keys, as the operator replaces a value.
void typeInto(QWidget *field, const QString &keys) {
    click(field);
    ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }, 3000));
    xdotool({"key", "--clearmodifiers", "ctrl+a"});
    xdotool({"type", "--delay", "20", keys});
    QTest::qWait(100);
}

class WindowsX11Test : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    std::string cnf() const {
        return zv::cp1251ToUtf8(zvtest::readFile(root.file("drive_c/WINDOWS/cnf.INI")));
    }

    zvtest::TempRoot root;
    zvtest::WindowManager manager{root.path()};
    zvtest::FakeControlServices services;
    TRecordingSettings settings;
    zv::ScopedMessageHandler quiet{[](const std::string &, zv::MessageKind) {}};
};

TEST_F(WindowsX11Test, TypedSpinValuesOutsideTheLimitsApplyAsTheNearestLimit) {
    TVideoForm form(settings, services.bundle());
    form.LoadSettings();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    typeInto(form.seFrameDelay, QStringLiteral("30"));
    xdotool({"key", "Return"});  // also presses the default button, "Применить"
    ASSERT_TRUE(QTest::qWaitFor([&] { return settings.WaitForNextFrame == 40; }, 3000))
        << settings.WaitForNextFrame;
    EXPECT_EQ(form.seFrameDelay->text(), QStringLiteral("40"));

    typeInto(form.seHDDSize, QStringLiteral("10"));
    click(form.BitBtn1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return settings.MinHDDSize == 50; }, 3000))
        << settings.MinHDDSize;
    EXPECT_NE(cnf().find("zvMinHDDSize=50\r\n"), std::string::npos) << cnf();
    EXPECT_NE(cnf().find("zvWaitForNextFrame=40\r\n"), std::string::npos) << cnf();
}

// Runs step on the event loop every 50 ms until it answers true, then waits for done; the nested
// modal loops of the windows under test keep it going. Past ceilingMs it closes every modal
// window, so that a window that ignores its keys cannot hang the test. True when step finished
// and done came true within the ceiling.
bool driveUntil(const std::function<bool()> &step, int ceilingMs,
                const std::function<bool()> &done) {
    QTimer driver;
    QElapsedTimer clock;
    clock.start();
    bool finished = false;
    bool timedOut = false;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (clock.elapsed() > ceilingMs) {
            timedOut = true;
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        } else if (!finished && step()) {
            finished = true;
        }
    });
    driver.start(50);
    const bool ended = QTest::qWaitFor(done, ceilingMs * 2);
    return finished && ended && !timedOut;
}

TEST_F(WindowsX11Test, ExportWindowOpenedThroughTheFileDialogTakesEscapeAndShowsItsTitleBar) {
    const std::string recording = root.file("rec.zvf");
    zvtest::makeRecording(recording, 5);
    TVideoForm form(settings, services.bundle());
    bool exportClosed = false;
    form.setExportFile([&](const std::string &name) {
        zv::showExportWindow(name);
        exportClosed = true;
    });
    form.LoadSettings();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    // The file dialog: its name field has the focus; the name and Return, as the operator
    // confirms it. Then, once the export window is up, one Esc.
    int stage = 0;
    auto step = [&]() -> bool {
        QWidget *modal = QApplication::activeModalWidget();
        if (stage == 0 && modal && modal->inherits("QFileDialog") && modal->isVisible()) {
            modal->activateWindow();
            if (!QTest::qWaitForWindowActive(modal, 5000))
                return false;
            xdotool({"type", "--delay", "10", QString::fromStdString(recording)});
            xdotool({"key", "Return"});
            stage = 1;
        } else if (stage == 1 && modal && modal->inherits("TExportForm") && modal->isVisible()) {
            // Once the window manager has framed it and the window has put its frame in the
            // corner (a window whose title bar stays above the screen fails at this stage).
            const bool placed =
                modal->frameGeometry().topLeft() == QPoint(0, 0) && modal->geometry().top() > 0;
            if (placed) {
                xdotool({"key", "Escape"});
                stage = 2;
                return true;
            }
        }
        return false;
    };
    click(form.BitBtn2);
    const bool escaped = driveUntil(step, 30000, [&] { return exportClosed; });
    // Stage 1: the export window never had its title bar on the screen; stage 2: the first Esc
    // did not close it (a completion list of the file dialog took the key).
    EXPECT_TRUE(escaped) << "stage " << stage;
}

}  // namespace
