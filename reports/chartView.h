#pragma once

// The plot of a measurement chart. The generator (TChartGen) runs on a worker
// and only builds TChartUpdate values; this widget owns the plot and applies
// them on the GUI thread. The plot library stays out of this header: its
// header is slow to compile, so only chartView.cpp includes it.
//
// Thread contract: UI thread.

#include "reports/chartGen.h"

#include <QWidget>

#include <memory>

class QCustomPlot;

// Date-time double (days since 1899-12-30, local wall-clock) as a plot key:
// seconds since 1970 read as UTC, so the labels show the stored wall-clock
// time without any daylight-saving shift.
double ChartKey(double time);
// Digits after the '.' of an axis format ("###0.00" → 2, "###0" → 0).
int FormatPrecision(const QString& format);
// The value axis after a zoom: the rounded range, increment and format of the
// visible range. A degenerate range (0..0, -1..1) falls back to -1..1 with one
// decimal so an empty or flat chart still gets a readable axis.
TAxisScale ZoomScale(double max, double min);

class TChartView : public QWidget {
  Q_OBJECT
 public:
  explicit TChartView(QWidget* parent = nullptr);
  ~TChartView() override;

  void ApplyUpdate(const TChartUpdate& update);
  void SetLegendVisible(bool visible);

  // Channel series (the marker series excluded).
  int SeriesCount() const;
  bool HasSeries() const { return SeriesCount() > 0; }

  // The operator changed the visible value range (wheel, rectangle): round
  // it, and keep the live updates from moving the axes until undone.
  void Zoomed();
  // Back to the ranges the updates asked for.
  void UndoZoom();
  bool IsZoomed() const;

  // For the page and the tests.
  QCustomPlot* Plot() const;
  // Per channel series: line points (gaps as NaN) and red points.
  int LinePointCount(int series) const;
  int RedPointCount(int series) const;
  int MarkerCount() const;
  int PenWidth(int series) const;
  // Value axis as shown: range, tick step and the format's decimals.
  double ValueLower() const;
  double ValueUpper() const;
  double ValueStep() const;
  int ValuePrecision() const;
  double TimeLower() const;  // plot keys (ChartKey)
  double TimeUpper() const;
  QColor SeriesColor(int series) const;
  QString SeriesName(int series) const;
  bool SeriesInLegend(int series) const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> d;
};
