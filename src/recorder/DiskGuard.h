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
// recording itself, never a file set aside as damaged, never anything else) are deleted, but only
// when their removal, together with the older ones before them, brings the free space above the
// limit: a limit that deleting cannot reach deletes nothing. Otherwise, or without recursive,
// recording pauses (no frame is written) until the space returns. Each deletion, pause (with
// free space, limit and what the old files would give) and resume is logged.
// A negative limit never pauses.
//
// Free space is measured before every frame (statvfs costs microseconds), so a fast recording
// cannot fill the disk between two measurements.
class DiskGuard {
public:
    DiskGuard(FreeSpaceSource &freeSpace, RecorderLog log);

    // Whether a frame may be written to recording (a native path) now.
    bool allows(const std::string &recording, int32_t minMegabytes, bool recursive);

    bool paused() const { return paused_; }
    // While paused: why, in Russian, for the operator.
    const std::string &pauseReason() const { return reason_; }

private:
    std::optional<int64_t> measure(const std::string &recording);
    bool freeUp(const std::string &recording, int64_t limit, std::optional<int64_t> &free,
                int64_t &oldFilesGive);
    void setPaused(bool paused, std::optional<int64_t> free, int64_t limit, int64_t oldFilesGive,
                   bool recursive);

    FreeSpaceSource &freeSpace_;
    RecorderLog log_;
    bool paused_ = false;
    bool unmeasurable_ = false;
    std::string reason_;
};

}  // namespace zv
