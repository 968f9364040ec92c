#include "server/historyFill.h"

#include "model/TypeUnitV4.h"
#include "server/valueGen.h"
#include "storage/DBThr.h"
#include "storage/measRecord.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kMsPerDay = 86400000.0;
// Rows per transaction: large enough that commits do not dominate, small
// enough that an interrupted fill keeps most of its work.
constexpr qint64 kRowsPerCommit = 50000;

// Times already stored in [from, to), over every month file of the range.
std::vector<double> StoredTimes(const QString& basesDir, double from, double to)
{
  std::vector<double> times;
  const QString name = QStringLiteral("histScan-%1").arg(reinterpret_cast<quintptr>(&times), 0, 16);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    for (double month = MonthStart(from); month < to; month = NextMonth(month)) {
      const QString file = MonthFileNameFor(basesDir, month);
      if (file.isEmpty() || !QFileInfo::exists(file))
        continue;
      db.setDatabaseName(file);
      db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
      if (!db.open())
        continue;
      {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(QStringLiteral(
            "select distinct MesDate from Measure where MesDate >= ? and MesDate < ?"));
        q.bindValue(0, from);
        q.bindValue(1, to);
        if (q.exec()) {
          while (q.next())
            times.push_back(q.value(0).toDouble());
        }
      }
      db.close();
    }
  }
  QSqlDatabase::removeDatabase(name);
  std::sort(times.begin(), times.end());
  return times;
}

bool NearStored(const std::vector<double>& stored, double t, double halfPeriod)
{
  const auto it = std::lower_bound(stored.begin(), stored.end(), t - halfPeriod);
  return it != stored.end() && *it < t + halfPeriod;
}

}  // namespace

bool FillHistory(const QString& basesDir, const TValueGenerator& generator, double from, double to,
                 THistoryStats* stats, QString* error, const std::atomic<bool>* stop)
{
  THistoryStats local;
  THistoryStats& s = stats != nullptr ? *stats : local;
  s = THistoryStats();
  if (!(from < to) || generator.ChannelCount() == 0)
    return true;
  const qint64 periodMs = generator.PeriodMs();
  const double halfPeriod = static_cast<double>(periodMs) / 2.0 / kMsPerDay;
  const std::vector<double> stored = StoredTimes(basesDir, from, to);

  // Whole milliseconds first: a day count is never exact, and a bound that
  // falls on a boundary must not gain or lose it by a rounding error.
  const auto boundaryAtOrAfter = [periodMs](double t) {
    const qint64 ms = std::llround(t * kMsPerDay);
    const qint64 q = ms / periodMs;
    return q * periodMs < ms ? q + 1 : q;  // days before 1899 never occur here
  };
  const qint64 first = boundaryAtOrAfter(from);
  const qint64 end = boundaryAtOrAfter(to);

  bool ok = true;
  {
    TdbInfos file(QStringLiteral("histW-%1").arg(reinterpret_cast<quintptr>(&s), 0, 16), basesDir);
    qint32 nextId = 1;
    file.OnOpened = [&nextId](const TdbInfos& opened) { nextId = opened.MaxID + 1; };
    qint64 sinceCommit = 0;
    for (qint64 k = first; k < end && ok; ++k) {
      if (stop != nullptr && stop->load())
        break;
      const double t = static_cast<double>(k * periodMs) / kMsPerDay;
      if (NearStored(stored, t, halfPeriod)) {
        ++s.Skipped;
        continue;
      }
      for (int c = 0; c < generator.ChannelCount(); ++c) {
        const TGenChannel& channel = generator.Channel(c);
        const TGenValue v = generator.ValueAt(c, t);
        TMeasureDB rec;
        rec.Time = t;
        rec.LogId = channel.LogId;
        rec.Value = v.Value;
        rec.ErrCode = v.ErrCode;
        // Stored as a live reading would be: with the channel's limit check.
        CheckLimits(rec.Value, channel.Min, channel.Max, rec.ErrCode);
        rec.Source = 0;
        rec.MeasId = nextId;
        if (!file.InsertMeasure(rec)) {
          ok = false;
          if (error != nullptr)
            *error = QStringLiteral("history cannot be written to %1").arg(file.FileNameFor(t));
          break;
        }
        ++nextId;
        ++s.Rows;
        if (++sinceCommit >= kRowsPerCommit) {
          file.Commit();
          sinceCommit = 0;
        }
      }
      ++s.Times;
    }
    file.Close();
  }
  return ok;
}
