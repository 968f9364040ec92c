#pragma once

// The measurement database writer: a thread that takes measurement and error
// records from queues filled by the acquisition side and writes them into the
// file of each record's month, creating files as needed. One SQLite file per
// calendar month in the base folder, opened in WAL mode so readers never
// block the writer.

#include "app/syncEvent.h"
#include "storage/measRecord.h"

#include <QMutex>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QThread>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

class QSqlQuery;
class TInUnitV4;
class TMainDBParamsV4;

// One open month file. Owned and used by the writer thread only.
class TdbInfos {
 public:
  TdbInfos(const QString& connectionName, const QString& basesDir);
  ~TdbInfos();
  TdbInfos(const TdbInfos&) = delete;
  TdbInfos& operator=(const TdbInfos&) = delete;

  const QString BasesDir;
  double MonthStart = 0;
  double MonthEnd = 0;
  // Largest ids found when the file was opened (0 for an empty file).
  qint32 MaxID = 0;
  qint32 MaxErrorID = 0;

  bool Covers(double t) const { return MonthStart <= t && t < MonthEnd; }
  QString FileNameFor(double t) const { return MonthFileNameFor(BasesDir, t); }

  // 0 opened; 1 the file does not exist; 2 it could not be opened.
  int OpenExisting(const QString& file);
  // 0 created and opened; 3 the file exists; 4 it could not be made.
  int CreateFile(const QString& file);
  int OpenOrCreate(const QString& file);
  // 0 when the month of t is open afterwards.
  int EnsureMonth(double t);
  int EnsureMonthExisting(double t);
  void Close();

  bool InsertMeasure(const TMeasureDB& rec);
  bool InsertGap(qint32 logId, double t);
  bool InsertError(const TErr& rec);
  bool CloseError(const TErrUpdate& rec);
  // The time of the newest measurement before t, looking back month by month
  // until two months in a row have no file.
  bool FindLastTime(double t, double& last);

  // Writes are grouped into one transaction until Commit().
  void Commit();

  // Called after a month file was opened (the writer raises its id counters).
  std::function<void(const TdbInfos&)> OnOpened;
  // Called before another month file is opened.
  std::function<void()> BeforeOpen;

 private:
  int OpenMonth(double t, bool create);
  bool Begin();
  QSqlQuery& Prepared(std::unique_ptr<QSqlQuery>& slot, const QString& sql);
  void DropStatements();

  const QString m_connectionName;
  QString m_openFile;
  QSet<QString> m_reported;
  bool m_inTransaction = false;
  std::unique_ptr<QSqlQuery> m_insertMeasure;
  std::unique_ptr<QSqlQuery> m_insertError;
  std::unique_ptr<QSqlQuery> m_closeError;
};

class TDBThr : public QThread {
  Q_OBJECT
 public:
  static constexpr int kLiveRoom = 1000;

  // Starts the thread. `central` supplies the channels for gap rows and may
  // be null (no gap rows then).
  TDBThr(const QString& basesDir, TMainDBParamsV4* central, QObject* parent = nullptr);
  // Stops the thread after a final drain.
  ~TDBThr() override;

  const QString BasesDir;
  TMainDBParamsV4* const Central;

  // Thread contract (all of these): any thread.
  // Queues the current value of one channel state and its error transitions.
  void StoreState(TInUnitV4& channel, qint32 index);
  // True when the live queue has room for n more records.
  bool HasRoom(int n) const;
  // Waits up to timeoutMs for room; true when there is room.
  bool WaitForRoom(int n, int timeoutMs);
  // Measuring period in seconds; 24 h or more (or negative) switches gap rows off.
  void SetPeriod(qint64 seconds);
  double Period() const { return m_period.load(); }
  void SetCatchUpDone();
  void Stop();
  // True once every queue is empty and nothing is being written. Live
  // records wait until SetCatchUpDone(), so a producer without a logger
  // catch-up calls it first.
  bool Idle() const;

  qint32 NextMeasId() const { return m_nextMeasId.load(); }
  qint32 NextErrId() const { return m_nextErrId.load(); }

  // Queue a record directly (producers that build records themselves).
  void QueueMeasure(const TMeasureDB& rec);
  void QueueError(const TErr& rec);
  void QueueErrorEnd(const TErrUpdate& rec);

 protected:
  void run() override;

 private:
  void Drain();
  // trackTime: the record takes part in the gap check and moves LastTime.
  void WriteMeasure(const TMeasureDB& rec, bool trackTime);
  void WriteGapRows(double t);
  TdbInfos& FileFor(double t);
  void RaiseIds(const TdbInfos& file);
  void PeekIds(const QString& file);
  double Now();

  mutable QMutex m_lock;  // the four queues and m_busy
  std::deque<TMeasureDB> m_liveQueue;
  std::deque<TMeasureDB> m_loggerQueue;
  std::deque<TErr> m_errQueue;
  std::deque<TErrUpdate> m_errEndQueue;
  bool m_busy = false;

  std::atomic<qint32> m_nextMeasId{0};
  std::atomic<qint32> m_nextErrId{0};
  std::atomic<double> m_period{0};  // day fraction; 0 = no gap rows
  std::atomic<bool> m_catchUpDone{false};
  TEvent m_wake{TEvent::Reset::Auto};
  // QThread::wait() synchronises inside Qt, out of the thread checker's
  // sight; the run's last act sets this so Stop() visibly orders the
  // writer's final writes before the object is destroyed.
  TEvent m_finished{TEvent::Reset::Manual};
  std::atomic<bool> m_ran{false};
  TEvent m_room{TEvent::Reset::Manual};

  // Writer thread only.
  std::unique_ptr<TdbInfos> m_current;
  std::unique_ptr<TdbInfos> m_other;
  bool m_liveMode = false;
  double m_lastTime = 0;
  bool m_lastTimeKnown = false;
  bool m_hasLastTime = false;
  double m_now = 0;
  int m_nowAge = 0;
};
