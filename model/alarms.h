#pragma once

// Alarm definitions, the raise/confirm cycle and the bindings on both sides:
// device error code -> alarms on an input channel (TalarmMaker), alarm -> signal
// mode on an alarm output (TalarmModes).
//
// The polling cycle runs on the Modbus operation thread while the operator
// confirms alarms and edits definitions and bindings on the UI thread, so the
// list and each binding map carry their own mutex. Every operation holds it
// only briefly, hands out copies, and never calls out while holding it; no
// operation holds two of these locks at once.

#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class Talarm {
 public:
  qint32 Id = 0;
  QString Name;  // trimmed, unique in the list, case-sensitive
  QString Desc;
};

class TalarmsList {
 public:
  TalarmsList() = default;
  TalarmsList(const TalarmsList&) = delete;
  TalarmsList& operator=(const TalarmsList&) = delete;

  // 0 added; -3 name empty after trimming; -1 id taken; -2 name taken.
  // Thread contract: any thread.
  int AddAlarm(qint32 id, const QString& name, const QString& desc);
  // AddAlarm with MaxId + 1. Thread contract: any thread.
  int AddAlarmAuto(const QString& name, const QString& desc);
  // 0 changed; -3 name empty after trimming; -1 no such id; -2 another alarm
  // holds the name. Thread contract: any thread.
  int ChangeAlarm(qint32 id, const QString& name, const QString& desc);
  // 0 deleted; -1 no such id. MaxId stays, so ids are never reused.
  // Thread contract: any thread.
  int DeleteAlarm(qint32 id);
  // Removes every alarm and empties the sets; MaxId goes back to -1. Used
  // before the list is rebuilt from a document. Thread contract: any thread.
  void Clear();

  // Lookups hand out copies: the alarm may be changed or deleted by another
  // thread right after the call. Thread contract: any thread.
  std::optional<Talarm> FindAlarm(qint32 id) const;
  std::optional<Talarm> AlarmAt(int index) const;
  bool Contains(qint32 id) const;
  int Count() const;
  qint32 MaxId() const;
  // Raises MaxId to `id` when larger (a stored maxID remembers deleted ids).
  void RaiseMaxId(qint32 id);
  // Every alarm in list order, with the MaxId of the same moment.
  QList<Talarm> Alarms(qint32* maxId = nullptr) const;
  QSet<qint32> Ids() const;

  // Cursor iteration in list order (cursor -1 before the first). A definition
  // change on another thread between two steps may skip or repeat an alarm.
  // Thread contract: any thread.
  std::optional<Talarm> FirstAlarm(int& cursor) const;
  std::optional<Talarm> NextAlarm(int& cursor) const;

  // The alarm cycle of one polling round: StartCycle, Raise for every bound
  // error, EndCycle. Thread contract: Modbus operation thread.
  void Raise(qint32 id);
  void StartCycle();
  void EndCycle();
  // Thread contract: any thread (the operator's confirm action on the UI thread).
  void ConfirmAll();
  // Thread contract: any thread.
  bool IsActiveUnconfirmed(qint32 id) const;
  // Active minus Confirmed in one step, so that a caller checking several
  // alarms sees one state rather than one half before and one half after a
  // concurrent ConfirmAll or EndCycle. Thread contract: any thread.
  QSet<qint32> ActiveUnconfirmed() const;
  QSet<qint32> Active() const;
  QSet<qint32> Raised() const;
  QSet<qint32> Confirmed() const;

 private:
  int AddLocked(qint32 id, const QString& trimmedName, const QString& desc);  // m_mutex held

  mutable QMutex m_mutex;
  std::vector<std::unique_ptr<Talarm>> m_items;  // creation order
  QHash<QString, Talarm*> m_nameIndex;           // case-sensitive
  QHash<qint32, Talarm*> m_byId;
  qint32 m_maxId = -1;
  QSet<qint32> m_active;
  QSet<qint32> m_raised;
  QSet<qint32> m_confirmed;
};

// Bindings of one input channel: device error code -> alarm ids, in code order.
class TalarmMaker {
 public:
  TalarmMaker() = default;
  TalarmMaker(const TalarmMaker&) = delete;
  TalarmMaker& operator=(const TalarmMaker&) = delete;

  // 0 bound; -1 when the alarm is already in the code's list.
  // Thread contract: any thread (the device pages on the UI thread).
  int Bind(qint32 code, qint32 alarmId);
  // Drops every code with its list, so a channel without bindings stores an
  // empty document rather than empty <error> elements. Thread contract: any thread.
  void ClearBindings();
  // Copy of the code's list; empty when the code has none.
  // Thread contract: any thread (the Modbus operation thread raises from it).
  QList<qint32> AlarmsFor(qint32 code) const;
  // Codes that have a non-empty list, ascending. Thread contract: any thread.
  QList<qint32> Codes() const;
  // Copy of every non-empty list by code. Thread contract: any thread.
  QMap<qint32, QList<qint32>> Bindings() const;
  // Removes every alarm id the list no longer holds (and codes left without
  // alarms); true when anything was removed, so the caller knows to store the
  // channel. Thread contract: any thread.
  bool Purge(const TalarmsList& alarms);

 private:
  mutable QMutex m_mutex;
  QMap<qint32, QList<qint32>> m_lists;
};

// An alarm output's bindings: alarm id -> the mode value the output shows while
// that alarm is active and unconfirmed. The output channel keeps the map; these
// helpers hold the rules.
using TalarmModeMap = QMap<qint32, qint64>;

class TalarmModes {
 public:
  // The strongest mode among the bound alarms that are active and unconfirmed,
  // 0 ("none") when there is none. Modes beyond the 32-bit range are clamped
  // rather than truncated, so a corrupt mode cannot turn into a weak or
  // negative one. Thread contract: any thread; `modes` must not change
  // during the call.
  static qint32 ComputeRequired(const TalarmModeMap& modes, const TalarmsList& alarms);
  // Removes every alarm id the list no longer holds; true when anything was
  // removed. Thread contract: any thread; `modes` as above.
  static bool Purge(TalarmModeMap& modes, const TalarmsList& alarms);
};
