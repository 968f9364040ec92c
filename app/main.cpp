// Entry point: sets up translation, the splash and the windows, starts the
// logic controller and runs the UI loop; after the loop it waits for the
// controller's orderly shutdown while still serving its last UI calls.

#include "app/ClosingWaitForm.h"
#include "app/Main_Form.h"
#include "app/logicObj.h"
#include "app/netPathForm.h"
#include "app/sessionSignals.h"
#include "app/splash_OEM.h"
#include "app/statusLog.h"
#include "app/translation.h"
#include "app/uiBridge.h"
#include "app/uiPrompts.h"

#include <QApplication>
#include <QDeadlineTimer>

#include <clocale>
#include <memory>

int main(int argc, char* argv[])
{
  QApplication app(argc, argv);
  // Qt sets the C library locale from the environment; numbers in files and
  // on the wire must never pick up a decimal comma.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Dravolux Soft Terminal"));
  QApplication::setOrganizationName(QStringLiteral("Dravolux_Soft"));
  // Only the controller ends the program; closing a dialog while the main
  // window sits in the tray must not.
  QApplication::setQuitOnLastWindowClosed(false);
  UiBridge::install();
  std::unique_ptr<TStatusLog> statusLog(CreateStatusLog());

  InstallTranslation(ReadLanguage());

  auto splash = std::make_unique<TSplashScreenForm>();
  splash->show();
  QApplication::processEvents();

  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();

  TUiPrompts prompts;
  auto mainForm = std::make_unique<TMainForm>(prompts, arguments);
  mainForm->SetSplash(splash.get());
  auto serverPathForm = std::make_unique<TserverPathForm>(mainForm.get());
  SetMainFormShown(false);
  auto closingWait = std::make_unique<TfrmClosingWait>();
  prompts.SetParentWindow(mainForm.get());
  prompts.SetServerPathForm(serverPathForm.get());

  TAppLogicHost host(prompts);
  TDefaultLogicParts parts;
  TLogicObj logic(host, parts, arguments);
  SetLogicObj(&logic);
  mainForm->SetCloseHandler([&logic] { logic.RequestClose(); });

  TSessionSignals session;
  QObject::connect(&session, &TSessionSignals::terminationRequested, &logic,
                   [&logic] { logic.RequestClose(); });
  QObject::connect(&session, &TSessionSignals::systemTimeChanged, &logic, [&logic] {
    if (IMeasureLog* log = logic.MeasureLog())
      log->IntervalChanged();
  });

  logic.start();
  const int rc = QApplication::exec();

  // The loop may also have ended without the controller (a terminate command):
  // stop it and keep serving queued UI calls until it is gone, so a worker
  // blocked on the UI thread can never deadlock the exit.
  UiBridge::beginShutdown();
  mainForm->BeginClosing();
  logic.RequestStop();
  while (!logic.wait(QDeadlineTimer(20)))
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  QApplication::processEvents();

  SetLogicObj(nullptr);
  closingWait.reset();
  serverPathForm.reset();
  mainForm.reset();
  splash.reset();
  statusLog.reset();
  return rc;
}
