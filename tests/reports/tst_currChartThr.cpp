#include "reports/currChartThr.h"

#include "app/appMessages.h"
#include "app/uiBridge.h"
#include "model/alarms.h"
#include "plantFixture.h"

#include <QtTest>

#include <algorithm>

namespace {

constexpr double kMinute = 1.0 / 1440.0;

// Stored measurements and errors as the month files would give them.
struct TStored {
  QVector<TMeasureRec> Measures;  // in time order
  QVector<TErrorRec> Errors;      // in begin order
  QHash<qint32, TStatistics> Stats;
};

class TFakeReader : public TDBreadManBase {
 public:
  explicit TFakeReader(TStored stored) : m_stored(std::move(stored)) {}

  int OpenQuery() override { return -1; }
  int NextRow() override { return -1; }
  void PrepareMeasures(const QVector<qint32>& logIds, double from, double to) override
  {
    m_measures.clear();
    for (const TMeasureRec& m : m_stored.Measures) {
      if (logIds.contains(m.LogId) && m.Time >= from && m.Time <= to)
        m_measures.append(m);
    }
    m_pos = -1;
  }
  void PrepareErrors(double from, double to) override
  {
    m_errors.clear();
    for (const TErrorRec& e : m_stored.Errors) {
      if (e.BeginDate >= from && e.BeginDate <= to)
        m_errors.append(e);
    }
    m_pos = -1;
  }
  qint32 ReadMeasure(TMeasureRec& rec) override
  {
    rec.Valid = m_pos >= 0 && m_pos < m_measures.size();
    if (!rec.Valid)
      return -1;
    rec = m_measures.at(m_pos);
    rec.Valid = true;
    return m_pos;
  }
  int FirstMeasure() override { return Step(0, m_measures.size()); }
  int NextMeasure() override { return Step(m_pos + 1, m_measures.size()); }
  void ReadError(TErrorRec& rec) override
  {
    rec = m_errors.value(m_pos);
    rec.Valid = m_pos >= 0 && m_pos < m_errors.size();
  }
  int FirstError() override { return Step(0, m_errors.size()); }
  int NextError() override { return Step(m_pos + 1, m_errors.size()); }
  // Same contract as the month-file reader: fills the rowSlots of one time and
  // leaves the cursor on the next time; -1 at the end.
  int ReadTimeRow(QVector<TRowSlot>& rowSlots, int high) override
  {
    TMeasureRec m;
    ReadMeasure(m);
    if (!m.Valid)
      return -1;
    const double rowTime = m.Time;
    for (int i = 0; i <= high; ++i) {
      rowSlots[i].Valid = false;
      rowSlots[i].Time = rowTime;
    }
    while (m.Valid && m.Time == rowTime) {
      for (int i = 0; i <= high; ++i) {
        if (rowSlots[i].LogId == m.LogId) {
          rowSlots[i].Valid = true;
          rowSlots[i].Value = m.Value;
          rowSlots[i].ErrCode = m.ErrCode;
        }
      }
      if (NextMeasure() != 0)
        return -1;
      ReadMeasure(m);
    }
    return 0;
  }
  void Statistics(qint32 logId, double, double, TStatistics& stat) override
  {
    stat = m_stored.Stats.value(logId, TStatistics());
  }

 private:
  int Step(int pos, qsizetype size)
  {
    m_pos = pos;
    return pos < size ? 0 : -1;
  }

  const TStored m_stored;
  QVector<TMeasureRec> m_measures;
  QVector<TErrorRec> m_errors;
  int m_pos = -1;
};

class TSink : public IAppMessageSink {
 public:
  QVector<TAppMessage> Messages;
  void AppMessage(const TAppMessage& message) override { Messages.append(message); }
  int Count(AppMsg msg, qint64 wParam, qint64 lParam = 0) const
  {
    return static_cast<int>(
        std::count_if(Messages.cbegin(), Messages.cend(), [&](const TAppMessage& m) {
          return m.Msg == msg && m.WParam == wParam && m.LParam == lParam;
        }));
  }
  int Progress(int code) const { return Count(AppMsg::Progress, 0x00020000 | code); }
};

// The page's side: what it would hold after the queued signals.
class TRecorder : public QObject {
 public:
  explicit TRecorder(TCurrChartThr& thr)
  {
    connect(&thr, &TCurrChartThr::tableReset, this, [this](const QVector<TCurrRow>& rows) {
      ++TableResets;
      TableOrder.clear();
      for (const TCurrRow& row : rows) {
        TableOrder.append(row.LogId);
        Rows.insert(row.LogId, row);
      }
    });
    connect(&thr, &TCurrChartThr::rowsChanged, this, [this](const QVector<TCurrRow>& rows) {
      for (const TCurrRow& row : rows)
        Rows.insert(row.LogId, row);
    });
    connect(&thr, &TCurrChartThr::errorsReset, this, [this](const QVector<TErrorRow>& rows) {
      ++ErrorResets;
      Errors = rows;
    });
    connect(&thr, &TCurrChartThr::errorOpened, this,
            [this](const TErrorRow& row) { Errors.append(row); });
    connect(&thr, &TCurrChartThr::errorClosed, this, [this](int index, double endTime) {
      Closed.append(index);
      if (index >= 0 && index < Errors.size()) {
        Errors[index].IsActive = false;
        Errors[index].EndTime = endTime;
      }
    });
    connect(&thr, &TCurrChartThr::chartUpdated, this,
            [this](const TChartUpdate& update) { Charts.append(update); });
    connect(&thr, &TCurrChartThr::latestTimeChanged, this, [this](double time) { Latest = time; });
  }

  int Resets() const
  {
    return static_cast<int>(std::count_if(Charts.cbegin(), Charts.cend(),
                                          [](const TChartUpdate& u) { return u.Reset; }));
  }
  TChartUpdate LastReset() const
  {
    for (auto it = Charts.crbegin(); it != Charts.crend(); ++it) {
      if (it->Reset)
        return *it;
    }
    return {};
  }

  int TableResets = 0;
  QVector<qint32> TableOrder;
  QHash<qint32, TCurrRow> Rows;
  int ErrorResets = 0;
  QVector<TErrorRow> Errors;
  QVector<int> Closed;
  QVector<TChartUpdate> Charts;
  double Latest = 0;
};

// A configuration, the service with a fake reader, and the page's view of it.
struct TRig {
  TConfig Cfg{true};
  TSink Sink;
  std::unique_ptr<TCurrChartThr> Thr;
  std::unique_ptr<TRecorder> Rec;

  explicit TRig(TStored stored = {})
  {
    AppMessages::SetMainTarget(&Sink);
    Thr = std::make_unique<TCurrChartThr>(&Cfg.Params,
                                          std::make_unique<TFakeReader>(std::move(stored)));
    // The thread waits for the page to take it before its first pass, so
    // nothing is emitted before these connections exist.
    Rec = std::make_unique<TRecorder>(*Thr);
  }
  ~TRig()
  {
    Thr->Stop();
    Thr->Stop();
    Thr.reset();
    AppMessages::SetMainTarget(nullptr);
  }
  // The first pass: the table and the sourceless chart.
  bool Started()
  {
    return QTest::qWaitFor([this] { return Rec->TableResets == 1 && Sink.Progress(0x11) == 1; });
  }
  TInUnitV4* Channel(qint32 logId) { return Cfg.Params.Units().FindInUnit(logId); }
  // As the server link hands on a received value.
  void Feed(qint32 logId, double time, double value, qint32 code)
  {
    TInUnitV4* channel = Channel(logId);
    auto lock = Cfg.Params.ReadLock();
    const TStateValues state = channel->SetReceived(0, time, value, code);
    Thr->Update(channel, state);
    channel->Snapshot(0);
  }
};

TCurrItem Item(TInUnitV4* channel, double time, qint32 prev, qint32 code)
{
  TCurrItem item;
  item.Channel = channel;
  item.LogId = channel->LogId;
  item.Time = time;
  item.ErrCode = code;
  item.PrevErrCode = prev;
  return item;
}

}  // namespace

class TstCurrChartThr : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void initTestCase();
  void statistics_data();
  void statistics();
  void olderValueNotApplied();
  void errorTransitions_data();
  void errorTransitions();
  void errorRowTexts();
  void errorListThroughThread();
  void tableRebuild_data();
  void tableRebuild();
  void chartSources();
  void liveChart();
};

void TstCurrChartThr::initTestCase()
{
  UiBridge::install();
}

void TstCurrChartThr::statistics_data()
{
  QTest::addColumn<QVector<double>>("values");
  QTest::addColumn<QVector<qint32>>("codes");
  QTest::addColumn<bool>("zeroLimits");
  QTest::addColumn<int>("count");
  QTest::addColumn<QVector<double>>("avgMinMax");
  QTest::addColumn<QVector<qint32>>("marks");  // avg, min, max

  // Channel 1: limits -20.5 .. 95.
  QTest::newRow("burst counted value by value")
      << QVector<double>{1, 2, 3} << QVector<qint32>{0, 0, 0} << false << 3
      << QVector<double>{2, 1, 3} << QVector<qint32>{0, 0, 0};
  QTest::newRow("only error codes: no statistics")
      << QVector<double>{7, 8, 9} << QVector<qint32>{-1, -2, 0x1f} << false << 0
      << QVector<double>{} << QVector<qint32>{-1, -1, -1};
  QTest::newRow("limit codes count, marks by limits")
      << QVector<double>{100, -30, 10} << QVector<qint32>{0, 0, -1} << false << 2
      << QVector<double>{35, -30, 100} << QVector<qint32>{0, -1, -1};
  QTest::newRow("limits 0/0 mark every non-zero")
      << QVector<double>{0, 5} << QVector<qint32>{0, 0} << true << 2 << QVector<double>{2.5, 0, 5}
      << QVector<qint32>{-1, 0, -1};
}

void TstCurrChartThr::statistics()
{
  QFETCH(QVector<double>, values);
  QFETCH(QVector<qint32>, codes);
  QFETCH(bool, zeroLimits);
  QFETCH(int, count);
  QFETCH(QVector<double>, avgMinMax);
  QFETCH(QVector<qint32>, marks);

  TRig rig;
  QVERIFY(rig.Started());
  TInUnitV4* channel = rig.Channel(1);
  if (zeroLimits) {
    auto lock = rig.Cfg.Params.WriteLock();
    channel->Min = 0;
    channel->Max = 0;
  }
  const double t0 = 45000.5;
  {
    // Every value is in the channel before the service can apply any: the
    // table must use each queued value, not the channel's state.
    auto block = rig.Cfg.Params.WriteLock();
    for (int i = 0; i < values.size(); ++i) {
      const TStateValues state = channel->SetReceived(0, t0 + i * kMinute, values[i], codes[i]);
      rig.Thr->Update(channel, state);
      channel->Snapshot(0);
    }
  }
  const double last = t0 + (values.size() - 1) * kMinute;
  QTRY_COMPARE(rig.Rec->Latest, last);

  const TCurrRow row = rig.Rec->Rows.value(1);
  QCOMPARE(row.StatCount, count);
  QCOMPARE(row.Value, values.constLast());
  QCOMPARE(row.Decimals, 1);
  QCOMPARE(channel->Stat().StatCount, count);
  if (count > 0) {
    QCOMPARE(row.Avg, avgMinMax[0]);
    QCOMPARE(row.MinValue, avgMinMax[1]);
    QCOMPARE(row.MaxValue, avgMinMax[2]);
  }
  QCOMPARE(row.AvgMark, marks[0]);
  QCOMPARE(row.MinMark, marks[1]);
  QCOMPARE(row.MaxMark, marks[2]);
}

void TstCurrChartThr::olderValueNotApplied()
{
  TRig rig;
  QVERIFY(rig.Started());
  const double t0 = 45000.5;
  rig.Feed(1, t0, 5, 0);
  QTRY_COMPARE(rig.Rec->Latest, t0);
  // One minute older: neither shown nor counted; the same time is accepted.
  rig.Feed(1, t0 - kMinute, 7, 0);
  rig.Feed(4, t0, 2, 0);
  QTRY_COMPARE(rig.Rec->Rows.value(4).StatCount, 1);
  QCOMPARE(rig.Rec->Rows.value(1).Value, 5.0);
  QCOMPARE(rig.Channel(1)->Stat().StatCount, 1);
  // Ten minutes back is the clock being set back: applied again.
  rig.Feed(1, t0 - 10 * kMinute, 9, 0);
  QTRY_COMPARE(rig.Rec->Rows.value(1).StatCount, 2);
  QCOMPARE(rig.Rec->Rows.value(1).Value, 9.0);
  QCOMPARE(rig.Rec->Latest, t0 - 10 * kMinute);
}

void TstCurrChartThr::errorTransitions_data()
{
  QTest::addColumn<QVector<qint32>>("codes");  // from 0
  QTest::addColumn<QVector<int>>("changes");
  QTest::addColumn<QString>("rows");  // per row: o open, c closed

  QTest::newRow("-1 then -2 closes and opens")
      << QVector<qint32>{-1, -2}
      << QVector<int>{TerrorTableGen::Opened, TerrorTableGen::ClosedAndOpened} << "co";
  QTest::newRow("-1 then 0 closes")
      << QVector<qint32>{-1, 0} << QVector<int>{TerrorTableGen::Opened, TerrorTableGen::Closed}
      << "c";
  QTest::newRow("repeated -1: nothing")
      << QVector<qint32>{-1, -1} << QVector<int>{TerrorTableGen::Opened, TerrorTableGen::NoChange}
      << "o";
  QTest::newRow("valid values: nothing")
      << QVector<qint32>{0, 0} << QVector<int>{TerrorTableGen::NoChange, TerrorTableGen::NoChange}
      << "";
}

void TstCurrChartThr::errorTransitions()
{
  QFETCH(QVector<qint32>, codes);
  QFETCH(QVector<int>, changes);
  QFETCH(QString, rows);

  TConfig cfg(true);
  TInUnitV4* channel = cfg.Params.Units().FindInUnit(1);
  auto lock = cfg.Params.ReadLock();
  TerrorTableGen errors;
  qint32 prev = 0;
  for (int i = 0; i < codes.size(); ++i) {
    QCOMPARE(errors.Update(Item(channel, 100 + i, prev, codes[i]), cfg.Params), changes[i]);
    prev = codes[i];
  }
  QString got;
  for (const TErrorRow& row : errors.Rows) {
    got += row.IsActive ? QLatin1Char('o') : QLatin1Char('c');
    QCOMPARE(row.EndTime, row.IsActive ? 0.0 : 101.0);
  }
  QCOMPARE(got, rows);
  if (!rows.isEmpty()) {
    QCOMPARE(errors.Rows[0].BeginTime, 100.0);
    QCOMPARE(errors.Rows[0].ErrCode, -1);
  }
}

void TstCurrChartThr::errorRowTexts()
{
  TConfig cfg(true);
  TInUnitV4* channel = cfg.Params.Units().FindInUnit(1);
  QCOMPARE(cfg.Params.Alarms().AddAlarm(1, QStringLiteral("Pump"), QString()), 0);
  QCOMPARE(cfg.Params.Alarms().AddAlarm(2, QStringLiteral("Boiler"),
                                        QStringLiteral(" Boiler overheated ")),
           0);
  channel->AlarmMaker().Bind(0x1f, 1);
  channel->AlarmMaker().Bind(0x1f, 7);
  channel->AlarmMaker().Bind(0x1f, 2);

  auto lock = cfg.Params.ReadLock();
  const TErrorRow unknown = TerrorTableGen::MakeRow(*channel, 0x1f, 10.0, cfg.Params);
  QCOMPARE(unknown.Device, QStringLiteral("Temp. zasilania  [°C]"));
  QCOMPARE(unknown.Description, QStringLiteral("Error [0x1f]"));
  QCOMPARE(unknown.Alarms,
           QStringLiteral("[Pump], [{There is no alarm which ID=7}], [Boiler overheated]"));
  QCOMPARE(unknown.BeginTime, 10.0);

  // A code the device type describes; no alarms bound to it.
  const TErrorRow belowMin = TerrorTableGen::MakeRow(*channel, -3, 10.0, cfg.Params);
  QCOMPARE(belowMin.Description, QStringLiteral("! < MIN"));
  QVERIFY(belowMin.Alarms.isEmpty());
}

void TstCurrChartThr::errorListThroughThread()
{
  const double t0 = 45000.5;
  TStored stored;
  stored.Errors = {
      {true, 1, t0 - 60 * kMinute, t0 - 50 * kMinute, -1, 1},
      {true, 777, t0 - 40 * kMinute, 0, -2, 2},  // unit gone: skipped
      {true, 4, t0 - 30 * kMinute, 0, -2, 3},    // still open
  };
  TRig rig(stored);
  QVERIFY(rig.Started());

  // Live: an error opens a row and calls the page; its end closes it.
  rig.Feed(1, t0, 0, -1);
  QTRY_COMPARE(rig.Rec->Errors.size(), 1);
  QVERIFY(rig.Rec->Errors[0].IsActive);
  QTRY_COMPARE(rig.Sink.Count(AppMsg::ShowErrors, 0), 1);
  QTRY_COMPARE(rig.Sink.Progress(0x23), 1);
  rig.Feed(1, t0 + kMinute, 1, 0);
  QTRY_COMPARE(rig.Rec->Closed, QVector<int>{0});
  QCOMPARE(rig.Rec->Errors[0].EndTime, t0 + kMinute);

  // Refresh: the stored errors of the range become the rows.
  rig.Thr->SetErrorRange(t0 - 120 * kMinute, t0);
  rig.Thr->RequestErrors();
  QTRY_COMPARE(rig.Rec->ErrorResets, 1);
  QCOMPARE(rig.Sink.Progress(0x22), 1);
  QTRY_COMPARE(rig.Sink.Progress(0x23), 2);
  QCOMPARE(rig.Rec->Errors.size(), 2);
  QVERIFY(!rig.Rec->Errors[0].IsActive);
  QVERIFY(rig.Rec->Errors[1].IsActive);
  QCOMPARE(rig.Rec->Errors[1].LogId, 4);

  // The stored open error ends: its real row closes; a new error appends.
  {
    auto lock = rig.Cfg.Params.ReadLock();
    TInUnitV4* channel = rig.Channel(4);
    channel->SetReceived(0, t0 - kMinute, 0, -2);
    channel->Snapshot(0);
  }
  rig.Feed(4, t0 + 2 * kMinute, 1, 0);
  QTRY_COMPARE(rig.Rec->Closed, (QVector<int>{0, 1}));
  QVERIFY(!rig.Rec->Errors[1].IsActive);
  rig.Feed(4, t0 + 3 * kMinute, 1, -2);
  QTRY_COMPARE(rig.Rec->Errors.size(), 3);
  rig.Feed(4, t0 + 4 * kMinute, 1, 0);
  QTRY_COMPARE(rig.Rec->Closed, (QVector<int>{0, 1, 2}));
}

void TstCurrChartThr::tableRebuild_data()
{
  QTest::addColumn<bool>("withRange");
  QTest::newRow("no range: statistics stay") << false;
  QTest::newRow("range: statistics from the databases") << true;
}

void TstCurrChartThr::tableRebuild()
{
  QFETCH(bool, withRange);
  TStored stored;
  TStatistics stat;
  stat.Count = 4;
  stat.Sum = 10;
  stat.Min = 1;
  stat.Max = 4;
  stored.Stats.insert(1, stat);
  TRig rig(stored);
  QVERIFY(rig.Started());
  // Enabled channels only, each once, in unit order.
  QVERIFY(!rig.Rec->TableOrder.contains(2));
  QCOMPARE(rig.Rec->TableOrder.value(0), 1);
  QCOMPARE(rig.Sink.Progress(0x02), 1);
  QTRY_COMPARE(rig.Sink.Progress(0x03), 1);
  QTRY_COMPARE(rig.Sink.Count(AppMsg::CurrTable, 1, -1), 1);

  rig.Feed(1, 45000.5, 50, 0);
  QTRY_COMPARE(rig.Rec->Rows.value(1).StatCount, 1);
  if (withRange)
    rig.Thr->SetTableRange(45000.0, 45001.0);
  rig.Thr->RequestTable();
  QTRY_COMPARE(rig.Rec->TableResets, 2);
  const TCurrRow row = rig.Rec->Rows.value(1);
  QCOMPARE(row.StatCount, withRange ? 4 : 1);
  QCOMPARE(row.Avg, withRange ? 2.5 : 50.0);
  QCOMPARE(rig.Channel(1)->Stat().StatCount, withRange ? 4 : 1);
  QTRY_COMPARE(rig.Sink.Count(AppMsg::CurrTable, 1, -1), 2);
}

void TstCurrChartThr::chartSources()
{
  const double now = NowDayCount();
  TStored stored;
  stored.Measures = {
      {1, true, now - 10 * kMinute, 20, 0},
      {2, true, now - 10 * kMinute, 30, kStatusAboveMax},
      {1, true, now - 5 * kMinute, 0, kStatusGap},
      {1, true, now - 2 * 86400 * kMinute, 99, 0},  // before the window
  };
  TRig rig(stored);
  QVERIFY(rig.Started());
  // No source yet: an empty chart.
  QTRY_COMPARE(rig.Rec->Charts.size(), 1);
  QVERIFY(rig.Rec->Charts[0].Reset);
  QVERIFY(rig.Rec->Charts[0].Series.isEmpty());

  // The kind in use (group) with another group: only stored. The errors
  // request of the same pass proves the chart was not asked for.
  rig.Thr->SetNextGroup(1);
  rig.Thr->SelectSource(0);
  rig.Thr->RequestErrors();
  QTRY_COMPARE(rig.Rec->ErrorResets, 1);
  QCOMPARE(rig.Rec->Charts.size(), 1);

  // The page asks for the rebuild itself: group 1 with its history.
  rig.Thr->RequestRescale();
  rig.Thr->SetHighlight(2);
  rig.Thr->RequestChart();
  QTRY_COMPARE(rig.Sink.Progress(0x13), 1);
  QTRY_COMPARE(rig.Rec->Resets(), 2);
  const TChartUpdate group = rig.Rec->LastReset();
  QVERIFY(group.Rescale);
  QCOMPARE(group.Series.size(), 3);
  QCOMPARE(group.Series[1].Key, 1);
  QCOMPARE(group.Series[2].Key, 2);
  QCOMPARE(group.Points.value(1).size(), 2);
  QVERIFY(group.Points[1][1].Gap);
  QCOMPARE(group.Points.value(2).size(), 1);
  QVERIFY(group.Points[2][0].Red);
  QCOMPARE(group.Markers, QVector<double>{now - 5 * kMinute});
  QVERIFY(group.HasValueAxis);
  QVERIFY(qAbs(group.ValueAxis.Lower - 19.7) < 1e-9);
  QVERIFY(qAbs(group.ValueAxis.Upper - 30.3) < 1e-9);
  QVERIFY(group.HasTimeRange);
  QVERIFY(qAbs(group.TimeTo - group.TimeFrom - 3600 / 86400.0) < 1e-9);
  QVERIFY(group.HasHighlight);
  QCOMPARE(group.Highlight, 2);
  QCOMPARE(rig.Sink.Progress(0x12), 2);

  // Another kind rebuilds at once.
  rig.Thr->SetNextChannel(32);
  rig.Thr->SelectSource(1);
  QTRY_COMPARE(rig.Rec->Resets(), 3);
  const TChartUpdate channel = rig.Rec->LastReset();
  QCOMPARE(channel.Series.size(), 2);
  QCOMPARE(channel.Series[1].Key, 32);
  // No stored value: the axis of an empty chart.
  QCOMPARE(channel.ValueAxis.Lower, 0.0);
  QCOMPARE(channel.ValueAxis.Upper, 1.0);
  QCOMPARE(channel.ValueAxis.Increment, 0.2);
  QCOMPARE(channel.ValueAxis.Format, QStringLiteral("###0.0"));

  // A channel that does not exist: empty chart, "no source".
  rig.Thr->SetNextChannel(4242);
  rig.Thr->RequestChart();
  QTRY_COMPARE(rig.Sink.Progress(0x11), 2);
  QTRY_COMPARE(rig.Rec->Resets(), 4);
  QVERIFY(rig.Rec->LastReset().Series.isEmpty());
}

void TstCurrChartThr::liveChart()
{
  TRig rig;
  QVERIFY(rig.Started());
  rig.Thr->SetChartPeriod(600);
  rig.Thr->SetNextChannel(32);
  rig.Thr->SelectSource(1);
  QTRY_COMPARE(rig.Rec->Resets(), 2);
  const int before = static_cast<int>(rig.Rec->Charts.size());

  const double t0 = NowDayCount();
  rig.Feed(32, t0, 4, 0);
  rig.Feed(1, t0, 4, 0);  // not on the chart
  rig.Feed(32, t0 + kMinute, 5, -5);
  QTRY_VERIFY(rig.Rec->Charts.size() > before &&
              rig.Rec->Charts.constLast().TimeTo == t0 + kMinute);

  QVector<TChartPoint> points;
  for (int i = before; i < rig.Rec->Charts.size(); ++i) {
    const TChartUpdate& u = rig.Rec->Charts[i];
    QVERIFY(!u.Reset);
    QVERIFY(u.Markers.isEmpty());
    QVERIFY(u.HasValueAxis);
    QCOMPARE(u.TrimBefore, u.TimeTo - 600 / 86400.0);
    QCOMPARE(u.TimeFrom, u.TimeTo - 600 / 86400.0);
    points += u.Points.value(1);
  }
  QCOMPARE(points.size(), 2);
  QCOMPARE(points[0].Value, 4.0);
  QVERIFY(points[1].Gap);
}

QTEST_GUILESS_MAIN(TstCurrChartThr)
#include "tst_currChartThr.moc"
