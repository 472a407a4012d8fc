#pragma once

#include <functional>

#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/FreeSpace.h"
#include "platform/ProcessStart.h"
#include "platform/WindowList.h"
#include "recording/RecorderControl.h"
#include "support/Fakes.h"

namespace zvtest {

// A clock whose sleeps pass at once and can be watched: onSleep runs after each.
class WatchedClock : public zvtest::FakeClock {
public:
    using zvtest::FakeClock::FakeClock;
    void sleepMs(uint32_t ms) override {
        zvtest::FakeClock::sleepMs(ms);
        if (onSleep)
            onSleep();
    }
    std::function<void()> onSleep;
};

// The settings window's recorder services, all of them fakes: no display, no processes, no
// autostart folder, no disk is touched, and time passes only when a test says so. The drive
// has 10 GB free unless a test says otherwise.
struct FakeControlServices {
    FakeControlServices() { freeSpace.bytes = int64_t{10} << 30; }
    zv::RecorderControlServices bundle() {
        return {&clock, &windows, &processes, &autostart, &freeSpace};
    }

    WatchedClock clock{100'000};
    zvtest::FakeWindowList windows;
    zvtest::FakeProcessStarter processes;
    zvtest::FakeAutostart autostart;
    zvtest::FakeFreeSpace freeSpace;
};

}  // namespace zvtest
