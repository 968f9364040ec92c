#include "storage/odbcDBread.h"

#include "storage/measRecord.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

TDBReadManODBC::TDBReadManODBC(const QString& basesDir)
    : m_connectionName(
          QStringLiteral("measR-%1").arg(reinterpret_cast<quintptr>(this), 0, 16))
{
  BasesDir = basesDir;
}

TDBReadManODBC::~TDBReadManODBC()
{
  Disconnect();
  QSqlDatabase::removeDatabase(m_connectionName);
}

QString TDBReadManODBC::InCondition(int n)
{
  QStringList names;
  for (int i = 0; i < n; ++i)
    names << QStringLiteral(":id%1").arg(i);
  return QStringLiteral("IDLogDev in (%1)").arg(names.join(QLatin1Char(',')));
}

bool TDBReadManODBC::Connected() const
{
  return QSqlDatabase::contains(m_connectionName) &&
         QSqlDatabase::database(m_connectionName, false).isOpen();
}

void TDBReadManODBC::Disconnect()
{
  m_query.reset();
  m_onRow = false;
  if (QSqlDatabase::contains(m_connectionName))
    QSqlDatabase::database(m_connectionName, false).close();
  m_openFile.clear();
}

int TDBReadManODBC::OpenMonth(double t)
{
  const QString file = MonthFileNameFor(BasesDir, t);
  if (file == m_openFile && Connected())
    return 0;
  Disconnect();
  // Opening a missing file would create an empty one, which the writer
  // could then never complete: a month without a file has no data.
  if (file.isEmpty() || !QFileInfo::exists(file))
    return -1;
  QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                        ? QSqlDatabase::database(m_connectionName, false)
                        : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
  db.setDatabaseName(file);
  db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
  if (!db.open())
    return -1;
  m_openFile = file;
  OpenMonthTime = t;
  return 0;
}

void TDBReadManODBC::PrepareMeasures(const QVector<qint32>& logIds, double from, double to)
{
  RangeFrom = from;
  RangeTo = to;
  m_measures = true;
  m_query.reset();
  m_onRow = false;
  m_params.clear();
  m_logIds = logIds;
  m_filterInCode = logIds.size() > kMaxInIds;
  if (logIds.isEmpty() || m_filterInCode) {
    m_sql = QStringLiteral("select * from Measure where MesDate >= :StartDate and "
                           "MesDate <= :EndDate order by MesDate;");
  } else {
    m_sql = QStringLiteral("select * from Measure where %1 and MesDate >= :StartDate and "
                           "MesDate <= :EndDate order by MesDate;")
                .arg(InCondition(static_cast<int>(logIds.size())));
    for (int i = 0; i < logIds.size(); ++i)
      m_params.emplace_back(QStringLiteral(":id%1").arg(i), logIds.at(i));
  }
  m_params.emplace_back(QStringLiteral(":StartDate"), from);
  m_params.emplace_back(QStringLiteral(":EndDate"), to);
}

void TDBReadManODBC::PrepareErrors(double from, double to)
{
  RangeFrom = from;
  RangeTo = to;
  m_measures = false;
  m_query.reset();
  m_onRow = false;
  m_filterInCode = false;
  m_sql = QStringLiteral("select * from Errors where BeginDate between :StartDate and :EndDate "
                         "order by BeginDate");
  m_params = {{QStringLiteral(":StartDate"), from}, {QStringLiteral(":EndDate"), to}};
}

bool TDBReadManODBC::RowMatches() const
{
  const qint32 logId = m_query->value(m_col.IDLogDev).toInt();
  return std::find(m_logIds.cbegin(), m_logIds.cend(), logId) != m_logIds.cend();
}

int TDBReadManODBC::NextRow()
{
  if (!m_query || !m_query->isActive()) {
    m_onRow = false;
    return -1;
  }
  while (m_query->next()) {
    if (!m_filterInCode || RowMatches()) {
      m_onRow = true;
      return 0;
    }
  }
  // Done with this month: release the statement so the file is not held.
  m_onRow = false;
  m_query->finish();
  return -1;
}

int TDBReadManODBC::OpenQuery()
{
  m_onRow = false;
  if (!Connected() || m_sql.isEmpty())
    return -1;
  m_query = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
  // Forward only: a month can hold millions of rows, none of them is needed twice.
  m_query->setForwardOnly(true);
  if (!m_query->prepare(m_sql))
    return -1;
  for (const auto& [name, value] : m_params)
    m_query->bindValue(name, value);
  if (!m_query->exec())
    return -1;
  // Columns are looked up by name once per statement, not per row.
  const QSqlRecord columns = m_query->record();
  const auto index = [&columns](const char* name) { return columns.indexOf(QLatin1String(name)); };
  m_col = {index("ID"),       index("IDLogDev"),  index("MesDate"), index("Measure"),
           index("Error"),    index("IDChannel"), index("BeginDate"), index("EndDate"),
           index("IDErr")};
  return NextRow();
}

int TDBReadManODBC::FirstWalk()
{
  MonthCursor = RangeFrom;
  while (MonthCursor <= RangeTo) {
    if (OpenMonth(MonthCursor) == 0 && OpenQuery() == 0)
      return 0;
    MonthCursor = NextMonth(MonthCursor);
  }
  return -1;
}

int TDBReadManODBC::NextWalk()
{
  while (MonthCursor <= RangeTo) {
    if (Connected() && m_query) {
      if (NextRow() == 0)
        return 0;
    } else if (OpenMonth(MonthCursor) == 0 && OpenQuery() == 0) {
      return 0;
    }
    MonthCursor = NextMonth(MonthCursor);
    Disconnect();
  }
  return -1;
}

int TDBReadManODBC::FirstMeasure() { return m_measures ? FirstWalk() : -1; }

int TDBReadManODBC::NextMeasure() { return m_measures ? NextWalk() : -1; }

int TDBReadManODBC::FirstError() { return m_measures ? -1 : FirstWalk(); }

int TDBReadManODBC::NextError() { return m_measures ? -1 : NextWalk(); }

qint32 TDBReadManODBC::ReadMeasure(TMeasureRec& rec)
{
  rec.Valid = false;
  if (!m_onRow || !m_query)
    return -1;
  const QSqlQuery& q = *m_query;
  const qint32 stored = q.value(m_col.Error).toInt();
  const qint32 idChannel = q.value(m_col.IDChannel).toInt();
  rec.LogId = q.value(m_col.IDLogDev).toInt();
  rec.Time = q.value(m_col.MesDate).toDouble();
  rec.Value = FromStoredValue(q.value(m_col.Measure).toDouble());
  rec.ErrCode = TranslateStoredError(stored, idChannel);
  rec.Valid = true;
  return q.value(m_col.ID).toInt();
}

void TDBReadManODBC::ReadError(TErrorRec& rec)
{
  rec.Valid = false;
  if (!m_onRow || !m_query)
    return;
  const QSqlQuery& q = *m_query;
  rec.LogId = q.value(m_col.IDLogDev).toInt();
  rec.BeginDate = q.value(m_col.BeginDate).toDouble();
  const QVariant end = q.value(m_col.EndDate);
  rec.EndDate = end.isNull() ? 0.0 : end.toDouble();
  rec.ErrCode = q.value(m_col.Error).toInt();
  rec.ErrId = q.value(m_col.IDErr).toInt();
  rec.Valid = true;
}

int TDBReadManODBC::ReadTimeRow(QVector<TRowSlot>& rowSlots, int high)
{
  TMeasureRec measure;
  ReadMeasure(measure);
  if (!measure.Valid)
    return -1;
  const double rowTime = measure.Time;
  high = std::min(high, static_cast<int>(rowSlots.size()) - 1);
  for (int i = 0; i <= high; ++i) {
    rowSlots[i].Valid = false;
    rowSlots[i].Time = rowTime;
    rowSlots[i].ErrCode = 0;
  }
  while (measure.Time == rowTime) {
    for (int i = 0; i <= high; ++i) {
      TRowSlot& slot = rowSlots[i];
      if (slot.LogId != measure.LogId)
        continue;
      slot.Valid = measure.Valid;
      slot.Time = measure.Time;
      slot.Value = measure.Value;
      slot.ErrCode = static_cast<qint32>((static_cast<quint32>(slot.ErrCode) & kFlagNoValue) |
                                         static_cast<quint32>(measure.ErrCode));
      break;
    }
    if (NextMeasure() != 0)
      return -1;
    ReadMeasure(measure);
    if (!measure.Valid)
      return -1;
  }
  return 0;
}

void TDBReadManODBC::Statistics(qint32 logId, double from, double to, TStatistics& stat)
{
  stat = TStatistics();
  double sum = 0;
  for (MonthCursor = from; MonthCursor <= to; MonthCursor = NextMonth(MonthCursor)) {
    if (OpenMonth(MonthCursor) != 0)
      continue;
    m_query.reset();
    m_onRow = false;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "select count(*) as count, avg(Measure) as avg, sum(Measure) as sum, min(Measure) as min, "
        "max(Measure) as max from Measure where IDLogDev=:id and MesDate between :StartDate and "
        ":EndDate and ( Error=:NOError or Error=:MINError or Error=:MAXError );"));
    q.bindValue(QStringLiteral(":id"), logId);
    q.bindValue(QStringLiteral(":StartDate"), from);
    q.bindValue(QStringLiteral(":EndDate"), to);
    q.bindValue(QStringLiteral(":NOError"), 0);
    q.bindValue(QStringLiteral(":MINError"), -3);
    q.bindValue(QStringLiteral(":MAXError"), -4);
    if (!q.exec() || !q.next())
      continue;
    const qint32 count = q.value(0).toInt();
    if (count >= 1) {
      // Stored values are (v + 10) * 2; sums convert with the row count.
      const double monthSum = q.value(2).toDouble() / 2.0 - 10.0 * count;
      stat.Count += count;
      sum += monthSum;
      stat.Min = std::min(stat.Min, FromStoredValue(q.value(3).toDouble()));
      stat.Max = std::max(stat.Max, FromStoredValue(q.value(4).toDouble()));
    }
    q.finish();
  }
  stat.Sum = sum;
  stat.Avg = stat.Count > 0 ? sum / stat.Count : 0.0;
}
