#pragma once

// The logic controller: a thread that owns the central objects of a run of
// the terminal and drives its life through a small state machine polled every
// 200 ms: ask for the server, connect, watch the connection, shut down.

#include "app/logicParts.h"
#include "app/syncEvent.h"

#include <QStringList>
#include <QThread>

#include <atomic>
#include <memory>

class IUserPrompts;
class TcmdParms;
class TMainDBParamsV4;
class TTypeListV4;

// The states of the controller. Only 0, 1, 13, 14 (and 9 through the
// installation wizard) are entered in the terminal; the others belong to the
// local acquisition side and are kept so the numbers stay meaningful.
enum TLogicState : quint8 {
  lsLogOn = 0,
  lsRunning = 1,
  lsTypeDBError = 2,
  lsStartLogging = 3,
  lsMainDBWriteError = 4,
  lsStartModbus = 5,
  lsModbusRunning = 6,
  lsModbusRunning2 = 7,
  lsIdle8 = 8,
  lsInstallFinished = 9,
  lsIdle10 = 10,
  lsLoggingStarted = 11,
  lsLogging = 12,
  lsClosing = 13,
  lsTerminate = 14,
  lsIdle15 = 15,
  lsReinstallBases = 16,
};

// What the controller needs from the application around it.
class ILogicHost {
 public:
  virtual ~ILogicHost() = default;
  // Window command to the main window; returns after the UI handled it.
  virtual void WindowCmd(int cmd) = 0;
  // Hands the configuration to the main window (set-object, kind 1).
  virtual void SetConfiguration(TMainDBParamsV4* params) = 0;
  virtual IUserPrompts& Prompts() = 0;
  // Ends the UI message loop (queued, so it works before the loop runs).
  virtual void TerminateApplication(int exitCode) = 0;
};

// The host of the real program: application messages to the main window.
class TAppLogicHost : public ILogicHost {
 public:
  explicit TAppLogicHost(IUserPrompts& prompts) : m_prompts(prompts) {}
  void WindowCmd(int cmd) override;
  void SetConfiguration(TMainDBParamsV4* params) override;
  IUserPrompts& Prompts() override { return m_prompts; }
  void TerminateApplication(int exitCode) override;

 private:
  IUserPrompts& m_prompts;
};

class TLogicObj : public QThread {
  Q_OBJECT
 public:
  static constexpr quint16 kDefaultPort = 81;
  static constexpr int kPollMs = 200;
  static constexpr int kModbusPollMs = 500;
  static constexpr int kExitBadCommandLine = 2;

  TLogicObj(ILogicHost& host, ILogicParts& parts, QStringList arguments,
            QObject* parent = nullptr);
  // Frees what the run left (after the thread has been joined), in the
  // order configuration, type list, command line.
  ~TLogicObj() override;

  // Thread contract: any thread (the main window's close, the installation
  // wizard, the session-end handler).
  void RequestClose();
  void InstallFinished();
  void InstallCancelled() {}
  // Ends the run from outside the state machine (the UI loop ended another
  // way); the controller still performs its orderly shutdown.
  void RequestStop();

  TLogicState State() const { return static_cast<TLogicState>(m_state.load()); }

  // Thread contract: any thread; null until created, and again after shutdown
  // stopped them. UI handlers must null-check.
  IMeasureLog* MeasureLog() const { return m_measureLog.load(std::memory_order_acquire); }
  IServerConnection* Client() const { return m_client.load(std::memory_order_acquire); }
  TMainDBParamsV4* Params() const { return m_params.load(std::memory_order_acquire); }
  const TcmdParms* CmdParms() const { return m_cmdParms.get(); }

  // The exit code the controller asked the application to end with.
  int ExitCode() const { return m_exitCode.load(); }

 protected:
  void run() override;

 private:
  void Execute();
  // One pass of the current state; true to leave the loop.
  bool DoState(quint8 state);
  void LogOn();
  void StartMeasureLog();
  void RunMeasureLog();
  void ReinstallBases();
  void UpdateWindows(quint8 state);
  void Shutdown();
  // The controller's own transitions lose against a state written from
  // outside (a close request) since the value was read.
  bool Transition(quint8 from, quint8 to);
  // Waits up to ms; false when the thread was told to stop.
  bool Pause(int ms);
  bool StopRequested() const;
  bool CloseRequested() const;
  int ErrorBox(const QString& text, const QString& caption);

  ILogicHost& m_host;
  ILogicParts& m_parts;
  const QStringList m_arguments;
  TEvent m_wake{TEvent::Reset::Auto};
  std::atomic<quint8> m_state{lsLogOn};
  std::atomic<int> m_exitCode{0};

  std::unique_ptr<TcmdParms> m_cmdParms;
  std::unique_ptr<TTypeListV4> m_typeList;
  std::unique_ptr<TMainDBParamsV4> m_paramsOwner;
  std::unique_ptr<IServerConnection> m_clientOwner;
  std::unique_ptr<IWorker> m_reportThread;
  std::unique_ptr<IMeasureLog> m_measureLogOwner;
  std::unique_ptr<IWorker> m_mbOpThread;
  std::atomic<TMainDBParamsV4*> m_params{nullptr};
  std::atomic<IServerConnection*> m_client{nullptr};
  std::atomic<IMeasureLog*> m_measureLog{nullptr};
};

// Process-wide reference, set before the controller's thread starts and
// cleared before it is freed. Thread contract: any thread.
TLogicObj* LogicObj();
void SetLogicObj(TLogicObj* logic);
