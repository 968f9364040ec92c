#pragma once

// The store operations through which units, channels, alarm outputs, groups,
// settings and definitions are kept in the installation's main database.
// The configuration objects call these without knowing the engine; the main
// definitions store implements them.
//
// Results: 0 for success, -1 for failure. Callers on the configuration pages
// do not show failures, but a failure is never reported as success.

#include <QString>

class TUnitV4;
class TInUnitV4;
class TOutUnitV4;
class TGroup;
class TDevGroup;

class TmainDBoper {
 public:
  virtual ~TmainDBoper() = default;

  // Thread contract: any thread; each thread uses its own connection.
  virtual int StoreParam(const QString& name, qint64 value) = 0;
  virtual int StoreDefinition(const QString& name, const QString& text) = 0;
  virtual int StoreUnit(const TUnitV4& unit) = 0;
  virtual int StoreInUnit(const TInUnitV4& channel) = 0;
  virtual int StoreOutUnit(const TOutUnitV4& channel) = 0;
  virtual int StoreAlarmOutput(qint32 unitId, qint32 alarmOutputId, const QString& text) = 0;
  virtual int InsertGroup(const TGroup& group) = 0;
  virtual int UpdateGroup(const TGroup& group) = 0;
  // Only for a membership marked new; marks it stored on success.
  virtual int InsertGroupMember(TDevGroup& member) = 0;
  virtual int DeleteGroupMember(const TDevGroup& member) = 0;
  virtual int DeleteGroupRow(const TGroup& group) = 0;

  // Ends any background work; called before the store is freed.
  virtual void Stop() {}
};
