#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "container/GifImage.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "platform/FreeSpace.h"
#include "platform/ScreenCapture.h"
#include "recorder/DiskGuard.h"
#include "recorder/FrameSchedule.h"
#include "recorder/RecorderLog.h"
#include "recorder/RecorderState.h"
#include "recorder/RecordingWriter.h"
#include "recording/RecordingSettings.h"

namespace zv {

// What the recorder takes from its surroundings; tests hand in fakes. Everything referred to
// must outlive the recorder.
struct RecorderEnvironment {
    ScreenSource &screen;
    FreeSpaceSource &freeSpace;
    Clock &clock;                      // the schedule's steady clock
    std::function<double()> dateTime;  // the local wall-clock date-time of a frame
    RecorderLog log;
    FileSystem &files = localFileSystem();
    // Told every change of the recorder's state (may be empty).
    std::function<void(const RecorderState &)> stateChanged = {};
};

// The recorder's engine, without windows or event loop: the schedule, the free-space rule, the
// writer with its rotation, following the settings it is given.
//
// While EnableRec is set, every WaitForNextFrame ms (at least 40) it grabs the screen, encodes it
// with the colours of BitRate and appends it to the native path of OutFile; MaxFileSize (MB, when
// positive) and the index's capacity rotate the file; MinHDDSize and RecursiveRecord apply the
// free-space rule. Failures are logged (a repeated failure once, and its end) and the frame is
// tried again at the next slot; nothing here throws. Not thread-safe.
//
// Its state (RecorderState.h) follows each frame: Recording once a frame is written, Paused
// while the free-space rule holds frames back, Failing with the reason while frames fail, Off
// while recording is switched off.
class Recorder {
public:
    Recorder(RecorderEnvironment services, const TRecordingSettings &settings);
    ~Recorder();

    // New settings, used from the next frame on. Logs what changed.
    void applySettings(const TRecordingSettings &settings);
    const TRecordingSettings &settings() const { return settings_; }

    // Milliseconds until the next frame is due; 0 when one is due now.
    uint64_t msUntilNextFrame();
    // Takes the frame that is due, if one is: true when a frame was written.
    bool runDueFrame();
    // Takes one frame now, whether recording is switched on or not (for a try of the setup);
    // the free-space rule still holds. True when it was written.
    bool takeFrame();

    // Waits until every frame written is counted in its file (readers see it); a failure is
    // logged.
    void flush();

    // A failure found outside the engine (a capture that waits for the desktop's permission, say):
    // logged once, and the state is Failing with reason until a frame is written again.
    void reportFailure(const std::string &reason);
    const RecorderState &state() const { return state_; }

    uint64_t framesWritten() const { return framesWritten_; }
    // Frames that were due and captured but could not be written (or counted).
    uint64_t framesLost() const { return framesLost_ + writer_.framesUncounted(); }
    uint64_t slotsSkipped() const { return schedule_.skipped(); }
    // One line for the log at the end: frames written, lost, not captured, paused, skipped.
    std::string summary() const;

private:
    uint64_t nowMs();
    void report(LogLevel level, const std::string &what);
    void recovered();
    void setState(RecorderState::Kind kind, std::string reason);

    RecorderEnvironment s_;
    TRecordingSettings settings_;
    uint32_t lastTick_;
    uint64_t elapsedMs_ = 0;
    FrameSchedule schedule_;
    DiskGuard disk_;
    RecordingWriter writer_;
    GifEncoder encoder_;
    std::string failure_;  // the failure last logged, until a frame is written again
    RecorderState state_;
    uint64_t framesWritten_ = 0;
    uint64_t framesLost_ = 0;
    uint64_t framesNotCaptured_ = 0;
    uint64_t framesPaused_ = 0;
};

// The delay between frames that the recorder uses for a WaitForNextFrame value: at least 40 ms.
uint32_t frameDelayMs(int32_t waitForNextFrame);

}  // namespace zv
