#pragma once

// History for a fresh (or resumed) server: the generator's values of every
// channel at each period boundary of a past range, written straight into the
// month databases in large transactions. Boundaries that already have stored
// rows nearby (an earlier run, live values) are left alone, so starting
// twice over the same data folder never duplicates a period.

#include <QString>

#include <atomic>

class TValueGenerator;

struct THistoryStats {
  qint64 Times = 0;    // period boundaries written
  qint64 Rows = 0;     // measurements written
  qint64 Skipped = 0;  // boundaries that were already stored
};

// Boundaries t with from <= t < to. `basesDir` ends with a separator.
// False (with *error) when a month file could not be written; what was
// committed before stays. Thread contract: any thread; uses connections of its
// own, opened and closed in the calling thread.
bool FillHistory(const QString& basesDir, const TValueGenerator& generator, double from, double to,
                 THistoryStats* stats, QString* error, const std::atomic<bool>* stop = nullptr);
