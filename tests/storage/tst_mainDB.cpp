// The main definitions store: loading a document into the configuration (all
// or nothing), and every store statement against an SQLite main database laid
// out as the installation's other programs create it.

#include "app/cmdParms.h"
#include "app/dateTimeDouble.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "model/alarms.h"
#include "storage/mainDBxml.h"
#include "plantFixture.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>

namespace {

double UsDate(int y, int m, int d, int h = 0, int min = 0, int s = 0)
{
  return DateTimeToDouble(QDate(y, m, d), QTime(h, min, s));
}

}  // namespace

class TstMainDB : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void loadsDocument();
  void refusedDocumentLeavesConfiguration_data();
  void refusedDocumentLeavesConfiguration();
  void reloadKeepsOldObjectsReadable();
  void readersWalkWhileDocumentsAreSwapped();
  void withoutDatabaseEverythingFails();
  void storeStatements();
  void groupRowsThroughSave();
  void accessFileOp();
};

void TstMainDB::loadsDocument()
{
  TConfig config;
  TmainDB store;
  QCOMPARE(store.LoadDocument(config.Params, ReadFixture("storage/data/main.xml")), 0);
  TUnitListV4& units = config.Params.Units();
  QCOMPARE(units.Count(), 3);

  TUnitV4* boiler = units.FindUnitById(1);
  QVERIFY(boiler != nullptr);
  QCOMPARE(boiler->MBAddr, 16);
  QVERIFY(!boiler->DelFlag);
  QCOMPARE(boiler->Name, QString::fromUtf8("Kocioł K1"));
  QCOMPARE(boiler->AddDate, UsDate(2011, 3, 15, 14, 5, 7));
  QCOMPARE(boiler->DelDate, 0.0);

  TUnitV4* flow = units.FindUnitById(2);
  QVERIFY(flow != nullptr);
  QCOMPARE(flow->Name, QString::fromUtf8("Durchfluß-Messer & Zähler"));
  TUnitV4* generic = units.FindUnitById(3);
  QVERIFY(generic != nullptr);
  QCOMPARE(generic->TypeId, 0);  // unknown type 77 falls back to type 0
  QVERIFY(generic->DelFlag);     // absent delFlag reads as deleted
  QCOMPARE(generic->DelDate, UsDate(2020, 6, 30, 23, 59, 59));

  const TInUnitV4* supply = units.FindInUnit(1);
  QVERIFY(supply != nullptr);
  QCOMPARE(supply->Unit, boiler);
  QCOMPARE(supply->Name, QString::fromUtf8("Temp. zasilania"));
  QCOMPARE(supply->PhUnit, QString::fromUtf8("°C"));
  QCOMPARE(supply->PointValue, 10);
  QCOMPARE(supply->Min, -20.5);
  QCOMPARE(supply->Max, 95.0);
  QCOMPARE(supply->Disp, 1);
  QVERIFY(!supply->Deleted);
  QVERIFY(!supply->Disabled());

  const TInUnitV4* voltage = units.FindInUnit(2);
  QVERIFY(voltage->Disabled());
  QCOMPARE(voltage->PointValue, 1);  // absent: the type's decimals stay
  QVERIFY(units.FindInUnit(3)->Deleted);  // absent Deleted reads as deleted
  QCOMPARE(units.FindInUnit(4)->PointValue, 1000);  // PointValue 0 is ignored
  QVERIFY(!units.FindInUnit(4)->Disabled());         // absent UState (255) is enabled

  const TInUnitV4* flowChannel = units.FindInUnit(0x20);
  QVERIFY(flowChannel != nullptr);
  QCOMPARE(flowChannel->Unit, flow);
  QCOMPARE(flowChannel->Max, 12.5);
  QCOMPARE(units.FindInUnit(50), nullptr);

  const TOutUnitV4* out = boiler->FindOutUnitByIDReg(1);
  QCOMPARE(out->LogId, 40);
  QVERIFY(!out->STDpoint);
  QCOMPARE(out->SemValue, 100);
  QCOMPARE(out->InUnitID, 1);
  QVERIFY(boiler->FindOutUnitByIDReg(2)->Deleted);

  const TParams& settings = config.Params.Settings();
  QCOMPARE(settings.COMPort, 16);  // "Port" with a capital P is ignored
  QCOMPARE(settings.BaudRate, 19200);
  QCOMPARE(settings.TimeOut, 500);
  QCOMPARE(settings.MesureTime, 60);
  QCOMPARE(settings.TCPServerPort, 81);
  QCOMPARE(settings.RepOptions, 5u);
  QCOMPARE(settings.ChartPeriod, 3600);

  TGroups& groups = config.Params.Groups();
  QCOMPARE(groups.Count(), 3);
  QCOMPARE(groups.FindGroup(1)->MemberCount(), 2);  // the unknown id 999 adds nothing
  QCOMPARE(groups.FindGroup(5)->MemberAt(0)->Channel, flowChannel);
  QCOMPARE(groups.FindGroup(1)->Name, QString::fromUtf8("Kotłownia"));
  QCOMPARE(groups.AddGroupAuto(QStringLiteral("new"))->Id, 6);

  // Numbers handed out later never collide with loaded ones.
  QVERIFY(units.LastLogId >= 0x20 && units.LastLogId >= 41);
  QVERIFY(units.NextUnitId >= 4);
  const TTypeV4* type1 = config.Types.FindType(1);
  TUnitV4* added = units.AddUnit(type1, 30, units.NextUnitId);
  QVERIFY(added->Id >= 4);
  for (const auto& channel : added->InUnits())
    QVERIFY(channel->LogId > 0x20);
}

void TstMainDB::refusedDocumentLeavesConfiguration_data()
{
  QTest::addColumn<QString>("from");
  QTest::addColumn<QString>("to");
  QTest::newRow("day-first date") << "AddDate=\"3/15/2011 2:05:07 PM\""
                                  << "AddDate=\"15.03.2011 14:05:07\"";
  QTest::newRow("missing DelDate") << " DelDate=\"12/30/1899\" name=\"Kocioł K1\""
                                   << " name=\"Kocioł K1\"";
  QTest::newRow("decimal comma") << "min=\"-20.5\"" << "min=\"-20,5\"";
  QTest::newRow("missing max") << " max=\"95\"" << "";
  QTest::newRow("max on a skipped entry") << "id=\"50\" min=\"0\" max=\"1\""
                                          << "id=\"50\" min=\"0\"";
  QTest::newRow("known param without value") << "<Param name=\"baudrate\" value=\"19200\"/>"
                                             << "<Param name=\"baudrate\"/>";
  QTest::newRow("group without name") << "<Group id=\"5\" name=\"Przepływy\">"
                                      << "<Group id=\"5\">";
  QTest::newRow("member without id") << "<inUnit id=\"$20\"/>" << "<inUnit/>";
  QTest::newRow("broken xml") << "</Definitions>" << "";
}

void TstMainDB::refusedDocumentLeavesConfiguration()
{
  QFETCH(QString, from);
  QFETCH(QString, to);
  TConfig config;
  TmainDB store;
  const QByteArray good = ReadFixture("storage/data/main.xml");
  QCOMPARE(store.LoadDocument(config.Params, good), 0);
  TUnitV4* unitBefore = config.Params.Units().FindUnitById(1);
  TGroup* groupBefore = config.Params.Groups().FindGroup(5);
  const qint32 lastLogId = config.Params.Units().LastLogId;

  QByteArray bad = good;
  QVERIFY(bad.contains(from.toUtf8()));
  bad.replace(from.toUtf8(), to.toUtf8());
  // Settings that the bad document would change must stay as they were.
  bad.replace("<Param name=\"port\" value=\"$10\"/>", "<Param name=\"port\" value=\"7\"/>");
  TmainDB second;
  QCOMPARE(second.LoadDocument(config.Params, bad), -1);
  QVERIFY(!second.LastError().isEmpty());

  QCOMPARE(config.Params.Units().Count(), 3);
  QCOMPARE(config.Params.Units().FindUnitById(1), unitBefore);
  QCOMPARE(config.Params.Groups().FindGroup(5), groupBefore);
  QCOMPARE(config.Params.Units().LastLogId, lastLogId);
  QCOMPARE(config.Params.Settings().COMPort, 16);
}

void TstMainDB::reloadKeepsOldObjectsReadable()
{
  TConfig config;
  TmainDB store;
  const QByteArray doc = ReadFixture("storage/data/main.xml");
  QCOMPARE(store.LoadDocument(config.Params, doc), 0);
  const TInUnitV4* before = config.Params.Units().FindInUnit(1);
  QCOMPARE(store.LoadDocument(config.Params, doc), 0);
  const TInUnitV4* after = config.Params.Units().FindInUnit(1);
  QVERIFY(after != before);
  // A thread that still held the old channel reads a stale, valid object.
  QCOMPARE(before->Name, after->Name);
  QCOMPARE(config.Params.Units().Count(), 3);
  QCOMPARE(config.Params.Groups().Count(), 3);
}

void TstMainDB::readersWalkWhileDocumentsAreSwapped()
{
  TConfig config;
  const QByteArray doc = ReadFixture("storage/data/main.xml");
  {
    TmainDB store;
    QCOMPARE(store.LoadDocument(config.Params, doc), 0);
  }
  std::atomic<bool> stop{false};
  std::atomic<int> walks{0};
  std::atomic<int> wrong{0};
  std::thread reader([&] {
    while (!stop.load()) {
      auto lock = config.Params.ReadLock();
      int channels = 0;
      int unitCursor = -1;
      int chanCursor = -1;
      for (TInUnitV4* c = config.Params.Units().FirstChannel(unitCursor, chanCursor, true, true);
           c != nullptr;
           c = config.Params.Units().NextChannel(unitCursor, chanCursor, true, true)) {
        ++channels;
        (void)c->Name.size();
      }
      int members = 0;
      int groupCursor = -1;
      for (TGroup* g = config.Params.Groups().FirstGroup(groupCursor); g != nullptr;
           g = config.Params.Groups().NextGroup(groupCursor)) {
        int memberCursor = -1;
        for (TInUnitV4* m = g->FirstMember(memberCursor, true, true); m != nullptr;
             m = g->NextMember(memberCursor, true, true))
          members += m->LogId != 0 ? 1 : 0;
      }
      // Units 1 and 2 are live (unit 3 is deleted): 9 + 1 inputs; 3 members.
      if (channels != 10 || members != 3)
        ++wrong;
      ++walks;
    }
  });
  for (int i = 0; i < 30; ++i) {
    TmainDB store;
    QCOMPARE(store.LoadDocument(config.Params, doc), 0);
  }
  QTRY_VERIFY(walks.load() > 0);
  stop.store(true);
  reader.join();
  QCOMPARE(wrong.load(), 0);
}

void TstMainDB::withoutDatabaseEverythingFails()
{
  TConfig config;
  TmainDB loaded;
  QCOMPARE(loaded.LoadDocument(config.Params, ReadFixture("storage/data/main.xml")), 0);
  TUnitV4* unit = config.Params.Units().FindUnitById(1);
  TGroup* group = config.Params.Groups().FindGroup(1);

  // The configuration's own store has no database and no document: nothing
  // can be kept, and every operation says so.
  TmainDBoper& store = *config.Params.Store();
  QCOMPARE(store.StoreParam("COMPort", 1), -1);
  QCOMPARE(store.StoreDefinition("alarm", "<alarms/>"), -1);
  QCOMPARE(store.StoreUnit(*unit), -1);
  QCOMPARE(store.StoreInUnit(*unit->InUnits().front()), -1);
  QCOMPARE(store.StoreOutUnit(*unit->OutUnits().front()), -1);
  QCOMPARE(store.StoreAlarmOutput(1, 1, QString()), -1);
  QCOMPARE(store.InsertGroup(*group), -1);
  QCOMPARE(store.UpdateGroup(*group), -1);
  QCOMPARE(store.InsertGroupMember(*group->MemberAt(0)), -1);
  QVERIFY(group->MemberAt(0)->IsNew);
  QCOMPARE(store.DeleteGroupMember(*group->MemberAt(0)), -1);
  QCOMPARE(store.DeleteGroupRow(*group), -1);
  QCOMPARE(unit->Save(), -1);
  QCOMPARE(group->Save(), -1);
  QVERIFY(group->IsNew);

  // A store that loaded a document keeps unit and channel records in it.
  QCOMPARE(loaded.StoreUnit(*unit), 0);
  QCOMPARE(loaded.StoreInUnit(*unit->InUnits().front()), 0);
  const auto records = loaded.FallbackRecords();
  QCOMPARE(records.size(), size_t(2));
  QCOMPARE(records[0].Element, QStringLiteral("Phdev"));
  QCOMPARE(records[1].Element, QStringLiteral("InUnit"));
  QVERIFY(loaded.FallbackDocument().contains("AddDate=\"3/15/2011 2:05:07 PM\""));
  QVERIFY(loaded.FallbackDocument().contains("min=\"-20.50\""));
}

namespace {

// The tables another program of the installation creates, with an index name
// that the alarm-output table must not collide with.
bool CreateInstallationTables(const QString& file)
{
  QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "setup");
  db.setDatabaseName(file);
  if (!db.open())
    return false;
  QSqlQuery q(db);
  for (const char* sql :
       {"CREATE TABLE Params(Name TEXT, Val INTEGER)",
        "CREATE TABLE PhDevs(IDPhDev INTEGER, IDType INTEGER, Adr INTEGER, DelFlag INTEGER, "
        "DateAdd REAL, DateDel REAL, Name TEXT, SN INTEGER)",
        "CREATE INDEX IDPhDev ON PhDevs(IDPhDev)",
        "CREATE TABLE LogDevs(IDLogDev INTEGER, IDPhDev INTEGER, DelFlag INTEGER, UState INTEGER, "
        "Name TEXT, IDInDev INTEGER, StdPoint INTEGER, PosPoint INTEGER, PhUnit TEXT, MinValue REAL, "
        "MaxValue REAL, NoCol INTEGER, alarms TEXT)",
        "CREATE TABLE Groups(IDGroup INTEGER, Name TEXT, Active INTEGER)",
        "CREATE TABLE GroupDevs(IDGroup INTEGER, IDLogDev INTEGER)",
        "INSERT INTO PhDevs VALUES(1, 0, 0, 0, 0, 0, 'old', 0)",
        "INSERT INTO LogDevs(IDLogDev, IDPhDev, Name) VALUES(1, 1, 'old')",
        "INSERT INTO LogDevs(IDLogDev, IDPhDev, Name) VALUES(40, 1, 'old out')"}) {
    if (!q.exec(sql)) {
      qWarning("%s: %s", sql, qPrintable(q.lastError().text()));
      return false;
    }
  }
  return true;
}

QVariantList Row(const QString& file, const QString& sql)
{
  QVariantList values;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
    db.setDatabaseName(file);
    if (db.open()) {
      QSqlQuery q(db);
      if (q.exec(sql) && q.next()) {
        for (int i = 0; i < q.record().count(); ++i)
          values << q.value(i);
      }
    }
  }
  QSqlDatabase::removeDatabase("check");
  return values;
}

}  // namespace

void TstMainDB::storeStatements()
{
  QTemporaryDir dir;
  const QString file = dir.filePath("main.db");
  QVERIFY(CreateInstallationTables(file));
  QSqlDatabase::removeDatabase("setup");

  TConfig config;
  TmainDB store;
  QCOMPARE(store.LoadDocument(config.Params, ReadFixture("storage/data/main.xml")), 0);
  store.SetDatabaseFile(file);
  TUnitV4* boiler = config.Params.Units().FindUnitById(1);
  TUnitV4* flow = config.Params.Units().FindUnitById(2);

  // Params: insert, then update in place.
  QCOMPARE(store.StoreParam("COMPort", 3), 0);
  QCOMPARE(store.StoreParam("COMPort", 5), 0);
  QCOMPARE(Row(file, "select count(*), max(Val) from Params where Name='COMPort'"),
           (QVariantList{1, 5}));

  // Definitions: the table is created on first use; a numeric-looking text
  // stays text.
  QCOMPARE(store.StoreDefinition("alarm", "0010"), 0);
  QCOMPARE(store.StoreDefinition("alarm", "0020"), 0);
  QCOMPARE(Row(file, "select count(*), define, typeof(define) from other"),
           (QVariantList{1, "0020", "text"}));

  // A unit with a row is updated; dates are day-count doubles, booleans -1/0.
  boiler->DelFlag = true;
  QCOMPARE(store.StoreUnit(*boiler), 0);
  const QVariantList unitRow = Row(file, "select IDType, Adr, DelFlag, DateAdd, Name, SN, "
                                         "typeof(DateAdd) from PhDevs where IDPhDev=1");
  QCOMPARE(unitRow, (QVariantList{1, 16, -1, boiler->AddDate, boiler->Name, 0, "real"}));
  boiler->DelFlag = false;
  // A unit without a row is not silently lost: it goes to the document.
  QCOMPARE(store.StoreUnit(*flow), 0);
  QCOMPARE(store.FallbackRecords().back().Element, QStringLiteral("Phdev"));

  // Input channel with its alarm bindings.
  TInUnitV4* supply = config.Params.Units().FindInUnit(1);
  QCOMPARE(supply->AlarmMaker().Bind(4, 7), 0);
  QCOMPARE(store.StoreInUnit(*supply), 0);
  const QVariantList inRow = Row(file, "select DelFlag, UState, Name, IDInDev, StdPoint, PosPoint, "
                                       "PhUnit, MinValue, MaxValue, NoCol, alarms "
                                       "from LogDevs where IDLogDev=1");
  QCOMPARE(inRow.mid(0, 10),
           (QVariantList{0, 0, supply->Name, -1, 0, 10, supply->PhUnit, -20.5, 95.0, 1}));
  QVERIFY(inRow.at(10).toString().contains("<error id=\"4\">"));

  // Output channel: the same table with its own meanings.
  TOutUnitV4* out = boiler->FindOutUnitByIDReg(1);
  QCOMPARE(store.StoreOutUnit(*out), 0);
  QCOMPARE(Row(file, "select DelFlag, UState, Name, IDInDev, StdPoint, PosPoint, PhUnit, MinValue, "
                     "MaxValue, NoCol from LogDevs where IDLogDev=40"),
           (QVariantList{0, 0, out->Name, 1, 0, 100, "", 0.0, 0.0, -1}));

  // Alarm outputs: the table is created on demand despite the index name
  // "IDPhDev" already taken by another table; then updated in place.
  QCOMPARE(store.StoreAlarmOutput(1, 3, "<a/>"), 0);
  QCOMPARE(store.StoreAlarmOutput(1, 3, "<b/>"), 0);
  QCOMPARE(Row(file, "select count(*), define from AlarmDevs"), (QVariantList{1, "<b/>"}));
  QCOMPARE(Row(file, "select count(*) from sqlite_master where type='index' and "
                     "tbl_name='AlarmDevs'"),
           (QVariantList{2}));

  // Groups and memberships.
  TGroup* group = config.Params.Groups().FindGroup(1);
  QCOMPARE(store.InsertGroup(*group), 0);
  group->Name = QStringLiteral("renamed");
  QCOMPARE(store.UpdateGroup(*group), 0);
  QCOMPARE(Row(file, "select IDGroup, Name, Active from Groups"), (QVariantList{1, "renamed", 0}));
  QCOMPARE(store.UpdateGroup(*config.Params.Groups().FindGroup(5)), -1);  // no row to update
  TDevGroup* member = group->MemberAt(0);
  QCOMPARE(store.InsertGroupMember(*member), 0);
  QVERIFY(!member->IsNew);
  QCOMPARE(store.InsertGroupMember(*member), -1);  // only new memberships are inserted
  QCOMPARE(Row(file, "select IDGroup, IDLogDev from GroupDevs"), (QVariantList{1, 1}));
  QCOMPARE(store.DeleteGroupMember(*member), 0);
  QCOMPARE(store.DeleteGroupMember(*member), -1);  // already gone
  QCOMPARE(store.DeleteGroupRow(*group), 0);
  QCOMPARE(Row(file, "select count(*) from Groups"), (QVariantList{0}));
  store.CloseThreadConnection();
}

void TstMainDB::groupRowsThroughSave()
{
  QTemporaryDir dir;
  const QString file = dir.filePath("main.db");
  QVERIFY(CreateInstallationTables(file));
  QSqlDatabase::removeDatabase("setup");

  TConfig config;
  auto store = std::make_unique<TmainDB>();
  TmainDB* db = store.get();
  TcmdParms cmd;
  TMainDBParamsV4 params(&config.Types, &cmd, std::move(store));
  QCOMPARE(db->LoadDocument(params, ReadFixture("storage/data/main.xml")), 0);
  db->SetDatabaseFile(file);

  TGroup* group = params.Groups().FindGroup(1);
  QCOMPARE(group->Save(), 0);
  QVERIFY(!group->IsNew);
  QCOMPARE(Row(file, "select count(*) from GroupDevs where IDGroup=1"), (QVariantList{2}));
  QCOMPARE(group->RemoveMember(params.Units().FindInUnit(2)), 0);
  QCOMPARE(Row(file, "select count(*) from GroupDevs where IDGroup=1"), (QVariantList{1}));
  QCOMPARE(params.Groups().DeleteGroup(group), 0);
  QCOMPARE(Row(file, "select count(*) from Groups"), (QVariantList{0}));
  QCOMPARE(Row(file, "select count(*) from GroupDevs"), (QVariantList{0}));
  db->CloseThreadConnection();
}

void TstMainDB::accessFileOp()
{
  QTemporaryDir dir;
  const QString file = dir.filePath("new/folder/12-03.mdb");
  const QStringList schema = {"CREATE TABLE t(a INTEGER)", "INSERT INTO t VALUES(1)"};
  QVERIFY(::AccessFileOp(0, 2, file, QString(), schema) != 0);
  QVERIFY(QFile::exists(file));
  QCOMPARE(::AccessFileOp(0, 2, file, QString(), schema), 0);  // never over an existing file
  QVERIFY(::AccessFileOp(1, 0, file) != 0);
  QVERIFY(::AccessFileOp(2, 0, file) != 0);
  const QString copy = dir.filePath("copy.mdb");
  QVERIFY(::AccessFileOp(2, 0, file, copy) != 0);
  QCOMPARE(Row(copy, "select a from t"), (QVariantList{1}));
  QCOMPARE(::AccessFileOp(2, 0, file, copy), 0);  // the target must not exist
  QCOMPARE(::AccessFileOp(3, 0, file), -1);

  const QString garbage = dir.filePath("garbage.mdb");
  QFile junk(garbage);
  QVERIFY(junk.open(QIODevice::WriteOnly));
  junk.write(QByteArray(4096, 'x'));
  junk.close();
  QCOMPARE(::AccessFileOp(1, 0, garbage), 0);
  QCOMPARE(::AccessFileOp(1, 0, dir.filePath("missing.mdb")), 0);
}

QTEST_GUILESS_MAIN(TstMainDB)
#include "tst_mainDB.moc"
