#include "app/cmdParms.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "model/alarms.h"

#include "devFixtures.h"

#include <QFile>
#include <QtTest>

#include <atomic>
#include <thread>

using fixtures::MakeType;
using fixtures::TFakeStore;

namespace {

// Sensor (type 12): two inputs, one output, one alarm output.
// Relay (type 68): one input, eight alarm outputs.
// Display (type 3): no inputs, one output.
void AddTypes(TTypeListV4& types, bool withType0 = false)
{
  types.Add(MakeType(12, QStringLiteral("Sensor"), {QStringLiteral("T"), QStringLiteral("H")}, 1,
                     0x1200));
  types.Add(MakeType(68, QStringLiteral("Relay"), {QStringLiteral("R")}, 0, 0x6800));
  types.Add(MakeType(3, QStringLiteral("Display"), {}, 1, 0x0300));
  if (withType0)
    types.Add(MakeType(0, QStringLiteral("Generic"), {QStringLiteral("G")}, 0, 0x0000));
}

QList<int> InLogIds(const TUnitV4& unit)
{
  QList<int> ids;
  for (const auto& in : unit.InUnits())
    ids << in->LogId;
  return ids;
}

QList<int> AlarmLogIds(const TUnitV4& unit)
{
  QList<int> ids;
  for (const auto& alarm : unit.AlarmUnits())
    ids << alarm->LogId;
  return ids;
}

QList<int> Range(int from, int to)
{
  QList<int> ids;
  for (int i = from; i <= to; ++i)
    ids << i;
  return ids;
}

class TListFixture {
 public:
  TListFixture() : List(&Store, &Types) { AddTypes(Types); }
  const TTypeV4* Type(qint32 id) const { return Types.FindType(id); }

  TFakeStore Store;
  TTypeListV4 Types;
  TUnitListV4 List;
};

}  // namespace

class TstDevList : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void addUnitNumbering();
  void appendUnitFromNewUnits();
  void findInUnit();
  void findReturnsLaterOfTwo();
  void addDetectedUnit_data();
  void addDetectedUnit();
  void channelWalk_data();
  void channelWalk();
  void alarmOutputWalk();
  void clearParksUnits();
  void takeOverUnits();
  void raiseCounters();
  void saveAll();
  void groupIds();
  void groupsTakeOver();
  void addAndFindMember();
  void nextMember_data();
  void nextMember();
  void removeMember();
  void groupSaveRetries();
  void deleteGroup();
  void purgeDeletedChannels();
  void purgeAlarmBindings();
  void centralDefaults();
  void loadTypeDocument();
  void reloadWhileReading();
};

void TstDevList::addUnitNumbering()
{
  TListFixture f;
  TUnitV4* u1 = f.List.AddUnit(f.Type(12), 1, 5);
  QVERIFY(u1 != nullptr);
  QCOMPARE(u1->Store, &f.Store);
  QCOMPARE(InLogIds(*u1), (QList<int>{1, 2}));
  QCOMPARE(u1->OutUnits()[0]->LogId, 3);
  QCOMPARE(AlarmLogIds(*u1), QList<int>{1});
  QCOMPARE(f.List.NextUnitId, 2);
  QCOMPARE(f.List.NextFreeId, 7);  // raised to id + 1, then incremented

  TUnitV4* u2 = f.List.AddUnit(f.Type(68), 2, 3);
  QCOMPARE(InLogIds(*u2), QList<int>{4});
  QCOMPARE(AlarmLogIds(*u2), Range(2, 9));
  QCOMPARE(f.List.NextUnitId, 3);
  QCOMPARE(f.List.NextFreeId, 8);  // a lower id only increments

  TUnitV4* u3 = f.List.AddUnit(f.Type(3), 3, 20);
  QVERIFY(u3->InUnits().empty());
  QCOMPARE(u3->OutUnits()[0]->LogId, 5);
  QCOMPARE(f.List.LastLogId, 5);
  QCOMPARE(f.List.LastAlarmLogId, 9);
  QCOMPARE(f.List.NextFreeId, 22);

  QVERIFY(f.List.AddUnit(nullptr, 4, 30) == nullptr);
  QCOMPARE(f.List.Count(), 3);
  QCOMPARE(f.List.NextUnitId, 4);
  QCOMPARE(f.List.NextFreeId, 22);
}

void TstDevList::appendUnitFromNewUnits()
{
  TListFixture f;
  TUnitListV4 newUnits(&f.Store, &f.Types);
  f.List.AddUnit(f.Type(12), 1, 1);  // numbers 1..3, alarm output 1

  TUnitV4* found = newUnits.AddDetectedUnit(0x1200, 9);
  QVERIFY(found != nullptr);
  QCOMPARE(found->Id, 1);
  TInUnitV4* disabled = found->InUnits()[0].get();
  TInUnitV4* deleted = found->InUnits()[1].get();
  disabled->UState = 1;
  deleted->Deleted = true;
  const qint32 deletedLogId = deleted->LogId;

  std::unique_ptr<TUnitV4> taken = newUnits.TakeUnit(found);
  QCOMPARE(taken.get(), found);
  QCOMPARE(newUnits.Count(), 0);
  QVERIFY(newUnits.TakeUnit(found) == nullptr);

  QCOMPARE(f.List.AppendUnit(std::move(taken)), found);
  QCOMPARE(f.List.Count(), 2);
  QCOMPARE(found->Id, 2);
  QCOMPARE(f.List.FindUnitById(2), found);
  // Disabled channels are numbered, deleted ones keep what they had.
  QCOMPARE(disabled->LogId, 4);
  QCOMPARE(deleted->LogId, deletedLogId);
  QCOMPARE(found->OutUnits()[0]->LogId, 5);
  QCOMPARE(AlarmLogIds(*found), QList<int>{2});
  QCOMPARE(f.List.NextUnitId, 3);
  QCOMPARE(f.List.LastLogId, 5);

  QVERIFY(f.List.AppendUnit(nullptr) == nullptr);
  QCOMPARE(f.List.NextUnitId, 3);
}

void TstDevList::findInUnit()
{
  TListFixture f;
  TUnitV4* live = f.List.AddUnit(f.Type(12), 1, 1);   // inputs 1, 2
  TUnitV4* gone = f.List.AddUnit(f.Type(12), 2, 2);   // inputs 4, 5
  TUnitV4* later = f.List.AddUnit(f.Type(68), 3, 3);  // input 7
  live->InUnits()[0]->UState = 1;
  live->InUnits()[1]->Deleted = true;
  gone->MarkDeleted();
  // A live unit that reuses a number of a deleted one.
  later->InUnits()[0]->LogId = 4;

  QCOMPARE(f.List.FindInUnit(1), live->InUnits()[0].get());
  QCOMPARE(f.List.FindInUnit(2), live->InUnits()[1].get());
  QCOMPARE(f.List.FindInUnit(4), later->InUnits()[0].get());
  QVERIFY(f.List.FindInUnit(5) == nullptr);
  QVERIFY(f.List.FindInUnit(3) == nullptr);  // an output's number
  QVERIFY(f.List.FindInUnit(99) == nullptr);
}

void TstDevList::findReturnsLaterOfTwo()
{
  TListFixture f;
  TUnitV4* first = f.List.AddUnit(f.Type(12), 7, 4);
  TUnitV4* second = f.List.AddUnit(f.Type(3), 7, 4);
  TUnitV4* other = f.List.AddUnit(f.Type(3), 8, 5);
  QCOMPARE(f.List.FindUnitById(4), second);
  QCOMPARE(f.List.FindUnitByMBAddr(7), second);
  QCOMPARE(f.List.FindUnitByMBAddr(0x107), second);  // only the bus byte counts
  TUnitV4* stored = f.List.AddUnit(f.Type(3), 0x10A, 6);  // address kept with high bits
  QCOMPARE(f.List.FindUnitByMBAddr(0x0A), stored);
  QCOMPARE(f.List.FindUnitById(5), other);
  QVERIFY(f.List.FindUnitById(99) == nullptr);
  QVERIFY(f.List.FindUnitByMBAddr(9) == nullptr);
  QVERIFY(first != second);
}

void TstDevList::addDetectedUnit_data()
{
  QTest::addColumn<bool>("withType0");
  QTest::addColumn<int>("devId");
  QTest::addColumn<int>("typeId");  // -1: nothing added

  QTest::newRow("exact match") << false << 0x1200 << 12;
  QTest::newRow("bits above 16 ignored") << false << 0x51200 << 12;
  QTest::newRow("no match and no type 0") << false << 0x4444 << -1;
  QTest::newRow("no match falls back to type 0") << true << 0x4444 << 0;
}

void TstDevList::addDetectedUnit()
{
  QFETCH(bool, withType0);
  QFETCH(int, devId);
  QFETCH(int, typeId);

  TFakeStore store;
  TTypeListV4 types;
  AddTypes(types, withType0);
  TUnitListV4 list(&store, &types);
  list.NextUnitId = 7;

  TUnitV4* unit = list.AddDetectedUnit(devId, 9);
  if (typeId < 0) {
    QVERIFY(unit == nullptr);
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.NextUnitId, 7);
    QCOMPARE(list.LastLogId, 0);
    return;
  }
  QVERIFY(unit != nullptr);
  QCOMPARE(unit->TypeId, typeId);
  QCOMPARE(unit->Id, 7);
  QCOMPARE(unit->MBAddr, 9);
  QCOMPARE(list.NextUnitId, 8);
  QCOMPARE(list.Count(), 1);
}

void TstDevList::channelWalk_data()
{
  QTest::addColumn<bool>("withDisabled");
  QTest::addColumn<bool>("withDeleted");
  QTest::addColumn<QList<int>>("logIds");

  QTest::newRow("live channels only") << false << false << QList<int>{4, 5};
  QTest::newRow("with disabled") << true << false << QList<int>{4, 5, 11};
  QTest::newRow("with deleted channels") << false << true << QList<int>{4, 5, 12};
  QTest::newRow("everything of live units") << true << true << QList<int>{4, 5, 11, 12};
}

void TstDevList::channelWalk()
{
  QFETCH(bool, withDisabled);
  QFETCH(bool, withDeleted);
  QFETCH(QList<int>, logIds);

  TListFixture f;
  int unitCursor = 0;
  int chanCursor = 0;
  QVERIFY(f.List.FirstChannel(unitCursor, chanCursor, true, true) == nullptr);

  // A deleted unit first, units without inputs and another deleted unit in
  // between, and one without inputs last.
  f.List.AddUnit(f.Type(12), 1, 1)->MarkDeleted();   // 1, 2 (output 3)
  f.List.AddUnit(f.Type(12), 2, 2);                  // 4, 5 (6)
  f.List.AddUnit(f.Type(3), 3, 3);                   // (7)
  f.List.AddUnit(f.Type(12), 4, 4)->MarkDeleted();   // 8, 9 (10)
  TUnitV4* last = f.List.AddUnit(f.Type(12), 5, 5);  // 11, 12 (13)
  f.List.AddUnit(f.Type(3), 6, 6);                   // (14)
  last->InUnits()[0]->UState = 1;
  last->InUnits()[1]->Deleted = true;

  QList<int> seen;
  for (TInUnitV4* ch = f.List.FirstChannel(unitCursor, chanCursor, withDisabled, withDeleted);
       ch != nullptr; ch = f.List.NextChannel(unitCursor, chanCursor, withDisabled, withDeleted))
    seen << ch->LogId;
  QCOMPARE(seen, logIds);
  // The walk stays at its end.
  QVERIFY(f.List.NextChannel(unitCursor, chanCursor, withDisabled, withDeleted) == nullptr);
}

void TstDevList::alarmOutputWalk()
{
  TListFixture f;
  f.List.AddUnit(f.Type(12), 1, 1)->MarkDeleted();  // alarm output 1
  f.List.AddUnit(f.Type(3), 2, 2);                  // none
  f.List.AddUnit(f.Type(68), 3, 3);                 // 2..9
  f.List.AddUnit(f.Type(12), 4, 4);                 // 10

  QList<int> seen;
  int unitCursor = 0;
  int chanCursor = 0;
  for (TAlarmUnitV4* out = f.List.FirstAlarmOutput(unitCursor, chanCursor); out != nullptr;
       out = f.List.NextAlarmOutput(unitCursor, chanCursor))
    seen << out->LogId;
  QCOMPARE(seen, Range(2, 10));
}

void TstDevList::clearParksUnits()
{
  TListFixture f;
  TUnitV4* unit = f.List.AddUnit(f.Type(12), 1, 5);
  TInUnitV4* channel = unit->InUnits()[0].get();
  channel->SetReceived(0, 1.0, 12.5, 7);

  f.List.Clear();
  QCOMPARE(f.List.Count(), 0);
  int cursor = 0;
  QVERIFY(f.List.FirstUnit(cursor, true) == nullptr);
  QVERIFY(f.List.FindInUnit(1) == nullptr);
  QCOMPARE(f.List.NextFreeId, 1);
  QCOMPARE(f.List.NextUnitId, 2);
  QCOMPARE(f.List.LastLogId, 3);
  QCOMPARE(f.List.LastAlarmLogId, 1);

  // A thread still holding the channel from before the reload reads it.
  QCOMPARE(channel->LogId, 1);
  QCOMPARE(channel->Unit->Name, QStringLiteral("Sensor (5)"));
  QCOMPARE(channel->StateValue(0), 12.5);
  channel->SetReceived(0, 2.0, 13.0, 0);
}

void TstDevList::takeOverUnits()
{
  TListFixture f;
  TUnitV4* old = f.List.AddUnit(f.Type(3), 1, 1);

  TFakeStore loadStore;
  TUnitListV4 staged(&loadStore, &f.Types);
  TUnitV4* loaded = staged.AddUnit(f.Type(68), 2, 9);
  f.List.TakeOver(staged);

  QCOMPARE(staged.Count(), 0);
  QCOMPARE(f.List.Count(), 1);
  QCOMPARE(f.List.UnitAt(0), loaded);
  QCOMPARE(f.List.LastLogId, 1);
  QCOMPARE(f.List.LastAlarmLogId, 8);
  QCOMPARE(f.List.NextUnitId, 2);
  QCOMPARE(f.List.NextFreeId, 11);
  QCOMPARE(old->Name, QStringLiteral("Display (1)"));  // parked, still readable

  // Later saves go to the long-lived store, not the one used for loading.
  QCOMPARE(f.List.SaveAll(), 0);
  QVERIFY(loadStore.Calls.isEmpty());
  QCOMPARE(f.Store.Calls.first(), QStringLiteral("unit 9"));
}

void TstDevList::raiseCounters()
{
  TListFixture f;
  TUnitV4* unit = f.List.AddUnit(f.Type(12), 1, 30);
  TUnitV4* gone = f.List.AddUnit(f.Type(12), 2, 50);
  // Numbers as the main definitions set them after loading.
  unit->InUnits()[0]->LogId = 40;
  unit->InUnits()[1]->LogId = 12;
  unit->OutUnits()[0]->LogId = 41;
  unit->AlarmUnits()[0]->LogId = 9;
  gone->InUnits()[0]->LogId = 60;
  gone->OutUnits()[0]->LogId = 61;
  gone->AlarmUnits()[0]->LogId = 2;
  gone->MarkDeleted();

  f.List.RaiseCounters();
  // Deleted channels keep their history under their number: never reused.
  QCOMPARE(f.List.LastLogId, 61);
  QCOMPARE(f.List.LastAlarmLogId, 9);
  QCOMPARE(f.List.NextUnitId, 51);

  TUnitV4* added = f.List.AddDetectedUnit(0x0300, 3);
  QCOMPARE(added->Id, 51);
  QCOMPARE(added->OutUnits()[0]->LogId, 62);

  // Never lowered.
  f.List.LastLogId = 100;
  f.List.NextUnitId = 200;
  f.List.RaiseCounters();
  QCOMPARE(f.List.LastLogId, 100);
  QCOMPARE(f.List.NextUnitId, 200);
}

void TstDevList::saveAll()
{
  TListFixture f;
  f.List.AddUnit(f.Type(3), 1, 1)->MarkDeleted();
  f.List.AddUnit(f.Type(3), 2, 2);
  QCOMPARE(f.List.SaveAll(), 0);
  QCOMPARE(f.Store.Calls, (QStringList{QStringLiteral("unit 1"), QStringLiteral("out 1"),
                                       QStringLiteral("unit 2"), QStringLiteral("out 2")}));

  f.Store.Calls.clear();
  f.Store.FailOps << QStringLiteral("unit");
  QCOMPARE(f.List.SaveAll(), -1);
  QCOMPARE(f.Store.Calls.size(), 4);
}

void TstDevList::groupIds()
{
  TListFixture f;
  TGroups groups(&f.Store, &f.List);
  groups.AddGroupWithId(QStringLiteral("a"), 1);
  groups.AddGroupWithId(QStringLiteral("b"), 2);
  TGroup* five = groups.AddGroupWithId(QStringLiteral("e"), 5);
  QVERIFY(five->IsNew);
  QVERIFY(!five->Active);

  TGroup* added = groups.AddGroupAuto(QStringLiteral("new"));
  QCOMPARE(added->Id, 6);
  QCOMPARE(added->Name, QStringLiteral("new"));
  QCOMPARE(added->Owner, &groups);
  QCOMPARE(added->Store, &f.Store);
  QCOMPARE(added->Units, &f.List);
  QCOMPARE(groups.LastGroupId, 6);
  groups.AddGroupWithId(QStringLiteral("low"), 3);
  QCOMPARE(groups.LastGroupId, 6);
  QCOMPARE(groups.FindGroup(5), five);
  QCOMPARE(groups.Count(), 5);

  groups.Clear();
  QCOMPARE(groups.Count(), 0);
  QCOMPARE(groups.LastGroupId, 0);
  QVERIFY(groups.FindGroup(5) == nullptr);
  QCOMPARE(five->Name, QStringLiteral("e"));  // parked
  QCOMPARE(groups.AddGroupAuto(QStringLiteral("first"))->Id, 1);
}

void TstDevList::groupsTakeOver()
{
  TListFixture f;
  TGroups groups(&f.Store, &f.List);
  TGroup* old = groups.AddGroupAuto(QStringLiteral("old"));

  TFakeStore loadStore;
  TUnitListV4 stagedUnits(&loadStore, &f.Types);
  TGroups staged(&loadStore, &stagedUnits);
  TGroup* loaded = staged.AddGroupWithId(QStringLiteral("loaded"), 7);
  loaded->AddMember(stagedUnits.AddUnit(f.Type(12), 1, 1)->InUnits()[0].get());
  f.List.TakeOver(stagedUnits);
  groups.TakeOver(staged);

  QCOMPARE(staged.Count(), 0);
  QCOMPARE(groups.Count(), 1);
  QCOMPARE(groups.FindGroup(7), loaded);
  QCOMPARE(groups.LastGroupId, 7);
  QCOMPARE(loaded->Owner, &groups);
  QCOMPARE(loaded->Store, &f.Store);
  QCOMPARE(loaded->Units, &f.List);
  QCOMPARE(old->Name, QStringLiteral("old"));
  QCOMPARE(loaded->Save(), 0);
  QVERIFY(loadStore.Calls.isEmpty());
  QCOMPARE(f.Store.Calls,
           (QStringList{QStringLiteral("insertGroup 7"), QStringLiteral("insertMember 7/1")}));
}

void TstDevList::addAndFindMember()
{
  TListFixture f;
  TUnitV4* unit = f.List.AddUnit(f.Type(12), 1, 1);
  TInUnitV4* a = unit->InUnits()[0].get();
  TInUnitV4* b = unit->InUnits()[1].get();
  TGroups groups(&f.Store, &f.List);
  TGroup* group = groups.AddGroupAuto(QStringLiteral("g"));

  QVERIFY(group->AddMember(nullptr) == nullptr);
  TDevGroup* first = group->AddMember(a);
  TDevGroup* second = group->AddMember(b);
  TDevGroup* again = group->AddMember(a);  // the caller checks for duplicates
  QCOMPARE(group->MemberCount(), 3);
  QCOMPARE(first->Index, 0);
  QCOMPARE(second->Index, 1);
  QCOMPARE(again->Index, 2);
  QVERIFY(second->IsNew);
  QCOMPARE(second->LogId, b->LogId);
  QCOMPARE(second->Group, group);
  QCOMPARE(second->Channel, b);
  QCOMPARE(group->FindMember(a), first);
  QCOMPARE(group->FindMember(b), second);
  QVERIFY(group->FindMember(f.List.AddUnit(f.Type(68), 2, 2)->InUnits()[0].get()) == nullptr);
  QVERIFY(group->FindMember(nullptr) == nullptr);
}

void TstDevList::nextMember_data()
{
  QTest::addColumn<bool>("withDeleted");
  QTest::addColumn<bool>("withDisabled");
  QTest::addColumn<QList<int>>("members");  // member positions returned

  // Members: 0 live, 1 deleted, 2 live, 3 disabled.
  QTest::newRow("deleted and disabled skipped") << false << false << QList<int>{0, 2};
  QTest::newRow("with deleted") << true << false << QList<int>{0, 1, 2};
  QTest::newRow("with disabled") << false << true << QList<int>{0, 2, 3};
  QTest::newRow("all") << true << true << QList<int>{0, 1, 2, 3};
}

void TstDevList::nextMember()
{
  QFETCH(bool, withDeleted);
  QFETCH(bool, withDisabled);
  QFETCH(QList<int>, members);

  TListFixture f;
  TUnitV4* u1 = f.List.AddUnit(f.Type(12), 1, 1);
  TUnitV4* u2 = f.List.AddUnit(f.Type(12), 2, 2);
  const QList<TInUnitV4*> channels{u1->InUnits()[0].get(), u1->InUnits()[1].get(),
                                   u2->InUnits()[0].get(), u2->InUnits()[1].get()};
  channels[1]->Deleted = true;
  channels[3]->UState = 1;
  TGroups groups(&f.Store, &f.List);
  TGroup* group = groups.AddGroupAuto(QStringLiteral("g"));
  for (TInUnitV4* ch : channels)
    group->AddMember(ch);

  QList<int> seen;
  int cursor = 0;
  for (TInUnitV4* ch = group->FirstMember(cursor, withDeleted, withDisabled); ch != nullptr;
       ch = group->NextMember(cursor, withDeleted, withDisabled))
    seen << static_cast<int>(channels.indexOf(ch));
  QCOMPARE(seen, members);
  QVERIFY(group->NextMember(cursor, withDeleted, withDisabled) == nullptr);
}

void TstDevList::removeMember()
{
  TListFixture f;
  TUnitV4* unit = f.List.AddUnit(f.Type(12), 1, 1);
  TUnitV4* other = f.List.AddUnit(f.Type(68), 2, 2);
  TInUnitV4* a = unit->InUnits()[0].get();   // LogId 1
  TInUnitV4* b = unit->InUnits()[1].get();   // LogId 2
  TInUnitV4* c = other->InUnits()[0].get();  // LogId 4
  TGroups groups(&f.Store, &f.List);
  TGroup* group = groups.AddGroupAuto(QStringLiteral("g"));
  group->AddMember(a);
  group->AddMember(b);
  group->AddMember(c);
  QCOMPARE(group->Save(), 0);
  group->AddMember(b);  // not stored yet
  f.Store.Calls.clear();

  QCOMPARE(group->RemoveMember(b), 0);
  QCOMPARE(f.Store.Calls, QStringList{QStringLiteral("deleteMember 1/2")});
  QCOMPARE(group->MemberCount(), 2);
  QCOMPARE(group->MemberAt(0)->Channel, a);
  QCOMPARE(group->MemberAt(0)->Index, 0);
  QCOMPARE(group->MemberAt(1)->Channel, c);
  QCOMPARE(group->MemberAt(1)->Index, 1);

  // A failed row deletion is reported; the membership goes anyway.
  f.Store.FailOps << QStringLiteral("deleteMember");
  QCOMPARE(group->RemoveMember(a), -1);
  QCOMPARE(group->MemberCount(), 1);
  QCOMPARE(group->MemberAt(0)->Index, 0);
  QCOMPARE(group->RemoveMember(a), 0);  // not a member: nothing to do
}

void TstDevList::groupSaveRetries()
{
  TListFixture f;
  TUnitV4* unit = f.List.AddUnit(f.Type(12), 1, 1);
  TGroups groups(&f.Store, &f.List);
  TGroup* group = groups.AddGroupAuto(QStringLiteral("g"));
  TDevGroup* m1 = group->AddMember(unit->InUnits()[0].get());
  TDevGroup* m2 = group->AddMember(unit->InUnits()[1].get());

  struct TRound {
    QStringList Fail;
    int Result;
    QStringList Calls;
    bool GroupNew;
    bool MembersNew;
  };
  const TRound rounds[] = {
      // Members of a group without a row would point at nothing.
      {{QStringLiteral("insertGroup")}, -1, {QStringLiteral("insertGroup 1")}, true, true},
      {{QStringLiteral("insertMember")},
       -1,
       {QStringLiteral("insertGroup 1"), QStringLiteral("insertMember 1/1"),
        QStringLiteral("insertMember 1/2")},
       false,
       true},
      {{},
       0,
       {QStringLiteral("updateGroup 1"), QStringLiteral("insertMember 1/1"),
        QStringLiteral("insertMember 1/2")},
       false,
       false},
      {{}, 0, {QStringLiteral("updateGroup 1")}, false, false},
  };
  int n = 0;
  for (const TRound& round : rounds) {
    f.Store.Calls.clear();
    f.Store.FailOps = QSet<QString>(round.Fail.begin(), round.Fail.end());
    QVERIFY2(group->Save() == round.Result, qPrintable(QString::number(n)));
    QCOMPARE(f.Store.Calls, round.Calls);
    QCOMPARE(group->IsNew, round.GroupNew);
    QCOMPARE(m1->IsNew, round.MembersNew);
    QCOMPARE(m2->IsNew, round.MembersNew);
    ++n;
  }

  TGroup orphan(&groups, 9, QStringLiteral("x"));
  orphan.Store = nullptr;
  QCOMPARE(orphan.Save(), -1);
}

void TstDevList::deleteGroup()
{
  TListFixture f;
  TUnitV4* unit = f.List.AddUnit(f.Type(12), 1, 1);
  TInUnitV4* a = unit->InUnits()[0].get();
  TInUnitV4* b = unit->InUnits()[1].get();
  TGroups groups(&f.Store, &f.List);
  TGroup* stored = groups.AddGroupAuto(QStringLiteral("stored"));
  stored->AddMember(a);
  stored->AddMember(b);
  QCOMPARE(stored->Save(), 0);
  stored->AddMember(a);  // added after the save: no row yet
  TGroup* unsaved = groups.AddGroupAuto(QStringLiteral("unsaved"));
  unsaved->AddMember(a);
  f.Store.Calls.clear();

  QCOMPARE(groups.DeleteGroup(stored), 0);
  QCOMPARE(f.Store.Calls,
           (QStringList{QStringLiteral("deleteMember 1/1"), QStringLiteral("deleteMember 1/2"),
                        QStringLiteral("deleteGroup 1")}));
  QCOMPARE(groups.Count(), 1);
  QVERIFY(groups.FindGroup(1) == nullptr);
  QCOMPARE(stored->Name, QStringLiteral("stored"));  // parked

  f.Store.Calls.clear();
  QCOMPARE(groups.DeleteGroup(stored), -1);
  QCOMPARE(groups.DeleteGroup(nullptr), -1);
  TGroups elsewhere(&f.Store, &f.List);
  QCOMPARE(groups.DeleteGroup(elsewhere.AddGroupAuto(QStringLiteral("x"))), -1);
  QVERIFY(f.Store.Calls.isEmpty());
  QCOMPARE(groups.Count(), 1);

  QCOMPARE(groups.DeleteGroup(unsaved), 0);
  QVERIFY(f.Store.Calls.isEmpty());
  QCOMPARE(groups.Count(), 0);
}

void TstDevList::purgeDeletedChannels()
{
  TListFixture f;
  TUnitV4* u1 = f.List.AddUnit(f.Type(12), 1, 1);  // inputs 1, 2
  TUnitV4* u2 = f.List.AddUnit(f.Type(12), 2, 2);  // inputs 4, 5
  TInUnitV4* a = u1->InUnits()[0].get();
  TInUnitV4* b = u1->InUnits()[1].get();
  TInUnitV4* c = u2->InUnits()[0].get();
  TInUnitV4* d = u2->InUnits()[1].get();
  TGroups groups(&f.Store, &f.List);
  TGroup* g1 = groups.AddGroupAuto(QStringLiteral("g1"));
  TGroup* g2 = groups.AddGroupAuto(QStringLiteral("g2"));
  for (TInUnitV4* ch : {a, c, b})
    g1->AddMember(ch);
  for (TInUnitV4* ch : {d, c})
    g2->AddMember(ch);
  QCOMPARE(g1->Save(), 0);
  QCOMPARE(g2->Save(), 0);
  u2->MarkDeleted();
  f.Store.Calls.clear();

  groups.PurgeDeletedChannels();
  QCOMPARE(f.Store.Calls,
           (QStringList{QStringLiteral("deleteMember 1/4"), QStringLiteral("deleteMember 2/5"),
                        QStringLiteral("deleteMember 2/4")}));
  QCOMPARE(g1->MemberCount(), 2);
  QCOMPARE(g1->MemberAt(0)->Channel, a);
  QCOMPARE(g1->MemberAt(1)->Channel, b);
  QCOMPARE(g1->MemberAt(1)->Index, 1);
  QCOMPARE(g2->MemberCount(), 0);
}

void TstDevList::purgeAlarmBindings()
{
  TListFixture f;
  TUnitV4* u1 = f.List.AddUnit(f.Type(12), 1, 1);  // inputs 1, 2; alarm output 1
  TUnitV4* u2 = f.List.AddUnit(f.Type(12), 2, 2);  // inputs 4, 5; alarm output 2
  TUnitV4* u3 = f.List.AddUnit(f.Type(68), 3, 3);  // alarm outputs 3..10
  TalarmsList alarms;
  for (qint32 id : {0, 1, 2})
    QCOMPARE(alarms.AddAlarm(id, QStringLiteral("alarm %1").arg(id), {}), 0);

  TInUnitV4* x = u1->InUnits()[0].get();
  TInUnitV4* y = u1->InUnits()[1].get();
  TInUnitV4* z = u2->InUnits()[0].get();
  x->AlarmMaker().Bind(4, 0);
  x->AlarmMaker().Bind(4, 1);
  y->AlarmMaker().Bind(5, 2);
  z->AlarmMaker().Bind(3, 1);
  u1->AlarmUnits()[0]->AlarmModes = {{1, 64}, {2, 2}};
  u2->AlarmUnits()[0]->AlarmModes = {{0, 2}};
  u3->AlarmUnits()[0]->AlarmModes = {{0, 1}};
  u2->MarkDeleted();  // deleted units keep their bindings tidy too

  QCOMPARE(alarms.DeleteAlarm(1), 0);
  f.Store.Calls.clear();
  f.List.PurgeAlarmBindings(alarms);

  QCOMPARE(f.Store.Calls, (QStringList{QStringLiteral("in 1"), QStringLiteral("alarmOutput 1/1"),
                                       QStringLiteral("in 4")}));
  QCOMPARE(x->AlarmMaker().AlarmsFor(4), QList<qint32>{0});
  QCOMPARE(y->AlarmMaker().AlarmsFor(5), QList<qint32>{2});
  QVERIFY(z->AlarmMaker().Codes().isEmpty());
  QCOMPARE(u1->AlarmUnits()[0]->AlarmModes, (TalarmModeMap{{2, 2}}));
  QCOMPARE(u2->AlarmUnits()[0]->AlarmModes, (TalarmModeMap{{0, 2}}));
  QVERIFY(f.Store.LastAlarmOutputText.contains(QStringLiteral("<alarm id=\"2\">")));
  QVERIFY(!f.Store.LastAlarmOutputText.contains(QStringLiteral("<alarm id=\"1\">")));

  f.Store.Calls.clear();
  f.List.PurgeAlarmBindings(alarms);
  QVERIFY(f.Store.Calls.isEmpty());
}

void TstDevList::centralDefaults()
{
  TTypeListV4 types;
  {
    TMainDBParamsV4 central(&types, nullptr);
    QVERIFY(central.Store() != nullptr);
    QVERIFY(!central.WasInstall());
    QCOMPARE(central.BasesDir, TcmdParms::DefaultBasesDir());
    QCOMPARE(central.TypeList, &types);
    const TParams& s = central.Settings();
    QCOMPARE(s.ChartPeriod, 3600);
    QCOMPARE(s.COMPort, 0);
    QCOMPARE(s.MesureTime, 0);
    QCOMPARE(s.MesureBaseTime, 0);
    QCOMPARE(s.TCPServerPort, 0);
    QCOMPARE(s.BaudRate, 0);
    QCOMPARE(s.TimeOut, 0);
    QCOMPARE(s.RepOptions, 0u);
    QCOMPARE(s.Store, central.Store());
    QCOMPARE(central.Units().Store, central.Store());
    QCOMPARE(central.NewUnits().Store, central.Store());
    QCOMPARE(central.Units().TypeList, &types);
    QVERIFY(&central.Units() != &central.NewUnits());
    QCOMPARE(central.Groups().Store, central.Store());
    QCOMPARE(central.Groups().Units, &central.Units());
    QCOMPARE(central.Groups().LastGroupId, 0);
    QCOMPARE(central.Units().NextUnitId, 1);
    QCOMPARE(central.Units().NextFreeId, 1);
    QCOMPARE(central.Alarms().Count(), 0);
    QCOMPARE(central.Alarms().MaxId(), -1);
  }

  TcmdParms cmd;
  cmd.BasesDir = QStringLiteral("/data/bases/");
  bool stopped = false;
  auto fake = std::make_unique<TFakeStore>();
  fake->StoppedFlag = &stopped;
  TmainDBoper* given = fake.get();
  {
    TMainDBParamsV4 central(&types, &cmd, std::move(fake));
    QCOMPARE(central.Store(), given);
    QCOMPARE(central.BasesDir, QStringLiteral("/data/bases/"));
    QCOMPARE(central.Settings().CmdParms, &cmd);
    QVERIFY(!stopped);
  }
  QVERIFY(stopped);
}

void TstDevList::loadTypeDocument()
{
  TTypeListV4 types;
  TMainDBParamsV4 central(&types, nullptr, std::make_unique<TFakeStore>());
  QString error;
  QCOMPARE(central.LoadTypeDocument("<Types><Device id=\"1\">", &error), -1);
  QVERIFY(!error.isEmpty());
  QCOMPARE(types.Count(), 0);

  QFile file(QStringLiteral(DRAVOLUX_TEST_DATA "/data/types.xml"));
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(central.LoadTypeDocument(file.readAll(), &error), 0);
  QVERIFY(types.Count() > 0);
  QVERIFY(types.FindType(1) != nullptr);
}

void TstDevList::reloadWhileReading()
{
  // One thread reloads the units under the write lock while another walks
  // them under the read lock and keeps using the last channel it saw after
  // releasing the lock, as the server link and the current-values thread do.
  constexpr int kReloads = 300;
  TTypeListV4 types;
  AddTypes(types);
  TMainDBParamsV4 central(&types, nullptr, std::make_unique<TFakeStore>());
  const TTypeV4* sensor = types.FindType(12);
  {
    auto lock = central.WriteLock();
    central.Units().AddUnit(sensor, 1, 1);
  }

  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::atomic<int> walks{0};
  std::thread reader([&] {
    while (!done.load(std::memory_order_acquire)) {
      walks.fetch_add(1);
      TInUnitV4* held = nullptr;
      int count = 0;
      {
        auto lock = central.ReadLock();
        int unitCursor = 0;
        int chanCursor = 0;
        for (TInUnitV4* ch = central.Units().FirstChannel(unitCursor, chanCursor, true, true);
             ch != nullptr; ch = central.Units().NextChannel(unitCursor, chanCursor, true, true)) {
          held = ch;
          ++count;
        }
      }
      if (count % 2 != 0)
        bad.fetch_add(1);  // a half-built reload was visible
      if (held != nullptr) {
        held->SetReceived(0, 1.0, held->LogId, 0);
        if (held->Unit->Name.isEmpty() || held->StateValue(0) != held->LogId)
          bad.fetch_add(1);
      }
    }
  });

  // Let the reader in between reloads, also on a single busy core.
  const auto waitForReader = [&] {
    const int seen = walks.load();
    while (walks.load() == seen)
      std::this_thread::yield();
  };
  for (int n = 0; n < kReloads; ++n) {
    if (n % 10 == 0)
      waitForReader();
    auto lock = central.WriteLock();
    central.Units().Clear();
    central.Units().AddUnit(sensor, 1, n);
    central.Units().AddUnit(sensor, 2, n + 1);
  }
  done.store(true, std::memory_order_release);
  reader.join();
  QCOMPARE(bad.load(), 0);
  QCOMPARE(central.Units().Count(), 2);
}

QTEST_GUILESS_MAIN(TstDevList)
#include "tst_devList.moc"
