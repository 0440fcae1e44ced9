// The Objects dock's tree, filter, eye and lock boxes and double-click, and Space held to pan the
// map: the editor does the work (tests/editing), these tests prove that the widgets reach it.

#include "GuiFixture.h"
#include "TestSupport.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QWheelEvent>

#include <algorithm>
#include <vector>

namespace starloom::test {
namespace {

class ObjectsDockTest : public GuiTest {
protected:
    // Two asteroids and a cloud, placed on the map; the Select tool chosen.
    void twoAsteroidsAndACloud()
    {
        clickTop({100, 100}, "Option2");
        clickTop({300, 150});
        clickTop({200, 250}, "Option3");
        click("cmdSelect");
        window->refresh();
    }
    QString groupText(int group) const { return listModel()->index(group, 0).data().toString(); }
    // Clicks the box of `column` in the list at `index`'s row.
    void clickBox(const QModelIndex& index, int column)
    {
        const QRect cell = list()->visualRect(index.siblingAtColumn(column));
        ASSERT_FALSE(cell.isEmpty());
        // The box stands at the left of its cell, a few pixels in.
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, QPoint(cell.left() + 10, cell.center().y()));
    }
    QModelIndex rowIndex(int row) const { return listModel()->indexOfRow(row); }
    QModelIndex groupIndex(ItemKind kind) const { return listModel()->indexOfKind(kind); }
};

TEST_F(ObjectsDockTest, TheTreeGroupsItemsByKindWithTheirCounts)
{
    twoAsteroidsAndACloud();
    ASSERT_EQ(listModel()->rowCount(), 2);
    EXPECT_EQ(groupText(0), QStringLiteral("Asteroids (2)"));
    EXPECT_EQ(groupText(1), QStringLiteral("Clouds (1)"));
    EXPECT_EQ(listModel()->index(1, 0, listModel()->index(0, 0)).data().toString(), editor().rows()[1].text);
    EXPECT_TRUE(list()->isExpanded(listModel()->index(1, 0))) << "a new group opens";
    editor().setSelection({2});
    editor().deleteSelection();
    window->refresh();
    ASSERT_EQ(listModel()->rowCount(), 1) << "the empty group goes";
    EXPECT_EQ(groupText(0), QStringLiteral("Asteroids (2)"));
}

// A remade tree opens every group, and marks no item row open: on a level of 262,142 items each
// mark is a persistent index the tree would keep.
TEST_F(ObjectsDockTest, ARemadeTreeOpensItsGroupsOnly)
{
    twoAsteroidsAndACloud();
    QTest::keyClicks(find<QLineEdit>("txtObjectFilter"), QStringLiteral("a"));
    find<QLineEdit>("txtObjectFilter")->clear();
    window->refresh();
    ASSERT_EQ(listModel()->rowCount(), 2);
    for (int group = 0; group < 2; ++group) {
        const QModelIndex groupRow = listModel()->index(group, 0);
        EXPECT_TRUE(list()->isExpanded(groupRow)) << group;
        EXPECT_FALSE(list()->isExpanded(listModel()->index(0, 0, groupRow))) << group;
    }
}

TEST_F(ObjectsDockTest, TheFilterFindsRowsByKindToo)
{
    twoAsteroidsAndACloud();
    QTest::keyClicks(find<QLineEdit>("txtObjectFilter"), QStringLiteral("asteroids"));
    EXPECT_EQ(listRows(), 2);
    ASSERT_EQ(listModel()->rowCount(), 1);
    EXPECT_EQ(groupText(0), QStringLiteral("Asteroids (2)"));
}

TEST_F(ObjectsDockTest, TheEyeOfAnItemHidesItWithoutSelectingIt)
{
    twoAsteroidsAndACloud();
    editor().setSelection({0});
    window->refresh();
    clickBox(rowIndex(1), ObjectListModel::ShownColumn);
    EXPECT_TRUE(editor().rowHidden(1));
    EXPECT_EQ(editor().selection(), std::vector<int>{0}) << "the box leaves the selection";
    EXPECT_EQ(
        rowIndex(1).siblingAtColumn(ObjectListModel::ShownColumn).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(
        groupIndex(ItemKind::Asteroid).siblingAtColumn(ObjectListModel::ShownColumn).data(Qt::CheckStateRole).toInt(),
        Qt::PartiallyChecked);
    // A click where the hidden item lies selects nothing.
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(301, 150));
    EXPECT_TRUE(editor().selection().empty());
    clickBox(rowIndex(1), ObjectListModel::ShownColumn);
    EXPECT_FALSE(editor().rowHidden(1));
}

TEST_F(ObjectsDockTest, AKindsBoxesHideAndLockAllOfItsItems)
{
    twoAsteroidsAndACloud();
    clickBox(groupIndex(ItemKind::Asteroid), ObjectListModel::ShownColumn);
    EXPECT_EQ(editor().hiddenCount(ItemKind::Asteroid), 2);
    EXPECT_EQ(editor().hiddenCount(ItemKind::Cloud), 0);
    EXPECT_EQ(listRows(), 3) << "hidden items stay in the list";
    clickBox(groupIndex(ItemKind::Cloud), ObjectListModel::LockedColumn);
    EXPECT_EQ(editor().lockedCount(ItemKind::Cloud), 1);
    EXPECT_EQ(rowIndex(2).siblingAtColumn(ObjectListModel::LockedColumn).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(201, 250));
    EXPECT_TRUE(editor().selection().empty()) << "a locked cloud is not selected on the map";
    clickListRow(2);
    EXPECT_EQ(editor().selectedRow(), 2) << "but it is from the list";
}

TEST_F(ObjectsDockTest, ADoubleClickFramesTheItem)
{
    twoAsteroidsAndACloud();
    const double wholeWidth = editor().shownTop().width();
    // As the desktop sends a double-click: a click, then a second press as a double-click, then its release.
    const QPoint at = list()->visualRect(rowIndex(1)).center();
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(editor().selectedRow(), 1);
    const ViewScale shown = editor().shownTop();
    EXPECT_LT(shown.width(), wholeWidth);
    const ItemPosition p = editor().document().position(ItemKind::Asteroid, 1);
    EXPECT_TRUE(QRectF(shown.left, shown.top, shown.width(), shown.height()).normalized().contains(p.x, p.y));
}

TEST_F(ObjectsDockTest, SeveralItemsSelectedOnTheMapAreSelectedInTheirGroups)
{
    twoAsteroidsAndACloud();
    editor().setSelection({0, 2});
    window->refresh();
    const QModelIndexList rows = list()->selectionModel()->selectedRows();
    ASSERT_EQ(rows.size(), 2);
    std::vector<int> listed;
    for (const QModelIndex& index : rows)
        listed.push_back(listModel()->rowOf(index));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<int>{0, 2}));
    // And back: Ctrl+click adds the second asteroid.
    QTest::mouseClick(
        list()->viewport(), Qt::LeftButton, Qt::ControlModifier, list()->visualRect(rowIndex(1)).center());
    EXPECT_EQ(editor().selection(), (std::vector<int>{0, 1, 2}));
}

// A big step is told to the tree as rows coming and going in blocks, not as a tree made again
// (which would close and reopen every group and lay out every row), and the list ends in step.
TEST_F(ObjectsDockTest, ABigStepIsToldToTheTreeWithoutMakingItAgain)
{
    const QString path = dir.filePath(QStringLiteral("many.level"));
    QByteArray body = "maxPlayers = 2\nfunction DetermChunk()\n";
    for (int i = 0; i < 150; ++i)
        body += "  addAsteroid(\"Asteroid_3\", {" + QByteArray::number(i * 100) + ", 0, 0}, 100, 0, 0, 0, 0)\n"
            + (i % 3 ? QByteArray()
                     : "  addPebble(\"pebble_0\", {0, " + QByteArray::number(i * 50) + ", 0}, 0, 0, 0)\n");
    body += "end\n";
    writeBytes(path, body);
    ASSERT_TRUE(window->loadFile(path));
    int resets = 0;
    int removals = 0;
    int insertions = 0;
    QObject::connect(listModel(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    QObject::connect(listModel(), &QAbstractItemModel::rowsRemoved, [&] { ++removals; });
    QObject::connect(listModel(), &QAbstractItemModel::rowsInserted, [&] { ++insertions; });
    const int all = static_cast<int>(editor().rows().size());
    trigger("mnuEditSelectAll");
    trigger("mnuEditDelete");
    EXPECT_EQ(listRows(), 0);
    trigger("mnuEditUndo");
    EXPECT_EQ(listRows(), all);
    EXPECT_EQ(static_cast<int>(list()->selectionModel()->selectedRows().size()), all);
    trigger("mnuEditRotate2");
    EXPECT_EQ(listRows(), 2 * all);
    EXPECT_EQ(resets, 0);
    EXPECT_LE(removals, 2) << "a group at a time";
    EXPECT_LE(insertions, 4);
    for (int row = 0; row < 2 * all; row += 37)
        EXPECT_EQ(listText(row), editor().rows()[static_cast<std::size_t>(row)].text) << row;
}

TEST_F(ObjectsDockTest, SpaceHeldPansWithAnyToolAndItsReleaseGivesTheToolBack)
{
    const QPoint pointer = top()->rect().center();
    dragTo(top(), pointer, Qt::NoButton);
    QWheelEvent wheel(QPointF(pointer), QPointF(top()->mapToGlobal(pointer)), QPoint(), QPoint(0, 600), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(top(), &wheel);
    click("Option2"); // the Place tool
    ASSERT_EQ(editor().activeTool(), ToolKind::Place);
    const ViewScale zoomed = editor().topScale();
    QTest::keyPress(top(), Qt::Key_Space);
    EXPECT_EQ(editor().activeTool(), ToolKind::Pan);
    EXPECT_EQ(top()->cursor().shape(), Qt::OpenHandCursor);
    QTest::mousePress(top(), Qt::LeftButton, {}, pointer);
    dragTo(top(), pointer + QPoint(30, 0));
    QTest::mouseRelease(top(), Qt::LeftButton, {}, pointer + QPoint(30, 0));
    EXPECT_LT(editor().topScale().left, zoomed.left) << "dragging right shows what lies left";
    EXPECT_TRUE(editor().rows().empty()) << "nothing placed";
    QTest::keyRelease(top(), Qt::Key_Space);
    EXPECT_EQ(editor().activeTool(), ToolKind::Place);
    EXPECT_TRUE(find<QAction>("actPan")->toolTip().contains(QStringLiteral("Space")));
}

} // namespace
} // namespace starloom::test
