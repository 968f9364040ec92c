#include "server/serverLog.h"

#include <QDateTime>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::atomic<bool> g_enabled{false};
// Whole lines only: several threads log at once.
std::mutex g_outLock;

}  // namespace

void SetServerLogEnabled(bool enabled)
{
  g_enabled.store(enabled);
}

void ServerLog(const QString& text)
{
  if (!g_enabled.load())
    return;
  const QByteArray line =
      (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")) + text +
       QLatin1Char('\n'))
          .toUtf8();
  std::lock_guard lock(g_outLock);
  std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
  std::fflush(stdout);
}
