#include "support/Sway.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace zvtest {

namespace {

// The unprivileged user that sway runs as when the tests run as root.
constexpr uid_t kUser = 65534;

bool asRoot() {
    return ::geteuid() == 0;
}

std::string colourText(uint32_t colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", colour & 0xFFFFFFu);
    return text;
}

void makeFolder(const std::string &path, mode_t mode, bool forUser) {
    fs::create_directories(path);
    ::chmod(path.c_str(), mode);
    if (forUser && asRoot() && ::chown(path.c_str(), kUser, kUser) != 0)
        throw std::runtime_error("chown " + path + " failed");
}

// Xwayland lets in only its own user. The tests, as root, look at its windows too: the
// compositor's user adds root to the server's access list.
void letRootIn(const std::string &display) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kUser) != 0 || ::setuid(kUser) != 0)
            ::_exit(2);
        xcb_connection_t *c = xcb_connect(display.c_str(), nullptr);
        static const uint8_t address[] = "localuser\0root";
        xcb_generic_error_t *error = xcb_request_check(
            c, xcb_change_hosts_checked(c, XCB_HOST_MODE_INSERT, XCB_FAMILY_SERVER_INTERPRETED,
                                        sizeof address - 1, address));
        ::_exit(xcb_connection_has_error(c) || error ? 1 : 0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        throw std::runtime_error("cannot let root in on Xwayland " + display);
}

}  // namespace

bool Sway::available(std::string &missing) {
    for (const char *tool : {"sway", "Xwayland", "setpriv"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            missing = std::string(tool) + " is not installed (tools/bootstrap installs it)";
            return false;
        }
    }
    return true;
}

Sway::Sway(int width, int height, uint32_t background) {
    std::string pattern = (fs::temp_directory_path() / "zorvideo-sway-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    base_ = pattern;
    ::chmod(base_.c_str(), 0755);
    runtime_ = base_ + "/run";
    work_ = base_ + "/work";
    makeFolder(runtime_, 0700, true);
    makeFolder(work_, 0755, true);
    // Xwayland's socket folder, as an X server run by root would have made it.
    if (asRoot() && !fs::exists("/tmp/.X11-unix"))
        makeFolder("/tmp/.X11-unix", 01777, false);

    const std::string config = base_ + "/config";
    const std::string found = work_ + "/displays";
    std::ofstream(config) << "output * bg " << colourText(background) << " solid_color\n"
                          << "output * mode " << width << "x" << height << "\n"
                          << "xwayland enable\n"
                          << "exec sh -c 'echo \"$WAYLAND_DISPLAY $DISPLAY $SWAYSOCK\" > " << found
                          << ".part && mv " << found << ".part " << found << "'\n";
    ::chmod(config.c_str(), 0644);

    QProcessEnvironment env;
    env.insert("PATH", qEnvironmentVariable("PATH", "/usr/bin:/bin"));
    env.insert("HOME", QString::fromStdString(work_));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime_));
    env.insert("WLR_BACKENDS", "headless");
    env.insert("WLR_RENDERER", "pixman");
    env.insert("WLR_LIBINPUT_NO_DEVICES", "1");
    QString program;
    QStringList args;
    command("sway", {"-c", QString::fromStdString(config)}, program, args);
    sway_.setProcessEnvironment(env);
    sway_.setProcessChannelMode(QProcess::MergedChannels);
    sway_.setStandardOutputFile(QString::fromStdString(base_ + "/sway.log"));
    sway_.start(program, args);

    QElapsedTimer timer;
    timer.start();
    while (!fs::exists(found)) {
        if (sway_.state() == QProcess::NotRunning || timer.elapsed() > 30'000) {
            std::ifstream logFile(base_ + "/sway.log");
            const std::string log((std::istreambuf_iterator<char>(logFile)), {});
            throw std::runtime_error("sway did not come up: " + log);
        }
        QThread::msleep(20);
    }
    std::ifstream(found) >> wayland_ >> x11_ >> ipc_;
    if (asRoot())
        letRootIn(x11_);
}

Sway::~Sway() {
    sway_.terminate();
    if (!sway_.waitForFinished(10'000)) {
        sway_.kill();
        sway_.waitForFinished(5000);
    }
    std::error_code ec;
    fs::remove_all(base_, ec);
}

void Sway::command(const QString &program, const QStringList &args, QString &runProgram,
                   QStringList &runArgs) const {
    if (!asRoot()) {
        runProgram = program;
        runArgs = args;
        return;
    }
    const QString id = QString::number(kUser);
    runProgram = "setpriv";
    runArgs = QStringList{"--reuid=" + id, "--regid=" + id, "--clear-groups", "--", program} + args;
}

QProcessEnvironment Sway::clientEnvironment(const std::string &waylandDisplay) const {
    QProcessEnvironment env;
    env.insert("PATH", qEnvironmentVariable("PATH", "/usr/bin:/bin"));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime_));
    env.insert("WAYLAND_DISPLAY",
               QString::fromStdString(waylandDisplay.empty() ? wayland_ : waylandDisplay));
    env.insert("DISPLAY", QString::fromStdString(x11_));
    return env;
}

bool Sway::message(const QStringList &words) const {
    QString program;
    QStringList args;
    command("swaymsg", words, program, args);
    QProcess p;
    QProcessEnvironment env = clientEnvironment();
    env.insert("SWAYSOCK", QString::fromStdString(ipc_));
    p.setProcessEnvironment(env);
    p.start(program, args);
    return p.waitForFinished(30'000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void Sway::handOver(const std::string &path) const {
    if (asRoot() && ::chown(path.c_str(), kUser, kUser) != 0)
        throw std::runtime_error("chown " + path + " failed");
}

struct ColouredXWindow::State {
    xcb_connection_t *c = nullptr;
};

ColouredXWindow::ColouredXWindow(const std::string &display, uint32_t colour)
    : s_(std::make_unique<State>()) {
    s_->c = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(s_->c)) {
        xcb_disconnect(s_->c);
        throw std::runtime_error("cannot open X display " + display);
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(s_->c)).data;
    const xcb_window_t window = xcb_generate_id(s_->c);
    const uint32_t values[] = {colour};
    xcb_create_window(s_->c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 200, 150, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                      values);
    xcb_map_window(s_->c, window);
    xcb_flush(s_->c);
}

ColouredXWindow::~ColouredXWindow() {
    xcb_disconnect(s_->c);
}

}  // namespace zvtest
