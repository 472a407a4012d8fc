#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using zv::DateTimeFields;
using zv::decodeDateTime;
using zv::encodeDateTime;
using zv::formatDateTimeIso;
using zv::parseDateTimeIso;

TEST(DateTime, KnownValues) {
    EXPECT_EQ(decodeDateTime(40543.5), (DateTimeFields{2010, 12, 31, 12, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(0.0), (DateTimeFields{1899, 12, 30, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(1.0), (DateTimeFields{1899, 12, 31, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(61.0), (DateTimeFields{1900, 3, 1, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(36526.75), (DateTimeFields{2000, 1, 1, 18, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(encodeDateTime({2010, 12, 31, 12, 0, 0, 0}), 40543.5);
    EXPECT_DOUBLE_EQ(encodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_EQ(formatDateTimeIso(40543.5), "2010-12-31 12:00:00.000");
    EXPECT_EQ(formatDateTimeIso(0.0), "1899-12-30 00:00:00.000");
}

TEST(DateTime, NegativeValuesCountTheFractionForwardFromMidnight) {
    EXPECT_EQ(decodeDateTime(-1.25), (DateTimeFields{1899, 12, 29, 6, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(-1.0), (DateTimeFields{1899, 12, 29, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(-0.5), (DateTimeFields{1899, 12, 30, 12, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(encodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
    for (double v : {-1.25, -700.75, -36522.125}) {
        SCOPED_TRACE(v);
        EXPECT_DOUBLE_EQ(encodeDateTime(decodeDateTime(v)), v);
    }
}

TEST(DateTime, MillisecondsRoundAndCarry) {
    const double ms = 1.0 / 86'400'000;
    EXPECT_EQ(decodeDateTime(40543.5 + 1.4 * ms).msec, 1);
    EXPECT_EQ(decodeDateTime(40543.5 + 1.6 * ms).msec, 2);
    // 23:59:59.9996 rounds to the next day's midnight, not to 24:00:00.000.
    EXPECT_EQ(decodeDateTime(40543.0 + 1.0 - 0.4 * ms), (DateTimeFields{2011, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(40543.0 + 1.0 - 0.6 * ms),
              (DateTimeFields{2010, 12, 31, 23, 59, 59, 999}));
    // Before the epoch the carry goes forward in time as well: 1899-12-29 23:59:59.9996 is the
    // midnight that starts 1899-12-30, and a value just below 0 is late on 1899-12-30.
    EXPECT_EQ(decodeDateTime(-1.0 - (1.0 - 0.4 * ms)), (DateTimeFields{1899, 12, 30, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(-(1.0 - 0.4 * ms)), (DateTimeFields{1899, 12, 31, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(encodeDateTime({1899, 12, 29, 23, 59, 59, 999})),
              (DateTimeFields{1899, 12, 29, 23, 59, 59, 999}));
    // 59.9996 seconds carries into the minute.
    double t = encodeDateTime({2020, 2, 29, 10, 15, 59, 999}) + 0.6 * ms;
    EXPECT_EQ(decodeDateTime(t), (DateTimeFields{2020, 2, 29, 10, 16, 0, 0}));
}

TEST(DateTime, OutOfRangeAndNanAreClamped) {
    EXPECT_EQ(decodeDateTime(std::numeric_limits<double>::quiet_NaN()),
              (DateTimeFields{1899, 12, 30, 0, 0, 0, 0}));
    EXPECT_EQ(decodeDateTime(1e12).year, 9999);
    EXPECT_EQ(decodeDateTime(-1e12).year, 1);
    EXPECT_EQ(decodeDateTime(std::numeric_limits<double>::infinity()).year, 9999);
}

TEST(DateTime, IsoRoundTripAndRejects) {
    for (const char *text :
         {"2010-12-31 12:00:00.000", "2026-12-08 16:54:51.123", "2000-02-29 23:59:59.999",
          "1899-12-30 00:00:00.000", "1850-06-01 07:08:09.010"}) {
        SCOPED_TRACE(text);
        auto value = parseDateTimeIso(text);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(formatDateTimeIso(*value), text);
    }
    EXPECT_EQ(formatDateTimeIso(*parseDateTimeIso("2010-12-31 12:00:00")),
              "2010-12-31 12:00:00.000");
    EXPECT_EQ(formatDateTimeIso(*parseDateTimeIso("2010-12-31 12:00:00.5")),
              "2010-12-31 12:00:00.500");
    EXPECT_EQ(formatDateTimeIso(*parseDateTimeIso("2010-12-31 12:00:00.05")),
              "2010-12-31 12:00:00.050");
    EXPECT_DOUBLE_EQ(*parseDateTimeIso("2010-12-31 12:00:00"), 40543.5);

    for (const char *bad : {"", "2010-12-31", "2010-12-31 12:00", "2010-13-01 00:00:00",
                            "2011-02-29 00:00:00", "2010-12-31 24:00:00", "2010-12-31 12:60:00",
                            "2010-12-31 12:00:60", "2010-12-31T12:00:00", "2010-12-31 12:00:00.",
                            "2010-12-31 12:00:00.1234", "2010-12-31 12:00:00 ",
                            "2010-1-31 12:00:00", "0000-01-01 00:00:00", "2010-12-31 12:0a:00"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parseDateTimeIso(bad).has_value());
    }
}
