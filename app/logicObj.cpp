#include "app/logicObj.h"

#include "app/appMessages.h"
#include "app/cmdParms.h"
#include "app/statusLog.h"
#include "app/translation.h"
#include "app/uiBridge.h"
#include "app/userPrompts.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"

#include <QCoreApplication>
#include <QDir>

#include <exception>

namespace {
std::atomic<TLogicObj*> g_logicObj{nullptr};
}  // namespace

TLogicObj* LogicObj() { return g_logicObj.load(std::memory_order_acquire); }

void SetLogicObj(TLogicObj* logic) { g_logicObj.store(logic, std::memory_order_release); }

// ---------------------------------------------------------------------------

void TAppLogicHost::WindowCmd(int cmd)
{
  AppMessages::SendToMain({AppMsg::WindowCmd, cmd, 0, nullptr});
}

void TAppLogicHost::SetConfiguration(TMainDBParamsV4* params)
{
  AppMessages::SendToMain({AppMsg::SetObject, SetObjConfiguration, 0, params});
}

void TAppLogicHost::TerminateApplication(int exitCode)
{
  // Queued on the application object: a direct quit() before the UI loop has
  // started would be lost.
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(
        app, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
  }
}

// ---------------------------------------------------------------------------

TLogicObj::TLogicObj(ILogicHost& host, ILogicParts& parts, QStringList arguments,
                     QObject* parent)
    : QThread(parent), m_host(host), m_parts(parts), m_arguments(std::move(arguments))
{
  setObjectName(QStringLiteral("LogicObj"));
}

TLogicObj::~TLogicObj()
{
  if (isRunning()) {
    RequestStop();
    wait();
  }
  // Workers were stopped by the run; their objects are freed here, on the
  // thread that owns the windows which may still have held them. The server
  // link goes first: its receiving thread hands values to the measure log.
  m_client.store(nullptr);
  m_clientOwner.reset();
  m_measureLog.store(nullptr);
  m_measureLogOwner.reset();
  m_mbOpThread.reset();
  m_reportThread.reset();
  m_params.store(nullptr);
  m_paramsOwner.reset();
  m_typeList.reset();
  m_cmdParms.reset();
}

void TLogicObj::RequestClose()
{
  quint8 state = m_state.load();
  for (;;) {
    if (state == lsIdle8)
      return;
    if (state == lsLogging) {
      IMeasureLog* log = MeasureLog();
      if (log != nullptr && log->CanClose() != 0)
        return;
    }
    if (m_state.compare_exchange_weak(state, lsClosing))
      break;
  }
  m_wake.Set();
}

void TLogicObj::InstallFinished()
{
  m_state.store(lsInstallFinished);
  m_wake.Set();
}

void TLogicObj::RequestStop()
{
  requestInterruption();
  m_wake.Set();
}

bool TLogicObj::StopRequested() const { return isInterruptionRequested(); }

bool TLogicObj::CloseRequested() const
{
  const quint8 state = m_state.load();
  return StopRequested() || state == lsClosing || state == lsTerminate;
}

bool TLogicObj::Transition(quint8 from, quint8 to)
{
  return m_state.compare_exchange_strong(from, to);
}

bool TLogicObj::Pause(int ms)
{
  if (StopRequested())
    return false;
  m_wake.Wait(ms);
  return !StopRequested();
}

int TLogicObj::ErrorBox(const QString& text, const QString& caption)
{
  TBoxRequest box;
  box.Text = text;
  box.Caption = caption;
  // The box blocks only this thread; it is given up when the thread must stop.
  return m_host.Prompts().MessageBox(box, [this] { return StopRequested(); });
}

void TLogicObj::run()
{
  try {
    Execute();
  } catch (const std::exception& e) {
    AddLogMessage(QString::fromUtf8(e.what()), LogError);
    UiBridge::beginShutdown();
    m_host.TerminateApplication(1);
  } catch (...) {
    UiBridge::beginShutdown();
    m_host.TerminateApplication(1);
  }
}

void TLogicObj::Execute()
{
  m_host.WindowCmd(CmdShowMain);
  m_host.WindowCmd(CmdHideSplash);

  m_cmdParms = std::make_unique<TcmdParms>();
  if (m_cmdParms->Parse(m_arguments) != 0) {
    TBoxRequest box;
    box.Text = m_cmdParms->DisplayHelpText();
    box.Caption = Tr("Improper command line parameters");
    m_host.Prompts().MessageBox(box, [this] { return StopRequested(); });
    m_exitCode.store(kExitBadCommandLine);
    m_host.TerminateApplication(kExitBadCommandLine);
    return;
  }

  m_typeList = m_parts.CreateTypeList();
  m_paramsOwner = m_parts.CreateParams(m_typeList.get(), m_cmdParms.get());
  m_params.store(m_paramsOwner.get(), std::memory_order_release);
  m_host.SetConfiguration(m_paramsOwner.get());
  m_clientOwner = m_parts.CreateClient(m_paramsOwner.get(), [this]() -> ICurrChartThr* {
    IMeasureLog* log = MeasureLog();
    return log != nullptr ? log->CurrChartThr() : nullptr;
  });
  m_client.store(m_clientOwner.get(), std::memory_order_release);
  m_reportThread = m_parts.CreateReportThread(m_paramsOwner.get());

  for (;;) {
    // A stop from outside (the UI loop ended another way, session end) is
    // honoured in every state, not only while running.
    if (StopRequested())
      break;
    bool leave = false;
    try {
      const quint8 state = m_state.load();
      IServerConnection* client = Client();
      if (client != nullptr && !client->Connected() && state != lsLogOn &&
          state != lsClosing && state != lsTerminate) {
        ErrorBox(Tr("Connection closed by server."), Tr("Error"));
        m_state.store(lsTerminate);
        continue;
      }
      leave = DoState(state);
      UpdateWindows(m_state.load());
    } catch (const std::exception& e) {
      AddLogMessage(QString::fromUtf8(e.what()), LogError);
      Pause(kPollMs);
    }
    if (leave)
      break;
  }
  Shutdown();
}

bool TLogicObj::DoState(quint8 state)
{
  switch (state) {
    case lsLogOn:
      LogOn();
      return false;
    case lsRunning:
      return !Pause(kPollMs);
    case lsTypeDBError:
      ErrorBox(Tr("Type's database access error. Application will be closed."),
               Tr("Type's database error"));
      Transition(state, lsTerminate);
      return false;
    case lsStartLogging:
      StartMeasureLog();
      return false;
    case lsMainDBWriteError: {
      const QString text = Tr("Main database writing error. Application will be closed.");
      ErrorBox(text, text);
      return true;
    }
    case lsStartModbus:
      m_mbOpThread = m_parts.CreateMBOpThread(Params());
      Transition(state, lsModbusRunning);
      return false;
    case lsModbusRunning:
    case lsModbusRunning2:
      Pause(kModbusPollMs);
      return false;
    case lsLoggingStarted:
      Transition(state, lsLogging);
      return false;
    case lsLogging:
      RunMeasureLog();
      return false;
    case lsClosing:
      Transition(state, lsTerminate);
      return false;
    case lsTerminate:
      return true;
    case lsReinstallBases:
      ReinstallBases();
      return false;
    default:
      // States without an action of their own (8, 9, 10, 15) pause like the
      // running state instead of spinning.
      Pause(kPollMs);
      return false;
  }
}

void TLogicObj::LogOn()
{
  QString path;
  const bool accepted = m_host.Prompts().AskServerPath(path, [this] { return CloseRequested(); });
  if (StopRequested())
    return;
  if (!accepted) {
    Transition(lsLogOn, lsTerminate);
    return;
  }
  IServerConnection* client = Client();
  if (client == nullptr || client->Connect(path, kDefaultPort) != 0) {
    ErrorBox(Tr("Server connection error."), Tr("Error !!"));
    return;
  }
  if (!m_measureLogOwner) {
    m_measureLogOwner = m_parts.CreateMeasureLog(Params());
    if (m_measureLogOwner)
      m_measureLogOwner->SetCurrChartThr(m_parts.CreateCurrChartThr(Params()));
    m_measureLog.store(m_measureLogOwner.get(), std::memory_order_release);
  }
  Transition(lsLogOn, lsRunning);
}

void TLogicObj::StartMeasureLog()
{
  TMainDBParamsV4* params = Params();
  if (params != nullptr && params->WasInstall()) {
    if (!m_measureLogOwner) {
      m_measureLogOwner = m_parts.CreateMeasureLog(params);
      m_measureLog.store(m_measureLogOwner.get(), std::memory_order_release);
    }
    Transition(lsStartLogging, lsLoggingStarted);
    return;
  }
  ErrorBox(Tr("No devices installed! Application will be closed."),
           Tr("Devices installation error"));
  Transition(lsStartLogging, lsTerminate);
}

void TLogicObj::RunMeasureLog()
{
  if (IMeasureLog* log = MeasureLog()) {
    log->HandRequests();
    log->Run();
  }
  Transition(lsLogging, lsClosing);
}

void TLogicObj::ReinstallBases()
{
  if (QDir().rename(QStringLiteral("bases"), QStringLiteral("bases1111"))) {
    Transition(lsReinstallBases, lsLogOn);
    return;
  }
  ErrorBox(Tr("Databases can't be reinstalled"), Tr("Reinstalation error"));
  Pause(kPollMs);
}

void TLogicObj::UpdateWindows(quint8 state)
{
  if (state == lsLoggingStarted) {
    m_host.WindowCmd(CmdHideSplash);
    m_host.WindowCmd(CmdShowMain);
  }
}

void TLogicObj::Shutdown()
{
  // From here on no worker blocks on the UI thread, which may already be
  // joining this one.
  UiBridge::beginShutdown();

  // The report generator asks the server link for series: stop it first.
  if (m_reportThread)
    m_reportThread->Stop();
  if (m_clientOwner) {
    m_client.store(nullptr, std::memory_order_release);
    m_clientOwner->Disconnect();
  }
  if (IMeasureLog* log = m_measureLog.exchange(nullptr, std::memory_order_acq_rel)) {
    log->StopCurrChartThr();
    log->Stop();
  }
  if (m_mbOpThread)
    m_mbOpThread->Stop();
  if (TMainDBParamsV4* params = Params())
    params->StopStore();

  m_host.TerminateApplication(m_exitCode.load());
}
