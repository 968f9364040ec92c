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
// The largest payload a peer of the original design ever sends; senders keep
// to it (series chunks, documents are cut or refused above it).
inline constexpr quint32 kMaxPayload = 500001;
// What a reader accepts: records are held in growing buffers, so anything up
// to this hard cap is read; a longer length means the peer does not speak
// this protocol and the connection is closed.
inline constexpr quint32 kMaxRecordPayload = 64u * 1024u * 1024u;
// A series request block carries at most this many channel ids.
inline constexpr qint32 kMaxSeriesIds = 1001;

QByteArray EncodeRecord(quint8 type, const QByteArray& payload = QByteArray());

// Collects bytes as they arrive and hands out complete records only.
// Thread contract: one thread (the receiving thread) at a time.
class TRecordReader {
 public:
  explicit TRecordReader(quint32 maxPayload = kMaxRecordPayload) : m_maxPayload(maxPayload) {}
  void Append(const QByteArray& bytes);
  void Append(const char* data, qsizetype size);
  // The next complete record, or nullopt when more bytes are needed or the
  // stream is broken (*broken set, with the reason in Error()): a length
  // beyond the record buffer means the peer does not speak this protocol.
  std::optional<TRecord> Next(bool* broken);
  QString Error() const { return m_error; }
  qsizetype Buffered() const { return m_buffer.size() - m_pos; }
  void Clear();

 private:
  QByteArray m_buffer;
  // Consumed bytes stay in front until they are worth moving out, so a burst
  // of small records does not shift the buffer once per record.
  qsizetype m_pos = 0;
  quint32 m_maxPayload;
  QString m_error;
};

// ---- payloads sent by the terminal ----
QByteArray LogOnPayload(quint16 major, quint16 minor, quint16 release, quint16 build);
// Null when there are more ids than a request carries.
std::optional<QByteArray> SeriesRequestPayload(double from, double to, quint8 flag,
                                               const QVector<qint32>& ids);

// ---- payloads received by the server ----
// Version words of a log-on; nullopt when the payload is too short for them.
struct TLogOnVersion {
  quint16 Major = 0, Minor = 0, Release = 0, Build = 0;
};
std::optional<TLogOnVersion> ParseLogOn(const QByteArray& payload);

struct TSeriesRequest {
  double From = 0;
  double To = 0;
  quint8 Flag = 0;
  QVector<qint32> Ids;
};
// nullopt for a short payload, a count below 0 or above kMaxSeriesIds, or a
// count the payload does not carry.
std::optional<TSeriesRequest> ParseSeriesRequest(const QByteArray& payload);

// ---- payloads sent by the server ----
// 16 bytes: 8 unexamined bytes, then the two words that are 0 on acceptance.
QByteArray LogOnAnswerPayload(bool accepted);
QByteArray SeriesChunkPayload(bool last, const char* data, quint32 size);

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
// The count comes from the payload and is not trusted: a negative count
// gives no entries, and no more entries are read than the payload holds
// (bytes after the last whole entry are ignored). False only when the
// payload has no count at all.
bool ParseCurrentValues(const QByteArray& payload, QVector<TCurrentValue>& values);
// Entries the payload carries by the rule above (0 without a count); the
// receiving thread walks them in place with CurrentValueAt.
qint32 CurrentValueCount(const QByteArray& payload);
TCurrentValue CurrentValueAt(const QByteArray& payload, qint32 index);
QByteArray CurrentValuesPayload(const QVector<TCurrentValue>& values);

// False for a payload shorter than its chunk length says.
bool ParseSeriesChunk(const QByteArray& payload, bool& last, QByteArray& data);
