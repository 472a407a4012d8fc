#pragma once

#include <QString>

namespace zv {

// A frame's date-time (days since 1899-12-30, local time) as the operator reads it: the locale's
// short date, a blank and the locale's long time without a time-zone name; only the date when the
// value falls exactly on midnight.
QString dateTimeText(double value);

}  // namespace zv
