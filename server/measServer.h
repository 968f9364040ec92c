#pragma once

// The measurement server of a test or demonstration installation: speaks the
// terminal's server link, simulates the installation's devices, keeps the
// values in monthly measurement databases and answers series requests from
// them.
//
// Threads: the network thread owns the listening socket and every connection
// (an event loop; other threads reach it only through queued calls); the
// generator thread makes one set of values per measuring period; a series
// worker builds series answers, so a slow query never holds up current values;
// the database writer stores what the generator makes. Stop() ends and joins
// all of them.

#include "comm/tcpRecord.h"
#include "server/seriesFile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

struct TServerOptions {
  QString Host = QStringLiteral("127.0.0.1");
  // 0: any free port.
  quint16 Port = 0;
  // Folder of the server's monthly measurement databases (created if missing).
  QString DataDir;
  // Folder with types.xml and main.xml; empty: the shipped demo installation.
  QString DocsDir;
  // > 0: a synthetic installation of this many units with SyntheticChannels
  // input channels each, instead of reading documents.
  int SyntheticUnits = 0;
  int SyntheticChannels = 8;
  // Measuring period.
  qint64 PeriodMs = 5000;
  quint64 Seed = 1;
  // Days of history written at the measuring period before serving.
  int HistoryDays = 0;
  // Answer every log-on with non-zero words (tests).
  bool RefuseLogOn = false;
};

// Where series answers come from (by default the month databases).
class ISeriesSource {
 public:
  virtual ~ISeriesSource() = default;
  // Builds a complete series file for the request (columns in the order of
  // the request's ids, unknown ids → column id -1 without values). Called on
  // the series worker thread, one call at a time, never on the network thread.
  virtual bool Build(const TSeriesRequest& request, QByteArray& seriesFile, QString* error) = 0;
};

class TMeasServer {
 public:
  // Bytes a connection may leave unread before it is dropped: a terminal
  // that stopped reading must not make the server buffer without bound.
  static constexpr qint64 kMaxPendingOutput = 256ll * 1024 * 1024;
  // The largest record a terminal sends is a series request of 1001 ids;
  // anything far beyond is not this protocol.
  static constexpr quint32 kMaxRequestPayload = 64u * 1024u;
  // Current values go out in records of at most this many entries.
  static constexpr int kMaxValuesPerRecord = 1001;

  explicit TMeasServer(TServerOptions options);
  ~TMeasServer();  // Stop()
  TMeasServer(const TMeasServer&) = delete;
  TMeasServer& operator=(const TMeasServer&) = delete;

  // Loads or generates the documents, builds the configuration, pre-fills the
  // history, opens the databases, listens and starts generating. False (with
  // *error) when any step failed; nothing is left running then.
  // Thread contract: any thread (not concurrently with Stop).
  bool Start(QString* error);
  // Idempotent; closes every connection, stops and joins every thread.
  // Thread contract: any thread but the network thread.
  void Stop();

  // Thread contract (all below): any thread.
  quint16 Port() const;
  QByteArray TypesDocument() const;
  QByteArray MainDocument() const;
  // Before Start; without one the month databases answer.
  void SetSeriesSource(std::unique_ptr<ISeriesSource> source);

  // Test and diagnostic seams:
  // Generates and pushes one period at once (the period timer runs on undisturbed).
  void PushNow();
  // The next generated value of that channel is exactly this.
  void InjectValue(qint32 logId, double value, qint32 errCode);
  // The entries of the last generated period.
  QVector<TCurrentValue> LastSent() const;
  int ConnectionCount() const;

  class TImpl;

 private:
  std::unique_ptr<TImpl> m_impl;
};
