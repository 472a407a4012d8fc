#pragma once

#include <cstdint>
#include <string>

namespace zv {

class AutostartStore;
class Clock;
class FreeSpaceSource;
class ProcessStarter;
class WindowList;

// The services through which the settings window starts, stops, watches and registers the
// recorder. The objects are not owned and must outlive whoever holds the bundle.
struct RecorderControlServices {
    Clock *clock;
    WindowList *windows;
    ProcessStarter *processes;
    AutostartStore *autostart;
    FreeSpaceSource *freeSpace;

    // The real ones: the steady clock, the X display, detached processes, the XDG autostart
    // folder and statvfs.
    static RecorderControlServices system();
};

// Points of contact with the recorder; they stay as the recorder and its users know them.
inline constexpr const char *kRecorderExecutable = "C:\\VELD\\ZORVideoService.exe";
inline constexpr const char *kRecorderWindowTitle = "ZorvideoService";
inline constexpr const char *kRecorderQuitWindowTitle = "TempForm";
inline constexpr const char *kAutostartValueName = "ZORVideo";

// Actions of runKeyAction.
inline constexpr int kRunKeyAdd = 0;
inline constexpr int kRunKeyDelete = 1;
inline constexpr int kRunKeyTest = 2;

// Monitoring: a full check at most every kFullCheckGapMs; waits after a start or a stop of
// kWaitRounds sleeps of kWaitStepMs with the pending events handled after each.
inline constexpr uint32_t kFullCheckGapMs = 3000;
inline constexpr int kWaitRounds = 61;
inline constexpr uint32_t kWaitStepMs = 50;

// Whether a window titled like the recorder is among the top-level windows.
bool isRecorderRunning(WindowList &windows);

// What the recorder says it is doing, from the state it publishes on its window (the property
// kServiceStateProperty of ServiceWindows.h).
struct RecorderActivity {
    bool running = false;  // its window is there
    // Running, recording switched on in cnf.INI (recordingEnabled), and yet no frames are being
    // written: paused, failing, or recording switched off in the settings the recorder holds. A
    // recorder that publishes no state counts as recording.
    bool idle = false;
    std::string reason;  // Russian, why it is idle
};
RecorderActivity recorderActivity(WindowList &windows, bool recordingEnabled);

// Sends the quit message to the recorder's window "TempForm"; false when there is none.
bool stopRecorder(WindowList &windows);

// Action kRunKeyAdd registers the mapped recorder executable under name, kRunKeyDelete removes
// the entry, kRunKeyTest tells whether it exists. Every failure is silent; only the test gives
// a meaningful answer, the other actions answer false.
bool runKeyAction(AutostartStore &store, const std::string &name, int action);

// Whether more than kFullCheckGapMs have passed between two readings of the wrapping tick
// counter.
bool fullCheckDue(uint32_t now, uint32_t lastCheck);

// Whether the place where outFile lies (its nearest existing folder, as the recorder measures:
// FreeSpace.h) has minHddSizeMb megabytes or less available. A drive
// whose space cannot be measured counts as short: an output that cannot be checked is not in
// order. A negative limit is never reached.
bool lowDiskSpace(FreeSpaceSource &source, const std::string &outFile, int32_t minHddSizeMb);

// An installed package keeps the recorder program among the system's programs, while the
// settings window starts it at the mapped kRecorderExecutable. This makes the one lead to the
// other: when installedRecorder is an executable file and the mapped path holds nothing, or a
// symbolic link that leads nowhere (a removed or moved install), the folder of the mapped path is
// created with its parents and a symbolic link to installedRecorder is put there. A recorder that
// is in place (a file, or a link to one) is kept. True when the link was made; every failure is
// silent, and "Запустить" then reports the missing executable as it would.
bool linkInstalledRecorder(const std::string &installedRecorder);

}  // namespace zv
