#include "comm/plainTcpClient.h"

#include "app/statusLog.h"
#include "app/textFormat.h"
#include "app/translation.h"

#include <QTcpSocket>
#include <QTimer>

bool SplitServerPath(const QString& path, quint16 defaultPort, QString& host, quint16& port)
{
  const QString text = path.trimmed();
  QString portText;
  if (text.startsWith(QLatin1Char('['))) {
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    if (close < 0)
      return false;
    host = text.mid(1, close - 1);
    const QString rest = text.mid(close + 1);
    if (!rest.isEmpty()) {
      if (!rest.startsWith(QLatin1Char(':')))
        return false;
      portText = rest.mid(1);
    }
  } else if (text.count(QLatin1Char(':')) == 1) {
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    host = text.left(colon);
    portText = text.mid(colon + 1);
  } else {
    host = text;  // a bare IPv6 literal has several colons and no port
  }
  if (host.isEmpty())
    return false;
  if (portText.isNull()) {
    port = defaultPort;
    return true;
  }
  bool ok = false;
  const uint value = portText.toUInt(&ok, 10);
  if (!ok || value == 0 || value > 65535)
    return false;
  port = static_cast<quint16>(value);
  return true;
}

// Lives in the receiving thread and owns the socket there.
class TPlainSocketWorker : public QObject {
 public:
  explicit TPlainSocketWorker(TPlainTcpClient& owner) : m_owner(owner) {}

  void Open(const QString& host, quint16 port, const QString& path)
  {
    Close();
    m_path = path;
    m_socket = new QTcpSocket(this);
    m_timeout = new QTimer(this);
    m_timeout->setSingleShot(true);
    QObject::connect(m_timeout, &QTimer::timeout, this, [this] { Finish(false); });
    QObject::connect(m_socket, &QTcpSocket::connected, this, [this] { Finish(true); });
    QObject::connect(m_socket, &QAbstractSocket::errorOccurred, this, [this] {
      if (m_pending)
        Finish(false);
    });
    QObject::connect(m_socket, &QTcpSocket::disconnected, this, [this] {
      if (m_owner.m_connected.exchange(false))
        AddLogMessage(Tr("Server has closed connection."), LogError);
    });
    // Nothing is interpreted yet; the bytes are drained so the server never
    // blocks on a full window.
    QObject::connect(m_socket, &QTcpSocket::readyRead, this, [this] { m_socket->readAll(); });
    m_pending = true;
    m_timeout->start(TPlainTcpClient::kConnectTimeoutMs);
    m_socket->connectToHost(host, port);
  }

  void Close()
  {
    m_pending = false;
    m_owner.m_connected.store(false);
    if (m_timeout != nullptr) {
      m_timeout->stop();
      delete m_timeout;
      m_timeout = nullptr;
    }
    if (m_socket != nullptr) {
      m_socket->disconnect(this);
      m_socket->abort();
      delete m_socket;
      m_socket = nullptr;
    }
  }

 private:
  void Finish(bool ok)
  {
    if (!m_pending)
      return;
    m_pending = false;
    m_timeout->stop();
    if (ok) {
      m_owner.m_connected.store(true, std::memory_order_release);
      AddLogMessage(TrFormat("Connected to %s", {m_path}), LogInfo);
    } else {
      AddLogMessage(Tr("Connection error."), LogError);
      m_socket->abort();
    }
    m_owner.m_attemptOk.store(ok);
    m_owner.m_attemptDone.Set();
  }

  TPlainTcpClient& m_owner;
  QTcpSocket* m_socket = nullptr;
  QTimer* m_timeout = nullptr;
  QString m_path;
  bool m_pending = false;
};

TPlainTcpClient::TPlainTcpClient()
{
  m_thread.setObjectName(QStringLiteral("ServerLink"));
}

TPlainTcpClient::~TPlainTcpClient() { Disconnect(); }

int TPlainTcpClient::Connect(const QString& path, quint16 defaultPort)
{
  QString host;
  quint16 port = 0;
  if (!SplitServerPath(path, defaultPort, host, port)) {
    AddLogMessage(Tr("Connection error."), LogError);
    return -1;
  }
  if (!m_thread.isRunning()) {
    m_worker = new TPlainSocketWorker(*this);
    m_worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
  }
  m_attemptDone.ResetEvent();
  m_attemptOk.store(false);
  QMetaObject::invokeMethod(
      m_worker, [w = m_worker, host, port, path] { w->Open(host, port, path); },
      Qt::QueuedConnection);
  // Waits in slices so a stop request to the calling thread ends the wait.
  QThread* caller = QThread::currentThread();
  for (int waited = 0; waited <= kConnectTimeoutMs + 1000; waited += 50) {
    if (m_attemptDone.Wait(50))
      return m_attemptOk.load() ? 0 : -1;
    if (caller->isInterruptionRequested())
      break;
  }
  Disconnect();
  return -1;
}

void TPlainTcpClient::Disconnect()
{
  // The receiving thread ends with the connection; Connect starts a new one.
  if (m_thread.isRunning()) {
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker] { w->Close(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    m_worker = nullptr;
  }
  m_connected.store(false);
}
