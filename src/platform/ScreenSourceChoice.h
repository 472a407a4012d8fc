#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/ScreenCapture.h"

namespace zv {

// The desktop session a program runs in, as its environment tells.
struct DesktopSession {
    std::string waylandDisplay;  // $WAYLAND_DISPLAY
    std::string sessionType;     // $XDG_SESSION_TYPE
    std::string x11Display;      // $DISPLAY

    static DesktopSession fromEnvironment();
    // A Wayland session: WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland. Its X display, when
    // there is one, is Xwayland, which holds nothing of the Wayland clients.
    bool isWayland() const;
    // For the log: "Wayland (WAYLAND_DISPLAY=wayland-1, DISPLAY=:0)", "X11 (DISPLAY=:0)".
    std::string describe() const;
};

// Thrown by grab() of a source that works but has no picture yet (the desktop's permission
// dialog is open, the first frame is on its way): the source is kept and asked again.
class CaptureNotReady : public Error {
public:
    using Error::Error;
};

// One way of taking pictures of the screen, tried by name.
struct CaptureWay {
    std::string name;                                     // for the log: what was tried
    std::function<std::unique_ptr<ScreenSource>()> open;  // throws zv::Error when it cannot
};

// Tries its ways in order and takes pictures through the first that opens. While none does,
// every grab throws zv::Error naming the session and what each way answered, and the ways are
// tried again at most every retryMs (a compositor restarting, a permission granted later). A way
// that is not ready yet (CaptureNotReady) is kept. When a way that gave pictures fails, the ways
// are tried again at the next grab; one that never gave any waits retryMs (a refused permission
// is not asked for again at once). Never hands out a picture it did not take.
class FallbackScreenSource final : public ScreenSource {
public:
    FallbackScreenSource(std::string session, std::vector<CaptureWay> ways, Clock &clock,
                         uint32_t retryMs = 10'000);
    ScreenImage grab() override;
    // The way in use with its own method, or that none works.
    const char *method() const override { return method_.c_str(); }
    // Why no picture can be taken: empty while a way works.
    const std::string &problem() const { return problem_; }

private:
    void open();

    std::string session_;
    std::vector<CaptureWay> ways_;
    Clock &clock_;
    uint32_t retryMs_;
    uint32_t lastTry_ = 0;
    bool tryNow_ = true;
    bool gavePicture_ = false;
    std::unique_ptr<ScreenSource> source_;
    std::string method_;
    std::string problem_;
};

// The screen source for the session. On X11, the X root window (makeX11ScreenSource; throws
// zv::Error without a display). On Wayland, never the X root: a FallbackScreenSource over the
// compositor's screen copy, then the desktop portal's ScreenCast (its restore token in
// portalTokenFile()), retried every 10 s; it never throws here, and its problem() says why
// nothing can be taken yet.
// withPointer false leaves the pointer out of the Wayland captures (overlay_cursor 0, cursor
// mode hidden).
std::unique_ptr<ScreenSource> makeSessionScreenSource(const DesktopSession &session,
                                                      Clock &clock = systemClock(),
                                                      bool withPointer = true);

}  // namespace zv
