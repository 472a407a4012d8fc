#include "platform/DateTimeText.h"

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

QLocale dateTimeLocale() {
    return QLocale(QLocale::Russian, QLocale::Russia);
}

QString dateTimeEditFormat() {
    const QLocale locale = dateTimeLocale();
    QString date = locale.dateFormat(QLocale::ShortFormat);
    // A two-digit year cannot be typed into a field of another century.
    if (!date.contains(QLatin1String("yyyy")))
        date.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return date + QLatin1Char(' ') + longTimeFormatWithoutZone(locale);
}

QDateTime toQDateTime(double value) {
    const DateTimeFields f = decodeDateTime(value);
    // Frame times are wall-clock readings without a zone; kept as UTC, no daylight-saving rule
    // moves or refuses one.
    return QDateTime(QDate(f.year, f.month, f.day), QTime(f.hour, f.minute, f.second, f.msec),
                     Qt::UTC);
}

double fromQDateTime(const QDateTime &value) {
    const QDate date = value.date();
    const QTime time = value.time();
    return encodeDateTime({date.year(), date.month(), date.day(), time.hour(), time.minute(),
                           time.second(), time.msec()});
}

QString dateTimeText(double value) {
    const DateTimeFields f = decodeDateTime(value);
    const QLocale locale = dateTimeLocale();
    const QDate date(f.year, f.month, f.day);
    QString text = locale.toString(date, QLocale::ShortFormat);
    if (f.hour == 0 && f.minute == 0 && f.second == 0 && f.msec == 0)
        return text;
    const QTime time(f.hour, f.minute, f.second, f.msec);
    return text + QLatin1Char(' ') + locale.toString(time, longTimeFormatWithoutZone(locale));
}

}  // namespace zv
