#include "storage/DBThr.h"

#include "app/statusLog.h"
#include "app/textFormat.h"
#include "app/translation.h"
#include "model/DevListV4.h"
#include "storage/mainDBxml.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace {

// Raises an atomic counter to at least `value`.
void RaiseTo(std::atomic<qint32>& counter, qint32 value)
{
  qint32 current = counter.load();
  while (current < value && !counter.compare_exchange_weak(current, value)) {
  }
}

QString DescriptionFor(const TInUnitV4& channel, qint32 code)
{
  if (channel.Unit != nullptr && channel.Unit->UnitType != nullptr) {
    if (const TErrorV4* error = channel.Unit->UnitType->FindError(code, channel.LogId))
      return error->Desc;
  }
  switch (code) {
    case 255:
    case -1:
      return QStringLiteral("???");
    case -4:
      return QStringLiteral("! > MAX");
    case -3:
      return QStringLiteral("! < MIN");
    case -2:
      return QStringLiteral("ERROR");
    default:
      return QString();
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// TdbInfos

TdbInfos::TdbInfos(const QString& connectionName, const QString& basesDir)
    : BasesDir(basesDir), m_connectionName(connectionName)
{
}

TdbInfos::~TdbInfos()
{
  Close();
  QSqlDatabase::removeDatabase(m_connectionName);
}

void TdbInfos::DropStatements()
{
  m_insertMeasure.reset();
  m_insertError.reset();
  m_closeError.reset();
}

void TdbInfos::Close()
{
  Commit();
  DropStatements();
  if (QSqlDatabase::contains(m_connectionName)) {
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    db.close();
  }
  m_openFile.clear();
  MonthStart = 0;
  MonthEnd = 0;
}

int TdbInfos::OpenExisting(const QString& file)
{
  if (!QFileInfo::exists(file))
    return 1;
  Close();
  QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                        ? QSqlDatabase::database(m_connectionName, false)
                        : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
  db.setDatabaseName(file);
  db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
  if (!db.open())
    return 2;
  QSqlQuery query(db);
  // WAL: readers walking a month never block the writer's commits. A larger
  // page cache keeps the two indexes of a busy month in memory.
  query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
  query.finish();
  query.exec(QStringLiteral("PRAGMA cache_size=-16384"));
  query.finish();
  // The schema is run on every open so a file left half made is completed.
  bool ok = db.transaction();
  for (const QString& statement : MeasureSchema()) {
    if (!ok)
      break;
    ok = query.exec(statement);
  }
  ok = ok && db.commit();
  if (!ok) {
    db.rollback();
    db.close();
    return 2;
  }
  MaxID = 0;
  MaxErrorID = 0;
  if (query.exec(QStringLiteral("select MAX(ID) from Measure")) && query.next())
    MaxID = query.value(0).toInt();
  query.finish();
  if (query.exec(QStringLiteral("select MAX(IDErr) from Errors")) && query.next())
    MaxErrorID = query.value(0).toInt();
  query.finish();
  m_openFile = file;
  return 0;
}

int TdbInfos::CreateFile(const QString& file)
{
  if (QFileInfo::exists(file))
    return 3;
  // Without an installer the base folder may not exist yet.
  if (!QDir().mkpath(QFileInfo(file).absolutePath()))
    return 4;
  if (AccessFileOp(0, 2, file, QString(), MeasureSchema()) == 0)
    return 4;
  return OpenExisting(file) == 0 ? 0 : 4;
}

int TdbInfos::OpenOrCreate(const QString& file)
{
  const int rc = OpenExisting(file);
  return rc == 1 ? CreateFile(file) : rc;
}

int TdbInfos::EnsureMonth(double t) { return OpenMonth(t, true); }

int TdbInfos::EnsureMonthExisting(double t) { return OpenMonth(t, false); }

int TdbInfos::OpenMonth(double t, bool create)
{
  if (Covers(t))
    return 0;
  // The other file of the writer may hold an open transaction on the file
  // about to be opened (a month end, a logger clock running ahead); its
  // writes would then block this connection until they time out.
  if (BeforeOpen)
    BeforeOpen();
  const QString file = FileNameFor(t);
  int rc = 2;
  if (!file.isEmpty())
    rc = create ? OpenOrCreate(file) : OpenExisting(file);
  if (rc != 0) {
    MonthStart = 0;
    MonthEnd = 0;
    // Said once per file: the records of that month are being lost.
    if (create && !m_reported.contains(file)) {
      m_reported.insert(file);
      AddLogMessage(TrFormat("Measurement database %s cannot be written.", {file}), LogError);
    }
    return rc;
  }
  MonthStart = ::MonthStart(t);
  MonthEnd = NextMonth(t);
  if (OnOpened)
    OnOpened(*this);
  return 0;
}

bool TdbInfos::Begin()
{
  if (m_inTransaction)
    return true;
  QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
  m_inTransaction = db.isOpen() && db.transaction();
  return m_inTransaction;
}

void TdbInfos::Commit()
{
  if (!m_inTransaction)
    return;
  m_inTransaction = false;
  QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
  if (!db.commit())
    db.rollback();
}

QSqlQuery& TdbInfos::Prepared(std::unique_ptr<QSqlQuery>& slot, const QString& sql)
{
  if (!slot) {
    slot = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
    slot->prepare(sql);
  }
  return *slot;
}

bool TdbInfos::InsertMeasure(const TMeasureDB& rec)
{
  if (EnsureMonth(rec.Time) != 0 || !Begin())
    return false;
  // Columns named in their table order and bound by position.
  QSqlQuery& q = Prepared(m_insertMeasure,
                          QStringLiteral("insert into Measure (ID, IDLogDev, MesDate, Measure, "
                                         "Error, IDChannel) values (?,?,?,?,?,?)"));
  q.bindValue(0, rec.MeasId);
  q.bindValue(1, rec.LogId);
  q.bindValue(2, rec.Time);
  q.bindValue(3, ToStoredValue(rec.Value));
  q.bindValue(4, rec.ErrCode);
  q.bindValue(5, rec.Source);
  return q.exec();
}

bool TdbInfos::InsertGap(qint32 logId, double t)
{
  TMeasureDB gap;
  gap.Time = t;
  gap.LogId = logId;
  gap.Value = 0;
  gap.ErrCode = ErrCodeGap;
  gap.Source = 0;
  gap.MeasId = 0;
  return InsertMeasure(gap);
}

bool TdbInfos::InsertError(const TErr& rec)
{
  if (EnsureMonth(rec.BeginDate) != 0 || !Begin())
    return false;
  QSqlQuery& q = Prepared(m_insertError,
                          QStringLiteral("insert into Errors (IDErr, IDLogDev, Error, BeginDate, "
                                         "EndDate, Descr) values (?,?,?,?,NULL,?)"));
  q.bindValue(0, rec.ErrId);
  q.bindValue(1, rec.LogId);
  q.bindValue(2, rec.ErrCode);  // all 32 bits: device words above 0x7FFF stay intact
  q.bindValue(3, rec.BeginDate);
  q.bindValue(4, rec.Descr);
  return q.exec();
}

bool TdbInfos::CloseError(const TErrUpdate& rec)
{
  if (EnsureMonth(rec.BeginDate) != 0 || !Begin())
    return false;
  QSqlQuery& q = Prepared(m_closeError,
                          QStringLiteral("update Errors set EndDate=? where IDLogDev=? and "
                                         "BeginDate=? and Error=? and EndDate is NULL"));
  q.bindValue(0, rec.EndDate);
  q.bindValue(1, rec.LogId);
  q.bindValue(2, rec.BeginDate);
  q.bindValue(3, rec.ErrCode);
  return q.exec();
}

bool TdbInfos::FindLastTime(double t, double& last)
{
  int missing = 0;
  for (int back = 0; missing < 2; ++back) {
    const double bound = AddMonths(t, -back);
    const QString file = FileNameFor(bound);
    if (!QFileInfo::exists(file)) {
      ++missing;
      continue;
    }
    missing = 0;
    if (EnsureMonthExisting(bound) != 0)
      continue;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "select MesDate from Measure where MesDate<? order by MesDate DESC LIMIT 1"));
    q.bindValue(0, bound);
    if (q.exec() && q.next()) {
      last = q.value(0).toDouble();
      q.finish();
      return true;
    }
    q.finish();
    // Months before the oldest file cannot hold anything.
    if (back > 1200)
      break;
  }
  return false;
}

// ---------------------------------------------------------------------------
// TDBThr

TDBThr::TDBThr(const QString& basesDir, TMainDBParamsV4* central, QObject* parent)
    : QThread(parent), BasesDir(basesDir), Central(central)
{
  setObjectName(QStringLiteral("DBThr"));
  // Producers may queue records before the writer thread has opened a file:
  // the ids continue from the current month's file from the first one on.
  PeekIds(MonthFileNameFor(BasesDir, NowDayCount()));
  start();
}

void TDBThr::PeekIds(const QString& file)
{
  if (file.isEmpty() || !QFileInfo::exists(file))
    return;
  const QString name = QStringLiteral("measPeek-%1").arg(reinterpret_cast<quintptr>(this), 0, 16);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    if (db.open()) {
      QSqlQuery query(db);
      if (query.exec(QStringLiteral("select MAX(ID) from Measure")) && query.next())
        RaiseTo(m_nextMeasId, query.value(0).toInt() + 1);
      query.finish();
      if (query.exec(QStringLiteral("select MAX(IDErr) from Errors")) && query.next())
        RaiseTo(m_nextErrId, query.value(0).toInt() + 1);
      query.finish();
      db.close();
    }
  }
  QSqlDatabase::removeDatabase(name);
}

TDBThr::~TDBThr() { Stop(); }

void TDBThr::Stop()
{
  requestInterruption();
  m_wake.Set();
  wait();
  if (m_ran.load())
    m_finished.Wait(-1);
}

void TDBThr::QueueMeasure(const TMeasureDB& rec)
{
  {
    QMutexLocker lock(&m_lock);
    (rec.Source != 0 ? m_loggerQueue : m_liveQueue).push_back(rec);
  }
  m_wake.Set();
}

void TDBThr::QueueError(const TErr& rec)
{
  {
    QMutexLocker lock(&m_lock);
    m_errQueue.push_back(rec);
  }
  m_wake.Set();
}

void TDBThr::QueueErrorEnd(const TErrUpdate& rec)
{
  {
    QMutexLocker lock(&m_lock);
    m_errEndQueue.push_back(rec);
  }
  m_wake.Set();
}

void TDBThr::StoreState(TInUnitV4& channel, qint32 index)
{
  TStateValues state;
  if (!channel.ReadState(index, state))
    return;
  const qint32 measId = m_nextMeasId.fetch_add(1);
  channel.SetStateMeasId(index, measId);
  QueueMeasure({state.Time, channel.LogId, state.Value, state.ErrCode, index, measId});

  const TErrUpdate closing{state.PrevErrBeginTime, state.Time, channel.LogId, state.PrevErrCode};
  if (state.ErrCode != 0 && state.ErrCode != state.PrevErrCode) {
    const qint32 errId = m_nextErrId.fetch_add(1);
    channel.SetStateErrId(index, errId);
    QueueErrorEnd(closing);
    QueueError({state.Time, channel.LogId, errId, state.ErrCode,
                DescriptionFor(channel, state.ErrCode)});
  } else if (state.ErrCode == 0 && state.PrevErrCode != 0) {
    QueueErrorEnd(closing);
  }
}

bool TDBThr::HasRoom(int n) const
{
  QMutexLocker lock(&m_lock);
  return kLiveRoom - static_cast<int>(m_liveQueue.size()) >= n;
}

bool TDBThr::WaitForRoom(int n, int timeoutMs)
{
  QDeadlineTimer deadline(timeoutMs);
  while (!HasRoom(n)) {
    if (deadline.hasExpired() || isFinished())
      return false;
    m_room.ResetEvent();
    if (!HasRoom(n))
      m_room.Wait(std::clamp<qint64>(deadline.remainingTime(), 1, 50));
  }
  return true;
}

void TDBThr::SetPeriod(qint64 seconds)
{
  // A period of a day or more is no time of day: gap rows are switched off.
  m_period.store(seconds > 0 && seconds < 86400 ? static_cast<double>(seconds) / 86400.0 : 0.0);
}

void TDBThr::SetCatchUpDone()
{
  m_catchUpDone.store(true);
  m_wake.Set();
}

bool TDBThr::Idle() const
{
  QMutexLocker lock(&m_lock);
  return !m_busy && m_liveQueue.empty() && m_loggerQueue.empty() && m_errQueue.empty() &&
         m_errEndQueue.empty();
}

double TDBThr::Now()
{
  if (m_nowAge-- <= 0) {
    m_now = NowDayCount();
    m_nowAge = 256;
  }
  return m_now;
}

void TDBThr::RaiseIds(const TdbInfos& file)
{
  RaiseTo(m_nextMeasId, file.MaxID + 1);
  RaiseTo(m_nextErrId, file.MaxErrorID + 1);
}

TdbInfos& TDBThr::FileFor(double t) { return m_current->Covers(t) ? *m_current : *m_other; }

void TDBThr::run()
{
  m_ran.store(true);
  const QString prefix = QStringLiteral("measW-%1-").arg(reinterpret_cast<quintptr>(this), 0, 16);
  m_current = std::make_unique<TdbInfos>(prefix + QStringLiteral("current"), BasesDir);
  m_other = std::make_unique<TdbInfos>(prefix + QStringLiteral("other"), BasesDir);
  m_current->OnOpened = [this](const TdbInfos& file) { RaiseIds(file); };
  m_other->OnOpened = m_current->OnOpened;
  m_current->BeforeOpen = [this] { m_other->Commit(); };
  m_other->BeforeOpen = [this] { m_current->Commit(); };
  // Opening the current month at once lets ids continue from the file
  // before the first records are queued.
  m_current->EnsureMonth(Now());
  for (;;) {
    try {
      Drain();
    } catch (...) {
      // A record that cannot be written must not end the writer.
    }
    if (isInterruptionRequested())
      break;
    m_wake.Wait(1000);
  }
  try {
    Drain();
  } catch (...) {
  }
  m_current.reset();
  m_other.reset();
  m_finished.Set();
}

void TDBThr::Drain()
{
  m_nowAge = 0;
  int written = 0;
  for (;;) {
    std::optional<TMeasureDB> live;
    std::optional<TMeasureDB> logger;
    std::optional<TErr> err;
    std::optional<TErrUpdate> end;
    {
      QMutexLocker lock(&m_lock);
      m_busy = true;
      if (m_liveMode) {
        if (!m_liveQueue.empty()) {
          live = m_liveQueue.front();
          m_liveQueue.pop_front();
          // A producer waiting for room goes on while half the queue is
          // still there, so the writer never runs dry between batches.
          if (m_liveQueue.size() == kLiveRoom / 2)
            m_room.Set();
        }
      }
      // Logger records carry their own times: after the switch to live mode
      // they are still written, after the live record of the round.
      if (!m_loggerQueue.empty()) {
        logger = m_loggerQueue.front();
        m_loggerQueue.pop_front();
      } else if (!m_liveMode && m_catchUpDone.load()) {
        m_liveMode = true;
      }
      if (!m_errQueue.empty()) {
        err = std::move(m_errQueue.front());
        m_errQueue.pop_front();
      }
      if (!m_errEndQueue.empty()) {
        end = m_errEndQueue.front();
        m_errEndQueue.pop_front();
      }
    }
    if (!live && !logger && !err && !end)
      break;
    if (live)
      WriteMeasure(*live, true);
    if (logger)
      WriteMeasure(*logger, !m_liveMode);
    if (err) {
      m_current->EnsureMonth(Now());
      FileFor(err->BeginDate).InsertError(*err);
    }
    if (end) {
      m_current->EnsureMonth(Now());
      FileFor(end->BeginDate).CloseError(*end);
    }
    // A backlog is committed in large transactions, and producers waiting
    // for room are told now and then.
    if (++written % 4096 == 0) {
      m_current->Commit();
      m_other->Commit();
      m_room.Set();
    }
  }
  m_current->Commit();
  m_other->Commit();
  {
    QMutexLocker lock(&m_lock);
    m_busy = false;
  }
  m_room.Set();
}

void TDBThr::WriteMeasure(const TMeasureDB& rec, bool trackTime)
{
  m_current->EnsureMonth(Now());
  if (trackTime) {
    if (!m_lastTimeKnown) {
      m_current->Commit();
      double last = 0;
      if (m_other->FindLastTime(rec.Time, last)) {
        m_lastTime = last;
        m_hasLastTime = true;
      }
      m_lastTimeKnown = true;
    }
    const double period = m_period.load();
    if (m_hasLastTime && period > 0 && !(m_lastTime + 1.9 * period > rec.Time))
      WriteGapRows(m_lastTime + period);
    m_lastTime = rec.Time;
    m_hasLastTime = true;
  }
  FileFor(rec.Time).InsertMeasure(rec);
}

void TDBThr::WriteGapRows(double t)
{
  if (Central == nullptr)
    return;
  auto lock = Central->ReadLock();
  TdbInfos& file = FileFor(t);
  int unitCursor = -1;
  for (TUnitV4* unit = Central->Units().FirstUnit(unitCursor, false); unit != nullptr;
       unit = Central->Units().NextUnit(unitCursor, false)) {
    int cursor = -1;
    for (TInUnitV4* channel = unit->FirstInUnit(cursor, false, true); channel != nullptr;
         channel = unit->NextInUnit(cursor, false, true))
      file.InsertGap(channel->LogId, t);
  }
}
