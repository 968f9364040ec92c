#include "server/seriesFile.h"

#include <QtEndian>

namespace {

template <typename T>
void PutAt(QByteArray& data, qsizetype offset, T value)
{
  qToLittleEndian(value, data.data() + offset);
}

}  // namespace

TSeriesFileWriter::TSeriesFileWriter(const QVector<qint32>& columnIds)
    : m_columns(static_cast<int>(columnIds.size()))
{
  m_data = QByteArray(kHeaderSize + 4 * m_columns, '\0');
  PutAt<quint32>(m_data, 0, static_cast<quint32>(m_columns));
  PutAt<quint32>(m_data, 4, static_cast<quint32>(kHeaderSize + 4 * m_columns));
  PutAt<quint32>(m_data, 8, static_cast<quint32>(RecordSize()));
  for (int i = 0; i < m_columns; ++i)
    PutAt<qint32>(m_data, kHeaderSize + 4 * i, columnIds.at(i));
}

void TSeriesFileWriter::BeginRecord(double time)
{
  m_recordAt = m_data.size();
  m_data.append(RecordSize(), '\0');
  PutAt<double>(m_data, m_recordAt, time);
  ++m_records;
}

void TSeriesFileWriter::SetItem(int column, double value, qint32 status)
{
  if (m_recordAt < 0 || column < 0 || column >= m_columns)
    return;
  const qsizetype at = m_recordAt + 8 + kItemSize * column;
  m_data[at] = '\1';
  PutAt<double>(m_data, at + 8, value);
  PutAt<qint32>(m_data, at + 16, status);
}

QByteArray BuildSeriesFile(const QVector<qint32>& columnIds, const QVector<TSeriesRow>& rows)
{
  TSeriesFileWriter writer(columnIds);
  for (const TSeriesRow& row : rows) {
    writer.BeginRecord(row.Time);
    for (int c = 0; c < row.Items.size() && c < writer.ColumnCount(); ++c) {
      const TSeriesItem& item = row.Items.at(c);
      if (item.HasValue)
        writer.SetItem(c, item.Value, item.Status);
    }
  }
  return writer.Take();
}
