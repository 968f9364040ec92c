#pragma once

// The status log: a growing list of time-stamped messages (errors and
// information) and the status entries shown one at a time in the status bar.
//
// The global operations below may be called from any thread. They take the
// time at the call and post a copy to the UI thread; the caller never blocks.
// The model and the rotation state live in the UI thread only.

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <deque>

enum TLogKind : quint8 { LogError = 0, LogInfo = 1 };

// A status entry is addressed by an id owned by the worker that created it;
// 0 means "no entry".
using TStatusEntryId = quint32;

// Thread contract (all five): any thread, non-blocking.
void AddLogMessage(const QString& text, int kind);
// Returns 0 when no status log exists, so every later call with it is a no-op.
TStatusEntryId NewStatusEntry();
void FreeStatusEntry(TStatusEntryId& entry);  // clears the caller's id
void SetStatusEntry(TStatusEntryId entry, const QString& text, int value, bool visible);
void ShowStatusEntry(TStatusEntryId entry);

// The application's show-main-form flag: status entries are not displayed
// before the main window has been shown. Thread contract: any thread.
void SetMainFormShown(bool shown);
bool MainFormShown();

// ---------------------------------------------------------------------------
// UI-thread side.

struct TLogEntry {
  QDateTime Time;
  QString Text;
  quint8 Kind = LogInfo;
};

struct TStatusEntry {
  TStatusEntryId Id = 0;
  QDateTime Time;
  QString Text;
  int Value = -1;  // gauge progress; -1 hides the gauge
  bool Visible = false;
};

// The event list. Only the newest MaxRows messages are kept: the terminal runs
// for months and a chatty connection would otherwise eat memory without bound.
class TEventListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int MaxRows = 10000;
  static constexpr int DateColumn = 0;
  static constexpr int DescriptionColumn = 1;

  explicit TEventListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  void Append(TLogEntry entry);
  const TLogEntry& Entry(int row) const { return m_entries[static_cast<size_t>(row)]; }
  // The captions go through Tr() on every request; this only makes views ask again.
  void Retranslate();

 private:
  std::deque<TLogEntry> m_entries;
};

// Holds the event list and the status entries; exactly one exists while the
// application runs and the global operations reach it. GUI thread only.
class TStatusLog : public QObject {
  Q_OBJECT
 public:
  explicit TStatusLog(QObject* parent = nullptr);
  ~TStatusLog() override;

  TEventListModel* Model() const { return m_model; }

  // Applying the operations posted by the global functions. Public so that the
  // frame and the tests can drive the log without the event loop.
  void AddEntry(const QDateTime& time, const QString& text, int kind);
  void CreateStatusEntry(TStatusEntryId id);
  void RemoveStatusEntry(TStatusEntryId id);
  void UpdateStatusEntry(TStatusEntryId id, const QDateTime& time, const QString& text,
                         int value, bool visible);
  // Shows the entry unless another entry owns the status bar right now.
  void DisplayEntry(TStatusEntryId id);
  // One step of the rotation; the frame's timer calls it every second.
  void Tick();

  int Cursor() const { return m_cursor; }
  TStatusEntryId CurrentEntry() const { return m_currentEntry; }
  int StatusEntryCount() const { return static_cast<int>(m_statusEntries.size()); }
  const TStatusEntry* FindStatusEntry(TStatusEntryId id) const;
  // What the status bar shows now (-1: gauge hidden).
  QString DisplayedText() const { return m_displayedText; }
  int DisplayedValue() const { return m_displayedValue; }

 Q_SIGNALS:
  void logVisibilityRequested(bool show);
  void statusDisplayed(const QString& text, int value);
  // The shown entry stays at least one full interval before the rotation moves on.
  void restartRotationTimer();

 private:
  int IndexOf(TStatusEntryId id) const;
  void Display(const TStatusEntry* entry);

  TEventListModel* m_model;
  QList<TStatusEntry> m_statusEntries;  // creation order
  TStatusEntryId m_currentEntry = 0;
  int m_cursor = -1;
  QString m_displayedText;
  int m_displayedValue = -1;
};

// The process-wide status log, or nullptr before it is created and after it is
// destroyed. Thread contract: any thread may read it; only the UI thread may use
// the object.
TStatusLog* StatusLog();
// Creates the status log; call once on the UI thread after UiBridge::install().
TStatusLog* CreateStatusLog(QObject* parent = nullptr);
