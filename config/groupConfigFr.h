#pragma once

// The "Groups" configuration page: the channel list on the left, the group
// tree on the right, buttons to create and remove groups and to move
// channels into and out of a group. In the terminal the buttons stay hidden
// and the tree read-only; the handlers are complete so the page can be made
// editable.
//
// The handlers change groups under the configuration's write lock, since the
// current-values and report threads walk group members; they notify the main
// window only after releasing it. Thread contract: UI thread.

#include <QFrame>

class QPushButton;
class TMainDBParamsV4;
class TgroupTreeFr;
class TinUnitListViewFr;

class TgroupConfigFr : public QFrame {
  Q_OBJECT
 public:
  // A group takes at most this many channels from this page.
  static constexpr int kMaxMembers = 12;

  explicit TgroupConfigFr(QWidget* parent = nullptr);

  void SetCentral(TMainDBParamsV4* central) { m_central = central; }
  TMainDBParamsV4* Central() const { return m_central; }
  void Refresh();
  void RefreshTree();

  void AddGroupClick();
  void DelGroupClick();
  void AddToGroupClick();
  void RemFromGroupClick();

  TgroupTreeFr* groupTreeFr;
  TinUnitListViewFr* inUnitListViewFr;
  QPushButton* AddGroup;
  QPushButton* DelGroup;
  QPushButton* AddToGroup;
  QPushButton* RemFromGroup;

 private:
  void UpdateButtons();
  void GroupEdited(qint32 groupId, const QString& text);
  void NotifyGroupsChanged();

  TMainDBParamsV4* m_central = nullptr;
};
