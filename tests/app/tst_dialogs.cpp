#include "app/PasswordForm.h"
#include "app/appSettings.h"
#include "app/netPathForm.h"
#include "app/serverPaths.h"
#include "app/statusLog.h"
#include "app/statusLogFrame.h"
#include "app/uiBridge.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

class TestDialogs : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase();

  void passwordAsk_data();
  void passwordAsk();
  void serverPathForm_data();
  void serverPathForm();
  void serverPathFormReloads();
  void errorMessageOpensEventList();
  void statusBarShowsEntry();

 private:
  static void Drain()
  {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
  QTemporaryDir m_settingsDir;
};

void TestDialogs::initTestCase()
{
  UiBridge::install();
  SetMainFormShown(true);
  QVERIFY(m_settingsDir.isValid());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestDialogs::passwordAsk_data()
{
  QTest::addColumn<QString>("typed");
  QTest::addColumn<bool>("cancel");
  QTest::addColumn<int>("expected");

  QTest::newRow("right") << "Quintaxel Harbor" << false << 0;
  QTest::newRow("wrong case") << "quintaxel harbor" << false << 1;
  QTest::newRow("trailing blank") << "Quintaxel Harbor " << false << 1;
  QTest::newRow("leading blank") << " Quintaxel Harbor" << false << 1;
  QTest::newRow("empty") << "" << false << 1;
  QTest::newRow("cancelled with the right text") << "Quintaxel Harbor" << true << 255;
}

void TestDialogs::passwordAsk()
{
  QFETCH(QString, typed);
  QFETCH(bool, cancel);
  QFETCH(int, expected);

  TPasswordDlg dlg;
  dlg.Password->setText(QStringLiteral("left over"));
  bool startedEmpty = false;
  bool focused = false;
  QTimer::singleShot(0, &dlg, [&] {
    startedEmpty = dlg.Password->text().isEmpty();
    focused = dlg.focusWidget() == dlg.Password;
    QTest::keyClicks(dlg.Password, typed);
    if (cancel)
      dlg.CancelBT->click();
    else
      QTest::keyClick(dlg.Password, Qt::Key_Return);  // OK is the default button
  });
  QCOMPARE(dlg.Ask(), expected);
  QVERIFY(startedEmpty);
  QVERIFY(focused);
  QCOMPARE(TPasswordDlg::IsAdvancedPassword(typed), expected == 0 || cancel);
}

void TestDialogs::serverPathForm_data()
{
  QTest::addColumn<QVariant>("stored");  // invalid: value missing
  QTest::addColumn<QString>("typed");    // null: leave the edit field alone
  QTest::addColumn<bool>("connect");
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("written");

  const QVariant ab(QStringLiteral(R"("A";"B")"));
  QTest::newRow("connect to second") << ab << "B" << true << "B" << R"("B";"A")";
  QTest::newRow("cancel reorders too") << ab << "B" << false << "" << R"("B";"A")";
  QTest::newRow("connect to first as offered") << ab << QString() << true << "A" << R"("A";"B")";
  QTest::newRow("connect to new server") << ab << "C" << true << "C" << R"("C";"A";"B")";
  QTest::newRow("cancel with empty field") << ab << "" << false << "" << R"("A";"B")";
  QTest::newRow("no stored list") << QVariant() << "X" << true << "X" << R"("X")";
  QTest::newRow("no stored list, cancelled") << QVariant() << QString() << false << "" << "";
}

void TestDialogs::serverPathForm()
{
  QFETCH(QVariant, stored);
  QFETCH(QString, typed);
  QFETCH(bool, connect);
  QFETCH(QString, path);
  QFETCH(QString, written);

  UserSettings()->clear();
  if (stored.isValid())
    UserSettings()->setValue(QLatin1String(kServerPathsValue), stored);

  TserverPathForm form;
  const QStringList offered = ParseServerPaths(stored.toString());
  QCOMPARE(form.pathCB->count(), offered.size());
  QCOMPARE(form.pathCB->currentText(), offered.isEmpty() ? QString() : offered.first());
  QVERIFY(!form.userCB->isEnabled());
  QVERIFY(!form.passwordED->isEnabled());

  QTimer::singleShot(0, &form, [&] {
    if (!typed.isNull()) {
      form.pathCB->lineEdit()->clear();
      QTest::keyClicks(form.pathCB->lineEdit(), typed);
    }
    (connect ? form.ConnectBT : form.CancelBT)->click();
  });
  QCOMPARE(form.exec(), connect ? int(QDialog::Accepted) : int(QDialog::Rejected));

  QCOMPARE(form.Path(), path);
  QCOMPARE(form.Paths(), written);
  QCOMPARE(UserSettings()->value(QLatin1String(kServerPathsValue)).toString(), written);
}

void TestDialogs::serverPathFormReloads()
{
  UserSettings()->setValue(QLatin1String(kServerPathsValue), QStringLiteral(R"("A")"));
  TserverPathForm form;
  UserSettings()->setValue(QLatin1String(kServerPathsValue), QStringLiteral(R"("N";"A")"));
  form.Reload();
  QCOMPARE(form.pathCB->count(), 2);
  QCOMPARE(form.pathCB->currentText(), QStringLiteral("N"));
  // Closing without exec() saves as well.
  form.accept();
  QCOMPARE(form.Path(), QStringLiteral("N"));
  QCOMPARE(form.Paths(), QStringLiteral(R"("N";"A")"));
}

void TestDialogs::errorMessageOpensEventList()
{
  TStatusLog log;
  TstatusLogFr frame(nullptr, &log);
  frame.Init();
  frame.SetFrameHeight(120);
  frame.ShowLog(false);
  frame.resize(600, frame.height());
  frame.show();
  QVERIFY(QTest::qWaitForWindowExposed(&frame));

  for (int i = 0; i < 50; ++i)
    AddLogMessage(QStringLiteral("info %1").arg(i), LogInfo);
  Drain();
  QVERIFY(!frame.LogVisible());

  AddLogMessage(QStringLiteral("Connection error."), LogError);
  Drain();
  QVERIFY(frame.LogVisible());
  QVERIFY(frame.height() >= 100);
  QTableView* view = frame.AlarmLogVST;
  const QModelIndex newest = view->model()->index(view->model()->rowCount() - 1, 1);
  QCOMPARE(newest.data().toString(), QStringLiteral("Connection error."));
  QTRY_VERIFY(view->viewport()->rect().contains(view->visualRect(newest)));

  frame.LogBT->click();
  QVERIFY(!frame.LogVisible());
  frame.LogBT->click();
  QVERIFY(frame.LogVisible());
}

void TestDialogs::statusBarShowsEntry()
{
  TStatusLog log;
  TstatusLogFr frame(nullptr, &log);
  frame.Init();
  QVERIFY(frame.Gauge->isHidden());

  TStatusEntryId entry = NewStatusEntry();
  SetStatusEntry(entry, QStringLiteral("Reading series"), 40, true);
  Drain();
  QCOMPARE(frame.StatusText->text(), QStringLiteral("Reading series"));
  QVERIFY(!frame.Gauge->isHidden());
  QCOMPARE(frame.Gauge->value(), 40);

  SetStatusEntry(entry, QStringLiteral("Waiting"), -1, true);
  Drain();
  QCOMPARE(frame.StatusText->text(), QStringLiteral("Waiting"));
  QVERIFY(frame.Gauge->isHidden());

  log.Tick();
  FreeStatusEntry(entry);
  Drain();
  QCOMPARE(frame.StatusText->text(), QString());
  QVERIFY(frame.Gauge->isHidden());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
