#pragma once

// Installed units and their channels. A unit is one device at one Modbus
// address, built from its device type; it owns one input channel per measured
// input of the type, one output channel per output and, for the signalling
// types, its alarm output channels. Each input channel keeps value states:
// state 0 the live value, state 1 while a data logger is being read.
//
// Threads: the server link (received values) or the Modbus thread (local
// polling) write states while the current-values thread, the measurement
// writer and the UI read them. Every state field and the statistics are
// guarded by the channel's own mutex; readers take a consistent copy with
// ReadState(). The mutex is never held while calling out of the channel.
// Structural fields (names, limits, flags, LogId) change only under the
// configuration's write lock (see TMainDBParamsV4).

#include "model/TypeUnitV4.h"

#include <QMap>
#include <QString>
#include <QVector>

#include <memory>
#include <mutex>
#include <vector>

class TmainDBoper;
class TalarmMaker;
class TalarmsList;
class TRegGroup;
class TRegGroups;
class TUnitV4;

// A consistent copy of one value state.
struct TStateValues {
  qint32 Index = 0;
  double Time = 0;
  qint32 ErrCode = 0;
  double Value = 0;
  double ErrBeginTime = 0;
  qint32 MeasId = -1;
  qint32 ErrId = -1;
  double PrevTime = 0;
  qint32 PrevErrCode = 0;
  double PrevValue = 0;
  double PrevErrBeginTime = 0;
  qint32 PrevMeasId = -1;
  qint32 PrevErrId = -1;
};

// Statistics of the current-values table, loaded from the measurement
// databases and then kept up to date. The sentinels are the widest doubles so
// counters beyond 32 bits still move them.
struct TChannelStat {
  double StatMin = 1.7e308;
  double StatMax = -1.7e308;
  double StatSum = 0;
  qint32 StatCount = 0;
};

// One value state of an input channel; its fields are guarded by the owning
// channel's mutex.
class TInUnitStateV4 : public TStateValues {
 public:
  TInUnitStateV4(qint32 index, const TPomRegV4& regDef);
  ~TInUnitStateV4();
  TInUnitStateV4(const TInUnitStateV4&) = delete;
  TInUnitStateV4& operator=(const TInUnitStateV4&) = delete;

  // The Modbus requests that feed this state.
  std::unique_ptr<TRegGroups> Requests;
};

class TInUnitV4 : public TPomRegV4 {
 public:
  TInUnitV4(TUnitV4* unit, const TPomRegV4* regDef);
  ~TInUnitV4() override;
  TInUnitV4(const TInUnitV4&) = delete;
  TInUnitV4& operator=(const TInUnitV4&) = delete;

  const TPomRegV4* const RegDef;
  TUnitV4* const Unit;
  qint32 LogId = 0;
  bool Deleted = false;
  quint8 UState = 0;  // 1 = disabled
  double Min = 0.0;
  double Max = 0.0;
  qint32 Disp = 0;

  bool Disabled() const { return UState == 1; }

  // ---- states (thread contract: any thread) ----
  // Appends a state built from RegDef; returns false when it already exists.
  bool AddState(qint32 index);
  void RemoveState(qint32 index);
  bool HasState(qint32 index) const;
  // False (copy untouched) when the state is missing.
  bool ReadState(qint32 index, TStateValues& out) const;

  double StateValue(qint32 index) const;
  qint32 StateErrCode(qint32 index) const;
  double StateTime(qint32 index) const;
  qint32 StateMeasId(qint32 index) const;
  qint32 StateErrId(qint32 index) const;
  qint32 StatePrevErrCode(qint32 index) const;
  double StatePrevErrBeginTime(qint32 index) const;
  qint32 StatePrevErrId(qint32 index) const;
  int SetStateMeasId(qint32 index, qint32 id);
  int SetStateErrId(qint32 index, qint32 id);

  // Request groups of a state for the thread that reads the device. Only that
  // thread adds or removes states with requests in flight, so the pointers
  // stay valid while it uses them.
  TRegGroup* FirstRequestGroup(int& cursor, qint32 index);
  TRegGroup* NextRequestGroup(int& cursor, qint32 index);

  // Local path: answered requests of a state become its value and error code.
  void UpdateFromRequests(qint32 index);
  // Received value (server path): sets the state's time, value and error code
  // and applies the limit check and error-begin bookkeeping (CheckReceived),
  // all under one lock; returns the copy to hand to the current-values thread.
  // Snapshot() must follow once the value has been handed on.
  TStateValues SetReceived(qint32 index, double time, double value, qint32 errCode);
  void CheckReceived(qint32 index);
  // Copies the current fields into the Prev… fields.
  void Snapshot(qint32 index);

  // ---- statistics (thread contract: any thread) ----
  TChannelStat Stat() const;
  void SetStat(const TChannelStat& stat);
  // Counts a value into the statistics (current-values table).
  void AddToStat(double value);

  // ---- alarm bindings ----
  TalarmMaker& AlarmMaker() { return *m_alarmMaker; }
  const TalarmMaker& AlarmMaker() const { return *m_alarmMaker; }
  void RaiseBoundAlarms(TalarmsList& alarms) const;

 private:
  TInUnitStateV4* FindStateLocked(qint32 index) const;
  // One field of a state read under the lock; neutral when the state is missing.
  template <typename T, typename Get>
  T StateField(qint32 index, T neutral, Get get) const;
  void CheckReceivedLocked(TInUnitStateV4& state) const;
  static void SnapshotLocked(TInUnitStateV4& state);

  mutable std::mutex m_mutex;
  std::vector<std::unique_ptr<TInUnitStateV4>> m_states;
  TChannelStat m_stat;
  std::unique_ptr<TalarmMaker> m_alarmMaker;
};

class TOutUnitV4 : public TOutRegV4 {
 public:
  TOutUnitV4(TUnitV4* unit, const TOutRegV4* regDef);

  TUnitV4* const Unit;
  bool Deleted = false;
  qint32 LogId = 0;
  qint32 InUnitID = 0;   // LogId of the input the output mirrors
  QString Name;
  bool STDpoint = true;  // decimals follow the source channel, else SemValue
  qint32 SemValue = 0;
};

struct TAlarmMode {
  qint32 Value = 0;
  QString Text;
};

class TAlarmUnitV4 {
 public:
  // n < 0: the plain unit name; otherwise "<unit name>-<n> (alarm)".
  TAlarmUnitV4(TUnitV4* unit, int n, qint32 outNo);

  TUnitV4* const Unit;
  qint32 OutNo;
  qint32 LogId = 0;
  QString Name;
  QVector<TAlarmMode> Modes;
  // Alarm id → mode value the output shows while that alarm is active and
  // unconfirmed. Changed by the configuration pages under the write lock.
  QMap<qint32, qint64> AlarmModes;
  // Written and read by the Modbus thread only.
  qint32 ReqValue = 0;

  void ComputeRequired(const TalarmsList& alarms);
};

class TOtherV4 : public TOtherRegV4 {
 public:
  explicit TOtherV4(const TOtherRegV4& def);
};

class TUnitV4 {
 public:
  TUnitV4(TmainDBoper* store, qint32 mbAddr, qint32 id, const TTypeV4* unitType);
  ~TUnitV4();
  TUnitV4(const TUnitV4&) = delete;
  TUnitV4& operator=(const TUnitV4&) = delete;

  TmainDBoper* Store;
  bool DelFlag = false;
  double AddDate = 0;
  double DelDate = 0;
  qint32 Id = 0;
  qint32 TypeId = 0;
  const TTypeV4* const UnitType;
  QString Name;
  qint32 MBAddr = 0;

  static QString DefaultName(const TTypeV4& type, qint32 id);

  TInUnitV4* FirstInUnit(int& cursor, bool withDeleted, bool withDisabled) const;
  TInUnitV4* NextInUnit(int& cursor, bool withDeleted, bool withDisabled) const;
  TOutUnitV4* FirstOutUnit(int& cursor, bool withDeleted) const;
  TOutUnitV4* NextOutUnit(int& cursor, bool withDeleted) const;
  TAlarmUnitV4* FirstAlarmUnit(int& cursor) const;
  TAlarmUnitV4* NextAlarmUnit(int& cursor) const;

  TInUnitV4* FindInUnitByIDReg(qint32 idReg) const;
  TInUnitV4* FindInUnitByRegister(quint32 reg) const;
  TOutUnitV4* FindOutUnitByIDReg(qint32 idReg) const;
  // 1 input (not deleted), 2 output (not deleted), 3 alarm output, -1 otherwise.
  int ChannelKind(const void* channel) const;

  void MarkDeleted();
  QString TypeName() const;
  // Stores the unit, every input and output channel and the alarm-output
  // bindings; -1 when any of them could not be stored (all are tried).
  int Save();

  const std::vector<std::unique_ptr<TInUnitV4>>& InUnits() const { return m_inUnits; }
  const std::vector<std::unique_ptr<TOutUnitV4>>& OutUnits() const { return m_outUnits; }
  const std::vector<std::unique_ptr<TAlarmUnitV4>>& AlarmUnits() const { return m_alarmUnits; }
  const std::vector<std::unique_ptr<TOtherV4>>& OtherUnits() const { return m_otherUnits; }

 private:
  void BuildChannels();

  std::vector<std::unique_ptr<TInUnitV4>> m_inUnits;
  std::vector<std::unique_ptr<TOutUnitV4>> m_outUnits;
  std::vector<std::unique_ptr<TOtherV4>> m_otherUnits;
  std::vector<std::unique_ptr<TAlarmUnitV4>> m_alarmUnits;
};

// Current time as the stored date-time double.
double NowDayCount();
