#pragma once

// Records on the server link: a type byte, a 32-bit little-endian payload
// length and the payload, with no terminator, checksum or padding. The
// payload builders and parsers of the record types live here, apart from the
// socket, so every length and count from the network is checked in one place.

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

enum TRecordType : quint8 {
  RecLogOn = 1,
  RecTypeDefinitions = 2,
  RecMainDefinitions = 3,
  RecCurrentValues = 4,
  RecSeriesRequest = 5,
  RecSeriesChunk = 6,
};

struct TRecord {
  quint8 Type = 0;
  QByteArray Data;
};

inline constexpr qint64 kRecordHeaderSize = 5;
// Each direction has one record buffer: a payload never exceeds this.
inline constexpr quint32 kMaxPayload = 500001;
inline constexpr qint32 kMaxCurrentValues = 1001;
inline constexpr qint32 kMaxSeriesIds = 1001;

QByteArray EncodeRecord(quint8 type, const QByteArray& payload = QByteArray());

// Collects bytes as they arrive and hands out complete records only.
// Thread contract: one thread (the receiving thread) at a time.
class TRecordReader {
 public:
  void Append(const QByteArray& bytes) { m_buffer.append(bytes); }
  // The next complete record, or nullopt when more bytes are needed or the
  // stream is broken (*broken set, with the reason in Error()): a length
  // beyond the record buffer means the peer does not speak this protocol.
  std::optional<TRecord> Next(bool* broken);
  QString Error() const { return m_error; }
  qsizetype Buffered() const { return m_buffer.size(); }

 private:
  QByteArray m_buffer;
  QString m_error;
};

// ---- payloads sent by the terminal ----
QByteArray LogOnPayload(quint16 major, quint16 minor, quint16 release, quint16 build);
// Null when there are more ids than a request carries.
std::optional<QByteArray> SeriesRequestPayload(double from, double to, quint8 flag,
                                               const QVector<qint32>& ids);

// ---- payloads received by the terminal ----
// nullopt for a payload shorter than 16 bytes; otherwise whether the server
// accepted the terminal (both words at 8 and 12 are 0).
std::optional<bool> ParseLogOnAnswer(const QByteArray& payload);

struct TCurrentValue {
  qint32 LogId = 0;
  double Time = 0;
  double Value = 0;
  qint32 ErrCode = 0;
};
// False for a negative count, more entries than the buffer holds, or a count
// the payload does not carry.
bool ParseCurrentValues(const QByteArray& payload, QVector<TCurrentValue>& values);
QByteArray CurrentValuesPayload(const QVector<TCurrentValue>& values);

// False for a payload shorter than its chunk length says.
bool ParseSeriesChunk(const QByteArray& payload, bool& last, QByteArray& data);
