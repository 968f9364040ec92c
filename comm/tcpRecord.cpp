#include "comm/tcpRecord.h"

#include <QtEndian>

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

std::optional<TRecord> TRecordReader::Next(bool* broken)
{
  if (broken != nullptr)
    *broken = false;
  if (m_buffer.size() < kRecordHeaderSize)
    return std::nullopt;
  const quint32 length = Get<quint32>(m_buffer, 1);
  if (length > kMaxPayload) {
    m_error = QStringLiteral("record of %1 bytes exceeds the limit of %2").arg(length).arg(kMaxPayload);
    if (broken != nullptr)
      *broken = true;
    return std::nullopt;
  }
  if (m_buffer.size() < kRecordHeaderSize + static_cast<qsizetype>(length))
    return std::nullopt;
  TRecord record;
  record.Type = static_cast<quint8>(m_buffer.at(0));
  record.Data = m_buffer.mid(kRecordHeaderSize, length);
  m_buffer.remove(0, kRecordHeaderSize + length);
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

std::optional<bool> ParseLogOnAnswer(const QByteArray& payload)
{
  if (payload.size() < 16)
    return std::nullopt;
  return Get<quint32>(payload, 8) == 0 && Get<quint32>(payload, 12) == 0;
}

bool ParseCurrentValues(const QByteArray& payload, QVector<TCurrentValue>& values)
{
  values.clear();
  if (payload.size() < 4)
    return false;
  const qint32 count = Get<qint32>(payload, 0);
  if (count < 0 || count > kMaxCurrentValues ||
      4 + static_cast<qint64>(count) * kCurrentEntrySize > payload.size())
    return false;
  values.reserve(count);
  for (qint32 i = 0; i < count; ++i) {
    const qsizetype at = 4 + i * kCurrentEntrySize;
    values.push_back({Get<qint32>(payload, at), Get<double>(payload, at + 4),
                      Get<double>(payload, at + 12), Get<qint32>(payload, at + 20)});
  }
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
