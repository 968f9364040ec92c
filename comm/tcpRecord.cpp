#include "comm/tcpRecord.h"

#include <QtEndian>

#include <algorithm>

namespace {

template <typename T>
void Put(QByteArray& out, T value)
{
  char bytes[sizeof(T)];
  qToLittleEndian(value, bytes);
  out.append(bytes, sizeof(T));
}

template <typename T>
T Get(const QByteArray& in, qsizetype offset)
{
  return qFromLittleEndian<T>(in.constData() + offset);
}

constexpr qsizetype kCurrentEntrySize = 24;

}  // namespace

QByteArray EncodeRecord(quint8 type, const QByteArray& payload)
{
  QByteArray out;
  out.reserve(kRecordHeaderSize + payload.size());
  out.append(static_cast<char>(type));
  Put<quint32>(out, static_cast<quint32>(payload.size()));
  out.append(payload);
  return out;
}

void TRecordReader::Append(const QByteArray& bytes) { Append(bytes.constData(), bytes.size()); }

void TRecordReader::Append(const char* data, qsizetype size)
{
  if (m_pos > 0 && (m_pos == m_buffer.size() || m_pos >= 64 * 1024)) {
    m_buffer.remove(0, m_pos);
    m_pos = 0;
  }
  m_buffer.append(data, size);
}

void TRecordReader::Clear()
{
  m_buffer.clear();
  m_pos = 0;
}

std::optional<TRecord> TRecordReader::Next(bool* broken)
{
  if (broken != nullptr)
    *broken = false;
  const qsizetype available = m_buffer.size() - m_pos;
  if (available < kRecordHeaderSize)
    return std::nullopt;
  const quint32 length = Get<quint32>(m_buffer, m_pos + 1);
  if (length > m_maxPayload) {
    m_error = QStringLiteral("record of %1 bytes exceeds the limit of %2")
                  .arg(length)
                  .arg(m_maxPayload);
    if (broken != nullptr)
      *broken = true;
    return std::nullopt;
  }
  if (available < kRecordHeaderSize + static_cast<qsizetype>(length))
    return std::nullopt;
  TRecord record;
  record.Type = static_cast<quint8>(m_buffer.at(m_pos));
  record.Data = QByteArray(m_buffer.constData() + m_pos + kRecordHeaderSize, length);
  m_pos += kRecordHeaderSize + length;
  return record;
}

QByteArray LogOnPayload(quint16 major, quint16 minor, quint16 release, quint16 build)
{
  QByteArray out;
  Put<quint16>(out, major);
  Put<quint16>(out, minor);
  Put<quint16>(out, release);
  Put<quint16>(out, build);
  Put<quint32>(out, 0);
  Put<quint32>(out, 0);
  out.append('\0');
  return out;
}

std::optional<QByteArray> SeriesRequestPayload(double from, double to, quint8 flag,
                                               const QVector<qint32>& ids)
{
  if (ids.size() > kMaxSeriesIds)
    return std::nullopt;
  QByteArray out;
  Put<double>(out, from);
  Put<double>(out, to);
  out.append(static_cast<char>(flag));
  Put<qint32>(out, static_cast<qint32>(ids.size()));
  for (qint32 id : ids)
    Put<qint32>(out, id);
  return out;
}

std::optional<TLogOnVersion> ParseLogOn(const QByteArray& payload)
{
  if (payload.size() < 8)
    return std::nullopt;
  return TLogOnVersion{Get<quint16>(payload, 0), Get<quint16>(payload, 2),
                       Get<quint16>(payload, 4), Get<quint16>(payload, 6)};
}

std::optional<TSeriesRequest> ParseSeriesRequest(const QByteArray& payload)
{
  if (payload.size() < 21)
    return std::nullopt;
  const qint32 count = Get<qint32>(payload, 17);
  if (count < 0 || count > kMaxSeriesIds || 21 + 4 * static_cast<qint64>(count) > payload.size())
    return std::nullopt;
  TSeriesRequest request;
  request.From = Get<double>(payload, 0);
  request.To = Get<double>(payload, 8);
  request.Flag = static_cast<quint8>(payload.at(16));
  request.Ids.reserve(count);
  for (qint32 i = 0; i < count; ++i)
    request.Ids.push_back(Get<qint32>(payload, 21 + 4 * i));
  return request;
}

QByteArray LogOnAnswerPayload(bool accepted)
{
  QByteArray out(8, '\0');
  Put<quint32>(out, accepted ? 0 : 1);
  Put<quint32>(out, accepted ? 0 : 1);
  return out;
}

QByteArray SeriesChunkPayload(bool last, const char* data, quint32 size)
{
  QByteArray out;
  out.reserve(5 + static_cast<qsizetype>(size));
  out.append(last ? '\1' : '\0');
  Put<quint32>(out, size);
  out.append(data, size);
  return out;
}

std::optional<bool> ParseLogOnAnswer(const QByteArray& payload)
{
  if (payload.size() < 16)
    return std::nullopt;
  return Get<quint32>(payload, 8) == 0 && Get<quint32>(payload, 12) == 0;
}

qint32 CurrentValueCount(const QByteArray& payload)
{
  if (payload.size() < 4)
    return 0;
  const qint64 count = Get<qint32>(payload, 0);
  const qint64 fits = (payload.size() - 4) / kCurrentEntrySize;
  return static_cast<qint32>(std::clamp<qint64>(count, 0, fits));
}

TCurrentValue CurrentValueAt(const QByteArray& payload, qint32 index)
{
  const qsizetype at = 4 + static_cast<qsizetype>(index) * kCurrentEntrySize;
  return {Get<qint32>(payload, at), Get<double>(payload, at + 4), Get<double>(payload, at + 12),
          Get<qint32>(payload, at + 20)};
}

bool ParseCurrentValues(const QByteArray& payload, QVector<TCurrentValue>& values)
{
  values.clear();
  if (payload.size() < 4)
    return false;
  const qint32 count = CurrentValueCount(payload);
  values.reserve(count);
  for (qint32 i = 0; i < count; ++i)
    values.push_back(CurrentValueAt(payload, i));
  return true;
}

QByteArray CurrentValuesPayload(const QVector<TCurrentValue>& values)
{
  QByteArray out;
  Put<qint32>(out, static_cast<qint32>(values.size()));
  for (const TCurrentValue& v : values) {
    Put<qint32>(out, v.LogId);
    Put<double>(out, v.Time);
    Put<double>(out, v.Value);
    Put<qint32>(out, v.ErrCode);
  }
  return out;
}

bool ParseSeriesChunk(const QByteArray& payload, bool& last, QByteArray& data)
{
  data.clear();
  if (payload.size() < 5)
    return false;
  last = payload.at(0) != 0;
  const quint32 length = Get<quint32>(payload, 1);
  if (static_cast<qint64>(length) > payload.size() - 5)
    return false;
  data = payload.mid(5, length);
  return true;
}
