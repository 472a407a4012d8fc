#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct xcb_connection_t;

namespace zvtest {

// Top-level windows of our own on the X display of $DISPLAY, over a connection of their own:
// for the window list's tests, its benchmark and the recorder stand-in. Throws
// std::runtime_error when there is no display.
class TestWindows {
public:
    TestWindows();
    ~TestWindows();
    TestWindows(const TestWindows &) = delete;
    TestWindows &operator=(const TestWindows &) = delete;

    // A new top-level window (or a child of parent) that takes part in WM_DELETE_WINDOW.
    // netWmName goes to _NET_WM_NAME (UTF-8), wmName to WM_NAME (Latin-1); either may be left
    // out.
    uint32_t create(const std::optional<std::string> &netWmName,
                    const std::optional<std::string> &wmName, bool mapped, uint32_t parent = 0);
    // The usual case: the same title in both properties.
    uint32_t create(const std::string &title, bool mapped, uint32_t parent = 0) {
        return create(title, title, mapped, parent);
    }
    void destroy(uint32_t window);
    // Sets WM_STATE (normal) on the window, as a window manager marks the clients it manages.
    void markManaged(uint32_t window);
    // Waits until every request so far has been handled by the server.
    void sync();

    // Waits up to timeoutMs for a window manager to have taken the window in: WM_STATE set on
    // it, and listed among the manager's clients when the manager lists them. False on
    // timeout.
    bool waitManaged(uint32_t window, int timeoutMs = 30000);
    // Waits up to timeoutMs for a WM_DELETE_WINDOW client message to one of our windows and
    // returns that window; nullopt on timeout. timeoutMs < 0 waits for ever.
    std::optional<uint32_t> waitDeleteWindow(int timeoutMs);

private:
    xcb_connection_t *connection_ = nullptr;
    uint32_t root_ = 0;
    uint32_t wmProtocols_ = 0, wmDeleteWindow_ = 0, netWmName_ = 0, utf8String_ = 0, wmState_ = 0;
};

// A reparenting window manager (openbox) on $DISPLAY while the object lives. Throws
// std::runtime_error when it does not come up within a few seconds.
class WindowManager {
public:
    // Openbox keeps its files under the given folder, not under the user's home.
    explicit WindowManager(const std::string &homeFolder);
    ~WindowManager();
    WindowManager(const WindowManager &) = delete;
    WindowManager &operator=(const WindowManager &) = delete;

private:
    void stop();

    int pid_ = -1;
};

}  // namespace zvtest
