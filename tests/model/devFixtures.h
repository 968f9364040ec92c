#pragma once

// Device types built in code and a main-definitions store that records what
// the units and groups ask it to do, shared by the unit and unit-list tests.

#include "model/DevListV4.h"
#include "model/DevUnitV4.h"
#include "model/TypeUnitV4.h"
#include "storage/mainDBoper.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

namespace fixtures {

// A type named `name` with one input per entry of `inputNames` (registers
// 100, 102, … so each is told apart) and `outputs` outputs.
inline std::unique_ptr<TTypeV4> MakeType(qint32 id, const QString& name,
                                         const QStringList& inputNames, int outputs,
                                         qint32 mbusId = -1)
{
  auto type = TTypeV4::Create(id);
  type->Name = name;
  type->MBusID = mbusId;
  for (int i = 0; i < inputNames.size(); ++i) {
    auto reg = std::make_unique<TPomRegV4>();
    reg->IDReg = i + 1;
    reg->Register = static_cast<quint32>(100 + 2 * i);
    reg->RegCount = 1;
    reg->RegType = RegTypeUINT16;
    reg->StatReg = 0;
    reg->Name = inputNames[i];
    reg->PhUnit = QStringLiteral("V");
    reg->PointValue = 10;
    type->AddInReg(std::move(reg));
  }
  for (int i = 0; i < outputs; ++i) {
    auto reg = std::make_unique<TOutRegV4>();
    reg->IDReg = i + 1;
    reg->Register = 200 + i;
    type->AddOutReg(std::move(reg));
  }
  return type;
}

// Records every store call as one line ("op detail") in call order. An
// operation named in FailOps answers -1 but is still recorded, so a test sees
// that the caller went on after the failure.
class TFakeStore : public TmainDBoper {
 public:
  QStringList Calls;
  QSet<QString> FailOps;
  bool* StoppedFlag = nullptr;

  int StoreParam(const QString& name, qint64 value) override
  {
    return Record(QStringLiteral("param"), QStringLiteral("%1=%2").arg(name).arg(value));
  }
  int StoreDefinition(const QString& name, const QString&) override
  {
    return Record(QStringLiteral("definition"), name);
  }
  int StoreUnit(const TUnitV4& unit) override
  {
    return Record(QStringLiteral("unit"), QString::number(unit.Id));
  }
  int StoreInUnit(const TInUnitV4& channel) override
  {
    return Record(QStringLiteral("in"), QString::number(channel.LogId));
  }
  int StoreOutUnit(const TOutUnitV4& channel) override
  {
    return Record(QStringLiteral("out"), QString::number(channel.LogId));
  }
  int StoreAlarmOutput(qint32 unitId, qint32 alarmOutputId, const QString& text) override
  {
    LastAlarmOutputText = text;
    return Record(QStringLiteral("alarmOutput"),
                  QStringLiteral("%1/%2").arg(unitId).arg(alarmOutputId));
  }
  int InsertGroup(const TGroup& group) override
  {
    return Record(QStringLiteral("insertGroup"), QString::number(group.Id));
  }
  int UpdateGroup(const TGroup& group) override
  {
    return Record(QStringLiteral("updateGroup"), QString::number(group.Id));
  }
  // Marks the membership stored on success, as the store contract says.
  int InsertGroupMember(TDevGroup& member) override
  {
    const int rc = Record(QStringLiteral("insertMember"), MemberKey(member));
    if (rc == 0)
      member.IsNew = false;
    return rc;
  }
  int DeleteGroupMember(const TDevGroup& member) override
  {
    return Record(QStringLiteral("deleteMember"), MemberKey(member));
  }
  int DeleteGroupRow(const TGroup& group) override
  {
    return Record(QStringLiteral("deleteGroup"), QString::number(group.Id));
  }
  void Stop() override
  {
    if (StoppedFlag != nullptr)
      *StoppedFlag = true;
  }

  QString LastAlarmOutputText;

 private:
  static QString MemberKey(const TDevGroup& member)
  {
    return QStringLiteral("%1/%2")
        .arg(member.Group != nullptr ? member.Group->Id : -1)
        .arg(member.LogId);
  }
  int Record(const QString& op, const QString& detail)
  {
    Calls << op + QLatin1Char(' ') + detail;
    return FailOps.contains(op) ? -1 : 0;
  }
};

}  // namespace fixtures
