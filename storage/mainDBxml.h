#pragma once

// The main definitions store: reads the main definitions document (units,
// channel settings, settings, groups) into the central configuration, and
// keeps configuration changes in the installation's main database, with the
// loaded document as the fallback target of unit and channel updates.
//
// The database is an SQLite file reached through QtSql, one connection per
// calling thread (a connection may only be used by the thread that opened
// it). The terminal sets no database, so every statement fails and the
// operations report failure instead of pretending to have stored anything.

#include "storage/mainDBoper.h"

#include <QByteArray>
#include <QMutex>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

class QSqlQuery;
class TMainDBParamsV4;

class TmainDB : public TmainDBoper {
 public:
  TmainDB();
  ~TmainDB() override;
  TmainDB(const TmainDB&) = delete;
  TmainDB& operator=(const TmainDB&) = delete;

  // The SQLite file of the main database; empty (the terminal's case) means
  // no database. Thread contract: any thread.
  void SetDatabaseFile(const QString& fileName);
  QString DatabaseFile() const;

  // Parses a main definitions document and applies it to `central`: the
  // document is read into a staging copy and swapped in under the
  // configuration's write lock only when all of it was understood. 0 on
  // success; -1 (configuration untouched, LastError() says why) otherwise.
  // Thread contract: any thread that does not hold the configuration lock.
  int LoadDocument(TMainDBParamsV4& central, const QByteArray& document);
  QString LastError() const;

  int StoreParam(const QString& name, qint64 value) override;
  int StoreDefinition(const QString& name, const QString& text) override;
  int StoreUnit(const TUnitV4& unit) override;
  int StoreInUnit(const TInUnitV4& channel) override;
  int StoreOutUnit(const TOutUnitV4& channel) override;
  int StoreAlarmOutput(qint32 unitId, qint32 alarmOutputId, const QString& text) override;
  int InsertGroup(const TGroup& group) override;
  int UpdateGroup(const TGroup& group) override;
  int InsertGroupMember(TDevGroup& member) override;
  int DeleteGroupMember(const TDevGroup& member) override;
  int DeleteGroupRow(const TGroup& group) override;

  // Closes the calling thread's connection; threads that used the store call
  // it before they end. Thread contract: any thread.
  void CloseThreadConnection();

  // Records written by the fallback, as the document would hold them (one
  // element name and its attributes each). Only a store that loaded a
  // document has a root to append to.
  struct TFallbackRecord {
    QString Element;
    std::vector<std::pair<QString, QString>> Attributes;
  };
  std::vector<TFallbackRecord> FallbackRecords() const;
  // The loaded document's root name with the fallback records, as XML text.
  QByteArray FallbackDocument() const;

 private:
  // One connection per store and calling thread.
  QString ThreadConnectionName() const;
  bool Connection(QSqlDatabase& db);
  bool Exec(QSqlQuery& query, const QString& statement,
            const std::vector<std::pair<QString, QVariant>>& params);
  int UpdateLogDevs(const std::vector<std::pair<QString, QVariant>>& params);
  int AppendFallback(TFallbackRecord record);

  mutable QMutex m_mutex;  // the fields below
  QString m_databaseFile;
  QStringList m_connections;
  bool m_hasRoot = false;
  QString m_rootName;
  std::vector<TFallbackRecord> m_fallback;
  QString m_lastError;
};

// Creates, checks or compacts an SQLite database file; non-zero for success,
// 0 for failure, -1 for an unknown operation.
//   op 0: create the folder and a new database file, then run `schema`;
//   op 1: integrity check ("ok" is success);
//   op 2: VACUUM, or VACUUM INTO newFileName when given (which must not exist).
// The version of the older file formats is accepted and ignored.
// Thread contract: any thread; uses a connection of its own.
int AccessFileOp(int op, int version, const QString& fileName, const QString& newFileName = QString(),
                 const QStringList& schema = QStringList());
