#include "support/TestWindows.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

extern char **environ;

namespace zvtest {

namespace {

using Clock = std::chrono::steady_clock;

uint32_t internAtom(xcb_connection_t *c, const char *name) {
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    if (!reply)
        throw std::runtime_error("cannot intern an atom");
    const uint32_t atom = reply->atom;
    std::free(reply);
    return atom;
}

xcb_connection_t *connectDisplay(uint32_t &root) {
    int screen = 0;
    xcb_connection_t *c = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        throw std::runtime_error("no X display");
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen; ++i)
        xcb_screen_next(&it);
    root = it.data->root;
    return c;
}

bool hasProperty(xcb_connection_t *c, uint32_t window, uint32_t property) {
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr);
    const bool has = reply && reply->type != XCB_NONE;
    std::free(reply);
    return has;
}

// Whether a manager that lists its clients on the root (if any does) lists the window.
bool listedByManager(xcb_connection_t *c, uint32_t root, uint32_t clientList, uint32_t window) {
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, clientList, XCB_ATOM_WINDOW, 0, 65536), nullptr);
    bool listed = !reply || reply->type == XCB_NONE;
    if (reply && reply->type == XCB_ATOM_WINDOW) {
        const auto *ids = static_cast<const uint32_t *>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / 4;
        listed = std::find(ids, ids + count, window) != ids + count;
    }
    std::free(reply);
    return listed;
}

}  // namespace

TestWindows::TestWindows() {
    connection_ = connectDisplay(root_);
    wmProtocols_ = internAtom(connection_, "WM_PROTOCOLS");
    wmDeleteWindow_ = internAtom(connection_, "WM_DELETE_WINDOW");
    netWmName_ = internAtom(connection_, "_NET_WM_NAME");
    utf8String_ = internAtom(connection_, "UTF8_STRING");
    wmState_ = internAtom(connection_, "WM_STATE");
}

TestWindows::~TestWindows() {
    xcb_disconnect(connection_);
}

uint32_t TestWindows::create(const std::optional<std::string> &netWmName,
                             const std::optional<std::string> &wmName, bool mapped,
                             uint32_t parent) {
    xcb_connection_t *c = connection_;
    const xcb_window_t w = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, parent ? parent : root_, 10, 10, 120, 40, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, wmProtocols_, XCB_ATOM_ATOM, 32, 1,
                        &wmDeleteWindow_);
    if (netWmName)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, netWmName_, utf8String_, 8,
                            netWmName->size(), netWmName->data());
    if (wmName)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            wmName->size(), wmName->data());
    if (mapped)
        xcb_map_window(c, w);
    sync();
    return w;
}

void TestWindows::destroy(uint32_t window) {
    xcb_destroy_window(connection_, window);
    sync();
}

void TestWindows::markManaged(uint32_t window) {
    const uint32_t state[2] = {1, XCB_NONE};  // NormalState, no icon window
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, wmState_, wmState_, 32, 2,
                        state);
    sync();
}

void TestWindows::sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

bool TestWindows::waitManaged(uint32_t window, int timeoutMs) {
    const uint32_t clientList = internAtom(connection_, "_NET_CLIENT_LIST");
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (hasProperty(connection_, window, wmState_) &&
            listedByManager(connection_, root_, clientList, window))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::optional<uint32_t> TestWindows::waitDeleteWindow(int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection_)) {
            const bool isClientMessage = (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE;
            const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
            const bool quit = isClientMessage && message->type == wmProtocols_ &&
                              message->data.data32[0] == wmDeleteWindow_;
            const uint32_t window = message->window;
            std::free(event);
            if (quit)
                return window;
        }
        if (xcb_connection_has_error(connection_))
            return std::nullopt;
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            wait = static_cast<int>(left.count());
        }
        pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
        ::poll(&fd, 1, wait);
    }
}

WindowManager::WindowManager(const std::string &homeFolder) {
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        if (std::strncmp(*e, "XDG_CONFIG_HOME=", 16) && std::strncmp(*e, "XDG_CACHE_HOME=", 15))
            env.emplace_back(*e);
    }
    env.push_back("XDG_CONFIG_HOME=" + homeFolder + "/openbox-config");
    env.push_back("XDG_CACHE_HOME=" + homeFolder + "/openbox-cache");
    std::vector<char *> envp;
    for (std::string &s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    char program[] = "openbox";
    char option[] = "--sm-disable";
    char *argv[] = {program, option, nullptr};
    pid_t pid = -1;
    if (::posix_spawnp(&pid, program, nullptr, nullptr, argv, envp.data()) != 0)
        throw std::runtime_error("cannot start openbox");
    pid_ = pid;

    // Ready once it frames a window that is mapped after it started: owning the manager's
    // selection comes before it handles requests to map windows.
    bool ready = false;
    try {
        TestWindows probe;
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (!ready && Clock::now() < end) {
            const uint32_t window = probe.create("probe", true);
            ready = probe.waitManaged(window, 2000);
            probe.destroy(window);
        }
    } catch (const std::runtime_error &) {
    }
    if (!ready) {
        stop();
        throw std::runtime_error("openbox did not come up");
    }
}

WindowManager::~WindowManager() {
    stop();
}

void WindowManager::stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

}  // namespace zvtest
