#include "comm/RegAsk.h"

#include "app/dateTimeDouble.h"
#include "comm/MBMaster.h"

#include <QDateTime>
#include <QtTest>

namespace {

// Register content of the fake device: distinct per register, never 0, so a
// zeroed or stale value cannot pass for a read one.
quint16 ImageValue(int reg)
{
  return static_cast<quint16>(0x1000 + reg);
}

const quint16 kExceptionWord = 0x0042;
const quint16 kJunk = 0xDEAD;

// Serves the register image, answers each call with the next scripted status
// (done once the script runs out) and records what it was asked.
class TFakeMaster : public TMBMasterRTU {
 public:
  struct TCall {
    quint8 Address;
    int Reg;
    int Count;
  };

  QList<int> Script;
  // A failing answer scribbles over the caller's buffer, as a half-received
  // frame would.
  bool JunkOnFailure = true;
  QList<TCall> Calls;

  int AskForWaitHoldRegisters(quint8 address, quint16 reg, quint16 count, quint16* values) override
  {
    const int index = static_cast<int>(Calls.size());
    Calls.append({address, reg, count});
    const int status = index < Script.size() ? Script[index] : int(mbASK_done);
    for (int i = 0; i < count; ++i) {
      if (status == mbASK_done)
        values[i] = ImageValue(reg + i);
      else if (JunkOnFailure)
        values[i] = kJunk;
    }
    if (status == mbANS_exception)
      values[0] = kExceptionWord;
    return status;
  }

  QList<int> Flat() const
  {
    QList<int> result;
    for (const TCall& call : Calls)
      result << call.Reg << call.Count;
    return result;
  }
};

double Now()
{
  const QDateTime now = QDateTime::currentDateTime();
  return DateTimeToDouble(now.date(), now.time());
}

// Requests as flat (register, count) pairs, all of value kind 0x1.
void AddRegs(TRegGroup& group, const QList<int>& flat)
{
  for (int i = 0; i + 1 < flat.size(); i += 2)
    group.AddReg(static_cast<quint16>(flat[i]), flat[i + 1], 0x1);
}

std::vector<quint16> ImageValues(int reg, int count)
{
  std::vector<quint16> values;
  for (int i = 0; i < count; ++i)
    values.push_back(ImageValue(reg + i));
  return values;
}

}  // namespace

class TstRegAsk : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void chunking_data();
  void chunking();
  void statusPerRequest_data();
  void statusPerRequest();
  void noStaleValuesAfterFailure_data();
  void noStaleValuesAfterFailure();
  void wideSpan_data();
  void wideSpan();
  void unreadableRequestsRefused();
  void emptyGroupReadsNothing();
  void addRegNegativeCount();
  void findRegAndIteration();
};

void TstRegAsk::chunking_data()
{
  QTest::addColumn<QList<int>>("requests");  // (register, count) pairs
  QTest::addColumn<QList<int>>("calls");     // (register, count) pairs asked for
  QTest::addColumn<int>("first");
  QTest::addColumn<int>("span");

  QTest::newRow("span 1") << QList<int>{20, 1} << QList<int>{20, 1} << 20 << 1;
  QTest::newRow("span 5, one request") << QList<int>{20, 5} << QList<int>{20, 5} << 20 << 5;
  QTest::newRow("value at 10 x2 + status at 15: 10..14 and 15")
      << QList<int>{10, 2, 15, 1} << QList<int>{10, 5, 15, 1} << 10 << 6;
  QTest::newRow("span 10, two requests")
      << QList<int>{0, 4, 6, 4} << QList<int>{0, 5, 5, 5} << 0 << 10;
  QTest::newRow("out of order, shared register")
      << QList<int>{30, 2, 20, 1, 31, 1} << QList<int>{20, 5, 25, 5, 30, 2} << 20 << 12;
  QTest::newRow("top of the register range")
      << QList<int>{0xFFFC, 4} << QList<int>{0xFFFC, 4} << 0xFFFC << 4;
}

void TstRegAsk::chunking()
{
  QFETCH(QList<int>, requests);
  QFETCH(QList<int>, calls);
  QFETCH(int, first);
  QFETCH(int, span);

  TFakeMaster master;
  TRegGroups groups;
  TRegGroup* group = groups.AddGroup();
  AddRegs(*group, requests);
  TAsk ask(&master);
  const double before = Now();
  QCOMPARE(ask.ReadGroup(7, group), 0);
  const double after = Now();

  QCOMPARE(master.Flat(), calls);
  for (const auto& call : master.Calls)
    QCOMPARE(call.Address, quint8(7));
  QCOMPARE(ask.First, first);
  QCOMPARE(ask.Span, span);
  QCOMPARE(ask.Last, first + span - 1);
  QCOMPARE(ask.Status, int(mbASK_done));
  QVERIFY(ask.Time >= before && ask.Time <= after);
  int cursor = -1;
  for (TRegToAsk* req = group->FirstReg(cursor); req; req = group->NextReg(cursor)) {
    QVERIFY(req->Answered);
    QCOMPARE(req->Status, int(mbASK_done));
    QCOMPARE(req->Time, ask.Time);
    QCOMPARE(req->Values, ImageValues(req->Register, req->Count));
  }
}

// Deliberately not "every request takes the last chunk's status": with that
// rule a first chunk that times out followed by an answered last chunk marks
// every request of the group valid, and the timed-out request carries buffer
// contents that were never read. Here each request takes the first failure
// among the chunks covering its own registers.
void TstRegAsk::statusPerRequest_data()
{
  QTest::addColumn<QList<int>>("script");    // status of chunk 10..14, then of 15
  QTest::addColumn<QList<int>>("statuses");  // of requests 10 x2, 15 x1, 13 x3
  QTest::addColumn<int>("askStatus");

  QTest::newRow("first chunk times out") << QList<int>{5, 4} << QList<int>{5, 4, 5} << 5;
  QTest::newRow("last chunk times out") << QList<int>{4, 5} << QList<int>{4, 5, 5} << 5;
  QTest::newRow("both fail: first failure wins") << QList<int>{7, 9} << QList<int>{7, 9, 7} << 7;
  QTest::newRow("exception in the first chunk") << QList<int>{9, 4} << QList<int>{9, 4, 9} << 9;
  QTest::newRow("exception in a later chunk of a request")
      << QList<int>{4, 9} << QList<int>{4, 9, 9} << 9;
  QTest::newRow("unknown negative status") << QList<int>{-3, 4} << QList<int>{-3, 4, -3} << -3;
  QTest::newRow("all answered") << QList<int>{} << QList<int>{4, 4, 4} << 4;
}

void TstRegAsk::statusPerRequest()
{
  QFETCH(QList<int>, script);
  QFETCH(QList<int>, statuses);
  QFETCH(int, askStatus);

  TFakeMaster master;
  master.Script = script;
  TRegGroups groups;
  TRegGroup* group = groups.AddGroup();
  AddRegs(*group, {10, 2, 15, 1, 13, 3});
  TAsk ask(&master);
  QCOMPARE(ask.ReadGroup(1, group), 0);
  QCOMPARE(master.Flat(), (QList<int>{10, 5, 15, 1}));
  QCOMPARE(ask.Status, askStatus);

  auto chunkFailed = [&](int reg) {
    const int chunk = reg < 15 ? 0 : 1;
    return chunk < script.size() && script[chunk] != mbASK_done;
  };
  for (int i = 0; i < group->Count(); ++i) {
    const TRegToAsk& req = *group->Reg(i);
    QCOMPARE(req.Status, statuses[i]);
    QVERIFY(req.Answered);
    // Registers of a failed chunk read as 0, never as whatever the failed
    // answer left in the buffer; an exception puts the device's word first.
    std::vector<quint16> expected;
    for (int r = req.Register; r < req.Register + req.Count; ++r)
      expected.push_back(chunkFailed(r) ? 0 : ImageValue(r));
    if (req.Status == mbANS_exception)
      expected[0] = kExceptionWord;
    QCOMPARE(req.Values, expected);
  }
}

void TstRegAsk::noStaleValuesAfterFailure_data()
{
  QTest::addColumn<bool>("junkOnFailure");
  QTest::newRow("failed answer leaves the buffer alone") << false;
  QTest::newRow("failed answer scribbles over the buffer") << true;
}

void TstRegAsk::noStaleValuesAfterFailure()
{
  QFETCH(bool, junkOnFailure);

  TFakeMaster master;
  master.JunkOnFailure = junkOnFailure;
  master.Script = {4, 4, 5, 5};  // second read: the device is gone
  TRegGroups groups;
  TRegGroup* group = groups.AddGroup();
  AddRegs(*group, {10, 2, 15, 1});
  TAsk ask(&master);

  QCOMPARE(ask.ReadGroup(1, group), 0);
  QCOMPARE(group->Reg(0)->Values, ImageValues(10, 2));
  group->Reg(0)->ClearAnswered();
  group->Reg(1)->ClearAnswered();

  QCOMPARE(ask.ReadGroup(1, group), 0);
  for (int i = 0; i < group->Count(); ++i) {
    const TRegToAsk& req = *group->Reg(i);
    QVERIFY(req.Answered);
    QCOMPARE(req.Status, int(mbASK_timeout));
    QCOMPARE(req.Values, std::vector<quint16>(size_t(req.Count), 0));
  }
}

void TstRegAsk::wideSpan_data()
{
  QTest::addColumn<QList<int>>("requests");
  QTest::addColumn<QList<int>>("script");
  QTest::addColumn<QList<int>>("calls");  // all calls when short, else first and last
  QTest::addColumn<int>("callCount");
  QTest::addColumn<QList<int>>("statuses");

  // 128 registers still fit the buffer: one span of 26 chunks.
  QTest::newRow("span 128 read as one span") << QList<int>{0, 1, 127, 1} << QList<int>{}
                                             << QList<int>{0, 5, 125, 3} << 26 << QList<int>{4, 4};
  QTest::newRow("span 129 read request by request")
      << QList<int>{0, 1, 128, 1} << QList<int>{} << QList<int>{0, 1, 128, 1} << 2
      << QList<int>{4, 4};
  QTest::newRow("three requests far apart")
      << QList<int>{1000, 4, 10, 2, 5000, 1} << QList<int>{} << QList<int>{1000, 4, 10, 2, 5000, 1}
      << 3 << QList<int>{4, 4, 4};
  QTest::newRow("one request fails, the next is not affected")
      << QList<int>{10, 2, 5000, 1} << QList<int>{5, 4} << QList<int>{10, 2, 5000, 1} << 2
      << QList<int>{5, 4};
}

void TstRegAsk::wideSpan()
{
  QFETCH(QList<int>, requests);
  QFETCH(QList<int>, script);
  QFETCH(QList<int>, calls);
  QFETCH(int, callCount);
  QFETCH(QList<int>, statuses);

  TFakeMaster master;
  master.Script = script;
  TRegGroups groups;
  TRegGroup* group = groups.AddGroup();
  AddRegs(*group, requests);
  TAsk ask(&master);
  QCOMPARE(ask.ReadGroup(3, group), 0);

  QCOMPARE(master.Calls.size(), callCount);
  QList<int> flat = master.Flat();
  if (callCount * 2 > calls.size())
    flat = flat.mid(0, 2) + flat.mid(flat.size() - 2);
  QCOMPARE(flat, calls);
  for (const auto& call : master.Calls)
    QVERIFY(call.Count <= TAsk::ChunkSize);
  for (int i = 0; i < group->Count(); ++i) {
    const TRegToAsk& req = *group->Reg(i);
    QCOMPARE(req.Status, statuses[i]);
    const std::vector<quint16> expected = req.Status == mbASK_done
                                              ? ImageValues(req.Register, req.Count)
                                              : std::vector<quint16>(size_t(req.Count), 0);
    QCOMPARE(req.Values, expected);
  }
}

void TstRegAsk::unreadableRequestsRefused()
{
  TFakeMaster master;
  TRegGroups groups;
  TRegGroup* group = groups.AddGroup();
  group->AddReg(100, 129, 0x1);   // larger than the buffer
  group->AddReg(0xFFFF, 2, 0x1);  // would run past register 0xFFFF
  group->AddReg(50, 0, 0x1);      // nothing to read
  group->AddReg(20, 2, 0x10001);  // readable
  TAsk ask(&master);
  QCOMPARE(ask.ReadGroup(1, group), 0);

  // Only the readable request reaches the line, and the refused ones do not
  // widen its span.
  QCOMPARE(master.Flat(), (QList<int>{20, 2}));
  QCOMPARE(ask.Span, 2);
  QCOMPARE(ask.Status, int(mbASK_error));
  for (int i = 0; i < 3; ++i) {
    QVERIFY(group->Reg(i)->Answered);
    QCOMPARE(group->Reg(i)->Status, int(mbASK_error));
    QCOMPARE(group->Reg(i)->Values, std::vector<quint16>(size_t(group->Reg(i)->Count), 0));
  }
  QCOMPARE(group->Reg(3)->Status, int(mbASK_done));
  QCOMPARE(group->Reg(3)->Values, ImageValues(20, 2));

  // A group made only of unreadable requests asks nothing at all.
  TRegGroup* bad = groups.AddGroup();
  bad->AddReg(0, 200, 0x1);
  master.Calls.clear();
  QCOMPARE(ask.ReadGroup(1, bad), 0);
  QVERIFY(master.Calls.isEmpty());
  QCOMPARE(bad->Reg(0)->Status, int(mbASK_error));
}

void TstRegAsk::emptyGroupReadsNothing()
{
  TFakeMaster master;
  TAsk ask(&master);
  QCOMPARE(ask.ReadGroup(1, nullptr), -1);
  TRegGroups groups;
  QCOMPARE(ask.ReadGroup(1, groups.AddGroup()), -1);
  QVERIFY(master.Calls.isEmpty());
  QCOMPARE(ask.Span, 0);
}

void TstRegAsk::addRegNegativeCount()
{
  TRegGroups groups;
  TRegGroup* group = groups.AddGroup();
  QCOMPARE(group->AddReg(10, -1, 0x1), nullptr);
  QCOMPARE(group->Count(), 0);
  TRegToAsk* req = group->AddReg(10, 2, 0x20002);
  QVERIFY(req);
  QCOMPARE(group->Count(), 1);
  QCOMPARE(req->Register, quint16(10));
  QCOMPARE(req->Kind, 0x20002);
  QCOMPARE(req->Values.size(), size_t(2));
  QVERIFY(!req->Answered);
}

void TstRegAsk::findRegAndIteration()
{
  TRegGroups groups;
  TRegGroup* g0 = groups.AddGroup();
  TRegToAsk* value = g0->AddReg(10, 2, 0x10001);
  TRegToAsk* status = g0->AddReg(15, 1, 0xE0001);
  TRegGroup* g1 = groups.AddGroup();  // stays empty
  TRegGroup* g2 = groups.AddGroup();
  TRegToAsk* sameRegister = g2->AddReg(15, 1, 0xF0001);
  TRegToAsk* point = g2->AddReg(20, 1, 0xF0001);
  TRegGroup* g3 = groups.AddGroup();  // empty at the end
  QCOMPARE(g1->Number, 1);
  QCOMPARE(g3->Number, 3);
  QCOMPARE(groups.NextNumber, 4);

  QCOMPARE(groups.FindReg(15), status);  // group order decides, not the later match
  QCOMPARE(groups.FindReg(10), value);
  QCOMPARE(groups.FindReg(99), nullptr);

  QList<TRegToAsk*> seen;
  int g = -1;
  int r = -1;
  for (TRegToAsk* req = groups.FirstReg(g, r); req; req = groups.NextReg(g, r))
    seen << req;
  QCOMPARE(seen, (QList<TRegToAsk*>{value, status, sameRegister, point}));
  QCOMPARE(groups.NextReg(g, r), nullptr);  // stays at the end

  QList<TRegGroup*> groupsSeen;
  int cursor = -1;
  for (TRegGroup* group = groups.FirstGroup(cursor); group; group = groups.NextGroup(cursor))
    groupsSeen << group;
  QCOMPARE(groupsSeen, (QList<TRegGroup*>{g0, g1, g2, g3}));

  TRegGroups none;
  QCOMPARE(none.FirstReg(g, r), nullptr);
  QCOMPARE(none.FirstGroup(cursor), nullptr);
  QCOMPARE(g1->FirstReg(cursor), nullptr);
}

QTEST_GUILESS_MAIN(TstRegAsk)
#include "tst_regAsk.moc"
