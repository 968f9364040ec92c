#include "app/statusLog.h"
#include "app/uiBridge.h"

#include <QSignalSpy>
#include <QtTest>

#include <set>
#include <thread>

class TestStatusLog : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { UiBridge::install(); }
  void init();
  void cleanup();

  void messagesFromWorkerArriveInOrder();
  void eventListPresentation();
  void onlyErrorsRequestTheList();
  void entriesFromSeveralThreads();
  void rotation_data();
  void rotation();
  void progressMinusOneHidesGauge();
  void updatesBeforeMainFormShownAreStored();
  void freeingEntries();
  void eventListKeepsNewest();
  void operationsAfterDestructionDoNothing();

 private:
  static void Drain()
  {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
  TStatusEntryId NewVisibleEntry(const QString& text, int value)
  {
    const TStatusEntryId id = NewStatusEntry();
    SetStatusEntry(id, text, value, true);
    Drain();
    return id;
  }

  TStatusLog* m_log = nullptr;
};

void TestStatusLog::init()
{
  SetMainFormShown(true);
  m_log = CreateStatusLog();
  QCOMPARE(StatusLog(), m_log);
}

void TestStatusLog::cleanup()
{
  delete m_log;
  m_log = nullptr;
  Drain();
}

void TestStatusLog::messagesFromWorkerArriveInOrder()
{
  constexpr int kCount = 200;
  const QDateTime before = QDateTime::currentDateTime();
  std::thread worker([] {
    for (int i = 0; i < kCount; ++i)
      AddLogMessage(QStringLiteral("message %1").arg(i), i % 3 == 0 ? LogError : LogInfo);
  });
  worker.join();
  const QDateTime after = QDateTime::currentDateTime();
  // Nothing reaches the model until the UI thread runs the posted calls.
  QCOMPARE(m_log->Model()->rowCount(), 0);
  Drain();

  TEventListModel* model = m_log->Model();
  QCOMPARE(model->rowCount(), kCount);
  QDateTime previous = before;
  for (int i = 0; i < kCount; ++i) {
    const TLogEntry& entry = model->Entry(i);
    QCOMPARE(entry.Text, QStringLiteral("message %1").arg(i));
    QCOMPARE(int(entry.Kind), i % 3 == 0 ? int(LogError) : int(LogInfo));
    QVERIFY(entry.Time >= previous);
    QVERIFY(entry.Time <= after);
    previous = entry.Time;
  }
}

void TestStatusLog::eventListPresentation()
{
  const QDateTime time(QDate(2024, 3, 5), QTime(14, 7, 9));
  m_log->AddEntry(time, QStringLiteral("Connection error."), LogError);
  m_log->AddEntry(time, QStringLiteral("Logged on"), LogInfo);
  TEventListModel* model = m_log->Model();

  QCOMPARE(model->columnCount(), 2);
  QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Date"));
  QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Description"));
  QCOMPARE(model->data(model->index(0, 0)).toString(), QStringLiteral("2024.03.05 14:07:09"));
  QCOMPARE(model->data(model->index(0, 1)).toString(), QStringLiteral("Connection error."));

  QCOMPARE(model->data(model->index(0, 1), Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
  QVERIFY(model->data(model->index(0, 0), Qt::FontRole).value<QFont>().bold());
  QVERIFY(!model->data(model->index(1, 1), Qt::ForegroundRole).isValid());
  QVERIFY(!model->data(model->index(1, 1), Qt::FontRole).isValid());
  QVERIFY(!(model->flags(model->index(0, 1)) & Qt::ItemIsEditable));
}

void TestStatusLog::onlyErrorsRequestTheList()
{
  QSignalSpy spy(m_log, &TStatusLog::logVisibilityRequested);
  AddLogMessage(QStringLiteral("Logged on"), LogInfo);
  Drain();
  QCOMPARE(spy.count(), 0);

  AddLogMessage(QStringLiteral("Server has closed connection."), LogError);
  Drain();
  QCOMPARE(spy.count(), 1);
  QCOMPARE(spy.at(0).at(0).toBool(), true);
}

void TestStatusLog::entriesFromSeveralThreads()
{
  constexpr int kPerThread = 50;
  std::vector<TStatusEntryId> first(kPerThread), second(kPerThread);
  auto work = [](std::vector<TStatusEntryId>& ids, const QString& name) {
    for (auto& id : ids) {
      id = NewStatusEntry();
      SetStatusEntry(id, name, 1, true);
    }
  };
  std::thread a(work, std::ref(first), QStringLiteral("a"));
  std::thread b(work, std::ref(second), QStringLiteral("b"));
  a.join();
  b.join();
  Drain();

  std::set<TStatusEntryId> ids(first.begin(), first.end());
  ids.insert(second.begin(), second.end());
  QCOMPARE(int(ids.size()), 2 * kPerThread);
  QVERIFY(!ids.count(0));
  QCOMPARE(m_log->StatusEntryCount(), 2 * kPerThread);
  // Each update reached the entry it was meant for, even though creation and
  // update of one thread interleaved with the other thread's calls.
  for (TStatusEntryId id : first)
    QCOMPARE(m_log->FindStatusEntry(id)->Text, QStringLiteral("a"));
  for (TStatusEntryId id : second)
    QCOMPARE(m_log->FindStatusEntry(id)->Text, QStringLiteral("b"));
}

void TestStatusLog::rotation_data()
{
  QTest::addColumn<QList<bool>>("visible");
  QTest::addColumn<QStringList>("shown");  // after each of four ticks

  QTest::newRow("two visible alternate") << QList<bool>{true, true}
                                         << QStringList{"e0", "e1", "e0", "e1"};
  QTest::newRow("one visible stays") << QList<bool>{false, true, false}
                                     << QStringList{"e1", "e1", "e1", "e1"};
  QTest::newRow("invisible ones skipped") << QList<bool>{true, false, true}
                                          << QStringList{"e0", "e2", "e0", "e2"};
  QTest::newRow("none visible") << QList<bool>{false, false} << QStringList{"", "", "", ""};
  QTest::newRow("no entries") << QList<bool>{} << QStringList{"", "", "", ""};
}

void TestStatusLog::rotation()
{
  QFETCH(QList<bool>, visible);
  QFETCH(QStringList, shown);

  for (int i = 0; i < visible.size(); ++i) {
    const TStatusEntryId id = NewStatusEntry();
    SetStatusEntry(id, QStringLiteral("e%1").arg(i), 10 * (i + 1), visible.at(i));
  }
  Drain();

  QSignalSpy restarts(m_log, &TStatusLog::restartRotationTimer);
  for (int tick = 0; tick < shown.size(); ++tick) {
    m_log->Tick();
    const QString expected = shown.at(tick);
    QCOMPARE(m_log->DisplayedText(), expected);
    if (expected.isEmpty()) {
      QCOMPARE(m_log->DisplayedValue(), -1);
      QCOMPARE(m_log->CurrentEntry(), TStatusEntryId(0));
      QCOMPARE(m_log->Cursor(), -1);
    } else {
      const int index = expected.mid(1).toInt();
      QCOMPARE(m_log->DisplayedValue(), 10 * (index + 1));
      QCOMPARE(m_log->Cursor(), index);
    }
  }
  QCOMPARE(restarts.count(), shown.size());
}

void TestStatusLog::progressMinusOneHidesGauge()
{
  QSignalSpy spy(m_log, &TStatusLog::statusDisplayed);
  const TStatusEntryId id = NewVisibleEntry(QStringLiteral("Report"), -1);
  QCOMPARE(spy.count(), 1);
  QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("Report"));
  QCOMPARE(spy.at(0).at(1).toInt(), -1);

  SetStatusEntry(id, QStringLiteral("Report"), 40, true);
  Drain();
  QCOMPARE(spy.count(), 2);
  QCOMPARE(spy.at(1).at(1).toInt(), 40);
}

void TestStatusLog::updatesBeforeMainFormShownAreStored()
{
  SetMainFormShown(false);
  QSignalSpy spy(m_log, &TStatusLog::statusDisplayed);
  const TStatusEntryId id = NewVisibleEntry(QStringLiteral("early"), 5);
  ShowStatusEntry(id);
  Drain();
  QCOMPARE(spy.count(), 0);
  QCOMPARE(m_log->FindStatusEntry(id)->Text, QStringLiteral("early"));
  QCOMPARE(m_log->FindStatusEntry(id)->Value, 5);

  // The rotation shows what was stored.
  m_log->Tick();
  QCOMPARE(m_log->DisplayedText(), QStringLiteral("early"));

  // A stored update appears with the first update after the window is shown.
  SetStatusEntry(id, QStringLiteral("still hidden"), 6, true);
  Drain();
  QCOMPARE(m_log->DisplayedText(), QStringLiteral("early"));
  SetMainFormShown(true);
  SetStatusEntry(id, QStringLiteral("shown"), 7, true);
  Drain();
  QCOMPARE(m_log->DisplayedText(), QStringLiteral("shown"));
  QCOMPARE(m_log->DisplayedValue(), 7);
}

void TestStatusLog::freeingEntries()
{
  TStatusEntryId a = NewVisibleEntry(QStringLiteral("a"), 1);
  TStatusEntryId b = NewVisibleEntry(QStringLiteral("b"), 2);
  TStatusEntryId c = NewVisibleEntry(QStringLiteral("c"), 3);
  m_log->Tick();
  m_log->Tick();
  QCOMPARE(m_log->CurrentEntry(), b);

  // Freeing another entry leaves the display alone.
  FreeStatusEntry(a);
  QCOMPARE(a, TStatusEntryId(0));
  Drain();
  QCOMPARE(m_log->DisplayedText(), QStringLiteral("b"));
  QCOMPARE(m_log->Cursor(), 0);

  const TStatusEntryId bId = b;
  FreeStatusEntry(b);
  Drain();
  QCOMPARE(m_log->CurrentEntry(), TStatusEntryId(0));
  QCOMPARE(m_log->DisplayedText(), QString());
  QCOMPARE(m_log->DisplayedValue(), -1);
  QVERIFY(m_log->FindStatusEntry(bId) == nullptr);
  QVERIFY(m_log->Cursor() < m_log->StatusEntryCount());
  // The entry that followed the freed one comes next.
  m_log->Tick();
  QCOMPARE(m_log->DisplayedText(), QStringLiteral("c"));

  FreeStatusEntry(c);
  Drain();
  QCOMPARE(m_log->StatusEntryCount(), 0);
  QCOMPARE(m_log->Cursor(), -1);
  // A cleared id is ignored.
  FreeStatusEntry(c);
  SetStatusEntry(c, QStringLiteral("x"), 1, true);
  Drain();
  QCOMPARE(m_log->StatusEntryCount(), 0);
}

void TestStatusLog::eventListKeepsNewest()
{
  constexpr int kExtra = 5;
  for (int i = 0; i < TEventListModel::MaxRows + kExtra; ++i)
    AddLogMessage(QStringLiteral("message %1").arg(i), LogInfo);
  Drain();
  TEventListModel* model = m_log->Model();
  QCOMPARE(model->rowCount(), TEventListModel::MaxRows);
  QCOMPARE(model->Entry(0).Text, QStringLiteral("message %1").arg(kExtra));
  QCOMPARE(model->Entry(model->rowCount() - 1).Text,
           QStringLiteral("message %1").arg(TEventListModel::MaxRows + kExtra - 1));
}

void TestStatusLog::operationsAfterDestructionDoNothing()
{
  // Posted while the log exists, delivered after it is gone.
  AddLogMessage(QStringLiteral("late"), LogError);
  TStatusEntryId id = NewStatusEntry();
  SetStatusEntry(id, QStringLiteral("late"), 1, true);
  delete m_log;
  m_log = nullptr;
  QVERIFY(StatusLog() == nullptr);
  Drain();

  TStatusEntryId fromWorker = 1;
  std::thread worker([&fromWorker] {
    AddLogMessage(QStringLiteral("after"), LogError);
    TStatusEntryId entry = NewStatusEntry();
    fromWorker = entry;
    SetStatusEntry(entry, QStringLiteral("after"), 1, true);
    ShowStatusEntry(entry);
    FreeStatusEntry(entry);
  });
  worker.join();
  QCOMPARE(fromWorker, TStatusEntryId(0));
  FreeStatusEntry(id);
  Drain();
  QVERIFY(StatusLog() == nullptr);
}

QTEST_MAIN(TestStatusLog)
#include "tst_statusLog.moc"
