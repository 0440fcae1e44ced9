// The window's wiring of selection on the map, the Checks dock and "&Save": the editor does the
// work (tests/editing), these tests only prove that the widgets reach it.

#include "GuiFixture.h"

#include "TestSupport.h"
#include <QLineEdit>

#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTreeWidget>

#include <algorithm>

namespace starloom::test {
namespace {

using MapSelectionTest = GuiTest;

TEST_F(MapSelectionTest, ClickOnAMarkSelectsIt)
{
    clickTop({100, 100}, "Option2");
    clickTop({300, 150});
    click("cmdSelect");
    EXPECT_TRUE(find<QAbstractButton>("cmdSelect")->isChecked());
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(101, 100));
    EXPECT_EQ(editor().selection(), std::vector<int>{0});
    EXPECT_EQ(list()->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(listRows(), 2); // nothing placed
}

TEST_F(MapSelectionTest, ADragMovesTheSelectedMark)
{
    const QPoint at = pixelOf(top(), editor().topScale(), -20000, -15000); // inside the world
    clickTop(at, "Option2");
    clickTop(pixelOf(top(), editor().topScale(), 0, 0));
    click("cmdSelect");
    QTest::mouseClick(top(), Qt::LeftButton, {}, at + QPoint(1, 0));
    const ItemPosition before = editor().document().position(ItemKind::Asteroid, 0);
    const QPoint grab = at - QPoint(1, 1); // on the mark, left of and above its label
    QTest::mousePress(top(), Qt::LeftButton, {}, grab);
    dragTo(top(), grab + QPoint(20, 0));
    dragTo(top(), grab + QPoint(40, 10));
    QTest::mouseRelease(top(), Qt::LeftButton, {}, grab + QPoint(40, 10));
    const ItemPosition after = editor().document().position(ItemKind::Asteroid, 0);
    EXPECT_GT(after.x, before.x);
    EXPECT_GT(after.y, before.y);
    trigger("mnuEditUndo");
    EXPECT_EQ(editor().document().position(ItemKind::Asteroid, 0).x, before.x);
}

TEST_F(MapSelectionTest, SelectAllThenDuplicateCopiesEveryItem)
{
    clickTop({100, 100}, "Option2");
    clickTop({300, 150});
    click("cmdSelect");
    trigger("mnuEditSelectAll");
    EXPECT_EQ(list()->selectionModel()->selectedRows().size(), 2);
    EXPECT_TRUE(find<QLabel>("lblSelectionCount")->isVisible());
    EXPECT_FALSE(find<QPushButton>("cmdApply")->isEnabled());
    trigger("mnuEditDuplicate");
    EXPECT_EQ(listRows(), 4);
}

TEST_F(MapSelectionTest, AnUndoneDeleteAllSelectsTheRowsAgainAsOneRange)
{
    for (int x : {60, 120, 180, 240, 300})
        clickTop({x, 80}, "Option2");
    trigger("mnuEditSelectAll");
    trigger("mnuEditDelete");
    ASSERT_EQ(listRows(), 0);
    trigger("mnuEditUndo");
    ASSERT_EQ(listRows(), 5);
    // Thousands of rows selected one range each made the list compare every range with every other.
    EXPECT_EQ(list()->selectionModel()->selectedRows().size(), 5);
    EXPECT_EQ(list()->selectionModel()->selection().size(), 1);
    trigger("mnuEditRedo");
    trigger("mnuEditUndo");
    EXPECT_EQ(list()->selectionModel()->selection().size(), 1);
}

// The Checks list's line (group or finding) whose text starts with `text`, nullptr when none.
QTreeWidgetItem* checkLine(QTreeWidget* checks, const QString& text)
{
    const QList<QTreeWidgetItem*> found = checks->findItems(text, Qt::MatchStartsWith | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

void clickLine(QTreeWidget* checks, QTreeWidgetItem* line)
{
    checks->scrollToItem(line);
    QTest::mouseClick(checks->viewport(), Qt::LeftButton, {}, checks->visualItemRect(line).center());
}

// Whether the top view shows the world point (x, y).
bool shows(const ViewScale& view, double x, double y)
{
    return x >= std::min(view.left, view.right) && x <= std::max(view.left, view.right)
        && y >= std::min(view.top, view.bottom) && y <= std::max(view.top, view.bottom);
}

TEST_F(MapSelectionTest, TheChecksDockGroupsFindingsByCodeWithTheirCounts)
{
    auto* checks = find<QTreeWidget>("lstChecks");
    click("cmdChecks");
    EXPECT_TRUE(find("dockChecks")->isVisible());
    // A new level has no start points: two errors in one group.
    ASSERT_EQ(checks->topLevelItemCount(), 1);
    QTreeWidgetItem* missing = checks->topLevelItem(0);
    EXPECT_EQ(missing->text(0), QStringLiteral("missing-start (2)"));
    ASSERT_EQ(missing->childCount(), 2);
    EXPECT_EQ(missing->child(1)->text(0), QStringLiteral("Player 2 has no start point"));
    EXPECT_TRUE(missing->isExpanded()) << "a short group starts open";
    const QImage critical = checks->style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(16).toImage();
    ASSERT_FALSE(critical.isNull());
    ASSERT_NE(critical, checks->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(16).toImage());
    EXPECT_EQ(missing->icon(0).pixmap(16).toImage(), critical);
    EXPECT_EQ(missing->child(0)->icon(0).pixmap(16).toImage(), critical);
    // The share the resources may differ by is the panel's to set.
    find<QSpinBox>("spnFairShare")->setValue(25);
    EXPECT_EQ(editor().checkOptions().fairShare, 0.25);
}

TEST_F(MapSelectionTest, AClickOnAFindingSelectsItsItemsAndFramesThem)
{
    auto* checks = find<QTreeWidget>("lstChecks");
    click("cmdChecks");
    const QPoint at = pixelOf(top(), editor().topScale(), -20000, -15000); // inside the world
    clickTop(at, "Option1");
    QTest::keyClick(find<QComboBox>("Combo1"), Qt::Key_Down);
    clickTop(at - QPoint(0, 4));               // above the first: its label lies to the right and below
    ASSERT_EQ(checks->topLevelItemCount(), 1); // the two start points are too close
    QTreeWidgetItem* group = checks->topLevelItem(0);
    EXPECT_EQ(group->text(0), QStringLiteral("starts-too-close (1)"));
    ASSERT_EQ(group->childCount(), 1);
    QTreeWidgetItem* close = group->child(0);
    EXPECT_TRUE(close->text(0).endsWith(QStringLiteral(" u) \u2014 Player 1 start, Player 2 start")))
        << close->text(0).toStdString();
    EXPECT_EQ(close->icon(0).pixmap(16).toImage(),
        checks->style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(16).toImage());
    editor().clearSelection();
    window->refresh();
    const double wholeWidth = editor().topScale().width();
    clickLine(checks, close);
    EXPECT_EQ(editor().selection(), (std::vector<int>{0, 1}));
    EXPECT_EQ(list()->selectionModel()->selectedRows().size(), 2) << "the list follows the selection";
    const ViewScale framed = editor().topScale();
    EXPECT_LT(framed.width(), wholeWidth / 2);
    for (const std::int16_t slot : {std::int16_t(0), std::int16_t(1)}) {
        const ItemPosition p = editor().document().position(ItemKind::PlayerStart, slot);
        EXPECT_TRUE(shows(framed, p.x, p.y)) << "start point " << slot;
    }
    // A greater least distance leaves nothing to find.
    find<QSpinBox>("spnMinStartDistance")->setValue(100);
    EXPECT_EQ(editor().checkOptions().minStartDistance, 100);
    ASSERT_EQ(checks->topLevelItemCount(), 1);
    EXPECT_EQ(checks->topLevelItem(0)->text(0), QStringLiteral("No problems found"));
}

TEST_F(MapSelectionTest, AGroupSelectsTheItemsOfAllItsFindings)
{
    auto* checks = find<QTreeWidget>("lstChecks");
    click("cmdChecks");
    for (const char* name : {"Rock_A", "Rock_B", "Rock_A"}) {
        editor().chooseKind(ItemKind::Asteroid);
        editor().chooseModel(static_cast<int>(editor().panel().models.size()) - 1);
        editor().setCustomName(QString::fromLatin1(name));
        editor().moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(1000.0 * double(editor().rows().size()), 0));
        editor().clickTopView();
    }
    window->refresh();
    QTreeWidgetItem* unknown = checkLine(checks, QStringLiteral("unknown-model"));
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->text(0), QStringLiteral("unknown-model (3)"));
    EXPECT_EQ(unknown->toolTip(0), QStringLiteral("3 items use models the catalogue does not know: Rock_A, Rock_B"));
    ASSERT_EQ(unknown->childCount(), 3);
    checks->expandItem(unknown);
    clickLine(checks, unknown->child(1));
    EXPECT_EQ(editor().selection(), std::vector<int>{1});
    clickLine(checks, unknown);
    EXPECT_EQ(editor().selection(), (std::vector<int>{0, 1, 2}));
}

TEST_F(MapSelectionTest, TheChecksFilterKeepsTheFindingsThatHoldItsText)
{
    auto* checks = find<QTreeWidget>("lstChecks");
    auto* filter = find<QLineEdit>("txtChecksFilter");
    click("cmdChecks");
    QTest::keyClicks(filter, QStringLiteral("player 2"));
    ASSERT_EQ(checks->topLevelItemCount(), 1);
    EXPECT_EQ(checks->topLevelItem(0)->text(0), QStringLiteral("missing-start (1 of 2)"));
    ASSERT_EQ(checks->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(checks->topLevelItem(0)->child(0)->text(0), QStringLiteral("Player 2 has no start point"));
    retype(filter, QStringLiteral("no such finding"));
    ASSERT_EQ(checks->topLevelItemCount(), 1);
    EXPECT_EQ(checks->topLevelItem(0)->text(0), QStringLiteral("Nothing matches the filter"));
    EXPECT_EQ(checks->topLevelItem(0)->icon(0).pixmap(16).toImage(),
        checks->style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16).toImage());
    filter->clear();
    EXPECT_EQ(checks->topLevelItem(0)->text(0), QStringLiteral("missing-start (2)"));
}

TEST_F(MapSelectionTest, TheStatusBarCountsAsTheDockDoesAndLoadProblemsComeFirst)
{
    const QString path = dir.filePath(QStringLiteral("one.level"));
    writeBytes(path,
        "maxPlayers = 2\nfunction DetermChunk()\n  addPoint(\"StartPos0\", {0, 0, -3000}, {0, 0, 0})\n"
        "  addPoint(\"StartPos1\", {0, 0, 3000}, {0, 0, 0})\n  addPoint(\"StartPos9\", {0, 0, 0}, {0, 0, 0})\n"
        "end\n");
    host.openNames = {path};
    trigger("mnuFileLoad");
    QCoreApplication::processEvents(); // the status bar makes room for the longer text
    // One load problem (the ninth player) and one finding (the two start points are too close).
    EXPECT_EQ(find<QPushButton>("cmdChecks")->text(), QStringLiteral("Checks: 1 warning, 1 load problem"));
    EXPECT_EQ(find("dockChecks")->windowTitle(), QStringLiteral("Checks: 1 warning, 1 load problem"));
    auto* checks = find<QTreeWidget>("lstChecks");
    ASSERT_EQ(checks->topLevelItemCount(), 2);
    EXPECT_EQ(checks->topLevelItem(0)->text(0), QStringLiteral("load problems (1)")) << "load problems first";
    EXPECT_TRUE(checks->topLevelItem(0)->child(0)->text(0).startsWith(QStringLiteral("line 5:")));
    EXPECT_EQ(checks->topLevelItem(1)->text(0), QStringLiteral("starts-too-close (1)"));
}

TEST_F(MapSelectionTest, ALoadThatFoundProblemsOpensTheChecksDockWithTheirLines)
{
    const QString path = dir.filePath(QStringLiteral("bad.level"));
    writeBytes(path,
        "function DetermChunk()\n  addPoint(\"StartPos9\", {0, 0, 0}, {0, 0, 0})\n"
        "  addAsteroid(\"Asteroid_3\", {1, 2, 3}, 100, 0, 0, 0, 0)\nend\n");
    host.openNames = {path};
    EXPECT_FALSE(find("dockChecks")->isVisible());
    trigger("mnuFileLoad");
    EXPECT_TRUE(find("dockChecks")->isVisible());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(checkLine(find<QTreeWidget>("lstChecks"), QStringLiteral("line 2:")));
}

TEST_F(MapSelectionTest, SaveWritesToTheFileInUseWithoutADialog)
{
    const QString path = saveTwoStartLevel("fair.level");
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("fair.level")));
    const int dialogs = host.saveDialogs;
    const std::size_t messages = host.messages.size();
    clickTop({200, 200}, "Option2");
    EXPECT_TRUE(window->isWindowModified());
    trigger("mnuFileSaveCurrent");
    EXPECT_EQ(host.saveDialogs, dialogs);
    EXPECT_EQ(host.messages.size(), messages);
    EXPECT_FALSE(window->isWindowModified());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("addAsteroid"));
    EXPECT_EQ(find<QAction>("mnuFileSaveCurrent")->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(find<QAction>("mnuFileSave")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
}

TEST_F(MapSelectionTest, ThePanelEditsThePositionOfEverySelectedItem)
{
    for (const int x : {1000, 3000}) {
        editor().chooseKind(ItemKind::Asteroid);
        editor().moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(x, 2000));
        editor().clickTopView();
    }
    editor().setSelection({0, 1});
    window->refresh();
    auto* x = find<QLineEdit>("txtPosX");
    auto* height = find<QLineEdit>("txtPosHeight");
    ASSERT_TRUE(x->isVisible());
    EXPECT_EQ(x->text(), QString()) << "the items differ";
    EXPECT_EQ(find<QLineEdit>("txtPosY")->text(), QStringLiteral("2000"));
    const int steps = editor().undoStack().count();
    height->setFocus();
    height->selectAll();
    QTest::keyClicks(height, QStringLiteral("500"));
    QTest::keyClick(height, Qt::Key_Return);
    EXPECT_EQ(editor().document().position(ItemKind::Asteroid, 0).z, 500);
    EXPECT_EQ(editor().document().position(ItemKind::Asteroid, 1).z, 500);
    EXPECT_EQ(editor().undoStack().count(), steps + 1);
    // A text that is no number is refused, kept and marked with the reason.
    x->setFocus();
    QTest::keyClicks(x, QStringLiteral("east"));
    QTest::keyClick(x, Qt::Key_Return);
    EXPECT_EQ(editor().undoStack().count(), steps + 1);
    EXPECT_EQ(x->text(), QStringLiteral("east"));
    EXPECT_TRUE(x->toolTip().contains(QLatin1String("must be a whole number"))) << x->toolTip().toStdString();
    x->selectAll();
    QTest::keyClicks(x, QStringLiteral("-4000"));
    QTest::keyClick(x, Qt::Key_Return);
    EXPECT_EQ(editor().document().position(ItemKind::Asteroid, 1).x, -4000);
    EXPECT_FALSE(x->toolTip().contains(QLatin1String("must be a whole number")));
    editor().setSelection({});
    window->refresh();
    EXPECT_FALSE(x->isVisible()) << "nothing selected: no position";
}

TEST_F(MapSelectionTest, TheFilterBoxKeepsTheMatchingRowsAndTheirGroups)
{
    clickTop({100, 100}, "Option2");
    clickTop({140, 100}, "Option3");
    clickTop({180, 100});
    auto* filter = find<QLineEdit>("txtObjectFilter");
    QTest::keyClicks(filter, QStringLiteral("cloud"));
    EXPECT_EQ(listRows(), 2);
    EXPECT_EQ(listText(0), QString()) << "Asteroid #1 is left out";
    EXPECT_EQ(listText(1), editor().rows()[1].text);
    ASSERT_EQ(listModel()->rowCount(), 1) << "only the clouds' group";
    EXPECT_EQ(listModel()->index(0, 0).data().toString(), QStringLiteral("Clouds (2)"));
    clickTop({220, 100}); // a new cloud matches too
    EXPECT_EQ(listText(3), editor().rows()[3].text);
    filter->clear();
    EXPECT_EQ(listRows(), 4);
    EXPECT_EQ(listText(0), editor().rows()[0].text);
}

} // namespace
} // namespace starloom::test
