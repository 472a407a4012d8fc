#include "widgets/MessageBoxes.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/Messages.h"

namespace zv {

namespace {

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// On X11 Qt gives a window whose title is empty the program's name instead (WM_NAME and
// _NET_WM_NAME); a message box's title is empty, so both are emptied once Qt has written them.
// Qt's own connection keeps the requests in order with its own. Elsewhere nothing is done.
void clearNativeTitle(QWidget &window) {
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t *connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window.winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        0, nullptr);
    const xcb_atom_t netName = internAtom(connection, "_NET_WM_NAME");
    const xcb_atom_t utf8 = internAtom(connection, "UTF8_STRING");
    if (netName != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netName, utf8, 8, 0, nullptr);
    xcb_flush(connection);
}

}  // namespace

void installMessageBoxes() {
    setMessageHandler([](const std::string &text, MessageKind kind) {
        QMessageBox box(QMessageBox::NoIcon, QString(), QString::fromStdString(text),
                        QMessageBox::Ok);
        box.setWindowModality(Qt::ApplicationModal);
        if (kind == MessageKind::TopMost)
            box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
        box.winId();  // the native window exists, with the title Qt gave it
        clearNativeTitle(box);
        box.exec();
    });
}

}  // namespace zv
