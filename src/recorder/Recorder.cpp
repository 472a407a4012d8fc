#include "recorder/Recorder.h"

#include "platform/Error.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "recorder/FrameEncoding.h"

namespace zv {

namespace {

constexpr int64_t kBytesPerMegabyte = 1'048'576;
constexpr int32_t kMinFrameDelayMs = 40;

std::string describe(const TRecordingSettings &s) {
    return "файл \"" + s.OutFile + "\", " + std::to_string(coloursForBitRate(s.BitRate)) +
           " цветов, задержка " + std::to_string(frameDelayMs(s.WaitForNextFrame)) +
           " мс, запись " + (s.EnableRec ? "включена" : "выключена") + ", предел файла " +
           std::to_string(s.MaxFileSize) + " МБ, свободно не меньше " +
           std::to_string(s.MinHDDSize) + " МБ, " +
           (s.RecursiveRecord ? "старые файлы удаляются" : "старые файлы не удаляются");
}

}  // namespace

uint32_t frameDelayMs(int32_t waitForNextFrame) {
    return static_cast<uint32_t>(std::max(waitForNextFrame, kMinFrameDelayMs));
}

Recorder::Recorder(RecorderEnvironment services, const TRecordingSettings &settings)
    : s_(std::move(services)),
      settings_(settings),
      lastTick_(s_.clock.tickCount()),
      schedule_(0, frameDelayMs(settings.WaitForNextFrame)),
      disk_(s_.freeSpace, s_.log),
      writer_(s_.files, s_.log),
      state_{settings.EnableRec ? RecorderState::Kind::Recording : RecorderState::Kind::Off, {}} {
    report(LogLevel::Info, "Настройки: " + describe(settings_));
}

Recorder::~Recorder() = default;

uint64_t Recorder::nowMs() {
    // The tick counter wraps every 49 days; the difference of two readings does not.
    const uint32_t tick = s_.clock.tickCount();
    elapsedMs_ += static_cast<uint32_t>(tick - lastTick_);
    lastTick_ = tick;
    return elapsedMs_;
}

void Recorder::report(LogLevel level, const std::string &what) {
    if (level != LogLevel::Info) {
        if (what == failure_)
            return;  // logged once until it changes or a frame is written
        failure_ = what;
    }
    if (s_.log)
        s_.log(level, what);
}

void Recorder::recovered() {
    if (failure_.empty())
        return;
    failure_.clear();
    report(LogLevel::Info, "Кадры снова записываются в \"" + settings_.OutFile + "\"");
}

void Recorder::applySettings(const TRecordingSettings &settings) {
    if (settings == settings_)
        return;
    if (settings.EnableRec != settings_.EnableRec)
        report(LogLevel::Info, settings.EnableRec ? "Запись включена" : "Запись выключена");
    settings_ = settings;
    schedule_.setDelay(frameDelayMs(settings_.WaitForNextFrame));
    if (!settings_.EnableRec)
        writer_.close();  // nothing holds the file while recording is off
    if (settings_.EnableRec != (state_.kind != RecorderState::Kind::Off))
        setState(settings_.EnableRec ? RecorderState::Kind::Recording : RecorderState::Kind::Off,
                 {});
    report(LogLevel::Info, "Настройки: " + describe(settings_));
}

uint64_t Recorder::msUntilNextFrame() {
    return schedule_.msUntilDue(nowMs());
}

bool Recorder::runDueFrame() {
    if (!schedule_.take(nowMs()))
        return false;
    return settings_.EnableRec && takeFrame();
}

void Recorder::setState(RecorderState::Kind kind, std::string reason) {
    RecorderState state{kind, std::move(reason)};
    if (state == state_)
        return;
    state_ = std::move(state);
    if (s_.stateChanged)
        s_.stateChanged(state_);
}

void Recorder::reportFailure(const std::string &reason) {
    report(LogLevel::Error, reason);
    setState(RecorderState::Kind::Failing, reason);
}

bool Recorder::takeFrame() {
    // A drive path or an absolute native path; anything else would land wherever the program
    // happens to run.
    const std::string file = nativePath(settings_.OutFile);
    if (file.empty() || file[0] != '/') {
        reportFailure("Путь файла записи не может быть сопоставлен: \"" + settings_.OutFile + "\"");
        return false;
    }
    if (!disk_.allows(file, settings_.MinHDDSize, settings_.RecursiveRecord)) {
        ++framesPaused_;
        setState(RecorderState::Kind::Paused, disk_.pauseReason());
        return false;
    }
    ScreenImage screen;
    double at = 0;
    try {
        screen = s_.screen.grab();
        at = s_.dateTime();
    } catch (const std::exception &e) {
        ++framesNotCaptured_;
        reportFailure(std::string("Снимок экрана не получен: ") + e.what());
        return false;
    }
    try {
        const std::vector<uint8_t> &gif = encodeScreen(encoder_, screen, settings_.BitRate);
        const int64_t maxBytes =
            settings_.MaxFileSize > 0 ? int64_t{settings_.MaxFileSize} * kBytesPerMegabyte : 0;
        writer_.append(file, maxBytes, gif, at);
    } catch (const std::exception &e) {
        ++framesLost_;
        reportFailure(std::string("Кадр не записан: ") + e.what());
        return false;
    }
    ++framesWritten_;
    recovered();
    setState(RecorderState::Kind::Recording, {});
    return true;
}

void Recorder::flush() {
    try {
        writer_.flush();
    } catch (const std::exception &e) {
        report(LogLevel::Error, std::string("Кадры не учтены: ") + e.what());
    }
}

std::string Recorder::summary() const {
    return "Записано кадров: " + std::to_string(framesWritten_ - writer_.framesUncounted()) +
           ", потеряно из-за ошибок записи: " + std::to_string(framesLost()) +
           ", не снято из-за ошибок снимка экрана: " + std::to_string(framesNotCaptured_) +
           ", не записано на паузе: " + std::to_string(framesPaused_) +
           ", пропущено по расписанию: " + std::to_string(slotsSkipped());
}

}  // namespace zv
