// The server over loopback, driven by a plain socket the way a terminal
// drives it: log-on, the two documents, current values and their pushes,
// series answers in chunks that make a file the terminal's reader accepts,
// and connections that misbehave being dropped without harming the others.

#include "app/cmdParms.h"
#include "app/dateTimeDouble.h"
#include "app/syncEvent.h"
#include "comm/measStream.h"
#include "comm/tcpRecord.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "server/measServer.h"
#include "server/valueGen.h"
#include "storage/DBThr.h"
#include "storage/mainDBxml.h"
#include "storage/measRecord.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <memory>
#include <optional>

namespace {

constexpr double kMinute = 1.0 / 1440.0;

// A terminal's end of the link, with blocking waits (no event loop needed).
class TTerminal {
 public:
  explicit TTerminal(quint16 port) { m_socket.connectToHost(QHostAddress::LocalHost, port); }

  bool Connected() { return m_socket.waitForConnected(5000); }

  void SendRaw(const QByteArray& bytes)
  {
    m_socket.write(bytes);
    m_socket.waitForBytesWritten(5000);
  }
  void Send(quint8 type, const QByteArray& payload = QByteArray())
  {
    SendRaw(EncodeRecord(type, payload));
  }

  // The next record of `type`; records of other types are passed over.
  std::optional<TRecord> Next(quint8 type, int timeoutMs = 5000)
  {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
      bool broken = false;
      while (std::optional<TRecord> record = m_reader.Next(&broken)) {
        if (record->Type == type)
          return record;
      }
      if (broken || deadline.hasExpired())
        return std::nullopt;
      if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(static_cast<int>(
                                                std::max<qint64>(1, deadline.remainingTime()))))
        return std::nullopt;
      m_reader.Append(m_socket.readAll());
    }
  }

  std::optional<bool> LogOn()
  {
    Send(RecLogOn, LogOnPayload(3, 1, 0, 0));
    const std::optional<TRecord> answer = Next(RecLogOn);
    if (!answer)
      return std::nullopt;
    return ParseLogOnAnswer(answer->Data);
  }

  QVector<TCurrentValue> NextValues(int timeoutMs = 5000)
  {
    QVector<TCurrentValue> values;
    if (const std::optional<TRecord> record = Next(RecCurrentValues, timeoutMs))
      ParseCurrentValues(record->Data, values);
    return values;
  }

  // The chunks of one series answer, joined; nullopt without a final chunk.
  std::optional<QByteArray> Series(double from, double to, const QVector<qint32>& ids,
                                   int* chunks = nullptr)
  {
    Send(RecSeriesRequest, *SeriesRequestPayload(from, to, 0, ids));
    QByteArray file;
    for (int n = 1;; ++n) {
      const std::optional<TRecord> record = Next(RecSeriesChunk, 20000);
      bool last = false;
      QByteArray data;
      if (!record || !ParseSeriesChunk(record->Data, last, data))
        return std::nullopt;
      file += data;
      if (last) {
        if (chunks != nullptr)
          *chunks = n;
        return file;
      }
    }
  }

  bool WaitClosed(int timeoutMs)
  {
    return m_socket.state() == QAbstractSocket::UnconnectedState ||
           m_socket.waitForDisconnected(timeoutMs);
  }

 private:
  QTcpSocket m_socket;
  TRecordReader m_reader;
};

// A configuration loaded from what the server sends, as a terminal has it.
struct TTerminalConfig {
  TcmdParms Cmd;
  TTypeListV4 Types;
  TMainDBParamsV4 Params{&Types, &Cmd};
  explicit TTerminalConfig(const TMeasServer& server)
  {
    QString error;
    if (Params.LoadTypeDocument(server.TypesDocument(), &error) != 0)
      qFatal("types refused: %s", qPrintable(error));
    TmainDB store;
    if (store.LoadDocument(Params, server.MainDocument()) != 0)
      qFatal("main refused: %s", qPrintable(store.LastError()));
  }
};

struct TServerRun {
  QTemporaryDir Dir;
  std::unique_ptr<TMeasServer> Server;
  explicit TServerRun(TServerOptions options)
  {
    options.DataDir = Dir.path();
    Server = std::make_unique<TMeasServer>(options);
  }
  bool Start()
  {
    QString error;
    if (Server->Start(&error))
      return true;
    qWarning("start failed: %s", qPrintable(error));
    return false;
  }
};

TServerOptions Options(qint64 periodMs, int historyDays = 0)
{
  TServerOptions options;
  options.PeriodMs = periodMs;
  options.HistoryDays = historyDays;
  return options;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The status word a stored reading comes back with.
qint32 ExpectedStatus(const TGenChannel& ch, const TGenValue& v)
{
  if (v.ErrCode == -1)
    return static_cast<qint32>(kFlagNoValue);
  if (v.ErrCode != 0)
    return v.ErrCode;
  if (v.Value > ch.Max)
    return static_cast<qint32>(kFlagAboveMax);
  if (v.Value < ch.Min)
    return static_cast<qint32>(kFlagBelowMin);
  return 0;
}

// Holds every series answer until released (or ten seconds passed).
class TGateSource : public ISeriesSource {
 public:
  TEvent Gate{TEvent::Reset::Manual};
  std::atomic<int> Calls{0};
  bool Build(const TSeriesRequest& request, QByteArray& file, QString*) override
  {
    ++Calls;
    Gate.Wait(10000);
    TSeriesRow row;
    row.Time = request.From;
    row.Items = {{true, 42.0, 0}};
    file = BuildSeriesFile(request.Ids, {row});
    return true;
  }
};

}  // namespace

class TstMeasServer : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void logOn_data();
  void logOn();
  void definitionsAndPushes();
  void largePlantSplitsCurrentValues();
  void seriesAnswers();
  void storedCodesBecomeStatusWords();
  void badPeerIsDroppedAlone_data();
  void badPeerIsDroppedAlone();
  void slowSeriesDoesNotHoldPushes();
};

void TstMeasServer::logOn_data()
{
  QTest::addColumn<bool>("refuse");
  QTest::newRow("accepted") << false;
  QTest::newRow("refused") << true;
}

void TstMeasServer::logOn()
{
  QFETCH(bool, refuse);
  TServerOptions options = Options(60000);
  options.RefuseLogOn = refuse;
  TServerRun run(options);
  QVERIFY(run.Start());
  QVERIFY(run.Server->Port() != 0);
  TTerminal terminal(run.Server->Port());
  QVERIFY(terminal.Connected());
  // Record types the server does not know are passed over.
  terminal.Send(9, QByteArray("ignored"));
  QCOMPARE(terminal.LogOn(), std::optional<bool>(!refuse));
  // A refused terminal gets nothing more; the connection stays open.
  terminal.Send(RecTypeDefinitions);
  QCOMPARE(terminal.Next(RecTypeDefinitions, refuse ? 300 : 5000).has_value(), !refuse);
  QCOMPARE(run.Server->ConnectionCount(), 1);
}

void TstMeasServer::definitionsAndPushes()
{
  TServerRun run(Options(150));
  QVERIFY(run.Start());
  TTerminal terminal(run.Server->Port());
  QVERIFY(terminal.Connected());
  QCOMPARE(terminal.LogOn(), std::optional<bool>(true));

  terminal.Send(RecTypeDefinitions);
  std::optional<TRecord> types = terminal.Next(RecTypeDefinitions);
  QVERIFY(types);
  QCOMPARE(types->Data, run.Server->TypesDocument());
  terminal.Send(RecMainDefinitions);
  std::optional<TRecord> main = terminal.Next(RecMainDefinitions);
  QVERIFY(main);
  QCOMPARE(main->Data, run.Server->MainDocument());

  TTerminalConfig config(*run.Server);
  terminal.Send(RecCurrentValues);
  const QVector<TCurrentValue> first = terminal.NextValues();
  QCOMPARE(first.size(), 24);
  for (const TCurrentValue& v : first)
    QVERIFY(config.Params.Units().FindInUnit(v.LogId) != nullptr);

  // The period timer keeps pushing without being asked again.
  const QVector<TCurrentValue> second = terminal.NextValues();
  const QVector<TCurrentValue> third = terminal.NextValues();
  QCOMPARE(third.size(), 24);
  QVERIFY(first.at(0).Time < second.at(0).Time && second.at(0).Time < third.at(0).Time);

  run.Server->InjectValue(5, 123.4, 0);
  run.Server->InjectValue(6, 0.0, 7);
  run.Server->PushNow();
  bool seen = false;
  for (int i = 0; i < 20 && !seen; ++i) {
    for (const TCurrentValue& v : terminal.NextValues()) {
      if (v.LogId == 5 && v.Value == 123.4 && v.ErrCode == 0)
        seen = true;
      if (v.LogId == 6 && seen)
        QCOMPARE(v.ErrCode, 7);
    }
  }
  QVERIFY(seen);
  QCOMPARE(run.Server->LastSent().size(), 24);
}

void TstMeasServer::largePlantSplitsCurrentValues()
{
  TServerOptions options = Options(60000);
  options.SyntheticUnits = 126;
  options.SyntheticChannels = 8;
  TServerRun run(options);
  QVERIFY(run.Start());
  TTerminal terminal(run.Server->Port());
  QVERIFY(terminal.Connected());
  QCOMPARE(terminal.LogOn(), std::optional<bool>(true));
  // 1008 channels: a terminal takes at most 1001 entries per record.
  terminal.Send(RecCurrentValues);
  const QVector<TCurrentValue> first = terminal.NextValues();
  const QVector<TCurrentValue> rest = terminal.NextValues();
  QCOMPARE(first.size(), 1001);
  QCOMPARE(rest.size(), 7);
  QCOMPARE(rest.last().LogId, 1008);
  QCOMPARE(run.Server->LastSent().size(), 1008);
}

void TstMeasServer::seriesAnswers()
{
  TServerRun run(Options(60000, 1));
  QVERIFY(run.Start());
  TTerminal terminal(run.Server->Port());
  QVERIFY(terminal.Connected());
  QCOMPARE(terminal.LogOn(), std::optional<bool>(true));
  TTerminalConfig config(*run.Server);

  // The simulation the server runs, to know every stored value.
  TValueGenerator gen(1, 60000);
  QHash<qint32, int> column;
  {
    auto lock = config.Params.ReadLock();
    int u = -1;
    int c = -1;
    for (TInUnitV4* ch = config.Params.Units().FirstChannel(u, c, false, false); ch != nullptr;
         ch = config.Params.Units().NextChannel(u, c, false, false)) {
      column.insert(ch->LogId, gen.ChannelCount());
      gen.AddChannel(GenChannelOf(*ch));
    }
  }

  const double now = NowDayCount();
  const QVector<qint32> ids{1, 999, 3, 1};
  int chunks = 0;
  std::optional<QByteArray> bytes = terminal.Series(now - 120 * kMinute, now, ids, &chunks);
  QVERIFY(bytes);
  QCOMPARE(chunks, 1);
  const QString path = run.Dir.filePath("series.bin");
  QVERIFY(WriteFile(path, *bytes));
  TmeasMemStream stream(&config.Params);
  QVERIFY2(stream.Open(path), qPrintable(stream.LastError()));
  QCOMPARE(stream.Ids, (QVector<qint32>{1, -1, 3, 1}));
  QVERIFY2(stream.RecordCount >= 119 && stream.RecordCount <= 122,
           qPrintable(QString::number(stream.RecordCount)));
  for (quint32 r = 0; r < stream.RecordCount; ++r) {
    double time = 0;
    QCOMPARE(stream.ReadTime(r, time), 0);
    TInUnitV4* channel = nullptr;
    double value = 0;
    double again = 0;
    qint32 status = 0;
    qint32 status3 = 0;
    QCOMPARE(stream.ReadItem(r, 1, channel, value, status), 1);
    QCOMPARE(stream.ReadItem(r, 3, channel, again, status3), 0);
    QCOMPARE(stream.ReadItem(r, 0, channel, value, status), 0);
    QCOMPARE(channel->LogId, 1);
    QCOMPARE(again, value);
    QCOMPARE(status3, status);
    const int c = column.value(1);
    const TGenValue expected = gen.ValueAt(c, time);
    QCOMPARE(status, ExpectedStatus(gen.Channel(c), expected));
    QCOMPARE(value, expected.Value);
  }

  // A day of every channel does not fit one record: several chunks, the
  // last one flagged, together one file.
  QVector<qint32> all = column.keys().toVector();
  bytes = terminal.Series(now - 1.0, now, all, &chunks);
  QVERIFY(bytes);
  QVERIFY(chunks >= 2);
  QVERIFY(WriteFile(path, *bytes));
  QVERIFY(stream.Open(path));
  QCOMPARE(stream.ColumnCount, quint32(all.size()));
  QVERIFY(stream.RecordCount >= 1439 && stream.RecordCount <= 1442);

  // No ids, or a range without data: still one final chunk with a valid file.
  for (const QVector<qint32>& none : {QVector<qint32>{}, QVector<qint32>{2}}) {
    bytes = terminal.Series(now + 10.0, now + 11.0, none, &chunks);
    QVERIFY(bytes);
    QCOMPARE(chunks, 1);
    QVERIFY(WriteFile(path, *bytes));
    QVERIFY(stream.Open(path));
    QCOMPARE(stream.RecordCount, 0u);
    QCOMPARE(stream.ColumnCount, quint32(none.size()));
  }
}

void TstMeasServer::storedCodesBecomeStatusWords()
{
  struct TCase {
    qint32 Stored;
    quint32 Status;
  };
  const TCase cases[] = {
      {0, 0}, {-5, kFlagGap}, {-4, kFlagAboveMax}, {-3, kFlagBelowMin}, {-1, kFlagNoValue}, {2, 2}};
  const double t0 = DateTimeToDouble(QDate(2024, 3, 5), QTime(10, 0));
  TServerRun run(Options(60000));
  {
    TdbInfos db(QStringLiteral("fixture"), run.Dir.path() + QLatin1Char('/'));
    qint32 id = 1;
    for (int k = 0; k < int(std::size(cases)); ++k) {
      const double t = t0 + k * kMinute;
      QVERIFY(
          db.InsertMeasure({t, 1, cases[k].Stored == 0 ? 12.5 : 0.0, cases[k].Stored, 0, id++}));
      // Gap rows are written for every channel; other rows only for channel 1.
      if (cases[k].Stored == -5)
        QVERIFY(db.InsertGap(2, t));
    }
    db.Close();
  }
  QVERIFY(run.Start());
  TTerminal terminal(run.Server->Port());
  QVERIFY(terminal.Connected());
  QCOMPARE(terminal.LogOn(), std::optional<bool>(true));
  const std::optional<QByteArray> bytes = terminal.Series(t0 - kMinute, t0 + 10 * kMinute, {1, 2});
  QVERIFY(bytes);
  const QString path = run.Dir.filePath("series.bin");
  QVERIFY(WriteFile(path, *bytes));
  TmeasMemStream stream(nullptr);
  QVERIFY(stream.Open(path));
  QCOMPARE(stream.RecordCount, quint32(std::size(cases)));
  for (int k = 0; k < int(std::size(cases)); ++k) {
    TInUnitV4* channel = nullptr;
    double value = -1;
    qint32 status = -1;
    QCOMPARE(stream.ReadItem(k, 0, channel, value, status), 0);
    QCOMPARE(quint32(status), cases[k].Status);
    QCOMPARE(value, cases[k].Stored == 0 ? 12.5 : 0.0);
    const bool gap = cases[k].Stored == -5;
    QCOMPARE(stream.ReadItem(k, 1, channel, value, status), gap ? 0 : 1);
    if (gap)
      QCOMPARE(quint32(status), kFlagGap);
  }
}

void TstMeasServer::badPeerIsDroppedAlone_data()
{
  QTest::addColumn<QByteArray>("bytes");
  QByteArray oversized = EncodeRecord(RecSeriesRequest, QByteArray(16, '\0'));
  qToLittleEndian<quint32>(1000000, oversized.data() + 1);
  QTest::newRow("record above the limit") << oversized;
  QTest::newRow("not this protocol") << QByteArray("GET / HTTP/1.1\r\nHost: server\r\n\r\n");
  QByteArray tooMany = *SeriesRequestPayload(0, 1, 0, {1});
  qToLittleEndian<qint32>(5000, tooMany.data() + 17);
  QTest::newRow("series request claiming 5000 ids") << EncodeRecord(RecSeriesRequest, tooMany);
  QTest::newRow("short series request") << EncodeRecord(RecSeriesRequest, QByteArray(20, '\0'));
  QTest::newRow("short log-on") << EncodeRecord(RecLogOn, QByteArray(3, '\0'));
}

void TstMeasServer::badPeerIsDroppedAlone()
{
  QFETCH(QByteArray, bytes);
  TServerRun run(Options(60000));
  QVERIFY(run.Start());
  TTerminal good(run.Server->Port());
  QVERIFY(good.Connected());
  QCOMPARE(good.LogOn(), std::optional<bool>(true));
  good.Send(RecCurrentValues);
  QCOMPARE(good.NextValues().size(), 24);

  TTerminal bad(run.Server->Port());
  QVERIFY(bad.Connected());
  QCOMPARE(bad.LogOn(), std::optional<bool>(true));
  bad.SendRaw(bytes);
  QVERIFY(bad.WaitClosed(5000));
  QTRY_COMPARE(run.Server->ConnectionCount(), 1);

  run.Server->PushNow();
  QCOMPARE(good.NextValues().size(), 24);
}

void TstMeasServer::slowSeriesDoesNotHoldPushes()
{
  TServerRun run(Options(100));
  auto source = std::make_unique<TGateSource>();
  TGateSource* gate = source.get();
  run.Server->SetSeriesSource(std::move(source));
  QVERIFY(run.Start());

  TTerminal watcher(run.Server->Port());
  QVERIFY(watcher.Connected());
  QCOMPARE(watcher.LogOn(), std::optional<bool>(true));
  watcher.Send(RecCurrentValues);
  QCOMPARE(watcher.NextValues().size(), 24);
  {
    TTerminal reporter(run.Server->Port());
    QVERIFY(reporter.Connected());
    QCOMPARE(reporter.LogOn(), std::optional<bool>(true));
    reporter.Send(RecSeriesRequest, *SeriesRequestPayload(1.0, 2.0, 0, {1}));
    QTRY_COMPARE(gate->Calls.load(), 1);
    for (int i = 0; i < 3; ++i)
      QCOMPARE(watcher.NextValues(2000).size(), 24);
  }
  // The requester left before its answer: the answer is dropped.
  QTRY_COMPARE(run.Server->ConnectionCount(), 1);
  gate->Gate.Set();
  const std::optional<QByteArray> bytes = watcher.Series(3.0, 4.0, {7});
  QVERIFY(bytes);
  TSeriesRow row;
  row.Time = 3.0;
  row.Items = {{true, 42.0, 0}};
  QCOMPARE(*bytes, BuildSeriesFile({7}, {row}));
  QCOMPARE(gate->Calls.load(), 2);
}

QTEST_GUILESS_MAIN(TstMeasServer)
#include "tst_measServer.moc"
