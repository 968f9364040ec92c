#include "model/alarmUnitXMLstor.h"
#include "model/alarmXMLstor.h"
#include "model/alarms.h"
#include "model/inUnitAlarmXMLstor.h"

#include <QThread>
#include <QtTest>

#include <atomic>
#include <limits>

class TstAlarms : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void addAlarm_data();
  void addAlarm();
  void idsNeverReused();
  void changeAndDelete();
  void iterationInListOrder();
  void cycle();
  void computeRequired_data();
  void computeRequired();
  void makerBindAndPurge();
  void modesPurge();
  void definitionsDocument();
  void definitionsReader_data();
  void definitionsReader();
  void inUnitDocument();
  void alarmUnitDocument();
  void cycleAndConfirmFromTwoThreads();
};

// A list holding "Pump" with id 5, then one AddAlarm.
void TstAlarms::addAlarm_data()
{
  QTest::addColumn<int>("id");
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("result");
  QTest::addColumn<QString>("storedName");
  QTest::addColumn<int>("maxId");

  QTest::newRow("new") << 6 << "Fan" << 0 << "Fan" << 6;
  QTest::newRow("blanks trimmed") << 6 << "  Fan \t" << 0 << "Fan" << 6;
  QTest::newRow("same name after trimming") << 6 << " Pump " << -2 << "" << 5;
  QTest::newRow("name differs in case only") << 6 << "pump" << 0 << "pump" << 6;
  QTest::newRow("blank name") << 6 << "   " << -3 << "" << 5;
  QTest::newRow("empty name checked before id") << 5 << "" << -3 << "" << 5;
  QTest::newRow("id taken") << 5 << "Fan" << -1 << "" << 5;
  QTest::newRow("id and name taken: id reported") << 5 << "Pump" << -1 << "" << 5;
  QTest::newRow("lower id keeps MaxId") << 2 << "Fan" << 0 << "Fan" << 5;
  QTest::newRow("non-ASCII name") << 40 << QStringLiteral(" Zbiornik łódź ") << 0
                                  << QStringLiteral("Zbiornik łódź") << 40;
}

void TstAlarms::addAlarm()
{
  QFETCH(int, id);
  QFETCH(QString, name);
  QFETCH(int, result);
  QFETCH(QString, storedName);
  QFETCH(int, maxId);

  TalarmsList list;
  QCOMPARE(list.AddAlarm(5, QStringLiteral("Pump"), QStringLiteral("pump failure")), 0);
  QCOMPARE(list.AddAlarm(id, name, QStringLiteral("d")), result);
  QCOMPARE(list.MaxId(), maxId);
  QCOMPARE(list.Count(), result == 0 ? 2 : 1);
  QCOMPARE(list.FindAlarm(5)->Name, QStringLiteral("Pump"));
  if (result == 0) {
    const std::optional<Talarm> added = list.FindAlarm(id);
    QVERIFY(added);
    QCOMPARE(added->Name, storedName);
    QCOMPARE(added->Desc, QStringLiteral("d"));
  }
}

void TstAlarms::idsNeverReused()
{
  TalarmsList list;
  QCOMPARE(list.MaxId(), -1);
  QCOMPARE(list.AddAlarmAuto(QStringLiteral("A"), QString()), 0);
  QVERIFY(list.FindAlarm(0));
  QCOMPARE(list.DeleteAlarm(0), 0);
  QCOMPARE(list.MaxId(), 0);
  QCOMPARE(list.AddAlarmAuto(QStringLiteral("A"), QString()), 0);
  QVERIFY(!list.FindAlarm(0));
  QVERIFY(list.FindAlarm(1));
  QCOMPARE(list.AddAlarm(10, QStringLiteral("B"), QString()), 0);
  QCOMPARE(list.AddAlarmAuto(QStringLiteral("C"), QString()), 0);
  QVERIFY(list.FindAlarm(11));
  QCOMPARE(list.AddAlarmAuto(QStringLiteral("  "), QString()), -3);
  QCOMPARE(list.AddAlarmAuto(QStringLiteral("C"), QString()), -2);
  QCOMPARE(list.MaxId(), 11);

  // Once the id range is used up there is no next id to give.
  QCOMPARE(list.AddAlarm(std::numeric_limits<qint32>::max(), QStringLiteral("Last"), QString()), 0);
  QCOMPARE(list.AddAlarmAuto(QStringLiteral("D"), QString()), -1);
}

void TstAlarms::changeAndDelete()
{
  TalarmsList list;
  QCOMPARE(list.AddAlarmAuto(QStringLiteral("First"), QString()), 0);
  QCOMPARE(list.AddAlarmAuto(QStringLiteral("Second"), QString()), 0);
  QCOMPARE(list.AddAlarmAuto(QStringLiteral("Third"), QStringLiteral("old")), 0);
  QCOMPARE(list.DeleteAlarm(0), 0);
  QCOMPARE(list.DeleteAlarm(0), -1);

  QCOMPARE(list.ChangeAlarm(2, QStringLiteral("Second"), QString()), -2);
  QCOMPARE(list.ChangeAlarm(2, QStringLiteral(" Third "), QStringLiteral("new")), 0);
  QCOMPARE(list.FindAlarm(2)->Desc, QStringLiteral("new"));
  QCOMPARE(list.ChangeAlarm(0, QStringLiteral("Other"), QString()), -1);
  QCOMPARE(list.ChangeAlarm(2, QStringLiteral(" "), QString()), -3);
  QCOMPARE(list.FindAlarm(2)->Name, QStringLiteral("Third"));

  // The name index follows a rename: the old name is free, the new one taken.
  QCOMPARE(list.ChangeAlarm(2, QStringLiteral("Renamed"), QString()), 0);
  QCOMPARE(list.AddAlarm(7, QStringLiteral("Third"), QString()), 0);
  QCOMPARE(list.AddAlarm(8, QStringLiteral("Renamed"), QString()), -2);
  // And a deleted alarm's name is free again.
  QCOMPARE(list.AddAlarm(9, QStringLiteral("First"), QString()), 0);
}

void TstAlarms::iterationInListOrder()
{
  TalarmsList list;
  QCOMPARE(list.AddAlarm(9, QStringLiteral("A"), QString()), 0);
  QCOMPARE(list.AddAlarm(3, QStringLiteral("B"), QString()), 0);
  QCOMPARE(list.AddAlarm(6, QStringLiteral("C"), QString()), 0);
  QCOMPARE(list.DeleteAlarm(3), 0);

  QList<qint32> ids;
  int cursor = -1;
  for (std::optional<Talarm> a = list.FirstAlarm(cursor); a; a = list.NextAlarm(cursor))
    ids << a->Id;
  QCOMPARE(ids, (QList<qint32>{9, 6}));
  QVERIFY(!list.NextAlarm(cursor));
  QCOMPARE(list.AlarmAt(1)->Name, QStringLiteral("C"));
  QVERIFY(!list.AlarmAt(2));
  QVERIFY(!list.AlarmAt(-1));

  TalarmsList empty;
  QVERIFY(!empty.FirstAlarm(cursor));
}

void TstAlarms::cycle()
{
  TalarmsList list;
  auto runCycle = [&list](const QList<qint32>& raised) {
    list.StartCycle();
    for (qint32 id : raised)
      list.Raise(id);
    list.EndCycle();
  };
  for (const char* name : {"A", "B", "C"})
    QCOMPARE(list.AddAlarmAuto(QString::fromLatin1(name), QString()), 0);

  runCycle({0, 1});
  QCOMPARE(list.Active(), (QSet<qint32>{0, 1}));
  QVERIFY(list.IsActiveUnconfirmed(0));
  QVERIFY(!list.IsActiveUnconfirmed(2));

  list.ConfirmAll();
  QCOMPARE(list.Confirmed(), (QSet<qint32>{0, 1}));
  QVERIFY(!list.IsActiveUnconfirmed(0));

  // Raising during a cycle changes nothing visible until the cycle ends.
  list.StartCycle();
  QVERIFY(list.Raised().isEmpty());
  list.Raise(0);
  list.Raise(2);
  QCOMPARE(list.Active(), (QSet<qint32>{0, 1}));
  QVERIFY(!list.IsActiveUnconfirmed(2));
  list.EndCycle();
  // B cleared: it leaves Active and Confirmed; A stays confirmed; C is new.
  QCOMPARE(list.Active(), (QSet<qint32>{0, 2}));
  QCOMPARE(list.Confirmed(), (QSet<qint32>{0}));
  QVERIFY(list.IsActiveUnconfirmed(2));

  // B comes back unconfirmed.
  runCycle({0, 1, 2});
  QVERIFY(!list.IsActiveUnconfirmed(0));
  QVERIFY(list.IsActiveUnconfirmed(1));
  QCOMPARE(list.ActiveUnconfirmed(), (QSet<qint32>{1, 2}));

  // A deleted alarm stops signalling at once.
  QCOMPARE(list.DeleteAlarm(1), 0);
  QVERIFY(!list.IsActiveUnconfirmed(1));
  QCOMPARE(list.Active(), (QSet<qint32>{0, 2}));
}

// An output bound to A (id 0, mode 2), B (id 1, mode 64), C (id 2, a mode
// beyond 32 bits) and D (id 3, negative mode). One cycle raises
// `beforeConfirm`, the operator confirms, then a cycle raises `raised`.
void TstAlarms::computeRequired_data()
{
  QTest::addColumn<QList<qint32>>("beforeConfirm");
  QTest::addColumn<QList<qint32>>("raised");
  QTest::addColumn<int>("required");

  QTest::newRow("nothing active") << QList<qint32>{} << QList<qint32>{} << 0;
  QTest::newRow("A and B active: strongest") << QList<qint32>{} << QList<qint32>{0, 1} << 64;
  QTest::newRow("B confirmed, A comes") << QList<qint32>{1} << QList<qint32>{0, 1} << 2;
  QTest::newRow("both confirmed") << QList<qint32>{0, 1} << QList<qint32>{0, 1} << 0;
  QTest::newRow("unbound alarm active") << QList<qint32>{} << QList<qint32>{4} << 0;
  QTest::newRow("negative mode never wins over none") << QList<qint32>{} << QList<qint32>{3} << 0;
  QTest::newRow("mode beyond 32 bits clamped")
      << QList<qint32>{} << QList<qint32>{0, 2} << std::numeric_limits<qint32>::max();
}

void TstAlarms::computeRequired()
{
  QFETCH(QList<qint32>, beforeConfirm);
  QFETCH(QList<qint32>, raised);
  QFETCH(int, required);

  TalarmsList list;
  for (const char* name : {"A", "B", "C", "D", "E"})
    QCOMPARE(list.AddAlarmAuto(QString::fromLatin1(name), QString()), 0);
  const TalarmModeMap modes{{0, 2}, {1, 64}, {2, qint64(5000000000)}, {3, -5}};

  list.StartCycle();
  for (qint32 id : beforeConfirm)
    list.Raise(id);
  list.EndCycle();
  list.ConfirmAll();
  list.StartCycle();
  for (qint32 id : raised)
    list.Raise(id);
  list.EndCycle();
  QCOMPARE(TalarmModes::ComputeRequired(modes, list), required);
}

void TstAlarms::makerBindAndPurge()
{
  TalarmsList list;
  for (const char* name : {"A", "B", "C"})
    QCOMPARE(list.AddAlarmAuto(QString::fromLatin1(name), QString()), 0);

  TalarmMaker maker;
  QCOMPARE(maker.Bind(4, 0), 0);
  QCOMPARE(maker.Bind(4, 0), -1);
  QCOMPARE(maker.Bind(4, 1), 0);
  QCOMPARE(maker.Bind(7, 1), 0);
  QCOMPARE(maker.Bind(2, 2), 0);
  QCOMPARE(maker.AlarmsFor(4), (QList<qint32>{0, 1}));
  QVERIFY(maker.AlarmsFor(99).isEmpty());
  QCOMPARE(maker.Codes(), (QList<qint32>{2, 4, 7}));

  QCOMPARE(maker.Purge(list), false);
  QCOMPARE(list.DeleteAlarm(1), 0);
  QCOMPARE(maker.Purge(list), true);
  QCOMPARE(maker.AlarmsFor(4), (QList<qint32>{0}));
  // A code left without alarms goes, so it is not stored as an empty list.
  QCOMPARE(maker.Codes(), (QList<qint32>{2, 4}));
  QCOMPARE(maker.Purge(list), false);

  maker.ClearBindings();
  QVERIFY(maker.Codes().isEmpty());
  QVERIFY(maker.Bindings().isEmpty());
  QCOMPARE(maker.Bind(4, 0), 0);  // lists are made again on demand
}

void TstAlarms::modesPurge()
{
  TalarmsList list;
  QCOMPARE(list.AddAlarm(0, QStringLiteral("A"), QString()), 0);
  QCOMPARE(list.AddAlarm(2, QStringLiteral("B"), QString()), 0);
  TalarmModeMap modes{{0, 2}, {1, 64}, {2, 32}};
  QCOMPARE(TalarmModes::Purge(modes, list), true);
  QCOMPARE(modes, (TalarmModeMap{{0, 2}, {2, 32}}));
  QCOMPARE(TalarmModes::Purge(modes, list), false);
}

void TstAlarms::definitionsDocument()
{
  TalarmsList list;
  QCOMPARE(list.AddAlarmAuto(QStringLiteral("Pump"), QStringLiteral("Pump stopped")), 0);
  QCOMPARE(list.AddAlarmAuto(QStringLiteral("Tank <1> & \"hot\""),
                             QStringLiteral("Zbiornik łódź, Übertemperatur")),
           0);
  const QString text = TalarmXMLstor::Write(list);
  QCOMPARE(text, QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<alarms maxID=\"1\">\n"
                                "  <alarm id=\"0\">\n"
                                "    <name>Pump</name>\n"
                                "    <desc>Pump stopped</desc>\n"
                                "  </alarm>\n"
                                "  <alarm id=\"1\">\n"
                                "    <name>Tank &lt;1&gt; &amp; &quot;hot&quot;</name>\n"
                                "    <desc>Zbiornik łódź, Übertemperatur</desc>\n"
                                "  </alarm>\n"
                                "</alarms>\n"));

  // An empty list still records MaxId, so deleted ids stay used.
  QCOMPARE(list.DeleteAlarm(0), 0);
  QCOMPARE(list.DeleteAlarm(1), 0);
  QCOMPARE(TalarmXMLstor::Write(list), QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                      "<alarms maxID=\"1\"/>\n"));

  // Round trip: the reader rebuilds names, texts, order and MaxId.
  TalarmsList source;
  QCOMPARE(source.AddAlarm(4, QStringLiteral("Tank <1> & \"hot\""), QStringLiteral("łódź\nline 2")),
           0);
  // XML cannot hold most control characters; they are dropped rather than
  // making the whole document unreadable.
  QCOMPARE(source.AddAlarm(1, QStringLiteral("Pump"), QStringLiteral("bell") + QChar(7)), 0);
  QCOMPARE(source.AddAlarm(9, QStringLiteral("Gone"), QString()), 0);
  QCOMPARE(source.DeleteAlarm(9), 0);
  TalarmsList copy;
  QCOMPARE(copy.AddAlarm(50, QStringLiteral("Stale"), QString()), 0);
  copy.StartCycle();
  copy.Raise(50);
  copy.EndCycle();
  QCOMPARE(TalarmXMLstor::Read(TalarmXMLstor::Write(source), copy), 0);
  QCOMPARE(copy.MaxId(), 9);
  QVERIFY(copy.Active().isEmpty());
  const QList<Talarm> alarms = copy.Alarms();
  QCOMPARE(alarms.size(), 2);
  QCOMPARE(alarms[0].Id, 4);
  QCOMPARE(alarms[0].Name, QStringLiteral("Tank <1> & \"hot\""));
  QCOMPARE(alarms[0].Desc, QStringLiteral("łódź\nline 2"));
  QCOMPARE(alarms[1].Id, 1);
  QCOMPARE(alarms[1].Desc, QStringLiteral("bell"));
}

void TstAlarms::definitionsReader_data()
{
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("result");
  QTest::addColumn<QStringList>("names");  // "id:name" in list order
  QTest::addColumn<int>("maxId");

  QTest::newRow("any case for root, attributes and single elements")
      << "<ALARMS MAXID=\"$10\"><alarm ID=\"0x3\"><NAME>A</NAME><Desc>d</Desc></alarm></ALARMS>"
      << 0 << QStringList{"3:A"} << 16;
  QTest::newRow("repeated elements need their exact name")
      << "<alarms maxID=\"2\"><Alarm id=\"1\"><name>X</name></Alarm><alarm "
         "id=\"2\"><name>B</name></alarm></alarms>"
      << 0 << QStringList{"2:B"} << 2;
  QTest::newRow("refused alarms left out")
      << "<alarms maxID=\"3\"><alarm id=\"1\"><name>A</name></alarm><alarm "
         "id=\"1\"><name>B</name></alarm>"
         "<alarm id=\"2\"><name> A </name></alarm><alarm id=\"3\"/></alarms>"
      << 0 << QStringList{"1:A"} << 3;
  QTest::newRow("no maxID: ids decide")
      << "<alarms><alarm id=\"7\"><name>A</name></alarm></alarms>" << 0 << QStringList{"7:A"} << 7;
  QTest::newRow("wrong root") << "<errors/>" << -1 << QStringList{"0:Kept"} << 0;
  QTest::newRow("malformed") << "<alarms maxID=\"1\"><alarm id=\"0\">" << -1
                             << QStringList{"0:Kept"} << 0;
  QTest::newRow("id not a number") << "<alarms><alarm id=\"one\"><name>A</name></alarm></alarms>"
                                   << -1 << QStringList{"0:Kept"} << 0;
  QTest::newRow("empty text") << "" << -1 << QStringList{"0:Kept"} << 0;
}

void TstAlarms::definitionsReader()
{
  QFETCH(QString, text);
  QFETCH(int, result);
  QFETCH(QStringList, names);
  QFETCH(int, maxId);

  TalarmsList list;
  QCOMPARE(list.AddAlarm(0, QStringLiteral("Kept"), QString()), 0);
  QCOMPARE(TalarmXMLstor::Read(text, list), result);
  QStringList seen;
  for (const Talarm& alarm : list.Alarms())
    seen << QString::number(alarm.Id) + u':' + alarm.Name;
  QCOMPARE(seen, names);
  QCOMPARE(list.MaxId(), maxId);
}

void TstAlarms::inUnitDocument()
{
  TalarmMaker maker;
  QCOMPARE(TinUnitAlarmXMLstor::Write(maker), QString());
  QCOMPARE(maker.Bind(7, 3), 0);
  QCOMPARE(maker.Bind(4, 0), 0);
  QCOMPARE(maker.Bind(4, 12), 0);
  const QString text = TinUnitAlarmXMLstor::Write(maker);
  QCOMPARE(text, QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<errors>\n"
                                "  <error id=\"4\">\n"
                                "    <alarm>0</alarm>\n"
                                "    <alarm>12</alarm>\n"
                                "  </error>\n"
                                "  <error id=\"7\">\n"
                                "    <alarm>3</alarm>\n"
                                "  </error>\n"
                                "</errors>\n"));

  TalarmMaker copy;
  QCOMPARE(copy.Bind(99, 1), 0);
  QCOMPARE(TinUnitAlarmXMLstor::Read(text, copy), 0);
  QCOMPARE(copy.Bindings(), maker.Bindings());

  // Cleared bindings store an empty text, and an empty text clears.
  maker.ClearBindings();
  QCOMPARE(TinUnitAlarmXMLstor::Write(maker), QString());
  QCOMPARE(TinUnitAlarmXMLstor::Read(QString(), copy), 0);
  QVERIFY(copy.Codes().isEmpty());

  QCOMPARE(copy.Bind(1, 1), 0);
  QCOMPARE(TinUnitAlarmXMLstor::Read(
               QStringLiteral("<errors><error id=\"4\"><alarm>z</alarm></error></errors>"), copy),
           -1);
  QCOMPARE(TinUnitAlarmXMLstor::Read(QStringLiteral("<alarms/>"), copy), -1);
  QCOMPARE(copy.AlarmsFor(1), (QList<qint32>{1}));
  QCOMPARE(TinUnitAlarmXMLstor::Read(
               QStringLiteral(
                   "<ERRORS><error id=\"$A\"><alarm> 2 </alarm><alarm>2</alarm></error></ERRORS>"),
               copy),
           0);
  QCOMPARE(copy.Bindings(), (QMap<qint32, QList<qint32>>{{10, {2}}}));
}

void TstAlarms::alarmUnitDocument()
{
  QCOMPARE(TalarmUnitXMLstor::Write(3, TalarmModeMap()), QString());
  const TalarmModeMap modes{{5, 255}, {0, 64}};
  const QString text = TalarmUnitXMLstor::Write(-3, modes);
  QCOMPARE(text, QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<alarmUnit id=\"-3\">\n"
                                "  <alarms>\n"
                                "    <alarm id=\"0\">64</alarm>\n"
                                "    <alarm id=\"5\">255</alarm>\n"
                                "  </alarms>\n"
                                "</alarmUnit>\n"));

  qint32 logId = 0;
  TalarmModeMap read{{9, 1}};
  QCOMPARE(TalarmUnitXMLstor::Read(text, logId, read), 0);
  QCOMPARE(logId, -3);
  QCOMPARE(read, modes);

  QCOMPARE(TalarmUnitXMLstor::Read(QStringLiteral("<alarmUnit><alarms/></alarmUnit>"), logId, read),
           -1);
  QCOMPARE(TalarmUnitXMLstor::Read(
               QStringLiteral(
                   "<alarmUnit id=\"1\"><alarms><alarm id=\"2\"></alarm></alarms></alarmUnit>"),
               logId, read),
           -1);
  QCOMPARE(logId, -3);
  QCOMPARE(read, modes);
  QCOMPARE(TalarmUnitXMLstor::Read(QString(), logId, read), 0);
  QVERIFY(read.isEmpty());
  QCOMPARE(logId, -3);
}

// The polling cycle and the operator's actions run on different threads; under
// ThreadSanitizer this shows whether every shared field is guarded.
void TstAlarms::cycleAndConfirmFromTwoThreads()
{
  TalarmsList list;
  for (const char* name : {"A", "B", "C"})
    QCOMPARE(list.AddAlarmAuto(QString::fromLatin1(name), QString()), 0);
  TalarmMaker maker;
  QCOMPARE(maker.Bind(4, 0), 0);
  const TalarmModeMap modes{{0, 2}, {1, 64}};
  std::atomic<bool> stop{false};
  std::atomic<bool> badValue{false};

  QThread* poller = QThread::create([&] {
    for (int round = 0; round < 2000; ++round) {
      list.StartCycle();
      for (qint32 id : maker.AlarmsFor(4))
        list.Raise(id);
      list.Raise(round % 2);
      list.EndCycle();
      const qint32 required = TalarmModes::ComputeRequired(modes, list);
      if (required != 0 && required != 2 && required != 64)
        badValue = true;
    }
    stop = true;
  });
  poller->start();
  do {
    list.ConfirmAll();
    const qint32 id = list.MaxId() + 1;
    QCOMPARE(list.AddAlarm(id, QStringLiteral("X%1").arg(id), QString()), 0);
    QCOMPARE(maker.Bind(4, id), 0);
    QCOMPARE(list.DeleteAlarm(id), 0);
    maker.Purge(list);
  } while (!stop);
  QVERIFY(poller->wait(60000));
  delete poller;
  QVERIFY(!badValue);
  QCOMPARE(maker.AlarmsFor(4), (QList<qint32>{0}));
}

QTEST_GUILESS_MAIN(TstAlarms)
#include "tst_alarms.moc"
