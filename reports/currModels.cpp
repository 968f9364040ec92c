#include "reports/currModels.h"

#include "app/commonClass.h"
#include "app/dateTimeDouble.h"
#include "app/textFormat.h"
#include "app/translation.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace {

// Red as the table's colour values write it (blue-green-red byte order).
constexpr qint32 kMarkColor = 0x0000FF;

// Background of the value columns; name and unit keep the view's own.
constexpr qint32 kColumnColors[TCurrTableModel::ColumnCount] = {-1,       -1,       0xF4FFF4,
                                                                0xF4FFFF, 0xF4F4FF, 0xFFF4F4};

// Codes that still carry a measured number: valid, below and above the limits.
bool HasNumber(qint32 errCode)
{
  return errCode == 0 || errCode == -3 || errCode == -4;
}

QString ValueText(double value, qint32 decimals)
{
  // Decimals come from definition data; a negative or huge precision must not
  // turn into a default or a page-wide string.
  if (!std::isfinite(value))
    return QStringLiteral("???");
  const int precision = std::clamp<qint32>(decimals, 0, 9);
  return Format(QStringLiteral("%.*f"), {precision, value}, nullptr, QLocale());
}

}  // namespace

// ---- current table ----------------------------------------------------------

TCurrTableModel::TCurrTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int TCurrTableModel::rowCount(const QModelIndex& parent) const
{
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TCurrTableModel::columnCount(const QModelIndex& parent) const
{
  return parent.isValid() ? 0 : ColumnCount;
}

QString TCurrTableModel::CellText(const TCurrRow& row, int column)
{
  switch (column) {
    case ColName:
      return row.Name;
    case ColUnit:
      return QLatin1Char('[') + row.PhUnit + QLatin1Char(']');
    default:
      break;
  }
  if (row.StatCount == 0)
    return QStringLiteral("---");
  switch (column) {
    case ColCurr:
      return HasNumber(row.ErrCode) ? ValueText(row.Value, row.Decimals) : QStringLiteral("???");
    case ColAvg:
      return ValueText(row.Avg, row.Decimals);
    case ColMax:
      return ValueText(row.MaxValue, row.Decimals);
    case ColMin:
      return ValueText(row.MinValue, row.Decimals);
    default:
      return {};
  }
}

qint32 TCurrTableModel::CellMark(const TCurrRow& row, int column)
{
  switch (column) {
    case ColCurr:
      return row.ErrCode;
    case ColAvg:
      return row.AvgMark;
    case ColMax:
      return row.MaxMark;
    case ColMin:
      return row.MinMark;
    default:
      return 0;
  }
}

QColor TCurrTableModel::ColumnBackground(int column)
{
  if (column < 0 || column >= ColumnCount || kColumnColors[column] < 0)
    return {};
  return ColorFromBGR(kColumnColors[column]);
}

QVariant TCurrTableModel::data(const QModelIndex& index, int role) const
{
  if (!index.isValid() || index.row() >= m_rows.size())
    return {};
  const TCurrRow& row = m_rows.at(index.row());
  switch (role) {
    case Qt::DisplayRole:
      return CellText(row, index.column());
    case Qt::ForegroundRole:
      if (CellMark(row, index.column()) != 0)
        return ColorFromBGR(kMarkColor);
      return {};
    case Qt::BackgroundRole: {
      const QColor color = ColumnBackground(index.column());
      return color.isValid() ? QVariant(color) : QVariant();
    }
    case Qt::TextAlignmentRole:
      return index.column() == ColName ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                       : int(Qt::AlignCenter);
    default:
      return {};
  }
}

QVariant TCurrTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return QAbstractTableModel::headerData(section, orientation, role);
  static const char* const captions[ColumnCount] = {
      TrNoop("Device name"),      TrNoop("[Unit]"),          TrNoop("Curr. measurement"),
      TrNoop("Avg. measurement"), TrNoop("Max measurement"), TrNoop("Min measurement")};
  if (section < 0 || section >= ColumnCount)
    return {};
  return Tr(captions[section]);
}

void TCurrTableModel::applyReset(const QVector<TCurrRow>& rows)
{
  beginResetModel();
  m_rows = rows;
  m_rowOf.clear();
  for (int i = 0; i < m_rows.size(); ++i)
    m_rowOf.insert(m_rows.at(i).LogId, i);
  endResetModel();
}

void TCurrTableModel::applyChanged(const QVector<TCurrRow>& rows)
{
  for (const TCurrRow& row : rows) {
    const auto it = m_rowOf.constFind(row.LogId);
    if (it == m_rowOf.constEnd())
      continue;
    m_rows[*it] = row;
    Q_EMIT dataChanged(index(*it, 0), index(*it, ColumnCount - 1));
  }
}

// ---- error list -------------------------------------------------------------

TErrorListModel::TErrorListModel(QObject* parent) : QAbstractTableModel(parent) {}

int TErrorListModel::rowCount(const QModelIndex& parent) const
{
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TErrorListModel::columnCount(const QModelIndex& parent) const
{
  return parent.isValid() ? 0 : ColumnCount;
}

QString TErrorListModel::TimeText(double time)
{
  QDate date;
  QTime clock;
  if (time == 0 || !DoubleToDateTime(time, date, clock))
    return {};
  return QDateTime(date, clock, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString TErrorListModel::CellText(const TErrorRow& row, int column)
{
  QString text;
  switch (column) {
    case ColFrom:
      return TimeText(row.BeginTime);
    case ColTo:
      return TimeText(row.EndTime);
    case ColDevice:
      text = row.Device;
      break;
    case ColDescription:
      text = row.Description;
      break;
    case ColAlarms:
      text = row.Alarms;
      break;
    default:
      break;
  }
  // A cell without text shows the list's default text.
  return text.isEmpty() ? QStringLiteral("-") : text;
}

QVariant TErrorListModel::data(const QModelIndex& index, int role) const
{
  if (!index.isValid() || index.row() >= m_rows.size())
    return {};
  const TErrorRow& row = m_rows.at(index.row());
  switch (role) {
    case Qt::DisplayRole:
      return CellText(row, index.column());
    case Qt::ForegroundRole:
      if (row.IsActive)
        return ColorFromBGR(kMarkColor);
      return {};
    default:
      return {};
  }
}

QVariant TErrorListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return QAbstractTableModel::headerData(section, orientation, role);
  static const char* const captions[ColumnCount] = {TrNoop("From date"), TrNoop("To date"),
                                                    TrNoop("Device name"), TrNoop("Description"),
                                                    TrNoop("Alarms")};
  if (section < 0 || section >= ColumnCount)
    return {};
  return Tr(captions[section]);
}

void TErrorListModel::applyReset(const QVector<TErrorRow>& rows)
{
  beginResetModel();
  m_rows = rows;
  endResetModel();
}

void TErrorListModel::applyOpened(const TErrorRow& row)
{
  const int at = static_cast<int>(m_rows.size());
  beginInsertRows(QModelIndex(), at, at);
  m_rows.append(row);
  endInsertRows();
}

void TErrorListModel::applyClosed(int rowIndex, double endTime)
{
  if (rowIndex < 0 || rowIndex >= m_rows.size())
    return;
  TErrorRow& row = m_rows[rowIndex];
  row.EndTime = endTime;
  row.IsActive = false;
  Q_EMIT dataChanged(index(rowIndex, 0), index(rowIndex, ColumnCount - 1));
}
