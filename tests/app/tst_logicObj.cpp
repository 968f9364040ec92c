// The controller's state paths, driven through its seams: a scripted
// operator, a scripted server connection and workers that record their stops.

#include "app/logicObj.h"
#include "logicDoubles.h"
#include "app/userPrompts.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"

#include <QMutex>
#include <QtTest>

#include <deque>
#include <optional>

namespace {

class TFakePrompts : public IUserPrompts {
 public:
  explicit TFakePrompts(TJournal& journal) : m_journal(journal) {}
  // nullopt = Cancel; "block" = keep the dialog open until abandoned.
  void ScriptPaths(std::deque<std::optional<QString>> answers)
  {
    QMutexLocker lock(&m_mutex);
    m_paths = std::move(answers);
  }
  int MessageBox(const TBoxRequest& box, const TAbandonCheck&) override
  {
    m_journal.Add(QStringLiteral("box:%1|%2").arg(box.Text, box.Caption));
    return BoxOk;
  }
  bool AskServerPath(QString& path, const TAbandonCheck& abandon) override
  {
    std::optional<QString> answer;
    {
      QMutexLocker lock(&m_mutex);
      if (!m_paths.empty()) {
        answer = m_paths.front();
        m_paths.pop_front();
      }
    }
    m_journal.Add(QStringLiteral("dialog"));
    if (answer && *answer == QLatin1String("block")) {
      while (!(abandon && abandon()))
        QThread::msleep(5);
      m_journal.Add(QStringLiteral("dialog abandoned"));
      return false;
    }
    if (!answer)
      return false;
    path = *answer;
    return true;
  }

 private:
  TJournal& m_journal;
  QMutex m_mutex;
  std::deque<std::optional<QString>> m_paths;
};

class TFakeHost : public ILogicHost {
 public:
  TFakeHost(TJournal& journal, TFakePrompts& prompts) : m_journal(journal), m_prompts(prompts) {}
  void WindowCmd(int cmd) override { m_journal.Add(QStringLiteral("window:%1").arg(cmd)); }
  void SetConfiguration(TMainDBParamsV4* params) override
  {
    m_journal.Add(params != nullptr ? QStringLiteral("config") : QStringLiteral("config:null"));
  }
  IUserPrompts& Prompts() override { return m_prompts; }
  void TerminateApplication(int exitCode) override
  {
    m_journal.Add(QStringLiteral("terminate:%1").arg(exitCode));
  }

 private:
  TJournal& m_journal;
  TFakePrompts& m_prompts;
};


// One controller run with its doubles.
struct TRig {
  TJournal Journal;
  TFakePrompts Prompts{Journal};
  TFakeHost Host{Journal, Prompts};
  TFakeParts Parts{Journal};
  std::unique_ptr<TLogicObj> Logic;

  void Start(const QStringList& args = {})
  {
    Logic = std::make_unique<TLogicObj>(Host, Parts, args);
    Logic->start();
  }
  bool WaitForState(TLogicState state, int ms = 5000)
  {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
      if (Logic->State() == state)
        return true;
      QThread::msleep(2);
    }
    return false;
  }
};

const QString kConnectionClosedBox = QStringLiteral("box:Connection closed by server.|Error");
const QString kConnectErrorBox = QStringLiteral("box:Server connection error.|Error !!");

}  // namespace

class TstLogicObj : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void badCommandLineShowsHelpAndCreatesNothing();
  void cancelInDialogShutsDown();
  void refusedConnectionRetriesUntilConnected();
  void closeRequestShutsDownInOrder();
  void droppedConnectionGivesExactlyOneBox();
  void dropAfterCloseRequestGivesNoBox();
  void closeRequestWhileConnectingIsNotLost();
  void stopRequestEndsPendingDialog();
  void idleStatePausesAndHonoursStop();
};

void TstLogicObj::badCommandLineShowsHelpAndCreatesNothing()
{
  TRig rig;
  rig.Start({"-v"});
  QVERIFY(rig.Logic->wait(5000));
  const QStringList events = rig.Journal.All();
  // The main window is shown and the splash hidden before the box appears.
  QCOMPARE(events.mid(0, 2), (QStringList{"window:1", "window:6"}));
  QVERIFY(events.at(2).startsWith("box:Parametry:"));
  QVERIFY(events.at(2).endsWith("|Improper command line parameters"));
  QCOMPARE(events.at(3), QStringLiteral("terminate:2"));
  QCOMPARE(events.size(), 4);  // no dialog, no configuration, no shutdown steps
  QCOMPARE(rig.Logic->ExitCode(), 2);
}

void TstLogicObj::cancelInDialogShutsDown()
{
  TRig rig;
  rig.Prompts.ScriptPaths({std::nullopt});
  rig.Start();
  QVERIFY(rig.Logic->wait(5000));
  QCOMPARE(rig.Logic->State(), lsTerminate);
  const QStringList events = rig.Journal.All();
  QCOMPARE(events, (QStringList{"window:1", "window:6", "config", "dialog", "stop:report",
                                "stop:client", "terminate:0"}));
}

void TstLogicObj::refusedConnectionRetriesUntilConnected()
{
  TRig rig;
  rig.Parts.ConnectResults = {-1, -1, 0};
  rig.Prompts.ScriptPaths({QString("a"), QString("b:90"), QString("c")});
  rig.Start();
  QVERIFY(rig.WaitForState(lsRunning));
  QCOMPARE(rig.Journal.Count(kConnectErrorBox), 2);
  QCOMPARE(rig.Journal.Count("dialog"), 3);
  QVERIFY(rig.Journal.All().contains("connect:b:90:81"));
  QVERIFY(rig.Logic->MeasureLog() != nullptr);
  QVERIFY(rig.Logic->MeasureLog()->CurrChartThr() != nullptr);
  rig.Logic->RequestClose();
  QVERIFY(rig.Logic->wait(5000));
}

void TstLogicObj::closeRequestShutsDownInOrder()
{
  TRig rig;
  rig.Prompts.ScriptPaths({QString("server")});
  rig.Start();
  QVERIFY(rig.WaitForState(lsRunning));
  QElapsedTimer timer;
  timer.start();
  rig.Logic->RequestClose();
  QVERIFY(rig.Logic->wait(5000));
  // Acted on at the next poll; generous bound for loaded machines.
  QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
  const QStringList events = rig.Journal.All();
  const qsizetype first = events.indexOf("stop:report");
  QVERIFY(first > 0);
  QCOMPARE(events.mid(first), (QStringList{"stop:report", "stop:client", "stop:currchart",
                                           "stop:measurelog", "terminate:0"}));
  QCOMPARE(rig.Journal.Count(kConnectionClosedBox), 0);
  QVERIFY(rig.Logic->MeasureLog() == nullptr);
}

void TstLogicObj::droppedConnectionGivesExactlyOneBox()
{
  TRig rig;
  rig.Prompts.ScriptPaths({QString("server")});
  rig.Start();
  QVERIFY(rig.WaitForState(lsRunning));
  rig.Parts.Client->IsConnected.store(false);
  QVERIFY(rig.Logic->wait(5000));
  QCOMPARE(rig.Journal.Count(kConnectionClosedBox), 1);
  QCOMPARE(rig.Journal.All().last(), QStringLiteral("terminate:0"));
}

void TstLogicObj::dropAfterCloseRequestGivesNoBox()
{
  TRig rig;
  rig.Prompts.ScriptPaths({QString("server")});
  rig.Start();
  QVERIFY(rig.WaitForState(lsRunning));
  rig.Logic->RequestClose();
  rig.Parts.Client->IsConnected.store(false);
  QVERIFY(rig.Logic->wait(5000));
  QCOMPARE(rig.Journal.Count(kConnectionClosedBox), 0);
}

void TstLogicObj::closeRequestWhileConnectingIsNotLost()
{
  TRig rig;
  rig.Parts.ConnectDelayMs = 300;
  rig.Prompts.ScriptPaths({QString("server")});
  rig.Start();
  QTRY_VERIFY_WITH_TIMEOUT(rig.Journal.Count("connect:server:81") == 1, 5000);
  rig.Logic->RequestClose();  // lands while state 0 is still connecting
  QVERIFY(rig.Logic->wait(5000));
  QCOMPARE(rig.Journal.Count("dialog"), 1);
  QCOMPARE(rig.Journal.All().last(), QStringLiteral("terminate:0"));
}

void TstLogicObj::stopRequestEndsPendingDialog()
{
  TRig rig;
  rig.Prompts.ScriptPaths({QString("block")});
  rig.Start();
  QTRY_VERIFY_WITH_TIMEOUT(rig.Journal.Count("dialog") == 1, 5000);
  rig.Logic->RequestStop();
  QVERIFY(rig.Logic->wait(5000));
  const QStringList events = rig.Journal.All();
  QVERIFY(events.contains("dialog abandoned"));
  QVERIFY(events.contains("stop:client"));
  QCOMPARE(events.last(), QStringLiteral("terminate:0"));
}

void TstLogicObj::idleStatePausesAndHonoursStop()
{
  TRig rig;
  rig.Prompts.ScriptPaths({QString("server")});
  rig.Start();
  QVERIFY(rig.WaitForState(lsRunning));
  rig.Logic->InstallFinished();
  QVERIFY(rig.WaitForState(lsInstallFinished));
  QVERIFY(!rig.Logic->wait(300));  // state 9 has no exit of its own
  rig.Logic->RequestClose();
  QVERIFY(rig.Logic->wait(5000));
  QCOMPARE(rig.Journal.All().last(), QStringLiteral("terminate:0"));
}

QTEST_GUILESS_MAIN(TstLogicObj)
#include "tst_logicObj.moc"
