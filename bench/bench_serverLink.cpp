// The server link under load.
//
// ApplyCurrentValues: records of 1,000 current values of a 125 × 8 channel
// plant go through the receiving thread's handling as they come off the
// wire: framing, entry parsing, channel lookup, the state update with its
// limit check and the hand-over to the current-values thread. Items are
// entries.
//
// SeriesTransfer: a series of 12 channels × 100,000 records travels from the
// measurement server over loopback into the terminal's series file, request
// to completion. The server's series source is a prepared file, so the figure
// is the link (chunking, socket, record reader, file writes), not the
// database. LoopbackCopy moves the same bytes through a plain loopback socket
// into a file in the same run, as the yardstick. Bytes are series file bytes.

#include "app/cmdParms.h"
#include "app/commonClass.h"
#include "comm/tcpClient.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "server/measServer.h"
#include "server/serverDocs.h"
#include "storage/mainDBxml.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <memory>

namespace {

constexpr int kUnits = 125;
constexpr int kInputs = 8;
constexpr int kEntries = kUnits * kInputs;
constexpr int kSeriesColumns = 12;
constexpr int kSeriesRecords = 100000;

struct TPlant {
  TcmdParms Cmd;
  TTypeListV4 Types;
  TMainDBParamsV4 Params{&Types, &Cmd};
  TPlant()
  {
    const TServerDocuments docs = SyntheticDocuments(kUnits, kInputs);
    TmainDB store;
    if (Params.LoadTypeDocument(docs.Types) != 0 || store.LoadDocument(Params, docs.Main) != 0)
      qFatal("synthetic plant refused");
  }
};

// Stands for the current-values thread: takes the value, as its queue would.
class TCountingCurrChart : public ICurrChartThr {
 public:
  void Stop() override {}
  void Update(TInUnitV4*, const TStateValues& state) override
  {
    Sum += state.Value;
    ++Count;
  }
  double Sum = 0;
  qint64 Count = 0;
};

void ApplyCurrentValues(benchmark::State& state)
{
  TPlant plant;
  TCountingCurrChart chart;
  TClientHandleThread link(&plant.Params, [&chart] { return &chart; }, QStringLiteral("x"), 81,
                           nullptr);
  QVector<TCurrentValue> values;
  for (int i = 0; i < kEntries; ++i)
    values.push_back({i + 1, 46000.0 + i * 1e-6, 10.0 + (i % 97), i % 50 == 0 ? 5 : 0});
  const QByteArray wire = EncodeRecord(RecCurrentValues, CurrentValuesPayload(values));
  TRecordReader reader;
  qint64 applied = 0;
  for (auto _ : state) {
    reader.Append(wire);
    while (auto record = reader.Next(nullptr))
      applied += link.HandleRecord(*record);
  }
  if (applied != qint64(state.iterations()) * kEntries)
    state.SkipWithError("not every entry found its channel");
  benchmark::DoNotOptimize(chart.Sum);
  state.SetItemsProcessed(applied);
}
BENCHMARK(ApplyCurrentValues)->Unit(benchmark::kMicrosecond);

QByteArray SeriesBytes()
{
  static const QByteArray bytes = [] {
    QVector<qint32> ids;
    for (int c = 0; c < kSeriesColumns; ++c)
      ids.push_back(c + 1);
    TSeriesFileWriter writer(ids);
    for (int r = 0; r < kSeriesRecords; ++r) {
      writer.BeginRecord(46000.0 + r / 1440.0);
      for (int c = 0; c < kSeriesColumns; ++c)
        writer.SetItem(c, r * 0.5 + c, (r + c) % 101 == 0 ? 0x20000000 : 0);
    }
    return writer.Take();
  }();
  return bytes;
}

class TPreparedSeries : public ISeriesSource {
 public:
  bool Build(const TSeriesRequest&, QByteArray& seriesFile, QString*) override
  {
    seriesFile = SeriesBytes();
    return true;
  }
};

void SeriesTransfer(benchmark::State& state)
{
  const QByteArray bytes = SeriesBytes();
  QTemporaryDir data;
  TServerOptions options;
  options.DataDir = data.path();
  options.SyntheticUnits = 2;
  options.SyntheticChannels = 8;
  options.PeriodMs = 3600 * 1000;  // no pushes during the measurement
  TMeasServer server(options);
  server.SetSeriesSource(std::make_unique<TPreparedSeries>());
  QString error;
  if (!server.Start(&error)) {
    state.SkipWithError(qPrintable(error));
    return;
  }
  TcmdParms cmd;
  TTypeListV4 types;
  TMainDBParamsV4 params(&types, &cmd);
  TtcpClient client(&params, nullptr);
  if (client.Connect(QStringLiteral("127.0.0.1:%1").arg(server.Port()), 81) != 0) {
    state.SkipWithError("no connection");
    return;
  }
  for (int i = 0; i < 500 && client.Step() != StepRunning; ++i)
    QThread::msleep(10);
  QVector<qint32> ids;
  for (int c = 0; c < kSeriesColumns; ++c)
    ids.push_back(c + 1);
  TEvent done(TEvent::Reset::Manual);
  for (auto _ : state) {
    done.ResetEvent();
    client.RequestSeries(ids, 0, 46000, 46100, &done);
    if (!done.Wait(60000)) {
      state.SkipWithError("series not complete");
      break;
    }
    const QString file = client.SeriesFileName();
    state.PauseTiming();
    if (QFile(file).size() != bytes.size())
      state.SkipWithError("series file of the wrong size");
    QFile::remove(file);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(qint64(state.iterations()) * bytes.size());
  client.Disconnect();
  server.Stop();
}
BENCHMARK(SeriesTransfer)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes through a plain loopback socket into a file.
void LoopbackCopy(benchmark::State& state)
{
  const QByteArray bytes = SeriesBytes();
  QTcpServer listener;
  if (!listener.listen(QHostAddress::LocalHost)) {
    state.SkipWithError("cannot listen");
    return;
  }
  const quint16 port = listener.serverPort();
  for (auto _ : state) {
    std::atomic<bool> sent{false};
    std::unique_ptr<QThread> sender(QThread::create([&bytes, port, &sent] {
      QTcpSocket out;
      out.connectToHost(QHostAddress::LocalHost, port);
      if (out.waitForConnected(5000)) {
        out.write(bytes);
        while (out.bytesToWrite() > 0 && out.waitForBytesWritten(5000)) {
        }
        out.disconnectFromHost();
        if (out.state() != QAbstractSocket::UnconnectedState)
          out.waitForDisconnected(5000);
      }
      sent = true;
    }));
    sender->start();
    if (!listener.waitForNewConnection(5000)) {
      state.SkipWithError("no connection");
      sender->wait();
      break;
    }
    std::unique_ptr<QTcpSocket> in(listener.nextPendingConnection());
    QFile file(NewTempFile());
    file.open(QIODevice::WriteOnly);
    QByteArray chunk(256 * 1024, Qt::Uninitialized);
    qint64 received = 0;
    while (received < bytes.size()) {
      if (in->bytesAvailable() == 0 && !in->waitForReadyRead(5000))
        break;
      const qint64 n = in->read(chunk.data(), chunk.size());
      if (n <= 0)
        break;
      file.write(chunk.constData(), n);
      received += n;
    }
    file.close();
    sender->wait();
    state.PauseTiming();
    if (received != bytes.size())
      state.SkipWithError("short copy");
    file.remove();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(qint64(state.iterations()) * bytes.size());
}
BENCHMARK(LoopbackCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
