#include "storage/measRecord.h"

#include "app/dateTimeDouble.h"
#include "app/textFormat.h"

QString MonthFileName(const QString& basesDir, int year, int month)
{
  return Format(QStringLiteral("%s%.2d-%.2d.mdb"), {basesDir, year, month});
}

QString MonthFileNameFor(const QString& basesDir, double t)
{
  QDate date;
  QTime time;
  if (!DoubleToDateTime(t, date, time))
    return QString();
  return MonthFileName(basesDir, date.year(), date.month());
}

double MonthStart(double t)
{
  QDate date;
  QTime time;
  if (!DoubleToDateTime(t, date, time))
    return t;
  return DateTimeToDouble(QDate(date.year(), date.month(), 1), QTime(0, 0));
}

double NextMonth(double t)
{
  QDate date;
  QTime time;
  if (!DoubleToDateTime(t, date, time))
    return t;
  return DateTimeToDouble(QDate(date.year(), date.month(), 1).addMonths(1), QTime(0, 0));
}

double AddMonths(double t, int months)
{
  QDate date;
  QTime time;
  if (!DoubleToDateTime(t, date, time))
    return t;
  return DateTimeToDouble(date.addMonths(months), time);
}

QStringList MeasureSchema()
{
  // Index names are unique per database file, so each carries its table's
  // name; dates are REAL day counts and texts TEXT, so nothing a peer writes
  // is turned into a number.
  return {
      QStringLiteral("CREATE TABLE IF NOT EXISTS Measure(ID INTEGER NOT NULL, IDLogDev INTEGER, "
                     "MesDate REAL, Measure REAL, Error INTEGER, IDChannel INTEGER)"),
      QStringLiteral("CREATE INDEX IF NOT EXISTS Measure_MesDate ON Measure(MesDate)"),
      QStringLiteral("CREATE INDEX IF NOT EXISTS Measure_IDLogDev ON Measure(IDLogDev)"),
      QStringLiteral("CREATE TABLE IF NOT EXISTS Errors(IDErr INTEGER NOT NULL, IDLogDev INTEGER, "
                     "Error INTEGER, BeginDate REAL, EndDate REAL, Descr TEXT)"),
      QStringLiteral("CREATE INDEX IF NOT EXISTS Errors_IDLogDev ON Errors(IDLogDev)"),
      QStringLiteral("CREATE INDEX IF NOT EXISTS Errors_IDErr ON Errors(IDErr)"),
      QStringLiteral("CREATE INDEX IF NOT EXISTS Errors_BeginDate ON Errors(BeginDate)"),
      QStringLiteral("CREATE INDEX IF NOT EXISTS Errors_Error ON Errors(Error)"),
      QStringLiteral("CREATE TABLE IF NOT EXISTS CheckMeasure(ID INTEGER NOT NULL, ChDate REAL, "
                     "Name TEXT)"),
      QStringLiteral("CREATE INDEX IF NOT EXISTS CheckMeasure_ID ON CheckMeasure(ID)"),
  };
}

qint32 TranslateStoredError(qint32 stored, qint32 idChannel)
{
  switch (stored) {
    case -1:
      return static_cast<qint32>(kFlagNoValue);
    case 255:
      return idChannel != 0 ? static_cast<qint32>(kFlagNoValue) : 255;
    case -5:
      return static_cast<qint32>(kFlagGap);
    case -4:
      return static_cast<qint32>(kFlagAboveMax);
    case -3:
      return static_cast<qint32>(kFlagBelowMin);
    default:
      return stored;
  }
}
