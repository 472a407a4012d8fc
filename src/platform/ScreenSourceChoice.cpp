#include "platform/ScreenSourceChoice.h"

#include <cstdlib>
#include <utility>

#include "platform/Error.h"
#include "platform/PortalScreenCapture.h"
#include "platform/WaylandScreenCapture.h"

namespace zv {

namespace {

std::string environment(const char *name) {
    const char *value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

DesktopSession DesktopSession::fromEnvironment() {
    return {environment("WAYLAND_DISPLAY"), environment("XDG_SESSION_TYPE"),
            environment("DISPLAY")};
}

bool DesktopSession::isWayland() const {
    return !waylandDisplay.empty() || sessionType == "wayland";
}

std::string DesktopSession::describe() const {
    std::vector<std::string> parts;
    if (!waylandDisplay.empty())
        parts.push_back("WAYLAND_DISPLAY=" + waylandDisplay);
    if (!sessionType.empty())
        parts.push_back("XDG_SESSION_TYPE=" + sessionType);
    if (!x11Display.empty())
        parts.push_back("DISPLAY=" + x11Display);
    std::string text = isWayland() ? "Wayland" : "X11";
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? " (" : ", ") + parts[i];
    return parts.empty() ? text : text + ")";
}

FallbackScreenSource::FallbackScreenSource(std::string session, std::vector<CaptureWay> ways,
                                           Clock &clock, uint32_t retryMs)
    : session_(std::move(session)), ways_(std::move(ways)), clock_(clock), retryMs_(retryMs) {
    open();
}

void FallbackScreenSource::open() {
    source_.reset();
    std::string tried;
    for (const CaptureWay &way : ways_) {
        try {
            source_ = way.open();
            const std::string own = source_->method();
            method_ =
                way.name.find(own) == std::string::npos ? way.name + " (" + own + ")" : way.name;
            problem_.clear();
            return;
        } catch (const std::exception &e) {
            tried += (tried.empty() ? "" : "; ") + way.name + ": " + e.what();
        }
    }
    lastTry_ = clock_.tickCount();
    tryNow_ = false;
    const std::string again = "новая попытка каждые " + std::to_string(retryMs_ / 1000) + " с";
    method_ = "нет (ни один способ не работает, " + again + ")";
    problem_ = "Сеанс " + session_ +
               ": снимок экрана невозможен, опробовано: " + (tried.empty() ? "ничего" : tried) +
               "; " + again;
}

ScreenImage FallbackScreenSource::grab() {
    if (!source_ && (tryNow_ || clock_.tickCount() - lastTry_ >= retryMs_))
        open();
    if (!source_)
        throw Error(problem_);
    try {
        const ScreenImage image = source_->grab();
        gavePicture_ = true;
        return image;
    } catch (const CaptureNotReady &e) {
        problem_ = "Сеанс " + session_ + ": " + e.what();
        throw CaptureNotReady(problem_);
    } catch (const std::exception &e) {
        // The way broke (the compositor went away, a copy failed, the desktop refused): all
        // ways anew, at once when it had worked.
        source_.reset();
        tryNow_ = std::exchange(gavePicture_, false);
        lastTry_ = clock_.tickCount();
        method_ = "нет (способ перестал работать)";
        problem_ = "Сеанс " + session_ + ": " + e.what();
        throw Error(problem_);
    }
}

std::unique_ptr<ScreenSource> makeSessionScreenSource(const DesktopSession &session, Clock &clock,
                                                      bool withPointer) {
    if (!session.isWayland())
        return makeX11ScreenSource(session.x11Display, true, withPointer);
    std::vector<CaptureWay> ways;
    const std::string socket = session.waylandDisplay;
    ways.push_back(
        {std::string("композитор Wayland, ") + kScreenCopyProtocol,
         [socket, withPointer] { return makeWaylandScreenCopySource(socket, withPointer); }});
    ways.push_back({"портал рабочего стола, org.freedesktop.portal.ScreenCast", [withPointer] {
                        return makePortalScreenSource(portalTokenFile(), withPointer);
                    }});
    return std::make_unique<FallbackScreenSource>(session.describe(), std::move(ways), clock);
}

}  // namespace zv
