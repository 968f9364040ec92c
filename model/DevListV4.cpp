#include "model/DevListV4.h"

#include "app/cmdParms.h"
#include "model/TypeListV4.h"
#include "model/typeXMLstor.h"
#include "model/alarms.h"
#include "model/alarmUnitXMLstor.h"
#include "storage/mainDBoper.h"
#include "storage/mainDBxml.h"

#include <algorithm>

void TParams::CopyValuesFrom(const TParams& other)
{
  COMPort = other.COMPort;
  MesureTime = other.MesureTime;
  MesureBaseTime = other.MesureBaseTime;
  TCPServerPort = other.TCPServerPort;
  WasInstall = other.WasInstall;
  ChartPeriod = other.ChartPeriod;
  BaudRate = other.BaudRate;
  TimeOut = other.TimeOut;
  RepOptions = other.RepOptions;
}

// ---------------------------------------------------------------------------
// TUnitListV4

TUnitListV4::TUnitListV4(TmainDBoper* store, TTypeListV4* typeList)
    : Store(store), TypeList(typeList)
{
}

TUnitListV4::~TUnitListV4() = default;

TUnitV4* TUnitListV4::FirstUnit(int& cursor, bool withDeleted) const
{
  cursor = -1;
  return NextUnit(cursor, withDeleted);
}

TUnitV4* TUnitListV4::NextUnit(int& cursor, bool withDeleted) const
{
  const int count = Count();
  while (++cursor < count) {
    TUnitV4* unit = m_units[static_cast<size_t>(cursor)].get();
    if (withDeleted || !unit->DelFlag)
      return unit;
  }
  cursor = count;
  return nullptr;
}

TUnitV4* TUnitListV4::UnitAt(int cursor) const
{
  return cursor >= 0 && cursor < Count() ? m_units[static_cast<size_t>(cursor)].get() : nullptr;
}

void TUnitListV4::NumberChannels(TUnitV4& unit)
{
  int cursor = -1;
  for (TInUnitV4* in = unit.FirstInUnit(cursor, false, true); in != nullptr;
       in = unit.NextInUnit(cursor, false, true))
    in->LogId = ++LastLogId;
  for (TOutUnitV4* out = unit.FirstOutUnit(cursor, false); out != nullptr;
       out = unit.NextOutUnit(cursor, false))
    out->LogId = ++LastLogId;
  for (TAlarmUnitV4* alarm = unit.FirstAlarmUnit(cursor); alarm != nullptr;
       alarm = unit.NextAlarmUnit(cursor))
    alarm->LogId = ++LastAlarmLogId;
}

TUnitV4* TUnitListV4::AddUnit(const TTypeV4* unitType, qint32 mbAddr, qint32 id)
{
  if (unitType == nullptr)
    return nullptr;
  auto unit = std::make_unique<TUnitV4>(Store, mbAddr, id, unitType);
  if (id >= NextFreeId)
    NextFreeId = id + 1;
  NumberChannels(*unit);
  ++NextUnitId;
  ++NextFreeId;
  m_units.push_back(std::move(unit));
  return m_units.back().get();
}

TUnitV4* TUnitListV4::AddDetectedUnit(qint32 devId, qint32 mbAddr)
{
  if (TypeList == nullptr)
    return nullptr;
  const TTypeV4* type = TypeList->FindTypeByMBusID(static_cast<quint16>(devId & 0xFFFF));
  return type != nullptr ? AddUnit(type, mbAddr, NextUnitId) : nullptr;
}

TUnitV4* TUnitListV4::AppendUnit(std::unique_ptr<TUnitV4> unit)
{
  if (!unit)
    return nullptr;
  unit->Id = NextUnitId;
  NumberChannels(*unit);
  ++NextUnitId;
  m_units.push_back(std::move(unit));
  return m_units.back().get();
}

std::unique_ptr<TUnitV4> TUnitListV4::TakeUnit(TUnitV4* unit)
{
  auto it = std::find_if(m_units.begin(), m_units.end(),
                         [unit](const auto& item) { return item.get() == unit; });
  if (it == m_units.end())
    return nullptr;
  std::unique_ptr<TUnitV4> taken = std::move(*it);
  m_units.erase(it);
  return taken;
}

TUnitV4* TUnitListV4::FindUnitById(qint32 id) const
{
  for (auto it = m_units.rbegin(); it != m_units.rend(); ++it) {
    if ((*it)->Id == id)
      return it->get();
  }
  return nullptr;
}

TUnitV4* TUnitListV4::FindUnitByMBAddr(qint32 addr) const
{
  const qint32 address = addr & 0xFF;
  for (auto it = m_units.rbegin(); it != m_units.rend(); ++it) {
    // Only the low 8 bits of an address reach the bus.
    if (((*it)->MBAddr & 0xFF) == address)
      return it->get();
  }
  return nullptr;
}

TInUnitV4* TUnitListV4::FindInUnit(qint32 logId) const
{
  for (const auto& unit : m_units) {
    if (unit->DelFlag)
      continue;
    for (const auto& channel : unit->InUnits()) {
      if (channel->LogId == logId)
        return channel.get();
    }
  }
  return nullptr;
}

QHash<qint32, TInUnitV4*> TUnitListV4::InUnitIndex() const
{
  QHash<qint32, TInUnitV4*> index;
  for (const auto& unit : m_units) {
    if (unit->DelFlag)
      continue;
    for (const auto& channel : unit->InUnits()) {
      if (!index.contains(channel->LogId))  // a later duplicate must not win
        index.insert(channel->LogId, channel.get());
    }
  }
  return index;
}

TInUnitV4* TUnitListV4::FirstChannel(int& unitCursor, int& chanCursor, bool withDisabled,
                                     bool withDeleted) const
{
  unitCursor = -1;
  chanCursor = -1;
  if (FirstUnit(unitCursor, false) == nullptr)
    return nullptr;
  chanCursor = -1;
  return NextChannel(unitCursor, chanCursor, withDisabled, withDeleted);
}

TInUnitV4* TUnitListV4::NextChannel(int& unitCursor, int& chanCursor, bool withDisabled,
                                    bool withDeleted) const
{
  for (TUnitV4* unit = UnitAt(unitCursor); unit != nullptr;
       unit = NextUnit(unitCursor, false), chanCursor = -1) {
    if (unit->DelFlag)
      continue;
    if (TInUnitV4* channel = unit->NextInUnit(chanCursor, withDeleted, withDisabled))
      return channel;
  }
  return nullptr;
}

TAlarmUnitV4* TUnitListV4::FirstAlarmOutput(int& unitCursor, int& chanCursor) const
{
  unitCursor = -1;
  chanCursor = -1;
  if (FirstUnit(unitCursor, false) == nullptr)
    return nullptr;
  return NextAlarmOutput(unitCursor, chanCursor);
}

TAlarmUnitV4* TUnitListV4::NextAlarmOutput(int& unitCursor, int& chanCursor) const
{
  for (TUnitV4* unit = UnitAt(unitCursor); unit != nullptr;
       unit = NextUnit(unitCursor, false), chanCursor = -1) {
    if (unit->DelFlag)
      continue;
    if (TAlarmUnitV4* output = unit->NextAlarmUnit(chanCursor))
      return output;
  }
  return nullptr;
}

int TUnitListV4::SaveAll()
{
  bool failed = false;
  for (const auto& unit : m_units)
    failed |= unit->Save() != 0;
  return failed ? -1 : 0;
}

void TUnitListV4::Clear()
{
  for (auto& unit : m_units)
    m_parked.push_back(std::move(unit));
  m_units.clear();
  NextFreeId = 1;
}

void TUnitListV4::PurgeAlarmBindings(const TalarmsList& alarms)
{
  for (const auto& unit : m_units) {
    for (const auto& channel : unit->InUnits()) {
      if (channel->AlarmMaker().Purge(alarms) && Store != nullptr)
        Store->StoreInUnit(*channel);
    }
    bool outputsChanged = false;
    for (const auto& output : unit->AlarmUnits())
      outputsChanged |= TalarmModes::Purge(output->AlarmModes, alarms);
    if (outputsChanged && Store != nullptr) {
      for (const auto& output : unit->AlarmUnits())
        Store->StoreAlarmOutput(unit->Id, output->LogId,
                                TalarmUnitXMLstor::Write(output->LogId, output->AlarmModes));
    }
  }
}

void TUnitListV4::RaiseCounters()
{
  for (const auto& unit : m_units) {
    NextUnitId = std::max(NextUnitId, unit->Id + 1);
    for (const auto& in : unit->InUnits())
      LastLogId = std::max(LastLogId, in->LogId);
    for (const auto& out : unit->OutUnits())
      LastLogId = std::max(LastLogId, out->LogId);
    for (const auto& alarm : unit->AlarmUnits())
      LastAlarmLogId = std::max(LastAlarmLogId, alarm->LogId);
  }
}

void TUnitListV4::TakeOver(TUnitListV4& staged)
{
  for (auto& unit : m_units)
    m_parked.push_back(std::move(unit));
  m_units = std::move(staged.m_units);
  staged.m_units.clear();
  for (auto& unit : m_units)
    unit->Store = Store;
  LastLogId = staged.LastLogId;
  LastAlarmLogId = staged.LastAlarmLogId;
  NextUnitId = staged.NextUnitId;
  NextFreeId = staged.NextFreeId;
}

// ---------------------------------------------------------------------------
// TGroup

TGroup::TGroup(TGroups* owner, qint32 id, const QString& name)
    : Owner(owner), Store(owner->Store), Units(owner->Units), Id(id), Name(name)
{
}

TGroup::~TGroup() = default;

TDevGroup* TGroup::MemberAt(int index) const
{
  return index >= 0 && index < MemberCount() ? m_members[static_cast<size_t>(index)].get()
                                             : nullptr;
}

TDevGroup* TGroup::AddMember(TInUnitV4* channel)
{
  if (channel == nullptr)
    return nullptr;
  auto member = std::make_unique<TDevGroup>();
  member->Index = MemberCount();
  member->Group = this;
  member->LogId = channel->LogId;
  member->Channel = channel;
  m_members.push_back(std::move(member));
  return m_members.back().get();
}

TDevGroup* TGroup::FindMember(const TInUnitV4* channel) const
{
  if (channel == nullptr)
    return nullptr;
  for (const auto& member : m_members) {
    if (member->LogId == channel->LogId)
      return member.get();
  }
  return nullptr;
}

int TGroup::RemoveMember(const TInUnitV4* channel)
{
  bool failed = false;
  for (auto it = m_members.begin(); it != m_members.end();) {
    if ((*it)->Channel == channel) {
      if (!(*it)->IsNew && Store != nullptr)
        failed |= Store->DeleteGroupMember(**it) != 0;
      it = m_members.erase(it);
    } else {
      ++it;
    }
  }
  for (int i = 0; i < MemberCount(); ++i)
    m_members[static_cast<size_t>(i)]->Index = i;
  return failed ? -1 : 0;
}

TInUnitV4* TGroup::FirstMember(int& cursor, bool withDeleted, bool withDisabled) const
{
  cursor = -1;
  return NextMember(cursor, withDeleted, withDisabled);
}

TInUnitV4* TGroup::NextMember(int& cursor, bool withDeleted, bool withDisabled) const
{
  const int count = MemberCount();
  while (++cursor < count) {
    TInUnitV4* channel = m_members[static_cast<size_t>(cursor)]->Channel;
    if (channel == nullptr)
      continue;
    if ((withDeleted || !channel->Deleted) && (withDisabled || !channel->Disabled()))
      return channel;
  }
  cursor = count;
  return nullptr;
}

int TGroup::Save()
{
  if (Store == nullptr)
    return -1;
  bool failed = false;
  if (IsNew) {
    if (Store->InsertGroup(*this) == 0)
      IsNew = false;
    else
      failed = true;
  } else {
    failed |= Store->UpdateGroup(*this) != 0;
  }
  // Members of a group whose row is missing would point at nothing.
  if (!IsNew) {
    for (const auto& member : m_members) {
      if (member->IsNew)
        failed |= Store->InsertGroupMember(*member) != 0;
    }
  }
  return failed ? -1 : 0;
}

// ---------------------------------------------------------------------------
// TGroups

TGroups::TGroups(TmainDBoper* store, TUnitListV4* units) : Store(store), Units(units) {}

TGroups::~TGroups() = default;

TGroup* TGroups::FirstGroup(int& cursor) const
{
  cursor = -1;
  return NextGroup(cursor);
}

TGroup* TGroups::NextGroup(int& cursor) const
{
  const int count = Count();
  if (++cursor < count)
    return m_groups[static_cast<size_t>(cursor)].get();
  cursor = count;
  return nullptr;
}

TGroup* TGroups::FindGroup(qint32 id) const
{
  for (const auto& group : m_groups) {
    if (group->Id == id)
      return group.get();
  }
  return nullptr;
}

TGroup* TGroups::AddGroupAuto(const QString& name)
{
  return AddGroupWithId(name, LastGroupId + 1);
}

TGroup* TGroups::AddGroupWithId(const QString& name, qint32 id)
{
  m_groups.push_back(std::make_unique<TGroup>(this, id, name));
  LastGroupId = std::max(LastGroupId, id);
  return m_groups.back().get();
}

int TGroups::DeleteGroup(TGroup* group)
{
  auto it = std::find_if(m_groups.begin(), m_groups.end(),
                         [group](const auto& item) { return item.get() == group; });
  if (it == m_groups.end())
    return -1;
  bool failed = false;
  if (Store != nullptr) {
    for (const auto& member : group->m_members) {
      if (!member->IsNew)
        failed |= Store->DeleteGroupMember(*member) != 0;
    }
    if (!group->IsNew)
      failed |= Store->DeleteGroupRow(*group) != 0;
  }
  m_parked.push_back(std::move(*it));
  m_groups.erase(it);
  return failed ? -1 : 0;
}

void TGroups::PurgeDeletedChannels()
{
  for (const auto& group : m_groups) {
    std::vector<TInUnitV4*> deleted;
    for (const auto& member : group->m_members) {
      if (member->Channel != nullptr && member->Channel->Deleted)
        deleted.push_back(member->Channel);
    }
    for (TInUnitV4* channel : deleted)
      group->RemoveMember(channel);
  }
}

void TGroups::Clear()
{
  for (auto& group : m_groups)
    m_parked.push_back(std::move(group));
  m_groups.clear();
  LastGroupId = 0;
}

void TGroups::TakeOver(TGroups& staged)
{
  for (auto& group : m_groups)
    m_parked.push_back(std::move(group));
  m_groups = std::move(staged.m_groups);
  staged.m_groups.clear();
  for (auto& group : m_groups) {
    group->Owner = this;
    group->Store = Store;
    group->Units = Units;
  }
  LastGroupId = staged.LastGroupId;
}

// ---------------------------------------------------------------------------
// TMainDBParamsV4

TMainDBParamsV4::TMainDBParamsV4(TTypeListV4* typeList, const TcmdParms* cmdParms,
                                 std::unique_ptr<TmainDBoper> store)
    : BasesDir(cmdParms != nullptr ? cmdParms->BasesDir : TcmdParms::DefaultBasesDir()),
      TypeList(typeList),
      CmdParms(cmdParms),
      m_store(store ? std::move(store) : std::make_unique<TmainDB>())
{
  m_settings = std::make_unique<TParams>(m_store.get(), cmdParms);
  m_units = std::make_unique<TUnitListV4>(m_store.get(), typeList);
  m_newUnits = std::make_unique<TUnitListV4>(m_store.get(), typeList);
  m_groups = std::make_unique<TGroups>(m_store.get(), m_units.get());
  m_alarms = std::make_unique<TalarmsList>();
}

TMainDBParamsV4::~TMainDBParamsV4()
{
  StopStore();
  m_alarms.reset();
  m_groups.reset();
  m_newUnits.reset();
  m_units.reset();
  m_settings.reset();
  m_store.reset();
}

int TMainDBParamsV4::LoadTypeDocument(const QByteArray& document, QString* error)
{
  TTypeListV4 staged;
  TtypeXMLstor reader;
  if (reader.Load(document, staged) != 0) {
    if (error != nullptr)
      *error = reader.LastError();
    return -1;
  }
  auto lock = WriteLock();
  TypeList->Append(std::move(staged));
  return 0;
}

void TMainDBParamsV4::StopStore()
{
  if (m_store)
    m_store->Stop();
}
