#include "comm/tcpClient.h"

#include "AppVersion.h"
#include "app/appMessages.h"
#include "app/statusLog.h"
#include "app/textFormat.h"
#include "app/translation.h"
#include "model/DevListV4.h"
#include "storage/mainDBxml.h"

#include <QFile>
#include <QTcpSocket>

#include <exception>

void SplitServerPath(const QString& path, quint16 defaultPort, QString& host, quint16& port)
{
  host = path;
  port = defaultPort;
  QString portText;
  bool hasPort = false;
  if (path.startsWith(QLatin1Char('[')) && path.contains(QLatin1Char(']'))) {
    const qsizetype close = path.indexOf(QLatin1Char(']'));
    host = path.mid(1, close - 1);
    const QString rest = path.mid(close + 1);
    hasPort = rest.startsWith(QLatin1Char(':'));
    portText = rest.mid(1);
  } else if (const qsizetype colon = path.lastIndexOf(QLatin1Char(':')); colon >= 0) {
    host = path.left(colon);
    portText = path.mid(colon + 1);
    hasPort = true;
  }
  if (!hasPort)
    return;
  bool ok = false;
  const int value = portText.toInt(&ok, 10);
  if (ok && value >= 1 && value <= 65535)
    port = static_cast<quint16>(value);
}

// ---------------------------------------------------------------------------

TClientHandleThread::TClientHandleThread(TMainDBParamsV4* params, TCurrChartLink currChart,
                                         QString path, quint16 defaultPort,
                                         std::atomic<bool>* connected)
    : m_params(params),
      m_currChart(std::move(currChart)),
      m_path(std::move(path)),
      m_connected(connected),
      m_seriesFile(params)
{
  SplitServerPath(m_path, defaultPort, m_host, m_port);
  setObjectName(QStringLiteral("ServerLink"));
  m_lastSend.start();
}

TClientHandleThread::~TClientHandleThread()
{
  if (isRunning()) {
    requestInterruption();
    wait();
  }
  // An unstarted object (tests) may still hold a transfer.
  DiscardUnfinishedSeries();
}

int TClientHandleThread::WaitConnected()
{
  QThread* caller = QThread::currentThread();
  // The receiving thread gives up after kConnectTimeoutMs itself; the slices
  // let a stop request to the caller end the wait early.
  while (!m_connectDone.Wait(50)) {
    if (caller->isInterruptionRequested() || !isRunning()) {
      if (m_connectDone.IsSet())
        break;
      return -1;
    }
  }
  return m_connectResult.load();
}

void TClientHandleThread::run()
{
  QTcpSocket socket;
  socket.connectToHost(m_host, m_port);
  QElapsedTimer connecting;
  connecting.start();
  bool connected = false;
  while (!isInterruptionRequested() && connecting.elapsed() < kConnectTimeoutMs) {
    if (socket.waitForConnected(50)) {
      connected = true;
      break;
    }
    if (socket.state() == QAbstractSocket::UnconnectedState)
      break;  // refused or unresolvable: no point waiting out the time-out
  }
  if (connected) {
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_connected->store(true, std::memory_order_release);
    // Logged here, before any record is handled, so the log reads in order.
    AddLogMessage(TrFormat("Connected to %s", {m_path}), LogInfo);
  } else {
    socket.abort();
    AddLogMessage(Tr("Connection error."), LogError);
  }
  m_connectResult.store(connected ? 0 : -1);
  m_connectDone.Set();

  bool lost = false;
  if (connected) {
    TRecordReader reader;
    QByteArray chunk(256 * 1024, Qt::Uninitialized);
    auto send = [&socket](const QByteArray& record) {
      if (record.isEmpty() || socket.state() != QAbstractSocket::ConnectedState)
        return;
      socket.write(record);
      socket.flush();
    };
    while (!isInterruptionRequested()) {
      if (socket.bytesAvailable() == 0)
        socket.waitForReadyRead(kPollMs);
      while (socket.bytesAvailable() > 0) {
        const qint64 n = socket.read(chunk.data(), chunk.size());
        if (n <= 0)
          break;
        reader.Append(chunk.constData(), n);
      }
      bool broken = false;
      try {
        while (auto record = reader.Next(&broken))
          HandleRecord(*record);
        send(DueRequest());
        send(TakeSeriesRequest());
      } catch (const std::exception& e) {
        // A failure in one record must not end the link; the record is gone.
        qWarning("server link: %s", e.what());
      }
      if (broken) {
        qWarning("server link: %s", qPrintable(reader.Error()));
        socket.abort();
      }
      // Pending output is pushed out in short waits so a stop is still seen.
      if (socket.bytesToWrite() > 0)
        socket.waitForBytesWritten(kPollMs);
      if (socket.state() != QAbstractSocket::ConnectedState) {
        lost = true;
        break;
      }
    }
    socket.abort();
  }
  m_connected->store(false, std::memory_order_release);
  {
    std::lock_guard lock(m_seriesMutex);
    m_ended = true;
  }
  // A requester waiting for a series would otherwise wait forever.
  DiscardUnfinishedSeries();
  FinishSeries(QString());
  if (lost)
    AddLogMessage(Tr("Server has closed connection."), LogError);
}

QByteArray TClientHandleThread::DueRequest()
{
  const quint8 step = m_step.load(std::memory_order_relaxed);
  if (step == m_lastStep && m_lastSend.elapsed() <= m_resendMs)
    return {};
  m_lastStep = step;
  m_lastSend.restart();
  switch (step) {
    case StepLogOn:
      return EncodeRecord(RecLogOn, LogOnPayload(AppVersion::Major, AppVersion::Minor,
                                                 AppVersion::Release, AppVersion::Build));
    case StepTypes:
      return EncodeRecord(RecTypeDefinitions);
    case StepMainDefinitions:
      return EncodeRecord(RecMainDefinitions);
    case StepCurrentValues:
      return EncodeRecord(RecCurrentValues);
    default:
      return {};
  }
}

int TClientHandleThread::HandleRecord(const TRecord& record)
{
  switch (record.Type) {
    case RecLogOn:
      HandleLogOnAnswer(record.Data);
      return 0;
    case RecTypeDefinitions:
      HandleTypes(record.Data);
      return 0;
    case RecMainDefinitions:
      HandleMainDefinitions(record.Data);
      return 0;
    case RecCurrentValues:
      return HandleCurrentValues(record.Data);
    case RecSeriesChunk:
      HandleSeriesChunk(record.Data);
      return 0;
    default:
      return 0;
  }
}

// Late duplicates are normal once requests are resent after 10 s, so each
// answer is taken only in the step that asked for it; the step never goes back.
void TClientHandleThread::HandleLogOnAnswer(const QByteArray& payload)
{
  if (Step() != StepLogOn)
    return;
  // A short answer cannot say "accepted": it counts as refused.
  if (ParseLogOnAnswer(payload).value_or(false)) {
    AddLogMessage(Tr("Logged on"), LogInfo);
    m_step.store(StepTypes, std::memory_order_release);
  } else {
    AddLogMessage(Tr("Wrong protocol version."), LogError);
    m_step.store(StepRefused, std::memory_order_release);
  }
}

void TClientHandleThread::HandleTypes(const QByteArray& payload)
{
  if (Step() != StepTypes || m_params == nullptr)
    return;
  QString error;
  if (m_params->LoadTypeDocument(payload, &error) != 0) {
    // Asked again after the resend time; the status log stays quiet as the
    // operator can do nothing about it.
    qWarning("server link: type definitions refused: %s", qPrintable(error));
    return;
  }
  m_step.store(StepMainDefinitions, std::memory_order_release);
  AddLogMessage(Tr("Type's definitions loaded"), LogInfo);
}

void TClientHandleThread::HandleMainDefinitions(const QByteArray& payload)
{
  // A later copy is a reload, which the configuration takes as a whole.
  if (Step() < StepMainDefinitions || m_params == nullptr)
    return;
  {
    TmainDB reader;
    if (reader.LoadDocument(*m_params, payload) != 0) {
      qWarning("server link: main definitions refused: %s", qPrintable(reader.LastError()));
      return;
    }
    reader.CloseThreadConnection();
  }
  if (Step() == StepMainDefinitions)
    m_step.store(StepCurrentValues, std::memory_order_release);
  AddLogMessage(Tr("Main definitions loaded"), LogInfo);
  // After the configuration lock is released: the handlers read it.
  AppMessages::SendToMain({AppMsg::ConfigChanged, 0, 0, m_params});
  AppMessages::SendToMain({AppMsg::SettingsChanged, 0, 0, m_params});
}

int TClientHandleThread::HandleCurrentValues(const QByteArray& payload)
{
  const qint32 count = CurrentValueCount(payload);
  int applied = 0;
  if (m_params != nullptr && count > 0) {
    ICurrChartThr* currChart = m_currChart ? m_currChart() : nullptr;
    auto lock = m_params->ReadLock();
    if (m_indexRevision != m_params->Revision()) {
      m_channelIndex = m_params->Units().InUnitIndex();
      m_indexRevision = m_params->Revision();
    }
    for (qint32 i = 0; i < count; ++i) {
      const TCurrentValue entry = CurrentValueAt(payload, i);
      TInUnitV4* channel = m_channelIndex.value(entry.LogId, nullptr);
      if (channel == nullptr)
        continue;
      const TStateValues state = channel->SetReceived(0, entry.Time, entry.Value, entry.ErrCode);
      if (currChart != nullptr)
        currChart->Update(channel, state);
      channel->Snapshot(0);
      ++applied;
    }
  }
  if (Step() == StepCurrentValues)
    m_step.store(StepRunning, std::memory_order_release);
  return applied;
}

void TClientHandleThread::HandleSeriesChunk(const QByteArray& payload)
{
  bool last = false;
  QByteArray data;
  if (!ParseSeriesChunk(payload, last, data))
    return;
  if (m_skipAnswers > 0) {
    if (last)
      --m_skipAnswers;
    return;
  }
  // No transfer open (nothing asked): nothing to add to.
  if (!m_seriesOpen)
    return;
  if (!m_seriesFile.Append(data.constData(), data.size())) {
    qWarning("server link: series file %s cannot be written", qPrintable(m_seriesFile.FileName));
    DiscardUnfinishedSeries();
    if (last)
      --m_skipAnswers;
    FinishSeries(QString());
    return;
  }
  if (last) {
    m_seriesFile.CloseFile();
    m_seriesOpen = false;
    FinishSeries(m_seriesFile.FileName);
  }
}

void TClientHandleThread::RequestSeries(const QVector<qint32>& ids, quint8 flag, double from,
                                        double to, TEvent* done)
{
  const auto payload = SeriesRequestPayload(from, to, flag, ids);
  std::lock_guard lock(m_seriesMutex);
  m_seriesDone = done;
  if (!payload || m_ended) {
    // Refused at once, so the report shows nothing rather than an older file.
    m_seriesPending = false;
    m_seriesFileName.clear();
    m_seriesDone = nullptr;
    if (done != nullptr)
      done->Set();
    return;
  }
  m_seriesPayload = *payload;
  m_seriesPending = true;
}

void TClientHandleThread::CancelRequest(TEvent* done)
{
  std::lock_guard lock(m_seriesMutex);
  if (m_seriesDone == done) {
    m_seriesDone = nullptr;
    m_seriesPending = false;
  }
}

QString TClientHandleThread::SeriesFileName() const
{
  std::lock_guard lock(m_seriesMutex);
  return m_seriesFileName;
}

QByteArray TClientHandleThread::TakeSeriesRequest()
{
  QByteArray payload;
  {
    std::lock_guard lock(m_seriesMutex);
    if (!m_seriesPending)
      return {};
    payload = m_seriesPayload;
  }
  // Every request gets a new file; an unfinished one is of no use any more.
  DiscardUnfinishedSeries();
  try {
    m_seriesFile.CreateFile();
  } catch (const std::exception& e) {
    // The request stays pending and is tried again on the next pass.
    qWarning("server link: no series file: %s", e.what());
    return {};
  }
  m_seriesOpen = true;
  {
    std::lock_guard lock(m_seriesMutex);
    m_seriesPending = false;
  }
  return EncodeRecord(RecSeriesRequest, payload);
}

void TClientHandleThread::DiscardUnfinishedSeries()
{
  if (!m_seriesOpen)
    return;
  m_seriesFile.CloseFile();
  QFile::remove(m_seriesFile.FileName);
  m_seriesOpen = false;
  ++m_skipAnswers;
}

void TClientHandleThread::FinishSeries(const QString& fileName)
{
  std::lock_guard lock(m_seriesMutex);
  m_seriesFileName = fileName;
  if (m_seriesDone != nullptr) {
    m_seriesDone->Set();
    m_seriesDone = nullptr;
  }
}

// ---------------------------------------------------------------------------

TtcpClient::TtcpClient(TMainDBParamsV4* params, TCurrChartLink currChart)
    : m_params(params), m_currChart(std::move(currChart))
{
}

TtcpClient::~TtcpClient() { Disconnect(); }

int TtcpClient::Connect(const QString& path, quint16 defaultPort)
{
  Disconnect();
  auto receiver = std::make_unique<TClientHandleThread>(m_params, m_currChart, path,
                                                        defaultPort, &m_connected);
  receiver->start();
  const int result = receiver->WaitConnected();
  std::lock_guard lock(m_receiverMutex);
  // Kept even after a failure: the object ends by itself and is joined by
  // the next Connect or Disconnect.
  m_receiver = std::move(receiver);
  return result;
}

void TtcpClient::Disconnect()
{
  std::unique_ptr<TClientHandleThread> receiver;
  {
    std::lock_guard lock(m_receiverMutex);
    receiver = std::move(m_receiver);
  }
  // Joined outside the mutex: a requester meanwhile finds no receiver and is
  // answered at once.
  if (receiver) {
    receiver->requestInterruption();
    receiver->wait();
  }
  m_connected.store(false, std::memory_order_release);
}

void TtcpClient::RequestSeries(const QVector<qint32>& ids, quint8 flag, double from, double to,
                               TEvent* done)
{
  std::lock_guard lock(m_receiverMutex);
  if (m_receiver) {
    m_receiver->RequestSeries(ids, flag, from, to, done);
  } else if (done != nullptr) {
    done->Set();
  }
}

void TtcpClient::CancelRequest(TEvent* done)
{
  std::lock_guard lock(m_receiverMutex);
  if (m_receiver)
    m_receiver->CancelRequest(done);
}

QString TtcpClient::SeriesFileName() const
{
  std::lock_guard lock(m_receiverMutex);
  return m_receiver ? m_receiver->SeriesFileName() : QString();
}

quint8 TtcpClient::Step() const
{
  std::lock_guard lock(m_receiverMutex);
  return m_receiver ? m_receiver->Step() : quint8(0);
}
