#pragma once

// GUI-side models of the current-measurement page. The current-values
// service never touches them: it posts row snapshots and error-row events
// through queued signals, so the views read only data owned by the GUI
// thread and a table rebuild cannot free rows under a repaint.
//
// Thread contract: UI thread.

#include "reports/currChartThr.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QVector>

class TCurrTableModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn { ColName, ColUnit, ColCurr, ColAvg, ColMax, ColMin, ColumnCount };

  explicit TCurrTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  const QVector<TCurrRow>& Rows() const { return m_rows; }
  // Cell text and mark as the table shows them (also used by the tests).
  static QString CellText(const TCurrRow& row, int column);
  static qint32 CellMark(const TCurrRow& row, int column);
  // Background of a value column, from the table's BGR colour values.
  static QColor ColumnBackground(int column);

 public Q_SLOTS:
  void applyReset(const QVector<TCurrRow>& rows);
  // Rows of unknown channels are ignored: they belong to a table that was
  // replaced after they were sent.
  void applyChanged(const QVector<TCurrRow>& rows);

 private:
  QVector<TCurrRow> m_rows;
  QHash<qint32, int> m_rowOf;
};

class TErrorListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn { ColFrom, ColTo, ColDevice, ColDescription, ColAlarms, ColumnCount };

  explicit TErrorListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  const QVector<TErrorRow>& Rows() const { return m_rows; }
  static QString CellText(const TErrorRow& row, int column);
  // "yyyy-MM-dd hh:mm:ss"; empty for 0 (an error that has not ended).
  static QString TimeText(double time);

 public Q_SLOTS:
  void applyReset(const QVector<TErrorRow>& rows);
  void applyOpened(const TErrorRow& row);
  // An index outside the list is ignored: the close of a row from before a
  // refresh may still be on its way.
  void applyClosed(int rowIndex, double endTime);

 private:
  QVector<TErrorRow> m_rows;
};
