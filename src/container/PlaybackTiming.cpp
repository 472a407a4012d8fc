#include "container/PlaybackTiming.h"

#include <algorithm>
#include <cmath>

namespace zv {

namespace {

constexpr double kMsPerDay = 86'400'000.0;

}  // namespace

PlaybackTiming::PlaybackTiming(double speed, double maxGapMs)
    : speed_(speed), maxGapMs_(maxGapMs) {}

std::optional<double> PlaybackTiming::playbackDelay(double dateTime) const {
    const double real = (dateTime - previous_) * kMsPerDay;
    // Equal times (a frame of the same millisecond) are no interval either: a frame shown for
    // nothing would be lost to the viewer.
    if (!std::isfinite(real) || real < 0.5)
        return std::nullopt;
    return std::clamp(real / speed_, 1.0, maxGapMs_);
}

double PlaybackTiming::fallbackDelay() const {
    if (previousDelay_ > 0)
        return previousDelay_;
    return std::clamp(1000.0 / speed_, 1.0, maxGapMs_);
}

int64_t PlaybackTiming::next(double dateTime) {
    if (!started_) {
        started_ = true;
        previous_ = dateTime;
        return 0;
    }
    const double delay = playbackDelay(dateTime).value_or(fallbackDelay());
    elapsed_ += delay;
    previousDelay_ = delay;
    if (std::isfinite(dateTime))
        previous_ = dateTime;
    // Delays of at least 1 ms keep the rounded times rising; the max guards the rounding.
    pts_ = std::max<int64_t>(pts_ + 1, std::llround(elapsed_));
    return pts_;
}

int64_t PlaybackTiming::lastDuration(std::optional<double> following) const {
    double delay = fallbackDelay();
    if (following) {
        if (const std::optional<double> real = playbackDelay(*following))
            delay = *real;
    }
    return std::max<int64_t>(1, std::llround(delay));
}

}  // namespace zv
