#pragma once

// The tree of channel groups with their member channels, shared by the
// groups page and the current-values page (later the report page).
//
// Nodes keep group Ids and LogIds, never TGroup or channel pointers: a reload
// of the main definitions parks the groups, and the hidden editing handlers
// may delete one. Thread contract: UI thread.

#include <QFrame>

class QTreeWidget;
class QTreeWidgetItem;
class TMainDBParamsV4;

class TgroupTreeFr : public QFrame {
  Q_OBJECT
 public:
  static constexpr qint32 kDisabledColor = 0x808080;
  static constexpr int kIdRole = Qt::UserRole;  // group Id or member LogId

  explicit TgroupTreeFr(QWidget* parent = nullptr);

  // Synchronises the tree with the group list (read lock taken here); group
  // nodes keep their expanded state. -1 without a configuration.
  int Fill(TMainDBParamsV4* central, bool showDisabled);
  void SelectGroup(qint32 groupId, bool edit);
  void ExpandGroup(qint32 groupId);

  // Selection state: -1 when nothing of the kind is selected.
  qint32 SelGroupId() const { return m_selGroup; }
  qint32 PrevSelGroupId() const { return m_prevSelGroup; }
  qint32 SelMemberLogId() const { return m_selMember; }
  qint32 PrevSelMemberLogId() const { return m_prevSelMember; }

  // The terminal shows the groups only.
  bool ReadOnlyMode = true;
  bool IsReadOnly() const;

  QTreeWidgetItem* GroupNode(qint32 groupId) const;

  QTreeWidget* TreeV;

 Q_SIGNALS:
  // The selection changed (after the selection state was updated).
  void changed();
  // A group caption was edited (only when the tree is editable).
  void edited(qint32 groupId, const QString& text);

 private:
  void RefreshGroupNode(QTreeWidgetItem* node, const class TGroup& group, bool showDisabled);
  void UpdateSelection();
  void TreeVEdited(QTreeWidgetItem* node, int column);

  qint32 m_selGroup = -1;
  qint32 m_prevSelGroup = -1;
  qint32 m_selMember = -1;
  qint32 m_prevSelMember = -1;
  bool m_filling = false;
};
