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

namespace {

// Whether value is the double nearest to ms / 86,400,000 days, decided in exact integer
// arithmetic: neither neighbour lies closer. The days tested lie inside one binade, so value and
// its neighbours share the exponent and their distances share the scale.
bool isNearestDouble(double value, int64_t ms) {
    int exponent = 0;
    std::frexp(value, &exponent);
    auto distance = [&](double v) {
        // v = m / 2^shift exactly; the distance is |v - ms / 86,400,000| * 86,400,000 * 2^shift.
        const int shift = 53 - exponent;
        const __int128 m = static_cast<__int128>(std::ldexp(v, shift));
        const __int128 d = m * 86'400'000 - (static_cast<__int128>(ms) << shift);
        return d < 0 ? -d : d;
    };
    const __int128 here = distance(value);
    return here <= distance(std::nextafter(value, INFINITY)) &&
           here <= distance(std::nextafter(value, -INFINITY));
}

}  // namespace

TEST(DateTime, TextsParseToTheNearestDoubleOfTheirMillisecond) {
    // A day of 2024 and a day of 1950 in steps of 863 ms, and the midnights around them.
    const double day2024 = *parseDateTimeIso("2024-03-10 00:00:00");
    const double day1950 = *parseDateTimeIso("1950-06-01 00:00:00");
    int checked = 0;
    for (double day : {day2024, day1950}) {
        const int64_t dayMs = static_cast<int64_t>(day) * 86'400'000;
        for (int64_t ms = 0; ms <= 86'400'000; ms += 863) {
            const double text = *parseDateTimeIso(formatDateTimeIso(day + ms / 86'400'000.0));
            ASSERT_TRUE(isNearestDouble(text, dayMs + ms)) << formatDateTimeIso(text);
            ++checked;
        }
    }
    EXPECT_GT(checked, 200'000);
}

TEST(DateTime, RoundToMillisecondGivesTheTextsValue) {
    const double start = *parseDateTimeIso("2024-03-10 08:15:30");
    const double step = 1.0 / 86'400'000;
    for (int i = 0; i < 5'000; ++i) {
        // Sums of a start and a count of steps land a step or two beside the millisecond.
        const double sum = start + i * 40 * step;
        const double rounded = zv::roundToMillisecond(sum);
        ASSERT_EQ(rounded, *parseDateTimeIso(formatDateTimeIso(sum))) << i;
        ASSERT_EQ(zv::roundToMillisecond(rounded), rounded);
    }
    // Less than half a millisecond off rounds back; half or more goes to the next one.
    EXPECT_EQ(formatDateTimeIso(zv::roundToMillisecond(start + 0.49 * step)),
              "2024-03-10 08:15:30.000");
    EXPECT_EQ(formatDateTimeIso(zv::roundToMillisecond(start + 0.51 * step)),
              "2024-03-10 08:15:30.001");
    EXPECT_EQ(zv::roundToMillisecond(-1.25), -1.25);
}
