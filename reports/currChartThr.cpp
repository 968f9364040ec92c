#include "reports/currChartThr.h"

#include "app/appMessages.h"
#include "app/commonClass.h"
#include "app/textFormat.h"
#include "app/translation.h"
#include "app/uiBridge.h"
#include "model/DevListV4.h"
#include "model/alarms.h"
#include "storage/odbcDBread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>
#include <mutex>
#include <variant>

namespace {

// Low word of AppMsg::Progress for the current-measurement page.
enum TProgressCode : int {
  ProgHideAll = 0x0000,
  ProgHideTable = 0x0002,
  ProgShowTable = 0x0003,
  ProgNoChartSource = 0x0011,
  ProgHideChart = 0x0012,
  ProgShowChart = 0x0013,
  ProgHideErrors = 0x0022,
  ProgShowErrors = 0x0023,
};

void PostProgress(int code)
{
  AppMessages::PostToMain({AppMsg::Progress, (ProgressCurrentFrame << 16) | code, 0, nullptr});
}

// Codes that still carry a measured value (valid, below or above the limits).
bool CountsForStatistics(qint32 errCode)
{
  return errCode == 0 || errCode == -3 || errCode == -4;
}

qint32 MarkOf(double value, const TInUnitV4& channel)
{
  return value < channel.Min || value > channel.Max ? -1 : 0;
}

QString AlarmText(const TalarmsList& alarms, qint32 id)
{
  const std::optional<Talarm> alarm = alarms.FindAlarm(id);
  if (!alarm)
    return QLatin1Char('{') + TrFormat("There is no alarm which ID=%d", {id}) + QLatin1Char('}');
  // A description that begins with a blank is the operator's display text.
  if (!alarm->Desc.isEmpty() && alarm->Desc.front() == QLatin1Char(' '))
    return alarm->Desc.trimmed();
  return alarm->Name;
}

void RegisterMetaTypes()
{
  static std::once_flag once;
  std::call_once(once, [] {
    qRegisterMetaType<TCurrRow>();
    qRegisterMetaType<TErrorRow>();
    qRegisterMetaType<QVector<TCurrRow>>();
    qRegisterMetaType<QVector<TErrorRow>>();
    qRegisterMetaType<TChartUpdate>();
  });
}

}  // namespace

// ---- current table ----

void TcurrTableGen::Rebuild(const TMainDBParamsV4& params)
{
  Rows.clear();
  RowOf.clear();
  const TUnitListV4& units = params.Units();
  int unitCursor = 0, chanCursor = 0;
  for (TInUnitV4* channel = units.FirstChannel(unitCursor, chanCursor, false, false);
       channel != nullptr; channel = units.NextChannel(unitCursor, chanCursor, false, false)) {
    if (RowOf.contains(channel->LogId))
      continue;
    TCurrRow row;
    TStateValues state;
    channel->ReadState(0, state);
    // Statistics kept from before the rebuild show at once, not only from
    // the channel's next value on.
    Recompute(row, *channel, state.Value, state.ErrCode);
    RowOf.insert(channel->LogId, static_cast<int>(Rows.size()));
    Rows.append(row);
  }
}

int TcurrTableGen::Apply(const TCurrItem& item)
{
  if (item.Channel == nullptr)
    return -2;
  // Times are local wall-clock: a big step back is the clock being set back,
  // not a late value, and must not freeze the table until time catches up.
  if (item.Time < LatestTime && LatestTime - item.Time <= TChartGen::kTimeStepBackDays)
    return -1;
  LatestTime = item.Time;
  if (CountsForStatistics(item.ErrCode))
    item.Channel->AddToStat(item.Value);
  const int index = RowOf.value(item.LogId, -1);
  if (index < 0)
    return -2;
  Recompute(Rows[index], *item.Channel, item.Value, item.ErrCode);
  return index;
}

void TcurrTableGen::Recompute(TCurrRow& row, const TInUnitV4& channel, double value, qint32 errCode)
{
  row.LogId = channel.LogId;
  row.Name = channel.Name;
  row.PhUnit = channel.PhUnit;
  // A corrupt divisor must not give a negative or huge precision.
  row.Decimals = std::clamp(DecimalsOf(channel.PointValue), 0, 9);
  row.Value = value;
  row.ErrCode = errCode;
  const TChannelStat stat = channel.Stat();
  row.StatCount = stat.StatCount;
  if (stat.StatCount >= 1) {
    row.Avg = stat.StatSum / stat.StatCount;
    row.AvgMark = MarkOf(row.Avg, channel);
  } else {
    row.AvgMark = -1;
  }
  row.MaxValue = stat.StatMax;
  row.MaxMark = MarkOf(stat.StatMax, channel);
  row.MinValue = stat.StatMin;
  row.MinMark = MarkOf(stat.StatMin, channel);
}

// ---- error list ----

int TerrorTableGen::Update(const TCurrItem& item, const TMainDBParamsV4& params)
{
  LastClosedRow = -1;
  if (item.Channel == nullptr || item.ErrCode == item.PrevErrCode)
    return NoChange;
  int change = NoChange;
  if (item.PrevErrCode != 0) {
    const auto active = Active.find(item.LogId);
    if (active != Active.end()) {
      const qint32 index = active->RowIndex;
      if (index >= 0 && index < Rows.size() && Rows[index].IsActive) {
        Rows[index].EndTime = item.Time;
        Rows[index].IsActive = false;
        LastClosedRow = index;
        change |= Closed;
      }
      active->RowIndex = -1;
    }
  }
  if (item.ErrCode != 0) {
    TactError& active = Active[item.LogId];
    active.LogId = item.LogId;
    active.ErrCode = item.ErrCode;
    active.RowIndex = static_cast<qint32>(Rows.size());
    TErrorRow row = MakeRow(*item.Channel, item.ErrCode, item.Time, params);
    row.IsActive = true;
    Rows.append(row);
    change |= Opened;
  }
  if (item.Time > LatestTime)
    LatestTime = item.Time;
  return change;
}

void TerrorTableGen::Clear()
{
  Rows.clear();
  Active.clear();
  LastClosedRow = -1;
}

void TerrorTableGen::AddStored(const TErrorRow& row)
{
  const qint32 index = static_cast<qint32>(Rows.size());
  Rows.append(row);
  if (row.IsActive)
    Active.insert(row.LogId, TactError{row.LogId, index, row.ErrCode});
}

TErrorRow TerrorTableGen::MakeRow(const TInUnitV4& channel, qint32 errCode, double begin,
                                  const TMainDBParamsV4& params)
{
  TErrorRow row;
  row.LogId = channel.LogId;
  row.BeginTime = begin;
  row.ErrCode = errCode;
  row.Device = Format(QStringLiteral("%s  [%s]"), {channel.Name, channel.PhUnit});

  const TTypeV4* type = channel.Unit != nullptr ? channel.Unit->UnitType : nullptr;
  const TErrorV4* error = type != nullptr ? type->FindError(errCode, channel.LogId) : nullptr;
  if (error != nullptr) {
    row.Description = error->Desc;
  } else {
    // %x of the format language prints upper-case digits; device codes are
    // listed in lower case.
    const QString upper =
        QStringLiteral("0x") + QString::number(static_cast<quint32>(errCode), 16).toUpper();
    row.Description = TrFormat("Error [0x%x]", {errCode});
    row.Description.replace(upper, upper.toLower());
  }

  const QList<qint32> bound = channel.AlarmMaker().AlarmsFor(errCode);
  if (!bound.isEmpty()) {
    // The alarm list guards itself; reading it needs no write access.
    const TalarmsList& alarms = params.Alarms();
    QStringList parts;
    for (qint32 id : bound)
      parts << QLatin1Char('[') + AlarmText(alarms, id) + QLatin1Char(']');
    row.Alarms = parts.join(QStringLiteral(", "));
  }
  return row;
}

// ---- service thread ----

struct TCurrChartThr::TRequests {
  // The first pass fills the table and shows the (still sourceless) chart,
  // so the page has something to show before the operator chooses.
  bool Table = true;
  bool Chart = true;
  // Once asked for, every later rebuild repaints completely too.
  bool Rescale = false;
  bool Errors = false;
  bool HighlightChanged = false;
  double TableFrom = 0, TableTo = 0;
  double ErrorsFrom = 0, ErrorsTo = 0;
  int SourceKind = 0;  // in use; written by the service thread at a rebuild
  int NextSourceKind = 0;
  qint32 NextGroup = -1;
  qint32 NextChannel = -1;
  qint32 Highlight = -1;
  qint32 PeriodSeconds = 0;  // 0: the configured chart period
};

TCurrChartThr::TCurrChartThr(TMainDBParamsV4* params, std::unique_ptr<TDBreadManBase> reader)
    : m_params(params), m_reader(std::move(reader)), m_requests(std::make_unique<TRequests>())
{
  RegisterMetaTypes();
  start();
}

TCurrChartThr::~TCurrChartThr()
{
  Stop();
}

void TCurrChartThr::Stop()
{
  m_stop.store(true);
  m_wake.Set();
  if (QThread::currentThread() == this)
    return;
  if (UiBridge::onUiThread()) {
    // The thread may be waiting for the UI thread (its hand-over message):
    // keep serving it while joining.
    while (!wait(QDeadlineTimer(20)))
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  } else {
    wait();
  }
}

void TCurrChartThr::Update(TInUnitV4* channel, const TStateValues& state)
{
  if (channel == nullptr || m_stop.load())
    return;
  // The item carries the value as received: applying the channel's state at
  // drain time would count the last of a burst several times.
  const TCurrItem item{channel,     channel->LogId, state.Time,
                       state.Value, state.ErrCode,  state.PrevErrCode};
  {
    std::lock_guard lock(m_queueMutex);
    m_queue.push_back(item);
  }
  m_chart.QueueValue(item.LogId, state, state.Index);
  m_wake.Set();
}

void TCurrChartThr::RequestTable()
{
  {
    std::lock_guard lock(m_requestMutex);
    m_requests->Table = true;
  }
  m_wake.Set();
}

void TCurrChartThr::RequestChart()
{
  {
    std::lock_guard lock(m_requestMutex);
    m_requests->Chart = true;
  }
  m_wake.Set();
}

void TCurrChartThr::RequestRescale()
{
  {
    std::lock_guard lock(m_requestMutex);
    m_requests->Rescale = true;
  }
  m_wake.Set();
}

void TCurrChartThr::RequestErrors()
{
  {
    std::lock_guard lock(m_requestMutex);
    m_requests->Errors = true;
  }
  m_wake.Set();
}

void TCurrChartThr::SetTableRange(double from, double to)
{
  std::lock_guard lock(m_requestMutex);
  m_requests->TableFrom = from;
  m_requests->TableTo = to;
}

void TCurrChartThr::SetErrorRange(double from, double to)
{
  std::lock_guard lock(m_requestMutex);
  m_requests->ErrorsFrom = from;
  m_requests->ErrorsTo = to;
}

void TCurrChartThr::SetNextGroup(qint32 groupId)
{
  std::lock_guard lock(m_requestMutex);
  m_requests->NextGroup = groupId;
}

void TCurrChartThr::SetNextChannel(qint32 logId)
{
  std::lock_guard lock(m_requestMutex);
  m_requests->NextChannel = logId;
}

void TCurrChartThr::SelectSource(int kind)
{
  {
    std::lock_guard lock(m_requestMutex);
    if (kind == m_requests->SourceKind)
      return;
    m_requests->NextSourceKind = kind;
    m_requests->Chart = true;
  }
  m_wake.Set();
}

void TCurrChartThr::SetHighlight(qint32 logId)
{
  {
    std::lock_guard lock(m_requestMutex);
    m_requests->Highlight = logId;
    m_requests->HighlightChanged = true;
  }
  m_wake.Set();
}

void TCurrChartThr::SetChartPeriod(qint32 seconds)
{
  std::lock_guard lock(m_requestMutex);
  m_requests->PeriodSeconds = seconds;
}

void TCurrChartThr::run()
{
  // The month files are opened on this thread: their connections belong to it.
  if (!m_reader)
    m_reader = std::make_unique<TDBReadManODBC>(m_params->BasesDir);
  AppMessages::SendToMain({AppMsg::SetObject, SetObjCurrChart, 0, this});
  PostProgress(ProgHideAll);

  while (true) {
    TRequests req;
    {
      // One snapshot per pass: requests made in order are served in the same
      // pass or together in a later one, never half.
      std::lock_guard lock(m_requestMutex);
      req = *m_requests;
      m_requests->Table = false;
      m_requests->Chart = false;
      m_requests->Errors = false;
      m_requests->HighlightChanged = false;
    }
    bool idle = true;
    if (req.Table) {
      m_busy.store(1);
      RebuildTable(req);
      m_busy.store(0);
      idle = false;
    }
    if (req.Chart && !m_stop.load()) {
      m_busy.store(2);
      RebuildChart(req);
      m_busy.store(0);
      idle = false;
    }
    if (m_chart.DrainQueue() == 0) {
      m_chart.DeleteOlderThan(m_periodDays);
      m_chart.FollowTime(m_periodDays);
      m_chart.ScaleValueAxis();
      idle = false;
    }
    if (ProcessQueue())
      idle = false;
    if (req.Errors && !m_stop.load()) {
      m_busy.store(3);
      RebuildErrors(req);
      m_busy.store(0);
      idle = false;
    }
    // A rebuild already applied the emphasis of the moment.
    if (req.HighlightChanged && !req.Chart)
      m_chart.Highlight(req.Highlight);
    FlushChart();
    if (m_stop.load())
      break;
    if (idle)
      m_wake.Wait(-1);
  }
  // Its connections must be closed by the thread that opened them.
  m_reader.reset();
}

void TCurrChartThr::RebuildTable(const TRequests& req)
{
  PostProgress(ProgHideTable);
  if (req.TableFrom != 0 && req.TableTo != 0) {
    struct TStatJob {
      TInUnitV4* Channel;
      qint32 LogId;
    };
    QVector<TStatJob> jobs;
    {
      auto lock = m_params->ReadLock();
      const TUnitListV4& units = m_params->Units();
      int unitCursor = 0, chanCursor = 0;
      for (TInUnitV4* channel = units.FirstChannel(unitCursor, chanCursor, true, false);
           channel != nullptr; channel = units.NextChannel(unitCursor, chanCursor, true, false))
        jobs.append({channel, channel->LogId});
    }
    // Outside the configuration lock: the databases may take long, and
    // channels are never freed while the program runs.
    for (const TStatJob& job : jobs) {
      if (m_stop.load())
        break;
      TStatistics stat;
      m_reader->Statistics(job.LogId, req.TableFrom, req.TableTo, stat);
      TChannelStat channelStat;
      channelStat.StatMin = stat.Min;
      channelStat.StatMax = stat.Max;
      channelStat.StatSum = stat.Sum;
      channelStat.StatCount = stat.Count;
      job.Channel->SetStat(channelStat);
    }
  }
  {
    auto lock = m_params->ReadLock();
    m_table.Rebuild(*m_params);
  }
  Q_EMIT tableReset(m_table.Rows);
  AppMessages::PostToMain({AppMsg::CurrTable, 1, -1, nullptr});
  PostProgress(ProgShowTable);
}

void TCurrChartThr::RebuildChart(const TRequests& req)
{
  PostProgress(ProgHideChart);
  m_chart.Clear();
  {
    std::lock_guard lock(m_requestMutex);
    m_requests->SourceKind = req.NextSourceKind;
  }

  QVector<TInUnitV4*> channels;
  bool hasSource = false;
  qint32 periodSeconds = req.PeriodSeconds;
  {
    auto lock = m_params->ReadLock();
    if (periodSeconds <= 0)
      periodSeconds = m_params->Settings().ChartPeriod;
    if (req.NextSourceKind == 0) {
      if (const TGroup* group = m_params->Groups().FindGroup(req.NextGroup)) {
        hasSource = true;
        // Every member keeps its slot, so colours follow the group's order
        // even where a member no longer has a channel.
        for (int i = 0; i < group->MemberCount(); ++i) {
          TInUnitV4* channel = group->MemberAt(i)->Channel;
          channels.append(channel != nullptr && !channel->Deleted ? channel : nullptr);
        }
      }
    } else {
      TInUnitV4* channel = m_params->Units().FindInUnit(req.NextChannel);
      if (channel != nullptr && !channel->Deleted) {
        hasSource = true;
        channels.append(channel);
      }
    }
    if (hasSource) {
      m_chart.SetupAxes();
      m_chart.CreateSeries(channels);
    }
  }
  m_periodDays = (periodSeconds > 0 ? periodSeconds : 3600) / 86400.0;
  if (req.Rescale)
    m_rescalePending = true;
  if (!hasSource) {
    m_pendingChartProgress = ProgNoChartSource;
    return;
  }

  const double now = NowDayCount();
  const double from = now - m_periodDays;
  m_chart.SetTimeRange(from, now);

  QVector<qint32> ids;
  QVector<TRowSlot> rowSlots(m_chart.SeriesKeys.size());
  for (int i = 0; i < m_chart.SeriesKeys.size(); ++i) {
    rowSlots[i].LogId = m_chart.SeriesKeys.at(i);
    if (rowSlots[i].LogId != -1)
      ids.append(rowSlots[i].LogId);
  }
  // No ids would mean "every channel" to the reader.
  if (!ids.isEmpty()) {
    m_reader->PrepareMeasures(ids, from, now);
    if (m_reader->FirstMeasure() == 0) {
      QVector<TChartItem> items(rowSlots.size());
      int more = 0;
      do {
        for (TRowSlot& slot : rowSlots)
          slot.Valid = false;
        more = m_reader->ReadTimeRow(rowSlots, static_cast<int>(rowSlots.size()) - 1);
        for (int i = 0; i < rowSlots.size(); ++i) {
          const TRowSlot& slot = rowSlots.at(i);
          items[i] = {slot.LogId, slot.Valid, slot.Time, slot.Value, slot.ErrCode};
        }
        m_chart.AddRecord(rowSlots.constFirst().Time, items);
      } while (more == 0 && !m_stop.load());
    }
  }
  m_chart.Finish();
  m_chart.Highlight(req.Highlight);
  m_pendingChartProgress = ProgShowChart;
}

void TCurrChartThr::RebuildErrors(const TRequests& req)
{
  QVector<TErrorRec> stored;
  m_reader->PrepareErrors(req.ErrorsFrom, req.ErrorsTo);
  if (m_reader->FirstError() == 0) {
    do {
      TErrorRec rec;
      m_reader->ReadError(rec);
      if (rec.Valid)
        stored.append(rec);
    } while (m_reader->NextError() == 0 && !m_stop.load());
  }

  PostProgress(ProgHideErrors);
  m_errors.Clear();
  {
    auto lock = m_params->ReadLock();
    const TUnitListV4& units = m_params->Units();
    for (const TErrorRec& rec : stored) {
      // Errors of units that are gone have nothing to name or close them.
      const TInUnitV4* channel = units.FindInUnit(rec.LogId);
      if (channel == nullptr)
        continue;
      TErrorRow row = TerrorTableGen::MakeRow(*channel, rec.ErrCode, rec.BeginDate, *m_params);
      row.EndTime = rec.EndDate;
      row.IsActive = rec.EndDate == 0;
      m_errors.AddStored(row);
    }
  }
  Q_EMIT errorsReset(m_errors.Rows);
  PostProgress(ProgShowErrors);
}

bool TCurrChartThr::ProcessQueue()
{
  std::deque<TCurrItem> items;
  {
    std::lock_guard lock(m_queueMutex);
    items.swap(m_queue);
  }
  if (items.empty())
    return false;

  // Events for the view in the order they happened: a row may open and
  // close within one batch.
  using TErrorEvent = std::variant<TErrorRow, std::pair<int, double>>;
  QVector<TErrorEvent> errorEvents;
  QVector<TCurrRow> changed;
  QHash<qint32, int> changedAt;
  bool opened = false;
  const double latestBefore = m_table.LatestTime;
  {
    auto lock = m_params->ReadLock();
    for (const TCurrItem& item : items) {
      const int row = m_table.Apply(item);
      if (row >= 0) {
        const int at = changedAt.value(item.LogId, -1);
        if (at < 0) {
          changedAt.insert(item.LogId, static_cast<int>(changed.size()));
          changed.append(m_table.Rows.at(row));
        } else {
          changed[at] = m_table.Rows.at(row);
        }
      }
      const int change = m_errors.Update(item, *m_params);
      if (change & TerrorTableGen::Closed)
        errorEvents.append(std::pair<int, double>(m_errors.LastClosedRow, item.Time));
      if (change & TerrorTableGen::Opened) {
        errorEvents.append(m_errors.Rows.constLast());
        opened = true;
      }
    }
  }

  if (!changed.isEmpty())
    Q_EMIT rowsChanged(changed);
  if (m_table.LatestTime != latestBefore)
    Q_EMIT latestTimeChanged(m_table.LatestTime);
  for (const TErrorEvent& event : errorEvents) {
    if (const auto* row = std::get_if<TErrorRow>(&event))
      Q_EMIT errorOpened(*row);
    else {
      const auto& [index, endTime] = std::get<std::pair<int, double>>(event);
      Q_EMIT errorClosed(index, endTime);
    }
  }
  if (opened) {
    AppMessages::PostToMain({AppMsg::ShowErrors, 0, 0, nullptr});
    PostProgress(ProgShowErrors);
  }
  return true;
}

void TCurrChartThr::FlushChart()
{
  if (m_chart.HasPendingUpdate()) {
    TChartUpdate update = m_chart.TakeUpdate();
    if (m_rescalePending && update.Reset) {
      update.Rescale = true;
      m_rescalePending = false;
    }
    Q_EMIT chartUpdated(update);
  }
  // After the data, so the page shows a chart that is already filled.
  if (m_pendingChartProgress != 0) {
    PostProgress(m_pendingChartProgress);
    m_pendingChartProgress = 0;
  }
}
