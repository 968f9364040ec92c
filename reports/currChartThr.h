#pragma once

// The current-values service: keeps the current table, the live chart and
// the device error list of the current-measurement page up to date.
//
// Threads: Update() is called by the thread that receives values (the server
// link, or the Modbus poller) and only queues; the request operations come
// from the GUI thread and go through a mutex-protected request block; the
// service thread does all the work and hands the GUI copies through queued
// signals (row snapshots, error-row events, chart updates). The GUI owns the
// table, error and chart models; nothing here touches a widget.

#include "app/logicParts.h"
#include "app/syncEvent.h"
#include "reports/chartGen.h"
#include "storage/DBreadManBase.h"

#include <QHash>
#include <QMetaType>
#include <QThread>
#include <QVector>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

class TMainDBParamsV4;

// One row of the current table, as shown.
struct TCurrRow {
  qint32 LogId = -1;
  QString Name;
  QString PhUnit;
  qint32 Decimals = 0;  // 0..9
  double Value = 0;
  qint32 ErrCode = 0;
  qint32 StatCount = 0;  // 0: no statistics yet ("---")
  double Avg = 0;
  qint32 AvgMark = -1;  // -1: outside the limits or not available
  double MaxValue = 0;
  qint32 MaxMark = 0;
  double MinValue = 0;
  qint32 MinMark = 0;
};

// One error period of a channel.
struct TErrorRow {
  bool IsActive = false;
  qint32 LogId = -1;
  double BeginTime = 0;
  double EndTime = 0;  // 0 while open
  qint32 ErrCode = 0;
  QString Device;       // "name  [unit]"
  QString Description;  // the device type's text, or "Error [0x1f]"
  QString Alarms;       // "[alarm], [alarm]", empty when none are bound
};

// A received value as the table and the error list take it.
struct TCurrItem {
  TInUnitV4* Channel = nullptr;
  qint32 LogId = -1;
  double Time = 0;
  double Value = 0;
  qint32 ErrCode = 0;
  qint32 PrevErrCode = 0;
};

// Current table: rows and statistics. Service thread only (Update's queue
// aside).
class TcurrTableGen {
 public:
  double LatestTime = 0;
  QVector<TCurrRow> Rows;
  QHash<qint32, int> RowOf;  // LogId → index in Rows

  // Rows for every enabled, not deleted input channel, in unit and channel
  // order, each LogId once. Caller holds the configuration's read lock.
  void Rebuild(const TMainDBParamsV4& params);
  // Counts the item into its channel's statistics (codes 0, -3, -4 only)
  // and recomputes its row from the item's own values; -1 when the item is
  // older than the newest accepted one (it is not applied), else the row
  // index or -2 when the channel has no row.
  int Apply(const TCurrItem& item);
  // Row values from the channel's statistics and the given value/code.
  static void Recompute(TCurrRow& row, const TInUnitV4& channel, double value, qint32 errCode);
};

// Error list. Service thread only.
class TerrorTableGen {
 public:
  struct TactError {
    qint32 LogId = -1;
    qint32 RowIndex = -1;
    qint32 ErrCode = 0;
  };
  QVector<TErrorRow> Rows;
  QHash<qint32, TactError> Active;
  double LatestTime = 0;
  // Row closed by the last Update (-1: none), for the view's close event.
  qint32 LastClosedRow = -1;

  enum TChange { NoChange = 0, Closed = 1, Opened = 2, ClosedAndOpened = 3 };
  // Applies one value's error transition (previous code → new code).
  // Closed rows get EndTime; opened rows are appended. Caller holds the
  // configuration's read lock (texts of the device type and alarms).
  int Update(const TCurrItem& item, const TMainDBParamsV4& params);
  // A refresh: rows emptied, then every stored error of the range appended;
  // open ones are registered in Active with their real row index.
  void Clear();
  void AddStored(const TErrorRow& row);
  static TErrorRow MakeRow(const TInUnitV4& channel, qint32 errCode, double begin,
                           const TMainDBParamsV4& params);
};

class TCurrChartThr : public QThread, public ICurrChartThr {
  Q_OBJECT
 public:
  // `reader` null: a reader of the month files in params->BasesDir is
  // opened inside run(). Starts the thread.
  explicit TCurrChartThr(TMainDBParamsV4* params, std::unique_ptr<TDBreadManBase> reader = nullptr);
  ~TCurrChartThr() override;

  // ICurrChartThr (any thread; only queues and wakes).
  void Update(TInUnitV4* channel, const TStateValues& state) override;
  void Stop() override;

  // Requests (GUI thread; any thread is safe).
  void RequestTable();
  void RequestChart();
  void RequestRescale();
  void RequestErrors();
  void SetTableRange(double from, double to);
  void SetErrorRange(double from, double to);
  // Source by id (a reload may free groups and channels): kind 0 group id,
  // kind 1 channel LogId. A different kind rebuilds the chart; the same kind
  // only stores the id (the caller asks RequestChart itself).
  void SetNextGroup(qint32 groupId);
  void SetNextChannel(qint32 logId);
  void SelectSource(int kind);
  void SetHighlight(qint32 logId);
  // The chart window for this session (the period box), seconds.
  void SetChartPeriod(qint32 seconds);

  // Test seams (any thread): 0 idle, 1 table, 2 chart, 3 error list.
  int Busy() const { return m_busy.load(); }

 Q_SIGNALS:
  // Queued to the GUI: the whole table (after a rebuild) and changed rows
  // (coalesced per pass).
  void tableReset(const QVector<TCurrRow>& rows);
  void rowsChanged(const QVector<TCurrRow>& rows);
  void errorsReset(const QVector<TErrorRow>& rows);
  void errorOpened(const TErrorRow& row);
  void errorClosed(int rowIndex, double endTime);
  void chartUpdated(const TChartUpdate& update);
  // The newest accepted value time (the end pickers follow it).
  void latestTimeChanged(double time);

 protected:
  void run() override;

 private:
  struct TRequests;
  void RebuildTable(const TRequests& req);
  void RebuildChart(const TRequests& req);
  void RebuildErrors(const TRequests& req);
  bool ProcessQueue();
  void FlushChart();

  TMainDBParamsV4* const m_params;
  std::unique_ptr<TDBreadManBase> m_reader;
  TEvent m_wake{TEvent::Reset::Auto};
  std::atomic<int> m_busy{0};
  std::atomic<bool> m_stop{false};

  std::mutex m_queueMutex;
  std::deque<TCurrItem> m_queue;  // unbounded: no value is lost for statistics

  std::mutex m_requestMutex;
  std::unique_ptr<TRequests> m_requests;

  // Service thread only.
  TcurrTableGen m_table;
  TerrorTableGen m_errors;
  TChartGen m_chart;
  double m_periodDays = 3600.0 / 86400.0;
  // Progress code the chart rebuild leaves for after its update went out.
  int m_pendingChartProgress = 0;
  bool m_rescalePending = false;
};

Q_DECLARE_METATYPE(TCurrRow)
Q_DECLARE_METATYPE(TErrorRow)
