#include "model/alarms.h"

#include <QMutexLocker>

#include <algorithm>
#include <limits>

// ---- TalarmsList ----

int TalarmsList::AddAlarm(qint32 id, const QString& name, const QString& desc)
{
  const QString trimmed = name.trimmed();
  if (trimmed.isEmpty())
    return -3;
  QMutexLocker lock(&m_mutex);
  return AddLocked(id, trimmed, desc);
}

int TalarmsList::AddAlarmAuto(const QString& name, const QString& desc)
{
  const QString trimmed = name.trimmed();
  if (trimmed.isEmpty())
    return -3;
  // Id choice and insertion under one lock: two threads adding at once must
  // not both pick MaxId + 1.
  QMutexLocker lock(&m_mutex);
  // With the id range used up MaxId + 1 would wrap onto ids already given out.
  if (m_maxId == std::numeric_limits<qint32>::max())
    return -1;
  return AddLocked(m_maxId + 1, trimmed, desc);
}

int TalarmsList::AddLocked(qint32 id, const QString& trimmedName, const QString& desc)
{
  if (m_byId.contains(id))
    return -1;
  if (m_nameIndex.contains(trimmedName))
    return -2;
  auto alarm = std::make_unique<Talarm>();
  alarm->Id = id;
  alarm->Name = trimmedName;
  alarm->Desc = desc;
  m_nameIndex.insert(trimmedName, alarm.get());
  m_byId.insert(id, alarm.get());
  m_items.push_back(std::move(alarm));
  m_maxId = std::max(m_maxId, id);
  return 0;
}

int TalarmsList::ChangeAlarm(qint32 id, const QString& name, const QString& desc)
{
  const QString trimmed = name.trimmed();
  if (trimmed.isEmpty())
    return -3;
  QMutexLocker lock(&m_mutex);
  Talarm* alarm = m_byId.value(id, nullptr);
  if (!alarm)
    return -1;
  Talarm* holder = m_nameIndex.value(trimmed, nullptr);
  if (holder && holder != alarm)
    return -2;
  m_nameIndex.remove(alarm->Name);
  alarm->Name = trimmed;
  alarm->Desc = desc;
  m_nameIndex.insert(trimmed, alarm);
  return 0;
}

int TalarmsList::DeleteAlarm(qint32 id)
{
  QMutexLocker lock(&m_mutex);
  Talarm* alarm = m_byId.value(id, nullptr);
  if (!alarm)
    return -1;
  m_nameIndex.remove(alarm->Name);
  m_byId.remove(id);
  // A deleted alarm must stop driving outputs at once, not one cycle later
  // when a binding that still names it has not been purged yet.
  m_raised.remove(id);
  m_active.remove(id);
  m_confirmed.remove(id);
  const auto it =
      std::find_if(m_items.begin(), m_items.end(),
                   [alarm](const std::unique_ptr<Talarm>& p) { return p.get() == alarm; });
  m_items.erase(it);
  return 0;
}

void TalarmsList::Clear()
{
  QMutexLocker lock(&m_mutex);
  m_nameIndex.clear();
  m_byId.clear();
  m_items.clear();
  m_maxId = -1;
  m_raised.clear();
  m_active.clear();
  m_confirmed.clear();
}

std::optional<Talarm> TalarmsList::FindAlarm(qint32 id) const
{
  QMutexLocker lock(&m_mutex);
  if (const Talarm* alarm = m_byId.value(id, nullptr))
    return *alarm;
  return std::nullopt;
}

std::optional<Talarm> TalarmsList::AlarmAt(int index) const
{
  QMutexLocker lock(&m_mutex);
  if (index < 0 || index >= static_cast<int>(m_items.size()))
    return std::nullopt;
  return *m_items[static_cast<size_t>(index)];
}

bool TalarmsList::Contains(qint32 id) const
{
  QMutexLocker lock(&m_mutex);
  return m_byId.contains(id);
}

int TalarmsList::Count() const
{
  QMutexLocker lock(&m_mutex);
  return static_cast<int>(m_items.size());
}

qint32 TalarmsList::MaxId() const
{
  QMutexLocker lock(&m_mutex);
  return m_maxId;
}

void TalarmsList::RaiseMaxId(qint32 id)
{
  QMutexLocker lock(&m_mutex);
  m_maxId = std::max(m_maxId, id);
}

QList<Talarm> TalarmsList::Alarms(qint32* maxId) const
{
  QMutexLocker lock(&m_mutex);
  QList<Talarm> result;
  result.reserve(static_cast<qsizetype>(m_items.size()));
  for (const auto& alarm : m_items)
    result.append(*alarm);
  if (maxId)
    *maxId = m_maxId;
  return result;
}

QSet<qint32> TalarmsList::Ids() const
{
  QMutexLocker lock(&m_mutex);
  QSet<qint32> ids;
  ids.reserve(m_byId.size());
  for (auto it = m_byId.cbegin(); it != m_byId.cend(); ++it)
    ids.insert(it.key());
  return ids;
}

std::optional<Talarm> TalarmsList::FirstAlarm(int& cursor) const
{
  cursor = -1;
  return NextAlarm(cursor);
}

std::optional<Talarm> TalarmsList::NextAlarm(int& cursor) const
{
  QMutexLocker lock(&m_mutex);
  const int count = static_cast<int>(m_items.size());
  if (cursor < count)
    ++cursor;
  if (cursor < 0 || cursor >= count)
    return std::nullopt;
  return *m_items[static_cast<size_t>(cursor)];
}

void TalarmsList::Raise(qint32 id)
{
  QMutexLocker lock(&m_mutex);
  m_raised.insert(id);
}

void TalarmsList::StartCycle()
{
  QMutexLocker lock(&m_mutex);
  m_raised.clear();
}

void TalarmsList::EndCycle()
{
  QMutexLocker lock(&m_mutex);
  m_active = m_raised;
  // A confirmation covers one occurrence: once the alarm clears, its next
  // occurrence must be signalled again.
  m_confirmed.intersect(m_active);
}

void TalarmsList::ConfirmAll()
{
  QMutexLocker lock(&m_mutex);
  m_confirmed = m_active;
}

bool TalarmsList::IsActiveUnconfirmed(qint32 id) const
{
  QMutexLocker lock(&m_mutex);
  return m_active.contains(id) && !m_confirmed.contains(id);
}

QSet<qint32> TalarmsList::ActiveUnconfirmed() const
{
  QMutexLocker lock(&m_mutex);
  QSet<qint32> result = m_active;
  result.subtract(m_confirmed);
  return result;
}

QSet<qint32> TalarmsList::Active() const
{
  QMutexLocker lock(&m_mutex);
  return m_active;
}

QSet<qint32> TalarmsList::Raised() const
{
  QMutexLocker lock(&m_mutex);
  return m_raised;
}

QSet<qint32> TalarmsList::Confirmed() const
{
  QMutexLocker lock(&m_mutex);
  return m_confirmed;
}

// ---- TalarmMaker ----

int TalarmMaker::Bind(qint32 code, qint32 alarmId)
{
  QMutexLocker lock(&m_mutex);
  QList<qint32>& list = m_lists[code];
  if (list.contains(alarmId))
    return -1;
  list.append(alarmId);
  return 0;
}

void TalarmMaker::ClearBindings()
{
  QMutexLocker lock(&m_mutex);
  m_lists.clear();
}

QList<qint32> TalarmMaker::AlarmsFor(qint32 code) const
{
  QMutexLocker lock(&m_mutex);
  return m_lists.value(code);
}

QList<qint32> TalarmMaker::Codes() const
{
  QMutexLocker lock(&m_mutex);
  QList<qint32> codes;
  for (auto it = m_lists.cbegin(); it != m_lists.cend(); ++it) {
    if (!it.value().isEmpty())
      codes.append(it.key());
  }
  return codes;
}

QMap<qint32, QList<qint32>> TalarmMaker::Bindings() const
{
  QMutexLocker lock(&m_mutex);
  QMap<qint32, QList<qint32>> result;
  for (auto it = m_lists.cbegin(); it != m_lists.cend(); ++it) {
    if (!it.value().isEmpty())
      result.insert(it.key(), it.value());
  }
  return result;
}

bool TalarmMaker::Purge(const TalarmsList& alarms)
{
  // The ids are taken first so that the two locks are never held together.
  const QSet<qint32> existing = alarms.Ids();
  QMutexLocker lock(&m_mutex);
  bool removed = false;
  for (auto it = m_lists.begin(); it != m_lists.end();) {
    removed |= it.value().removeIf([&existing](qint32 id) { return !existing.contains(id); }) > 0;
    if (it.value().isEmpty())
      it = m_lists.erase(it);
    else
      ++it;
  }
  return removed;
}

// ---- TalarmModes ----

qint32 TalarmModes::ComputeRequired(const TalarmModeMap& modes, const TalarmsList& alarms)
{
  const QSet<qint32> signalling = alarms.ActiveUnconfirmed();
  qint64 required = 0;
  for (auto it = modes.cbegin(); it != modes.cend(); ++it) {
    if (signalling.contains(it.key()) && it.value() > required)
      required = it.value();
  }
  return static_cast<qint32>(std::min<qint64>(required, std::numeric_limits<qint32>::max()));
}

bool TalarmModes::Purge(TalarmModeMap& modes, const TalarmsList& alarms)
{
  const QSet<qint32> existing = alarms.Ids();
  return modes.removeIf([&existing](const TalarmModeMap::iterator& it) {
    return !existing.contains(it.key());
  }) > 0;
}
