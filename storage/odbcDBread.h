#pragma once

// Reader of the monthly measurement databases over SQLite. Month files are
// opened read-only and only when they exist, so reading never creates a file
// the writer would then find empty.

#include "storage/DBreadManBase.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>
#include <utility>
#include <vector>

class QSqlQuery;

class TDBReadManODBC : public TDBreadManBase {
 public:
  explicit TDBReadManODBC(const QString& basesDir);
  ~TDBReadManODBC() override;
  TDBReadManODBC(const TDBReadManODBC&) = delete;
  TDBReadManODBC& operator=(const TDBReadManODBC&) = delete;

  // Above this many ids the filter is applied while reading instead of in the
  // statement (SQLite limits the number of parameters).
  static constexpr int kMaxInIds = 500;

  int OpenQuery() override;
  int NextRow() override;
  void PrepareMeasures(const QVector<qint32>& logIds, double from, double to) override;
  void PrepareErrors(double from, double to) override;
  qint32 ReadMeasure(TMeasureRec& rec) override;
  int FirstMeasure() override;
  int NextMeasure() override;
  void ReadError(TErrorRec& rec) override;
  int FirstError() override;
  int NextError() override;
  int ReadTimeRow(QVector<TRowSlot>& rowSlots, int high) override;
  void Statistics(qint32 logId, double from, double to, TStatistics& stat) override;

  // "IDLogDev in (:id0,:id1,…)" for n ids.
  static QString InCondition(int n);

  int OpenMonth(double t);
  void Disconnect();
  bool Connected() const;
  QString OpenFile() const { return m_openFile; }

 private:
  bool RowMatches() const;
  int FirstWalk();
  int NextWalk();

  const QString m_connectionName;
  QString m_openFile;
  QString m_sql;
  std::vector<std::pair<QString, QVariant>> m_params;
  QVector<qint32> m_logIds;
  bool m_filterInCode = false;
  bool m_measures = true;
  bool m_onRow = false;
  std::unique_ptr<QSqlQuery> m_query;
  // Column positions of the executed statement (-1 when it has no such column).
  struct TColumns {
    int ID = -1, IDLogDev = -1, MesDate = -1, Measure = -1, Error = -1, IDChannel = -1,
        BeginDate = -1, EndDate = -1, IDErr = -1;
  } m_col;
};
