// The terminal's server link: the record handling of the receiving thread on
// the test plant (driven directly), and the socket side against a small
// scripted server for the cases a real server never produces.

#include "comm/tcpClient.h"

#include "app/commonClass.h"
#include "app/statusLog.h"
#include "statusLogProbe.h"
#include "app/uiBridge.h"
#include "plantFixture.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <mutex>

namespace {

// Remembers what the receiving thread hands on, value by value.
class TRecordingCurrChart : public ICurrChartThr {
 public:
  void Stop() override {}
  void Update(TInUnitV4* channel, const TStateValues& state) override
  {
    std::lock_guard lock(Mutex);
    Updates.push_back({channel->LogId, state.Value, state.ErrCode});
  }
  struct TSeen {
    qint32 LogId;
    double Value;
    qint32 ErrCode;
  };
  std::mutex Mutex;
  QVector<TSeen> Updates;
};

TRecord Rec(quint8 type, const QByteArray& payload = QByteArray()) { return {type, payload}; }

QByteArray Chunk(bool last, const QByteArray& bytes)
{
  return SeriesChunkPayload(last, bytes.constData(), static_cast<quint32>(bytes.size()));
}

int LogRows() { return StatusLog()->Model()->rowCount(); }

// A server that accepts one terminal and plays the script it is given.
class TScriptServer {
 public:
  TScriptServer() { QVERIFY(Server.listen(QHostAddress::LocalHost)); }
  QString Path() const { return QStringLiteral("127.0.0.1:%1").arg(Server.serverPort()); }
  QTcpSocket* Accept()
  {
    if (Peer == nullptr && (Server.hasPendingConnections() || Server.waitForNewConnection(5000)))
      Peer = Server.nextPendingConnection();
    return Peer;
  }
  // Requests received so far, by type.
  QVector<quint8> Requests()
  {
    if (Peer != nullptr) {
      Peer->waitForReadyRead(10);
      Reader.Append(Peer->readAll());
    }
    while (auto record = Reader.Next(nullptr))
      Seen.push_back(record->Type);
    return Seen;
  }
  void Send(const QByteArray& bytes)
  {
    Peer->write(bytes);
    Peer->flush();
  }
  QTcpServer Server;
  QTcpSocket* Peer = nullptr;
  TRecordReader Reader;
  QVector<quint8> Seen;
};

}  // namespace

class TstTcpClient : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void initTestCase();
  void serverPaths_data();
  void serverPaths();
  void logOnSequenceTakesEachAnswerOnlyInItsStep();
  void currentValuesAreAppliedAndHandedOnValueByValue();
  void seriesChunksBuildTheFileOfTheCurrentRequestOnly();
  void refusedAndOversizedSeriesRequestsAnswerAtOnce();
  void scriptedServer_data();
  void scriptedServer();
  void refusedLogOnStopsTheExchange();
};

void TstTcpClient::initTestCase()
{
  UiBridge::install();
  CreateStatusLog(this);
}

void TstTcpClient::serverPaths_data()
{
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("host");
  QTest::addColumn<int>("port");
  QTest::newRow("host and port") << "plant-server:5000" << "plant-server" << 5000;
  QTest::newRow("no colon") << "plant-server" << "plant-server" << 81;
  QTest::newRow("two colons split at the last") << "a:b:6000" << "a:b" << 6000;
  QTest::newRow("not a number") << "host:abc" << "host" << 81;
  QTest::newRow("empty port") << "host:" << "host" << 81;
  QTest::newRow("port above 65535") << "host:70000" << "host" << 81;
  QTest::newRow("negative port") << "host:-1" << "host" << 81;
  QTest::newRow("bracketed v6 with port") << "[::1]:5001" << "::1" << 5001;
  QTest::newRow("bracketed v6 alone") << "[fe80::1]" << "fe80::1" << 81;
}

void TstTcpClient::serverPaths()
{
  QFETCH(QString, path);
  QString host;
  quint16 port = 0;
  SplitServerPath(path, 81, host, port);
  QTEST(host, "host");
  QTEST(int(port), "port");
}

void TstTcpClient::logOnSequenceTakesEachAnswerOnlyInItsStep()
{
  TcmdParms cmd;
  TTypeListV4 types;
  TMainDBParamsV4 params(&types, &cmd);
  TClientHandleThread link(&params, nullptr, QStringLiteral("x"), 81, nullptr);
  const QByteArray typeDoc = ReadFixture("model/data/types.xml");
  const QByteArray mainDoc = ReadFixture("storage/data/main.xml");

  link.SetResendInterval(50);
  QCOMPARE(link.DueRequest(), EncodeRecord(RecLogOn, LogOnPayload(3, 1, 0, 0)));
  QVERIFY(link.DueRequest().isEmpty());  // sent once until the resend time
  QTest::qWait(80);
  QCOMPARE(link.DueRequest(), EncodeRecord(RecLogOn, LogOnPayload(3, 1, 0, 0)));
  link.SetResendInterval(TClientHandleThread::kResendMs);

  // Answers out of turn change nothing: types before log-on, current values
  // before the definitions.
  link.HandleRecord(Rec(RecTypeDefinitions, typeDoc));
  QCOMPARE(types.Count(), 0);
  link.HandleRecord(Rec(RecLogOn, LogOnAnswerPayload(true)));
  QCOMPARE(link.Step(), quint8(StepTypes));
  QCOMPARE(link.DueRequest(), EncodeRecord(RecTypeDefinitions));

  link.HandleRecord(Rec(RecCurrentValues, CurrentValuesPayload({})));
  QCOMPARE(link.Step(), quint8(StepTypes));
  link.HandleRecord(Rec(RecTypeDefinitions, "<not a document"));
  QCOMPARE(link.Step(), quint8(StepTypes));
  link.HandleRecord(Rec(RecTypeDefinitions, typeDoc));
  const int typeCount = types.Count();
  QVERIFY(typeCount > 0);
  QCOMPARE(link.Step(), quint8(StepMainDefinitions));
  // A late duplicate of the log-on or the types does not reset or double anything.
  link.HandleRecord(Rec(RecLogOn, LogOnAnswerPayload(true)));
  link.HandleRecord(Rec(RecTypeDefinitions, typeDoc));
  QCOMPARE(types.Count(), typeCount);
  QCOMPARE(link.DueRequest(), EncodeRecord(RecMainDefinitions));

  link.HandleRecord(Rec(RecMainDefinitions, mainDoc.left(mainDoc.size() / 2)));
  QCOMPARE(link.Step(), quint8(StepMainDefinitions));
  QCOMPARE(params.Units().Count(), 0);  // nothing of a truncated document
  link.HandleRecord(Rec(RecMainDefinitions, mainDoc));
  QCOMPARE(link.Step(), quint8(StepCurrentValues));
  QVERIFY(params.Units().Count() > 0);
  QCOMPARE(link.DueRequest(), EncodeRecord(RecCurrentValues));

  link.HandleRecord(Rec(RecCurrentValues, CurrentValuesPayload({})));
  QCOMPARE(link.Step(), quint8(StepRunning));
  QVERIFY(link.DueRequest().isEmpty());  // nothing is ever asked again
  // A re-sent main definitions record is a reload, not a step back.
  link.HandleRecord(Rec(RecMainDefinitions, mainDoc));
  QCOMPARE(link.Step(), quint8(StepRunning));
  for (quint8 type : {quint8(0), quint8(5), quint8(7), quint8(255)})
    link.HandleRecord(Rec(type, "ignored"));
  QCOMPARE(link.Step(), quint8(StepRunning));
}

void TstTcpClient::currentValuesAreAppliedAndHandedOnValueByValue()
{
  TConfig config(true);
  TRecordingCurrChart chart;
  TClientHandleThread link(&config.Params, [&chart] { return &chart; }, QStringLiteral("x"), 81,
                           nullptr);
  // Channel 1: limits -20.5..95; channel 0x20: 0..12.5; 999 is unknown.
  const QByteArray payload = CurrentValuesPayload({{1, 46000.5, 20.0, 0},
                                                   {999, 46000.5, 1.0, 0},
                                                   {0x20, 46000.5, 13.0, 0},
                                                   {1, 46000.6, 21.0, 0},
                                                   {1, 46000.7, -30.0, 0},
                                                   {0x20, 46000.7, 2.0, 7}});
  QCOMPARE(link.HandleRecord(Rec(RecCurrentValues, payload)), 5);

  QCOMPARE(chart.Updates.size(), 5);
  const QVector<std::pair<double, qint32>> expected{
      {20.0, 0}, {13.0, -4}, {21.0, 0}, {-30.0, -3}, {2.0, 7}};
  for (int i = 0; i < expected.size(); ++i) {
    QCOMPARE(chart.Updates[i].Value, expected[i].first);
    QCOMPARE(chart.Updates[i].ErrCode, expected[i].second);
  }
  TInUnitV4* one = config.Params.Units().FindInUnit(1);
  TStateValues state;
  QVERIFY(one->ReadState(0, state));
  QCOMPARE(state.Value, -30.0);
  QCOMPARE(state.ErrCode, -3);
  QCOMPARE(state.Time, 46000.7);
  QCOMPARE(state.PrevValue, -30.0);  // snapshot taken after handing on

  // A count beyond the payload is cut to the entries present; a negative one is none.
  QByteArray lying = CurrentValuesPayload({{1, 46001.0, 5.0, 0}});
  qToLittleEndian<qint32>(1000, lying.data());
  QCOMPARE(link.HandleRecord(Rec(RecCurrentValues, lying)), 1);
  qToLittleEndian<qint32>(-5, lying.data());
  QCOMPARE(link.HandleRecord(Rec(RecCurrentValues, lying)), 0);

  // The lookup follows a reload of the definitions.
  TmainDB store;
  QCOMPARE(store.LoadDocument(config.Params, ReadFixture("storage/data/main.xml")), 0);
  QCOMPARE(link.HandleRecord(Rec(RecCurrentValues, CurrentValuesPayload({{1, 46002, 7, 0}}))), 1);
  QCOMPARE(config.Params.Units().FindInUnit(1)->StateValue(0), 7.0);
}

void TstTcpClient::seriesChunksBuildTheFileOfTheCurrentRequestOnly()
{
  TClientHandleThread link(nullptr, nullptr, QStringLiteral("x"), 81, nullptr);
  // A chunk nobody asked for is dropped.
  link.HandleRecord(Rec(RecSeriesChunk, Chunk(true, "stray")));
  QCOMPARE(link.SeriesFileName(), QString());
  QVERIFY(link.TakeSeriesRequest().isEmpty());

  TEvent first(TEvent::Reset::Manual);
  link.RequestSeries({1, 2}, 0, 46000, 46001, &first);
  QCOMPARE(link.TakeSeriesRequest(),
           EncodeRecord(RecSeriesRequest, *SeriesRequestPayload(46000, 46001, 0, {1, 2})));
  QVERIFY(link.TakeSeriesRequest().isEmpty());  // carried once
  link.HandleRecord(Rec(RecSeriesChunk, Chunk(false, "old1")));
  QVERIFY(!first.IsSet());

  // A second request while the first answer is still arriving: the rest of
  // that answer must not end up in the new file, and the old file goes.
  TEvent second(TEvent::Reset::Manual);
  link.RequestSeries({3}, 0, 46000, 46001, &second);
  QVERIFY(!link.TakeSeriesRequest().isEmpty());
  link.HandleRecord(Rec(RecSeriesChunk, Chunk(false, "old2")));
  link.HandleRecord(Rec(RecSeriesChunk, Chunk(true, "old3")));
  QVERIFY(!second.IsSet());
  link.HandleRecord(Rec(RecSeriesChunk, Chunk(false, "new1")));
  QVERIFY(!second.IsSet());  // only the last chunk completes a transfer
  link.HandleRecord(Rec(RecSeriesChunk, Chunk(true, "new2")));
  QVERIFY(second.IsSet());
  QVERIFY(!first.IsSet());
  QFile file(link.SeriesFileName());
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), QByteArray("new1new2"));
  file.remove();
  QCOMPARE(QDir(TempFolder()).entryList({QStringLiteral("~CL*")}).size(), 0);

  // A requester that stops waiting is never touched again.
  TEvent cancelled(TEvent::Reset::Manual);
  link.RequestSeries({1}, 0, 0, 1, &cancelled);
  link.CancelRequest(&cancelled);
  QVERIFY(link.TakeSeriesRequest().isEmpty());
  QVERIFY(!cancelled.IsSet());
}

void TstTcpClient::refusedAndOversizedSeriesRequestsAnswerAtOnce()
{
  TtcpClient client(nullptr, nullptr);
  TEvent done(TEvent::Reset::Manual);
  client.RequestSeries({1}, 0, 0, 1, &done);  // not connected
  QVERIFY(done.IsSet());
  QCOMPARE(client.SeriesFileName(), QString());

  TClientHandleThread link(nullptr, nullptr, QStringLiteral("x"), 81, nullptr);
  done.ResetEvent();
  link.RequestSeries(QVector<qint32>(kMaxSeriesIds + 1, 1), 0, 0, 1, &done);
  QVERIFY(done.IsSet());
  QCOMPARE(link.SeriesFileName(), QString());
}

void TstTcpClient::scriptedServer_data()
{
  QTest::addColumn<QByteArray>("afterLogOn");
  QTest::addColumn<bool>("closeAfter");
  QByteArray oversized(5, '\0');
  oversized[0] = RecMainDefinitions;
  qToLittleEndian<quint32>(kMaxRecordPayload + 1, oversized.data() + 1);
  QTest::newRow("oversized length") << oversized << false;
  QTest::newRow("truncated types record, then close")
      << EncodeRecord(RecTypeDefinitions, ReadFixture("model/data/types.xml")).left(300) << true;
  QTest::newRow("garbage") << QByteArray("\x03\xff\xff\xff\xff garbage that is no record", 30)
                           << false;
  QTest::newRow("server closes") << QByteArray() << true;
}

void TstTcpClient::scriptedServer()
{
  QFETCH(QByteArray, afterLogOn);
  QFETCH(bool, closeAfter);
  TcmdParms cmd;
  TTypeListV4 types;
  TMainDBParamsV4 params(&types, &cmd);
  TScriptServer server;
  TtcpClient client(&params, nullptr);
  QCOMPARE(client.Connect(server.Path(), 81), 0);
  QVERIFY(client.Connected());
  QTRY_VERIFY(StatusLogHas(QStringLiteral("Connected to ") + server.Path()));
  QVERIFY(server.Accept());
  QTRY_COMPARE(server.Requests(), QVector<quint8>{RecLogOn});
  server.Send(EncodeRecord(RecLogOn, LogOnAnswerPayload(true)));
  QTRY_COMPARE(server.Requests(), (QVector<quint8>{RecLogOn, RecTypeDefinitions}));
  const int rowsBefore = LogRows();
  server.Send(afterLogOn);
  if (closeAfter)
    server.Peer->disconnectFromHost();
  QTRY_VERIFY(!client.Connected());
  QCOMPARE(types.Count(), 0);  // no part of a document was applied
  QTRY_VERIFY(LogRows() > rowsBefore);
  QVERIFY(StatusLogHas(QStringLiteral("Server has closed connection.")));
  // A series asked for after the drop is answered at once, empty.
  TEvent done(TEvent::Reset::Manual);
  client.RequestSeries({1}, 0, 0, 1, &done);
  QVERIFY(done.Wait(1000));
  QCOMPARE(client.SeriesFileName(), QString());
}

void TstTcpClient::refusedLogOnStopsTheExchange()
{
  TScriptServer server;
  TtcpClient client(nullptr, nullptr);
  QCOMPARE(client.Connect(server.Path(), 81), 0);
  QVERIFY(server.Accept());
  QTRY_COMPARE(server.Requests(), QVector<quint8>{RecLogOn});
  QByteArray refusal = LogOnAnswerPayload(true);
  qToLittleEndian<quint32>(1, refusal.data() + 12);
  server.Send(EncodeRecord(RecLogOn, refusal));
  QTRY_COMPARE(client.Step(), quint8(StepRefused));
  QTRY_VERIFY(StatusLogHas(QStringLiteral("Wrong protocol version.")));
  QTest::qWait(300);
  QCOMPARE(server.Requests(), QVector<quint8>{RecLogOn});  // nothing more is asked
  QVERIFY(client.Connected());                             // the connection stays open

  // Nobody listening: "Connection error." and -1.
  const quint16 port = server.Server.serverPort();
  server.Server.close();
  TtcpClient other(nullptr, nullptr);
  QCOMPARE(other.Connect(QStringLiteral("127.0.0.1:%1").arg(port), 81), -1);
  QTRY_VERIFY(StatusLogHas(QStringLiteral("Connection error.")));
  QVERIFY(!other.Connected());
}

QTEST_GUILESS_MAIN(TstTcpClient)
#include "tst_tcpClient.moc"
