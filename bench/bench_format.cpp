// Every cell of the current-values table and every axis label goes through
// these helpers, so they are measured on the values the tables show.

#include "app/commonClass.h"
#include "app/textFormat.h"

#include <benchmark/benchmark.h>

#include <QLocale>
#include <QString>

namespace {

void BM_FormatFloatFixed(benchmark::State& state)
{
  const QString pattern = DecimalFormat(100);
  const QLocale locale = QLocale::c();
  double value = 123.455;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatFloat(pattern, value, locale));
    value += 0.01;
  }
}
BENCHMARK(BM_FormatFloatFixed);

void BM_FormatFloatOptional(benchmark::State& state)
{
  const QString pattern = QStringLiteral("###0.###");
  const QLocale locale = QLocale::c();
  double value = -0.0375;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FormatFloat(pattern, value, locale));
    value *= -1.0001;
  }
}
BENCHMARK(BM_FormatFloatOptional);

void BM_FormatDatabaseName(benchmark::State& state)
{
  const QString fmt = QStringLiteral("%s%.2d-%.2d.mdb");
  const QString folder = QStringLiteral("/var/lib/measure/M");
  for (auto _ : state)
    benchmark::DoNotOptimize(Format(fmt, {folder, 24, 7}));
}
BENCHMARK(BM_FormatDatabaseName);

void BM_FormatFixedPrecision(benchmark::State& state)
{
  const QString fmt = QStringLiteral("%.*f %s");
  const QString unit = QStringLiteral("degC");
  double value = 21.5;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Format(fmt, {3, value, unit}));
    value += 0.125;
  }
}
BENCHMARK(BM_FormatFixedPrecision);

void BM_AxisScale(benchmark::State& state)
{
  double max = 10.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(AxisScale(max, -max / 3));
    max = max * 1.37;
    if (max > 1e12)
      max = 0.001;
  }
}
BENCHMARK(BM_AxisScale);

}  // namespace
