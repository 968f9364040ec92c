#include "comm/measStream.h"

#include "app/commonClass.h"
#include "model/DevListV4.h"

#include <QtEndian>

#include <cstring>
#include <stdexcept>

void TmeasSerie::SetIds(const QVector<qint32>& ids)
{
  Entries.clear();
  Entries.reserve(ids.size());
  auto lock = Params != nullptr ? Params->ReadLock() : std::shared_lock<std::shared_mutex>();
  for (qint32 id : ids) {
    TmeasRec entry;
    if (Params != nullptr) {
      if (TInUnitV4* channel = Params->Units().FindInUnit(id)) {
        entry.Id = channel->LogId;
        entry.Channel = channel;
      }
    }
    Entries.push_back(entry);
  }
}

void TmeasSerie::SetChannels(const QVector<TInUnitV4*>& channels)
{
  Entries.clear();
  Entries.reserve(channels.size());
  for (TInUnitV4* channel : channels) {
    TmeasRec entry;
    if (channel != nullptr) {
      entry.Id = channel->LogId;
      entry.Channel = channel;
    }
    Entries.push_back(entry);
  }
}

QVector<qint32> TmeasSerie::GetIds() const
{
  QVector<qint32> ids;
  ids.reserve(Entries.size());
  for (const TmeasRec& entry : Entries)
    ids.push_back(entry.Channel != nullptr ? entry.Id : -1);
  return ids;
}

// ---------------------------------------------------------------------------

TmeasMemStream::TmeasMemStream(TMainDBParamsV4* params) : Params(params), Serie(params) {}

TmeasMemStream::~TmeasMemStream() = default;

void TmeasMemStream::CreateFile()
{
  CloseFile();
  const QString name = NewTempFile();  // throws with the system's message
  auto file = std::make_unique<QFile>(name);
  if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw std::runtime_error(file->errorString().toStdString());
  m_file = std::move(file);
  FileName = name;
}

bool TmeasMemStream::Append(const char* data, qint64 size)
{
  return m_file && m_file->isWritable() && m_file->write(data, size) == size;
}

void TmeasMemStream::CloseFile() { m_file.reset(); }

bool TmeasMemStream::ReadAt(qint64 offset, char* data, qint64 size)
{
  return m_file && offset >= 0 && m_file->seek(offset) && m_file->read(data, size) == size;
}

bool TmeasMemStream::Open(const QString& fileName)
{
  CloseFile();
  FileName = fileName;
  RecordCount = ColumnCount = DataOffset = RecordSize = 0;
  Ids.clear();
  Serie.Entries.clear();
  auto file = std::make_unique<QFile>(fileName);
  if (!file->open(QIODevice::ReadOnly)) {
    m_error = file->errorString();
    return false;
  }
  m_file = std::move(file);
  const qint64 size = m_file->size();
  char header[kHeaderSize];
  if (!ReadAt(0, header, kHeaderSize)) {
    m_error = QStringLiteral("series file shorter than its header");
    CloseFile();
    return false;
  }
  const quint32 columns = qFromLittleEndian<quint32>(header);
  const quint32 dataOffset = qFromLittleEndian<quint32>(header + 4);
  const quint32 recordSize = qFromLittleEndian<quint32>(header + 8);
  // Each check keeps a later read inside the file: a column count the ids
  // cannot fit, a record size that disagrees with it, or data that would
  // start inside the id table or past the end.
  const qint64 idsEnd = kHeaderSize + 4 * static_cast<qint64>(columns);
  if (columns > kMaxColumns || recordSize != 8 + kItemSize * columns || idsEnd > size ||
      dataOffset < idsEnd || dataOffset > size) {
    m_error = QStringLiteral("series file header is not consistent");
    CloseFile();
    return false;
  }
  QByteArray idBytes(static_cast<qsizetype>(4 * columns), Qt::Uninitialized);
  if (!ReadAt(kHeaderSize, idBytes.data(), idBytes.size())) {
    m_error = QStringLiteral("series file ids cannot be read");
    CloseFile();
    return false;
  }
  ColumnCount = columns;
  DataOffset = dataOffset;
  RecordSize = recordSize;
  // As the installation has always counted: (size - 12) / RecordSize, in
  // 64 bits; records that would reach past the end are not offered.
  qint64 count = (size - kHeaderSize) / recordSize;
  while (count > 0 && RecordOffset(static_cast<quint32>(count - 1)) + recordSize > size)
    --count;
  RecordCount = static_cast<quint32>(std::min<qint64>(count, 0xFFFFFFFFLL));
  for (quint32 i = 0; i < columns; ++i)
    Ids.push_back(qFromLittleEndian<qint32>(idBytes.constData() + 4 * i));
  Serie.SetIds(Ids);
  m_error.clear();
  return true;
}

qint64 TmeasMemStream::RecordOffset(quint32 index) const
{
  return static_cast<qint64>(DataOffset) + static_cast<qint64>(index) * RecordSize;
}

int TmeasMemStream::ReadTime(quint32 index, double& time)
{
  char bytes[8];
  if (index >= RecordCount || !ReadAt(RecordOffset(index), bytes, 8))
    return -1;
  time = qFromLittleEndian<double>(bytes);
  return 0;
}

int TmeasMemStream::ReadRecord(quint32 index)
{
  if (index >= RecordCount)
    return -1;
  QByteArray record(static_cast<qsizetype>(RecordSize), Qt::Uninitialized);
  if (!ReadAt(RecordOffset(index), record.data(), record.size()))
    return -1;
  const double time = qFromLittleEndian<double>(record.constData());
  const int columns = std::min<int>(static_cast<int>(ColumnCount), Serie.Entries.size());
  for (int c = 0; c < columns; ++c) {
    const char* item = record.constData() + 8 + kItemSize * c;
    TmeasRec& entry = Serie.Entries[c];
    entry.Time = time;
    entry.HasValue = item[0] != 0;
    entry.Value = qFromLittleEndian<double>(item + 8);
    entry.Status = qFromLittleEndian<qint32>(item + 16);
  }
  return 0;
}

int TmeasMemStream::ReadItem(quint32 row, quint32 column, TInUnitV4*& channel, double& value,
                             qint32& status)
{
  if (row >= RecordCount || column >= ColumnCount)
    return -1;
  char item[kItemSize];
  if (!ReadAt(RecordOffset(row) + 8 + kItemSize * column, item, kItemSize))
    return -1;
  channel = static_cast<int>(column) < Serie.Entries.size() ? Serie.Entries[column].Channel
                                                            : nullptr;
  if (item[0] == 0) {
    value = 0;
    status = 0;
    return 1;
  }
  value = qFromLittleEndian<double>(item + 8);
  status = qFromLittleEndian<qint32>(item + 16);
  return 0;
}
