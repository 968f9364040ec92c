#include "model/DevUnitV4.h"

#include "app/dateTimeDouble.h"
#include "app/textFormat.h"
#include "app/translation.h"
#include "comm/MBMaster.h"
#include "comm/RegAsk.h"
#include "model/alarmUnitXMLstor.h"
#include "model/alarms.h"
#include "storage/mainDBoper.h"

#include <QDateTime>

double NowDayCount()
{
  const QDateTime now = QDateTime::currentDateTime();
  return DateTimeToDouble(now.date(), now.time());
}

namespace {

bool IsValueCode(qint32 code)
{
  return RegisterCountOf(code) > 0 && code != RegTypeStatus && code != RegTypePoint;
}

}  // namespace

// ---------------------------------------------------------------------------
// TInUnitStateV4

TInUnitStateV4::TInUnitStateV4(qint32 index, const TPomRegV4& regDef)
    : Requests(std::make_unique<TRegGroups>())
{
  Index = index;
  TRegGroup* values = Requests->AddGroup();
  values->AddReg(static_cast<quint16>(regDef.Register), regDef.RegCount, regDef.RegType);
  if (regDef.StatReg > 0)
    values->AddReg(static_cast<quint16>(regDef.StatReg), 1, RegTypeStatus);
  if (!regDef.IsProgPoint) {
    TRegGroup* point = Requests->AddGroup();
    point->AddReg(static_cast<quint16>(regDef.PointReg), 1, RegTypePoint);
  }
}

TInUnitStateV4::~TInUnitStateV4() = default;

// ---------------------------------------------------------------------------
// TInUnitV4

TInUnitV4::TInUnitV4(TUnitV4* unit, const TPomRegV4* regDef)
    : TPomRegV4(*regDef), RegDef(regDef), Unit(unit), m_alarmMaker(std::make_unique<TalarmMaker>())
{
  Name = unit != nullptr ? Format(QStringLiteral("%s (%d)"), {regDef->Name, unit->Id})
                         : regDef->Name;
  m_states.push_back(std::make_unique<TInUnitStateV4>(0, *regDef));
}

TInUnitV4::~TInUnitV4() = default;

TInUnitStateV4* TInUnitV4::FindStateLocked(qint32 index) const
{
  for (const auto& state : m_states) {
    if (state->Index == index)
      return state.get();
  }
  return nullptr;
}

bool TInUnitV4::AddState(qint32 index)
{
  std::lock_guard lock(m_mutex);
  if (FindStateLocked(index) != nullptr)
    return false;
  m_states.push_back(std::make_unique<TInUnitStateV4>(index, *RegDef));
  return true;
}

void TInUnitV4::RemoveState(qint32 index)
{
  std::lock_guard lock(m_mutex);
  for (auto it = m_states.begin(); it != m_states.end(); ++it) {
    if ((*it)->Index == index) {
      m_states.erase(it);
      return;
    }
  }
}

bool TInUnitV4::HasState(qint32 index) const
{
  std::lock_guard lock(m_mutex);
  return FindStateLocked(index) != nullptr;
}

bool TInUnitV4::ReadState(qint32 index, TStateValues& out) const
{
  std::lock_guard lock(m_mutex);
  const TInUnitStateV4* state = FindStateLocked(index);
  if (state == nullptr)
    return false;
  out = *state;
  return true;
}

template <typename T, typename Get>
T TInUnitV4::StateField(qint32 index, T neutral, Get get) const
{
  std::lock_guard lock(m_mutex);
  const TInUnitStateV4* s = FindStateLocked(index);
  return s != nullptr ? get(*s) : neutral;
}

double TInUnitV4::StateValue(qint32 index) const
{
  return StateField(index, 0.0, [](const TStateValues& s) { return s.Value; });
}

qint32 TInUnitV4::StateErrCode(qint32 index) const
{
  return StateField(index, 0, [](const TStateValues& s) { return s.ErrCode; });
}

double TInUnitV4::StateTime(qint32 index) const
{
  return StateField(index, 0.0, [](const TStateValues& s) { return s.Time; });
}

qint32 TInUnitV4::StateMeasId(qint32 index) const
{
  return StateField(index, 0, [](const TStateValues& s) { return s.MeasId; });
}

qint32 TInUnitV4::StateErrId(qint32 index) const
{
  return StateField(index, 0, [](const TStateValues& s) { return s.ErrId; });
}

qint32 TInUnitV4::StatePrevErrCode(qint32 index) const
{
  return StateField(index, 0, [](const TStateValues& s) { return s.PrevErrCode; });
}

double TInUnitV4::StatePrevErrBeginTime(qint32 index) const
{
  return StateField(index, 0.0, [](const TStateValues& s) { return s.PrevErrBeginTime; });
}

qint32 TInUnitV4::StatePrevErrId(qint32 index) const
{
  return StateField(index, 0, [](const TStateValues& s) { return s.PrevErrId; });
}

int TInUnitV4::SetStateMeasId(qint32 index, qint32 id)
{
  std::lock_guard lock(m_mutex);
  TInUnitStateV4* s = FindStateLocked(index);
  if (s == nullptr)
    return -1;
  s->MeasId = id;
  return 0;
}

int TInUnitV4::SetStateErrId(qint32 index, qint32 id)
{
  std::lock_guard lock(m_mutex);
  TInUnitStateV4* s = FindStateLocked(index);
  if (s == nullptr)
    return -1;
  s->ErrId = id;
  return 0;
}

TRegGroup* TInUnitV4::FirstRequestGroup(int& cursor, qint32 index)
{
  cursor = -1;
  return NextRequestGroup(cursor, index);
}

TRegGroup* TInUnitV4::NextRequestGroup(int& cursor, qint32 index)
{
  std::lock_guard lock(m_mutex);
  TInUnitStateV4* s = FindStateLocked(index);
  if (s == nullptr)
    return nullptr;
  return s->Requests->NextGroup(cursor);
}

void TInUnitV4::UpdateFromRequests(qint32 index)
{
  std::lock_guard lock(m_mutex);
  TInUnitStateV4* state = FindStateLocked(index);
  if (state == nullptr)
    return;

  double divisor = (IsProgPoint || index == 1) ? static_cast<double>(PointValue) : 1.0;
  SnapshotLocked(*state);
  state->Value = 0;
  state->ErrCode = 0;
  state->MeasId = -1;

  // No answer at all is reported like a time-out, for the logger state too.
  int outcome = -1;
  // The value counts as read only when its own request was answered with
  // valid data; only then is it scaled and checked, whatever status the
  // requests after it ended with.
  bool valueRead = false;
  bool valueRefused = false;
  int groupCursor = -1;
  int regCursor = -1;
  for (TRegToAsk* req = state->Requests->FirstReg(groupCursor, regCursor); req != nullptr;
       req = state->Requests->NextReg(groupCursor, regCursor)) {
    if (!req->Answered) {
      // The logger download fills only the value request of the logger
      // state, never its status or point request; reporting those as no
      // answer would turn every logged value of such a channel into -1. So
      // for that state the walk just ends, keeping what was read so far
      // (still -1 when not even the value was answered).
      if (index != 1)
        outcome = -1;
      break;
    }
    req->ClearAnswered();
    state->Time = req->Time;
    outcome = req->Status;
    if (outcome != mbASK_done && outcome != mbANS_exception)
      break;
    const quint16 word = req->Values.empty() ? 0 : req->Values.front();
    if (req->Kind == RegTypeStatus) {
      state->ErrCode = static_cast<qint32>(word & static_cast<quint32>(StatRegM));
    } else if (req->Kind == RegTypePoint) {
      if (outcome == mbANS_exception) {
        state->ErrCode = static_cast<qint32>(word);
      } else {
        qint32 pointValue = PointValue;
        // A point word beyond 9 decimals cannot be a divisor: the poll is
        // treated as a communication error, the previous decimals stay.
        if (PointDivisor(word, pointValue)) {
          PointValue = pointValue;
          divisor = pointValue;
        } else {
          state->ErrCode = ErrCodeCommError;
        }
      }
    } else if (IsValueCode(req->Kind) || req->Kind == RegTypeUnknownIn) {
      if (outcome == mbANS_exception) {
        state->ErrCode = ExceptionWordCode(req->Kind, word);
        valueRefused = true;
      } else if (IsValueCode(req->Kind)) {
        double value = 0;
        if (DecodeRegisters(req->Kind, req->Values.data(), static_cast<int>(req->Values.size()),
                            value)) {
          state->Value = value;
          valueRead = true;
        } else {
          // A short answer is a broken request, not a device code. Ending the
          // walk as for a failed request keeps a following zero status word
          // from clearing it into a valid zero.
          outcome = mbASK_error;
          break;
        }
      } else {
        valueRead = true;  // unknown type: answered, but no number to decode
      }
    }
  }

  switch (outcome) {
    case -1:
    case mbASK_timeout:
      state->ErrCode = ErrCodeNoAnswer;
      break;
    case mbASK_error:
    case mbANS_crcError:
      state->ErrCode = ErrCodeCommError;
      break;
    case mbASK_done:
    case mbANS_exception:
      break;
    default:
      // A status the adapter does not define carries no value: reporting
      // the zero left in Value as valid would falsify the measurement.
      state->ErrCode = ErrCodeCommError;
      break;
  }
  // A value the device refused stays an error even when a zero status word
  // (or a zero error word) cleared the code: its zero is not a measurement.
  if (valueRefused && !valueRead && state->ErrCode == 0)
    state->ErrCode = ErrCodeCommError;
  if (valueRead && state->ErrCode == 0) {
    state->Value = ScaleValue(state->Value, RegDef->Multiplier, divisor);
    CheckLimits(state->Value, Min, Max, state->ErrCode);
  }
  if (state->ErrCode != 0 && state->ErrCode != state->PrevErrCode)
    state->ErrBeginTime = state->Time;
}

void TInUnitV4::CheckReceivedLocked(TInUnitStateV4& state) const
{
  if (state.ErrCode == 0)
    CheckLimits(state.Value, Min, Max, state.ErrCode);
  if (state.ErrCode != 0 && state.ErrCode != state.PrevErrCode)
    state.ErrBeginTime = state.Time;
}

void TInUnitV4::SnapshotLocked(TInUnitStateV4& state)
{
  state.PrevTime = state.Time;
  state.PrevErrCode = state.ErrCode;
  state.PrevValue = state.Value;
  state.PrevErrBeginTime = state.ErrBeginTime;
  state.PrevMeasId = state.MeasId;
  state.PrevErrId = state.ErrId;
}

TStateValues TInUnitV4::SetReceived(qint32 index, double time, double value, qint32 errCode)
{
  std::lock_guard lock(m_mutex);
  TInUnitStateV4* state = FindStateLocked(index);
  if (state == nullptr)
    return {};
  state->Time = time;
  state->Value = value;
  state->ErrCode = errCode;
  CheckReceivedLocked(*state);
  return *state;
}

void TInUnitV4::CheckReceived(qint32 index)
{
  std::lock_guard lock(m_mutex);
  if (TInUnitStateV4* state = FindStateLocked(index))
    CheckReceivedLocked(*state);
}

void TInUnitV4::Snapshot(qint32 index)
{
  std::lock_guard lock(m_mutex);
  if (TInUnitStateV4* state = FindStateLocked(index))
    SnapshotLocked(*state);
}

TChannelStat TInUnitV4::Stat() const
{
  std::lock_guard lock(m_mutex);
  return m_stat;
}

void TInUnitV4::SetStat(const TChannelStat& stat)
{
  std::lock_guard lock(m_mutex);
  m_stat = stat;
}

void TInUnitV4::AddToStat(double value)
{
  std::lock_guard lock(m_mutex);
  m_stat.StatMin = std::min(m_stat.StatMin, value);
  m_stat.StatMax = std::max(m_stat.StatMax, value);
  m_stat.StatSum += value;
  ++m_stat.StatCount;
}

void TInUnitV4::RaiseBoundAlarms(TalarmsList& alarms) const
{
  const qint32 code = StateErrCode(0);
  if (code == 0)
    return;
  for (qint32 id : m_alarmMaker->AlarmsFor(code))
    alarms.Raise(id);
}

// ---------------------------------------------------------------------------
// Outputs

TOutUnitV4::TOutUnitV4(TUnitV4* unit, const TOutRegV4* regDef) : TOutRegV4(*regDef), Unit(unit)
{
  if (unit != nullptr && unit->UnitType != nullptr) {
    Name = Format(QStringLiteral("%s (%d) "), {unit->UnitType->Name, unit->Id}) +
           Tr("(output)");
  }
}

TAlarmUnitV4::TAlarmUnitV4(TUnitV4* unit, int n, qint32 outNo) : Unit(unit), OutNo(outNo)
{
  const QString unitName = TUnitV4::DefaultName(*unit->UnitType, unit->Id);
  Name = n < 0 ? unitName : Format(QStringLiteral("%s-%d "), {unitName, n}) + Tr("(alarm)");
}

void TAlarmUnitV4::ComputeRequired(const TalarmsList& alarms)
{
  ReqValue = TalarmModes::ComputeRequired(AlarmModes, alarms);
}

TOtherV4::TOtherV4(const TOtherRegV4& def)
{
  Id = def.Id;
  Name = def.Name;
  Register = def.Register;
  IsValList = def.IsValList;
  MinValue = def.MinValue;
  MaxValue = def.MaxValue;
  for (const auto& el : def.ValList)
    ValList.push_back(std::make_unique<TValListElV4>(*el));
}

// ---------------------------------------------------------------------------
// TUnitV4

TUnitV4::TUnitV4(TmainDBoper* store, qint32 mbAddr, qint32 id, const TTypeV4* unitType)
    : Store(store),
      AddDate(NowDayCount()),
      Id(id),
      TypeId(unitType != nullptr ? unitType->Id : -1),
      UnitType(unitType),
      MBAddr(mbAddr)
{
  Q_ASSERT(unitType != nullptr);
  Name = DefaultName(*unitType, id);
  BuildChannels();
}

TUnitV4::~TUnitV4() = default;

QString TUnitV4::DefaultName(const TTypeV4& type, qint32 id)
{
  return Format(QStringLiteral("%s (%d)"), {type.Name, id});
}

void TUnitV4::BuildChannels()
{
  for (const auto& reg : UnitType->InRegs())
    m_inUnits.push_back(std::make_unique<TInUnitV4>(this, reg.get()));
  for (const auto& reg : UnitType->OutRegs())
    m_outUnits.push_back(std::make_unique<TOutUnitV4>(this, reg.get()));
  for (const auto& reg : UnitType->OtherRegs())
    m_otherUnits.push_back(std::make_unique<TOtherV4>(*reg));

  // Signalling devices: their alarm outputs are known by type number.
  if (UnitType->Id == 8 || UnitType->Id == 12) {
    auto output = std::make_unique<TAlarmUnitV4>(this, -1, 1);
    const std::pair<qint32, const char*> modes[] = {
        {0, TrNoop("none")},       {1, TrNoop("LED")},   {2, TrNoop("very short")},
        {32, TrNoop("short")},     {64, TrNoop("long")}, {128, TrNoop("very long")},
        {255, TrNoop("continous")}};
    for (const auto& [value, text] : modes)
      output->Modes.push_back({value, Tr(text)});
    m_alarmUnits.push_back(std::move(output));
  } else if (UnitType->Id == 68) {
    for (int n = 1; n <= 8; ++n) {
      auto output = std::make_unique<TAlarmUnitV4>(this, n, n);
      output->Modes.push_back({0, Tr("none")});
      output->Modes.push_back({1, Tr("active")});
      m_alarmUnits.push_back(std::move(output));
    }
  }
}

TInUnitV4* TUnitV4::FirstInUnit(int& cursor, bool withDeleted, bool withDisabled) const
{
  cursor = -1;
  return NextInUnit(cursor, withDeleted, withDisabled);
}

TInUnitV4* TUnitV4::NextInUnit(int& cursor, bool withDeleted, bool withDisabled) const
{
  const int count = static_cast<int>(m_inUnits.size());
  while (++cursor < count) {
    TInUnitV4* channel = m_inUnits[static_cast<size_t>(cursor)].get();
    if ((withDeleted || !channel->Deleted) && (withDisabled || !channel->Disabled()))
      return channel;
  }
  cursor = count;
  return nullptr;
}

TOutUnitV4* TUnitV4::FirstOutUnit(int& cursor, bool withDeleted) const
{
  cursor = -1;
  return NextOutUnit(cursor, withDeleted);
}

TOutUnitV4* TUnitV4::NextOutUnit(int& cursor, bool withDeleted) const
{
  const int count = static_cast<int>(m_outUnits.size());
  while (++cursor < count) {
    TOutUnitV4* channel = m_outUnits[static_cast<size_t>(cursor)].get();
    if (withDeleted || !channel->Deleted)
      return channel;
  }
  cursor = count;
  return nullptr;
}

TAlarmUnitV4* TUnitV4::FirstAlarmUnit(int& cursor) const
{
  cursor = -1;
  return NextAlarmUnit(cursor);
}

TAlarmUnitV4* TUnitV4::NextAlarmUnit(int& cursor) const
{
  const int count = static_cast<int>(m_alarmUnits.size());
  if (++cursor < count)
    return m_alarmUnits[static_cast<size_t>(cursor)].get();
  cursor = count;
  return nullptr;
}

TInUnitV4* TUnitV4::FindInUnitByIDReg(qint32 idReg) const
{
  for (const auto& channel : m_inUnits) {
    if (channel->IDReg == idReg)
      return channel.get();
  }
  return nullptr;
}

TInUnitV4* TUnitV4::FindInUnitByRegister(quint32 reg) const
{
  for (const auto& channel : m_inUnits) {
    if (channel->Register == reg)
      return channel.get();
  }
  return nullptr;
}

TOutUnitV4* TUnitV4::FindOutUnitByIDReg(qint32 idReg) const
{
  for (const auto& channel : m_outUnits) {
    if (channel->IDReg == idReg)
      return channel.get();
  }
  return nullptr;
}

int TUnitV4::ChannelKind(const void* channel) const
{
  for (const auto& in : m_inUnits) {
    if (in.get() == channel)
      return in->Deleted ? -1 : 1;
  }
  for (const auto& out : m_outUnits) {
    if (out.get() == channel)
      return out->Deleted ? -1 : 2;
  }
  for (const auto& alarm : m_alarmUnits) {
    if (alarm.get() == channel)
      return 3;
  }
  return -1;
}

void TUnitV4::MarkDeleted()
{
  if (!DelFlag) {
    DelDate = NowDayCount();
    DelFlag = true;
  }
  for (const auto& channel : m_inUnits)
    channel->Deleted = true;
  for (const auto& channel : m_outUnits)
    channel->Deleted = true;
}

QString TUnitV4::TypeName() const { return UnitType != nullptr ? UnitType->Name : QString(); }

int TUnitV4::Save()
{
  if (Store == nullptr)
    return -1;
  bool failed = Store->StoreUnit(*this) != 0;
  for (const auto& channel : m_inUnits)
    failed |= Store->StoreInUnit(*channel) != 0;
  for (const auto& channel : m_outUnits)
    failed |= Store->StoreOutUnit(*channel) != 0;
  for (const auto& output : m_alarmUnits) {
    const QString text = TalarmUnitXMLstor::Write(output->LogId, output->AlarmModes);
    failed |= Store->StoreAlarmOutput(Id, output->LogId, text) != 0;
  }
  return failed ? -1 : 0;
}
