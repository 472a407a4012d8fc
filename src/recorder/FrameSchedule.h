#pragma once

#include <cstdint>

namespace zv {

// When the recorder's frames are due: frame k at start + k * delay on a steady clock, counted in
// milliseconds. A slot missed because the machine was busy is skipped, not made up in a burst.
// A new delay takes effect from the slot of the last frame: the next frame is due one new delay
// after it (or at once when that has passed).
class FrameSchedule {
public:
    // The first frame is due at nowMs.
    FrameSchedule(uint64_t nowMs, uint32_t delayMs);

    uint32_t delay() const { return delay_; }
    void setDelay(uint32_t delayMs);

    bool due(uint64_t nowMs) const { return nowMs >= next_; }
    // 0 when a frame is due.
    uint64_t msUntilDue(uint64_t nowMs) const { return due(nowMs) ? 0 : next_ - nowMs; }

    // Takes the due slot, if any: true when a frame is due now. The next slot is the first one
    // later than nowMs; the slots passed over meanwhile are counted as skipped.
    bool take(uint64_t nowMs);
    uint64_t skipped() const { return skipped_; }

private:
    uint32_t delay_;
    uint64_t last_;  // the slot of the last frame taken
    uint64_t next_;
    uint64_t skipped_ = 0;
};

}  // namespace zv
