#include "export/StripMapping.h"

#include <algorithm>
#include <cmath>
#include <limits>

static_assert(std::numeric_limits<long double>::digits == 64,
              "the strip mapping needs the x87 extended format (a 64-bit significand)");

namespace zv {

int32_t positionToFrame(int64_t x, int32_t frameCount) {
    const long double q = static_cast<long double>(x) / static_cast<long double>(kStripScale);
    const long double p = static_cast<long double>(int64_t{frameCount} - 1) * q;
    const long double lowest = std::numeric_limits<int32_t>::min();
    const long double highest = std::numeric_limits<int32_t>::max();
    // nearbyint rounds in the current mode, which is to nearest with ties to even.
    return static_cast<int32_t>(std::clamp(std::nearbyint(p), lowest, highest));
}

int64_t clampStripPosition(int64_t x) {
    return std::clamp<int64_t>(x, 0, kStripScale);
}

int32_t middleFrame(int32_t frameCount) {
    const auto half = static_cast<int32_t>(std::nearbyint(frameCount / 2.0));
    return std::min(half + 1, frameCount - 1);
}

}  // namespace zv
