#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zv {

// Top-level windows by which a background program is known on the X display: never mapped, so
// the operator never sees them and no task bar lists them, yet they stand among the top-level
// windows that a walk of the display finds, with or without a window manager. The window titled
// quitTitle ends the program: a quit message (WM_PROTOCOLS / WM_DELETE_WINDOW) sent to it is
// reported by quitRequested().
class ServiceWindows {
public:
    // Opens a connection of its own to displayName ($DISPLAY when empty) and creates one window
    // per title. Throws zv::Error when the display cannot be opened.
    ServiceWindows(const std::vector<std::string> &titles, const std::string &quitTitle,
                   const std::string &displayName = {});
    ~ServiceWindows();
    ServiceWindows(const ServiceWindows &) = delete;
    ServiceWindows &operator=(const ServiceWindows &) = delete;

    // Readable when events wait; for poll().
    int descriptor() const;
    // Handles the events that wait, without blocking. True once the quit message has reached the
    // quit window (it stays true).
    bool quitRequested();
    // The connection to the display broke (the server ended).
    bool displayLost() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace zv
