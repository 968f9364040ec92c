#pragma once

// Series answers from the server's monthly measurement databases, read with
// the same reader the terminal uses, so stored error codes arrive as the
// status words reports expect (gap rows 0x88000000, limits 0x10000000 /
// 0x20000000, no answer 0x80000000).

#include "server/measServer.h"

#include <atomic>

class TMainDBParamsV4;

class TDbSeriesSource : public ISeriesSource {
 public:
  // A series file larger than this is cut after the last whole record: the
  // answer has to fit in memory twice (file and socket buffer).
  static constexpr qint64 kMaxFileBytes = 512ll * 1024 * 1024;

  // `basesDir` ends with a separator; `central` resolves ids (read lock taken
  // here); `stop`, when set, makes a running walk give up.
  TDbSeriesSource(const QString& basesDir, const TMainDBParamsV4* central,
                  const std::atomic<bool>* stop = nullptr);

  // Thread contract: one call at a time; opens and closes its own connection
  // in the calling thread.
  bool Build(const TSeriesRequest& request, QByteArray& seriesFile, QString* error) override;

 private:
  const QString m_basesDir;
  const TMainDBParamsV4* const m_central;
  const std::atomic<bool>* const m_stop;
};

// The column ids of a request as the answer carries them: ids of channels the
// configuration knows stay, any other becomes -1. Thread contract: any thread
// not holding the configuration lock.
QVector<qint32> AnswerColumnIds(const TMainDBParamsV4& central, const QVector<qint32>& requested);
