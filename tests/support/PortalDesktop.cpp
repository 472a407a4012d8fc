#include "support/PortalDesktop.h"
#include "support/WaitFor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

namespace fs = std::filesystem;

namespace zvtest {

namespace {

constexpr const char *kFrontEnd = "/usr/libexec/xdg-desktop-portal";

std::string readAll(const std::string &file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), {}};
}

QString backendScript() {
    return qEnvironmentVariable("ZORVIDEO_TEST_SOURCE_DIR", ZORVIDEO_SOURCE_DIR) +
           "/tests/support/portal_backend.py";
}

}  // namespace

bool PortalDesktop::available(std::string &missing) {
    for (const char *tool :
         {"dbus-daemon", "dbus-send", "pipewire", "wireplumber", "pw-dump", "gst-launch-1.0"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            missing = std::string(tool) + " is not installed (tools/bootstrap installs it)";
            return false;
        }
    }
    if (!QFile::exists(kFrontEnd)) {
        missing = "xdg-desktop-portal is not installed (tools/bootstrap installs it)";
        return false;
    }
    QProcess check;
    check.start("/usr/bin/python3", {"-c", "import dbus, gi"});
    QProcess plugin;
    plugin.start("gst-inspect-1.0", {"pipewiresink"});
    if (!check.waitForFinished(30'000) || check.exitCode() != 0 ||
        !plugin.waitForFinished(30'000) || plugin.exitCode() != 0) {
        missing =
            "python3-dbus, python3-gi or gstreamer1.0-pipewire is not installed "
            "(tools/bootstrap installs them)";
        return false;
    }
    return true;
}

QProcess &PortalDesktop::start(const QString &program, const QStringList &args, const char *log) {
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(env_);
    p->setProcessChannelMode(QProcess::MergedChannels);
    if (log)
        p->setStandardOutputFile(QString::fromStdString(base_ + "/" + log));
    p->start(program, args);
    if (!p->waitForStarted(30'000))
        throw std::runtime_error("cannot start " + program.toStdString());
    processes_.push_back(std::move(p));
    return *processes_.back();
}

PortalDesktop::PortalDesktop(int width, int height, const std::vector<Monitor> &monitors) {
    std::string pattern = (fs::temp_directory_path() / "zorvideo-portal-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    base_ = pattern;
    runtime_ = base_ + "/run";
    home_ = base_ + "/home";
    state_ = base_ + "/state";
    work_ = base_ + "/work";
    for (const std::string &folder : {runtime_, home_, state_, work_, base_ + "/portals"})
        fs::create_directories(folder);
    fs::permissions(runtime_, fs::perms::owner_all);
    std::ofstream(base_ + "/portals/zvtest.portal")
        << "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.zvtest\n"
        << "Interfaces=org.freedesktop.impl.portal.ScreenCast;\nUseIn=zvtest\n";

    env_.insert("PATH", qEnvironmentVariable("PATH", "/usr/bin:/bin"));
    env_.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime_));
    env_.insert("HOME", QString::fromStdString(home_));
    env_.insert("XDG_STATE_HOME", QString::fromStdString(state_));
    env_.insert("XDG_CURRENT_DESKTOP", "zvtest");
    env_.insert("XDG_DESKTOP_PORTAL_DIR", QString::fromStdString(base_ + "/portals"));
    env_.insert("ZVTEST_LOG", QString::fromStdString(base_ + "/backend.log"));
    // The back end's monitors: "node@x,y" each, ";" between them.
    QStringList nodes;
    for (size_t i = 0; i < monitors.size(); ++i)
        nodes << QString("zvtest-screen-%1@%2,%3").arg(i).arg(monitors[i].x).arg(monitors[i].y);
    env_.insert("ZVTEST_NODES", nodes.join(';'));
    env_.insert("ZVTEST_REFUSE", QString::fromStdString(base_ + "/refuse"));
    env_.insert("ZVTEST_CLOSE", QString::fromStdString(base_ + "/close"));
    try {
        QProcess &bus = start(
            "dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1"}, nullptr);
        if (!waitFor([&] { return bus.canReadLine() || bus.waitForReadyRead(100); }, 30'000))
            throw std::runtime_error("dbus-daemon gave no address");
        busAddress_ = bus.readLine().trimmed().toStdString();
        env_.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString(busAddress_));

        startPipeWire(width, height, monitors);
        start("/usr/bin/python3", {backendScript()}, "backend.out");
        if (!waitFor([&] { return backendLog().find("ready") != std::string::npos; }, 30'000))
            throw std::runtime_error("the back end did not come up: " +
                                     readAll(base_ + "/backend.out"));
        start(kFrontEnd, {"--replace"}, "portal.log");
        const auto owned = [&] {
            QProcess ask;
            ask.setProcessEnvironment(env_);
            ask.start("dbus-send", {"--session", "--print-reply", "--dest=org.freedesktop.DBus",
                                    "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                    "string:org.freedesktop.portal.Desktop"});
            return ask.waitForFinished(10'000) && ask.readAll().contains("true");
        };
        if (!waitFor(owned, 30'000))
            throw std::runtime_error("xdg-desktop-portal did not come up: " +
                                     readAll(base_ + "/portal.log"));
    } catch (...) {
        stop();
        throw;
    }
}

void PortalDesktop::startPipeWire(int width, int height, const std::vector<Monitor> &monitors) {
    start("pipewire", {}, "pipewire.log");
    if (!waitFor([&] { return fs::exists(runtime_ + "/pipewire-0"); }, 30'000))
        throw std::runtime_error("pipewire did not come up: " + readAll(base_ + "/pipewire.log"));
    start("wireplumber", {}, "wireplumber.log");
    char caps[160];
    std::snprintf(caps, sizeof caps, "video/x-raw,format=RGBx,width=%d,height=%d,framerate=10/1",
                  width, height);
    for (size_t i = 0; i < monitors.size(); ++i) {
        char fill[32];
        std::snprintf(fill, sizeof fill, "foreground-color=0x%08X",
                      0xFF000000u | monitors[i].colour);
        start(
            "gst-launch-1.0",
            {"-q", "videotestsrc", "pattern=solid-color", fill, "!", caps, "!", "pipewiresink",
             "mode=provide",
             QString("stream-properties=props,media.class=Video/Source,node.name=zvtest-screen-%1")
                 .arg(i)},
            nullptr);
    }
}

PortalDesktop::~PortalDesktop() {
    stop();
}

void PortalDesktop::stop() {
    // The bus last: the others end on its loss too.
    for (auto p = processes_.rbegin(); p != processes_.rend(); ++p) {
        (*p)->terminate();
        if (!(*p)->waitForFinished(10'000)) {
            (*p)->kill();
            (*p)->waitForFinished(5000);
        }
    }
    processes_.clear();
    // The document portal, which the bus started, unmounts its folder under the runtime folder
    // only when it notices the bus gone.
    waitFor(
        [&] {
            std::error_code ec;
            fs::remove_all(base_, ec);
            return !ec && !fs::exists(base_);
        },
        30'000);
}

QProcessEnvironment PortalDesktop::clientEnvironment() const {
    QProcessEnvironment env;
    for (const char *name : {"PATH", "XDG_RUNTIME_DIR", "HOME", "XDG_STATE_HOME",
                             "XDG_CURRENT_DESKTOP", "DBUS_SESSION_BUS_ADDRESS"})
        env.insert(name, env_.value(name));
    env.insert("XDG_SESSION_TYPE", "wayland");
    env.insert("WAYLAND_DISPLAY", QString::fromStdString(runtime_ + "/no-compositor"));
    return env;
}

std::string PortalDesktop::backendLog() const {
    return readAll(base_ + "/backend.log");
}

void PortalDesktop::refuse(bool refused) {
    if (refused)
        std::ofstream(base_ + "/refuse") << "refused\n";
    else
        fs::remove(base_ + "/refuse");
}

void PortalDesktop::closeSessions() {
    std::ofstream(base_ + "/close") << "close\n";
}

}  // namespace zvtest
