#include "reports/chartView.h"

#include "app/translation.h"

#include <qcustomplot.h>

#include <QAction>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 as a date-time double
constexpr double kSecondsPerDay = 86400.0;
constexpr int kTimeTicks = 5;
constexpr int kRedDiscSize = 6;

void SetValueFormat(QCPAxis* axis, const TAxisScale& scale)
{
  axis->setNumberFormat(QStringLiteral("f"));
  axis->setNumberPrecision(FormatPrecision(scale.Format));
  auto ticker = qSharedPointerDynamicCast<QCPAxisTickerFixed>(axis->ticker());
  if (scale.Increment > 0 && ticker)
    ticker->setTickStep(scale.Increment);
}

// Drops points older than `key` but keeps the newest of them, so the line
// still enters the window from its left edge.
void TrimGraph(QCPGraph* graph, double key)
{
  const auto data = graph->data();
  if (data->isEmpty())
    return;
  const auto keep = data->findBegin(key, true);
  if (keep != data->constEnd())
    data->removeBefore(keep->key);
}

}  // namespace

double ChartKey(double time)
{
  return (time - kUnixEpochDays) * kSecondsPerDay;
}

int FormatPrecision(const QString& format)
{
  // Only '0' digits after the point are required; '#' ones are shown when
  // needed, and the patterns that have them ("###0.###") come with steps of
  // whole units, whose labels need no decimals at all.
  const qsizetype dot = format.indexOf(QLatin1Char('.'));
  return dot < 0 ? 0 : static_cast<int>(format.mid(dot + 1).count(QLatin1Char('0')));
}

TAxisScale ZoomScale(double max, double min)
{
  TAxisScale scale = AxisScale(max, min);
  const bool flat = scale.Lower == 0 && scale.Upper == 0;
  const bool unit = scale.Lower == -1 && scale.Upper == 1;
  if (flat || unit) {
    scale.Lower = -1;
    scale.Upper = 1;
    scale.Format = QStringLiteral("###0.0");
  }
  return scale;
}

struct TChartView::TImpl {
  struct TSeries {
    qint32 Key = -1;
    QCPGraph* Line = nullptr;
    QCPGraph* Red = nullptr;
  };

  QCustomPlot* Plot = nullptr;
  QVector<TSeries> Series;  // index 0: the marker series (no graph)
  QList<QCPItemStraightLine*> Markers;
  QVector<double> MarkerKeys;
  TAxisScale HomeValue;
  bool HasHomeValue = false;
  QCPRange HomeTime;
  bool HasHomeTime = false;
  bool Zoomed = false;
  // Range changes made here are not the operator's zoom.
  bool Applying = false;
  bool ZoomPending = false;

  void ApplyValueAxis(const TAxisScale& scale, bool withRange)
  {
    QCPAxis* axis = Plot->yAxis;
    SetValueFormat(axis, scale);
    if (withRange && scale.Upper >= scale.Lower)
      axis->setRange(scale.Lower, scale.Upper);
  }

  void Clear()
  {
    Plot->clearGraphs();
    Plot->clearItems();
    Series.clear();
    Markers.clear();
    MarkerKeys.clear();
  }

  void AddMarker(double key)
  {
    auto* line = new QCPItemStraightLine(Plot);
    line->setPen(QPen(Qt::black));
    line->point1->setType(QCPItemPosition::ptPlotCoords);
    line->point2->setType(QCPItemPosition::ptPlotCoords);
    line->point1->setCoords(key, 0);
    line->point2->setCoords(key, 1);
    Markers.append(line);
    MarkerKeys.append(key);
  }

  void CreateSeries(const QVector<TChartSeries>& series)
  {
    Series.resize(series.size());
    for (int i = 1; i < series.size(); ++i) {
      const TChartSeries& def = series.at(i);
      TSeries& s = Series[i];
      s.Key = def.Key;
      s.Line = Plot->addGraph();
      s.Line->setPen(QPen(ColorFromBGR(static_cast<qint32>(def.ColorBgr)), 1));
      s.Line->setName(def.Title);
      if (!def.InLegend)
        s.Line->removeFromLegend();
      s.Red = Plot->addGraph();
      s.Red->setLineStyle(QCPGraph::lsNone);
      s.Red->setScatterStyle(
          QCPScatterStyle(QCPScatterStyle::ssDisc, Qt::red, Qt::red, kRedDiscSize));
      s.Red->removeFromLegend();
    }
  }

  void AddPoints(const QVector<QVector<TChartPoint>>& points)
  {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int i = 1; i < points.size() && i < Series.size(); ++i) {
      const TSeries& s = Series.at(i);
      for (const TChartPoint& p : points.at(i)) {
        const double key = ChartKey(p.Time);
        // A NaN value is where the plot breaks the line.
        s.Line->addData(key, p.Gap ? nan : p.Value);
        if (p.Red && !p.Gap)
          s.Red->addData(key, p.Value);
      }
    }
  }

  void Trim(double key)
  {
    for (int i = 1; i < Series.size(); ++i) {
      TrimGraph(Series[i].Line, key);
      TrimGraph(Series[i].Red, key);
    }
    for (int i = MarkerKeys.size() - 1; i >= 0; --i) {
      if (MarkerKeys.at(i) < key) {
        Plot->removeItem(Markers.at(i));
        Markers.removeAt(i);
        MarkerKeys.removeAt(i);
      }
    }
  }

  void Highlight(qint32 key)
  {
    for (int i = 1; i < Series.size(); ++i) {
      QPen pen = Series[i].Line->pen();
      pen.setWidth(Series[i].Key == key && key != -1 ? 3 : 1);
      Series[i].Line->setPen(pen);
    }
  }
};

TChartView::TChartView(QWidget* parent) : QWidget(parent), d(std::make_unique<TImpl>())
{
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  d->Plot = new QCustomPlot(this);
  d->Plot->setObjectName(QStringLiteral("ChartPlot"));
  layout->addWidget(d->Plot);

  auto timeTicker = QSharedPointer<QCPAxisTickerDateTime>::create();
  timeTicker->setDateTimeSpec(Qt::UTC);
  timeTicker->setDateTimeFormat(QStringLiteral("yyyy-MM-dd\nhh:mm:ss"));
  // A fixed one-second step over a window of days would mean millions of
  // ticks; the tick count keeps the labels readable at any span.
  timeTicker->setTickCount(kTimeTicks);
  d->Plot->xAxis->setTicker(timeTicker);
  d->Plot->yAxis->setTicker(QSharedPointer<QCPAxisTickerFixed>::create());
  SetValueFormat(d->Plot->yAxis, TAxisScale());
  d->Plot->yAxis->setRange(0, 1);
  d->Plot->legend->setVisible(false);

  d->Plot->setInteractions(QCP::iRangeZoom);
  d->Plot->setSelectionRectMode(QCP::srmZoom);
  connect(d->Plot->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
    if (d->Applying || d->ZoomPending)
      return;
    // A wheel turn changes the range step by step: round once afterwards.
    d->ZoomPending = true;
    QTimer::singleShot(0, this, [this] {
      d->ZoomPending = false;
      Zoomed();
    });
  });

  auto* undo = new QAction(Tr("Undo zoom"), this);
  undo->setObjectName(QStringLiteral("UndoZoomAction"));
  connect(undo, &QAction::triggered, this, &TChartView::UndoZoom);
  d->Plot->addAction(undo);
  d->Plot->setContextMenuPolicy(Qt::ActionsContextMenu);
}

TChartView::~TChartView() = default;

QCustomPlot* TChartView::Plot() const
{
  return d->Plot;
}

void TChartView::SetLegendVisible(bool visible)
{
  d->Plot->legend->setVisible(visible);
  d->Plot->replot(QCustomPlot::rpQueuedReplot);
}

void TChartView::ApplyUpdate(const TChartUpdate& update)
{
  d->Applying = true;
  if (update.Reset) {
    d->Clear();
    d->CreateSeries(update.Series);
  }
  if (update.Reset || update.Rescale)
    d->Zoomed = false;
  d->AddPoints(update.Points);
  for (double time : update.Markers)
    d->AddMarker(ChartKey(time));
  // While the operator looks at a zoomed part, the updates only move the
  // ranges that undoing the zoom returns to.
  if (update.HasValueAxis) {
    d->HomeValue = update.ValueAxis;
    d->HasHomeValue = true;
    if (!d->Zoomed)
      d->ApplyValueAxis(update.ValueAxis, true);
  }
  if (update.HasTimeRange) {
    d->HomeTime = QCPRange(ChartKey(update.TimeFrom), ChartKey(update.TimeTo));
    d->HasHomeTime = true;
    if (!d->Zoomed)
      d->Plot->xAxis->setRange(d->HomeTime);
  }
  if (update.TrimBefore > 0)
    d->Trim(ChartKey(update.TrimBefore));
  if (update.HasHighlight)
    d->Highlight(update.Highlight);
  d->Applying = false;
  d->Plot->replot(QCustomPlot::rpQueuedReplot);
}

void TChartView::Zoomed()
{
  if (!HasSeries())
    return;
  d->Applying = true;
  const QCPRange range = d->Plot->yAxis->range();
  d->ApplyValueAxis(ZoomScale(range.upper, range.lower), true);
  d->Zoomed = true;
  d->Applying = false;
  d->Plot->replot(QCustomPlot::rpQueuedReplot);
}

void TChartView::UndoZoom()
{
  if (!HasSeries())
    return;
  d->Applying = true;
  if (d->HasHomeTime)
    d->Plot->xAxis->setRange(d->HomeTime);
  if (d->HasHomeValue)
    d->ApplyValueAxis(d->HomeValue, true);
  // Format and step follow the restored range; the range itself stays.
  const QCPRange range = d->Plot->yAxis->range();
  d->ApplyValueAxis(ZoomScale(range.upper, range.lower), false);
  d->Zoomed = false;
  d->Applying = false;
  d->Plot->replot(QCustomPlot::rpQueuedReplot);
}

bool TChartView::IsZoomed() const
{
  return d->Zoomed;
}

int TChartView::SeriesCount() const
{
  return std::max(0, static_cast<int>(d->Series.size()) - 1);
}

int TChartView::LinePointCount(int series) const
{
  return series >= 1 && series < d->Series.size() ? d->Series[series].Line->dataCount() : 0;
}

int TChartView::RedPointCount(int series) const
{
  return series >= 1 && series < d->Series.size() ? d->Series[series].Red->dataCount() : 0;
}

int TChartView::MarkerCount() const
{
  return static_cast<int>(d->Markers.size());
}

int TChartView::PenWidth(int series) const
{
  return series >= 1 && series < d->Series.size() ? d->Series[series].Line->pen().width() : 0;
}

QColor TChartView::SeriesColor(int series) const
{
  return series >= 1 && series < d->Series.size() ? d->Series[series].Line->pen().color()
                                                  : QColor();
}

QString TChartView::SeriesName(int series) const
{
  return series >= 1 && series < d->Series.size() ? d->Series[series].Line->name() : QString();
}

bool TChartView::SeriesInLegend(int series) const
{
  if (series < 1 || series >= d->Series.size())
    return false;
  return d->Plot->legend->hasItemWithPlottable(d->Series[series].Line);
}

double TChartView::ValueLower() const
{
  return d->Plot->yAxis->range().lower;
}
double TChartView::ValueUpper() const
{
  return d->Plot->yAxis->range().upper;
}

double TChartView::ValueStep() const
{
  const auto ticker = qSharedPointerDynamicCast<QCPAxisTickerFixed>(d->Plot->yAxis->ticker());
  return ticker ? ticker->tickStep() : 0;
}

int TChartView::ValuePrecision() const
{
  return d->Plot->yAxis->numberPrecision();
}
double TChartView::TimeLower() const
{
  return d->Plot->xAxis->range().lower;
}
double TChartView::TimeUpper() const
{
  return d->Plot->xAxis->range().upper;
}
