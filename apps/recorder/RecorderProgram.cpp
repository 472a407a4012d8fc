#include "RecorderProgram.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "ProgramLog.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Error.h"
#include "platform/FileWatch.h"
#include "platform/FreeSpace.h"
#include "platform/Paths.h"
#include "platform/ScreenCapture.h"
#include "platform/ScreenSourceChoice.h"
#include "platform/ServiceWindows.h"
#include "platform/WindowList.h"
#include "recorder/Recorder.h"

using zv::LogLevel;

namespace {

// The longest wait between two looks at the configuration file, in case a notice is missed.
constexpr uint64_t kSettingsLookMs = 1000;

// SIGTERM, SIGINT and SIGHUP arrive as readable data on a descriptor instead of interrupting.
class SignalDescriptor {
public:
    SignalDescriptor() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, nullptr);
        fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
        ::signal(SIGPIPE, SIG_IGN);
    }
    ~SignalDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int descriptor() const { return fd_; }
    // The next signal that waits, 0 when none.
    int take() {
        signalfd_siginfo info{};
        return ::read(fd_, &info, sizeof info) == sizeof info ? static_cast<int>(info.ssi_signo)
                                                              : 0;
    }

private:
    int fd_ = -1;
};

TRecordingSettings loadSettings(const std::string &config) {
    TRecordingSettings settings;
    const std::string problem = zv::readRecordingSettings(config, settings);
    if (!problem.empty())
        logLine(LogLevel::Warning, problem + "; где нужно, действуют настройки по умолчанию");
    return settings;
}

std::string configPath(const RecorderOptions &options) {
    return options.config.empty() ? ConfigFileName() : options.config;
}

// The loop of a running recorder: frames when due, the configuration file, the quit message and
// signals. Returns the exit status.
// Without windows (a Wayland session with no X display) only signals end it.
int loop(zv::Recorder &recorder, zv::ServiceWindows *windows, const std::string &config) {
    SignalDescriptor signals;
    zv::FileWatch watch(zv::nativePath(config));
    for (;;) {
        recorder.runDueFrame();
        const uint64_t wait = std::min(recorder.msUntilNextFrame(), kSettingsLookMs);
        pollfd fds[] = {{windows ? windows->descriptor() : -1, POLLIN, 0},
                        {signals.descriptor(), POLLIN, 0},
                        {watch.descriptor(), POLLIN, 0}};
        ::poll(fds, watch.descriptor() >= 0 ? 3 : 2, static_cast<int>(wait));
        for (int signal; (signal = signals.take()) != 0;) {
            if (signal != SIGHUP) {
                logLine(LogLevel::Info, std::string("Получен сигнал ") + strsignal(signal) +
                                            ": работа завершается");
                return 0;
            }
            recorder.applySettings(loadSettings(config));
        }
        if (windows && windows->quitRequested()) {
            logLine(LogLevel::Info, std::string("Получено сообщение о завершении окну ") +
                                        kQuitTitle + ": работа завершается");
            return 0;
        }
        if (windows && windows->displayLost()) {
            logLine(LogLevel::Error, "Потеряна связь с дисплеем X11: работа завершается");
            return 1;
        }
        if (watch.changed())
            recorder.applySettings(loadSettings(config));
    }
}

}  // namespace

int runRecorder(const RecorderOptions &options) {
    const std::string config = configPath(options);
    keepLogBeside(zv::nativePath(config));
    const zv::DesktopSession session = zv::DesktopSession::fromEnvironment();
    std::unique_ptr<zv::ScreenSource> screen;
    try {
        screen = zv::makeSessionScreenSource(session, zv::systemClock(), options.pointer);
    } catch (const zv::Error &e) {
        logLine(LogLevel::Error, e.what());
        return 1;
    }
    std::unique_ptr<zv::ServiceWindows> windows;
    if (!options.once) {
        const std::string another = std::string("Окно ") + kServiceTitle +
                                    " уже есть на дисплее: другая копия записи работает, "
                                    "эта завершается";
        if (zv::findWindowByTitle(zv::makeX11WindowList()->windows(), kServiceTitle)) {
            logLine(LogLevel::Info, another);
            return 0;
        }
        try {
            // Of recorders started together the display server lets exactly one claim the
            // instance selection; the others end here.
            windows = std::make_unique<zv::ServiceWindows>(
                std::vector<std::string>{kServiceTitle, kQuitTitle}, kQuitTitle, std::string(),
                kInstanceSelection);
        } catch (const zv::Error &e) {
            if (!session.isWayland()) {
                logLine(LogLevel::Error, e.what());
                return 1;
            }
            // The screen is the compositor's: recording goes on, unseen by the settings window.
            logLine(LogLevel::Warning, std::string(e.what()) +
                                           ": запись идет, но окно настроек ее не увидит и не "
                                           "сможет остановить");
        }
        if (windows && windows->anotherInstance()) {
            logLine(LogLevel::Info, another);
            return 0;
        }
    }
    logLine(LogLevel::Info, std::string("ZORVideoService ") + ZORVIDEO_VERSION + " запущен (" +
                                std::to_string(::getpid()) + "), сеанс " + session.describe() +
                                ", снимки экрана через " + screen->method() + ", файл настроек \"" +
                                config + "\"");
    if (const auto *fallback = dynamic_cast<const zv::FallbackScreenSource *>(screen.get());
        fallback && !fallback->problem().empty())
        logLine(LogLevel::Error, fallback->problem());

    zv::RecorderEnvironment services{*screen, zv::systemFreeSpace(), zv::systemClock(),
                                     &zv::nowDateTime, recorderLog()};
    zv::ServiceWindows *published = windows.get();
    services.stateChanged = [published](const zv::RecorderState &state) {
        if (published)
            published->publishState(zv::recorderStateText(state));
    };
    zv::Recorder recorder(services, loadSettings(config));
    if (published)
        published->publishState(zv::recorderStateText(recorder.state()));
    if (options.once)
        return recorder.takeFrame() ? 0 : 1;
    const int status = loop(recorder, windows.get(), config);
    logLine(LogLevel::Info, recorder.summary());
    return status;
}
