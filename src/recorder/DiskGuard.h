#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/FreeSpace.h"
#include "recorder/RecorderLog.h"

namespace zv {

// The recorder's free-space rule. Before each frame: when the file system of the recording has
// minMegabytes or less free (1 MB = 1,048,576 bytes), then with recursive set the oldest rotated
// files of this recording (RotatedFiles.h: names of its rotation pattern only, never the
// recording itself, never anything else) are deleted until the free space is above the limit;
// when none is left, or without recursive, recording pauses (no frame is written) until the
// space returns. Each deletion, pause and resume is logged. A negative limit never pauses.
//
// Free space is measured at most once a second (and again after each deletion); in between the
// last decision stands.
class DiskGuard {
public:
    DiskGuard(FreeSpaceSource &freeSpace, RecorderLog log);

    // Whether a frame may be written to recording (a native path) now; nowMs is a steady clock.
    bool allows(const std::string &recording, int32_t minMegabytes, bool recursive, uint64_t nowMs);

    bool paused() const { return paused_; }

private:
    std::optional<int64_t> measure(const std::string &recording);
    bool freeUp(const std::string &recording, int64_t limit, std::optional<int64_t> &free);
    void setPaused(bool paused, std::optional<int64_t> free, int64_t limit);

    FreeSpaceSource &freeSpace_;
    RecorderLog log_;
    bool measured_ = false;
    uint64_t lastMeasureMs_ = 0;
    bool allowed_ = true;
    bool paused_ = false;
    bool unmeasurable_ = false;
};

}  // namespace zv
