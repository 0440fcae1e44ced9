// The window's wiring of selection on the map, the Checks dock and "&Save": the editor does the
// work (tests/editing), these tests only prove that the widgets reach it.

#include "GuiFixture.h"
#include "TestSupport.h"

#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

namespace starloom::test {
namespace {

using MapSelectionTest = GuiTest;

TEST_F(MapSelectionTest, ClickOnAMarkSelectsItAndADragMovesIt)
{
    clickTop({100, 100}, "Option2");
    clickTop({300, 150});
    click("cmdSelect");
    EXPECT_TRUE(find<QPushButton>("cmdSelect")->isChecked());
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(101, 100));
    EXPECT_EQ(editor().selection(), std::vector<int>{0});
    EXPECT_EQ(list()->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(listRows(), 2); // nothing placed

    const ItemPosition before = editor().document().position(ItemKind::Asteroid, 0);
    QTest::mousePress(top(), Qt::LeftButton, {}, QPoint(100, 100));
    dragTo(top(), QPoint(120, 100));
    dragTo(top(), QPoint(140, 110));
    QTest::mouseRelease(top(), Qt::LeftButton, {}, QPoint(140, 110));
    const ItemPosition after = editor().document().position(ItemKind::Asteroid, 0);
    EXPECT_GT(after.x, before.x);
    EXPECT_GT(after.y, before.y);
    trigger("mnuEditUndo");
    EXPECT_EQ(editor().document().position(ItemKind::Asteroid, 0).x, before.x);

    trigger("mnuEditSelectAll");
    EXPECT_EQ(list()->selectionModel()->selectedRows().size(), 2);
    EXPECT_TRUE(find<QLabel>("lblSelectionCount")->isVisible());
    EXPECT_FALSE(find<QPushButton>("cmdApply")->isEnabled());
    trigger("mnuEditDuplicate");
    EXPECT_EQ(listRows(), 4);
}

TEST_F(MapSelectionTest, TheChecksDockListsFindingsAndSelectsTheirItemsOnClick)
{
    auto* checks = find<QListWidget>("lstChecks");
    click("cmdChecks");
    EXPECT_TRUE(find("dockChecks")->isVisible());
    // A new level has no start points: two errors.
    ASSERT_EQ(checks->count(), 2);
    EXPECT_TRUE(checks->item(0)->text().startsWith(QStringLiteral("error: missing-start")));
    clickTop({100, 100}, "Option1");
    QTest::keyClick(find<QComboBox>("Combo1"), Qt::Key_Down);
    clickTop({100, 96});           // above the first: its label lies to the right and below
    ASSERT_EQ(checks->count(), 1); // the two start points are too close
    EXPECT_TRUE(checks->item(0)->text().startsWith(QStringLiteral("warning: starts-too-close")))
        << checks->item(0)->text().toStdString();
    editor().clearSelection();
    QTest::mouseClick(checks->viewport(), Qt::LeftButton, {}, checks->visualItemRect(checks->item(0)).center());
    EXPECT_EQ(editor().selection(), (std::vector<int>{0, 1}));
    // The least distance the checks allow is the panel's to set.
    find<QSpinBox>("spnMinStartDistance")->setValue(100);
    EXPECT_EQ(editor().checkOptions().minStartDistance, 100);
    EXPECT_EQ(checks->count(), 0);
    find<QSpinBox>("spnFairShare")->setValue(25);
    EXPECT_EQ(editor().checkOptions().fairShare, 0.25);
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
    const QList<QListWidgetItem*> told =
        find<QListWidget>("lstChecks")->findItems(QStringLiteral("load: line 2:"), Qt::MatchStartsWith);
    EXPECT_EQ(told.size(), 1);
}

TEST_F(MapSelectionTest, SaveWritesToTheFileInUseWithoutADialogAndTheCaptionNamesIt)
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

} // namespace
} // namespace starloom::test
