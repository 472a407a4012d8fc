#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zv {

// The date-time of the format: a double counting days since 1899-12-30 00:00, the time of day as
// the fraction of a day, local wall-clock time. For negative values the fraction still counts
// forward from midnight (-1.25 is 1899-12-29 06:00), as the original runtime reads them.
struct DateTimeFields {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int msec = 0;

    friend bool operator==(const DateTimeFields &, const DateTimeFields &) = default;
};

// Rounds to the nearest millisecond; a fraction that rounds up to a whole day carries into the
// next day. Values outside years 1..9999 or NaN are clamped to the nearest end.
DateTimeFields decodeDateTime(double value);

// The double nearest to the time the fields name. Fields are not validated beyond what the
// calendar arithmetic needs; callers pass real dates.
double encodeDateTime(const DateTimeFields &fields);

// The double nearest to the whole millisecond nearest to value: what the text of
// formatDateTimeIso(value) parses back to. Writers store date-times in this form, so that a time
// copied from a listing names its frame exactly.
double roundToMillisecond(double value);

// True when the fields name a real calendar date and time of day.
bool isValidDateTime(const DateTimeFields &fields);

// "YYYY-MM-DD hh:mm:ss.zzz", the text form of the command-line tool.
std::string formatDateTimeIso(double value);

// Accepts "YYYY-MM-DD hh:mm:ss" with an optional ".z", ".zz" or ".zzz"; nothing else.
std::optional<double> parseDateTimeIso(std::string_view text);

// The local wall-clock time now.
double nowDateTime();

}  // namespace zv
