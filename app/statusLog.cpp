#include "app/statusLog.h"

#include "app/translation.h"
#include "app/uiBridge.h"

#include <QColor>
#include <QFont>

#include <atomic>
#include <utility>

namespace {

std::atomic<TStatusLog*> g_statusLog{nullptr};
std::atomic<bool> g_mainFormShown{false};
std::atomic<TStatusEntryId> g_lastEntryId{0};

const QString kDateFormat = QStringLiteral("yyyy.MM.dd HH:mm:ss");

// Runs fn against the status log on the UI thread. The log is looked up again
// there: it may have been destroyed between the post and the delivery.
template <typename Fn>
void PostToLog(Fn fn)
{
  if (g_statusLog.load(std::memory_order_acquire) == nullptr)
    return;
  UiBridge::postToUi([fn = std::move(fn)]() {
    if (TStatusLog* log = g_statusLog.load(std::memory_order_acquire))
      fn(*log);
  });
}

}  // namespace

// ---------------------------------------------------------------------------
// Global operations

void AddLogMessage(const QString& text, int kind)
{
  const QDateTime now = QDateTime::currentDateTime();
  PostToLog([now, text, kind](TStatusLog& log) { log.AddEntry(now, text, kind); });
}

TStatusEntryId NewStatusEntry()
{
  if (g_statusLog.load(std::memory_order_acquire) == nullptr)
    return 0;
  TStatusEntryId id = g_lastEntryId.fetch_add(1, std::memory_order_relaxed) + 1;
  if (id == 0)  // wrapped around: 0 is reserved for "no entry"
    id = g_lastEntryId.fetch_add(1, std::memory_order_relaxed) + 1;
  PostToLog([id](TStatusLog& log) { log.CreateStatusEntry(id); });
  return id;
}

void FreeStatusEntry(TStatusEntryId& entry)
{
  if (entry == 0)
    return;
  const TStatusEntryId id = std::exchange(entry, 0);
  PostToLog([id](TStatusLog& log) { log.RemoveStatusEntry(id); });
}

void SetStatusEntry(TStatusEntryId entry, const QString& text, int value, bool visible)
{
  if (entry == 0)
    return;
  const QDateTime now = QDateTime::currentDateTime();
  // The flag counts as of the call, like the rest of the data.
  const bool show = MainFormShown();
  PostToLog([=](TStatusLog& log) {
    log.UpdateStatusEntry(entry, now, text, value, visible);
    if (show)
      log.DisplayEntry(entry);
  });
}

void ShowStatusEntry(TStatusEntryId entry)
{
  if (entry == 0 || !MainFormShown())
    return;
  PostToLog([entry](TStatusLog& log) { log.DisplayEntry(entry); });
}

void SetMainFormShown(bool shown) { g_mainFormShown.store(shown, std::memory_order_release); }

bool MainFormShown() { return g_mainFormShown.load(std::memory_order_acquire); }

TStatusLog* StatusLog() { return g_statusLog.load(std::memory_order_acquire); }

TStatusLog* CreateStatusLog(QObject* parent)
{
  Q_ASSERT(UiBridge::onUiThread());
  return new TStatusLog(parent);
}

// ---------------------------------------------------------------------------
// TEventListModel

TEventListModel::TEventListModel(QObject* parent) : QAbstractTableModel(parent) {}

int TEventListModel::rowCount(const QModelIndex& parent) const
{
  return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int TEventListModel::columnCount(const QModelIndex& parent) const
{
  return parent.isValid() ? 0 : 2;
}

QVariant TEventListModel::data(const QModelIndex& index, int role) const
{
  if (!index.isValid() || index.row() >= rowCount())
    return {};
  const TLogEntry& entry = Entry(index.row());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      if (index.column() == DateColumn)
        return entry.Time.toString(kDateFormat);
      // Messages keep their catalogue form; only the view drops the bare CRs.
      return DisplayText(entry.Text);
    case Qt::ForegroundRole:
      if (entry.Kind == LogError)
        return QColor(Qt::red);
      return {};
    case Qt::FontRole:
      if (entry.Kind == LogError) {
        QFont font;
        font.setBold(true);
        return font;
      }
      return {};
    default:
      return {};
  }
}

QVariant TEventListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return QAbstractTableModel::headerData(section, orientation, role);
  if (section == DateColumn)
    return Tr("Date");
  if (section == DescriptionColumn)
    return Tr("Description");
  return {};
}

Qt::ItemFlags TEventListModel::flags(const QModelIndex& index) const
{
  if (!index.isValid())
    return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TEventListModel::Append(TLogEntry entry)
{
  if (m_entries.size() >= static_cast<size_t>(MaxRows)) {
    beginRemoveRows(QModelIndex(), 0, 0);
    m_entries.pop_front();
    endRemoveRows();
  }
  const int row = static_cast<int>(m_entries.size());
  beginInsertRows(QModelIndex(), row, row);
  m_entries.push_back(std::move(entry));
  endInsertRows();
}

void TEventListModel::Retranslate()
{
  Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

// ---------------------------------------------------------------------------
// TStatusLog

TStatusLog::TStatusLog(QObject* parent) : QObject(parent), m_model(new TEventListModel(this))
{
  g_statusLog.store(this, std::memory_order_release);
}

TStatusLog::~TStatusLog()
{
  // Only clear the reference if it is still ours (a replacement may exist).
  TStatusLog* self = this;
  g_statusLog.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

void TStatusLog::AddEntry(const QDateTime& time, const QString& text, int kind)
{
  const quint8 k = kind == LogError ? LogError : LogInfo;
  m_model->Append(TLogEntry{time, text, k});
  if (k == LogError)
    Q_EMIT logVisibilityRequested(true);
}

void TStatusLog::CreateStatusEntry(TStatusEntryId id)
{
  if (id == 0 || IndexOf(id) >= 0)
    return;
  TStatusEntry entry;
  entry.Id = id;
  entry.Time = QDateTime::currentDateTime();
  m_statusEntries.append(entry);
}

void TStatusLog::RemoveStatusEntry(TStatusEntryId id)
{
  const int index = IndexOf(id);
  if (index < 0)
    return;
  m_statusEntries.removeAt(index);
  // Keep the cursor on the entry before the removed one so that the next
  // rotation step lands on the entry that followed it.
  if (index <= m_cursor)
    --m_cursor;
  if (m_cursor >= StatusEntryCount())
    m_cursor = StatusEntryCount() - 1;
  if (m_statusEntries.isEmpty())
    m_cursor = -1;
  if (m_currentEntry == id) {
    m_currentEntry = 0;
    Display(nullptr);
  }
}

void TStatusLog::UpdateStatusEntry(TStatusEntryId id, const QDateTime& time, const QString& text,
                                   int value, bool visible)
{
  const int index = IndexOf(id);
  if (index < 0)
    return;
  TStatusEntry& entry = m_statusEntries[index];
  entry.Time = time;
  entry.Text = text;
  entry.Value = value;
  entry.Visible = visible;
}

void TStatusLog::DisplayEntry(TStatusEntryId id)
{
  const int index = IndexOf(id);
  if (index < 0)
    return;
  if (m_currentEntry == 0 || m_currentEntry == id)
    Display(&m_statusEntries.at(index));
}

void TStatusLog::Tick()
{
  const int count = StatusEntryCount();
  const TStatusEntry* found = nullptr;
  for (int step = 0; step <= count && found == nullptr; ++step) {
    if (count == 0) {
      m_cursor = -1;
      break;
    }
    m_cursor = m_cursor + 1 >= count ? 0 : m_cursor + 1;
    if (m_statusEntries.at(m_cursor).Visible)
      found = &m_statusEntries.at(m_cursor);
  }
  if (found == nullptr) {
    m_currentEntry = 0;
    m_cursor = -1;
  } else {
    m_currentEntry = found->Id;
  }
  Display(found);
}

const TStatusEntry* TStatusLog::FindStatusEntry(TStatusEntryId id) const
{
  const int index = IndexOf(id);
  return index < 0 ? nullptr : &m_statusEntries.at(index);
}

int TStatusLog::IndexOf(TStatusEntryId id) const
{
  if (id == 0)
    return -1;
  for (int i = 0; i < m_statusEntries.size(); ++i) {
    if (m_statusEntries.at(i).Id == id)
      return i;
  }
  return -1;
}

void TStatusLog::Display(const TStatusEntry* entry)
{
  // Copied before emitting: a slot may change the entry list.
  m_displayedText = entry != nullptr ? entry->Text : QString();
  m_displayedValue = entry != nullptr ? entry->Value : -1;
  Q_EMIT restartRotationTimer();
  const QString text = m_displayedText;
  Q_EMIT statusDisplayed(text, m_displayedValue);
}
