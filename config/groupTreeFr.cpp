#include "config/groupTreeFr.h"

#include "app/commonClass.h"
#include "app/translation.h"
#include "model/DevListV4.h"

#include <QHash>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kIndent = 19;
// A group node carries the group's Id; a member node is told apart by its parent.
bool IsGroupNode(const QTreeWidgetItem* node)
{
  return node != nullptr && node->parent() == nullptr;
}
}  // namespace

TgroupTreeFr::TgroupTreeFr(QWidget* parent) : QFrame(parent)
{
  setObjectName(QStringLiteral("groupTreeFr"));
  TreeV = new QTreeWidget(this);
  TreeV->setObjectName(QStringLiteral("TreeV"));
  TreeV->setHeaderHidden(true);
  TreeV->setColumnCount(1);
  TreeV->setIndentation(kIndent);
  TreeV->setEditTriggers(QAbstractItemView::NoEditTriggers);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(TreeV);
  connect(TreeV, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (m_filling)
      return;
    UpdateSelection();
    Q_EMIT changed();
  });
  connect(TreeV, &QTreeWidget::itemChanged, this, &TgroupTreeFr::TreeVEdited);
}

bool TgroupTreeFr::IsReadOnly() const
{
  return ReadOnlyMode || m_selGroup < 0 || m_selMember >= 0;
}

QTreeWidgetItem* TgroupTreeFr::GroupNode(qint32 groupId) const
{
  for (int i = 0; i < TreeV->topLevelItemCount(); ++i) {
    QTreeWidgetItem* node = TreeV->topLevelItem(i);
    if (node->data(0, kIdRole).toInt() == groupId)
      return node;
  }
  return nullptr;
}

int TgroupTreeFr::Fill(TMainDBParamsV4* central, bool showDisabled)
{
  if (central == nullptr)
    return -1;
  m_filling = true;
  const QSignalBlocker block(TreeV);
  {
    const auto lock = central->ReadLock();
    const TGroups& groups = central->Groups();
    int cursor = 0;
    int position = 0;
    for (TGroup* group = groups.FirstGroup(cursor); group != nullptr;
         group = groups.NextGroup(cursor), ++position) {
      QTreeWidgetItem* node = GroupNode(group->Id);
      if (node == nullptr) {
        node = new QTreeWidgetItem;
        node->setData(0, kIdRole, group->Id);
        TreeV->insertTopLevelItem(position, node);
      } else if (TreeV->indexOfTopLevelItem(node) != position) {
        const bool expanded = node->isExpanded();
        TreeV->takeTopLevelItem(TreeV->indexOfTopLevelItem(node));
        TreeV->insertTopLevelItem(position, node);
        node->setExpanded(expanded);
      }
      RefreshGroupNode(node, *group, showDisabled);
    }
    // Whatever follows the last group belongs to groups that are gone.
    while (TreeV->topLevelItemCount() > position)
      delete TreeV->takeTopLevelItem(position);
  }
  m_filling = false;
  UpdateSelection();
  return 0;
}

void TgroupTreeFr::RefreshGroupNode(QTreeWidgetItem* node, const TGroup& group, bool showDisabled)
{
  const bool expanded = node->isExpanded();
  const qint32 selectedMember = m_selGroup == group.Id ? m_selMember : -1;
  node->setText(0, group.Name);
  qDeleteAll(node->takeChildren());
  const QString disabledWord = Tr("disabled");
  int cursor = 0;
  for (TInUnitV4* channel = group.FirstMember(cursor, true, showDisabled); channel != nullptr;
       channel = group.NextMember(cursor, true, showDisabled)) {
    auto* child = new QTreeWidgetItem(node);
    child->setData(0, kIdRole, channel->LogId);
    if (channel->Disabled()) {
      child->setText(0, QStringLiteral("%1 (%2)").arg(channel->Name, disabledWord));
      child->setForeground(0, ColorFromBGR(kDisabledColor));
    } else {
      child->setText(0, channel->Name);
    }
    if (channel->LogId == selectedMember)
      child->setSelected(true);
  }
  node->setExpanded(expanded);
}

void TgroupTreeFr::UpdateSelection()
{
  const QList<QTreeWidgetItem*> selected = TreeV->selectedItems();
  QTreeWidgetItem* node = selected.isEmpty() ? nullptr : selected.first();
  QTreeWidgetItem* groupNode = IsGroupNode(node) ? node : (node ? node->parent() : nullptr);
  m_prevSelGroup = m_selGroup;
  m_prevSelMember = m_selMember;
  m_selGroup = groupNode != nullptr ? groupNode->data(0, kIdRole).toInt() : -1;
  m_selMember = node != nullptr && !IsGroupNode(node) ? node->data(0, kIdRole).toInt() : -1;
  const bool editable = !IsReadOnly();
  for (int i = 0; i < TreeV->topLevelItemCount(); ++i) {
    QTreeWidgetItem* top = TreeV->topLevelItem(i);
    const QSignalBlocker block(TreeV);
    Qt::ItemFlags flags = top->flags();
    flags.setFlag(Qt::ItemIsEditable, editable && top == groupNode);
    top->setFlags(flags);
  }
  TreeV->setEditTriggers(editable ? QAbstractItemView::EditKeyPressed |
                                        QAbstractItemView::SelectedClicked
                                  : QAbstractItemView::NoEditTriggers);
}

void TgroupTreeFr::SelectGroup(qint32 groupId, bool edit)
{
  QTreeWidgetItem* node = GroupNode(groupId);
  if (node == nullptr)
    return;
  TreeV->setCurrentItem(node);
  UpdateSelection();
  if (edit && !IsReadOnly())
    TreeV->editItem(node);
}

void TgroupTreeFr::ExpandGroup(qint32 groupId)
{
  if (QTreeWidgetItem* node = GroupNode(groupId))
    node->setExpanded(true);
}

void TgroupTreeFr::TreeVEdited(QTreeWidgetItem* node, int column)
{
  if (m_filling || !IsGroupNode(node) || column != 0)
    return;
  UpdateSelection();
  Q_EMIT edited(node->data(0, kIdRole).toInt(), node->text(0));
}
