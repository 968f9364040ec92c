#include "config/inUnitListViewFr.h"

#include "app/commonClass.h"
#include "app/translation.h"
#include "model/DevListV4.h"

#include <QListWidget>
#include <QVBoxLayout>

TinUnitListViewFr::TinUnitListViewFr(QWidget* parent) : QFrame(parent)
{
  setObjectName(QStringLiteral("inUnitListViewFr"));
  ListV = new QListWidget(this);
  ListV->setObjectName(QStringLiteral("ListV"));
  ListV->setSelectionMode(QAbstractItemView::SingleSelection);
  ListV->setEditTriggers(QAbstractItemView::NoEditTriggers);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(ListV);
  connect(ListV, &QListWidget::itemSelectionChanged, this, &TinUnitListViewFr::selectionChanged);
}

void TinUnitListViewFr::SetMultiSelect(bool on)
{
  ListV->setSelectionMode(on ? QAbstractItemView::ExtendedSelection
                             : QAbstractItemView::SingleSelection);
}

int TinUnitListViewFr::SelCount() const
{
  return static_cast<int>(ListV->selectedItems().size());
}

int TinUnitListViewFr::Fill(TMainDBParamsV4* central, bool showDeleted, bool showDisabled)
{
  if (central == nullptr)
    return -1;
  m_showDeleted = showDeleted;
  m_showDisabled = showDisabled;
  const qint32 current = CurrentLogId();
  const QString deletedWord = Tr("deleted");
  const QString disabledWord = Tr("disabled");

  const QSignalBlocker block(ListV);
  ListV->setUpdatesEnabled(false);
  ListV->clear();
  {
    const auto lock = central->ReadLock();
    const TUnitListV4& units = central->Units();
    int unitCursor = 0;
    for (TUnitV4* unit = units.FirstUnit(unitCursor, showDeleted); unit != nullptr;
         unit = units.NextUnit(unitCursor, showDeleted)) {
      int chanCursor = 0;
      for (TInUnitV4* channel = unit->FirstInUnit(chanCursor, showDeleted, showDisabled);
           channel != nullptr; channel = unit->NextInUnit(chanCursor, showDeleted, showDisabled)) {
        const bool deleted = channel->Deleted || unit->DelFlag;
        QString text = channel->Name;
        QColor color;
        if (showDeleted && deleted) {
          text = QStringLiteral("%1 (%2)").arg(channel->Name, deletedWord);
          color = ColorFromBGR(kDeletedColor);
        } else if (showDisabled && channel->Disabled()) {
          text = QStringLiteral("%1 (%2)").arg(channel->Name, disabledWord);
          color = ColorFromBGR(kDisabledColor);
        }
        auto* item = new QListWidgetItem(text, ListV);
        item->setData(kLogIdRole, channel->LogId);
        if (color.isValid())
          item->setForeground(color);
      }
    }
  }
  ListV->setUpdatesEnabled(true);
  // Keep the operator's place across a refill; the selection signal is not
  // repeated, since the chosen channel did not change.
  if (current >= 0)
    SelectLogId(current);
  return 0;
}

QVector<qint32> TinUnitListViewFr::SelectedLogIds() const
{
  QVector<qint32> ids;
  for (int i = 0; i < ListV->count(); ++i) {
    if (ListV->item(i)->isSelected())
      ids.append(ListV->item(i)->data(kLogIdRole).toInt());
  }
  return ids;
}

qint32 TinUnitListViewFr::CurrentLogId() const
{
  const QListWidgetItem* item = ListV->currentItem();
  return item != nullptr && item->isSelected() ? item->data(kLogIdRole).toInt() : -1;
}

bool TinUnitListViewFr::SelectLogId(qint32 logId)
{
  for (int i = 0; i < ListV->count(); ++i) {
    if (ListV->item(i)->data(kLogIdRole).toInt() == logId) {
      ListV->setCurrentItem(ListV->item(i), QItemSelectionModel::ClearAndSelect);
      return true;
    }
  }
  return false;
}
