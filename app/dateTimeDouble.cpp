#include "app/dateTimeDouble.h"

#include <cmath>

namespace {

constexpr qint64 MsPerDay = 86400000;
const qint64 EpochJulianDay = QDate(1899, 12, 30).toJulianDay();
// Years 1..9999: the range every stored date-time of the program lies in.
const qint64 FirstDay = QDate(1, 1, 1).toJulianDay() - EpochJulianDay;
const qint64 LastDay = QDate(9999, 12, 31).toJulianDay() - EpochJulianDay;

}  // namespace

double DateTimeToDouble(const QDate& date, const QTime& time)
{
  if (!date.isValid())
    return 0.0;
  const qint64 days = date.toJulianDay() - EpochJulianDay;
  const double fraction =
      time.isValid() ? double(time.msecsSinceStartOfDay()) / double(MsPerDay) : 0.0;
  return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

bool DoubleToDateTime(double value, QDate& date, QTime& time)
{
  // Checked before llround, which is undefined for values out of its range.
  if (!std::isfinite(value) || value < double(FirstDay) - 1.0 || value > double(LastDay) + 1.0)
    return false;
  const qint64 ms = std::llround(value * double(MsPerDay));
  const qint64 days = ms / MsPerDay;  // truncates toward zero, as the format counts
  qint64 msOfDay = ms % MsPerDay;
  if (msOfDay < 0)
    msOfDay = -msOfDay;
  if (days < FirstDay || days > LastDay)
    return false;
  date = QDate::fromJulianDay(EpochJulianDay + days);
  time = QTime::fromMSecsSinceStartOfDay(int(msOfDay));
  return true;
}
