#pragma once

#include <cstdint>
#include <optional>

namespace zv {

// When each frame of an exported video is shown: its real time since the first frame, divided by
// the playback speed, with every pause longer than maxGap (of playback) cut to maxGap. Times are
// whole milliseconds from the first frame and rise strictly.
//
// An interval that is not a real one (the clock set back, two frames of one millisecond, a
// date-time that is not a number) plays as long as the interval before it, or as one second of
// recording when there is none.
class PlaybackTiming {
public:
    // speed > 0 and maxGapMs >= 1; the caller checks them (Mp4ExportOptions::check).
    PlaybackTiming(double speed, double maxGapMs);

    // The presentation time of the next frame, taken at dateTime (days, as stored).
    int64_t next(double dateTime);

    // How long the last frame given to next() stays on screen: until following, the date-time
    // of the frame after it in the recording, when there is one and the interval is real;
    // otherwise as long as the interval before it. At least 1 ms.
    int64_t lastDuration(std::optional<double> following) const;

private:
    // The playback length of a real interval from the previous frame to dateTime, or nullopt.
    std::optional<double> playbackDelay(double dateTime) const;
    double fallbackDelay() const;

    double speed_;
    double maxGapMs_;
    bool started_ = false;
    double previous_ = 0;       // date-time of the previous frame
    double previousDelay_ = 0;  // its playback delay in ms; 0 while there is none
    double elapsed_ = 0;        // playback ms of the previous frame, unrounded
    int64_t pts_ = 0;
};

}  // namespace zv
