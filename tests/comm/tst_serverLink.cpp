// The terminal's server link against the measurement server on loopback:
// log-on and both documents, current values on the right channels with
// their limit check, pushed records, a series read back from its file,
// refusal and a server that goes away; and the server program itself
// started, used and stopped by signal.

#include "comm/tcpClient.h"

#include "app/cmdParms.h"
#include "app/statusLog.h"
#include "statusLogProbe.h"
#include "app/uiBridge.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "server/measServer.h"
#include "storage/mainDBxml.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <mutex>

namespace {

class TRecordingCurrChart : public ICurrChartThr {
 public:
  void Stop() override {}
  void Update(TInUnitV4* channel, const TStateValues& state) override
  {
    std::lock_guard lock(m_mutex);
    m_last[channel->LogId] = state;
  }
  bool Last(qint32 logId, TStateValues& state)
  {
    std::lock_guard lock(m_mutex);
    if (!m_last.contains(logId))
      return false;
    state = m_last.value(logId);
    return true;
  }

 private:
  std::mutex m_mutex;
  QHash<qint32, TStateValues> m_last;
};

struct TTerminal {
  TcmdParms Cmd;
  TTypeListV4 Types;
  TMainDBParamsV4 Params{&Types, &Cmd};
  TRecordingCurrChart Chart;
  TtcpClient Client{&Params, [this] { return &Chart; }};
};

TServerOptions DemoOptions(const QString& dataDir)
{
  TServerOptions options;
  options.DataDir = dataDir;
  options.PeriodMs = 60 * 1000;  // pushes come from PushNow
  options.HistoryDays = 1;
  return options;
}

}  // namespace

class TstServerLink : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void initTestCase();
  void logOnLoadsTheDocumentsAndValuesFollow();
  void refusedLogOn();
  void serverThatGoesAwayIsNoticed();
  void serverProgramRunsAndStopsOnSignal();
};

void TstServerLink::initTestCase()
{
  UiBridge::install();
  CreateStatusLog(this);
}

void TstServerLink::logOnLoadsTheDocumentsAndValuesFollow()
{
  QTemporaryDir data;
  TMeasServer server(DemoOptions(data.path()));
  QString error;
  QVERIFY2(server.Start(&error), qPrintable(error));

  TTerminal terminal;
  const QString path = QStringLiteral("127.0.0.1:%1").arg(server.Port());
  QCOMPARE(terminal.Client.Connect(path, 81), 0);
  QTRY_COMPARE_WITH_TIMEOUT(terminal.Client.Step(), quint8(StepRunning), 15000);
  for (const char* line : {"Logged on", "Type's definitions loaded", "Main definitions loaded"})
    QTRY_VERIFY2(StatusLogHas(QString::fromLatin1(line)), line);
  QVERIFY(StatusLogHas(QStringLiteral("Connected to ") + path));

  // The terminal holds what the server serves.
  TcmdParms cmd;
  TTypeListV4 types;
  TMainDBParamsV4 expected(&types, &cmd);
  TmainDB store;
  QCOMPARE(expected.LoadTypeDocument(server.TypesDocument()), 0);
  QCOMPARE(store.LoadDocument(expected, server.MainDocument()), 0);
  QCOMPARE(terminal.Types.Count(), types.Count());
  QCOMPARE(terminal.Params.Units().Count(), expected.Units().Count());
  QVERIFY(terminal.Params.Units().Count() >= 8);

  // Every value of a pushed period lands on its channel, limit-checked; one
  // pushed beyond the maximum is marked so.
  const QVector<TCurrentValue> first = server.LastSent();
  QVERIFY(first.size() >= 24);
  TInUnitV4* target = terminal.Params.Units().FindInUnit(first[2].LogId);
  QVERIFY(target != nullptr);
  const double above = target->Max + 10;
  server.InjectValue(target->LogId, above, 0);
  server.PushNow();
  const QVector<TCurrentValue> pushed = server.LastSent();
  QTRY_COMPARE(target->StateValue(0), above);
  QCOMPARE(target->StateErrCode(0), -4);
  TStateValues handedOn;
  QVERIFY(terminal.Chart.Last(target->LogId, handedOn));
  QCOMPARE(handedOn.ErrCode, -4);
  for (const TCurrentValue& entry : pushed) {
    TInUnitV4* channel = terminal.Params.Units().FindInUnit(entry.LogId);
    QVERIFY(channel != nullptr);
    QTRY_COMPARE(channel->StateTime(0), entry.Time);
    QCOMPARE(channel->StateValue(0), entry.Value);
    const qint32 code = channel->StateErrCode(0);
    if (entry.ErrCode != 0)
      QCOMPARE(code, entry.ErrCode);
    else if (entry.Value > channel->Max)
      QCOMPARE(code, -4);
    else if (entry.Value < channel->Min)
      QCOMPARE(code, -3);
    else
      QCOMPARE(code, 0);
  }

  // A series of two known channels and an unknown one, read back from the
  // file value by value: the injected value is there with its limit flag.
  const QVector<qint32> ids{first[0].LogId, target->LogId, 987654};
  TEvent done(TEvent::Reset::Manual);
  QString file;
  bool found = false;
  // The server's writer stores the pushed period shortly after it went out.
  for (int attempt = 0; attempt < 50 && !found; ++attempt) {
    done.ResetEvent();
    terminal.Client.RequestSeries(ids, 0, pushed[0].Time - 1.0, pushed[0].Time + 1e-6, &done);
    QVERIFY(done.Wait(20000));
    file = terminal.Client.SeriesFileName();
    QVERIFY(!file.isEmpty());
    TmeasMemStream series(&terminal.Params);
    QVERIFY2(series.Open(file), qPrintable(series.LastError()));
    QCOMPARE(series.Ids, QVector<qint32>({ids[0], ids[1], -1}));
    QVERIFY(series.RecordCount > 1000);  // a day of history at one value a minute
    double previous = -1;
    for (quint32 row = 0; row < series.RecordCount; ++row) {
      QCOMPARE(series.ReadRecord(row), 0);
      const TmeasRec& known = series.Serie.Entries[1];
      QVERIFY(known.Time > previous);
      previous = known.Time;
      QVERIFY(!series.Serie.Entries[2].HasValue);
      if (known.HasValue && known.Value == above && known.Time == pushed[0].Time) {
        QCOMPARE(known.Status, qint32(0x20000000));
        QCOMPARE(known.Channel, target);
        found = true;
      }
    }
    QFile::remove(file);
    if (!found)
      QTest::qWait(100);
  }
  QVERIFY(found);
  terminal.Client.Disconnect();
  QVERIFY(!terminal.Client.Connected());
}

void TstServerLink::refusedLogOn()
{
  QTemporaryDir data;
  TServerOptions options = DemoOptions(data.path());
  options.HistoryDays = 0;
  options.RefuseLogOn = true;
  TMeasServer server(options);
  QString error;
  QVERIFY2(server.Start(&error), qPrintable(error));
  TTerminal terminal;
  QCOMPARE(terminal.Client.Connect(QStringLiteral("127.0.0.1:%1").arg(server.Port()), 81), 0);
  QTRY_COMPARE(terminal.Client.Step(), quint8(StepRefused));
  QTRY_VERIFY(StatusLogHas(QStringLiteral("Wrong protocol version.")));
  QCOMPARE(terminal.Types.Count(), 0);
}

void TstServerLink::serverThatGoesAwayIsNoticed()
{
  QTemporaryDir data;
  TServerOptions options = DemoOptions(data.path());
  options.HistoryDays = 0;
  auto server = std::make_unique<TMeasServer>(options);
  QString error;
  QVERIFY2(server->Start(&error), qPrintable(error));
  TTerminal terminal;
  QCOMPARE(terminal.Client.Connect(QStringLiteral("127.0.0.1:%1").arg(server->Port()), 81), 0);
  QTRY_COMPARE_WITH_TIMEOUT(terminal.Client.Step(), quint8(StepRunning), 15000);
  server->Stop();
  QTRY_VERIFY(!terminal.Client.Connected());
  QTRY_VERIFY(StatusLogHas(QStringLiteral("Server has closed connection.")));
}

void TstServerLink::serverProgramRunsAndStopsOnSignal()
{
#ifdef Q_OS_UNIX
  QTemporaryDir data;
  QProcess process;
  process.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/dravolux-server"));
  process.setArguments({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                        QStringLiteral("--data"), data.path(), QStringLiteral("--period"),
                        QStringLiteral("0.2")});
  process.start();
  QVERIFY(process.waitForStarted());
  QString address;
  QTRY_VERIFY_WITH_TIMEOUT(
      [&] {
        while (process.canReadLine()) {
          const QString line = QString::fromUtf8(process.readLine()).trimmed();
          if (line.startsWith(QStringLiteral("Listening on ")))
            address = line.mid(13);
        }
        return !address.isEmpty();
      }(),
      20000);
  TTerminal terminal;
  QCOMPARE(terminal.Client.Connect(address, 81), 0);
  QTRY_COMPARE_WITH_TIMEOUT(terminal.Client.Step(), quint8(StepRunning), 15000);
  // Pushed every period: the channel's time moves on.
  int unitCursor = 0;
  int channelCursor = 0;
  TInUnitV4* channel = terminal.Params.Units().FirstChannel(unitCursor, channelCursor, false, false);
  QVERIFY(channel != nullptr);
  const double seen = channel->StateTime(0);
  QTRY_VERIFY(channel->StateTime(0) > seen);

  process.terminate();  // SIGTERM
  QVERIFY(process.waitForFinished(10000));
  QCOMPARE(process.exitStatus(), QProcess::NormalExit);
  QCOMPARE(process.exitCode(), 0);
  QTRY_VERIFY(!terminal.Client.Connected());
#else
  QSKIP("signals are a POSIX matter");
#endif
}

QTEST_GUILESS_MAIN(TstServerLink)
#include "tst_serverLink.moc"
