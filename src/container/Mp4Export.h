#pragma once

#include <cstdint>
#include <string>

#include "container/Mp4Writer.h"

class TZVFFormat;

namespace zv {

struct Mp4ExportOptions {
    // Playback speed: 10 plays ten seconds of the recording in one. 0.01 .. 10,000.
    double speed = 1.0;
    // The longest pause of playback, in seconds: a longer one (a recorder paused for hours) is
    // cut to it. 0.001 .. 86,400.
    double maxGapSeconds = 2.0;
    // The frame's date-time, as the viewer writes it, burnt into the top right-hand corner.
    bool timeStamp = true;
    Mp4Encoding encoding;

    // Throws zv::Error naming the first value outside its range.
    void check() const;

    friend bool operator==(const Mp4ExportOptions &, const Mp4ExportOptions &) = default;
};

// Export of a range of frames of a recording into an MP4 file with one H.264 stream, each frame
// shown for its real duration (Mp4Writer, PlaybackTiming). The bounds rules and messages are
// those of the frame store's other exports: first and last inclusive in either order, refused
// with "Недопустимые границы экспорта"; a time interval takes the frames strictly inside it and
// is refused with "Неверно указан временной интервал экспорта"; the recording itself is refused
// as a target. Frames are decoded like the viewer's, stretched when the screen changed its size.
//
// A frame that cannot be read or decoded shows the picture before it again (black before the
// first readable one) with its own time stamp; when the file is finished one zv::Error names how
// many there were and the first failure. When no frame of the range can be read nothing is
// written and zv::Error says so.
//
// The file is written as a part file of the target (platform/PartFile.h: unnamed where the file
// system allows, so that even a kill leaves nothing) and renamed over the target when it is
// complete, so a failed export leaves an existing target as it was and no partial file. A second
// export to a target being written fails at once (TargetLock).
// Progress goes to zvf.OnExportProgress and zvf.OnExportFrames, both in frames, after each frame.
// zvf.CancelExport stops the export after the frame being encoded: the video of the frames so
// far is finished and renamed into place, and the call returns normally. The time stamp needs a
// QGuiApplication (it may be drawn on any thread); other errors are zv::Error as raised by the
// file and the encoder.
void exportMp4(TZVFFormat &zvf, const std::string &target, int32_t first, int32_t last,
               const Mp4ExportOptions &options = {});
void exportMp4ByTime(TZVFFormat &zvf, const std::string &target, double start, double end,
                     const Mp4ExportOptions &options = {});

}  // namespace zv
