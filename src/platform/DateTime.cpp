#include "platform/DateTime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace zv {

namespace {

using namespace std::chrono;

constexpr int64_t kMsPerDay = 86'400'000;
const sys_days kEpoch = sys_days{year{1899} / December / 30};
// Years 1..9999 as day numbers of the format.
const int64_t kMinDay = (sys_days{year{1} / January / 1} - kEpoch).count();
const int64_t kMaxDay = (sys_days{year{9999} / December / 31} - kEpoch).count();

}  // namespace

DateTimeFields decodeDateTime(double value) {
    if (std::isnan(value))
        value = 0.0;
    double wholeDays = std::trunc(value);
    if (wholeDays < static_cast<double>(kMinDay))
        return decodeDateTime(static_cast<double>(kMinDay));
    if (wholeDays > static_cast<double>(kMaxDay))
        return decodeDateTime(static_cast<double>(kMaxDay) + 0.999999999);

    int64_t days = static_cast<int64_t>(wholeDays);
    int64_t ms = std::llround(std::fabs(value - wholeDays) * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        // The fraction counts forward from midnight for negative days too, so a time of day that
        // rounds up to a whole day is always the next calendar day.
        days += 1;
        if (days > kMaxDay) {
            days = kMaxDay;
            ms = kMsPerDay - 1;
        }
    }
    year_month_day ymd{kEpoch + std::chrono::days{days}};
    DateTimeFields f;
    f.year = static_cast<int>(ymd.year());
    f.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    f.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    f.hour = static_cast<int>(ms / 3'600'000);
    f.minute = static_cast<int>(ms / 60'000 % 60);
    f.second = static_cast<int>(ms / 1000 % 60);
    f.msec = static_cast<int>(ms % 1000);
    return f;
}

double encodeDateTime(const DateTimeFields &f) {
    year_month_day ymd{year{f.year}, month{static_cast<unsigned>(f.month)},
                       day{static_cast<unsigned>(f.day)}};
    const int64_t days = (sys_days{ymd} - kEpoch).count();
    const int64_t ms = ((int64_t{f.hour} * 60 + f.minute) * 60 + f.second) * 1000 + f.msec;
    // Before the epoch the fraction counts forward from midnight of a negative day. The whole
    // count of milliseconds is exact in a double, so one division gives the double nearest to
    // the time: the value every writer stores and every text parses to.
    const int64_t total = days < 0 ? days * kMsPerDay - ms : days * kMsPerDay + ms;
    return static_cast<double>(total) / static_cast<double>(kMsPerDay);
}

double roundToMillisecond(double value) {
    return encodeDateTime(decodeDateTime(value));
}

bool isValidDateTime(const DateTimeFields &f) {
    if (f.year < 1 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1)
        return false;
    year_month_day ymd{year{f.year}, month{static_cast<unsigned>(f.month)},
                       day{static_cast<unsigned>(f.day)}};
    return ymd.ok() && f.hour >= 0 && f.hour < 24 && f.minute >= 0 && f.minute < 60 &&
           f.second >= 0 && f.second < 60 && f.msec >= 0 && f.msec < 1000;
}

std::string formatDateTimeIso(double value) {
    DateTimeFields f = decodeDateTime(value);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", f.year, f.month, f.day,
                  f.hour, f.minute, f.second, f.msec);
    return text;
}

std::optional<double> parseDateTimeIso(std::string_view text) {
    auto digits = [&](size_t pos, size_t count, int &out) {
        if (pos + count > text.size())
            return false;
        int v = 0;
        for (size_t i = pos; i < pos + count; ++i) {
            char c = text[i];
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + (c - '0');
        }
        out = v;
        return true;
    };
    DateTimeFields f;
    if (text.size() < 19 || !digits(0, 4, f.year) || text[4] != '-' || !digits(5, 2, f.month) ||
        text[7] != '-' || !digits(8, 2, f.day) || text[10] != ' ' || !digits(11, 2, f.hour) ||
        text[13] != ':' || !digits(14, 2, f.minute) || text[16] != ':' || !digits(17, 2, f.second))
        return std::nullopt;
    f.msec = 0;
    if (text.size() > 19) {
        size_t fractionDigits = text.size() - 20;
        if (text[19] != '.' || fractionDigits < 1 || fractionDigits > 3 ||
            !digits(20, fractionDigits, f.msec))
            return std::nullopt;
        for (size_t i = fractionDigits; i < 3; ++i)
            f.msec *= 10;
    }
    if (!isValidDateTime(f))
        return std::nullopt;
    return encodeDateTime(f);
}

double nowDateTime() {
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    DateTimeFields f;
    f.year = local.tm_year + 1900;
    f.month = local.tm_mon + 1;
    f.day = local.tm_mday;
    f.hour = local.tm_hour;
    f.minute = local.tm_min;
    f.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    f.msec = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return encodeDateTime(f);
}

}  // namespace zv
