// The window list over xcb. Every step sends its requests for all windows before it reads the
// first answer, so a list costs a handful of round trips however many windows there are.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "platform/WindowList.h"
#include "platform/Xcb.h"

namespace zv {

namespace {

using xcb::Connection;
using xcb::Reply;

// How deep below a root child the client window of a frame is looked for. Window managers put
// it one or two levels down.
constexpr int kFrameDepth = 3;
// Enough 32-bit units for kMaxWindowTitle characters of up to four UTF-8 bytes each.
constexpr uint32_t kTitleUnits = (kMaxWindowTitle * 4 + 3) / 4;

enum AtomIndex {
    WmState,
    NetWmName,
    Utf8String,
    WmProtocols,
    WmDeleteWindow,
    NetClientList,
    ManagerSelection,  // WM_S<screen>, owned by the running window manager
    AtomCount
};
constexpr std::array<const char *, AtomCount - 1> kAtomNames = {
    "WM_STATE",     "_NET_WM_NAME",     "UTF8_STRING",
    "WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_CLIENT_LIST"};
// The longest client list read, in windows.
constexpr uint32_t kMaxClients = 65536;

class X11WindowList final : public WindowList {
public:
    explicit X11WindowList(std::string displayName) : displayName_(std::move(displayName)) {}

    std::vector<TopLevelWindow> windows() override;
    bool sendQuit(uint32_t window) override;
    std::optional<std::string> textProperty(uint32_t window, const std::string &name) override;

private:
    bool connect();
    // Children of each window, top of the stacking order first; empty for a window gone.
    // Parent and children of each window (children top of the stacking order first); no
    // parent and no children for a window that is gone.
    struct Tree {
        xcb_window_t parent = XCB_NONE;
        std::vector<xcb_window_t> children;
    };
    std::vector<Tree> trees(const std::vector<xcb_window_t> &windows);
    std::vector<bool> haveWmState(const std::vector<xcb_window_t> &windows);
    std::optional<std::vector<xcb_window_t>> managedClients();
    bool findManagedClients(const std::vector<xcb_window_t> &tops,
                            std::vector<xcb_window_t> &clients);
    void findMarkedClients(const std::vector<xcb_window_t> &tops,
                           std::vector<xcb_window_t> &clients);
    std::vector<xcb_window_t> clientWindows(const std::vector<xcb_window_t> &tops);
    std::optional<std::string> readTitle(xcb_get_property_cookie_t cookie);
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

    std::array<std::string, AtomCount> names;
    std::copy(kAtomNames.begin(), kAtomNames.end(), names.begin());
    names[ManagerSelection] = "WM_S" + std::to_string(screenNumber);
    std::array<xcb_intern_atom_cookie_t, AtomCount> cookies{};
    for (size_t i = 0; i < AtomCount; ++i)
        cookies[i] = xcb_intern_atom(c.get(), 0, names[i].size(), names[i].c_str());
    for (size_t i = 0; i < AtomCount; ++i) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c.get(), cookies[i], nullptr));
        if (!reply)
            return false;
        atoms_[i] = reply->atom;
    }
    connection_ = std::move(c);
    return true;
}

std::vector<X11WindowList::Tree> X11WindowList::trees(const std::vector<xcb_window_t> &windows) {
    xcb_connection_t *c = connection_.get();
    std::vector<xcb_query_tree_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t w : windows)
        cookies.push_back(xcb_query_tree(c, w));
    std::vector<Tree> result(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        xcb_generic_error_t *error = nullptr;
        Reply<xcb_query_tree_reply_t> reply(xcb_query_tree_reply(c, cookies[i], &error));
        std::free(error);
        if (!reply)
            continue;
        result[i].parent = reply->parent;
        const xcb_window_t *children = xcb_query_tree_children(reply.get());
        // The server lists children from the bottom of the stacking order up.
        result[i].children.assign(std::make_reverse_iterator(children + reply->children_len),
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

// The client windows that the running window manager lists on the root (as managers of the
// desktop standard do); nullopt when no manager runs or it lists none. A list left behind by a
// manager that has ended does not count.
std::optional<std::vector<xcb_window_t>> X11WindowList::managedClients() {
    xcb_connection_t *c = connection_.get();
    const xcb_get_property_cookie_t listCookie =
        xcb_get_property(c, 0, root_, atoms_[NetClientList], XCB_ATOM_WINDOW, 0, kMaxClients);
    const xcb_get_selection_owner_cookie_t ownerCookie =
        xcb_get_selection_owner(c, atoms_[ManagerSelection]);
    Reply<xcb_get_property_reply_t> list(xcb_get_property_reply(c, listCookie, nullptr));
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, ownerCookie, nullptr));
    if (!owner || owner->owner == XCB_NONE || !list || list->type != XCB_ATOM_WINDOW ||
        list->format != 32)
        return std::nullopt;
    const auto *ids = static_cast<const xcb_window_t *>(xcb_get_property_value(list.get()));
    return std::vector<xcb_window_t>(ids, ids + xcb_get_property_value_length(list.get()) / 4);
}

// Under a manager that lists its clients (the ones it gave WM_STATE), each client is followed
// up through its parents to the root child that frames it: a request or two per client, where
// looking for WM_STATE below the frames would ask about every piece of every frame's
// decoration. The other root children frame no client (a window that the manager is taking
// in at this very moment shows as its untitled frame until the next reading). False without
// such a manager.
bool X11WindowList::findManagedClients(const std::vector<xcb_window_t> &tops,
                                       std::vector<xcb_window_t> &clients) {
    std::optional<std::vector<xcb_window_t>> managed = managedClients();
    if (!managed)
        return false;
    std::unordered_map<xcb_window_t, size_t> topIndex;
    for (size_t i = 0; i < tops.size(); ++i)
        topIndex.emplace(tops[i], i);
    std::vector<xcb_window_t> origin = std::move(*managed);
    std::vector<xcb_window_t> current = origin;
    for (int depth = 0; depth <= kFrameDepth && !current.empty(); ++depth) {
        const std::vector<Tree> parents = trees(current);
        std::vector<xcb_window_t> nextOrigin, next;
        for (size_t k = 0; k < current.size(); ++k) {
            const xcb_window_t parent = parents[k].parent;
            if (parent == XCB_NONE)
                continue;  // gone meanwhile
            if (parent != root_) {
                nextOrigin.push_back(origin[k]);
                next.push_back(parent);
                continue;
            }
            const auto top = topIndex.find(current[k]);
            if (top != topIndex.end() && clients[top->second] == XCB_NONE)
                clients[top->second] = origin[k];
        }
        origin = std::move(nextOrigin);
        current = std::move(next);
    }
    return true;
}

// Without a manager that lists its clients: for each root child the first window from the top,
// level by level, that carries WM_STATE: the root child itself, then its children, and so on.
// A root child without children frames nothing, so it needs no question at all; without any
// manager that is every root child.
void X11WindowList::findMarkedClients(const std::vector<xcb_window_t> &tops,
                                      std::vector<xcb_window_t> &clients) {
    struct Candidate {
        size_t top;
        xcb_window_t window;
        std::vector<xcb_window_t> children;
    };
    std::vector<size_t> open;
    std::vector<xcb_window_t> windows;
    for (size_t i = 0; i < tops.size(); ++i) {
        if (clients[i] == XCB_NONE) {
            open.push_back(i);
            windows.push_back(tops[i]);
        }
    }
    std::vector<Tree> below = trees(windows);
    std::vector<Candidate> level;
    for (size_t k = 0; k < open.size(); ++k) {
        if (!below[k].children.empty())
            level.push_back({open[k], tops[open[k]], std::move(below[k].children)});
    }
    for (int depth = 0; depth <= kFrameDepth && !level.empty(); ++depth) {
        windows.clear();
        for (const Candidate &candidate : level)
            windows.push_back(candidate.window);
        const std::vector<bool> marked = haveWmState(windows);
        for (size_t k = 0; k < level.size(); ++k) {
            if (marked[k] && clients[level[k].top] == XCB_NONE)
                clients[level[k].top] = level[k].window;
        }
        if (depth == kFrameDepth)
            break;
        // One level down, below the candidates of the root children still unresolved.
        std::vector<Candidate> next;
        for (Candidate &candidate : level) {
            if (clients[candidate.top] != XCB_NONE)
                continue;
            for (xcb_window_t child : candidate.children)
                next.push_back({candidate.top, child, {}});
        }
        windows.clear();
        for (const Candidate &candidate : next)
            windows.push_back(candidate.window);
        below = trees(windows);
        for (size_t k = 0; k < next.size(); ++k)
            next[k].children = std::move(below[k].children);
        level = std::move(next);
    }
}

// For each root child, the window whose title counts: the client it frames, or the root child
// itself when it frames none (no window manager, a window never mapped, an override-redirect
// window, the manager's own windows).
std::vector<xcb_window_t> X11WindowList::clientWindows(const std::vector<xcb_window_t> &tops) {
    std::vector<xcb_window_t> clients(tops.size(), XCB_NONE);
    if (!findManagedClients(tops, clients))
        findMarkedClients(tops, clients);
    for (size_t i = 0; i < tops.size(); ++i) {
        if (clients[i] == XCB_NONE)
            clients[i] = tops[i];
    }
    return clients;
}

// The value of a text property, or nullopt when the window has none (or is gone).
std::optional<std::string> X11WindowList::readTitle(xcb_get_property_cookie_t cookie) {
    xcb_generic_error_t *error = nullptr;
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection_.get(), cookie, &error));
    std::free(error);
    if (!reply || reply->type == XCB_NONE || reply->format != 8)
        return std::nullopt;
    const std::string_view bytes(static_cast<const char *>(xcb_get_property_value(reply.get())),
                                 static_cast<size_t>(xcb_get_property_value_length(reply.get())));
    // WM_NAME may be Latin-1 (STRING) or, with some toolkits, UTF-8.
    return windowTitleText(bytes, reply->type == XCB_ATOM_STRING);
}

// _NET_WM_NAME of every window first; WM_NAME only of those without it.
std::vector<std::string> X11WindowList::titles(const std::vector<xcb_window_t> &windows) {
    xcb_connection_t *c = connection_.get();
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t w : windows) {
        cookies.push_back(
            xcb_get_property(c, 0, w, atoms_[NetWmName], atoms_[Utf8String], 0, kTitleUnits));
    }
    std::vector<std::string> result(windows.size());
    std::vector<size_t> plain;
    for (size_t i = 0; i < windows.size(); ++i) {
        if (std::optional<std::string> title = readTitle(cookies[i]))
            result[i] = std::move(*title);
        else
            plain.push_back(i);
    }
    cookies.clear();
    for (size_t i : plain) {
        cookies.push_back(xcb_get_property(c, 0, windows[i], XCB_ATOM_WM_NAME,
                                           XCB_GET_PROPERTY_TYPE_ANY, 0, kTitleUnits));
    }
    for (size_t k = 0; k < plain.size(); ++k)
        result[plain[k]] = readTitle(cookies[k]).value_or(std::string());
    return result;
}

std::vector<TopLevelWindow> X11WindowList::windows() {
    if (!connect())
        return {};
    const std::vector<xcb_window_t> clients = clientWindows(trees({root_})[0].children);
    std::vector<std::string> names = titles(clients);
    if (xcb_connection_has_error(connection_.get()))
        return {};
    std::vector<TopLevelWindow> result(clients.size());
    for (size_t i = 0; i < clients.size(); ++i)
        result[i] = {clients[i], std::move(names[i])};
    return result;
}

std::optional<std::string> X11WindowList::textProperty(uint32_t window, const std::string &name) {
    if (!connect())
        return std::nullopt;
    xcb_connection_t *c = connection_.get();
    const char *names[] = {name.c_str()};
    xcb_atom_t atom = XCB_NONE;
    if (!xcb::internAtoms(c, names, &atom, 1))
        return std::nullopt;
    constexpr uint32_t kMaxUnits = 1024;  // 4 KB of text at most
    xcb_generic_error_t *error = nullptr;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxUnits), &error));
    std::free(error);
    if (!reply || reply->type == XCB_NONE || reply->format != 8)
        return std::nullopt;
    return std::string(static_cast<const char *>(xcb_get_property_value(reply.get())),
                       static_cast<size_t>(xcb_get_property_value_length(reply.get())));
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
