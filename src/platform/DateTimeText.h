#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace zv {

// The locale of every date-time the module shows or reads: Russian, whatever the system's locale
// (the windows are Russian; "10 Mar 2024" beside Russian captions would not be).
QLocale dateTimeLocale();

// A frame's date-time (days since 1899-12-30, local time) as the operator reads it: the Russian
// short date, a blank and the locale's long time without a time-zone name; only the date when the
// value falls exactly on midnight.
QString dateTimeText(double value);

// The display format of a date-time field in the same form: the locale's short date with a
// four-digit year, a blank and the locale's long time without a time-zone name.
QString dateTimeEditFormat();

// A frame's date-time as a QDateTime (UTC, so that no daylight-saving rule shifts a wall-clock
// reading), and back; milliseconds are kept.
QDateTime toQDateTime(double value);
double fromQDateTime(const QDateTime &value);

}  // namespace zv
