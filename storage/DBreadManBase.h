#pragma once

// Reader of the monthly measurement databases: walks the month files of a
// date range as if they were one table.

#include <QString>
#include <QVector>

struct TMeasureRec {
  qint32 LogId = 0;
  bool Valid = false;
  double Time = 0;
  double Value = 0;
  qint32 ErrCode = 0;  // translated code (flag words for no value, gap, limits)
};

struct TErrorRec {
  bool Valid = false;
  qint32 LogId = 0;
  double BeginDate = 0;
  double EndDate = 0;  // 0 while the error lasts
  qint32 ErrCode = 0;
  qint32 ErrId = 0;
};

struct TRowSlot {
  qint32 LogId = 0;  // set by the caller
  bool Valid = false;
  double Time = 0;
  double Value = 0;
  qint32 ErrCode = 0;
};

struct TStatistics {
  qint32 Count = 0;
  double Sum = 0;
  double Avg = 0;
  double Min = 1.7e308;
  double Max = -1.7e308;
};

// Thread contract: an object is used by one thread at a time; it opens its
// own connections in that thread.
class TDBreadManBase {
 public:
  virtual ~TDBreadManBase() = default;

  double OpenMonthTime = 0;
  QString BasesDir;
  double RangeFrom = 0;
  double RangeTo = 0;
  double MonthCursor = 0;

  virtual int OpenQuery() = 0;
  virtual int NextRow() = 0;
  virtual void PrepareMeasures(const QVector<qint32>& logIds, double from, double to) = 0;
  virtual void PrepareErrors(double from, double to) = 0;
  virtual qint32 ReadMeasure(TMeasureRec& rec) = 0;
  virtual int FirstMeasure() = 0;
  virtual int NextMeasure() = 0;
  virtual void ReadError(TErrorRec& rec) = 0;
  virtual int FirstError() = 0;
  virtual int NextError() = 0;
  virtual int ReadTimeRow(QVector<TRowSlot>& rowSlots, int high) = 0;
  virtual void Statistics(qint32 logId, double from, double to, TStatistics& stat) = 0;
};
