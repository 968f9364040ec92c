#include "server/measServer.h"

#include "app/cmdParms.h"
#include "app/dateTimeDouble.h"
#include "app/syncEvent.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "server/dbSeriesSource.h"
#include "server/historyFill.h"
#include "server/serverDocs.h"
#include "server/serverLog.h"
#include "server/valueGen.h"
#include "storage/DBThr.h"
#include "storage/mainDBxml.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

namespace {

constexpr double kMsPerDay = 86400000.0;
// More terminals than a control room ever has; beyond it a client is misbehaving.
constexpr int kMaxConnections = 256;
// Series requests a terminal may queue while one is answered; the terminal
// sends one at a time, so a long queue means a peer that floods.
constexpr int kMaxQueuedSeries = 8;
// A series answer is fed to the socket while less than this waits unsent,
// so a large answer never sits in memory twice and pushes stay timely.
constexpr qint64 kSeriesWindow = 4ll * 1024 * 1024;
// Data bytes per series chunk: the chunk record adds a flag and a length.
constexpr quint32 kChunkData = kMaxPayload - 5;

QString DayCountText(double t)
{
  QDate date;
  QTime time;
  if (!DoubleToDateTime(t, date, time))
    return QStringLiteral("(invalid %1)").arg(QLocale::c().toString(t, 'g', 17));
  return QDateTime(date, time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

struct TJob {
  quint64 ConnId = 0;
  TSeriesRequest Request;
};

struct TConn {
  quint64 Id = 0;
  QTcpSocket* Socket = nullptr;
  TRecordReader Reader{TMeasServer::kMaxRequestPayload};
  QString Peer;
  bool LoggedOn = false;
  bool Subscribed = false;
  bool SeriesBusy = false;     // a request is being built or answered
  bool SeriesSending = false;  // its answer is being fed to the socket
  QByteArray SeriesFile;
  qint64 SeriesSent = 0;
  std::deque<TSeriesRequest> Pending;
};

}  // namespace

class TServerNet;

class TMeasServer::TImpl {
 public:
  explicit TImpl(TServerOptions options) : Options(std::move(options)) {}

  // Set at construction and never changed: read by every thread.
  const TServerOptions Options;

  // Configuration: built by Start before any thread runs; afterwards only
  // channel states change (under their own locks).
  std::unique_ptr<TcmdParms> Cmd;
  std::unique_ptr<TTypeListV4> Types;
  std::unique_ptr<TMainDBParamsV4> Params;
  std::unique_ptr<TValueGenerator> Generator;
  std::vector<TInUnitV4*> Channels;  // in generator order
  QString BasesDir;
  std::unique_ptr<TDBThr> Db;
  std::unique_ptr<ISeriesSource> Source;
  bool DefaultSource = false;

  mutable std::mutex DocsLock;
  TServerDocuments Docs;

  std::atomic<quint16> PortValue{0};
  std::atomic<int> Connections{0};
  std::atomic<bool> Running{false};
  std::atomic<bool> Stopping{false};

  // Generation: one period at a time, from the timer thread or PushNow.
  std::mutex GenLock;
  bool Generating = false;  // under GenLock
  mutable std::mutex LastLock;
  QVector<TCurrentValue> Last;
  std::mutex InjectLock;
  QHash<qint32, TGenValue> Injected;
  std::thread GenThread;
  TEvent GenStop{TEvent::Reset::Manual};

  // Series worker.
  std::thread Worker;
  std::mutex JobLock;
  std::condition_variable JobCond;
  std::deque<TJob> Jobs;
  bool WorkerStop = false;

  // Network thread; Net is published while its event loop may take calls.
  std::unique_ptr<QThread> NetThread;
  std::mutex NetLock;
  TServerNet* Net = nullptr;
  TEvent NetReady{TEvent::Reset::Manual};
  std::mutex ListenLock;
  bool ListenOk = false;
  QString ListenError;

  bool BuildConfiguration(QString* error);
  void GeneratePeriod(double time);
  void GeneratorLoop();
  void WorkerLoop();
  void PostToNet(std::function<void(TServerNet&)> call);
  // Thread contract: the network thread.
  void SubmitSeries(quint64 connId, const TSeriesRequest& request);
  void NetStarted(TServerNet* net, bool ok, const QString& error);
  void NetEnding();
  void Shutdown();
};

// ---------------------------------------------------------------------------
// Network side. Lives in the network thread; every member is touched there only.

class TServerNet : public QObject {
 public:
  explicit TServerNet(TMeasServer::TImpl& owner) : m_owner(owner)
  {
    std::lock_guard lock(owner.LastLock);
    m_latest = owner.Last;
  }

  bool Listen(QString* error)
  {
    const QString host = m_owner.Options.Host;
    QHostAddress address;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
      address = QHostAddress(QHostAddress::LocalHost);
    else if (host == QLatin1String("*") || host.isEmpty())
      address = QHostAddress(QHostAddress::Any);
    else if (!address.setAddress(host)) {
      *error = QStringLiteral("%1 is not an IP address").arg(host);
      return false;
    }
    m_server = new QTcpServer(this);
    QObject::connect(m_server, &QTcpServer::newConnection, this, [this] { Accept(); });
    if (!m_server->listen(address, m_owner.Options.Port)) {
      *error = QStringLiteral("cannot listen on %1:%2: %3")
                   .arg(host)
                   .arg(m_owner.Options.Port)
                   .arg(m_server->errorString());
      return false;
    }
    m_owner.PortValue.store(m_server->serverPort());
    return true;
  }

  void CloseAll()
  {
    for (auto& [id, conn] : m_conns) {
      QObject::disconnect(conn->Socket, nullptr, this, nullptr);
      conn->Socket->abort();
    }
    if (!m_conns.empty())
      ServerLog(QStringLiteral("closing %1 connection(s)").arg(m_conns.size()));
    m_conns.clear();
    m_owner.Connections.store(0);
    if (m_server != nullptr) {
      m_server->close();
      delete m_server;  // and the sockets it accepted
      m_server = nullptr;
    }
  }

  void Push(const QVector<TCurrentValue>& values)
  {
    m_latest = values;
    for (quint64 id : Ids()) {
      TConn* c = Find(id);
      if (c != nullptr && c->Subscribed)
        SendCurrentValues(*c);
    }
  }

  void SeriesDone(quint64 connId, QByteArray file, const QString& note, qint64 ms)
  {
    TConn* c = Find(connId);
    if (c == nullptr) {
      ServerLog(
          QStringLiteral("connection %1: series answer dropped, connection closed").arg(connId));
      return;
    }
    const quint32 columns = file.size() >= 4 ? qFromLittleEndian<quint32>(file.constData()) : 0;
    const qint64 recordSize = 8 + 24 * static_cast<qint64>(columns);
    ServerLog(
        QStringLiteral("connection %1: series answer of %2 records, %3 bytes, built in %4 ms%5")
            .arg(connId)
            .arg((file.size() - 12 - 4 * qint64(columns)) / recordSize)
            .arg(file.size())
            .arg(ms)
            .arg(note.isEmpty() ? QString() : QStringLiteral(" (") + note + QLatin1Char(')')));
    c->SeriesFile = std::move(file);
    c->SeriesSent = 0;
    c->SeriesSending = true;
    PumpSeries(connId);
  }

 private:
  std::vector<quint64> Ids() const
  {
    std::vector<quint64> ids;
    ids.reserve(m_conns.size());
    for (const auto& entry : m_conns)
      ids.push_back(entry.first);
    return ids;
  }

  TConn* Find(quint64 id) const
  {
    const auto it = m_conns.find(id);
    return it != m_conns.end() ? it->second.get() : nullptr;
  }

  void Accept()
  {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
      const QString peer =
          socket->peerAddress().toString() + QLatin1Char(':') + QString::number(socket->peerPort());
      if (static_cast<int>(m_conns.size()) >= kMaxConnections) {
        ServerLog(QStringLiteral("connection from %1 refused: %2 connections open")
                      .arg(peer)
                      .arg(m_conns.size()));
        socket->abort();
        socket->deleteLater();
        continue;
      }
      const quint64 id = m_nextId++;
      auto conn = std::make_unique<TConn>();
      conn->Id = id;
      conn->Socket = socket;
      conn->Peer = peer;
      // Requests are small; a peer that floods is held back by the kernel.
      socket->setReadBufferSize(1024 * 1024);
      socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
      QObject::connect(socket, &QTcpSocket::readyRead, this, [this, id] { OnReadyRead(id); });
      QObject::connect(socket, &QTcpSocket::bytesWritten, this, [this, id] { PumpSeries(id); });
      QObject::connect(socket, &QTcpSocket::disconnected, this,
                       [this, id] { Close(id, QStringLiteral("closed by the terminal")); });
      QObject::connect(socket, &QAbstractSocket::errorOccurred, this,
                       [this, id](QAbstractSocket::SocketError code) {
                         if (TConn* c = Find(id)) {
                           Close(id, code == QAbstractSocket::RemoteHostClosedError
                                         ? QStringLiteral("closed by the terminal")
                                         : c->Socket->errorString());
                         }
                       });
      m_conns.emplace(id, std::move(conn));
      m_owner.Connections.store(static_cast<int>(m_conns.size()));
      ServerLog(QStringLiteral("connection %1 from %2").arg(id).arg(peer));
    }
  }

  void Close(quint64 id, const QString& reason)
  {
    const auto it = m_conns.find(id);
    if (it == m_conns.end())
      return;
    std::unique_ptr<TConn> conn = std::move(it->second);
    m_conns.erase(it);
    m_owner.Connections.store(static_cast<int>(m_conns.size()));
    QObject::disconnect(conn->Socket, nullptr, this, nullptr);
    conn->Socket->abort();
    conn->Socket->deleteLater();
    ServerLog(QStringLiteral("connection %1 (%2) closed: %3").arg(id).arg(conn->Peer, reason));
  }

  void OnReadyRead(quint64 id)
  {
    TConn* c = Find(id);
    if (c == nullptr)
      return;
    c->Reader.Append(c->Socket->readAll());
    for (;;) {
      bool broken = false;
      std::optional<TRecord> record = c->Reader.Next(&broken);
      if (broken) {
        Close(id, QStringLiteral("bad record: ") + c->Reader.Error());
        return;
      }
      if (!record)
        return;
      Handle(*c, *record);
      // Handling may have closed the connection.
      c = Find(id);
      if (c == nullptr)
        return;
    }
  }

  void Handle(TConn& c, const TRecord& record)
  {
    if (record.Type == RecLogOn) {
      const std::optional<TLogOnVersion> version = ParseLogOn(record.Data);
      if (!version) {
        Close(c.Id,
              QStringLiteral("log-on record of %1 bytes is too short").arg(record.Data.size()));
        return;
      }
      const bool accept = !m_owner.Options.RefuseLogOn;
      c.LoggedOn = accept;
      ServerLog(QStringLiteral("connection %1: log-on of version %2.%3.%4.%5 %6")
                    .arg(c.Id)
                    .arg(version->Major)
                    .arg(version->Minor)
                    .arg(version->Release)
                    .arg(version->Build)
                    .arg(accept ? QStringLiteral("accepted") : QStringLiteral("refused")));
      Send(c, RecLogOn, LogOnAnswerPayload(accept));
      return;
    }
    if (record.Type < RecTypeDefinitions || record.Type > RecSeriesRequest)
      return;  // not a request of this protocol: ignored, as the terminal does
    if (!c.LoggedOn) {
      ServerLog(QStringLiteral("connection %1: request %2 without an accepted log-on ignored")
                    .arg(c.Id)
                    .arg(record.Type));
      return;
    }
    switch (record.Type) {
      case RecTypeDefinitions:
      case RecMainDefinitions: {
        QByteArray document;
        {
          std::lock_guard lock(m_owner.DocsLock);
          document = record.Type == RecTypeDefinitions ? m_owner.Docs.Types : m_owner.Docs.Main;
        }
        ServerLog(QStringLiteral("connection %1: %2 definitions requested (%3 bytes)")
                      .arg(c.Id)
                      .arg(record.Type == RecTypeDefinitions ? QStringLiteral("type")
                                                             : QStringLiteral("main"))
                      .arg(document.size()));
        Send(c, record.Type, document);
        return;
      }
      case RecCurrentValues:
        ServerLog(QStringLiteral("connection %1: current values requested (%2 channels)")
                      .arg(c.Id)
                      .arg(m_latest.size()));
        c.Subscribed = true;
        SendCurrentValues(c);
        return;
      case RecSeriesRequest: {
        std::optional<TSeriesRequest> request = ParseSeriesRequest(record.Data);
        if (!request) {
          Close(c.Id,
                QStringLiteral("malformed series request of %1 bytes").arg(record.Data.size()));
          return;
        }
        if (static_cast<int>(c.Pending.size()) >= kMaxQueuedSeries) {
          Close(c.Id, QStringLiteral("more than %1 series requests queued").arg(kMaxQueuedSeries));
          return;
        }
        ServerLog(QStringLiteral("connection %1: series of %2 channel(s) from %3 to %4 requested")
                      .arg(c.Id)
                      .arg(request->Ids.size())
                      .arg(DayCountText(request->From), DayCountText(request->To)));
        c.Pending.push_back(std::move(*request));
        StartNextSeries(c);
        return;
      }
      default:
        return;
    }
  }

  // False when the connection had to be closed.
  bool Send(TConn& c, quint8 type, const QByteArray& payload)
  {
    c.Socket->write(EncodeRecord(type, payload));
    const qint64 pending = c.Socket->bytesToWrite();
    if (pending > TMeasServer::kMaxPendingOutput) {
      Close(c.Id, QStringLiteral("terminal does not read (%1 bytes pending)").arg(pending));
      return false;
    }
    return true;
  }

  void SendCurrentValues(TConn& c)
  {
    const int n = static_cast<int>(m_latest.size());
    if (n == 0) {
      Send(c, RecCurrentValues, CurrentValuesPayload({}));
      return;
    }
    for (int at = 0; at < n; at += TMeasServer::kMaxValuesPerRecord) {
      if (!Send(c, RecCurrentValues,
                CurrentValuesPayload(m_latest.mid(at, TMeasServer::kMaxValuesPerRecord))))
        return;
    }
  }

  void StartNextSeries(TConn& c)
  {
    if (c.SeriesBusy || c.Pending.empty())
      return;
    TSeriesRequest request = std::move(c.Pending.front());
    c.Pending.pop_front();
    c.SeriesBusy = true;
    m_owner.SubmitSeries(c.Id, request);
  }

  void PumpSeries(quint64 id)
  {
    TConn* c = Find(id);
    if (c == nullptr || !c->SeriesSending)
      return;
    const qint64 size = c->SeriesFile.size();
    while (c->SeriesSent < size) {
      if (c->Socket->bytesToWrite() >= kSeriesWindow)
        return;  // resumed by bytesWritten
      const quint32 n = static_cast<quint32>(std::min<qint64>(size - c->SeriesSent, kChunkData));
      const bool last = c->SeriesSent + n == size;
      const QByteArray chunk =
          SeriesChunkPayload(last, c->SeriesFile.constData() + c->SeriesSent, n);
      c->SeriesSent += n;
      if (!Send(*c, RecSeriesChunk, chunk))
        return;
    }
    c->SeriesSending = false;
    c->SeriesBusy = false;
    c->SeriesFile = QByteArray();
    StartNextSeries(*c);
  }

  TMeasServer::TImpl& m_owner;
  QTcpServer* m_server = nullptr;
  std::map<quint64, std::unique_ptr<TConn>> m_conns;
  quint64 m_nextId = 1;
  QVector<TCurrentValue> m_latest;
};

namespace {

// The network thread: builds the network side inside itself, so every socket
// is created, used and destroyed in this one thread.
class TNetThread : public QThread {
 public:
  explicit TNetThread(TMeasServer::TImpl& owner) : m_owner(owner)
  {
    setObjectName(QStringLiteral("ServerNet"));
  }

 protected:
  void run() override
  {
    TServerNet net(m_owner);
    QString error;
    const bool ok = net.Listen(&error);
    m_owner.NetStarted(ok ? &net : nullptr, ok, error);
    if (ok)
      exec();
    m_owner.NetEnding();
    net.CloseAll();
  }

 private:
  TMeasServer::TImpl& m_owner;
};

}  // namespace

// ---------------------------------------------------------------------------
// TImpl

void TMeasServer::TImpl::NetStarted(TServerNet* net, bool ok, const QString& error)
{
  {
    std::lock_guard lock(NetLock);
    Net = net;
  }
  {
    std::lock_guard lock(ListenLock);
    ListenOk = ok;
    ListenError = error;
  }
  NetReady.Set();
}

void TMeasServer::TImpl::NetEnding()
{
  std::lock_guard lock(NetLock);
  Net = nullptr;
}

void TMeasServer::TImpl::PostToNet(std::function<void(TServerNet&)> call)
{
  std::lock_guard lock(NetLock);
  if (Net == nullptr)
    return;
  QMetaObject::invokeMethod(
      Net, [net = Net, call = std::move(call)] { call(*net); }, Qt::QueuedConnection);
}

void TMeasServer::TImpl::SubmitSeries(quint64 connId, const TSeriesRequest& request)
{
  {
    std::lock_guard lock(JobLock);
    Jobs.push_back({connId, request});
  }
  JobCond.notify_one();
}

void TMeasServer::TImpl::WorkerLoop()
{
  for (;;) {
    TJob job;
    {
      std::unique_lock lock(JobLock);
      JobCond.wait(lock, [this] { return WorkerStop || !Jobs.empty(); });
      if (WorkerStop)
        return;
      job = std::move(Jobs.front());
      Jobs.pop_front();
    }
    QElapsedTimer timer;
    timer.start();
    QByteArray file;
    QString error;
    bool ok = false;
    try {
      ok = Source->Build(job.Request, file, &error);
    } catch (const std::exception& e) {
      error = QString::fromLocal8Bit(e.what());
    } catch (...) {
      error = QStringLiteral("unknown failure");
    }
    QString note;
    if (!ok) {
      // The terminal waits for the final chunk; it gets an empty series.
      note = QStringLiteral("source failed: ") + error;
      file = BuildSeriesFile(AnswerColumnIds(*Params, job.Request.Ids), {});
    }
    const qint64 ms = timer.elapsed();
    PostToNet([id = job.ConnId, file = std::move(file), note, ms](TServerNet& net) mutable {
      net.SeriesDone(id, std::move(file), note, ms);
    });
  }
}

bool TMeasServer::TImpl::BuildConfiguration(QString* error)
{
  TServerDocuments docs;
  if (!LoadServerDocuments(Options, docs, error))
    return false;
  // The terminal reads records of at most this size; a larger document
  // could never be delivered.
  if (docs.Types.size() > qsizetype(kMaxPayload) || docs.Main.size() > qsizetype(kMaxPayload)) {
    *error = QStringLiteral("definitions of %1 and %2 bytes exceed the record limit of %3 bytes")
                 .arg(docs.Types.size())
                 .arg(docs.Main.size())
                 .arg(kMaxPayload);
    return false;
  }
  Cmd = std::make_unique<TcmdParms>();
  Types = std::make_unique<TTypeListV4>();
  Params = std::make_unique<TMainDBParamsV4>(Types.get(), Cmd.get());
  QString why;
  if (Params->LoadTypeDocument(docs.Types, &why) != 0) {
    *error = QStringLiteral("type definitions refused: ") + why;
    return false;
  }
  TmainDB store;
  if (store.LoadDocument(*Params, docs.Main) != 0) {
    *error = QStringLiteral("main definitions refused: ") + store.LastError();
    return false;
  }
  Generator = std::make_unique<TValueGenerator>(Options.Seed, Options.PeriodMs);
  Channels.clear();
  {
    auto lock = Params->ReadLock();
    int unitCursor = -1;
    int chanCursor = -1;
    for (TInUnitV4* ch = Params->Units().FirstChannel(unitCursor, chanCursor, false, false);
         ch != nullptr; ch = Params->Units().NextChannel(unitCursor, chanCursor, false, false)) {
      Generator->AddChannel(GenChannelOf(*ch));
      Channels.push_back(ch);
    }
  }
  std::lock_guard lock(DocsLock);
  Docs = std::move(docs);
  return true;
}

void TMeasServer::TImpl::GeneratePeriod(double time)
{
  std::lock_guard gen(GenLock);
  if (!Generating)
    return;
  QHash<qint32, TGenValue> injected;
  {
    std::lock_guard lock(InjectLock);
    injected.swap(Injected);
  }
  QVector<TCurrentValue> values;
  values.reserve(static_cast<qsizetype>(Channels.size()));
  {
    auto lock = Params->ReadLock();
    for (int i = 0; i < static_cast<int>(Channels.size()); ++i) {
      TInUnitV4& channel = *Channels[static_cast<size_t>(i)];
      const auto found = injected.constFind(channel.LogId);
      const TGenValue v = found != injected.cend() ? *found : Generator->ValueAt(i, time);
      // The server's own channel state applies the limit check, so the
      // database holds what a terminal would derive; the wire carries the
      // device's answer and the terminal checks the limits itself.
      channel.SetReceived(0, time, v.Value, v.ErrCode);
      Db->StoreState(channel, 0);
      channel.Snapshot(0);
      values.push_back({channel.LogId, time, v.Value, v.ErrCode});
    }
  }
  {
    std::lock_guard lock(LastLock);
    Last = values;
  }
  PostToNet([values](TServerNet& net) { net.Push(values); });
}

void TMeasServer::TImpl::GeneratorLoop()
{
  const qint64 period = Generator->PeriodMs();
  qint64 lastBoundary = std::numeric_limits<qint64>::min();
  for (;;) {
    const qint64 nowMs = std::llround(NowDayCount() * kMsPerDay);
    qint64 next = (nowMs / period + 1) * period;
    // A wake a little before the boundary must not make the same period
    // twice; a clock set back (daylight saving) starts a new sequence.
    if (next <= lastBoundary && lastBoundary - next < 2 * period)
      next = lastBoundary + period;
    const qint64 wait = std::clamp<qint64>(next - nowMs, 1, period);
    if (GenStop.Wait(static_cast<int>(std::min<qint64>(wait, 1 << 30))))
      return;
    lastBoundary = next;
    GeneratePeriod(static_cast<double>(next) / kMsPerDay);
  }
}

void TMeasServer::TImpl::Shutdown()
{
  Running.store(false);
  Stopping.store(true);
  {
    std::lock_guard gen(GenLock);
    Generating = false;
  }
  GenStop.Set();
  if (GenThread.joinable())
    GenThread.join();
  {
    std::lock_guard lock(JobLock);
    WorkerStop = true;
    Jobs.clear();
  }
  JobCond.notify_all();
  if (Worker.joinable())
    Worker.join();
  if (NetThread) {
    NetThread->quit();
    NetThread->wait();
    NetThread.reset();
  }
  if (Db) {
    Db->Stop();
    Db.reset();
  }
  PortValue.store(0);
  Connections.store(0);
}

// ---------------------------------------------------------------------------
// TMeasServer

TMeasServer::TMeasServer(TServerOptions options)
    : m_impl(std::make_unique<TImpl>(std::move(options)))
{
}

TMeasServer::~TMeasServer()
{
  Stop();
}

bool TMeasServer::Start(QString* error)
{
  TImpl& d = *m_impl;
  QString localError;
  QString& err = error != nullptr ? *error : localError;
  if (d.Running.load() || d.NetThread) {
    err = QStringLiteral("the server is already running");
    return false;
  }
  d.Stopping.store(false);
  d.GenStop.ResetEvent();
  d.NetReady.ResetEvent();
  {
    std::lock_guard lock(d.JobLock);
    d.WorkerStop = false;
  }
  if (d.Options.PeriodMs <= 0) {
    err = QStringLiteral("the measuring period must be positive");
    return false;
  }
  if (d.Options.DataDir.isEmpty()) {
    err = QStringLiteral("no data folder given");
    return false;
  }
  if (d.DefaultSource)
    d.Source.reset();
  d.Db.reset();
  if (!d.BuildConfiguration(&err))
    return false;

  d.BasesDir = QDir(d.Options.DataDir).absolutePath() + QLatin1Char('/');
  if (!QDir().mkpath(d.BasesDir)) {
    err = QStringLiteral("cannot make the data folder %1").arg(d.BasesDir);
    return false;
  }
  if (d.Options.HistoryDays > 0) {
    QElapsedTimer timer;
    timer.start();
    THistoryStats total;
    // A long fill ends well after the "now" it started from; the short
    // passes after it close that span, so live values follow the history
    // without the writer seeing a hole (and writing gap rows).
    double from = NowDayCount() - d.Options.HistoryDays;
    for (int pass = 0; pass < 3; ++pass) {
      const double to = NowDayCount();
      THistoryStats stats;
      if (!FillHistory(d.BasesDir, *d.Generator, from, to, &stats, &err, &d.Stopping))
        return false;
      total.Times += stats.Times;
      total.Rows += stats.Rows;
      total.Skipped += stats.Skipped;
      from = to;
    }
    ServerLog(QStringLiteral("history of %1 day(s): %2 periods (%3 measurements) written, %4 "
                             "already stored, in %5 ms")
                  .arg(d.Options.HistoryDays)
                  .arg(total.Times)
                  .arg(total.Rows)
                  .arg(total.Skipped)
                  .arg(timer.elapsed()));
  }

  d.Db = std::make_unique<TDBThr>(d.BasesDir, d.Params.get());
  d.Db->SetPeriod(d.Options.PeriodMs >= 1000 ? std::llround(d.Options.PeriodMs / 1000.0) : 0);
  // Nothing to catch up from a data logger: live records go straight in.
  d.Db->SetCatchUpDone();
  if (!d.Source) {
    d.Source = std::make_unique<TDbSeriesSource>(d.BasesDir, d.Params.get(), &d.Stopping);
    d.DefaultSource = true;
  }
  d.Worker = std::thread([&d] { d.WorkerLoop(); });

  // A terminal that asks at once finds values already.
  {
    std::lock_guard gen(d.GenLock);
    d.Generating = true;
  }
  d.GeneratePeriod(NowDayCount());

  d.NetThread = std::make_unique<TNetThread>(d);
  d.NetThread->start();
  while (!d.NetReady.Wait(100)) {
    if (d.NetThread->isFinished())
      break;
  }
  bool listening = false;
  {
    std::lock_guard lock(d.ListenLock);
    listening = d.ListenOk;
    err = d.ListenError;
  }
  if (!listening) {
    if (err.isEmpty())
      err = QStringLiteral("the network thread ended");
    d.Shutdown();
    return false;
  }
  d.Running.store(true);
  d.GenThread = std::thread([&d] { d.GeneratorLoop(); });
  ServerLog(QStringLiteral("serving %1 channel(s), period %2 ms, data in %3")
                .arg(d.Channels.size())
                .arg(d.Options.PeriodMs)
                .arg(d.BasesDir));
  return true;
}

void TMeasServer::Stop()
{
  TImpl& d = *m_impl;
  if (!d.Running.load() && !d.NetThread && !d.Worker.joinable() && !d.Db)
    return;
  d.Shutdown();
  ServerLog(QStringLiteral("server stopped"));
}

quint16 TMeasServer::Port() const
{
  return m_impl->PortValue.load();
}

QByteArray TMeasServer::TypesDocument() const
{
  std::lock_guard lock(m_impl->DocsLock);
  return m_impl->Docs.Types;
}

QByteArray TMeasServer::MainDocument() const
{
  std::lock_guard lock(m_impl->DocsLock);
  return m_impl->Docs.Main;
}

void TMeasServer::SetSeriesSource(std::unique_ptr<ISeriesSource> source)
{
  if (m_impl->Running.load())
    return;
  m_impl->Source = std::move(source);
  m_impl->DefaultSource = false;
}

void TMeasServer::PushNow()
{
  if (m_impl->Running.load())
    m_impl->GeneratePeriod(NowDayCount());
}

void TMeasServer::InjectValue(qint32 logId, double value, qint32 errCode)
{
  std::lock_guard lock(m_impl->InjectLock);
  m_impl->Injected.insert(logId, TGenValue{value, errCode});
}

QVector<TCurrentValue> TMeasServer::LastSent() const
{
  std::lock_guard lock(m_impl->LastLock);
  return m_impl->Last;
}

int TMeasServer::ConnectionCount() const
{
  return m_impl->Connections.load();
}
