#pragma once

#include <QDateTime>
#include <QString>

namespace zv {

// A frame's date-time (days since 1899-12-30, local time) as the operator reads it: the locale's
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
