#include "recording/RecorderControl.h"

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/FreeSpace.h"
#include "platform/Paths.h"
#include "platform/ProcessStart.h"
#include "platform/ServiceWindows.h"
#include "platform/WindowList.h"

namespace zv {

RecorderControlServices RecorderControlServices::system() {
    return {&systemClock(), &systemWindowList(), &systemProcessStarter(), &systemAutostart(),
            &systemFreeSpace()};
}

bool isRecorderRunning(WindowList &windows) {
    return findWindowByTitle(windows.windows(), kRecorderWindowTitle).has_value();
}

RecorderActivity recorderActivity(WindowList &windows, bool recordingEnabled) {
    const std::optional<TopLevelWindow> window =
        findWindowByTitle(windows.windows(), kRecorderWindowTitle);
    RecorderActivity activity;
    activity.running = window.has_value();
    if (!window || !recordingEnabled)
        return activity;
    const std::optional<std::string> state =
        windows.textProperty(window->id, kServiceStateProperty);
    if (!state || *state == kStateRecording)
        return activity;
    activity.idle = true;
    std::string_view text = *state;
    if (text == kStateOff) {
        activity.reason = "запись выключена в настройках, которые прочитала служба";
    } else if (text.substr(0, kStatePausedPrefix.size()) == kStatePausedPrefix) {
        activity.reason =
            "запись приостановлена, " + std::string(text.substr(kStatePausedPrefix.size()));
    } else if (text.substr(0, kStateFailingPrefix.size()) == kStateFailingPrefix) {
        activity.reason = "ошибка: " + std::string(text.substr(kStateFailingPrefix.size()));
    } else {
        activity.idle = false;  // a state of a later recorder that this module does not know
    }
    return activity;
}

bool stopRecorder(WindowList &windows) {
    const std::optional<TopLevelWindow> window =
        findWindowByTitle(windows.windows(), kRecorderQuitWindowTitle);
    if (!window)
        return false;
    windows.sendQuit(window->id);
    return true;
}

bool runKeyAction(AutostartStore &store, const std::string &name, int action) {
    try {
        switch (action) {
            case kRunKeyAdd:
                store.add(name, nativePath(kRecorderExecutable));
                break;
            case kRunKeyDelete:
                store.remove(name);
                break;
            case kRunKeyTest:
                return store.contains(name);
            default:
                break;
        }
    } catch (const std::exception &) {
        // The autostart entry is a convenience; the buttons show what the next test finds.
    }
    return false;
}

bool fullCheckDue(uint32_t now, uint32_t lastCheck) {
    return static_cast<uint32_t>(now - lastCheck) > kFullCheckGapMs;
}

bool lowDiskSpace(FreeSpaceSource &source, const std::string &outFile, int32_t minHddSizeMb) {
    const int64_t limit = static_cast<int64_t>(minHddSizeMb) * 1048576;
    const std::optional<int64_t> free = source.freeBytes(outFile);
    if (!free)
        return limit >= 0;
    return limit >= *free;
}

bool linkInstalledRecorder(const std::string &installedRecorder) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (installedRecorder.empty() || !fs::is_regular_file(installedRecorder, error) ||
        ::access(installedRecorder.c_str(), X_OK) != 0)
        return false;
    const fs::path mapped = nativePath(kRecorderExecutable);
    const fs::file_status present = fs::symlink_status(mapped, error);
    if (fs::exists(present)) {
        if (!fs::is_symlink(present) || fs::exists(mapped, error))
            return false;
        if (!fs::remove(mapped, error))
            return false;
    }
    fs::create_directories(mapped.parent_path(), error);
    const fs::path target = fs::weakly_canonical(installedRecorder, error);
    if (error)
        return false;
    fs::create_symlink(target, mapped, error);
    return !error;
}

}  // namespace zv
