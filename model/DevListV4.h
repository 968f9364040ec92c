#pragma once

// The central configuration of the running program: device types, installed
// units with their channels, channel groups, alarms, settings, the main
// definitions store and the folder of the measurement databases. One object,
// created by the logic controller and handed to every thread and frame.
//
// Locking: one reader-writer lock guards the structure (which units, channels,
// groups and members exist, and their names, limits and flags). Structural
// changes (loading a document, adding or deleting a unit, group or member)
// take it for writing; walks and lookups by other threads take it for
// reading, once, at the outermost level (it is not recursive). It is never
// held across a synchronous send to the UI or a blocking wait. Value states
// have their own per-channel lock (see TInUnitV4).
//
// Objects are never freed while the program runs: a cleared list parks its
// units and groups until the configuration is destroyed, so a thread that
// still holds a channel pointer from before a reload reads a stale but valid
// object. Long-lived holders keep a LogId or group Id and look it up again.

#include "model/DevUnitV4.h"
#include "storage/mainDBoper.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <memory>
#include <shared_mutex>
#include <vector>

class TalarmsList;
class TcmdParms;
class TTypeListV4;
class TTypeV4;
class TGroup;
class TGroups;

// Settings carried in the main definitions and the main database's Params.
class TParams {
 public:
  TParams(TmainDBoper* store, const TcmdParms* cmdParms) : Store(store), CmdParms(cmdParms) {}

  TmainDBoper* Store;
  qint32 COMPort = 0;
  qint32 MesureTime = 0;
  qint32 MesureBaseTime = 0;
  qint32 TCPServerPort = 0;
  bool WasInstall = false;
  qint32 ChartPeriod = 3600;  // seconds; kept in memory only
  qint32 BaudRate = 0;
  qint32 TimeOut = 0;
  quint32 RepOptions = 0;
  const TcmdParms* CmdParms;

  // The values a document carries, without the references.
  void CopyValuesFrom(const TParams& other);
};

class TUnitListV4 {
 public:
  TUnitListV4(TmainDBoper* store, TTypeListV4* typeList);
  ~TUnitListV4();
  TUnitListV4(const TUnitListV4&) = delete;
  TUnitListV4& operator=(const TUnitListV4&) = delete;

  TmainDBoper* Store;
  TTypeListV4* TypeList;
  qint32 LastLogId = 0;
  qint32 LastAlarmLogId = 0;
  qint32 NextUnitId = 1;
  qint32 NextFreeId = 1;

  int Count() const { return static_cast<int>(m_units.size()); }
  TUnitV4* FirstUnit(int& cursor, bool withDeleted) const;
  TUnitV4* NextUnit(int& cursor, bool withDeleted) const;
  TUnitV4* UnitAt(int cursor) const;

  TUnitV4* AddUnit(const TTypeV4* unitType, qint32 mbAddr, qint32 id);
  // Null when the device id identifies no type (and there is no type 0).
  TUnitV4* AddDetectedUnit(qint32 devId, qint32 mbAddr);
  // Takes over a unit built elsewhere (taken out of NewUnits with TakeUnit),
  // numbering it as a new one.
  TUnitV4* AppendUnit(std::unique_ptr<TUnitV4> unit);
  // Detaches the unit from this list (null when it is not here).
  std::unique_ptr<TUnitV4> TakeUnit(TUnitV4* unit);

  TUnitV4* FindUnitById(qint32 id) const;       // the last match
  TUnitV4* FindUnitByMBAddr(qint32 addr) const; // the last match, 8-bit address
  // Units without DelFlag; their input channels, deleted and disabled included.
  TInUnitV4* FindInUnit(qint32 logId) const;
  // FindInUnit for every id at once (same matches: first channel of a unit
  // without DelFlag), for callers that look up many ids per walk.
  QHash<qint32, TInUnitV4*> InUnitIndex() const;

  TInUnitV4* FirstChannel(int& unitCursor, int& chanCursor, bool withDisabled,
                          bool withDeleted) const;
  TInUnitV4* NextChannel(int& unitCursor, int& chanCursor, bool withDisabled,
                         bool withDeleted) const;
  TAlarmUnitV4* FirstAlarmOutput(int& unitCursor, int& chanCursor) const;
  TAlarmUnitV4* NextAlarmOutput(int& unitCursor, int& chanCursor) const;

  // Saves every unit (deleted included); -1 when any save failed.
  int SaveAll();
  // Parks every unit until the list is destroyed; NextFreeId becomes 1.
  void Clear();
  // Removes bindings to alarms that no longer exist and stores what changed.
  void PurgeAlarmBindings(const TalarmsList& alarms);

  // Raises the numbering counters above every number in use, so a unit
  // installed later never reuses a LogId or unit id of a loaded one.
  void RaiseCounters();
  // Replaces the units with those of `staged` (parking the current ones) and
  // takes over its counters. Caller holds the configuration's write lock.
  void TakeOver(TUnitListV4& staged);

 private:
  void NumberChannels(TUnitV4& unit);

  std::vector<std::unique_ptr<TUnitV4>> m_units;
  std::vector<std::unique_ptr<TUnitV4>> m_parked;
};

class TDevGroup {
 public:
  qint32 Index = 0;
  TGroup* Group = nullptr;
  bool IsNew = true;
  qint32 LogId = 0;
  TInUnitV4* Channel = nullptr;
};

class TGroup {
 public:
  TGroup(TGroups* owner, qint32 id, const QString& name);
  ~TGroup();
  TGroup(const TGroup&) = delete;
  TGroup& operator=(const TGroup&) = delete;

  TGroups* Owner;
  TmainDBoper* Store;
  TUnitListV4* Units;
  bool IsNew = true;
  qint32 Id;
  QString Name;
  bool Active = false;

  int MemberCount() const { return static_cast<int>(m_members.size()); }
  TDevGroup* MemberAt(int index) const;
  // Appends without checking for a duplicate (callers check with FindMember).
  TDevGroup* AddMember(TInUnitV4* channel);
  TDevGroup* FindMember(const TInUnitV4* channel) const;
  // Removes every membership of the channel, deletes their stored rows and
  // renumbers the rest; -1 when a stored row could not be deleted.
  int RemoveMember(const TInUnitV4* channel);
  TInUnitV4* FirstMember(int& cursor, bool withDeleted, bool withDisabled) const;
  TInUnitV4* NextMember(int& cursor, bool withDeleted, bool withDisabled) const;
  // Inserts or updates the group row and inserts new memberships; a row that
  // could not be stored stays marked new so a later save retries it. -1 when
  // anything failed.
  int Save();

 private:
  friend class TGroups;
  std::vector<std::unique_ptr<TDevGroup>> m_members;
};

class TGroups {
 public:
  TGroups(TmainDBoper* store, TUnitListV4* units);
  ~TGroups();
  TGroups(const TGroups&) = delete;
  TGroups& operator=(const TGroups&) = delete;

  TmainDBoper* Store;
  TUnitListV4* Units;
  qint32 LastGroupId = 0;

  int Count() const { return static_cast<int>(m_groups.size()); }
  TGroup* FirstGroup(int& cursor) const;
  TGroup* NextGroup(int& cursor) const;
  TGroup* FindGroup(qint32 id) const;

  TGroup* AddGroupAuto(const QString& name);
  TGroup* AddGroupWithId(const QString& name, qint32 id);
  // Removes the group with its stored rows; -1 when it is not in the list or
  // a stored row could not be deleted (the group is removed anyway).
  int DeleteGroup(TGroup* group);
  void PurgeDeletedChannels();
  // Parks every group until destruction; LastGroupId becomes 0.
  void Clear();
  // Replaces the groups with those of `staged`, which refer to `Units`
  // afterwards. Caller holds the configuration's write lock.
  void TakeOver(TGroups& staged);

 private:
  std::vector<std::unique_ptr<TGroup>> m_groups;
  std::vector<std::unique_ptr<TGroup>> m_parked;
};

class TMainDBParamsV4 {
 public:
  // Without a store the configuration makes its own (the terminal's main
  // definitions store, which has no database connection).
  TMainDBParamsV4(TTypeListV4* typeList, const TcmdParms* cmdParms,
                  std::unique_ptr<TmainDBoper> store = nullptr);
  TMainDBParamsV4(const TMainDBParamsV4&) = delete;
  TMainDBParamsV4& operator=(const TMainDBParamsV4&) = delete;
  // Stops the store, then frees alarms, groups, new units, units, settings
  // and store, so nothing is freed while something still refers to it.
  ~TMainDBParamsV4();

  const QString BasesDir;
  TTypeListV4* const TypeList;
  const TcmdParms* const CmdParms;

  TmainDBoper* Store() const { return m_store.get(); }
  TParams& Settings() { return *m_settings; }
  const TParams& Settings() const { return *m_settings; }
  TUnitListV4& Units() { return *m_units; }
  const TUnitListV4& Units() const { return *m_units; }
  TUnitListV4& NewUnits() { return *m_newUnits; }
  TGroups& Groups() { return *m_groups; }
  const TGroups& Groups() const { return *m_groups; }
  TalarmsList& Alarms() { return *m_alarms; }
  const TalarmsList& Alarms() const { return *m_alarms; }

  // Thread contract: any thread. Take once per walk, never across a send.
  std::shared_lock<std::shared_mutex> ReadLock() const
  {
    return std::shared_lock<std::shared_mutex>(m_lock);
  }
  // Every write lock counts as a structural change: readers that keep an
  // index of the configuration (the server link's channel lookup) compare
  // Revision() under their read lock and rebuild when it moved.
  std::unique_lock<std::shared_mutex> WriteLock()
  {
    std::unique_lock<std::shared_mutex> lock(m_lock);
    m_revision.fetch_add(1, std::memory_order_relaxed);
    return lock;
  }
  quint64 Revision() const { return m_revision.load(std::memory_order_relaxed); }

  // Reads a type definition document aside and appends its types in one step
  // under the write lock; -1 (types untouched, *error says why) when it was
  // refused. Thread contract: any thread not holding the lock.
  int LoadTypeDocument(const QByteArray& document, QString* error = nullptr);

  // Stops the main-definitions store; the controller calls it during shutdown.
  void StopStore();
  bool WasInstall() const { return m_settings->WasInstall; }

 private:
  mutable std::shared_mutex m_lock;
  std::atomic<quint64> m_revision{0};
  std::unique_ptr<TmainDBoper> m_store;
  std::unique_ptr<TParams> m_settings;
  std::unique_ptr<TUnitListV4> m_units;
  std::unique_ptr<TUnitListV4> m_newUnits;
  std::unique_ptr<TGroups> m_groups;
  std::unique_ptr<TalarmsList> m_alarms;
};
