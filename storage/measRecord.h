#pragma once

// Records that travel from the acquisition side to the measurement database
// writer, the bounded queue the current-values side uses, and the naming and
// schema of the monthly measurement databases shared by writer and reader.

#include <QMutex>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

// A measurement to store.
struct TMeasureDB {
  double Time = 0;
  qint32 LogId = 0;
  double Value = 0;
  qint32 ErrCode = 0;
  qint32 Source = 0;  // 0 live, 1 data logger
  qint32 MeasId = 0;
};

// An error that began.
struct TErr {
  double BeginDate = 0;
  qint32 LogId = 0;
  qint32 ErrId = 0;
  qint32 ErrCode = 0;
  QString Descr;
};

// An error that ended.
struct TErrUpdate {
  double BeginDate = 0;
  double EndDate = 0;
  qint32 LogId = 0;
  qint32 ErrCode = 0;
};

// Bounded FIFO with its own mutex. A push is refused while the queue holds
// more than Capacity items, so it never holds more than Capacity + 1; the
// refused item stays with the caller. Thread contract: any thread.
template <typename T>
class TsafeQueue {
 public:
  explicit TsafeQueue(int capacity = 500) : Capacity(capacity) {}

  const int Capacity;

  // Taken by reference so a refused item is left untouched with the caller.
  bool Push(const T& item) { return Push(T(item)); }
  bool Push(T&& item)
  {
    QMutexLocker lock(&m_mutex);
    if (static_cast<int>(m_items.size()) > Capacity)
      return false;
    m_items.push_back(std::move(item));
    return true;
  }

  std::optional<T> Pop()
  {
    QMutexLocker lock(&m_mutex);
    if (m_items.empty())
      return std::nullopt;
    T item = std::move(m_items.front());
    m_items.pop_front();
    return item;
  }

  void Clear()
  {
    QMutexLocker lock(&m_mutex);
    m_items.clear();
  }

  int Count() const
  {
    QMutexLocker lock(&m_mutex);
    return static_cast<int>(m_items.size());
  }

 private:
  mutable QMutex m_mutex;
  std::deque<T> m_items;
};

using TMeasQueue = TsafeQueue<TMeasureDB>;
using TErrorQueue = TsafeQueue<TErr>;

// ---- month files ----

// "<basesDir><yyyy>-<MM>.mdb" (the names the installation has always used,
// although the files are SQLite databases).
QString MonthFileName(const QString& basesDir, int year, int month);
// The file of the month that contains the date-time t.
QString MonthFileNameFor(const QString& basesDir, double t);
// First instant of t's month, and of the month after it.
double MonthStart(double t);
double NextMonth(double t);
// t moved by whole calendar months (day clamped to the month's length).
double AddMonths(double t, int months);

// The schema of a month file. Every statement is idempotent, so it is run on
// every open as well and completes a file that an earlier run left half made.
QStringList MeasureSchema();

// Stored values are (v + 10) * 2; these convert both ways.
inline double ToStoredValue(double value) { return (value + 10.0) * 2.0; }
inline double FromStoredValue(double stored) { return stored / 2.0 - 10.0; }

// Flag words measurements are read as (status words of series and tables).
inline constexpr quint32 kFlagNoValue = 0x80000000u;
inline constexpr quint32 kFlagGap = 0x88000000u;
inline constexpr quint32 kFlagDiscontinuity = 0x08000000u;
inline constexpr quint32 kFlagBelowMin = 0x10000000u;
inline constexpr quint32 kFlagAboveMax = 0x20000000u;

// Stored error code (and the state index it came from) to the code readers see.
qint32 TranslateStoredError(qint32 stored, qint32 idChannel);
