#pragma once

// Series files as the server answers a series request: a header of column
// ids, then one record per time with one item per column. The layout is the
// one the terminal's reader checks (little-endian; N, DataOffset = 12 + 4N,
// RecordSize = 8 + 24N, N ids, then records of an 8-byte time and 24-byte
// items: byte 0 has-value, bytes 8..15 value, bytes 16..19 status word).
// Every field is written one by one, so the bytes do not depend on the
// compiler's struct layout or the host's byte order.

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

#include <utility>

struct TSeriesItem {
  bool HasValue = false;
  double Value = 0;
  qint32 Status = 0;  // status word: 0 valid, flag words, device error codes
};

struct TSeriesRow {
  double Time = 0;
  QVector<TSeriesItem> Items;  // one per column; missing items have no value
};

// Builds a series file record by record. Thread contract: one thread.
class TSeriesFileWriter {
 public:
  static constexpr qint64 kHeaderSize = 12;
  static constexpr qint64 kItemSize = 24;

  explicit TSeriesFileWriter(const QVector<qint32>& columnIds);

  int ColumnCount() const { return m_columns; }
  qint64 RecordSize() const { return 8 + kItemSize * m_columns; }
  quint32 RecordCount() const { return m_records; }
  qint64 Size() const { return m_data.size(); }

  // Opens a record at `time` whose items have no value until they are set.
  void BeginRecord(double time);
  // An item of the record opened last; columns outside the file are ignored.
  void SetItem(int column, double value, qint32 status);
  QByteArray Take() { return std::move(m_data); }

 private:
  QByteArray m_data;
  int m_columns = 0;
  quint32 m_records = 0;
  qsizetype m_recordAt = -1;
};

// A whole series file from rows; each row's items are taken in column order
// (extra items are ignored, missing ones have no value).
QByteArray BuildSeriesFile(const QVector<qint32>& columnIds, const QVector<TSeriesRow>& rows);
