// The channel list, the group tree and the groups page over the test plant:
// fill rules, refills that keep the operator's view, and the member limit.

#include "config/groupConfigFr.h"
#include "config/groupTreeFr.h"
#include "config/inUnitListViewFr.h"
#include "plantFixture.h"

#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

const QString kDeletedSuffix = QStringLiteral(" (deleted)");
const QString kDisabledSuffix = QStringLiteral(" (disabled)");

QStringList ChildTexts(const QTreeWidgetItem* node)
{
  QStringList texts;
  for (int i = 0; i < node->childCount(); ++i)
    texts << node->child(i)->text(0);
  return texts;
}

TGroup* GroupById(TConfig& config, qint32 id)
{
  return config.Params.Groups().FindGroup(id);
}

}  // namespace

class TstListFrames : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void listFill_data();
  void listFill();
  void treeFill();
  void treeRefillKeepsExpandedAndDropsRemoved();
  void addToGroup_data();
  void addToGroup();
};

void TstListFrames::listFill_data()
{
  QTest::addColumn<bool>("showDeleted");
  QTest::addColumn<bool>("showDisabled");
  QTest::newRow("neither") << false << false;
  QTest::newRow("disabled") << false << true;
  QTest::newRow("deleted") << true << false;
  QTest::newRow("both") << true << true;
}

void TstListFrames::listFill()
{
  QFETCH(bool, showDeleted);
  QFETCH(bool, showDisabled);
  TConfig config(true);
  TinUnitListViewFr frame;
  QCOMPARE(frame.Fill(nullptr, showDeleted, showDisabled), -1);
  QCOMPARE(frame.Fill(&config.Params, showDeleted, showDisabled), 0);

  int deleted = 0;
  bool sawDisabled = false;
  bool sawTemperature = false;
  for (int i = 0; i < frame.ListV->count(); ++i) {
    const QListWidgetItem* item = frame.ListV->item(i);
    const QString text = item->text();
    if (text.endsWith(kDeletedSuffix)) {
      ++deleted;
      QCOMPARE(item->foreground().color(), QColor(0x9F, 0x9F, 0x9F));
    } else if (text.endsWith(kDisabledSuffix)) {
      QCOMPARE(text, QStringLiteral("Napięcie (disabled)"));
      QCOMPARE(item->data(TinUnitListViewFr::kLogIdRole).toInt(), 2);
      QCOMPARE(item->foreground().color(), QColor(0x80, 0x80, 0x80));
      sawDisabled = true;
    } else {
      QCOMPARE(item->foreground().style(), Qt::NoBrush);
      QVERIFY2(text != QStringLiteral("Napięcie"), "a disabled channel without its suffix");
    }
    if (text == QStringLiteral("Temp. zasilania")) {
      QCOMPARE(item->data(TinUnitListViewFr::kLogIdRole).toInt(), 1);
      sawTemperature = true;
    }
  }
  QVERIFY(sawTemperature);
  QCOMPARE(sawDisabled, showDisabled);
  // The fixture's third unit is deleted.
  QCOMPARE(deleted > 0, showDeleted);
}

void TstListFrames::treeFill()
{
  TConfig config(true);
  TgroupTreeFr tree;
  QVERIFY(tree.ReadOnlyMode);
  QCOMPARE(tree.Fill(nullptr, true), -1);
  QCOMPARE(tree.Fill(&config.Params, true), 0);
  QCOMPARE(tree.TreeV->topLevelItemCount(), config.Params.Groups().Count());
  QTreeWidgetItem* boiler = tree.GroupNode(1);
  QVERIFY(boiler != nullptr);
  QCOMPARE(boiler->text(0), QStringLiteral("Kotłownia"));
  QVERIFY(ChildTexts(boiler).contains(QStringLiteral("Temp. zasilania")));
  QVERIFY(ChildTexts(boiler).contains(QStringLiteral("Napięcie (disabled)")));
  QCOMPARE(tree.GroupNode(2)->childCount(), 0);

  tree.Fill(&config.Params, false);
  QCOMPARE(ChildTexts(tree.GroupNode(1)), QStringList{QStringLiteral("Temp. zasilania")});

  // Selection state: a member selects its group too; the tree stays read-only.
  tree.TreeV->setCurrentItem(tree.GroupNode(1)->child(0));
  QCOMPARE(tree.SelGroupId(), 1);
  QCOMPARE(tree.SelMemberLogId(), 1);
  tree.TreeV->setCurrentItem(tree.GroupNode(5));
  QCOMPARE(tree.SelGroupId(), 5);
  QCOMPARE(tree.PrevSelGroupId(), 1);
  QCOMPARE(tree.SelMemberLogId(), -1);
  QVERIFY(tree.IsReadOnly());
  QVERIFY(!(tree.GroupNode(5)->flags() & Qt::ItemIsEditable));
}

void TstListFrames::treeRefillKeepsExpandedAndDropsRemoved()
{
  TConfig config(true);
  TgroupTreeFr tree;
  tree.Fill(&config.Params, true);
  tree.ExpandGroup(5);
  QVERIFY(tree.GroupNode(5)->isExpanded());
  QVERIFY(!tree.GroupNode(2)->isExpanded());
  qint32 added = -1;
  {
    const auto lock = config.Params.WriteLock();
    config.Params.Groups().DeleteGroup(GroupById(config, 1));
    added = config.Params.Groups().AddGroupAuto(QStringLiteral("Pumpen"))->Id;
    GroupById(config, 5)->Name = QStringLiteral("Flows");
  }
  tree.Fill(&config.Params, true);
  QCOMPARE(tree.GroupNode(1), nullptr);
  QCOMPARE(tree.TreeV->topLevelItemCount(), 3);
  QVERIFY(tree.GroupNode(5)->isExpanded());
  QCOMPARE(tree.GroupNode(5)->text(0), QStringLiteral("Flows"));
  QCOMPARE(tree.GroupNode(5)->childCount(), 1);
  QVERIFY(!tree.GroupNode(2)->isExpanded());
  QCOMPARE(tree.TreeV->indexOfTopLevelItem(tree.GroupNode(added)), 2);
}

void TstListFrames::addToGroup_data()
{
  QTest::addColumn<int>("members");  // memberships already there
  QTest::addColumn<bool>("firstIsMember");
  QTest::addColumn<int>("chosen");
  QTest::addColumn<int>("added");
  QTest::newRow("ten members, five chosen: two fit") << 10 << false << 5 << 2;
  QTest::newRow("room for all") << 0 << false << 3 << 3;
  QTest::newRow("a member is not added twice") << 0 << true << 3 << 2;
  QTest::newRow("full group") << 12 << false << 2 << 0;
}

void TstListFrames::addToGroup()
{
  QFETCH(int, members);
  QFETCH(bool, firstIsMember);
  QFETCH(int, chosen);
  QFETCH(int, added);
  TConfig config(true);
  TgroupConfigFr page;
  page.SetCentral(&config.Params);
  page.Refresh();
  QListWidget* list = page.inUnitListViewFr->ListV;
  QVERIFY(list->count() >= chosen);
  const auto logIdAt = [&](int row) {
    return list->item(row)->data(TinUnitListViewFr::kLogIdRole).toInt();
  };

  qint32 groupId = -1;
  {
    const auto lock = config.Params.WriteLock();
    TGroup* group = config.Params.Groups().AddGroupAuto(QStringLiteral("Test"));
    groupId = group->Id;
    // The disabled channel is not in the list, so it never is among the chosen.
    TInUnitV4* filler = config.Params.Units().FindInUnit(2);
    for (int i = 0; i < members; ++i)
      group->AddMember(filler);
    if (firstIsMember)
      group->AddMember(config.Params.Units().FindInUnit(logIdAt(0)));
  }
  page.Refresh();
  const int before = GroupById(config, groupId)->MemberCount();
  page.groupTreeFr->TreeV->setCurrentItem(page.groupTreeFr->GroupNode(groupId));
  for (int row = 0; row < chosen; ++row)
    list->item(row)->setSelected(true);
  QCOMPARE(page.inUnitListViewFr->SelCount(), chosen);
  // The terminal keeps the buttons hidden; the handler still works.
  QVERIFY(page.AddToGroup->isHidden());
  QVERIFY(page.AddToGroup->isEnabled());
  page.AddToGroupClick();

  TGroup* group = GroupById(config, groupId);
  QCOMPARE(group->MemberCount() - before, added);
  QVERIFY(group->MemberCount() <= TgroupConfigFr::kMaxMembers || members > 12);
  for (int row = 0; row < chosen; ++row) {
    int count = 0;
    for (int i = 0; i < group->MemberCount(); ++i)
      count += group->MemberAt(i)->LogId == logIdAt(row) ? 1 : 0;
    QVERIFY2(count <= 1, "a channel was added twice");
  }
  QVERIFY(page.groupTreeFr->GroupNode(groupId)->isExpanded());
}

QTEST_MAIN(TstListFrames)
#include "tst_listFrames.moc"
