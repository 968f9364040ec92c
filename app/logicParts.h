#pragma once

// The objects the logic controller creates and drives, seen through small
// interfaces. The controller only needs to create, poll and stop them, so the
// real server link, report thread, logging controller and current-values
// thread plug in here, and tests substitute doubles.

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class TcmdParms;
class TInUnitV4;
class TMainDBParamsV4;
class TTypeListV4;
struct TStateValues;

// Connection to the measurement server.
class IServerConnection {
 public:
  virtual ~IServerConnection() = default;
  // Connects to "host" or "host:port" (defaultPort when the path has none)
  // and starts receiving. 0 on success, -1 on failure (already logged).
  // Thread contract: controller thread; blocks at most about 10 s.
  virtual int Connect(const QString& path, quint16 defaultPort) = 0;
  // Closes the connection and stops the receiving thread.
  // Thread contract: controller thread.
  virtual void Disconnect() = 0;
  // Thread contract: any thread.
  virtual bool Connected() const = 0;
};

// A worker thread the controller stops during shutdown.
class IWorker {
 public:
  virtual ~IWorker() = default;
  // Request interruption, wake the thread's event, join. Idempotent.
  // Thread contract: controller thread (or the UI thread after it ended).
  virtual void Stop() = 0;
};

// The current-values thread as the server link sees it.
class ICurrChartThr : public IWorker {
 public:
  // A value received for `channel`, exactly as it was stored in the state
  // (after the limit check), so a burst for one channel is counted value by
  // value. Called by the receiving thread under the configuration's read
  // lock: it only queues.
  virtual void Update(TInUnitV4* channel, const TStateValues& state) = 0;
};

// How the server link finds the current-values thread, which is created only
// after connecting: null until then and again once it is being stopped.
using TCurrChartLink = std::function<ICurrChartThr*()>;

// Measurement logging controller: in the terminal it holds the current-values
// thread and the Modbus side; its logging cycle is not run.
class IMeasureLog : public IWorker {
 public:
  // 0 when logging may close (may ask the operator).
  virtual int CanClose() = 0;
  virtual void HandRequests() = 0;
  // Runs the logging state machine until logging closes. Controller thread.
  virtual void Run() = 0;
  // The system clock was set. Thread contract: UI thread.
  virtual void IntervalChanged() = 0;

  // The current-values thread is published with release/acquire ordering so
  // the server link, which runs from the moment of connecting, sees either
  // nothing or a fully built object.
  void SetCurrChartThr(std::unique_ptr<ICurrChartThr> thread);
  ICurrChartThr* CurrChartThr() const { return m_currChart.load(std::memory_order_acquire); }
  // Unpublishes and stops the thread; the object itself is freed with this one.
  void StopCurrChartThr();

 private:
  std::unique_ptr<ICurrChartThr> m_currChartOwner;
  std::atomic<ICurrChartThr*> m_currChart{nullptr};
};

// Factory for everything the controller creates. Each call runs on the
// controller thread.
class ILogicParts {
 public:
  virtual ~ILogicParts() = default;
  virtual std::unique_ptr<TTypeListV4> CreateTypeList() = 0;
  virtual std::unique_ptr<TMainDBParamsV4> CreateParams(TTypeListV4* typeList,
                                                        const TcmdParms* cmdParms) = 0;
  virtual std::unique_ptr<IServerConnection> CreateClient(TMainDBParamsV4* params,
                                                         TCurrChartLink currChart) = 0;
  // May return null while the real object does not exist yet.
  virtual std::unique_ptr<IWorker> CreateReportThread(TMainDBParamsV4* params) = 0;
  virtual std::unique_ptr<IMeasureLog> CreateMeasureLog(TMainDBParamsV4* params) = 0;
  virtual std::unique_ptr<ICurrChartThr> CreateCurrChartThr(TMainDBParamsV4* params) = 0;
  virtual std::unique_ptr<IWorker> CreateMBOpThread(TMainDBParamsV4* params) = 0;
};

// The parts of the terminal as far as they exist.
class TDefaultLogicParts : public ILogicParts {
 public:
  std::unique_ptr<TTypeListV4> CreateTypeList() override;
  std::unique_ptr<TMainDBParamsV4> CreateParams(TTypeListV4* typeList,
                                                const TcmdParms* cmdParms) override;
  std::unique_ptr<IServerConnection> CreateClient(TMainDBParamsV4* params,
                                                 TCurrChartLink currChart) override;
  std::unique_ptr<IWorker> CreateReportThread(TMainDBParamsV4* params) override;
  std::unique_ptr<IMeasureLog> CreateMeasureLog(TMainDBParamsV4* params) override;
  std::unique_ptr<ICurrChartThr> CreateCurrChartThr(TMainDBParamsV4* params) override;
  std::unique_ptr<IWorker> CreateMBOpThread(TMainDBParamsV4* params) override;
};
