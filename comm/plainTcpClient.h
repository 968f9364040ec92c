#pragma once

// A plain TCP connection to the measurement server: connects, keeps the
// socket open and notices when the server drops it. The receiving thread owns
// the socket; other threads see only the atomic connected flag.

#include "app/logicParts.h"
#include "app/syncEvent.h"

#include <QString>
#include <QThread>

#include <atomic>

class TPlainSocketWorker;

// Splits "host" or "host:port" ("[v6]:port" for IPv6 literals). False when the
// host is empty or the port is not in 1..65535.
bool SplitServerPath(const QString& path, quint16 defaultPort, QString& host, quint16& port);

class TPlainTcpClient : public IServerConnection {
 public:
  static constexpr int kConnectTimeoutMs = 10000;

  TPlainTcpClient();
  ~TPlainTcpClient() override;

  int Connect(const QString& path, quint16 defaultPort) override;
  void Disconnect() override;
  bool Connected() const override { return m_connected.load(std::memory_order_acquire); }

 private:
  friend class TPlainSocketWorker;

  QThread m_thread;
  TPlainSocketWorker* m_worker = nullptr;  // lives in m_thread
  TEvent m_attemptDone{TEvent::Reset::Auto};
  std::atomic<bool> m_connected{false};
  std::atomic<bool> m_attemptOk{false};
};
