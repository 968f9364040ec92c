#include "config/groupConfigFr.h"

#include "app/appMessages.h"
#include "app/translation.h"
#include "config/groupTreeFr.h"
#include "config/inUnitListViewFr.h"
#include "model/DevListV4.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TgroupConfigFr::TgroupConfigFr(QWidget* parent) : QFrame(parent)
{
  setObjectName(QStringLiteral("groupConfigFr"));
  groupTreeFr = new TgroupTreeFr(this);
  inUnitListViewFr = new TinUnitListViewFr(this);
  AddGroup = new QPushButton(Tr("New group"), this);
  AddGroup->setObjectName(QStringLiteral("AddGroup"));
  DelGroup = new QPushButton(Tr("Remove group"), this);
  DelGroup->setObjectName(QStringLiteral("DelGroup"));
  AddToGroup = new QPushButton(QStringLiteral(">>"), this);
  AddToGroup->setObjectName(QStringLiteral("AddToGroup"));
  RemFromGroup = new QPushButton(QStringLiteral("<<"), this);
  RemFromGroup->setObjectName(QStringLiteral("RemFromGroup"));

  auto* moveButtons = new QVBoxLayout;
  moveButtons->addStretch();
  moveButtons->addWidget(AddToGroup);
  moveButtons->addWidget(RemFromGroup);
  moveButtons->addStretch();
  auto* groupButtons = new QHBoxLayout;
  groupButtons->addWidget(AddGroup);
  groupButtons->addWidget(DelGroup);
  groupButtons->addStretch();

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(Tr("Measurement channels"), this), 0, 0);
  layout->addWidget(new QLabel(Tr("Groups"), this), 0, 2);
  layout->addWidget(inUnitListViewFr, 1, 0, 2, 1);
  layout->addLayout(moveButtons, 1, 1, 2, 1);
  layout->addWidget(groupTreeFr, 1, 2);
  layout->addLayout(groupButtons, 2, 2);

  inUnitListViewFr->SetMultiSelect(true);
  connect(AddGroup, &QPushButton::clicked, this, &TgroupConfigFr::AddGroupClick);
  connect(DelGroup, &QPushButton::clicked, this, &TgroupConfigFr::DelGroupClick);
  connect(AddToGroup, &QPushButton::clicked, this, &TgroupConfigFr::AddToGroupClick);
  connect(RemFromGroup, &QPushButton::clicked, this, &TgroupConfigFr::RemFromGroupClick);
  connect(groupTreeFr, &TgroupTreeFr::changed, this, &TgroupConfigFr::UpdateButtons);
  connect(inUnitListViewFr, &TinUnitListViewFr::selectionChanged, this,
          &TgroupConfigFr::UpdateButtons);
  connect(groupTreeFr, &TgroupTreeFr::edited, this, &TgroupConfigFr::GroupEdited);
  UpdateButtons();
}

void TgroupConfigFr::UpdateButtons()
{
  // The terminal displays groups only.
  for (QPushButton* button : {DelGroup, AddGroup, RemFromGroup, AddToGroup})
    button->setVisible(false);
  const bool group = groupTreeFr->SelGroupId() >= 0;
  const bool member = groupTreeFr->SelMemberLogId() >= 0;
  AddToGroup->setEnabled(group && inUnitListViewFr->SelCount() > 0);
  RemFromGroup->setEnabled(member);
  DelGroup->setEnabled(group && !member);
}

void TgroupConfigFr::Refresh()
{
  inUnitListViewFr->Fill(m_central, false, false);
  // The page lists what can be measured: disabled members stay out.
  groupTreeFr->Fill(m_central, false);
  UpdateButtons();
}

void TgroupConfigFr::RefreshTree()
{
  groupTreeFr->Fill(m_central, true);
  UpdateButtons();
}

void TgroupConfigFr::NotifyGroupsChanged()
{
  // The main window refreshes every group tree, this page's included; a
  // page on its own refreshes itself.
  if (!AppMessages::SendToMain({AppMsg::GroupsChanged, 0, 0, nullptr}))
    Refresh();
}

void TgroupConfigFr::AddGroupClick()
{
  groupTreeFr->TreeV->setFocus();
  if (m_central == nullptr)
    return;
  qint32 id = -1;
  {
    const auto lock = m_central->WriteLock();
    TGroup* group = m_central->Groups().AddGroupAuto(Tr("New group"));
    if (group != nullptr) {
      group->Save();
      id = group->Id;
    }
  }
  NotifyGroupsChanged();
  groupTreeFr->Fill(m_central, true);
  groupTreeFr->SelectGroup(id, true);
  UpdateButtons();
}

void TgroupConfigFr::DelGroupClick()
{
  if (m_central == nullptr || groupTreeFr->SelGroupId() < 0)
    return;
  const qint32 id = groupTreeFr->SelGroupId();
  delete groupTreeFr->GroupNode(id);
  {
    const auto lock = m_central->WriteLock();
    TGroups& groups = m_central->Groups();
    if (TGroup* group = groups.FindGroup(id))
      groups.DeleteGroup(group);
  }
  NotifyGroupsChanged();
  UpdateButtons();
}

void TgroupConfigFr::AddToGroupClick()
{
  const qint32 id = groupTreeFr->SelGroupId();
  if (m_central == nullptr || id < 0)
    return;
  const QVector<qint32> channels = inUnitListViewFr->SelectedLogIds();
  {
    const auto lock = m_central->WriteLock();
    TGroup* group = m_central->Groups().FindGroup(id);
    if (group == nullptr)
      return;
    for (qint32 logId : channels) {
      if (group->MemberCount() >= kMaxMembers)
        break;
      TInUnitV4* channel = m_central->Units().FindInUnit(logId);
      if (channel != nullptr && group->FindMember(channel) == nullptr)
        group->AddMember(channel);
    }
    group->Save();
  }
  NotifyGroupsChanged();
  groupTreeFr->ExpandGroup(id);
  UpdateButtons();
}

void TgroupConfigFr::RemFromGroupClick()
{
  const qint32 id = groupTreeFr->SelGroupId();
  const qint32 logId = groupTreeFr->SelMemberLogId();
  if (m_central == nullptr || id < 0 || logId < 0)
    return;
  {
    const auto lock = m_central->WriteLock();
    TGroup* group = m_central->Groups().FindGroup(id);
    TInUnitV4* channel = m_central->Units().FindInUnit(logId);
    if (group != nullptr && channel != nullptr)
      group->RemoveMember(channel);
  }
  NotifyGroupsChanged();
  UpdateButtons();
}

void TgroupConfigFr::GroupEdited(qint32 groupId, const QString& text)
{
  if (m_central == nullptr)
    return;
  {
    const auto lock = m_central->WriteLock();
    if (TGroup* group = m_central->Groups().FindGroup(groupId)) {
      group->Name = text;
      group->Save();
    }
  }
  // Posted: the tree is still inside its edit when this runs.
  AppMessages::PostToMain({AppMsg::GroupsChanged, 0, 0, nullptr});
}
