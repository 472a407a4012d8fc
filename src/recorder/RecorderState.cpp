#include "recorder/RecorderState.h"

#include "platform/ServiceWindows.h"

namespace zv {

std::string recorderStateText(const RecorderState &state) {
    switch (state.kind) {
        case RecorderState::Kind::Recording:
            return std::string(kStateRecording);
        case RecorderState::Kind::Off:
            return std::string(kStateOff);
        case RecorderState::Kind::Paused:
            return std::string(kStatePausedPrefix) + state.reason;
        case RecorderState::Kind::Failing:
            return std::string(kStateFailingPrefix) + state.reason;
    }
    return std::string(kStateRecording);
}

std::optional<RecorderState> parseRecorderState(std::string_view text) {
    auto startsWith = [&](std::string_view prefix) {
        return text.substr(0, prefix.size()) == prefix;
    };
    if (text == kStateRecording)
        return RecorderState{RecorderState::Kind::Recording, {}};
    if (text == kStateOff)
        return RecorderState{RecorderState::Kind::Off, {}};
    if (startsWith(kStatePausedPrefix))
        return RecorderState{RecorderState::Kind::Paused,
                             std::string(text.substr(kStatePausedPrefix.size()))};
    if (startsWith(kStateFailingPrefix))
        return RecorderState{RecorderState::Kind::Failing,
                             std::string(text.substr(kStateFailingPrefix.size()))};
    return std::nullopt;
}

}  // namespace zv
