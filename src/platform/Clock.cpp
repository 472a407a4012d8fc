#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace zv {

namespace {

class SteadyClock final : public Clock {
public:
    uint32_t tickCount() override {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        return static_cast<uint32_t>(ms.count());
    }
    void sleepMs(uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

}  // namespace

Clock &systemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace zv
