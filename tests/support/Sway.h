#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <memory>
#include <string>

namespace zvtest {

// A headless sway (wlroots' headless back end, software rendering) of the test's own, with
// Xwayland, one output of the given size filled with one background colour, running while the
// object lives. sway refuses to run as root: as root it runs as the unprivileged user nobody, in
// a runtime folder of its own (mode 0700, owned by that user); programs meant to talk to it run
// as that user too (command()). Throws std::runtime_error when it does not come up.
class Sway {
public:
    Sway(int width, int height, uint32_t background);
    ~Sway();
    Sway(const Sway &) = delete;
    Sway &operator=(const Sway &) = delete;

    // True when sway and Xwayland are installed; otherwise why not, in missing.
    static bool available(std::string &missing);

    // The compositor's socket as a full path, and the name in WAYLAND_DISPLAY.
    std::string socketPath() const { return runtime_ + "/" + wayland_; }
    const std::string &waylandDisplay() const { return wayland_; }
    // Xwayland's display, ":<n>".
    const std::string &x11Display() const { return x11_; }
    const std::string &runtimeFolder() const { return runtime_; }
    // A folder the compositor's user may write to, removed with the object.
    const std::string &workFolder() const { return work_; }
    // The sway process, for its processor time.
    qint64 pid() const { return sway_.processId(); }

    // program with args as the compositor's user (through setpriv when running as root).
    void command(const QString &program, const QStringList &args, QString &runProgram,
                 QStringList &runArgs) const;
    // A clean environment for a client of this compositor: PATH, XDG_RUNTIME_DIR,
    // WAYLAND_DISPLAY (waylandDisplay unless given) and DISPLAY (Xwayland's).
    QProcessEnvironment clientEnvironment(const std::string &waylandDisplay = {}) const;
    // Sends sway a command through swaymsg ("create_output", "output HEADLESS-2 disable", ...);
    // true when sway carried it out.
    bool message(const QStringList &words) const;
    // Gives the folder or file to the compositor's user.
    void handOver(const std::string &path) const;

private:
    std::string base_, runtime_, work_;
    std::string wayland_, x11_, ipc_;
    QProcess sway_;
};

// A plain X window of one colour on an X display (Xwayland: sway tiles it over its output), shown
// while the object lives. Throws std::runtime_error when the display cannot be opened.
class ColouredXWindow {
public:
    ColouredXWindow(const std::string &display, uint32_t colour);
    ~ColouredXWindow();
    ColouredXWindow(const ColouredXWindow &) = delete;
    ColouredXWindow &operator=(const ColouredXWindow &) = delete;

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace zvtest
