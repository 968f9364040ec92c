#include "comm/MBMaster.h"
#include "comm/RegAsk.h"
#include "model/DevUnitV4.h"
#include "model/alarms.h"

#include "devFixtures.h"

#include <QtTest>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

using fixtures::MakeType;
using fixtures::TFakeStore;

namespace {

// One answer as the register reader would leave it in a request.
struct TAnswer {
  bool Answered = true;
  int Status = mbASK_done;
  QList<int> Words;
};

TAnswer Ans(int status, QList<int> words = {})
{
  return {true, status, std::move(words)};
}

TAnswer NoAnswer()
{
  return {false, 0, {}};
}

constexpr double kPrevTime = 100.0;
constexpr double kAnswerTime = 200.0;

// A type whose single input has the given request layout.
std::unique_ptr<TTypeV4> InputType(qint32 regType, qint32 statReg, bool progPoint,
                                   qint32 pointValue)
{
  auto type = TTypeV4::Create(3);
  type->Name = QStringLiteral("Meter");
  auto reg = std::make_unique<TPomRegV4>();
  reg->IDReg = 1;
  reg->Register = 100;
  reg->RegType = regType;
  reg->RegCount = regType & 0xF;
  reg->StatReg = statReg;
  reg->StatRegM = 0x00FF;
  reg->IsProgPoint = progPoint;
  reg->PointReg = 300;
  reg->PointValue = pointValue;
  reg->Name = QStringLiteral("Flow");
  type->AddInReg(std::move(reg));
  return type;
}

// Writes the answers into the state's requests in walk order; requests past
// the end of the list stay unanswered.
void FillRequests(TInUnitV4& channel, qint32 index, const QList<TAnswer>& answers)
{
  int next = 0;
  int groupCursor = -1;
  for (TRegGroup* group = channel.FirstRequestGroup(groupCursor, index); group != nullptr;
       group = channel.NextRequestGroup(groupCursor, index)) {
    int regCursor = -1;
    for (TRegToAsk* req = group->FirstReg(regCursor); req != nullptr;
         req = group->NextReg(regCursor), ++next) {
      if (next >= answers.size() || !answers[next].Answered)
        continue;
      req->Values.clear();
      for (int word : answers[next].Words)
        req->Values.push_back(static_cast<quint16>(word));
      req->Status = answers[next].Status;
      req->Time = kAnswerTime;
      req->MarkAnswered();
    }
  }
}

struct TRequestShape {
  int Group;
  int Register;
  int Count;
  int Kind;
};

QList<TRequestShape> Requests(TInUnitV4& channel, qint32 index)
{
  QList<TRequestShape> shapes;
  int groupCursor = -1;
  for (TRegGroup* group = channel.FirstRequestGroup(groupCursor, index); group != nullptr;
       group = channel.NextRequestGroup(groupCursor, index)) {
    int regCursor = -1;
    for (TRegToAsk* req = group->FirstReg(regCursor); req != nullptr;
         req = group->NextReg(regCursor))
      shapes.append({group->Number, req->Register, req->Count, req->Kind});
  }
  return shapes;
}

QList<int> Flatten(const QList<TRequestShape>& shapes)
{
  QList<int> flat;
  for (const TRequestShape& s : shapes)
    flat << s.Group << s.Register << s.Count << s.Kind;
  return flat;
}

}  // namespace

Q_DECLARE_METATYPE(TAnswer)

class TstDevUnit : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void buildChannels_data();
  void buildChannels();
  void channelKindAndMarkDeleted();
  void requestLayout_data();
  void requestLayout();
  void statesAndNeutralAccessors();
  void updateFromRequests_data();
  void updateFromRequests();
  void updateConsumesAnswers();
  void receivedLimits_data();
  void receivedLimits();
  void receivedErrorBegin();
  void alarmCycle();
  void save_data();
  void save();
  void concurrentReceiveAndRead();
};

void TstDevUnit::buildChannels_data()
{
  QTest::addColumn<int>("typeId");
  QTest::addColumn<QStringList>("alarmNames");
  QTest::addColumn<QList<int>>("modeValues");

  const QList<int> sevenModes{0, 1, 2, 32, 64, 128, 255};
  QTest::newRow("type 12: one output, seven modes")
      << 12 << QStringList{QStringLiteral("Sensor (5)")} << sevenModes;
  QTest::newRow("type 8: one output, seven modes")
      << 8 << QStringList{QStringLiteral("Sensor (5)")} << sevenModes;
  QStringList eight;
  for (int n = 1; n <= 8; ++n)
    eight << QStringLiteral("Sensor (5)-%1 (alarm)").arg(n);
  QTest::newRow("type 68: eight outputs, two modes") << 68 << eight << QList<int>{0, 1};
  QTest::newRow("other types: none") << 3 << QStringList{} << QList<int>{};
}

void TstDevUnit::buildChannels()
{
  QFETCH(int, typeId);
  QFETCH(QStringList, alarmNames);
  QFETCH(QList<int>, modeValues);

  const auto type = MakeType(typeId, QStringLiteral("Sensor"),
                             {QStringLiteral("Temp"), QStringLiteral("Hum")}, 1);
  TFakeStore store;
  TUnitV4 unit(&store, 3, 5, type.get());

  QCOMPARE(unit.Name, QStringLiteral("Sensor (5)"));
  QCOMPARE(unit.TypeId, typeId);
  QCOMPARE(unit.TypeName(), QStringLiteral("Sensor"));
  QVERIFY(!unit.DelFlag);
  QVERIFY(unit.AddDate > 0);
  QCOMPARE(unit.DelDate, 0.0);

  QCOMPARE(unit.InUnits().size(), size_t(2));
  QCOMPARE(unit.InUnits()[0]->Name, QStringLiteral("Temp (5)"));
  QCOMPARE(unit.InUnits()[1]->Name, QStringLiteral("Hum (5)"));
  for (const auto& in : unit.InUnits()) {
    QCOMPARE(in->Unit, &unit);
    QCOMPARE(in->RegDef, type->InRegs()[static_cast<size_t>(in->IDReg - 1)].get());
    QCOMPARE(in->PointValue, 10);
    QVERIFY(!in->Deleted);
    QCOMPARE(in->UState, quint8(0));
    QVERIFY(in->HasState(0));
    QVERIFY(!in->HasState(1));
    TStateValues state;
    QVERIFY(in->ReadState(0, state));
    QCOMPARE(state.MeasId, -1);
    QCOMPARE(state.ErrId, -1);
    QCOMPARE(state.PrevMeasId, -1);
    QCOMPARE(state.PrevErrId, -1);
    const TChannelStat stat = in->Stat();
    QCOMPARE(stat.StatMin, 1.7e308);
    QCOMPARE(stat.StatMax, -1.7e308);
    QCOMPARE(stat.StatCount, 0);
  }
  QCOMPARE(unit.FindInUnitByIDReg(2), unit.InUnits()[1].get());
  QCOMPARE(unit.FindInUnitByRegister(102), unit.InUnits()[1].get());
  QVERIFY(unit.FindInUnitByIDReg(9) == nullptr);

  QCOMPARE(unit.OutUnits().size(), size_t(1));
  const TOutUnitV4& out = *unit.OutUnits()[0];
  QCOMPARE(out.Name, QStringLiteral("Sensor (5) (output)"));
  QCOMPARE(out.Register, 200);
  QVERIFY(out.STDpoint);
  QCOMPARE(out.InUnitID, 0);
  QCOMPARE(unit.FindOutUnitByIDReg(1), &out);
  QVERIFY(unit.OtherUnits().empty());

  QCOMPARE(unit.AlarmUnits().size(), size_t(alarmNames.size()));
  for (size_t i = 0; i < unit.AlarmUnits().size(); ++i) {
    const TAlarmUnitV4& alarm = *unit.AlarmUnits()[i];
    QCOMPARE(alarm.Name, alarmNames[static_cast<qsizetype>(i)]);
    QCOMPARE(alarm.OutNo, static_cast<qint32>(i) + 1);
    QCOMPARE(alarm.Unit, &unit);
    QList<int> values;
    for (const TAlarmMode& mode : alarm.Modes) {
      values << mode.Value;
      QVERIFY(!mode.Text.isEmpty());
    }
    QCOMPARE(values, modeValues);
  }
}

void TstDevUnit::channelKindAndMarkDeleted()
{
  const auto type =
      MakeType(12, QStringLiteral("Sensor"), {QStringLiteral("Temp"), QStringLiteral("Hum")}, 1);
  TUnitV4 unit(nullptr, 3, 5, type.get());
  TUnitV4 other(nullptr, 4, 6, type.get());
  TInUnitV4* in0 = unit.InUnits()[0].get();
  TInUnitV4* in1 = unit.InUnits()[1].get();
  TOutUnitV4* out = unit.OutUnits()[0].get();
  TAlarmUnitV4* alarm = unit.AlarmUnits()[0].get();

  in1->UState = 1;
  QCOMPARE(unit.ChannelKind(in0), 1);
  QCOMPARE(unit.ChannelKind(in1), 1);  // disabled still counts
  QCOMPARE(unit.ChannelKind(out), 2);
  QCOMPARE(unit.ChannelKind(alarm), 3);
  QCOMPARE(unit.ChannelKind(other.InUnits()[0].get()), -1);
  QCOMPARE(unit.ChannelKind(nullptr), -1);

  int cursor = -1;
  QCOMPARE(unit.FirstInUnit(cursor, false, false), in0);
  QVERIFY(unit.NextInUnit(cursor, false, false) == nullptr);
  QVERIFY(unit.NextInUnit(cursor, false, false) == nullptr);

  unit.MarkDeleted();
  QVERIFY(unit.DelFlag);
  const double delDate = unit.DelDate;
  QVERIFY(delDate > 0);
  QVERIFY(in0->Deleted && in1->Deleted && out->Deleted);
  QCOMPARE(unit.ChannelKind(in0), -1);
  QCOMPARE(unit.ChannelKind(out), -1);
  QCOMPARE(unit.ChannelKind(alarm), 3);
  QVERIFY(unit.FirstInUnit(cursor, false, true) == nullptr);
  QVERIFY(unit.FirstOutUnit(cursor, false) == nullptr);
  QCOMPARE(unit.FirstOutUnit(cursor, true), out);

  // Deleting again keeps the first deletion date.
  unit.MarkDeleted();
  QCOMPARE(unit.DelDate, delDate);
}

void TstDevUnit::requestLayout_data()
{
  QTest::addColumn<int>("statReg");
  QTest::addColumn<bool>("progPoint");
  QTest::addColumn<QList<int>>("expected");  // group, register, count, kind per request

  const QList<int> value{0, 100, 2, RegTypeUINT32};
  const QList<int> status{0, 40, 1, RegTypeStatus};
  const QList<int> point1{1, 300, 1, RegTypePoint};
  QTest::newRow("no status, program point: value only") << 0 << true << value;
  QTest::newRow("negative status register: value only") << -1 << true << value;
  QTest::newRow("status, device point") << 40 << false << (value + status + point1);
  QTest::newRow("status, program point") << 40 << true << (value + status);
  QTest::newRow("no status, device point") << 0 << false << (value + point1);
}

void TstDevUnit::requestLayout()
{
  QFETCH(int, statReg);
  QFETCH(bool, progPoint);
  QFETCH(QList<int>, expected);

  const auto type = InputType(RegTypeUINT32, statReg, progPoint, 1);
  TUnitV4 unit(nullptr, 1, 1, type.get());
  TInUnitV4& channel = *unit.InUnits()[0];
  QCOMPARE(Flatten(Requests(channel, 0)), expected);
  // The logger state asks for the same registers.
  QVERIFY(channel.AddState(1));
  QCOMPARE(Flatten(Requests(channel, 1)), expected);
  QVERIFY(Requests(channel, 2).isEmpty());
}

void TstDevUnit::statesAndNeutralAccessors()
{
  const auto type = InputType(RegTypeUINT16, 0, true, 1);
  TUnitV4 unit(nullptr, 1, 1, type.get());
  TInUnitV4& channel = *unit.InUnits()[0];

  QVERIFY(!channel.AddState(0));
  QVERIFY(channel.AddState(1));
  QVERIFY(!channel.AddState(1));
  QCOMPARE(channel.SetStateMeasId(1, 77), 0);
  QCOMPARE(channel.SetStateErrId(1, 78), 0);
  QCOMPARE(channel.StateMeasId(1), 77);
  QCOMPARE(channel.StateErrId(1), 78);
  QCOMPARE(channel.StateMeasId(0), -1);

  channel.RemoveState(1);
  QVERIFY(!channel.HasState(1));
  QVERIFY(channel.HasState(0));
  // A missing state answers neutral values, not the -1 of a fresh state.
  QCOMPARE(channel.StateMeasId(1), 0);
  QCOMPARE(channel.StateErrId(1), 0);
  QCOMPARE(channel.StatePrevErrId(1), 0);
  QCOMPARE(channel.StateValue(1), 0.0);
  QCOMPARE(channel.StateTime(1), 0.0);
  QCOMPARE(channel.SetStateMeasId(1, 5), -1);
  QCOMPARE(channel.SetStateErrId(1, 5), -1);
  TStateValues copy;
  copy.Value = 42;
  QVERIFY(!channel.ReadState(1, copy));
  QCOMPARE(copy.Value, 42.0);
  const TStateValues none = channel.SetReceived(1, 1.0, 5.0, 0);
  QCOMPARE(none.Value, 0.0);
  QVERIFY(!channel.HasState(1));
  channel.UpdateFromRequests(1);  // nothing to update, no crash
}

void TstDevUnit::updateFromRequests_data()
{
  QTest::addColumn<int>("index");
  QTest::addColumn<int>("regType");
  QTest::addColumn<int>("statReg");
  QTest::addColumn<bool>("progPoint");
  QTest::addColumn<int>("pointValue");
  QTest::addColumn<double>("max");
  QTest::addColumn<int>("prevCode");
  QTest::addColumn<QList<TAnswer>>("answers");  // in walk order: value, status, point
  QTest::addColumn<int>("errCode");
  QTest::addColumn<double>("value");
  QTest::addColumn<double>("errBegin");
  QTest::addColumn<int>("pointAfter");

  const double big = 1e6;
  QTest::newRow("valid value divided by PointValue")
      << 0 << RegTypeUINT16 << 0 << true << 100 << big << 0 << QList<TAnswer>{Ans(4, {2345})} << 0
      << 23.45 << 0.0 << 100;
  QTest::newRow("masked status word is the code, value unscaled")
      << 0 << RegTypeUINT16 << 40 << true << 100 << big << 0
      << QList<TAnswer>{Ans(4, {2345}), Ans(4, {0x0004})} << 4 << 2345.0 << kAnswerTime << 100;
  QTest::newRow("status bits outside the mask are no error")
      << 0 << RegTypeUINT16 << 40 << true << 100 << big << 0
      << QList<TAnswer>{Ans(4, {2345}), Ans(4, {0x0100})} << 0 << 23.45 << 0.0 << 100;
  QTest::newRow("status exception with word 0 keeps the value valid")
      << 0 << RegTypeUINT16 << 40 << true << 100 << big << 0
      << QList<TAnswer>{Ans(4, {2345}), Ans(9, {0})} << 0 << 23.45 << 0.0 << 100;
  QTest::newRow("timeout after a timeout keeps the error begin")
      << 0 << RegTypeUINT16 << 0 << true << 100 << big << -1 << QList<TAnswer>{Ans(mbASK_timeout)}
      << -1 << 0.0 << kPrevTime << 100;
  QTest::newRow("timeout after a valid value begins an error")
      << 0 << RegTypeUINT16 << 0 << true << 100 << big << 0 << QList<TAnswer>{Ans(mbASK_timeout)}
      << -1 << 0.0 << kAnswerTime << 100;
  QTest::newRow("CRC error") << 0 << RegTypeUINT16 << 0 << true << 100 << big << 0
                             << QList<TAnswer>{Ans(mbANS_crcError)} << -2 << 0.0 << kAnswerTime
                             << 100;
  QTest::newRow("request error") << 0 << RegTypeUINT16 << 0 << true << 100 << big << 0
                                 << QList<TAnswer>{Ans(mbASK_error)} << -2 << 0.0 << kAnswerTime
                                 << 100;
  QTest::newRow("UINT16 exception word is signed")
      << 0 << RegTypeUINT16 << 0 << true << 100 << big << 0
      << QList<TAnswer>{Ans(mbANS_exception, {0x8001})} << -32767 << 0.0 << kAnswerTime << 100;
  QTest::newRow("SINT16 exception word is unsigned")
      << 0 << RegTypeSINT16 << 0 << true << 100 << big << 0
      << QList<TAnswer>{Ans(mbANS_exception, {0x8001})} << 32769 << 0.0 << kAnswerTime << 100;
  QTest::newRow("point word 3: divisor and PointValue 1000")
      << 0 << RegTypeUINT16 << 0 << false << 10 << big << 0
      << QList<TAnswer>{Ans(4, {2345}), Ans(4, {3})} << 0 << 2.345 << 0.0 << 1000;
  QTest::newRow("point word 0: divisor 1")
      << 0 << RegTypeUINT16 << 0 << false << 10 << big << 0
      << QList<TAnswer>{Ans(4, {2345}), Ans(4, {0})} << 0 << 2345.0 << 0.0 << 1;
  QTest::newRow("point word 12 is a communication error, PointValue kept")
      << 0 << RegTypeUINT16 << 0 << false << 10 << big << 0
      << QList<TAnswer>{Ans(4, {2345}), Ans(4, {12})} << -2 << 2345.0 << kAnswerTime << 10;
  QTest::newRow("point exception word is the code, PointValue kept")
      << 0 << RegTypeUINT16 << 0 << false << 10 << big << 0
      << QList<TAnswer>{Ans(4, {2345}), Ans(9, {7})} << 7 << 2345.0 << kAnswerTime << 10;
  QTest::newRow("short answer") << 0 << RegTypeUINT32 << 0 << true << 1 << big << 0
                                << QList<TAnswer>{Ans(4, {1})} << -2 << 0.0 << kAnswerTime << 1;
  // A zero status word clears device codes, but must not turn a broken
  // answer into a valid zero.
  QTest::newRow("short answer before a zero status word")
      << 0 << RegTypeUINT32 << 40 << true << 1 << big << 0
      << QList<TAnswer>{Ans(4, {1}), Ans(4, {0})} << -2 << 0.0 << kAnswerTime << 1;
  // Answers that carry no number never come out as a valid zero.
  QTest::newRow("status the adapter does not define")
      << 0 << RegTypeUINT16 << 0 << true << 100 << big << 0 << QList<TAnswer>{Ans(mbASK_retry)}
      << -2 << 0.0 << kAnswerTime << 100;
  QTest::newRow("value exception without an error word")
      << 0 << RegTypeUINT16 << 0 << true << 100 << big << 0
      << QList<TAnswer>{Ans(mbANS_exception, {0})} << -2 << 0.0 << kAnswerTime << 100;
  QTest::newRow("value exception, then a zero status word")
      << 0 << RegTypeUINT16 << 40 << true << 100 << big << 0
      << QList<TAnswer>{Ans(mbANS_exception, {5}), Ans(4, {0})} << -2 << 0.0 << kAnswerTime << 100;
  QTest::newRow("value unanswered") << 0 << RegTypeUINT16 << 0 << true << 100 << big << 0
                                    << QList<TAnswer>{NoAnswer()} << -1 << 0.0 << kPrevTime << 100;
  QTest::newRow("status unanswered after a valid value")
      << 0 << RegTypeUINT16 << 40 << true << 100 << big << 0
      << QList<TAnswer>{Ans(4, {2345}), NoAnswer()} << -1 << 2345.0 << kAnswerTime << 100;
  QTest::newRow("scaled value above Max")
      << 0 << RegTypeUINT16 << 0 << true << 100 << 20.0 << 0 << QList<TAnswer>{Ans(4, {2345})} << -4
      << 23.45 << kAnswerTime << 100;
  QTest::newRow("logger state unanswered")
      << 1 << RegTypeUINT16 << 0 << true << 100 << big << 0 << QList<TAnswer>{NoAnswer()} << -1
      << 0.0 << kPrevTime << 100;
  QTest::newRow("logger state valid value")
      << 1 << RegTypeUINT16 << 0 << true << 100 << big << 0 << QList<TAnswer>{Ans(4, {2345})} << 0
      << 23.45 << 0.0 << 100;
  // The logger records only the value register: the status and point
  // requests of its state stay unanswered, and its divisor is PointValue.
  QTest::newRow("logger state with status and device point registers")
      << 1 << RegTypeUINT16 << 40 << false << 100 << big << 0 << QList<TAnswer>{Ans(4, {2345})} << 0
      << 23.45 << 0.0 << 100;
  QTest::newRow("logger state error record with a status register")
      << 1 << RegTypeUINT16 << 40 << false << 100 << big << 0
      << QList<TAnswer>{Ans(mbANS_exception, {0x00FF})} << 255 << 0.0 << kAnswerTime << 100;
  QTest::newRow("live state with its point request unanswered")
      << 0 << RegTypeUINT16 << 0 << false << 100 << big << 0 << QList<TAnswer>{Ans(4, {2345})} << -1
      << 2345.0 << kAnswerTime << 100;
}

void TstDevUnit::updateFromRequests()
{
  QFETCH(int, index);
  QFETCH(int, regType);
  QFETCH(int, statReg);
  QFETCH(bool, progPoint);
  QFETCH(int, pointValue);
  QFETCH(double, max);
  QFETCH(int, prevCode);
  QFETCH(QList<TAnswer>, answers);
  QFETCH(int, errCode);
  QFETCH(double, value);
  QFETCH(double, errBegin);
  QFETCH(int, pointAfter);

  const auto type = InputType(regType, statReg, progPoint, pointValue);
  TUnitV4 unit(nullptr, 1, 1, type.get());
  TInUnitV4& channel = *unit.InUnits()[0];
  channel.Min = -1e6;
  channel.Max = max;
  if (index == 1)
    QVERIFY(channel.AddState(1));
  // The previous poll's outcome: an error that began at kPrevTime, or a value.
  channel.SetReceived(index, kPrevTime, 0.0, prevCode);

  FillRequests(channel, index, answers);
  channel.UpdateFromRequests(index);

  TStateValues s;
  QVERIFY(channel.ReadState(index, s));
  QCOMPARE(s.ErrCode, errCode);
  QCOMPARE(s.Value, value);
  QCOMPARE(s.ErrBeginTime, errBegin);
  QCOMPARE(s.PrevErrCode, prevCode);
  QCOMPARE(s.PrevTime, kPrevTime);
  QCOMPARE(s.MeasId, -1);
  QCOMPARE(channel.PointValue, pointAfter);
}

void TstDevUnit::updateConsumesAnswers()
{
  const auto type = InputType(RegTypeUINT16, 40, true, 100);
  TUnitV4 unit(nullptr, 1, 1, type.get());
  TInUnitV4& channel = *unit.InUnits()[0];
  channel.Max = 1000;

  FillRequests(channel, 0, {Ans(4, {2345}), Ans(4, {0})});
  channel.UpdateFromRequests(0);
  QCOMPARE(channel.StateErrCode(0), 0);
  QCOMPARE(channel.SetStateMeasId(0, 77), 0);

  // A poll that reached no request must not reuse the answers of the last one.
  channel.UpdateFromRequests(0);
  TStateValues s;
  QVERIFY(channel.ReadState(0, s));
  QCOMPARE(s.ErrCode, -1);
  QCOMPARE(s.Value, 0.0);
  QCOMPARE(s.MeasId, -1);
  QCOMPARE(s.PrevErrCode, 0);
  QCOMPARE(s.PrevValue, 23.45);
  QCOMPARE(s.PrevTime, kAnswerTime);
  QCOMPARE(s.PrevMeasId, 77);
  QCOMPARE(s.ErrBeginTime, kAnswerTime);
}

void TstDevUnit::receivedLimits_data()
{
  QTest::addColumn<double>("value");
  QTest::addColumn<int>("codeIn");
  QTest::addColumn<int>("codeOut");

  QTest::newRow("at Max is valid") << 100.0 << 0 << 0;
  QTest::newRow("at Min is valid") << 0.0 << 0 << 0;
  QTest::newRow("above Max") << 100.5 << 0 << -4;
  QTest::newRow("below Min") << -0.1 << 0 << -3;
  QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 0 << -3;
  QTest::newRow("device code skips the check") << 500.0 << 5 << 5;
  QTest::newRow("no answer skips the check") << -50.0 << -1 << -1;
}

void TstDevUnit::receivedLimits()
{
  QFETCH(double, value);
  QFETCH(int, codeIn);
  QFETCH(int, codeOut);

  const auto type = InputType(RegTypeUINT16, 0, true, 1);
  TUnitV4 unit(nullptr, 1, 1, type.get());
  TInUnitV4& channel = *unit.InUnits()[0];
  channel.Min = 0;
  channel.Max = 100;

  const TStateValues copy = channel.SetReceived(0, 10.0, value, codeIn);
  QCOMPARE(copy.ErrCode, codeOut);
  QCOMPARE(channel.StateErrCode(0), codeOut);
  QCOMPARE(copy.ErrBeginTime, codeOut != 0 ? 10.0 : 0.0);
}

void TstDevUnit::receivedErrorBegin()
{
  const auto type = InputType(RegTypeUINT16, 0, true, 1);
  TUnitV4 unit(nullptr, 1, 1, type.get());
  TInUnitV4& channel = *unit.InUnits()[0];
  channel.Min = 0;
  channel.Max = 100;

  struct TStep {
    double Time;
    double Value;
    qint32 CodeIn;
    qint32 Code;
    double ErrBegin;
  };
  const TStep steps[] = {
      {1, 50, 0, 0, 0},   {2, 150, 0, -4, 2},  // goes above Max
      {3, 160, 0, -4, 2},                      // still above: same error
      {4, 50, 0, 0, 2},                        // valid again: begin untouched
      {5, -1, 0, -3, 5},  {6, 0, 7, 7, 6},     // another code begins anew
  };
  for (const TStep& step : steps) {
    const TStateValues s = channel.SetReceived(0, step.Time, step.Value, step.CodeIn);
    QCOMPARE(s.ErrCode, step.Code);
    QCOMPARE(s.ErrBeginTime, step.ErrBegin);
    channel.Snapshot(0);
    TStateValues after;
    QVERIFY(channel.ReadState(0, after));
    QCOMPARE(after.PrevErrCode, step.Code);
    QCOMPARE(after.PrevValue, step.Value);
    QCOMPARE(after.PrevTime, step.Time);
    QCOMPARE(after.PrevErrBeginTime, step.ErrBegin);
  }
}

void TstDevUnit::alarmCycle()
{
  const auto type = MakeType(12, QStringLiteral("Sensor"), {QStringLiteral("Temp")}, 0);
  TUnitV4 unit(nullptr, 3, 5, type.get());
  TInUnitV4& channel = *unit.InUnits()[0];
  TAlarmUnitV4& output = *unit.AlarmUnits()[0];

  TalarmsList alarms;
  QCOMPARE(alarms.AddAlarm(10, QStringLiteral("A"), {}), 0);
  QCOMPARE(alarms.AddAlarm(11, QStringLiteral("B"), {}), 0);
  QCOMPARE(alarms.AddAlarm(12, QStringLiteral("C"), {}), 0);
  QCOMPARE(channel.AlarmMaker().Bind(4, 10), 0);
  QCOMPARE(channel.AlarmMaker().Bind(4, 11), 0);
  QCOMPARE(channel.AlarmMaker().Bind(4, 11), -1);
  QCOMPARE(channel.AlarmMaker().Bind(6, 10), 0);
  // A valid value must never raise, whatever is bound to code 0.
  QCOMPARE(channel.AlarmMaker().Bind(0, 12), 0);
  output.AlarmModes = {{10, 2}, {11, 64}};

  const auto cycle = [&](qint32 code) {
    channel.SetReceived(0, 1.0, 1.0, code);
    alarms.StartCycle();
    channel.RaiseBoundAlarms(alarms);
    alarms.EndCycle();
    output.ComputeRequired(alarms);
    return output.ReqValue;
  };

  QCOMPARE(cycle(4), 64);  // A and B active: the stronger mode
  QCOMPARE(alarms.Active(), (QSet<qint32>{10, 11}));
  QCOMPARE(cycle(6), 2);  // B cleared
  alarms.ConfirmAll();
  output.ComputeRequired(alarms);
  QCOMPARE(output.ReqValue, 0);
  QCOMPARE(cycle(4), 64);  // B is new, A stays confirmed
  QCOMPARE(cycle(0), 0);
  QVERIFY(alarms.Active().isEmpty());
  QCOMPARE(cycle(9), 0);  // a code without bindings raises nothing
}

void TstDevUnit::save_data()
{
  QTest::addColumn<QString>("failOp");
  QTest::addColumn<int>("result");

  QTest::newRow("all stored") << QString() << 0;
  QTest::newRow("unit record fails") << QStringLiteral("unit") << -1;
  QTest::newRow("input channel fails") << QStringLiteral("in") << -1;
  QTest::newRow("output channel fails") << QStringLiteral("out") << -1;
  QTest::newRow("alarm output fails") << QStringLiteral("alarmOutput") << -1;
}

void TstDevUnit::save()
{
  QFETCH(QString, failOp);
  QFETCH(int, result);

  const auto type =
      MakeType(12, QStringLiteral("Sensor"), {QStringLiteral("Temp"), QStringLiteral("Hum")}, 1);
  TFakeStore store;
  if (!failOp.isEmpty())
    store.FailOps << failOp;
  TUnitV4 unit(&store, 3, 5, type.get());
  unit.InUnits()[0]->LogId = 21;
  unit.InUnits()[1]->LogId = 22;
  unit.OutUnits()[0]->LogId = 23;
  unit.AlarmUnits()[0]->LogId = 4;
  unit.AlarmUnits()[0]->AlarmModes = {{7, 64}};
  // Deleted and disabled channels are stored too (kept for history).
  unit.InUnits()[0]->Deleted = true;
  unit.InUnits()[1]->UState = 1;
  unit.OutUnits()[0]->Deleted = true;

  QCOMPARE(unit.Save(), result);
  QCOMPARE(store.Calls,
           (QStringList{QStringLiteral("unit 5"), QStringLiteral("in 21"), QStringLiteral("in 22"),
                        QStringLiteral("out 23"), QStringLiteral("alarmOutput 5/4")}));
  QVERIFY(store.LastAlarmOutputText.contains(QStringLiteral("alarmUnit")));
  QVERIFY(store.LastAlarmOutputText.contains(QStringLiteral(">64<")));

  TUnitV4 orphan(nullptr, 3, 6, type.get());
  QCOMPARE(orphan.Save(), -1);
}

void TstDevUnit::concurrentReceiveAndRead()
{
  // Every update encodes its code and time in the value, so a reader can tell
  // a copy that mixes two updates from a consistent one.
  constexpr int kUpdates = 20000;
  constexpr double kScale = 1e6;
  const auto type = InputType(RegTypeUINT16, 0, true, 1);
  TUnitV4 unit(nullptr, 1, 1, type.get());
  TInUnitV4& channel = *unit.InUnits()[0];
  channel.Min = -1e12;
  channel.Max = 1e12;

  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::atomic<int> bad{0};
  QString firstBad;  // written by the reader only until it ends

  std::thread reader([&] {
    const auto check = [&](bool ok, const TStateValues& s, const char* what) {
      if (ok)
        return;
      if (bad.fetch_add(1) == 0)
        firstBad = QStringLiteral("%1: time %2 code %3 value %4 begin %5 prev %6/%7/%8")
                       .arg(QLatin1String(what))
                       .arg(s.Time)
                       .arg(s.ErrCode)
                       .arg(s.Value)
                       .arg(s.ErrBeginTime)
                       .arg(s.PrevTime)
                       .arg(s.PrevErrCode)
                       .arg(s.PrevValue);
    };
    while (!done.load(std::memory_order_acquire)) {
      TStateValues s;
      channel.ReadState(0, s);
      reads.fetch_add(1, std::memory_order_relaxed);
      if (s.Time == 0)
        continue;
      check(s.Value == s.ErrCode * kScale + s.Time, s, "current");
      // The code changes on every update, so a non-zero code has always just begun.
      check(s.ErrCode == 0 || s.ErrBeginTime == s.Time, s, "error begin");
      check(s.PrevTime == 0 || s.PrevValue == s.PrevErrCode * kScale + s.PrevTime, s, "previous");
      check(s.PrevTime == s.Time || s.PrevTime == s.Time - 1 || s.PrevTime == 0, s, "snapshot");
    }
  });

  // Both threads must really overlap, also on a single busy core: wait for
  // the reader before starting and again every few hundred updates.
  const auto waitForReader = [&] {
    const int seen = reads.load();
    while (reads.load() == seen)
      std::this_thread::yield();
  };
  waitForReader();
  for (int n = 1; n <= kUpdates; ++n) {
    const qint32 code = n % 5;
    const TStateValues copy = channel.SetReceived(0, n, code * kScale + n, code);
    if (copy.ErrCode != code)
      bad.fetch_add(1);
    channel.Snapshot(0);
    if (n % 500 == 0)
      waitForReader();
  }
  done.store(true, std::memory_order_release);
  reader.join();

  QVERIFY2(bad.load() == 0, qPrintable(firstBad));
  QCOMPARE(channel.StateTime(0), double(kUpdates));
}

QTEST_GUILESS_MAIN(TstDevUnit)
#include "tst_devUnit.moc"
