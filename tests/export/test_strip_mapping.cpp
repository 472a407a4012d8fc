// The strip's mapping of positions to frames and the middle frame of the labels.
#include "export/StripMapping.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The same steps evaluated in double precision, as the extended format is meant to differ from.
int32_t inDouble(int64_t x, int32_t n) {
    const double q = static_cast<double>(x) / 400.0;
    return static_cast<int32_t>(std::nearbyint((n - 1) * q));
}

}  // namespace

TEST(StripMapping, ExtendedPrecisionDecidesTheHalfwayCases) {
    EXPECT_EQ(zv::positionToFrame(56, 76), 10);
    EXPECT_EQ(zv::positionToFrame(168, 76), 31);
    EXPECT_EQ(inDouble(56, 76), 11);
    EXPECT_EQ(inDouble(168, 76), 32);
    // An exact half goes to the even neighbour: 3 * 200 / 400 = 1.5 -> 2, 5 * 40 / 400 = 0.5 -> 0.
    EXPECT_EQ(zv::positionToFrame(200, 4), 2);
    EXPECT_EQ(zv::positionToFrame(40, 6), 0);
}

TEST(StripMapping, EndsAndTheFirstPositions) {
    for (int32_t n : {1, 2, 76, 1000, 499'900}) {
        EXPECT_EQ(zv::positionToFrame(0, n), 0) << n;
        EXPECT_EQ(zv::positionToFrame(400, n), n - 1) << n;
    }
    EXPECT_EQ(zv::positionToFrame(1, 1000), 2);       // 999 / 400 = 2.4975
    EXPECT_EQ(zv::positionToFrame(401, 1000), 1001);  // why a press is held within 0 .. 400
    EXPECT_EQ(zv::positionToFrame(401, 100), 99);
    EXPECT_EQ(zv::positionToFrame(400, 0), -1);
    EXPECT_EQ(zv::positionToFrame(int64_t{1} << 62, 499'900), INT32_MAX);
    EXPECT_EQ(zv::clampStripPosition(-7), 0);
    EXPECT_EQ(zv::clampStripPosition(403), 400);
    EXPECT_EQ(zv::clampStripPosition(123), 123);
}

TEST(StripMapping, MiddleFrameRoundsHalvesToEvenAndStaysWithinTheRecording) {
    EXPECT_EQ(zv::middleFrame(1000), 501);
    EXPECT_EQ(zv::middleFrame(1001), 501);  // 500.5 -> 500
    EXPECT_EQ(zv::middleFrame(1003), 503);  // 501.5 -> 502
    EXPECT_EQ(zv::middleFrame(4), 3);
    // The sum would name the slot after the last frame here.
    EXPECT_EQ(zv::middleFrame(3), 2);
    EXPECT_EQ(zv::middleFrame(2), 1);
    EXPECT_EQ(zv::middleFrame(1), 0);
    EXPECT_EQ(zv::middleFrame(0), -1);
}
