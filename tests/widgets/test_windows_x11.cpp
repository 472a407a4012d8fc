// The windows under a real X server and window manager, driven with real input (xdotool): what
// the operator types reaches the settings the way the keys and clicks deliver it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include "platform/Cp1251.h"
#include "platform/Messages.h"
#include "recording/VideoUnit.h"
#include "support/FakeControlServices.h"
#include "support/Fakes.h"
#include "support/TempRoot.h"
#include "support/TestWindows.h"
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

}  // namespace
