// Responsiveness of the current-measurement page under load.
//
// The measurement server runs as its own process with a synthetic plant of
// 125 units × 8 channels and pushes every value once a second. This program
// is the terminal side: the real server link, the current-values service and
// the current-measurement page (shown, offscreen unless a display is given),
// with the table filled and the chart following a group. It then measures
//  - the GUI thread's event-loop latency: how late a 10 ms precise timer
//    fires (50th and 99th percentile, maximum), and
//  - the CPU time of this process per wall-clock second (server excluded).
//
// Usage: bench_currentPage [--seconds N] [--server PATH]

#include "app/cmdParms.h"
#include "app/uiBridge.h"
#include "comm/tcpClient.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "reports/currChartThr.h"
#include "reports/currentFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double CpuSeconds()
{
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop until `done` holds or the time is up. It sleeps in the
// loop between events (a pulse every 20 ms re-checks), so the measurement
// itself costs no CPU.
template <class F>
bool SpinUntil(F done, int timeoutMs)
{
  QElapsedTimer timer;
  timer.start();
  QTimer pulse;
  pulse.start(20);
  while (!done()) {
    if (timer.elapsed() > timeoutMs)
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

double Percentile(std::vector<double> values, double p)
{
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(p * values.size()));
  return values[index];
}

}  // namespace

int main(int argc, char** argv)
{
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  UiBridge::install();
  int seconds = 30;
  QString serverProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/dravolux-server");
  const QStringList args = app.arguments();
  for (int i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == QLatin1String("--seconds"))
      seconds = std::max(1, args[i + 1].toInt());
    else if (args[i] == QLatin1String("--server"))
      serverProgram = args[i + 1];
  }

  QTemporaryDir serverData;
  QTemporaryDir bases;
  QProcess server;
  server.setProgram(serverProgram);
  server.setArguments({QStringLiteral("--synthetic"), QStringLiteral("125x8"),
                       QStringLiteral("--period"), QStringLiteral("1"), QStringLiteral("--listen"),
                       QStringLiteral("127.0.0.1:0"), QStringLiteral("--data"), serverData.path()});
  server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  server.start();
  QString address;
  SpinUntil(
      [&] {
        server.waitForReadyRead(50);
        while (server.canReadLine()) {
          const QString line = QString::fromUtf8(server.readLine()).trimmed();
          if (line.startsWith(QLatin1String("Listening on ")))
            address = line.mid(13);
        }
        return !address.isEmpty();
      },
      30000);
  if (address.isEmpty()) {
    std::fprintf(stderr, "the measurement server did not start\n");
    return 1;
  }
  // The server's log is not needed here; keep its pipe drained.
  QObject::connect(&server, &QProcess::readyReadStandardOutput, &server,
                   [&server] { server.readAllStandardOutput(); });

  TcmdParms cmd;
  cmd.Parse({QStringLiteral("-b"), bases.path()});
  TTypeListV4 types;
  TMainDBParamsV4 params(&types, &cmd);
  TCurrentFrame frame;
  frame.resize(1280, 900);
  frame.show();
  auto service = std::make_unique<TCurrChartThr>(&params);
  frame.SetCurrThread(service.get());
  // Counts what reaches the GUI thread, to show the page really was fed.
  qint64 rowUpdates = 0;
  qint64 chartUpdates = 0;
  QObject::connect(service.get(), &TCurrChartThr::rowsChanged, &frame,
                   [&rowUpdates](const QVector<TCurrRow>& rows) { rowUpdates += rows.size(); });
  QObject::connect(service.get(), &TCurrChartThr::chartUpdated, &frame,
                   [&chartUpdates](const TChartUpdate&) { ++chartUpdates; });
  TCurrChartThr* serviceRaw = service.get();
  TtcpClient client(&params, [serviceRaw]() -> ICurrChartThr* { return serviceRaw; });
  if (client.Connect(address, 81) != 0) {
    std::fprintf(stderr, "no connection to %s\n", qPrintable(address));
    return 1;
  }
  if (!SpinUntil([&] { return client.Step() == StepRunning; }, 30000)) {
    std::fprintf(stderr, "log-on did not complete\n");
    return 1;
  }
  frame.SetParams(&params);
  frame.RefreshLists();
  frame.RefreshGroups();
  qint32 groupId = -1;
  int channels = 0;
  {
    auto lock = params.ReadLock();
    int groupCursor = 0;
    if (TGroup* group = params.Groups().FirstGroup(groupCursor))
      groupId = group->Id;
    int unitCursor = 0, channelCursor = 0;
    for (TInUnitV4* c = params.Units().FirstChannel(unitCursor, channelCursor, false, false);
         c != nullptr; c = params.Units().NextChannel(unitCursor, channelCursor, false, false))
      ++channels;
  }
  service->RequestTable();
  service->SetNextGroup(groupId);
  service->SelectSource(0);
  service->RequestRescale();
  service->RequestChart();

  // Warm-up: the first pushes, the table and the chart built.
  QElapsedTimer warm;
  warm.start();
  SpinUntil([&] { return warm.elapsed() > 3000; }, 10000);

  std::vector<double> lateness;
  QElapsedTimer clock;
  clock.start();
  qint64 last = clock.nsecsElapsed();
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(10);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    lateness.push_back(std::max(0.0, (now - last) / 1e6 - 10.0));
    last = now;
  });
  const double cpuStart = CpuSeconds();
  const qint64 rowsAtStart = rowUpdates;
  const qint64 chartsAtStart = chartUpdates;
  QElapsedTimer wall;
  wall.start();
  tick.start();
  SpinUntil([&] { return wall.elapsed() >= seconds * 1000; }, seconds * 1000 + 5000);
  tick.stop();
  const double cpu = CpuSeconds() - cpuStart;
  const double elapsed = wall.elapsed() / 1000.0;

  std::printf("channels            %d (server pushes all of them every second)\n", channels);
  std::printf("measured            %.1f s, %zu timer samples\n", elapsed, lateness.size());
  std::printf("event-loop latency  p50 %.2f ms  p99 %.2f ms  max %.2f ms\n",
              Percentile(lateness, 0.50), Percentile(lateness, 0.99),
              Percentile(lateness, 1.0));
  std::printf("row updates shown   %.0f per second, chart updates %.1f per second\n",
              (rowUpdates - rowsAtStart) / elapsed, (chartUpdates - chartsAtStart) / elapsed);
  std::printf("terminal CPU        %.1f %% of one core\n", 100.0 * cpu / elapsed);

  client.Disconnect();
  service->Stop();
  server.terminate();
  server.waitForFinished(10000);
  return 0;
}
