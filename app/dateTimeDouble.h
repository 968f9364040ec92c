#pragma once

// Date-time values as the program stores and exchanges them: a double counting
// days since 30 December 1899, the time of day as the fraction, local wall-clock
// time. Conversions go through whole milliseconds and never through a time
// zone, so a daylight-saving gap or overlap cannot shift a stored value.
// Thread contract: any thread.

#include <QDate>
#include <QTime>

// Days since 30 Dec 1899; for days before it the time fraction counts away
// from zero (-1.25 is 29 Dec 1899 06:00), as the stored format defines.
double DateTimeToDouble(const QDate& date, const QTime& time);
// False (outputs untouched) for a value that is not finite or lies outside the
// years 1..9999.
bool DoubleToDateTime(double value, QDate& date, QTime& time);
