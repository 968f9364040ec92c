#pragma once

// A list of input channels, shared by the groups page, the current-values
// page and (later) the report and visualisation pages.
//
// Items keep the channel's LogId, never the channel: a reload of the main
// definitions parks the channels, and a long-lived list must look them up
// again. Thread contract: UI thread.

#include <QFrame>
#include <QVector>

class QListWidget;
class TMainDBParamsV4;

class TinUnitListViewFr : public QFrame {
  Q_OBJECT
 public:
  // Colour values of the list (blue-green-red byte order).
  static constexpr qint32 kDeletedColor = 0x9F9F9F;
  static constexpr qint32 kDisabledColor = 0x808080;
  static constexpr int kLogIdRole = Qt::UserRole;

  explicit TinUnitListViewFr(QWidget* parent = nullptr);

  void SetMultiSelect(bool on);
  int SelCount() const;

  // Refills the list from the configuration (read lock taken here); -1
  // without a configuration.
  int Fill(TMainDBParamsV4* central, bool showDeleted, bool showDisabled);

  // LogIds of the selected items in list order.
  QVector<qint32> SelectedLogIds() const;
  // The current item's LogId, -1 when none.
  qint32 CurrentLogId() const;
  // Selects the item of the channel alone; false when it is not listed.
  bool SelectLogId(qint32 logId);

  QListWidget* ListV;

 Q_SIGNALS:
  void selectionChanged();

 private:
  bool m_showDeleted = false;
  bool m_showDisabled = false;
};
