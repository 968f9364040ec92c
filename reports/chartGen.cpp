#include "reports/chartGen.h"

#include "app/textFormat.h"
#include "model/DevUnitV4.h"

#include <array>
#include <utility>

namespace {

// Windows colour values (blue in the high byte), as the layout and report
// files carry them; the view converts.
constexpr std::array<quint32, TChartGen::kPaletteSize> kPalette = {
    0x000000,  // marker series
    0x008000, 0x02A8FE, 0x00FF00, 0x008080, 0x800080, 0xFF00FF, 0xFF0000,
    0x000080, 0x808080, 0x808000, 0x800000, 0xFFFF00, 0xC0C0C0,
};

bool IsEmpty(const TChartUpdate& u)
{
  return !u.Reset && u.Series.isEmpty() && u.Points.isEmpty() && u.Markers.isEmpty() &&
         !u.HasValueAxis && !u.HasTimeRange && u.TrimBefore == 0 && !u.HasHighlight && !u.Rescale;
}

}  // namespace

qint32 StatusFromErrCode(qint32 errCode, int stateIndex)
{
  switch (errCode) {
    case 255:
      // The logger marks "no value" with 255; a live device answer of 255 is
      // an error word and stays one.
      return stateIndex == 0 ? 255 : kStatusUnknownError;
    case -1:
      return kStatusUnknownError;
    case -5:
      return kStatusGap;
    case -4:
      return kStatusAboveMax;
    case -3:
      return kStatusBelowMin;
    default:
      return errCode;
  }
}

quint32 TChartGen::PaletteColor(int seriesIndex)
{
  if (seriesIndex <= 0)
    return kPalette[0];
  // Beyond the thirteenth channel the colours repeat rather than reading
  // past the palette.
  return kPalette[static_cast<size_t>(1 + (seriesIndex - 1) % (kPaletteSize - 1))];
}

void TChartGen::SetTimeRange(double from, double to)
{
  m_update.HasTimeRange = true;
  m_update.TimeFrom = from;
  m_update.TimeTo = to;
}

void TChartGen::Clear()
{
  // Whatever was built for the old series is meaningless to the view now.
  m_update = TChartUpdate();
  m_update.Reset = true;
  m_hasSeries = false;
  SeriesKeys.clear();
  m_seriesOf.clear();
  MinValue = 0;
  MaxValue = 0;
  PointCount = 0;
  ValueCount = 0;
  std::lock_guard lock(m_queueMutex);
  m_queueKeys.clear();
  m_queue.clear();
}

void TChartGen::SetupAxes()
{
  MaxValue = -2147483648.0;
  MinValue = 2147483647.0;
  ValueCount = 0;
  LastTime = 0;
  std::lock_guard lock(m_queueMutex);
  m_queue.clear();
}

void TChartGen::CreateSeries(const QVector<TInUnitV4*>& channels)
{
  m_update.Reset = true;
  m_update.Series.clear();
  m_update.Points.clear();
  m_update.Markers.clear();

  TChartSeries marker;
  marker.ColorBgr = PaletteColor(0);
  m_update.Series.append(marker);

  SeriesKeys.clear();
  m_seriesOf.clear();
  for (int i = 0; i < channels.size(); ++i) {
    const TInUnitV4* channel = channels.at(i);
    TChartSeries series;
    series.ColorBgr = PaletteColor(i + 1);
    if (channel != nullptr) {
      series.Key = channel->LogId;
      series.Title = Format(QStringLiteral("%s [%s]"), {channel->Name, channel->PhUnit});
      series.InLegend = true;
      if (!m_seriesOf.contains(series.Key))
        m_seriesOf.insert(series.Key, i + 1);
    }
    SeriesKeys.append(series.Key);
    m_update.Series.append(series);
  }
  m_hasSeries = true;

  std::lock_guard lock(m_queueMutex);
  m_queueKeys = SeriesKeys;
}

QVector<TChartPoint>& TChartGen::PointsOf(int series)
{
  if (m_update.Points.size() <= series)
    m_update.Points.resize(series + 1);
  return m_update.Points[series];
}

void TChartGen::AddItem(int series, const TChartItem& item, bool drawMarkerLine)
{
  const bool noValue = (item.Status & kStatusNoValueMask) != 0 || item.Status == -1;
  const bool red = (item.Status & kStatusRedMask) != 0;
  const bool mark = (item.Status & kStatusDiscontinuity) != 0;

  if (!noValue) {
    if (item.Value > MaxValue)
      MaxValue = item.Value;
    if (item.Value < MinValue)
      MinValue = item.Value;
    ++ValueCount;
  }

  QVector<TChartPoint>& points = PointsOf(series);
  // A mark breaks the line before the value; with no value the one gap does.
  if (mark && !noValue)
    points.append({LastTime, 0, true, false});
  if (noValue)
    points.append({LastTime, 0, true, false});
  else
    points.append({LastTime, item.Value, false, red});
  ++PointCount;

  if (mark && drawMarkerLine &&
      (m_update.Markers.isEmpty() || m_update.Markers.constLast() != LastTime))
    m_update.Markers.append(LastTime);
}

void TChartGen::AddRecord(double time, const QVector<TChartItem>& items)
{
  bool first = true;
  for (int i = 0; i < items.size(); ++i) {
    const TChartItem& item = items.at(i);
    if (!item.HasValue)
      continue;
    if (first) {
      LastTime = time;
      first = false;
    }
    if (item.Id == -1)
      continue;
    AddItem(i + 1, item, true);
  }
}

void TChartGen::Finish()
{
  ScaleValueAxis();
}

void TChartGen::ScaleValueAxis()
{
  if (!m_hasSeries)
    return;
  TAxisScale scale;
  if (ValueCount <= 0) {
    // Only gaps or errors: the sentinels are no range. A unit axis is what
    // the shared rule gives for 0..1 (span 1 = one decade: step 2, "###0.0").
    scale.Lower = 0;
    scale.Upper = 1;
    scale.Increment = 0.2;
    scale.Format = QStringLiteral("###0.0");
  } else {
    scale = AxisScale(MaxValue, MinValue);
  }
  m_update.HasValueAxis = true;
  m_update.ValueAxis = scale;
}

void TChartGen::Highlight(qint32 key)
{
  m_update.HasHighlight = true;
  m_update.Highlight = key;
}

int TChartGen::QueueValue(qint32 logId, const TStateValues& state, int stateIndex)
{
  if (logId == -1)
    return -1;
  std::lock_guard lock(m_queueMutex);
  if (!m_queueKeys.contains(logId))
    return -1;
  const double t = state.Time;
  // Times are local wall-clock: after the clock was set back every value
  // would be "older" for up to an hour, so a big step back restarts the rule.
  if (t < m_lastQueuedTime && m_lastQueuedTime - t <= kTimeStepBackDays)
    return -1;
  m_lastQueuedTime = t;
  TChartItem item;
  item.Id = logId;
  item.HasValue = true;
  item.Time = t;
  item.Value = state.Value;
  item.Status = StatusFromErrCode(state.ErrCode, stateIndex);
  m_queue.push_back(item);
  return 0;
}

int TChartGen::DrainQueue()
{
  std::deque<TChartItem> items;
  {
    std::lock_guard lock(m_queueMutex);
    items.swap(m_queue);
  }
  int added = 0;
  for (const TChartItem& item : items) {
    if (!item.HasValue || item.Id == -1)
      continue;
    const int series = m_seriesOf.value(item.Id, -1);
    if (series < 0)
      continue;
    LastTime = item.Time;
    // A live discontinuity only breaks the line: there is no record time
    // shared by all channels to draw a marker line at.
    AddItem(series, item, false);
    ++added;
  }
  return added > 0 ? 0 : -1;
}

void TChartGen::DeleteOlderThan(double spanDays)
{
  if (LastTime <= 0)
    return;
  m_update.TrimBefore = LastTime - spanDays;
}

void TChartGen::FollowTime(double spanDays)
{
  SetTimeRange(LastTime - spanDays, LastTime);
}

bool TChartGen::HasPendingUpdate() const
{
  return !IsEmpty(m_update);
}

TChartUpdate TChartGen::TakeUpdate()
{
  TChartUpdate update = std::move(m_update);
  m_update = TChartUpdate();
  return update;
}
