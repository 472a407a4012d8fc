#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zv {

// What the recorder is doing, as it tells the operator's settings window (and its log): frames
// are being written, recording is switched off, it pauses for a reason it expects to pass (too
// little free space), or it fails for a reason someone must act on (a file or folder that cannot
// be written, a capture that fails or waits for permission). The engine sets it; any capture or
// writer may feed a failure through Recorder::reportFailure.
struct RecorderState {
    enum class Kind { Recording, Off, Paused, Failing };
    Kind kind = Kind::Recording;
    std::string reason;  // Russian, for the operator; empty for Recording and Off

    bool operator==(const RecorderState &) const = default;
};

// The state as one line of text, as the recorder publishes it on its "ZorvideoService" window
// (property kRecorderStateProperty, UTF-8): "recording", "off", "paused: <reason>" or
// "failing: <reason>".
std::string recorderStateText(const RecorderState &state);
// The state back from such a text; nullopt for anything else.
std::optional<RecorderState> parseRecorderState(std::string_view text);

}  // namespace zv
