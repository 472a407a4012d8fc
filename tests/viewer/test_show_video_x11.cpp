// The viewer and the message boxes on a real X server (xvfb-run) under a real window manager
// (openbox): keys as the X server delivers them (xdotool), full-window mode as the window manager
// carries it out, and window titles as X11 holds them.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QAction>
#include <QApplication>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "platform/Messages.h"
#include "support/Fakes.h"
#include "support/TempRoot.h"
#include "support/TestWindows.h"
#include "support/WindowManagerEnvironment.h"
#include "viewer/Recordings.h"
#include "viewer/ShowVideoUnit.h"
#include "viewer/VideoPlayer.h"
#include "widgets/MessageBoxes.h"

namespace {

xcb_connection_t *connection() {
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(const char *name) {
    const auto cookie =
        xcb_intern_atom(connection(), 0, static_cast<uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection(), cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// A property of a window as bytes; "<none>" when the window has no such property.
std::string windowProperty(xcb_window_t window, xcb_atom_t property) {
    const auto cookie =
        xcb_get_property(connection(), 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection(), cookie, nullptr), &std::free);
    if (!reply || reply->type == XCB_ATOM_NONE)
        return "<none>";
    const auto *data = static_cast<const char *>(xcb_get_property_value(reply.get()));
    return std::string(data, static_cast<size_t>(xcb_get_property_value_length(reply.get())));
}

// Runs the event loop until done() holds or timeoutMs pass; done() at the end.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QTest::qWait(20);
    return done();
}

// Real input: xdotool activates the window through the window manager and types through XTEST.
void xdotool(const QWidget &window, const QStringList &keys) {
    QStringList arguments{QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                          QString::number(window.winId()), QStringLiteral("key")};
    arguments += keys;
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), arguments), 0) << "xdotool failed";
}

// openbox for the whole program: full-window mode and activation go through a window manager.
const auto *const kWindowManager =
    ::testing::AddGlobalTestEnvironment(new zvtest::WindowManagerEnvironment);

class ShowVideoX11Test : public ::testing::Test {
protected:
    std::unique_ptr<TShowVideoForm> openShown(int frames) {
        zvtest::makeRecording(file, frames);
        auto form = std::make_unique<TShowVideoForm>(nullptr, clock);
        EXPECT_TRUE(form->OpenVideoFile(file));
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }
    static bool fillsTheScreen(const QWidget &form) {
        return form.geometry() == form.screen()->geometry();
    }

    zvtest::TempRoot root;
    zvtest::FakeClock clock;
    const std::string file = root.file("rec.zvf");
};

TEST_F(ShowVideoX11Test, KeypadKeysOfTheXServerChangeTheInterval) {
    auto form = openShown(5);
    form->sbPlay->click();
    form->player().pause();
    ASSERT_EQ(form->Timer1->interval(), 950);
    QSignalSpy minus(form->acMinus, &QAction::triggered);
    QSignalSpy plus(form->acPlus, &QAction::triggered);

    xdotool(*form, {QStringLiteral("KP_Subtract")});
    ASSERT_TRUE(minus.wait(5000)) << "keypad minus did not reach acMinus";
    EXPECT_EQ(form->Timer1->interval(), 970);
    xdotool(*form, {QStringLiteral("KP_Add")});
    ASSERT_TRUE(plus.wait(5000));
    EXPECT_EQ(form->Timer1->interval(), 950);
    // The plain minus is no shortcut; the keypad plus after it shows that it has been handled.
    xdotool(*form, {QStringLiteral("minus"), QStringLiteral("KP_Add")});
    ASSERT_TRUE(plus.wait(5000));
    EXPECT_EQ(form->Timer1->interval(), 930);
    EXPECT_EQ(minus.count(), 1);

    // Typed into the date-time field, the key belongs to the field.
    form->edGoTime->setFocus();
    ASSERT_TRUE(waitFor([&] { return form->edGoTime->hasFocus(); }));
    xdotool(*form, {QStringLiteral("KP_Subtract"), QStringLiteral("Escape")});
    QTest::qWait(200);
    EXPECT_EQ(minus.count(), 1);
    EXPECT_EQ(form->Timer1->interval(), 930);
}

TEST_F(ShowVideoX11Test, EscapeLeavesFullWindowModeAndThenCloses) {
    auto form = openShown(5);
    form->pbDblClick();
    ASSERT_TRUE(waitFor([&] { return fillsTheScreen(*form); }));
    xdotool(*form, {QStringLiteral("Escape")});
    ASSERT_TRUE(waitFor([&] { return !form->isFullWindow(); }));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->MainPanel->isVisible());
    EXPECT_NE(form->videoFile(), nullptr);
    xdotool(*form, {QStringLiteral("Escape")});
    EXPECT_TRUE(waitFor([&] { return !form->isVisible(); }));
}

TEST_F(ShowVideoX11Test, ClosingInFullWindowModeKeepsTheNormalPlacement) {
    zvtest::makeRecording(file, 5);
    QSize normal;
    {
        TShowVideoForm form(nullptr, clock);
        ASSERT_TRUE(form.OpenVideoFile(file));
        form.setGeometry(100, 80, 640, 500);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        ASSERT_TRUE(waitFor([&] { return form.size() == QSize(640, 500); }));
        normal = form.size();
        form.pbDblClick();
        ASSERT_TRUE(waitFor([&] { return fillsTheScreen(form); }));
        form.close();  // as the window manager's close does: no button in this mode
    }
    TShowVideoForm again(nullptr, clock);
    ASSERT_TRUE(again.OpenVideoFile(file));
    EXPECT_EQ(again.size(), normal);
    EXPECT_FALSE(again.windowState() & Qt::WindowFullScreen);
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_TRUE(again.BitBtn1->isVisible());
    EXPECT_FALSE(fillsTheScreen(again));
}

TEST_F(ShowVideoX11Test, CtrlArrowsAndTheirButtonsGoToTheChangesOfTheScreen) {
    // Runs of 5, 5 and 10 frames whose pictures differ only in their palettes.
    zvtest::makeRuns(file, {5, 5, 10});
    auto form = std::make_unique<TShowVideoForm>(nullptr, clock);
    ASSERT_TRUE(form->OpenVideoFile(file));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    zv::VideoPlayer &player = form->player();
    auto press = [&](const char *key, int32_t expected) {
        xdotool(*form, {QString::fromLatin1(key)});
        EXPECT_TRUE(
            waitFor([&] { return player.position() == expected && !player.isSearching(); }, 10'000))
            << key << " gave " << player.position() << ", not " << expected;
    };
    press("ctrl+Right", 5);
    press("ctrl+Right", 10);
    press("ctrl+Right", 19);  // no change after 10: the end of the file
    press("ctrl+Right", 19);
    press("ctrl+Left", 10);
    press("ctrl+Left", 5);
    press("Right", 6);  // the arrow alone still steps one frame
    press("ctrl+Left", 5);
    EXPECT_EQ(form->RxSlider1->value(), 5);
    EXPECT_EQ(form->lbFRNum->text(), QStringLiteral("6/20"));

    QTest::mouseClick(form->sbNextChange, Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] { return player.position() == 10 && !player.isSearching(); }));
    QTest::mouseClick(form->sbPrevChange, Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] { return player.position() == 5 && !player.isSearching(); }));
    EXPECT_FALSE(form->sbNextChange->toolTip().isEmpty());
    EXPECT_FALSE(form->sbSkipStill->isChecked());
    QTest::mouseClick(form->sbSkipStill, Qt::LeftButton);
    EXPECT_TRUE(player.skipStill());
}

TEST(MessageBoxesX11, TitleIsEmptyNotTheProgramsName) {
    const zv::MessageHandler before = zv::setMessageHandler({});
    zv::installMessageBoxes();
    for (zv::MessageKind kind : {zv::MessageKind::Plain, zv::MessageKind::TopMost}) {
        std::string wmName = "<unread>", netWmName = "<unread>";
        QTimer::singleShot(0, [&] {
            QMessageBox *box = nullptr;
            ASSERT_TRUE(waitFor([&] {
                box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                return box && box->isVisible();
            }));
            ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
            const auto id = static_cast<xcb_window_t>(box->winId());
            wmName = windowProperty(id, XCB_ATOM_WM_NAME);
            netWmName = windowProperty(id, atom("_NET_WM_NAME"));
            box->button(QMessageBox::Ok)->click();
        });
        zv::showMessage("Ошибка получения данных из файла видео:\rпроверка", kind);
        EXPECT_EQ(wmName, "");
        EXPECT_EQ(netWmName, "");
    }
    zv::setMessageHandler(before);
}

}  // namespace
