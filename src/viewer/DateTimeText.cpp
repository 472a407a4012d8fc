#include "viewer/DateTimeText.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include "platform/DateTime.h"

namespace zv {

namespace {

// The long time format of the locale names the time zone ("t"); frame times are wall-clock times
// with no zone, so the zone and the blanks around it go.
QString longTimeFormatWithoutZone(const QLocale &locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    out.reserve(format.size());
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.simplified();
}

}  // namespace

QString dateTimeText(double value) {
    const DateTimeFields f = decodeDateTime(value);
    const QLocale locale;
    const QDate date(f.year, f.month, f.day);
    QString text = locale.toString(date, QLocale::ShortFormat);
    if (f.hour == 0 && f.minute == 0 && f.second == 0 && f.msec == 0)
        return text;
    const QTime time(f.hour, f.minute, f.second, f.msec);
    return text + QLatin1Char(' ') + locale.toString(time, longTimeFormatWithoutZone(locale));
}

}  // namespace zv
