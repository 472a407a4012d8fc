#pragma once

#include <cstdint>

namespace zv {

// Tick counter and sleeps, in place of GetTickCount and Sleep. Windows take one in their
// constructor (or use systemClock()); tests hand in a FakeClock so that no test waits.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds of a steady clock; wraps at 2^32 like GetTickCount.
    virtual uint32_t tickCount() = 0;
    virtual void sleepMs(uint32_t ms) = 0;
};

// The process-wide steady clock. Never null; lives for the whole process.
Clock &systemClock();

}  // namespace zv
