#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <memory>
#include <string>
#include <vector>

namespace zvtest {

// A desktop of the test's own for the portal's ScreenCast, running while the object lives: a
// private session bus (dbus-daemon), PipeWire with WirePlumber, one video source of one colour per
// monitor on
// PipeWire (GStreamer's videotestsrc into pipewiresink), the real xdg-desktop-portal front end,
// and tests/support/portal_backend.py as its ScreenCast back end (it hands out that source and
// logs what it is asked). Throws std::runtime_error when a part does not come up.
class PortalDesktop {
public:
    // A monitor of the desktop: its place among the others and its colour.
    struct Monitor {
        int x = 0, y = 0;
        uint32_t colour = 0;
    };
    // Monitors of width x height each.
    PortalDesktop(int width, int height, const std::vector<Monitor> &monitors);
    ~PortalDesktop();
    PortalDesktop(const PortalDesktop &) = delete;
    PortalDesktop &operator=(const PortalDesktop &) = delete;

    // True when every program it needs is installed; otherwise which is missing, in missing.
    static bool available(std::string &missing);

    // The environment of a client of this desktop: its bus, runtime, home and state folders, a
    // Wayland session without a compositor's screen copy, no X display.
    QProcessEnvironment clientEnvironment() const;
    const std::string &stateFolder() const { return state_; }
    const std::string &workFolder() const { return work_; }
    // What the back end was asked so far, a line per call ("SelectSources {...}").
    std::string backendLog() const;
    // From now on the back end refuses (as an operator who cancels the dialog), or grants again.
    void refuse(bool refused);
    // Ends every session, as the operator who stops the sharing in the desktop's panel.
    void closeSessions();

private:
    QProcess &start(const QString &program, const QStringList &args, const char *log);
    void stop();
    // PipeWire, WirePlumber and the monitors' video sources, in RGBx (bytes R, G, B, x), which
    // the recorder reads through a conversion.
    void startPipeWire(int width, int height, const std::vector<Monitor> &monitors);

    std::string base_, runtime_, home_, state_, work_, busAddress_;
    QProcessEnvironment env_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

}  // namespace zvtest
