#include "recorder/FrameSchedule.h"

#include <algorithm>

namespace zv {

FrameSchedule::FrameSchedule(uint64_t nowMs, uint32_t delayMs)
    : delay_(std::max<uint32_t>(delayMs, 1)), last_(nowMs), next_(nowMs) {}

void FrameSchedule::setDelay(uint32_t delayMs) {
    delayMs = std::max<uint32_t>(delayMs, 1);
    if (delayMs == delay_)
        return;
    delay_ = delayMs;
    if (next_ != last_)  // a frame was taken: the grid starts again at its slot
        next_ = last_ + delay_;
}

bool FrameSchedule::take(uint64_t nowMs) {
    if (!due(nowMs))
        return false;
    // The slot taken is the latest one not after now; those before it are skipped.
    const uint64_t behind = (nowMs - next_) / delay_;
    skipped_ += behind;
    last_ = next_ + behind * delay_;
    next_ = last_ + delay_;
    return true;
}

}  // namespace zv
