// The main window on its own (caption, placement, advanced mode, close) and
// the whole start-to-shutdown path with the real windows and prompts, the
// controller's server connection replaced by a scripted double.

#include "app/Main_Form.h"
#include "app/appSettings.h"
#include "app/logicObj.h"
#include "app/netPathForm.h"
#include "app/statusLog.h"
#include "app/uiBridge.h"
#include "app/uiPrompts.h"
#include "config/groupConfigFr.h"
#include "config/groupTreeFr.h"
#include "config/inUnitListViewFr.h"
#include "logicDoubles.h"
#include "plantFixture.h"
#include "reports/currentFrame.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

template <class T>
T* WaitForWindow(int ms = 5000)
{
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* t = qobject_cast<T*>(w); t != nullptr && t->isVisible())
        return t;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
  return nullptr;
}

class TRecordingPrompts : public IUserPrompts {
 public:
  QStringList Boxes;
  int Answer = BoxYes;
  int MessageBox(const TBoxRequest& box, const TAbandonCheck&) override
  {
    Boxes << box.Caption + QLatin1Char('|') + box.Text;
    return Answer;
  }
  bool AskServerPath(QString&, const TAbandonCheck&) override { return false; }
};

// The real host, except that the end of the program is recorded instead of
// ending the test's own event loop.
class TTestHost : public TAppLogicHost {
 public:
  using TAppLogicHost::TAppLogicHost;
  std::atomic<int> ExitCode{-1};
  void TerminateApplication(int exitCode) override { ExitCode.store(exitCode); }
};

// A full program lifetime: windows, prompts, controller.
struct TProgram {
  TJournal Journal;
  TFakeParts Parts{Journal};
  TUiPrompts Prompts;
  TTestHost Host{Prompts};
  std::unique_ptr<TMainForm> Main;
  std::unique_ptr<TserverPathForm> PathForm;
  std::unique_ptr<TLogicObj> Logic;

  void Start(const QStringList& args = {})
  {
    UiBridge::resetShutdownForTesting();
    Main = std::make_unique<TMainForm>(Prompts, args);
    PathForm = std::make_unique<TserverPathForm>(Main.get());
    Prompts.SetParentWindow(Main.get());
    Prompts.SetServerPathForm(PathForm.get());
    Logic = std::make_unique<TLogicObj>(Host, Parts, args);
    Main->SetCloseHandler([this] { Logic->RequestClose(); });
    Logic->start();
  }
  bool WaitForExit(int ms = 5000)
  {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
      if (Logic->isFinished() && Host.ExitCode.load() >= 0)
        return true;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return false;
  }
  bool WaitForState(TLogicState state, int ms = 5000)
  {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
      if (Logic->State() == state)
        return true;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return false;
  }
  ~TProgram()
  {
    UiBridge::beginShutdown();
    if (Logic) {
      Logic->RequestStop();
      while (!Logic->wait(QDeadlineTimer(10)))
        QCoreApplication::processEvents();
    }
    PathForm.reset();
    Main.reset();
  }
};

// The current-values service's requests, recorded.
class TRecordingRequests : public ICurrRequests {
 public:
  QStringList Calls;
  void RequestTable() override { Calls << "table"; }
  void RequestChart() override { Calls << "chart"; }
  void RequestRescale() override { Calls << "rescale"; }
  void RequestErrors() override { Calls << "errors"; }
  void SetTableRange(double, double) override {}
  void SetErrorRange(double, double) override {}
  void SetNextGroup(qint32) override {}
  void SetNextChannel(qint32) override {}
  void SelectSource(int) override {}
  void SetHighlight(qint32) override {}
  void SetChartPeriod(qint32) override {}
};

void ClickButton(QMessageBox* box, QMessageBox::StandardButton which)
{
  QVERIFY(box != nullptr);
  box->button(which)->click();
}

void Connect(TserverPathForm* form, const QString& path)
{
  QVERIFY(form != nullptr);
  form->pathCB->setEditText(path);
  form->ConnectBT->click();
}

}  // namespace

class TstMainWindow : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void initTestCase();
  void init();
  void caption_data();
  void caption();
  void clamp_data();
  void clamp();
  void storedPlacement();
  void advancedMode();
  void closeIsHandedToController();
  void leavePageGuard();
  void configurationMessages();
  void currentFrameMessages();
  void advancedButtonFollowsPlantView();
  void badCommandLine();
  void cancelEndsProgram();
  void refusedConnectionAsksAgainThenClose();
  void droppedConnectionGivesOneBox();

 private:
  QTemporaryDir m_settingsDir;
};

void TstMainWindow::initTestCase()
{
  QVERIFY(m_settingsDir.isValid());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
  QApplication::setApplicationName(QStringLiteral("Dravolux Soft Terminal"));
  QApplication::setQuitOnLastWindowClosed(false);
  UiBridge::install();
  CreateStatusLog(qApp);
}

void TstMainWindow::init()
{
  UserSettings()->clear();
}

void TstMainWindow::caption_data()
{
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<QString>("expected");
  QTest::newRow("no arguments") << QStringList{} << "Dravolux Soft Terminal 3.1.0";
  QTest::newRow("arguments") << QStringList{"-b", "/srv/x"}
                             << "Dravolux Soft Terminal 3.1.0 [ -b /srv/x]";
}

void TstMainWindow::caption()
{
  QFETCH(QStringList, args);
  QFETCH(QString, expected);
  QCOMPARE(MainCaption(QStringLiteral("Dravolux Soft Terminal"), args), expected);
  TRecordingPrompts prompts;
  TMainForm form(prompts, args);
  QCOMPARE(form.windowTitle(), expected);
}

void TstMainWindow::clamp_data()
{
  QTest::addColumn<QRect>("available");
  QTest::addColumn<QPoint>("stored");
  QTest::addColumn<QPoint>("expected");
  const QRect fullHd(0, 0, 1920, 1080);
  QTest::newRow("far right and below") << fullHd << QPoint(5000, 3000) << QPoint(1870, 1030);
  QTest::newRow("inside") << fullHd << QPoint(100, 200) << QPoint(100, 200);
  QTest::newRow("negative") << fullHd << QPoint(-4000, -10) << QPoint(0, 0);
  QTest::newRow("second screen left") << QRect(-1280, 0, 3200, 1080) << QPoint(-1000, 10)
                                      << QPoint(-1000, 10);
}

void TstMainWindow::clamp()
{
  QFETCH(QRect, available);
  QFETCH(QPoint, stored);
  QFETCH(QPoint, expected);
  QCOMPARE(ClampWindowPosition(stored, available), expected);
}

void TstMainWindow::storedPlacement()
{
  {
    auto settings = UserSettings();
    settings->setValue("WINPOSX", 30);
    settings->setValue("WINPOSY", 40);
    settings->setValue("DontShowErrors", true);  // not reached: WINSIZEX is missing
  }
  TStoredPlacement partial = ReadStoredPlacement(*UserSettings());
  QCOMPARE(partial.Left.value_or(-1), 30);
  QCOMPARE(partial.Top.value_or(-1), 40);
  QVERIFY(!partial.Width);
  QVERIFY(!partial.Complete());
  TRecordingPrompts prompts;
  {
    TMainForm form(prompts, {});
    QVERIFY(!form.DontShowErrors());
    QCOMPARE(form.size(), QSize(800, 560));  // designed size kept
  }

  {
    auto settings = UserSettings();
    settings->setValue("WINSIZEX", "wide");  // mistyped: reading stops here
  }
  QVERIFY(!ReadStoredPlacement(*UserSettings()).Width);

  {
    auto settings = UserSettings();
    WriteStoredPlacement(*settings, QRect(20, 30, 700, 450), true);
  }
  const TStoredPlacement full = ReadStoredPlacement(*UserSettings());
  QVERIFY(full.Complete());
  TMainForm form(prompts, {});
  QVERIFY(form.DontShowErrors());
  QCOMPARE(form.size(), QSize(700, 450));
  QCOMPARE(form.pos(), QPoint(20, 30));
}

void TstMainWindow::advancedMode()
{
  TRecordingPrompts prompts;
  TMainForm form(prompts, {});
  int asked = 0;
  int password = 0;
  form.SetPasswordAsker([&] {
    ++asked;
    return password;
  });
  QPushButton* button = form.AdvancedModeButton();
  QCOMPARE(button->text(), QStringLiteral("Show advanced options"));

  // Right password, then the warning answered No: stays off.
  prompts.Answer = BoxNo;
  button->click();
  QVERIFY(!form.Advanced());
  QCOMPARE(prompts.Boxes.size(), 1);
  QVERIFY(prompts.Boxes.first().startsWith(QStringLiteral("WARNING|WARNING !\n\rChange of settings")));

  // Yes switches it on.
  prompts.Answer = BoxYes;
  button->click();
  QVERIFY(form.Advanced());
  QCOMPARE(button->text(), QStringLiteral("Hide advanced options"));

  // Switching off never asks.
  button->click();
  QVERIFY(!form.Advanced());
  QCOMPARE(asked, 2);

  // Wrong password: error box, stays off; cancelled: nothing.
  password = 1;
  button->click();
  QVERIFY(!form.Advanced());
  QCOMPARE(prompts.Boxes.last(), QStringLiteral("Authorization error|Incorect password"));
  const qsizetype boxes = prompts.Boxes.size();
  password = 255;
  button->click();
  QVERIFY(!form.Advanced());
  QCOMPARE(prompts.Boxes.size(), boxes);
}

void TstMainWindow::closeIsHandedToController()
{
  TRecordingPrompts prompts;
  TMainForm form(prompts, {});
  int requests = 0;
  form.SetCloseHandler([&] { ++requests; });
  form.show();
  QVERIFY(!form.close());
  QCOMPARE(requests, 1);
  QVERIFY(form.isVisible());
}

void TstMainWindow::leavePageGuard()
{
  TRecordingPrompts prompts;
  TMainForm form(prompts, {});
  bool allow = false;
  form.AddLeavePageGuard([&] { return allow; });
  form.MainPageControl()->setCurrentIndex(TMainForm::PageInfo);
  QCOMPARE(form.MainPageControl()->currentIndex(), int(TMainForm::PageCurrent));
  QCOMPARE(form.PageIndex(), TMainForm::PageCurrent);
  form.ConfigurationPages()->setCurrentIndex(1);
  QCOMPARE(form.ConfigurationPages()->currentIndex(), 0);
  allow = true;
  form.MainPageControl()->setCurrentIndex(TMainForm::PageInfo);
  QCOMPARE(form.PageIndex(), TMainForm::PageInfo);
}

void TstMainWindow::configurationMessages()
{
  TRecordingPrompts prompts;
  TMainForm form(prompts, {});
  TConfig config(true);
  TCurrentFrame* frame = form.CurrentFrame();
  TRecordingRequests service;
  frame->AttachService<TCurrChartThr>(nullptr, &service);
  form.AppMessage({AppMsg::SetObject, SetObjConfiguration, 0, &config.Params});
  QCOMPARE(form.Params(), &config.Params);
  QCOMPARE(frame->Params(), &config.Params);
  QCOMPARE(form.GroupConfigFrame()->Central(), &config.Params);
  QCOMPARE(frame->periodCB->count(), 15);

  const auto groupNodes = [&] {
    return QList<int>{frame->groupTreeFr->TreeV->topLevelItemCount(),
                      form.GroupConfigFrame()->groupTreeFr->TreeV->topLevelItemCount()};
  };
  QCOMPARE(groupNodes(), (QList<int>{0, 0}));
  const int groups = config.Params.Groups().Count();
  struct TCase {
    AppMsg Msg;
    bool AsksTable;
  };
  for (const TCase& c : {TCase{AppMsg::ConfigChanged, true}, TCase{AppMsg::UnitsInstalled, true},
                         TCase{AppMsg::GroupsChanged, false}}) {
    frame->groupTreeFr->TreeV->clear();
    form.GroupConfigFrame()->groupTreeFr->TreeV->clear();
    service.Calls.clear();
    form.AppMessage({c.Msg, 0, 0, c.Msg == AppMsg::GroupsChanged ? nullptr : &config.Params});
    QCOMPARE(groupNodes(), (QList<int>{groups, groups}));
    QCOMPARE(service.Calls, c.AsksTable ? QStringList{"table"} : QStringList{});
  }
  QVERIFY(frame->inUnitListViewFr->ListV->count() > 0);

  // A service going away detaches the page from it.
  form.AppMessage({AppMsg::SetObject, SetObjCurrChart, 0, nullptr});
  QCOMPARE(frame->Requests(), nullptr);
  form.AppMessage({AppMsg::UnitsInstalled, 0, 0, nullptr});
  QVERIFY(service.Calls.isEmpty());
}

void TstMainWindow::currentFrameMessages()
{
  TRecordingPrompts prompts;
  TMainForm form(prompts, {});
  TCurrentFrame* frame = form.CurrentFrame();
  QVERIFY(frame->CurrentChart->isHidden());
  // Only the high word 2 addresses this page.
  form.AppMessage({AppMsg::Progress, (ProgressReportFrame << 16) | 0x13, 0, nullptr});
  QVERIFY(frame->CurrentChart->isHidden());
  form.AppMessage({AppMsg::Progress, (ProgressCurrentFrame << 16) | 0x13, 0, nullptr});
  QVERIFY(!frame->CurrentChart->isHidden());
  form.AppMessage({AppMsg::Progress, (ProgressCurrentFrame << 16) | 0x03, 0, nullptr});
  QVERIFY(!frame->VST->isHidden());
  form.AppMessage({AppMsg::CurrTable, 1, -1, nullptr});

  // "Do not call" is the stored DontShowErrors.
  frame->DontShowErrorsCB->setChecked(true);
  QVERIFY(form.DontShowErrors());
  form.AppMessage({AppMsg::ShowErrors, 0, 0, nullptr});
  QCOMPARE(frame->CurrPageControl->currentIndex(), int(TCurrentFrame::PageTable));
  frame->DontShowErrorsCB->setChecked(false);
  QVERIFY(!form.DontShowErrors());
  form.AppMessage({AppMsg::ShowErrors, 0, 0, nullptr});
  QCOMPARE(frame->CurrPageControl->currentIndex(), int(TCurrentFrame::PageDeviceInfo));

  {
    auto settings = UserSettings();
    WriteStoredPlacement(*settings, QRect(20, 30, 700, 450), true);
  }
  TMainForm stored(prompts, {});
  QVERIFY(stored.CurrentFrame()->DontShowErrorsCB->isChecked());
}

void TstMainWindow::advancedButtonFollowsPlantView()
{
  TRecordingPrompts prompts;
  TMainForm form(prompts, {});
  TCurrentFrame* frame = form.CurrentFrame();
  QCOMPARE(form.AdvancedModeButton()->parentWidget(), form.ConfigurationPages());
  frame->CurrPageControl->setCurrentIndex(TCurrentFrame::PagePlantView);
  QCOMPARE(form.AdvancedModeButton()->parentWidget(), frame->CurrPageControl);
  form.MainPageControl()->setCurrentIndex(TMainForm::PageConfiguration);
  QCOMPARE(form.AdvancedModeButton()->parentWidget(), form.ConfigurationPages());
  QCOMPARE(form.ConfigurationPages()->cornerWidget(), form.AdvancedModeButton());
  QCOMPARE(frame->CurrPageControl->cornerWidget(), nullptr);
  form.MainPageControl()->setCurrentIndex(TMainForm::PageCurrent);
  QCOMPARE(form.AdvancedModeButton()->parentWidget(), frame->CurrPageControl);
}

void TstMainWindow::badCommandLine()
{
  TProgram program;
  program.Start({"-v"});
  auto* box = WaitForWindow<QMessageBox>();
  QVERIFY(box != nullptr);
  // The main window is shown before the box appears; no server dialog.
  QVERIFY(program.Main->isVisible());
  QVERIFY(MainFormShown());
  QCOMPARE(box->windowTitle(), QStringLiteral("Improper command line parameters"));
  QVERIFY(box->text().startsWith(QStringLiteral("Parametry:\n -B [BaudRate]")));
  ClickButton(box, QMessageBox::Ok);
  QVERIFY(program.WaitForExit());
  QCOMPARE(program.Host.ExitCode.load(), TLogicObj::kExitBadCommandLine);
  QVERIFY(!program.PathForm->isVisible());
  QCOMPARE(program.Journal.Count("dialog"), 0);
}

void TstMainWindow::cancelEndsProgram()
{
  TProgram program;
  program.Start();
  auto* form = WaitForWindow<TserverPathForm>();
  QVERIFY(form != nullptr);
  QCOMPARE(form->windowTitle(), QStringLiteral("Logging on ..."));
  form->CancelBT->click();
  QVERIFY(program.WaitForExit());
  QCOMPARE(program.Host.ExitCode.load(), 0);
  QVERIFY(program.Journal.All().contains("stop:report"));
}

void TstMainWindow::refusedConnectionAsksAgainThenClose()
{
  TProgram program;
  program.Parts.ConnectResults = {-1, 0};
  program.Start();
  Connect(WaitForWindow<TserverPathForm>(), QStringLiteral("localhost:1"));
  auto* box = WaitForWindow<QMessageBox>();
  QVERIFY(box != nullptr);
  QCOMPARE(box->text(), QStringLiteral("Server connection error."));
  QCOMPARE(box->windowTitle(), QStringLiteral("Error !!"));
  ClickButton(box, QMessageBox::Ok);

  auto* again = WaitForWindow<TserverPathForm>();
  QVERIFY(again != nullptr);
  QCOMPARE(again->pathCB->currentText(), QStringLiteral("localhost:1"));  // remembered first
  Connect(again, QStringLiteral("localhost:2"));
  QVERIFY(program.WaitForState(lsRunning));
  QVERIFY(program.Journal.All().contains("connect:localhost:2:81"));

  QElapsedTimer timer;
  timer.start();
  QVERIFY(!program.Main->close());
  QVERIFY(program.WaitForExit());
  // One poll period nominally; the bound leaves room for a loaded machine.
  QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
  QCOMPARE(program.Host.ExitCode.load(), 0);
}

void TstMainWindow::droppedConnectionGivesOneBox()
{
  TProgram program;
  program.Start();
  Connect(WaitForWindow<TserverPathForm>(), QStringLiteral("server"));
  QVERIFY(program.WaitForState(lsRunning));
  program.Parts.Client->IsConnected.store(false);
  auto* box = WaitForWindow<QMessageBox>();
  QVERIFY(box != nullptr);
  QCOMPARE(box->text(), QStringLiteral("Connection closed by server."));
  QCOMPARE(box->windowTitle(), QStringLiteral("Error"));
  ClickButton(box, QMessageBox::Ok);
  QVERIFY(program.WaitForExit());
  QCOMPARE(WaitForWindow<QMessageBox>(300), nullptr);
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainWindow.moc"
