#pragma once

// Values of a simulated installation. Every value is a pure function of the
// seed, the channel and the measuring period the time falls in, so the
// history written at start-up, the live values and a second run over the same
// data folder all tell the same story, and a test can predict any value.
//
// A channel's signal: a level inside its limits, a daily cycle, a drift over
// a few days and a little noise, rounded to the channel's decimals. Now and
// then the device reports an error for a few periods (one of its type's
// error codes), misses a single answer (-1), or the signal runs past a limit
// for a few periods.

#include <QVector>
#include <QtGlobal>

struct TGenChannel {
  qint32 LogId = 0;
  double Min = 0;
  double Max = 0;
  qint32 PointValue = 1;         // decimal divisor of the channel (10 = one decimal)
  QVector<qint32> DeviceErrors;  // positive codes the channel's type defines
};

class TInUnitV4;

// The simulation's view of an input channel: its limits, decimals and the
// device error codes of its type. Caller holds the configuration's read lock.
TGenChannel GenChannelOf(const TInUnitV4& channel);

struct TGenValue {
  double Value = 0;
  qint32 ErrCode = 0;  // as the device answers it: no limit check applied
};

// Thread contract: configured before use, then const and safe from any thread.
class TValueGenerator {
 public:
  TValueGenerator(quint64 seed, qint64 periodMs);

  // Periods per error window: an episode fits into one window.
  static constexpr qint64 kWindow = 8;

  void AddChannel(const TGenChannel& channel);
  int ChannelCount() const { return static_cast<int>(m_channels.size()); }
  const TGenChannel& Channel(int index) const { return m_channels.at(index).Def; }
  qint64 PeriodMs() const { return m_periodMs; }

  // The value of channel `index` at the date-time `time` (days since 1899-12-30).
  TGenValue ValueAt(int index, double time) const;
  // The number of the measuring period containing `time`.
  qint64 PeriodIndex(double time) const;

 private:
  struct TSignal {
    TGenChannel Def;
    double Low = 0, Span = 0;  // the range the signal lives in
    double Center = 0, DailyAmp = 0, DailyPhase = 0, DriftAmp = 0, DriftDays = 1, DriftPhase = 0;
    bool HasLimits = false;
  };

  quint64 Hash(qint32 logId, qint64 index, quint64 salt) const;

  quint64 m_seed;
  qint64 m_periodMs;
  QVector<TSignal> m_channels;
};
