#pragma once

// Series files: a measurement series as the server sends it for a report,
// kept in a temporary file and read record by record by the report thread,
// the report page, printing and export.
//
// Layout (little-endian): N columns (u32), DataOffset (u32), RecordSize (u32,
// 8 + 24 * N), N channel ids (i32, -1 unknown); from DataOffset on, records of
// an 8-byte time followed by one 24-byte item per column (byte 0 has-value
// flag, bytes 8..15 value, bytes 16..19 status word).
//
// The file comes from the network: every count and offset is checked before
// it is used, and a file that does not add up is refused as a whole.

#include <QFile>
#include <QString>
#include <QVector>

#include <memory>

class TInUnitV4;
class TMainDBParamsV4;

struct TmeasRec {
  qint32 Id = -1;
  TInUnitV4* Channel = nullptr;
  bool HasValue = false;
  double Time = 0;
  double Value = 0;
  qint32 Status = 0;
};

// Column map of a series. Thread contract: one thread at a time.
class TmeasSerie {
 public:
  explicit TmeasSerie(TMainDBParamsV4* params) : Params(params) {}

  TMainDBParamsV4* Params;
  QVector<TmeasRec> Entries;

  // Looks every id up among the configuration's channels (read lock taken here).
  void SetIds(const QVector<qint32>& ids);
  void SetChannels(const QVector<TInUnitV4*>& channels);
  QVector<qint32> GetIds() const;
};

class TmeasMemStream {
 public:
  // Column counts beyond what a request can carry are refused.
  static constexpr quint32 kMaxColumns = 1001;
  static constexpr qint64 kHeaderSize = 12;
  static constexpr qint64 kItemSize = 24;

  explicit TmeasMemStream(TMainDBParamsV4* params);
  ~TmeasMemStream();
  TmeasMemStream(const TmeasMemStream&) = delete;
  TmeasMemStream& operator=(const TmeasMemStream&) = delete;

  TMainDBParamsV4* Params;
  QVector<qint32> Ids;
  TmeasSerie Serie;
  QString FileName;
  quint32 RecordCount = 0;
  quint32 ColumnCount = 0;
  quint32 DataOffset = 0;
  quint32 RecordSize = 0;

  // Writing (the receiving thread): a new "~CL" temporary file. Throws
  // std::runtime_error with the system's message when it cannot be made.
  void CreateFile();
  bool Append(const char* data, qint64 size);
  void CloseFile();

  // Reading: false when the file cannot be opened or its header does not
  // describe a well-formed series (counts, sizes and offsets are checked
  // against the file size); LastError() says why.
  bool Open(const QString& fileName);
  QString LastError() const { return m_error; }
  int ReadRecord(quint32 index);
  int ReadTime(quint32 index, double& time);
  // 0 item with a value, 1 item without one (value and status 0), -1 outside
  // the series.
  int ReadItem(quint32 row, quint32 column, TInUnitV4*& channel, double& value, qint32& status);

 private:
  bool ReadAt(qint64 offset, char* data, qint64 size);
  qint64 RecordOffset(quint32 index) const;

  std::unique_ptr<QFile> m_file;
  QString m_error;
};
