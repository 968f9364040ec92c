#pragma once

// The terminal's link to the measurement server: TtcpClient opens the
// connection, TClientHandleThread owns the socket from then on, logs on,
// asks for the definitions in a fixed order, applies current values to the
// channels and carries series requests for the report generator.
//
// Threads: the controller calls Connect/Disconnect; the receiving thread does
// all socket work; the report generator calls RequestSeries/CancelRequest and
// reads SeriesFileName. Everything the threads share is atomic or under
// m_seriesMutex; the configuration is touched under its own lock only, and
// application messages are sent after that lock is released.

#include "app/logicParts.h"
#include "app/syncEvent.h"
#include "comm/measStream.h"
#include "comm/tcpRecord.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QThread>
#include <QVector>

#include <atomic>
#include <memory>
#include <mutex>

class TMainDBParamsV4;

// Splits a server path as the operator types it: the host is the text before
// the last colon and the port the number after it; a missing, non-numeric or
// out-of-range port (outside 1..65535) gives defaultPort. "[v6]:port" and
// "[v6]" have their brackets removed.
void SplitServerPath(const QString& path, quint16 defaultPort, QString& host, quint16& port);

// Log-on progress of one connection. It only moves forward.
enum TLinkStep : quint8 {
  StepLogOn = 0,
  StepRefused = 1,
  StepTypes = 2,
  StepMainDefinitions = 3,
  StepCurrentValues = 4,
  StepRunning = 5,
};

class TClientHandleThread : public QThread {
 public:
  static constexpr int kConnectTimeoutMs = 10000;
  static constexpr qint64 kResendMs = 10000;
  // Longest a pass waits for data, so stop requests and series requests are
  // seen promptly.
  static constexpr int kPollMs = 20;

  // `path` is the server path as typed, for the status log.
  TClientHandleThread(TMainDBParamsV4* params, TCurrChartLink currChart, QString path,
                      quint16 defaultPort, std::atomic<bool>* connected);
  ~TClientHandleThread() override;

  // Waits until the connection attempt has a result: 0 connected, -1 failed.
  // Thread contract: the thread that started this one.
  int WaitConnected();

  quint8 Step() const { return m_step.load(std::memory_order_acquire); }
  // Unanswered requests are sent again after this long. Before start only.
  void SetResendInterval(qint64 ms) { m_resendMs = ms; }

  // ---- series (thread contract: any thread) ----
  // Stores the request and wakes the receiving thread; `done` is set when the
  // series file is complete, or at once (with an empty file name) when the
  // request cannot be carried: more than kMaxSeriesIds ids, or no connection.
  void RequestSeries(const QVector<qint32>& ids, quint8 flag, double from, double to,
                     TEvent* done);
  // The requester stops waiting: `done` is never touched again.
  void CancelRequest(TEvent* done);
  // The file of the last completed series ("" when none or refused).
  QString SeriesFileName() const;

  // Handles one received record. The receiving thread calls it for every
  // complete record; tests and benchmarks drive it directly on an unstarted
  // object. Returns the number of current values applied.
  int HandleRecord(const TRecord& record);
  // The request record due in the current step, if any (the 10 s resend
  // included); marks it sent.
  QByteArray DueRequest();
  // The series request record when one waits (a new series file is then
  // open for its answer); empty otherwise.
  QByteArray TakeSeriesRequest();

 protected:
  void run() override;

 private:
  void HandleLogOnAnswer(const QByteArray& payload);
  void HandleTypes(const QByteArray& payload);
  void HandleMainDefinitions(const QByteArray& payload);
  int HandleCurrentValues(const QByteArray& payload);
  void HandleSeriesChunk(const QByteArray& payload);
  void DiscardUnfinishedSeries();
  void FinishSeries(const QString& fileName);

  TMainDBParamsV4* const m_params;
  const TCurrChartLink m_currChart;
  const QString m_path;
  QString m_host;
  quint16 m_port = 0;
  std::atomic<bool>* const m_connected;

  std::atomic<quint8> m_step{StepLogOn};
  quint8 m_lastStep = 6;  // differs from every step, so the first pass sends
  qint64 m_resendMs = kResendMs;
  QElapsedTimer m_lastSend;

  TEvent m_connectDone{TEvent::Reset::Manual};
  std::atomic<int> m_connectResult{-1};

  // Channel lookup by LogId, rebuilt when the configuration's revision moves.
  QHash<qint32, TInUnitV4*> m_channelIndex;
  quint64 m_indexRevision = ~quint64(0);

  // Series request block and completion, shared with the requester.
  mutable std::mutex m_seriesMutex;
  bool m_seriesPending = false;
  bool m_ended = false;
  QByteArray m_seriesPayload;
  TEvent* m_seriesDone = nullptr;
  QString m_seriesFileName;
  // Receiving thread only.
  TmeasMemStream m_seriesFile;
  bool m_seriesOpen = false;
  // Answers to abandoned requests still on their way: their chunks are
  // dropped up to and including each one's last chunk, so they never end up
  // in the file of a newer request.
  int m_skipAnswers = 0;
};

class TtcpClient : public IServerConnection {
 public:
  TtcpClient(TMainDBParamsV4* params, TCurrChartLink currChart);
  ~TtcpClient() override;

  int Connect(const QString& path, quint16 defaultPort) override;
  void Disconnect() override;
  bool Connected() const override { return m_connected.load(std::memory_order_acquire); }

  // Series requests go through the client so they never reach a receiver
  // that has been replaced: without one, `done` is set at once.
  // Thread contract: any thread.
  void RequestSeries(const QVector<qint32>& ids, quint8 flag, double from, double to,
                     TEvent* done);
  void CancelRequest(TEvent* done);
  QString SeriesFileName() const;
  // 0 when there is no receiver. Thread contract: any thread.
  quint8 Step() const;

 private:
  TMainDBParamsV4* const m_params;
  const TCurrChartLink m_currChart;
  std::atomic<bool> m_connected{false};
  // Replaced only by the controller thread; others read it under the mutex.
  mutable std::mutex m_receiverMutex;
  std::unique_ptr<TClientHandleThread> m_receiver;
};
