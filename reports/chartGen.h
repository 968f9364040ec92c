#pragma once

// Measurement charts as plain data. The generator runs on a worker (the
// current-values thread, later the report thread) and builds TChartUpdate
// values: series, points, marker lines and axis ranges. The GUI thread owns
// the plot and applies the updates (ui: TChartView), so no widget is ever
// touched off the GUI thread.
//
// Series layout: index 0 is the marker series (black vertical lines at
// records that carry the discontinuity mark); series i + 1 is channel i of
// the request, coloured by palette entry 1 + (i mod 13), in the legend as
// "name [unit]" unless the slot is empty (key -1).

#include "app/commonClass.h"

#include <QHash>
#include <QMetaType>
#include <QString>
#include <QVector>

#include <deque>
#include <limits>
#include <mutex>

class TInUnitV4;
struct TStateValues;

// Status word bits of a series item.
inline constexpr qint32 kStatusNoValueMask = static_cast<qint32>(0x8000FFFF);
inline constexpr qint32 kStatusRedMask = static_cast<qint32>(0xB000FFFF);
inline constexpr qint32 kStatusDiscontinuity = 0x08000000;
inline constexpr qint32 kStatusAboveMax = 0x20000000;
inline constexpr qint32 kStatusBelowMin = 0x10000000;
inline constexpr qint32 kStatusUnknownError = static_cast<qint32>(0x80000000);
inline constexpr qint32 kStatusGap = static_cast<qint32>(0x88000000);

// A channel's error code (state 0 = live value, 1 = logger) as a status word.
qint32 StatusFromErrCode(qint32 errCode, int stateIndex);

struct TChartSeries {
  qint32 Key = -1;     // channel LogId; -1 for the marker series and empty slots
  QString Title;       // legend text
  quint32 ColorBgr = 0;
  bool InLegend = false;
};

struct TChartPoint {
  double Time = 0;  // date-time (days since 1899-12-30, local wall-clock)
  double Value = 0;
  bool Gap = false;  // no value: the line breaks here
  bool Red = false;  // error or limit exceeded: drawn as a red point
};

// One hand-over from the generator to the plot.
struct TChartUpdate {
  // Replace everything: series (index 0 the marker series) and their points.
  bool Reset = false;
  QVector<TChartSeries> Series;
  // Points to append, per series index (may be shorter than the series list).
  QVector<QVector<TChartPoint>> Points;
  // Times of new marker lines (vertical, across the whole value range).
  QVector<double> Markers;
  bool HasValueAxis = false;
  TAxisScale ValueAxis;
  bool HasTimeRange = false;
  double TimeFrom = 0;
  double TimeTo = 0;
  // Live chart: drop points older than TrimBefore, keeping one older point
  // per series (0: none).
  double TrimBefore = 0;
  // Emphasised series key (-1: none); HasHighlight says whether it is set.
  bool HasHighlight = false;
  qint32 Highlight = -1;
  // Repaint completely (a rescaled rebuild).
  bool Rescale = false;
};

// One item of a series record or of the live queue.
struct TChartItem {
  qint32 Id = -1;
  bool HasValue = false;
  double Time = 0;
  double Value = 0;
  qint32 Status = 0;
};

// Thread contract: one worker thread at a time, except QueueValue, which the
// value-receiving thread calls; the queue, SeriesKeys' copy it checks against
// and LastQueuedTime are under m_queueMutex.
class TChartGen {
 public:
  static constexpr int kPaletteSize = 14;
  // 0 black; 1..13 the channel colours; series index i + 1 uses 1 + (i mod 13).
  static quint32 PaletteColor(int seriesIndex);

  double LastTime = 0;
  double MinValue = 2147483647.0;
  double MaxValue = -2147483648.0;
  int PointCount = 0;  // values and gaps added to channel series
  int ValueCount = 0;  // values that count for the axis
  QVector<qint32> SeriesKeys;

  // Report graph order: SetTimeRange, Clear, SetupAxes, CreateSeries,
  // AddRecord..., Finish; TakeUpdate hands over what was built.
  void SetTimeRange(double from, double to);
  void Clear();
  void SetupAxes();
  // Null channels give empty slots (key -1, no legend, colour slot kept).
  // Reads names and units: the caller holds the configuration's read lock.
  void CreateSeries(const QVector<TInUnitV4*>& channels);
  void AddRecord(double time, const QVector<TChartItem>& items);
  void Finish();
  void ScaleValueAxis();
  void Highlight(qint32 key);

  // Live chart.
  // -1 refused (unknown key, older than the newest queued value), 0 queued.
  int QueueValue(qint32 logId, const TStateValues& state, int stateIndex);
  // Adds every queued value; 0 when at least one was added, -1 when empty.
  int DrainQueue();
  // The newest accepted time moved back by more than this (clock set back,
  // end of summer time): the rule "older values are refused" restarts.
  static constexpr double kTimeStepBackDays = 5.0 / 1440.0;
  void DeleteOlderThan(double spanDays);
  void FollowTime(double spanDays);

  // What was built since the last call.
  TChartUpdate TakeUpdate();
  // Whether TakeUpdate would hand over anything.
  bool HasPendingUpdate() const;

 private:
  void AddItem(int series, const TChartItem& item, bool drawMarkerLine);
  QVector<TChartPoint>& PointsOf(int series);

  TChartUpdate m_update;
  bool m_hasSeries = false;
  QHash<qint32, int> m_seriesOf;  // key → series index, for the live values

  std::mutex m_queueMutex;
  std::deque<TChartItem> m_queue;
  QVector<qint32> m_queueKeys;
  double m_lastQueuedTime = 0;
};

Q_DECLARE_METATYPE(TChartUpdate)
