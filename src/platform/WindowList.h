#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// One top-level window: under a reparenting window manager the client window inside the
// manager's frame (the one that carries WM_STATE), otherwise the root window's child itself.
struct TopLevelWindow {
    uint32_t id = 0;    // X window id; what sendQuit takes
    std::string title;  // UTF-8, at most kMaxWindowTitle characters
};

// The longest title read, in characters: a title buffer of 128 with its terminator.
inline constexpr int kMaxWindowTitle = 127;

// The top-level windows of the display and the quit message to one of them. The recorder is
// found and stopped through this. One object is used by one thread at a time.
class WindowList {
public:
    virtual ~WindowList() = default;
    // Every top-level window, mapped or not, from the top of the stacking order down. Empty
    // when there is no display or it went away; never throws.
    virtual std::vector<TopLevelWindow> windows() = 0;
    // Sends the quit message (a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW) to the
    // window and returns once the display server has taken it. False when there is no display
    // or no such window; never throws.
    virtual bool sendQuit(uint32_t window) = 0;
    // The text (8-bit) property name of a window, at most 4 KB; nullopt when the window has none,
    // is gone, or there is no display. Never throws.
    virtual std::optional<std::string> textProperty(uint32_t /*window*/,
                                                    const std::string & /*name*/) {
        return std::nullopt;
    }
};

// The first window from the top whose title equals title without regard to case (both sides
// upper-cased with QString::toUpper); nullopt when there is none.
std::optional<TopLevelWindow> findWindowByTitle(const std::vector<TopLevelWindow> &windows,
                                                std::string_view title);

// A window title as read from the display (UTF-8, or Latin-1 when latin1 is set) as the list
// keeps it: UTF-8, cut to kMaxWindowTitle characters, never inside a character.
std::string windowTitleText(std::string_view bytes, bool latin1 = false);

// The window list of an X display over xcb: displayName, or $DISPLAY when it is empty. The
// connection is opened on first use and opened again after the display was lost; a list
// without a display is empty. Reading the list costs a few round trips, whatever the number
// of windows (the requests for all windows are sent before the first answer is read).
std::unique_ptr<WindowList> makeX11WindowList(std::string displayName = {});

// The process-wide list of $DISPLAY. Never null; lives for the whole process; UI thread only.
WindowList &systemWindowList();

}  // namespace zv
