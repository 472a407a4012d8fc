#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// The state a service publishes on its first window (see publishState), as UTF-8 text: one of
// the words below, the last two followed by the reason ("paused: <reason>").
inline constexpr const char *kServiceStateProperty = "_ZORVIDEO_RECORDER_STATE";
inline constexpr std::string_view kStateRecording = "recording";
inline constexpr std::string_view kStateOff = "off";
inline constexpr std::string_view kStatePausedPrefix = "paused: ";
inline constexpr std::string_view kStateFailingPrefix = "failing: ";

// Top-level windows by which a background program is known on the X display: never mapped, so
// the operator never sees them and no task bar lists them, yet they stand among the top-level
// windows that a walk of the display finds, with or without a window manager. The window titled
// quitTitle ends the program: a quit message (WM_PROTOCOLS / WM_DELETE_WINDOW) sent to it is
// reported by quitRequested().
class ServiceWindows {
public:
    // Opens a connection of its own to displayName ($DISPLAY when empty) and creates one window
    // per title. Throws zv::Error when the display cannot be opened.
    //
    // With instanceSelection set, the program is one of a kind on the display: the selection of
    // that name is claimed first, atomically (under a server grab: look for an owner, take it
    // when there is none). When another client owns it, no window is made and
    // anotherInstance() answers true; the owner keeps it until its connection closes.
    ServiceWindows(const std::vector<std::string> &titles, const std::string &quitTitle,
                   const std::string &displayName = {}, const std::string &instanceSelection = {});
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
    // Another client held the instance selection: this one made no windows and should end.
    bool anotherInstance() const;

    // Sets the property kServiceStateProperty of the first window to text (UTF-8) and flushes.
    // Never throws; a lost display is seen by displayLost().
    void publishState(const std::string &text);

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace zv
