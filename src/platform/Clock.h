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

// For tests: time moves only when told to, sleeps advance it at once.
class FakeClock : public Clock {
public:
    explicit FakeClock(uint32_t start = 0) : now_(start) {}
    uint32_t tickCount() override { return now_; }
    void sleepMs(uint32_t ms) override {
        now_ += ms;
        slept_ += ms;
    }
    void advance(uint32_t ms) { now_ += ms; }
    uint64_t totalSlept() const { return slept_; }

private:
    uint32_t now_;
    uint64_t slept_ = 0;
};

}  // namespace zv
