// The window list over xcb. Every step sends its requests for all windows before it reads the
// first answer, so a list costs a handful of round trips however many windows there are.
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "platform/WindowList.h"

namespace zv {

namespace {

struct FreeDeleter {
    void operator()(void *p) const noexcept { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

struct ConnectionCloser {
    void operator()(xcb_connection_t *c) const noexcept { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

// How deep below a root child the client window of a frame is looked for. Window managers put
// it one or two levels down.
constexpr int kFrameDepth = 3;
// Enough 32-bit units for kMaxWindowTitle characters of up to four UTF-8 bytes each.
constexpr uint32_t kTitleUnits = (kMaxWindowTitle * 4 + 3) / 4;

enum AtomIndex { WmState, NetWmName, Utf8String, WmProtocols, WmDeleteWindow, AtomCount };
constexpr std::array<const char *, AtomCount> kAtomNames = {
    "WM_STATE", "_NET_WM_NAME", "UTF8_STRING", "WM_PROTOCOLS", "WM_DELETE_WINDOW"};

class X11WindowList final : public WindowList {
public:
    explicit X11WindowList(std::string displayName) : displayName_(std::move(displayName)) {}

    std::vector<TopLevelWindow> windows() override;
    bool sendQuit(uint32_t window) override;

private:
    bool connect();
    // Children of each window, top of the stacking order first; empty for a window gone.
    std::vector<std::vector<xcb_window_t>> childrenOf(const std::vector<xcb_window_t> &windows);
    std::vector<bool> haveWmState(const std::vector<xcb_window_t> &windows);
    std::vector<xcb_window_t> clientWindows(const std::vector<xcb_window_t> &tops);
    std::vector<std::string> titles(const std::vector<xcb_window_t> &windows);

    std::string displayName_;
    Connection connection_;
    xcb_window_t root_ = XCB_NONE;
    std::array<xcb_atom_t, AtomCount> atoms_{};
};

bool X11WindowList::connect() {
    if (connection_ && !xcb_connection_has_error(connection_.get()))
        return true;
    connection_.reset();
    int screenNumber = 0;
    Connection c(xcb_connect(displayName_.empty() ? nullptr : displayName_.c_str(), &screenNumber));
    if (xcb_connection_has_error(c.get()))
        return false;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem)
        return false;
    root_ = screens.data->root;

    std::array<xcb_intern_atom_cookie_t, AtomCount> cookies{};
    for (size_t i = 0; i < AtomCount; ++i)
        cookies[i] = xcb_intern_atom(c.get(), 0, std::strlen(kAtomNames[i]), kAtomNames[i]);
    for (size_t i = 0; i < AtomCount; ++i) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c.get(), cookies[i], nullptr));
        if (!reply)
            return false;
        atoms_[i] = reply->atom;
    }
    connection_ = std::move(c);
    return true;
}

std::vector<std::vector<xcb_window_t>> X11WindowList::childrenOf(
    const std::vector<xcb_window_t> &windows) {
    xcb_connection_t *c = connection_.get();
    std::vector<xcb_query_tree_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t w : windows)
        cookies.push_back(xcb_query_tree(c, w));
    std::vector<std::vector<xcb_window_t>> result(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        xcb_generic_error_t *error = nullptr;
        Reply<xcb_query_tree_reply_t> reply(xcb_query_tree_reply(c, cookies[i], &error));
        std::free(error);
        if (!reply)
            continue;
        const xcb_window_t *children = xcb_query_tree_children(reply.get());
        // The server lists children from the bottom of the stacking order up.
        result[i].assign(std::make_reverse_iterator(children + reply->children_len),
                         std::make_reverse_iterator(children));
    }
    return result;
}

std::vector<bool> X11WindowList::haveWmState(const std::vector<xcb_window_t> &windows) {
    xcb_connection_t *c = connection_.get();
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t w : windows)
        cookies.push_back(
            xcb_get_property(c, 0, w, atoms_[WmState], XCB_GET_PROPERTY_TYPE_ANY, 0, 0));
    std::vector<bool> result(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        xcb_generic_error_t *error = nullptr;
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookies[i], &error));
        std::free(error);
        result[i] = reply && reply->type != XCB_NONE;
    }
    return result;
}

// For each root child, the window whose title counts: the first window from the top, level by
// level below it, that carries WM_STATE; the root child itself when none does (no window
// manager, a window never mapped, an override-redirect window).
std::vector<xcb_window_t> X11WindowList::clientWindows(const std::vector<xcb_window_t> &tops) {
    std::vector<xcb_window_t> clients(tops.size(), XCB_NONE);
    struct Candidate {
        size_t top;
        xcb_window_t window;
    };
    std::vector<Candidate> level;
    for (size_t i = 0; i < tops.size(); ++i)
        level.push_back({i, tops[i]});
    for (int depth = 0; depth <= kFrameDepth && !level.empty(); ++depth) {
        std::vector<xcb_window_t> windows;
        for (const Candidate &candidate : level)
            windows.push_back(candidate.window);
        const std::vector<bool> marked = haveWmState(windows);
        std::vector<xcb_window_t> open;
        std::vector<size_t> openTops;
        for (size_t k = 0; k < level.size(); ++k) {
            if (marked[k] && clients[level[k].top] == XCB_NONE)
                clients[level[k].top] = level[k].window;
        }
        for (const Candidate &candidate : level) {
            if (clients[candidate.top] == XCB_NONE) {
                open.push_back(candidate.window);
                openTops.push_back(candidate.top);
            }
        }
        level.clear();
        if (depth == kFrameDepth)
            break;
        const std::vector<std::vector<xcb_window_t>> children = childrenOf(open);
        for (size_t k = 0; k < open.size(); ++k) {
            for (xcb_window_t child : children[k])
                level.push_back({openTops[k], child});
        }
    }
    for (size_t i = 0; i < tops.size(); ++i) {
        if (clients[i] == XCB_NONE)
            clients[i] = tops[i];
    }
    return clients;
}

std::vector<std::string> X11WindowList::titles(const std::vector<xcb_window_t> &windows) {
    xcb_connection_t *c = connection_.get();
    std::vector<std::array<xcb_get_property_cookie_t, 2>> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t w : windows) {
        cookies.push_back(
            {xcb_get_property(c, 0, w, atoms_[NetWmName], atoms_[Utf8String], 0, kTitleUnits),
             xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0,
                              kTitleUnits)});
    }
    std::vector<std::string> result(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        bool found = false;
        for (xcb_get_property_cookie_t cookie : cookies[i]) {
            xcb_generic_error_t *error = nullptr;
            Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, &error));
            std::free(error);
            // Both answers are read, so that none is left waiting in the connection.
            if (found || !reply || reply->type == XCB_NONE || reply->format != 8)
                continue;
            const std::string_view bytes(
                static_cast<const char *>(xcb_get_property_value(reply.get())),
                static_cast<size_t>(xcb_get_property_value_length(reply.get())));
            // WM_NAME may be Latin-1 (STRING) or, with some toolkits, UTF-8.
            const bool latin1 = reply->type == XCB_ATOM_STRING;
            result[i] = windowTitleText(bytes, latin1);
            found = true;
        }
    }
    return result;
}

std::vector<TopLevelWindow> X11WindowList::windows() {
    if (!connect())
        return {};
    const std::vector<std::vector<xcb_window_t>> tops = childrenOf({root_});
    const std::vector<xcb_window_t> clients = clientWindows(tops[0]);
    std::vector<std::string> names = titles(clients);
    if (xcb_connection_has_error(connection_.get()))
        return {};
    std::vector<TopLevelWindow> result(clients.size());
    for (size_t i = 0; i < clients.size(); ++i)
        result[i] = {clients[i], std::move(names[i])};
    return result;
}

bool X11WindowList::sendQuit(uint32_t window) {
    if (!connect())
        return false;
    // xcb_send_event copies 32 bytes from the event, whatever its type.
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atoms_[WmProtocols];
    event.data.data32[0] = atoms_[WmDeleteWindow];
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_void_cookie_t cookie =
        xcb_send_event_checked(connection_.get(), 0, window, XCB_EVENT_MASK_NO_EVENT,
                               reinterpret_cast<const char *>(&event));
    // Waiting for the server's answer flushes the request and tells whether the window exists.
    Reply<xcb_generic_error_t> error(xcb_request_check(connection_.get(), cookie));
    return !error && !xcb_connection_has_error(connection_.get());
}

}  // namespace

std::unique_ptr<WindowList> makeX11WindowList(std::string displayName) {
    return std::make_unique<X11WindowList>(std::move(displayName));
}

WindowList &systemWindowList() {
    static X11WindowList list{std::string()};
    return list;
}

}  // namespace zv
