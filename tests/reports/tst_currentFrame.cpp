// The current-measurement page: its models' texts and colours, the chart
// view applying generator updates, progress codes, the error call and the
// chart source rules, with a recording stand-in for the service.

#include "app/dateTimeDouble.h"
#include "config/groupTreeFr.h"
#include "config/inUnitListViewFr.h"
#include "plantFixture.h"
#include "reports/chartView.h"
#include "reports/currentFrame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QtTest>

#include <cmath>
#include <thread>

namespace {

// The service's signals and requests; every request is recorded.
class TFakeService : public QObject, public ICurrRequests {
  Q_OBJECT
 public:
  QStringList Calls;
  void RequestTable() override { Calls << "table"; }
  void RequestChart() override { Calls << "chart"; }
  void RequestRescale() override { Calls << "rescale"; }
  void RequestErrors() override { Calls << "errors"; }
  void SetTableRange(double, double) override { Calls << "tableRange"; }
  void SetErrorRange(double, double) override { Calls << "errorRange"; }
  void SetNextGroup(qint32 id) override { Calls << QStringLiteral("group:%1").arg(id); }
  void SetNextChannel(qint32 id) override { Calls << QStringLiteral("channel:%1").arg(id); }
  void SelectSource(int kind) override { Calls << QStringLiteral("source:%1").arg(kind); }
  void SetHighlight(qint32 id) override { Calls << QStringLiteral("highlight:%1").arg(id); }
  void SetChartPeriod(qint32 s) override { Calls << QStringLiteral("period:%1").arg(s); }

 Q_SIGNALS:
  void tableReset(const QVector<TCurrRow>& rows);
  void rowsChanged(const QVector<TCurrRow>& rows);
  void errorsReset(const QVector<TErrorRow>& rows);
  void errorOpened(const TErrorRow& row);
  void errorClosed(int rowIndex, double endTime);
  void chartUpdated(const TChartUpdate& update);
  void latestTimeChanged(double time);
};

TCurrRow Row(qint32 logId, double value, qint32 errCode, qint32 statCount, qint32 decimals = 1)
{
  TCurrRow row;
  row.LogId = logId;
  row.Name = QStringLiteral("Temp %1").arg(logId);
  row.PhUnit = QStringLiteral("°C");
  row.Decimals = decimals;
  row.Value = value;
  row.ErrCode = errCode;
  row.StatCount = statCount;
  row.Avg = 20.25;
  row.AvgMark = 0;
  row.MaxValue = 30;
  row.MinValue = -5.5;
  return row;
}

QString Texts(const TCurrRow& row)
{
  QStringList texts;
  for (int c = 0; c < TCurrTableModel::ColumnCount; ++c)
    texts << TCurrTableModel::CellText(row, c);
  return texts.join(QLatin1Char('|'));
}

double Day(int hour, int minute, int second)
{
  return DateTimeToDouble(QDate(2024, 3, 5), QTime(hour, minute, second));
}

TChartPoint Point(double time, double value, bool gap = false, bool red = false)
{
  return {time, value, gap, red};
}

// Marker series plus two channels, the second an empty slot.
TChartUpdate ResetUpdate()
{
  TChartUpdate update;
  update.Reset = true;
  update.Series = {{-1, QString(), 0x000000, false},
                   {7, QStringLiteral("Temp [°C]"), 0x008000, true},
                   {-1, QString(), 0x02A8FE, false}};
  update.Points = {{},
                   {Point(Day(10, 0, 0), 12), Point(Day(10, 0, 1), 0, true),
                    Point(Day(10, 0, 2), 31, false, true), Point(Day(10, 0, 3), 14)}};
  update.Markers = {Day(10, 0, 1)};
  update.HasValueAxis = true;
  update.ValueAxis = {11.5, 32.0, 2.0, QStringLiteral("###0.0")};
  update.HasTimeRange = true;
  update.TimeFrom = Day(9, 0, 0);
  update.TimeTo = Day(10, 0, 3);
  return update;
}

}  // namespace

class TstCurrentFrame : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void tableTexts_data();
  void tableTexts();
  void tableColours();
  void tableUpdatesByLogId();
  void errorList();
  void serviceSignalsAreQueued();
  void chartView();
  void chartTrimAndHighlight();
  void chartZoom();
  void progress_data();
  void progress();
  void showErrors();
  void periodBox_data();
  void periodBox();
  void sourceSelection();
};

void TstCurrentFrame::tableTexts_data()
{
  QTest::addColumn<TCurrRow>("row");
  QTest::addColumn<QString>("texts");
  QTest::addColumn<QString>("redColumns");
  const QString name = QStringLiteral("Temp 1|[°C]|");
  QTest::newRow("valid") << Row(1, 21.44, 0, 3) << name + "21.4|20.3|30.0|-5.5"
                         << "";
  QTest::newRow("no statistics yet") << Row(1, 21.44, -1, 0) << name + "---|---|---|---"
                                     << "2";
  QTest::newRow("above maximum is a red number")
      << Row(1, 99.96, -4, 3) << name + "100.0|20.3|30.0|-5.5"
      << "2";
  QTest::newRow("below minimum") << Row(1, -30, -3, 3) << name + "-30.0|20.3|30.0|-5.5"
                                 << "2";
  QTest::newRow("device error") << Row(1, 21.44, 31, 3) << name + "???|20.3|30.0|-5.5"
                                << "2";
  QTest::newRow("no answer") << Row(1, 21.44, -1, 3) << name + "???|20.3|30.0|-5.5"
                             << "2";
  QTest::newRow("not finite") << Row(1, std::nan(""), 0, 3) << name + "???|20.3|30.0|-5.5"
                              << "";
  QTest::newRow("negative decimals clamp to 0") << Row(1, 21.44, 0, 3, -2) << name + "21|20|30|-6"
                                                << "";
  QTest::newRow("huge decimals clamp to 9") << Row(1, 0.5, 0, 3, 40)
                                            << name +
                                                   "0.500000000|20.250000000|30.000000000|"
                                                   "-5.500000000"
                                            << "";
  TCurrRow marks = Row(1, 21.44, 0, 3);
  marks.AvgMark = -1;
  marks.MaxMark = 1;
  marks.MinMark = 1;
  QTest::newRow("statistic marks") << marks << name + "21.4|20.3|30.0|-5.5"
                                   << "3,4,5";
}

void TstCurrentFrame::tableTexts()
{
  QFETCH(TCurrRow, row);
  QFETCH(QString, texts);
  QFETCH(QString, redColumns);
  QLocale::setDefault(QLocale::c());
  QCOMPARE(Texts(row), texts);

  TCurrTableModel model;
  model.applyReset({row});
  QStringList red;
  for (int c = 0; c < TCurrTableModel::ColumnCount; ++c) {
    const QVariant fg = model.data(model.index(0, c), Qt::ForegroundRole);
    if (fg.isValid()) {
      QCOMPARE(fg.value<QColor>(), QColor(Qt::red));
      red << QString::number(c);
    }
  }
  QCOMPARE(red.join(QLatin1Char(',')), redColumns);
}

void TstCurrentFrame::tableColours()
{
  TCurrTableModel model;
  model.applyReset({Row(1, 1, 0, 1)});
  const auto background = [&](int column) {
    return model.data(model.index(0, column), Qt::BackgroundRole);
  };
  QVERIFY(!background(0).isValid());
  QVERIFY(!background(1).isValid());
  QCOMPARE(background(2).value<QColor>(), QColor(0xF4, 0xFF, 0xF4));
  QCOMPARE(background(3).value<QColor>(), QColor(0xFF, 0xFF, 0xF4));
  QCOMPARE(background(4).value<QColor>(), QColor(0xFF, 0xF4, 0xF4));
  QCOMPARE(background(5).value<QColor>(), QColor(0xF4, 0xF4, 0xFF));
  QCOMPARE(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
           QStringLiteral("Curr. measurement"));

  // The program's decimal separator, not the C one.
  QLocale::setDefault(QLocale(QLocale::German));
  QCOMPARE(TCurrTableModel::CellText(Row(1, 2.5, 0, 1), 2), QStringLiteral("2,5"));
  QLocale::setDefault(QLocale::c());
}

void TstCurrentFrame::tableUpdatesByLogId()
{
  TCurrTableModel model;
  model.applyReset({Row(4, 1, 0, 1), Row(9, 2, 0, 1)});
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  TCurrRow update = Row(9, 7.5, -4, 2);
  // A row of a channel the table no longer has comes from before a rebuild.
  model.applyChanged({update, Row(77, 1, 0, 1)});
  QCOMPARE(changed.size(), 1);
  QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 1);
  QCOMPARE(model.rowCount(), 2);
  QCOMPARE(model.data(model.index(1, 2)).toString(), QStringLiteral("7.5"));
  QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("1.0"));
}

void TstCurrentFrame::errorList()
{
  TErrorListModel model;
  TErrorRow open;
  open.IsActive = true;
  open.LogId = 3;
  open.BeginTime = Day(8, 5, 9);
  open.ErrCode = 31;
  open.Device = QStringLiteral("Kocioł  [°C]");
  open.Description = QStringLiteral("Error [0x1f]");
  TErrorRow closed = open;
  closed.IsActive = false;
  closed.EndTime = Day(8, 6, 0);
  closed.Alarms = QStringLiteral("[Boiler], [Pump]");
  model.applyReset({closed});
  model.applyOpened(open);
  QCOMPARE(model.rowCount(), 2);

  const auto texts = [&](int row) {
    QStringList t;
    for (int c = 0; c < TErrorListModel::ColumnCount; ++c)
      t << model.data(model.index(row, c)).toString();
    return t.join(QLatin1Char('|'));
  };
  QCOMPARE(texts(0), QStringLiteral("2024-03-05 08:05:09|2024-03-05 08:06:00|Kocioł  [°C]|"
                                    "Error [0x1f]|[Boiler], [Pump]"));
  QCOMPARE(texts(1), QStringLiteral("2024-03-05 08:05:09||Kocioł  [°C]|Error [0x1f]|-"));
  QVERIFY(!model.data(model.index(0, 0), Qt::ForegroundRole).isValid());
  QCOMPARE(model.data(model.index(1, 3), Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));

  // A close from before a refresh may point past the list.
  model.applyClosed(5, Day(9, 0, 0));
  model.applyClosed(-1, Day(9, 0, 0));
  model.applyClosed(1, Day(9, 0, 0));
  QCOMPARE(model.data(model.index(1, 1)).toString(), QStringLiteral("2024-03-05 09:00:00"));
  QVERIFY(!model.data(model.index(1, 0), Qt::ForegroundRole).isValid());
}

void TstCurrentFrame::serviceSignalsAreQueued()
{
  TCurrentFrame frame;
  TFakeService service;
  frame.AttachService(&service, &service);
  // The service emits from its own thread.
  std::thread worker([&] {
    Q_EMIT service.tableReset({Row(1, 1, 0, 1), Row(2, 2, 0, 1)});
    Q_EMIT service.errorOpened(TErrorRow());
    Q_EMIT service.chartUpdated(ResetUpdate());
    Q_EMIT service.latestTimeChanged(Day(11, 12, 13));
  });
  worker.join();
  QCOMPARE(frame.TableModel->rowCount(), 0);
  QTRY_COMPARE(frame.TableModel->rowCount(), 2);
  QCOMPARE(frame.ErrorModel->rowCount(), 1);
  QCOMPARE(frame.CurrentChart->SeriesCount(), 2);
  QCOMPARE(frame.PrevEndTime->time(), QTime(11, 12, 13));
  QCOMPARE(frame.PrevEndTime3->time(), QTime(11, 12, 13));
  QCOMPARE(frame.PrevEndDate3->date(), QDate(2024, 3, 5));
  QVERIFY(!frame.PrevEndDate->isEnabled());

  // A replaced service no longer reaches the page.
  TFakeService next;
  frame.AttachService(&next, &next);
  Q_EMIT service.tableReset({});
  QCoreApplication::processEvents();
  QCOMPARE(frame.TableModel->rowCount(), 2);
  frame.RequestTable();
  QCOMPARE(next.Calls, QStringList{"table"});
  QVERIFY(service.Calls.isEmpty());
}

void TstCurrentFrame::chartView()
{
  QCOMPARE(ChartKey(25569.0), 0.0);
  QCOMPARE(ChartKey(25569.5), 43200.0);
  QCOMPARE(FormatPrecision(QStringLiteral("###0.00")), 2);
  QCOMPARE(FormatPrecision(QStringLiteral("###0.###")), 0);
  QCOMPARE(FormatPrecision(QStringLiteral("###0")), 0);

  TChartView view;
  view.ApplyUpdate(ResetUpdate());
  QCOMPARE(view.SeriesCount(), 2);
  QCOMPARE(view.SeriesName(1), QStringLiteral("Temp [°C]"));
  QVERIFY(view.SeriesInLegend(1));
  QVERIFY(!view.SeriesInLegend(2));
  QCOMPARE(view.SeriesColor(1), QColor(0x00, 0x80, 0x00));
  QCOMPARE(view.SeriesColor(2), QColor(0xFE, 0xA8, 0x02));
  // The gap is a point of its own; the red point is on both graphs.
  QCOMPARE(view.LinePointCount(1), 4);
  QCOMPARE(view.RedPointCount(1), 1);
  QCOMPARE(view.LinePointCount(2), 0);
  QCOMPARE(view.MarkerCount(), 1);
  QCOMPARE(view.ValueLower(), 11.5);
  QCOMPARE(view.ValueUpper(), 32.0);
  QCOMPARE(view.ValueStep(), 2.0);
  QCOMPARE(view.ValuePrecision(), 1);
  QCOMPARE(view.TimeLower(), ChartKey(Day(9, 0, 0)));
  QCOMPARE(view.TimeUpper(), ChartKey(Day(10, 0, 3)));

  // Appending keeps the graphs; a reset replaces them.
  TChartUpdate more;
  more.Points = {{}, {Point(Day(10, 0, 4), 15)}, {Point(Day(10, 0, 4), 1, false, true)}};
  view.ApplyUpdate(more);
  QCOMPARE(view.LinePointCount(1), 5);
  QCOMPARE(view.RedPointCount(2), 1);
  view.ApplyUpdate(ResetUpdate());
  QCOMPARE(view.LinePointCount(1), 4);
  QCOMPARE(view.LinePointCount(2), 0);
  QCOMPARE(view.MarkerCount(), 1);
}

void TstCurrentFrame::chartTrimAndHighlight()
{
  TChartView view;
  view.ApplyUpdate(ResetUpdate());
  TChartUpdate trim;
  trim.TrimBefore = Day(10, 0, 2) + 0.5 / 86400;
  trim.HasHighlight = true;
  trim.Highlight = 7;
  view.ApplyUpdate(trim);
  // One point older than the window stays, so the line enters from the edge.
  QCOMPARE(view.LinePointCount(1), 2);
  QCOMPARE(view.RedPointCount(1), 1);
  QCOMPARE(view.MarkerCount(), 0);
  QCOMPARE(view.PenWidth(1), 3);
  QCOMPARE(view.PenWidth(2), 1);
  trim = TChartUpdate();
  trim.HasHighlight = true;
  trim.Highlight = -1;
  view.ApplyUpdate(trim);
  QCOMPARE(view.PenWidth(1), 1);
}

void TstCurrentFrame::chartZoom()
{
  const TAxisScale normal = ZoomScale(18, 12);
  QCOMPARE(normal.Format, AxisScale(18, 12).Format);
  QCOMPARE(normal.Lower, AxisScale(18, 12).Lower);
  QCOMPARE(normal.Increment, AxisScale(18, 12).Increment);

  TChartView view;
  view.Zoomed();
  QVERIFY(!view.IsZoomed());  // nothing to zoom without series
  view.ApplyUpdate(ResetUpdate());
  view.Zoomed();
  QVERIFY(view.IsZoomed());
  const double zoomedLower = view.ValueLower();
  QCOMPARE(zoomedLower, AxisScale(32.0, 11.5).Lower);

  // While zoomed, live updates keep their hands off the axes...
  TChartUpdate live;
  live.HasValueAxis = true;
  live.ValueAxis = {0, 100, 10, QStringLiteral("###0.###")};
  live.HasTimeRange = true;
  live.TimeFrom = Day(9, 30, 0);
  live.TimeTo = Day(10, 30, 0);
  view.ApplyUpdate(live);
  QCOMPARE(view.ValueLower(), zoomedLower);
  QCOMPARE(view.TimeLower(), ChartKey(Day(9, 0, 0)));
  // ...until the zoom is undone.
  view.UndoZoom();
  QVERIFY(!view.IsZoomed());
  QCOMPARE(view.ValueLower(), 0.0);
  QCOMPARE(view.ValueUpper(), 100.0);
  QCOMPARE(view.TimeLower(), ChartKey(Day(9, 30, 0)));
  QCOMPARE(view.ValueStep(), AxisScale(100, 0).Increment);
}

void TstCurrentFrame::progress_data()
{
  QTest::addColumn<int>("code");
  QTest::addColumn<bool>("startShown");
  QTest::addColumn<QString>("shown");  // t table, c chart, e error list
  QTest::newRow("0x0000 hides chart and table") << 0x0000 << true << "e";
  QTest::newRow("0x0001") << 0x0001 << true << "ce";
  QTest::newRow("0x0002") << 0x0002 << true << "ce";
  QTest::newRow("0x0004") << 0x0004 << true << "ce";
  QTest::newRow("0x0003 shows the table") << 0x0003 << false << "t";
  QTest::newRow("0x0011") << 0x0011 << true << "te";
  QTest::newRow("0x0012") << 0x0012 << true << "te";
  QTest::newRow("0x0014") << 0x0014 << true << "te";
  QTest::newRow("0x0013 shows the chart") << 0x0013 << false << "c";
  QTest::newRow("0x0021") << 0x0021 << true << "tc";
  QTest::newRow("0x0022") << 0x0022 << true << "tc";
  QTest::newRow("0x0024") << 0x0024 << true << "tc";
  QTest::newRow("0x0023 shows the error list") << 0x0023 << false << "e";
  QTest::newRow("other codes: nothing") << 0x0005 << true << "tce";
}

void TstCurrentFrame::progress()
{
  QFETCH(int, code);
  QFETCH(bool, startShown);
  QFETCH(QString, shown);
  TCurrentFrame frame;
  const std::pair<QWidget*, char> views[] = {
      {frame.VST, 't'}, {frame.CurrentChart, 'c'}, {frame.errorVST, 'e'}};
  for (const auto& [view, letter] : views) {
    QVERIFY(view->isHidden());  // until the service shows it
    view->setVisible(startShown);
  }
  frame.OnProgress(code);
  QString now;
  for (const auto& [view, letter] : views) {
    if (!view->isHidden())
      now += QLatin1Char(letter);
  }
  QCOMPARE(now, shown);
}

void TstCurrentFrame::showErrors()
{
  TCurrentFrame frame;
  QCOMPARE(frame.CurrPageControl->currentIndex(), int(TCurrentFrame::PageTable));
  frame.DontShowErrorsCB->setChecked(true);
  frame.ShowErrors();
  QCOMPARE(frame.CurrPageControl->currentIndex(), int(TCurrentFrame::PageTable));
  frame.DontShowErrorsCB->setChecked(false);
  frame.ShowErrors();
  QCOMPARE(frame.CurrPageControl->currentIndex(), int(TCurrentFrame::PageDeviceInfo));
  QCOMPARE(frame.CurrPageControl->tabText(TCurrentFrame::PageDeviceInfo),
           QStringLiteral("Device Info"));
  // The buttons without a function in the terminal stay hidden.
  QVERIFY(frame.GenTable->isHidden());
  QVERIFY(frame.ConfirmAlarmBT->isHidden());
}

void TstCurrentFrame::periodBox_data()
{
  QTest::addColumn<int>("chartPeriod");
  QTest::addColumn<QString>("selected");
  QTest::newRow("exact") << 3600 << "1  h";
  QTest::newRow("between entries: the next longer") << 1000 << "30 min";
  QTest::newRow("beyond the list: the last") << 700000 << "7  d";
  QTest::newRow("shorter than all: the first") << 10 << "15 min";
}

void TstCurrentFrame::periodBox()
{
  QFETCH(int, chartPeriod);
  QFETCH(QString, selected);
  TConfig config;
  config.Params.Settings().ChartPeriod = chartPeriod;
  TCurrentFrame frame;
  TFakeService service;
  frame.AttachService(&service, &service);
  frame.SetParams(&config.Params);
  QCOMPARE(frame.periodCB->count(), 15);
  QCOMPARE(frame.periodCB->currentText(), selected);
  QVERIFY(service.Calls.isEmpty());  // filling the box is no choice

  // Only the first call counts.
  TConfig other;
  frame.SetParams(&other.Params);
  QCOMPARE(frame.Params(), &config.Params);

  // The choice is the live window for this session; settings stay.
  Q_EMIT frame.periodCB->activated(4);
  QCOMPARE(service.Calls, (QStringList{"period:7200", "rescale", "chart"}));
  QCOMPARE(config.Params.Settings().ChartPeriod, chartPeriod);
  // A service attached later gets the choice too.
  TFakeService later;
  frame.AttachService(&later, &later);
  QCOMPARE(later.Calls, QStringList{"period:7200"});
}

void TstCurrentFrame::sourceSelection()
{
  TConfig config(true);
  TCurrentFrame frame;
  TFakeService service;
  frame.SetParams(&config.Params);
  frame.RefreshGroups();
  frame.RefreshLists();
  frame.AttachService(&service, &service);
  QTreeWidget* tree = frame.groupTreeFr->TreeV;
  QVERIFY(tree->topLevelItemCount() >= 2);
  QTreeWidgetItem* first = tree->topLevelItem(0);
  QTreeWidgetItem* second = tree->topLevelItem(1);
  const int firstId = first->data(0, TgroupTreeFr::kIdRole).toInt();
  const int secondId = second->data(0, TgroupTreeFr::kIdRole).toInt();
  QVERIFY(first->childCount() > 0);
  const int memberId = first->child(0)->data(0, TgroupTreeFr::kIdRole).toInt();

  struct TStep {
    QTreeWidgetItem* node;
    QStringList calls;
  };
  const auto g = [](int id) { return QStringLiteral("group:%1").arg(id); };
  const auto h = [](int id) { return QStringLiteral("highlight:%1").arg(id); };
  const TStep steps[] = {
      // Another group: rebuilt with a fresh scale.
      {first, {g(firstId), "source:0", h(-1), "rescale", "chart"}},
      // A member of the shown group: only the emphasis moves.
      {first->child(0), {g(firstId), "source:0", h(memberId)}},
      {first, {g(firstId), "source:0", h(-1)}},
      {second, {g(secondId), "source:0", h(-1), "rescale", "chart"}},
  };
  for (const TStep& step : steps) {
    service.Calls.clear();
    tree->setCurrentItem(step.node);
    QCOMPARE(service.Calls, step.calls);
  }

  // The devices page chooses a channel.
  service.Calls.clear();
  frame.CurrentPageControl->setCurrentIndex(TCurrentFrame::SourceDevices);
  QCOMPARE(service.Calls, (QStringList{"channel:-1", "source:1"}));
  QCOMPARE(frame.SourcePage(), int(TCurrentFrame::SourceDevices));
  QListWidget* list = frame.inUnitListViewFr->ListV;
  QVERIFY(list->count() > 1);
  const int channel = list->item(1)->data(TinUnitListViewFr::kLogIdRole).toInt();
  service.Calls.clear();
  list->setCurrentRow(1);
  const QString c = QStringLiteral("channel:%1").arg(channel);
  QCOMPARE(service.Calls, (QStringList{c, "source:1", c, "rescale", "chart"}));

  // Back on the groups page the tree's group is the source again.
  service.Calls.clear();
  frame.CurrentPageControl->setCurrentIndex(TCurrentFrame::SourceGroups);
  QCOMPARE(service.Calls, (QStringList{g(secondId), "source:0"}));

  // A refill keeps the choice and asks nothing.
  service.Calls.clear();
  frame.RefreshGroups();
  frame.RefreshLists();
  QVERIFY(service.Calls.isEmpty());
  QCOMPARE(frame.groupTreeFr->SelGroupId(), secondId);
  QCOMPARE(frame.inUnitListViewFr->CurrentLogId(), channel);
}

QTEST_MAIN(TstCurrentFrame)
#include "tst_currentFrame.moc"
