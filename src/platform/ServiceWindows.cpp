#include "platform/ServiceWindows.h"

#include <unistd.h>

#include <array>
#include <cstring>

#include "platform/Error.h"
#include "platform/Xcb.h"

namespace zv {

namespace {

enum AtomIndex {
    WmProtocols,
    WmDeleteWindow,
    NetWmName,
    Utf8String,
    NetWmPid,
    StateProperty,
    AtomCount
};
constexpr std::array<const char *, AtomCount> kAtomNames = {"WM_PROTOCOLS", "WM_DELETE_WINDOW",
                                                            "_NET_WM_NAME", "UTF8_STRING",
                                                            "_NET_WM_PID",  kServiceStateProperty};

}  // namespace

struct ServiceWindows::State {
    xcb::Connection connection;
    xcb_window_t quitWindow = XCB_NONE;
    xcb_window_t firstWindow = XCB_NONE;
    std::array<xcb_atom_t, AtomCount> atoms{};
    bool quit = false;
    bool another = false;

    void property(xcb_window_t w, xcb_atom_t name, xcb_atom_t type, uint8_t format, uint32_t count,
                  const void *data) {
        xcb_change_property(connection.get(), XCB_PROP_MODE_REPLACE, w, name, type, format, count,
                            data);
    }
    xcb_window_t create(xcb_screen_t *screen, const std::string &title);
    bool claim(xcb_screen_t *screen, const std::string &selection);
};

// Under a grab no other client's request runs between the look and the take, so of any number
// of programs started at once exactly one finds the selection free.
bool ServiceWindows::State::claim(xcb_screen_t *screen, const std::string &selection) {
    xcb_connection_t *c = connection.get();
    const char *name = selection.c_str();
    xcb_atom_t atom = XCB_NONE;
    if (!xcb::internAtoms(c, &name, &atom, 1))
        throw Error("Не удается открыть дисплей X11");
    const xcb_window_t owner = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, owner, screen->root, -100, -100, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_grab_server(c);
    xcb::Reply<xcb_get_selection_owner_reply_t> current(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom), nullptr));
    const bool free = current && current->owner == XCB_NONE;
    if (free)
        xcb_set_selection_owner(c, owner, atom, XCB_CURRENT_TIME);
    xcb_ungrab_server(c);
    xcb::Reply<xcb_get_selection_owner_reply_t> after(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom), nullptr));
    if (!current || !after)
        throw Error("Не удается открыть дисплей X11");
    return free && after->owner == owner;
}

xcb_window_t ServiceWindows::State::create(xcb_screen_t *screen, const std::string &title) {
    xcb_connection_t *c = connection.get();
    const xcb_window_t w = xcb_generate_id(c);
    // An input-only window off the screen; override-redirect keeps a window manager's hands off
    // it should anything ever map it.
    const uint32_t values[] = {1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, -100, -100, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                      values);
    const auto length = static_cast<uint32_t>(title.size());
    property(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, length, title.data());
    property(w, atoms[NetWmName], atoms[Utf8String], 8, length, title.data());
    static const char kClass[] = "ZORVideoService\0ZORVideoService";
    property(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof kClass, kClass);
    property(w, atoms[WmProtocols], XCB_ATOM_ATOM, 32, 1, &atoms[WmDeleteWindow]);
    const uint32_t pid = static_cast<uint32_t>(::getpid());
    property(w, atoms[NetWmPid], XCB_ATOM_CARDINAL, 32, 1, &pid);
    return w;
}

ServiceWindows::ServiceWindows(const std::vector<std::string> &titles, const std::string &quitTitle,
                               const std::string &displayName, const std::string &instanceSelection)
    : s_(std::make_unique<State>()) {
    xcb::Display display = xcb::connect(displayName);
    if (!display.screen ||
        !xcb::internAtoms(display.connection.get(), kAtomNames.data(), s_->atoms.data(), AtomCount))
        throw Error("Не удается открыть дисплей X11");
    s_->connection = std::move(display.connection);
    if (!instanceSelection.empty() && !s_->claim(display.screen, instanceSelection)) {
        s_->another = true;
        return;
    }
    for (const std::string &title : titles) {
        const xcb_window_t w = s_->create(display.screen, title);
        if (s_->firstWindow == XCB_NONE)
            s_->firstWindow = w;
        if (title == quitTitle)
            s_->quitWindow = w;
    }
    // The windows exist for everybody once the server has handled the requests.
    xcb::Reply<xcb_get_input_focus_reply_t> sync(xcb_get_input_focus_reply(
        s_->connection.get(), xcb_get_input_focus(s_->connection.get()), nullptr));
    if (!sync)
        throw Error("Не удается создать окна на дисплее X11");
}

ServiceWindows::~ServiceWindows() = default;  // closing the connection destroys the windows

int ServiceWindows::descriptor() const {
    return xcb_get_file_descriptor(s_->connection.get());
}

bool ServiceWindows::displayLost() const {
    return xcb_connection_has_error(s_->connection.get()) != 0;
}

bool ServiceWindows::anotherInstance() const {
    return s_->another;
}

void ServiceWindows::publishState(const std::string &text) {
    if (s_->firstWindow == XCB_NONE)
        return;
    s_->property(s_->firstWindow, s_->atoms[StateProperty], s_->atoms[Utf8String], 8,
                 static_cast<uint32_t>(text.size()), text.data());
    xcb_flush(s_->connection.get());
}

bool ServiceWindows::quitRequested() {
    xcb_connection_t *c = s_->connection.get();
    while (xcb::Reply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
        if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE)
            continue;
        const auto *message = reinterpret_cast<const xcb_client_message_event_t *>(event.get());
        if (message->window == s_->quitWindow && message->type == s_->atoms[WmProtocols] &&
            message->format == 32 && message->data.data32[0] == s_->atoms[WmDeleteWindow])
            s_->quit = true;
    }
    return s_->quit;
}

}  // namespace zv
