#include "server/valueGen.h"

#include "model/DevUnitV4.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kMsPerDay = 86400000.0;

// splitmix64: cheap, well mixed, and the same on every platform, which a
// seeded simulation relies on (std:: distributions are not portable).
quint64 Mix(quint64 x)
{
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// [0, 1) from the top 53 bits.
double Unit(quint64 h)
{
  return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
}

qint64 FloorDiv(qint64 a, qint64 b)
{
  qint64 q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0)))
    --q;
  return q;
}

enum : quint64 {
  SaltShape = 1,
  SaltNoise = 2,
  SaltDeviceError = 3,
  SaltNoAnswer = 4,
  SaltExcursion = 5,
};

// Chances per channel: a device error episode per window, a missed answer
// per period, a limit excursion per window. At a 5 s period a channel shows
// a few of each per day, enough to be seen without drowning the signal.
constexpr double kDeviceErrorChance = 0.003;
constexpr double kNoAnswerChance = 0.0015;
constexpr double kExcursionChance = 0.004;

}  // namespace

TValueGenerator::TValueGenerator(quint64 seed, qint64 periodMs)
    : m_seed(seed), m_periodMs(periodMs > 0 ? periodMs : 1)
{
}

quint64 TValueGenerator::Hash(qint32 logId, qint64 index, quint64 salt) const
{
  return Mix(Mix(Mix(m_seed ^ (salt << 56)) ^ static_cast<quint32>(logId)) ^
             static_cast<quint64>(index));
}

void TValueGenerator::AddChannel(const TGenChannel& channel)
{
  TSignal s;
  s.Def = channel;
  s.HasLimits = channel.Max > channel.Min;
  // A channel without usable limits still gets a plausible signal.
  s.Low = s.HasLimits ? channel.Min : 0.0;
  s.Span = s.HasLimits ? channel.Max - channel.Min : 100.0;
  const auto u = [&](qint64 k) { return Unit(Hash(channel.LogId, k, SaltShape)); };
  s.Center = s.Low + s.Span * (0.35 + 0.3 * u(0));
  s.DailyAmp = s.Span * (0.04 + 0.12 * u(1));
  s.DailyPhase = u(2);
  s.DriftAmp = s.Span * (0.03 + 0.07 * u(3));
  s.DriftDays = 2.0 + 5.0 * u(4);
  s.DriftPhase = u(5);
  m_channels.push_back(s);
}

qint64 TValueGenerator::PeriodIndex(double time) const
{
  return FloorDiv(std::llround(time * kMsPerDay), m_periodMs);
}

TGenValue TValueGenerator::ValueAt(int index, double time) const
{
  const TSignal& s = m_channels.at(index);
  const qint32 id = s.Def.LogId;
  const qint64 period = PeriodIndex(time);
  const qint64 window = FloorDiv(period, kWindow);
  const qint64 inWindow = period - window * kWindow;

  // An episode of 2..6 periods somewhere inside its window.
  const auto inEpisode = [&](quint64 h) {
    const qint64 length = 2 + static_cast<qint64>((h >> 8) % 5);
    const qint64 start =
        static_cast<qint64>((h >> 16) % static_cast<quint64>(kWindow - length + 1));
    return inWindow >= start && inWindow < start + length;
  };

  const quint64 hError = Hash(id, window, SaltDeviceError);
  if (Unit(hError) < kDeviceErrorChance && inEpisode(Mix(hError))) {
    const QVector<qint32>& codes = s.Def.DeviceErrors;
    const qint32 code =
        codes.isEmpty() ? 1 : codes.at(static_cast<int>((hError >> 24) % codes.size()));
    return {0.0, code};
  }
  if (Unit(Hash(id, period, SaltNoAnswer)) < kNoAnswerChance)
    return {0.0, -1};

  constexpr double kTwoPi = 2.0 * std::numbers::pi;
  const double dayFraction = time - std::floor(time);
  double v = s.Center + s.DailyAmp * std::sin(kTwoPi * (dayFraction - s.DailyPhase)) +
             s.DriftAmp * std::sin(kTwoPi * (time / s.DriftDays + s.DriftPhase)) +
             s.Span * 0.01 * (2.0 * Unit(Hash(id, period, SaltNoise)) - 1.0);
  v = std::clamp(v, s.Low + 0.02 * s.Span, s.Low + 0.98 * s.Span);

  const quint64 hExcursion = Hash(id, window, SaltExcursion);
  if (s.HasLimits && Unit(hExcursion) < kExcursionChance && inEpisode(Mix(hExcursion))) {
    const double beyond = s.Span * (0.03 + 0.1 * Unit(Mix(hExcursion ^ 0x5A5A)));
    v = (hExcursion & 1) != 0 ? s.Def.Max + beyond : s.Def.Min - beyond;
  }
  if (s.Def.PointValue > 1)
    v = std::round(v * s.Def.PointValue) / s.Def.PointValue;
  return {v, 0};
}

TGenChannel GenChannelOf(const TInUnitV4& channel)
{
  TGenChannel def;
  def.LogId = channel.LogId;
  def.Min = channel.Min;
  def.Max = channel.Max;
  def.PointValue = channel.PointValue;
  if (channel.Unit != nullptr && channel.Unit->UnitType != nullptr) {
    // Positive codes only: the negative ones and 255 are the program's own
    // (limits, no answer, no value), not words a device reports.
    for (const auto& e : channel.Unit->UnitType->Errors()) {
      if (e->ErrCode > 0 && e->ErrCode != ErrCodeNoValue && !def.DeviceErrors.contains(e->ErrCode))
        def.DeviceErrors.push_back(e->ErrCode);
    }
  }
  return def;
}
