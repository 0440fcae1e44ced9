// Hidden and locked items: the map neither hits nor selects them, the views do not draw hidden
// ones, and the marks stay with their rows through undo, redo and rows coming and going without
// being part of the level.

#include "EditorFixture.h"

#include "editing/Selection.h"
#include "levelfile/LevelWriter.h"

#include <vector>

namespace starloom::test {
namespace {

enum class Mark { Hidden, Locked };

class EditorVisibility : public EditorTest {
protected:
    // Three asteroids at (-5000, -5000), (-4000, -4000) and (5000, 5000) on a 600 x 600 top view,
    // the Select tool chosen.
    void threeAsteroids()
    {
        editor->setTopViewSize(QSize(600, 600));
        place(ItemKind::Asteroid, -5000, -5000);
        place(ItemKind::Asteroid, -4000, -4000);
        place(ItemKind::Asteroid, 5000, 5000);
        editor->chooseSelectTool();
        editor->clearSelection();
    }
    void mark(Mark m, int row, bool on = true)
    {
        m == Mark::Hidden ? editor->setRowHidden(row, on) : editor->setRowLocked(row, on);
    }
    bool marked(Mark m, int row) const { return m == Mark::Hidden ? editor->rowHidden(row) : editor->rowLocked(row); }
    void clickAt(double x, double y, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        editor->moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(x, y));
        editor->pressOnTopView(Qt::LeftButton, modifiers, QPointF(x, y));
        editor->releaseOnTopView(Qt::LeftButton, modifiers, QPointF(x, y));
        editor->clickTopView();
    }
    void band(double x1, double y1, double x2, double y2)
    {
        editor->pressOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(x1, y1));
        editor->moveOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(x2, y2));
        editor->releaseOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(x2, y2));
        editor->clickTopView();
    }
    QByteArray file() const
    {
        ModelLists models(editor->catalogue());
        return writeLevel(editor->level(), models, true);
    }
};

const Mark bothMarks[] = {Mark::Hidden, Mark::Locked};

TEST_F(EditorVisibility, AHiddenOrLockedItemIsNotHitByAClickOrThePointer)
{
    for (const Mark m : bothMarks) {
        makeEditor();
        threeAsteroids();
        mark(m, 2);
        clickAt(5000, 5000);
        EXPECT_TRUE(editor->selection().empty()) << int(m);
        EXPECT_EQ(editor->hoveredRow(), -1) << int(m);
        mark(m, 2, false);
        clickAt(5000, 5000);
        EXPECT_EQ(editor->selection(), std::vector<int>{2}) << int(m) << ": hit again once cleared";
    }
}

TEST_F(EditorVisibility, ARubberBandAndSelectAllLeaveHiddenAndLockedItemsOut)
{
    for (const Mark m : bothMarks) {
        makeEditor();
        threeAsteroids();
        mark(m, 1);
        band(-6000, -6000, -3000, -3000);
        EXPECT_EQ(editor->selection(), std::vector<int>{0}) << int(m);
        editor->selectAll();
        EXPECT_EQ(editor->selection(), (std::vector<int>{0, 2})) << int(m);
    }
}

TEST_F(EditorVisibility, HidingTakesTheItemOutOfTheSelectionLockingDoesNot)
{
    threeAsteroids();
    editor->setSelection({0, 1, 2});
    editor->setRowLocked(1, true);
    EXPECT_EQ(editor->selection(), (std::vector<int>{0, 1, 2}));
    editor->setRowHidden(1, true);
    EXPECT_EQ(editor->selection(), (std::vector<int>{0, 2}));
}

TEST_F(EditorVisibility, AKindsToggleMarksEveryItemOfThatKindOnly)
{
    for (const Mark m : bothMarks) {
        makeEditor();
        threeAsteroids();
        place(ItemKind::Pebble, 0, 0);
        m == Mark::Hidden ? editor->setKindHidden(ItemKind::Asteroid, true)
                          : editor->setKindLocked(ItemKind::Asteroid, true);
        EXPECT_TRUE(marked(m, 0) && marked(m, 1) && marked(m, 2)) << int(m);
        EXPECT_FALSE(marked(m, 3)) << int(m) << ": the pebble";
        const auto count = [&](ItemKind kind) {
            return m == Mark::Hidden ? editor->hiddenCount(kind) : editor->lockedCount(kind);
        };
        EXPECT_EQ(count(ItemKind::Asteroid), 3) << int(m);
        EXPECT_EQ(count(ItemKind::Pebble), 0) << int(m);
        mark(m, 1, false);
        EXPECT_EQ(count(ItemKind::Asteroid), 2) << int(m);
        m == Mark::Hidden ? editor->setKindHidden(ItemKind::Asteroid, false)
                          : editor->setKindLocked(ItemKind::Asteroid, false);
        EXPECT_EQ(count(ItemKind::Asteroid), 0) << int(m);
    }
}

TEST_F(EditorVisibility, MarksAreNeitherUndoStepsNorPartOfTheFile)
{
    threeAsteroids();
    const QByteArray before = file();
    const int steps = editor->undoStack().count();
    const bool modified = editor->isModified();
    editor->setRowHidden(0, true);
    editor->setKindLocked(ItemKind::Asteroid, true);
    EXPECT_EQ(editor->undoStack().count(), steps);
    EXPECT_EQ(editor->isModified(), modified);
    EXPECT_EQ(file(), before);
}

TEST_F(EditorVisibility, MarksSurviveUndoAndRedoOfOtherEdits)
{
    for (const Mark m : bothMarks) {
        makeEditor();
        threeAsteroids();
        mark(m, 1);
        place(ItemKind::Pebble, 0, 0);
        editor->undo();
        EXPECT_TRUE(marked(m, 1)) << int(m) << " after undo";
        editor->redo();
        EXPECT_TRUE(marked(m, 1)) << int(m) << " after redo";
        EXPECT_FALSE(marked(m, 3)) << int(m) << ": the pebble";
        EXPECT_EQ(
            m == Mark::Hidden ? editor->hiddenCount(ItemKind::Asteroid) : editor->lockedCount(ItemKind::Asteroid), 1);
    }
}

TEST_F(EditorVisibility, MarksFollowTheirRowsWhenRowsBeforeThemGoAndComeBack)
{
    for (const Mark m : bothMarks) {
        makeEditor();
        threeAsteroids();
        mark(m, 2);
        editor->setSelection({0});
        editor->deleteSelection();
        ASSERT_EQ(editor->rows().size(), 2u);
        EXPECT_FALSE(marked(m, 0)) << int(m);
        EXPECT_TRUE(marked(m, 1)) << int(m) << ": the third asteroid is now the second row";
        editor->undo();
        EXPECT_FALSE(marked(m, 0)) << int(m);
        EXPECT_FALSE(marked(m, 1)) << int(m);
        EXPECT_TRUE(marked(m, 2)) << int(m);
    }
}

TEST_F(EditorVisibility, ADeletedMarkedItemComesBackMarkedByUndo)
{
    threeAsteroids();
    editor->setRowHidden(1, true);
    editor->setRowLocked(1, true);
    editor->setSelection({0, 1});
    editor->deleteSelection();
    EXPECT_EQ(editor->hiddenCount(ItemKind::Asteroid), 0);
    editor->undo();
    EXPECT_TRUE(editor->rowHidden(1));
    EXPECT_TRUE(editor->rowLocked(1));
    EXPECT_EQ(editor->hiddenCount(ItemKind::Asteroid), 1);
    EXPECT_EQ(editor->lockedCount(ItemKind::Asteroid), 1);
}

} // namespace
} // namespace starloom::test

namespace starloom::test {
namespace {

TEST_F(EditorVisibility, TheFilterFindsARowByItsTextItsKindOrItsCustomName)
{
    place(ItemKind::Asteroid, 0, 0);
    placeCustom(ItemKind::Ship, QStringLiteral("Kuun Lan"), 100, 100);
    struct Case {
        const char* filter;
        bool asteroid;
        bool ship;
    };
    for (const Case c : {Case{"", true, true}, Case{"ASTEROID #", true, false}, Case{"ships", false, true},
             Case{"kuun", false, true}, Case{"no such thing", false, false}}) {
        const QString filter = QString::fromLatin1(c.filter);
        EXPECT_EQ(editor->rowMatches(0, filter), c.asteroid) << c.filter;
        EXPECT_EQ(editor->rowMatches(1, filter), c.ship) << c.filter;
    }
    EXPECT_FALSE(editor->rowMatches(2, QStringLiteral("x"))) << "no such row";
}

} // namespace
} // namespace starloom::test
