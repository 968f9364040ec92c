#include "server/dbSeriesSource.h"

#include "app/dateTimeDouble.h"
#include "model/DevListV4.h"
#include "server/serverLog.h"
#include "storage/odbcDBread.h"

#include <QHash>

#include <algorithm>
#include <cmath>

QVector<qint32> AnswerColumnIds(const TMainDBParamsV4& central, const QVector<qint32>& requested)
{
  QVector<qint32> ids;
  ids.reserve(requested.size());
  auto lock = central.ReadLock();
  for (qint32 id : requested)
    ids.push_back(id >= 0 && central.Units().FindInUnit(id) != nullptr ? id : -1);
  return ids;
}

TDbSeriesSource::TDbSeriesSource(const QString& basesDir, const TMainDBParamsV4* central,
                                 const std::atomic<bool>* stop)
    : m_basesDir(basesDir), m_central(central), m_stop(stop)
{
}

bool TDbSeriesSource::Build(const TSeriesRequest& request, QByteArray& seriesFile, QString* error)
{
  const QVector<qint32> columns = AnswerColumnIds(*m_central, request.Ids);
  TSeriesFileWriter writer(columns);

  // The reader walks month by month from the start to the end of the range;
  // a range from the network is kept to the years data can exist in, so a
  // wild date neither walks for ever nor leaves the calendar.
  const double earliest = DateTimeToDouble(QDate(1990, 1, 1), QTime(0, 0));
  const double latest = DateTimeToDouble(QDate::currentDate().addYears(1), QTime(0, 0));
  const double from = std::max(request.From, earliest);
  const double to = std::min(request.To, latest);
  QHash<qint32, QVector<int>> columnsOf;
  for (int c = 0; c < columns.size(); ++c) {
    if (columns.at(c) >= 0)
      columnsOf[columns.at(c)].push_back(c);
  }
  if (columnsOf.isEmpty() || !std::isfinite(request.From) || !std::isfinite(request.To) ||
      from > to) {
    seriesFile = writer.Take();
    return true;
  }

  QVector<qint32> ids = columnsOf.keys().toVector();
  std::sort(ids.begin(), ids.end());
  TDBReadManODBC reader(m_basesDir);
  reader.PrepareMeasures(ids, from, to);
  bool open = false;
  double rowTime = 0;
  bool truncated = false;
  for (int rc = reader.FirstMeasure(); rc == 0; rc = reader.NextMeasure()) {
    if (m_stop != nullptr && m_stop->load()) {
      if (error != nullptr)
        *error = QStringLiteral("server stopping");
      return false;
    }
    TMeasureRec rec;
    reader.ReadMeasure(rec);
    if (!rec.Valid)
      continue;
    if (!open || rec.Time != rowTime) {
      if (writer.Size() + writer.RecordSize() > kMaxFileBytes) {
        truncated = true;
        break;
      }
      writer.BeginRecord(rec.Time);
      rowTime = rec.Time;
      open = true;
    }
    for (int c : columnsOf.value(rec.LogId))
      writer.SetItem(c, rec.Value, rec.ErrCode);
  }
  if (truncated)
    ServerLog(QStringLiteral("series cut after %1 records (answer limit %2 bytes)")
                  .arg(writer.RecordCount())
                  .arg(kMaxFileBytes));
  seriesFile = writer.Take();
  return true;
}
