#include "reports/chartGen.h"

#include "plantFixture.h"

#include <QtTest>

#include <thread>

namespace {

TChartItem Item(qint32 id, double value, qint32 status, bool hasValue = true)
{
  TChartItem item;
  item.Id = id;
  item.HasValue = hasValue;
  item.Value = value;
  item.Status = status;
  return item;
}

TStateValues State(double time, double value, qint32 errCode)
{
  TStateValues state;
  state.Time = time;
  state.Value = value;
  state.ErrCode = errCode;
  return state;
}

// A generator with series for the given channels, its set-up update taken.
void Prepare(TChartGen& gen, const QVector<TInUnitV4*>& channels)
{
  gen.Clear();
  gen.SetupAxes();
  gen.CreateSeries(channels);
  gen.TakeUpdate();
}

}  // namespace

class TstChartGen : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void initTestCase();
  void palette_data();
  void palette();
  void createSeriesKeepsEmptySlots();
  void recordItem_data();
  void recordItem();
  void recordColumns();
  void valueAxis_data();
  void valueAxis();
  void statusFromErrCode_data();
  void statusFromErrCode();
  void queueRefusals();
  void liveValues();
  void queueFromAnotherThread();

 private:
  std::unique_ptr<TConfig> m_cfg;
  TInUnitV4* m_temp = nullptr;  // LogId 1, "Temp. zasilania [°C]"
  TInUnitV4* m_flow = nullptr;  // LogId 32
};

void TstChartGen::initTestCase()
{
  m_cfg = std::make_unique<TConfig>(true);
  m_temp = m_cfg->Params.Units().FindInUnit(1);
  m_flow = m_cfg->Params.Units().FindInUnit(32);
  QVERIFY(m_temp != nullptr && m_flow != nullptr);
}

void TstChartGen::palette_data()
{
  QTest::addColumn<int>("series");
  QTest::addColumn<quint32>("color");
  QTest::newRow("marker") << 0 << 0x000000u;
  QTest::newRow("first channel") << 1 << 0x008000u;
  QTest::newRow("second channel") << 2 << 0x02A8FEu;
  QTest::newRow("thirteenth channel") << 13 << 0xC0C0C0u;
  QTest::newRow("fourteenth wraps to the first colour") << 14 << 0x008000u;
  QTest::newRow("twenty-seventh") << 27 << 0x008000u;
  QTest::newRow("twenty-sixth") << 26 << 0xC0C0C0u;
}

void TstChartGen::palette()
{
  QFETCH(int, series);
  QTEST(TChartGen::PaletteColor(series), "color");
}

void TstChartGen::createSeriesKeepsEmptySlots()
{
  TChartGen gen;
  gen.Clear();
  gen.SetupAxes();
  gen.CreateSeries({m_temp, nullptr, m_flow});
  QCOMPARE(gen.SeriesKeys, (QVector<qint32>{1, -1, 32}));

  const TChartUpdate update = gen.TakeUpdate();
  QVERIFY(update.Reset);
  QCOMPARE(update.Series.size(), 4);
  QCOMPARE(update.Series[0].Key, -1);
  QVERIFY(!update.Series[0].InLegend);
  QCOMPARE(update.Series[0].ColorBgr, 0u);
  QCOMPARE(update.Series[1].Title, QStringLiteral("Temp. zasilania [°C]"));
  QVERIFY(update.Series[1].InLegend);
  QVERIFY(!update.Series[2].InLegend);
  QCOMPARE(update.Series[2].Key, -1);
  // The empty slot keeps its colour, so the next channel's does not shift.
  QCOMPARE(update.Series[3].ColorBgr, TChartGen::PaletteColor(3));
  QCOMPARE(update.Series[3].Key, 32);

  // Taking the update resets it.
  QVERIFY(!gen.HasPendingUpdate());
  QVERIFY(!gen.TakeUpdate().Reset);
}

void TstChartGen::recordItem_data()
{
  // One channel column; points as letters: v value, r red value, g gap.
  QTest::addColumn<qint32>("status");
  QTest::addColumn<QString>("points");
  QTest::addColumn<bool>("marker");
  QTest::addColumn<int>("values");

  QTest::newRow("valid") << 0 << "v" << false << 1;
  QTest::newRow("above max: red, counted") << kStatusAboveMax << "r" << false << 1;
  QTest::newRow("below min: red, counted") << kStatusBelowMin << "r" << false << 1;
  QTest::newRow("device error word") << 0x1f << "g" << false << 0;
  // -1 carries every flag, the discontinuity mark included.
  QTest::newRow("whole -1") << -1 << "g" << true << 0;
  QTest::newRow("no value flag") << kStatusUnknownError << "g" << false << 0;
  QTest::newRow("gap row: gap and marker") << kStatusGap << "g" << true << 0;
  QTest::newRow("mark alone: gap then value") << kStatusDiscontinuity << "gv" << true << 1;
}

void TstChartGen::recordItem()
{
  QFETCH(qint32, status);
  QFETCH(QString, points);
  QFETCH(bool, marker);
  QFETCH(int, values);

  TChartGen gen;
  Prepare(gen, {m_temp});
  gen.AddRecord(100.5, {Item(1, 5.0, status)});
  const TChartUpdate update = gen.TakeUpdate();

  QString got;
  for (const TChartPoint& p : update.Points.value(1)) {
    QCOMPARE(p.Time, 100.5);
    got += p.Gap ? QLatin1Char('g') : p.Red ? QLatin1Char('r') : QLatin1Char('v');
    if (!p.Gap)
      QCOMPARE(p.Value, 5.0);
  }
  QCOMPARE(got, points);
  QCOMPARE(update.Markers, marker ? QVector<double>{100.5} : QVector<double>{});
  QCOMPARE(gen.ValueCount, values);
  QCOMPARE(gen.PointCount, 1);
  QCOMPARE(gen.LastTime, 100.5);
}

void TstChartGen::recordColumns()
{
  TChartGen gen;
  Prepare(gen, {m_temp, nullptr, m_flow});

  // Nothing with a value: no point, LastTime unchanged.
  gen.AddRecord(10.0, {Item(1, 1, 0, false), Item(-1, 1, 0, false), Item(32, 1, 0, false)});
  QCOMPARE(gen.LastTime, 0.0);
  QCOMPARE(gen.PointCount, 0);

  // The -1 column sets LastTime (first with a value) but adds no point; the
  // others land in their own series.
  gen.AddRecord(11.0, {Item(1, 1, 0, false), Item(-1, 7, 0), Item(32, 3, 0)});
  gen.AddRecord(12.0, {Item(1, 2, 0), Item(-1, 7, 0), Item(32, 4, kStatusGap)});
  QCOMPARE(gen.LastTime, 12.0);
  QCOMPARE(gen.PointCount, 3);
  QCOMPARE(gen.ValueCount, 2);
  QCOMPARE(gen.MinValue, 2.0);
  QCOMPARE(gen.MaxValue, 3.0);

  const TChartUpdate update = gen.TakeUpdate();
  QCOMPARE(update.Points.value(1).size(), 1);
  QVERIFY(update.Points.value(2).isEmpty());
  QCOMPARE(update.Points.value(3).size(), 2);
  QCOMPARE(update.Points[3][0].Time, 11.0);
  QVERIFY(update.Points[3][1].Gap);
  QCOMPARE(update.Markers, QVector<double>{12.0});
}

void TstChartGen::valueAxis_data()
{
  QTest::addColumn<QVector<double>>("values");
  QTest::addColumn<qint32>("status");
  QTest::addColumn<double>("lower");
  QTest::addColumn<double>("upper");
  QTest::addColumn<double>("increment");
  QTest::addColumn<QString>("format");

  QTest::newRow("12..18") << QVector<double>{12, 18, 15} << 0 << 11.82 << 18.18 << 1.0 << "###0.0";
  QTest::newRow("no point") << QVector<double>{} << 0 << 0.0 << 1.0 << 0.2 << "###0.0";
  // Gaps and errors must not let the sentinels reach the axis.
  QTest::newRow("only errors") << QVector<double>{3, 4} << -1 << 0.0 << 1.0 << 0.2 << "###0.0";
  QTest::newRow("one red value") << QVector<double>{5} << kStatusAboveMax << 4.5 << 5.5 << 0.2
                                 << "###0.0";
}

void TstChartGen::valueAxis()
{
  QFETCH(QVector<double>, values);
  QFETCH(qint32, status);
  QFETCH(double, lower);
  QFETCH(double, upper);
  QFETCH(double, increment);

  TChartGen gen;
  Prepare(gen, {m_temp});
  double t = 1;
  for (double v : values)
    gen.AddRecord(t++, {Item(1, v, status)});
  gen.Finish();
  const TChartUpdate update = gen.TakeUpdate();
  QVERIFY(update.HasValueAxis);
  QVERIFY(qAbs(update.ValueAxis.Lower - lower) < 1e-9);
  QVERIFY(qAbs(update.ValueAxis.Upper - upper) < 1e-9);
  QVERIFY(qAbs(update.ValueAxis.Increment - increment) < 1e-9);
  QTEST(update.ValueAxis.Format, "format");
}

void TstChartGen::statusFromErrCode_data()
{
  QTest::addColumn<qint32>("code");
  QTest::addColumn<int>("state");
  QTest::addColumn<qint32>("status");
  QTest::newRow("valid") << 0 << 0 << 0;
  QTest::newRow("255 live stays") << 255 << 0 << 255;
  QTest::newRow("255 logger: no value") << 255 << 1 << kStatusUnknownError;
  QTest::newRow("no answer") << -1 << 0 << kStatusUnknownError;
  QTest::newRow("gap row") << -5 << 0 << kStatusGap;
  QTest::newRow("above max") << -4 << 0 << kStatusAboveMax;
  QTest::newRow("below min") << -3 << 0 << kStatusBelowMin;
  QTest::newRow("communication error stays") << -2 << 0 << -2;
  QTest::newRow("device word stays") << 0x1f << 1 << 0x1f;
}

void TstChartGen::statusFromErrCode()
{
  QFETCH(qint32, code);
  QFETCH(int, state);
  QTEST(StatusFromErrCode(code, state), "status");
}

void TstChartGen::queueRefusals()
{
  const double minute = 1.0 / 1440.0;
  TChartGen gen;
  // No series yet: every key is unknown.
  QCOMPARE(gen.QueueValue(1, State(100, 1, 0), 0), -1);
  Prepare(gen, {m_temp, m_flow});

  QCOMPARE(gen.QueueValue(99, State(100, 1, 0), 0), -1);
  QCOMPARE(gen.QueueValue(-1, State(100, 1, 0), 0), -1);
  QCOMPARE(gen.QueueValue(1, State(100, 1, 0), 0), 0);
  // Same time from another channel: accepted; one second older: refused.
  QCOMPARE(gen.QueueValue(32, State(100, 2, 0), 0), 0);
  QCOMPARE(gen.QueueValue(32, State(100 - 1.0 / 86400.0, 2, 0), 0), -1);
  QCOMPARE(gen.QueueValue(1, State(100 - 4 * minute, 2, 0), 0), -1);
  // More than five minutes back: the clock was set back; the rule restarts.
  QCOMPARE(gen.QueueValue(1, State(100 - 6 * minute, 3, 0), 0), 0);
  QCOMPARE(gen.QueueValue(32, State(100 - 6.5 * minute, 3, 0), 0), -1);
  QCOMPARE(gen.QueueValue(32, State(100 - 5.5 * minute, 4, 0), 0), 0);
  QCOMPARE(gen.DrainQueue(), 0);
  QCOMPARE(gen.PointCount, 4);
  QCOMPARE(gen.DrainQueue(), -1);

  // A rebuild drops what waited for the old series.
  QCOMPARE(gen.QueueValue(1, State(200, 1, 0), 0), 0);
  Prepare(gen, {m_flow});
  QCOMPARE(gen.DrainQueue(), -1);
  QCOMPARE(gen.QueueValue(1, State(201, 1, 0), 0), -1);
}

void TstChartGen::liveValues()
{
  TChartGen gen;
  Prepare(gen, {m_temp, m_flow});
  QCOMPARE(gen.QueueValue(32, State(10.0, 4, 0), 0), 0);
  QCOMPARE(gen.QueueValue(1, State(10.5, 0, -5), 0), 0);
  QCOMPARE(gen.QueueValue(1, State(11.0, 120, -4), 0), 0);
  QCOMPARE(gen.DrainQueue(), 0);
  QCOMPARE(gen.LastTime, 11.0);
  gen.DeleteOlderThan(0.25);
  gen.FollowTime(0.25);
  gen.ScaleValueAxis();
  gen.Highlight(32);

  const TChartUpdate update = gen.TakeUpdate();
  QVERIFY(!update.Reset);
  QCOMPARE(update.Points.value(2).size(), 1);
  const QVector<TChartPoint> temp = update.Points.value(1);
  QCOMPARE(temp.size(), 2);
  QVERIFY(temp[0].Gap);
  QCOMPARE(temp[0].Time, 10.5);
  QVERIFY(temp[1].Red);
  QCOMPARE(temp[1].Value, 120.0);
  // A live gap draws no marker line.
  QVERIFY(update.Markers.isEmpty());
  QCOMPARE(update.TrimBefore, 10.75);
  QVERIFY(update.HasTimeRange);
  QCOMPARE(update.TimeFrom, 10.75);
  QCOMPARE(update.TimeTo, 11.0);
  QVERIFY(update.HasValueAxis);
  QVERIFY(update.ValueAxis.Lower < 4 && update.ValueAxis.Upper > 120);
  QVERIFY(update.HasHighlight);
  QCOMPARE(update.Highlight, 32);
}

void TstChartGen::queueFromAnotherThread()
{
  // The receiving thread queues while the worker rebuilds and drains.
  TChartGen gen;
  Prepare(gen, {m_temp});
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (int i = 0; i < 2000; ++i)
      gen.QueueValue(1, State(1000 + i / 86400.0, i, 0), 0);
    done = true;
  });
  int rebuilds = 0;
  while (!done) {
    gen.DrainQueue();
    if (++rebuilds % 50 == 0)
      Prepare(gen, {m_temp});
  }
  producer.join();
  gen.DrainQueue();
  QVERIFY(gen.PointCount <= 2000);
}

QTEST_GUILESS_MAIN(TstChartGen)
#include "tst_chartGen.moc"
