// Selection on the map and the work on it, through the Editor: each operation is checked for what
// it makes, and then undone back to the very same file.

#include "EditorFixture.h"

#include "editing/Selection.h"
#include "editing/Transforms.h"
#include "levelfile/LevelWriter.h"

#include <QPoint>

#include <optional>
#include <random>
#include <vector>

namespace starloom::test {
namespace {

struct XY {
    int x, y;
    bool operator==(const XY&) const = default;
};

class EditorSelection : public EditorTest {
protected:
    QByteArray file()
    {
        ModelLists models(editor->catalogue());
        return writeLevel(editor->level(), models, true);
    }
    XY at(int row) const
    {
        const auto p = rowPosition(editor->level(), row);
        return p ? XY{p->x, p->y} : XY{-1, -1};
    }
    // A 600 x 600 top view of the default world: 100 world units a pixel, the centre at (300, 300).
    void showTopView() { editor->setTopViewSize(QSize(600, 600)); }
    QPointF pixelOf(double x, double y) const { return editor->topScale().toPixel(x, y, QSizeF(600, 600)); }
    void press(double x, double y, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        editor->pressOnTopView(Qt::LeftButton, modifiers, QPointF(x, y));
    }
    void dragTo(double x, double y) { editor->moveOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(x, y)); }
    void hover(double x, double y) { editor->moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(x, y)); }
    void release(double x, double y)
    {
        editor->releaseOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(x, y)), editor->clickTopView();
    }
    // A fresh level with a start point at (4000, -9000) heading 30 and an asteroid at (1000, 2000),
    // both selected; the file it writes.
    QByteArray startAndAsteroidSelected()
    {
        makeEditor();
        editor->chooseKind(ItemKind::PlayerStart);
        editor->setFieldText(0, QStringLiteral("30"));
        clickTop(4000, -9000);
        place(ItemKind::Asteroid, 1000, 2000);
        editor->setSelection({0, 1});
        return file();
    }
    // Three asteroids, two near (-4500, -4750) and one at (5000, 5000), in the Select tool.
    void threeAsteroidsToSelect()
    {
        showTopView();
        place(ItemKind::Asteroid, -5000, -5000);
        place(ItemKind::Asteroid, -4000, -4500);
        place(ItemKind::Asteroid, 5000, 5000);
        editor->chooseSelectTool();
    }
};

TEST_F(EditorSelection, RotateMakesTurnedCopiesWithStartPointsInTheNextSlots)
{
    // For each N: the copies of a start point at (0, -10000) and an asteroid at (3000, -7000).
    const std::vector<std::vector<XY>> expected = {
        {{0, 10000}, {-3000, 7000}},
        {{8660, 5000}, {4562, 6098}, {-8660, 5000}, {-7562, 902}},
        {{10000, 0}, {7000, 3000}, {0, 10000}, {-3000, 7000}, {-10000, 0}, {-7000, -3000}},
        {{9511, -3090}, {7584, 690}, {5878, 8090}, {1687, 7426}, {-5878, 8090}, {-6542, 3900}, {-9511, -3090},
            {-5730, -5016}},
        {{8660, -5000}, {7562, -902}, {8660, 5000}, {4562, 6098}, {0, 10000}, {-3000, 7000}, {-8660, 5000},
            {-7562, 902}, {-8660, -5000}, {-4562, -6098}},
        {{7818, -6235}, {7343, -2019}, {9749, 2225}, {6157, 4482}, {4339, 9010}, {334, 7608}, {-4339, 9010},
            {-5740, 5005}, {-9749, 2225}, {-7492, -1367}, {-7818, -6235}, {-3602, -6710}},
        {{7071, -7071}, {7071, -2828}, {10000, 0}, {7000, 3000}, {7071, 7071}, {2828, 7071}, {0, 10000}, {-3000, 7000},
            {-7071, 7071}, {-7071, 2828}, {-10000, 0}, {-7000, -3000}, {-7071, -7071}, {-2828, -7071}},
    };
    for (int n = 2; n <= 8; ++n) {
        SCOPED_TRACE(n);
        makeEditor();
        editor->chooseKind(ItemKind::PlayerStart);
        editor->setFieldText(0, QStringLiteral("30"));
        clickTop(0, -10000);
        place(ItemKind::Asteroid, 3000, -7000);
        const QByteArray before = file();
        editor->setSelection({0, 1});
        editor->rotateCopies(n);

        ASSERT_EQ(editor->rows().size(), std::size_t(2 * n));
        for (int k = 1; k < n; ++k) {
            const int startRow = 2 * k;
            EXPECT_EQ(at(startRow), expected[std::size_t(n - 2)][std::size_t(2 * (k - 1))]);
            EXPECT_EQ(at(startRow + 1), expected[std::size_t(n - 2)][std::size_t(2 * (k - 1) + 1)]);
            const ObjectRow& row = editor->rows()[std::size_t(startRow)];
            EXPECT_EQ(row.kind, ItemKind::PlayerStart);
            EXPECT_EQ(row.arrayId, k); // the next free slot
            EXPECT_EQ(row.text, QStringLiteral("Player %1 start").arg(k + 1));
            const float heading = std::fmod(30.0f + 360.0f * float(k) / float(n), 360.0f);
            EXPECT_FLOAT_EQ(doc().player(k).orientation, heading);
            EXPECT_EQ(editor->rows()[std::size_t(startRow + 1)].text, QStringLiteral("Asteroid #%1").arg(k + 1));
        }
        EXPECT_EQ(editor->mapSettings().playerCount(), n);
        EXPECT_EQ(editor->selection().size(), std::size_t(2 * n));

        editor->undo();
        EXPECT_EQ(file(), before);
        EXPECT_EQ(editor->mapSettings().playerCount(), 2);
        editor->redo();
        EXPECT_EQ(editor->rows().size(), std::size_t(2 * n));
    }
}

// A start point at (4000, -9000) heading 30 and an asteroid at (1000, 2000), mirrored on each axis.
struct MirrorCase {
    MirrorAxis axis;
    XY start, asteroid;
    float heading;
};
const MirrorCase mirrorCases[] = {
    {MirrorAxis::X, {4000, 9000}, {1000, -2000}, 150},
    {MirrorAxis::Y, {-4000, -9000}, {-1000, 2000}, 330},
    {MirrorAxis::Centre, {-4000, 9000}, {-1000, -2000}, 210},
};

TEST_F(EditorSelection, MirrorMakesCopiesWithTheHeadingMirrored)
{
    for (const MirrorCase& c : mirrorCases) {
        SCOPED_TRACE(int(c.axis));
        const QByteArray before = startAndAsteroidSelected();
        editor->mirrorSelection(c.axis);
        ASSERT_EQ(editor->rows().size(), 4u);
        EXPECT_EQ(at(0), (XY{4000, -9000}));
        EXPECT_EQ(at(2), c.start);
        EXPECT_EQ(at(3), c.asteroid);
        EXPECT_EQ(editor->rows()[2].arrayId, 1);
        EXPECT_FLOAT_EQ(doc().player(1).orientation, c.heading);
        EXPECT_EQ(editor->selection(), (std::vector<int>{2, 3}));
        editor->undo();
        EXPECT_EQ(file(), before);
    }
}

TEST_F(EditorSelection, FlipMovesInPlaceWithTheHeadingMirrored)
{
    for (const MirrorCase& c : mirrorCases) {
        SCOPED_TRACE(int(c.axis));
        const QByteArray before = startAndAsteroidSelected();
        editor->flipSelection(c.axis);
        EXPECT_EQ(editor->rows().size(), 2u);
        EXPECT_EQ(at(0), c.start);
        EXPECT_EQ(at(1), c.asteroid);
        EXPECT_FLOAT_EQ(doc().player(0).orientation, c.heading);
        editor->undo();
        EXPECT_EQ(file(), before);
    }
}

TEST_F(EditorSelection, MakeSymmetricTurnsTheFirstPlayersSectorForEveryPlayer)
{
    place(ItemKind::PlayerStart, 0, -10000);
    place(ItemKind::PlayerStart, 0, 10000, 1); // replaced by the turned copy of Player 1
    place(ItemKind::Asteroid, 2000, -8000);    // in Player 1's sector
    place(ItemKind::Asteroid, 9000, 0);        // outside it for 4 players: removed
    place(ItemKind::Nebula, 0, 0);             // at the centre: shared, kept once
    const QByteArray before = file();

    editor->makeSymmetric(4);
    ASSERT_EQ(editor->rows().size(), 9u); // start, asteroid, nebula and 3 x 2 copies
    EXPECT_EQ(editor->rows()[2].kind, ItemKind::Nebula);
    const std::vector<XY> expected = {{0, -10000}, {2000, -8000}, {0, 0}, {10000, 0}, {8000, 2000}, {0, 10000},
        {-2000, 8000}, {-10000, 0}, {-8000, -2000}};
    for (int row = 0; row < 9; ++row)
        EXPECT_EQ(at(row), expected[std::size_t(row)]) << row;
    EXPECT_EQ(editor->rows()[3].arrayId, 1);
    EXPECT_EQ(editor->rows()[5].arrayId, 2);
    EXPECT_EQ(editor->rows()[7].arrayId, 3);
    EXPECT_EQ(editor->mapSettings().playerCount(), 4);
    EXPECT_TRUE(checkLevel(editor->level(), {}, nullptr).empty());

    editor->undo();
    EXPECT_EQ(file(), before);
    EXPECT_EQ(editor->mapSettings().playerCount(), 2);
}

TEST_F(EditorSelection, ClickSelectsTheNearestMarkPreferringTheLastDrawn)
{
    showTopView();
    place(ItemKind::Asteroid, 1000, 1000);
    place(ItemKind::Pebble, 1000, 1000);
    place(ItemKind::Asteroid, 1300, 1000);
    editor->chooseSelectTool();
    const QPointF p = pixelOf(1000, 1000);
    press(editor->topScale().toWorld(p + QPointF(1, 0), QSizeF(600, 600)).x(), 1000);
    release(1100, 1000);
    EXPECT_EQ(editor->selection(), std::vector<int>{1}); // equal distance: the pebble, drawn last
    EXPECT_EQ(editor->selectedRow(), 1);
    EXPECT_EQ(editor->mode(), EditorMode::Editing);

    press(1250, 1000); // half a pixel from the second asteroid
    release(1250, 1000);
    EXPECT_EQ(editor->selection(), std::vector<int>{2});
    press(1000, 1000, Qt::ControlModifier); // Ctrl toggles
    release(1000, 1000);
    EXPECT_EQ(editor->selection(), (std::vector<int>{1, 2}));
    EXPECT_EQ(editor->selectedRow(), -1); // the panel edits no single item
    press(20000, 20000);                  // on nothing: a rubber band that selects nothing clears
    release(20000, 20000);
    EXPECT_TRUE(editor->selection().empty());
    EXPECT_EQ(editor->rows().size(), 3u); // no click placed anything
}

// The index of marks answers as the walk over every row does: for marks crowded into a few
// pixels, on the same spot, beyond the view's edge, and for pixels inside and outside the view.
TEST_F(EditorSelection, TheMarkIndexFindsWhatTheWalkFinds)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> spot(-3, 3);
    // Clusters a few pixels wide around five centres, some of them past the view's edges.
    const XY centres[] = {{0, 0}, {29900, 29900}, {-30200, 0}, {10000, -29950}, {1234, 5678}};
    for (int i = 0; i < 300; ++i) {
        const XY c = centres[i % 5];
        place(i % 3 == 0 ? ItemKind::Asteroid : ItemKind::Pebble, c.x + 100 * spot(rng), c.y + 100 * spot(rng));
    }
    const QSize pixels(600, 600);
    const ViewScale top = editor->topScale();
    for (const double margin : {5.0, 12.0}) {
        MarkIndex index;
        index.build(editor->level(), top, pixels, margin);
        std::uniform_real_distribution<double> pixel(-40, 640);
        std::uniform_real_distribution<double> near(-9, 9);
        int answered = 0;
        int found = 0;
        for (int i = 0; i < 4000; ++i) {
            // Every other pixel near a cluster.
            const XY c = centres[i % 5];
            const QPointF at =
                i % 2 == 0 ? QPointF(pixel(rng), pixel(rng)) : pixelOf(c.x, c.y) + QPointF(near(rng), near(rng));
            for (const double tolerance : {0.5, 5.0}) {
                const std::optional<int> row = index.at(at, tolerance);
                if (!row)
                    continue;
                ++answered;
                found += *row >= 0;
                ASSERT_EQ(*row, itemAt(editor->level(), top, pixels, at, tolerance))
                    << "margin " << margin << " tolerance " << tolerance << " at " << at.x() << ", " << at.y();
            }
        }
        EXPECT_GT(answered, 6000) << "the index answers inside the view";
        EXPECT_GT(found, 1000) << "and many pixels lie on marks";
        EXPECT_EQ(index.at(QPointF(300, 300), margin + 1), std::nullopt) << "a tolerance over the margin";
    }
    MarkIndex empty;
    EXPECT_EQ(empty.at(QPointF(300, 300), 5), std::nullopt) << "nothing built";
}

// The item under the pointer follows the level: after a move, an undo and a deletion.
TEST_F(EditorSelection, ThePointersItemFollowsChangesOfTheLevel)
{
    showTopView();
    place(ItemKind::Asteroid, 1000, 1000);
    editor->chooseSelectTool();
    hover(1000, 1000);
    EXPECT_EQ(editor->hoveredRow(), 0);
    editor->setSelection({0});
    editor->nudgeSelection(10, 0); // ten grid steps to the right
    hover(1000, 1000);
    EXPECT_EQ(editor->hoveredRow(), -1);
    editor->undo();
    hover(1000, 1000);
    EXPECT_EQ(editor->hoveredRow(), 0);
    editor->setSelection({0});
    editor->deleteSelection();
    hover(1000, 1000);
    EXPECT_EQ(editor->hoveredRow(), -1);
}

TEST_F(EditorSelection, RubberBandSelectsWhatLiesInside)
{
    threeAsteroidsToSelect();
    press(-6000, -6000);
    dragTo(-3000, -3000);
    ASSERT_TRUE(editor->rubberBand().has_value());
    release(-3000, -3000);
    EXPECT_EQ(editor->selection(), (std::vector<int>{0, 1}));
}

TEST_F(EditorSelection, AShiftRubberBandAddsToTheSelection)
{
    threeAsteroidsToSelect();
    press(-6000, -6000);
    dragTo(-3000, -3000);
    release(-3000, -3000);
    press(4000, 4000, Qt::ShiftModifier);
    release(6000, 6000);
    EXPECT_EQ(editor->selection(), (std::vector<int>{0, 1})) << "a shift click on nothing keeps the selection";
    press(4000, 4000, Qt::ShiftModifier);
    dragTo(6000, 6000);
    release(6000, 6000);
    EXPECT_EQ(editor->selection(), (std::vector<int>{0, 1, 2}));
}

TEST_F(EditorSelection, DraggingTheSelectionMovesItAsOneStep)
{
    threeAsteroidsToSelect();
    const QByteArray before = file();
    editor->setSelection({0, 1, 2});
    const int steps = editor->undoStack().count();
    press(-5000, -5000);
    for (int i = 1; i <= 10; ++i)
        dragTo(-5000 + 100 * i, -5000);
    release(-4000, -5000);
    EXPECT_EQ(at(0), (XY{-4000, -5000}));
    EXPECT_EQ(at(1), (XY{-3000, -4500}));
    EXPECT_EQ(at(2), (XY{6000, 5000}));
    EXPECT_EQ(editor->undoStack().count(), steps + 1);
    editor->undo();
    EXPECT_EQ(file(), before);
    EXPECT_EQ(editor->selection().size(), 3u);
}

TEST_F(EditorSelection, EverySelectionEditIsOneStep)
{
    editor->setSnapToGrid(true);
    place(ItemKind::Asteroid, 1300, -1200); // onto the grid's nearest point
    EXPECT_EQ(at(0), (XY{2500, 0}));
    place(ItemKind::Salvage, 4000, 4000);
    const QByteArray before = file();
    editor->setSelection({0, 1});
    editor->nudgeSelection(1, 0);
    EXPECT_EQ(at(0), (XY{5000, 0}));
    EXPECT_EQ(at(1), (XY{7500, 5000}));
    editor->duplicateSelection();
    ASSERT_EQ(editor->rows().size(), 4u);
    EXPECT_EQ(at(2), (XY{7500, 2500}));
    EXPECT_EQ(editor->rows()[2].text, QStringLiteral("Asteroid #2"));
    EXPECT_EQ(editor->selection(), (std::vector<int>{2, 3}));

    const QByteArray copied = editor->copySelection();
    editor->deleteSelection();
    EXPECT_EQ(editor->rows().size(), 2u);
    editor->moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(-20000, -20000));
    ASSERT_TRUE(editor->pasteText(copied));
    ASSERT_EQ(editor->rows().size(), 4u);
    EXPECT_EQ(at(2), (XY{-20000, -20000}));
    EXPECT_EQ(at(3), (XY{-17500, -15000}));
    EXPECT_FALSE(editor->pasteText("not a level"));

    for (int i = 0; i < 4; ++i)
        editor->undo();
    EXPECT_EQ(file(), before);
}

TEST_F(EditorSelection, MeasureGivesTheDistanceOfADragOrOfTwoItemsIn3D)
{
    showTopView();
    editor->setSetHeightChecked(true);
    editor->setSetHeightText(QStringLiteral("1200"));
    place(ItemKind::Asteroid, 0, 0);
    editor->setSetHeightChecked(false);
    place(ItemKind::Asteroid, 3000, 4000);
    editor->setSelection({0, 1});
    EXPECT_EQ(editor->measureText(), QStringLiteral("Distance: 5142"));
    editor->setMeasuring(true);
    // A drag from the raised asteroid: to the other asteroid, then on to an empty place.
    press(120, -90);
    dragTo(2950, 4020);
    EXPECT_EQ(editor->measureText(), QStringLiteral("Distance: 5142"));
    ASSERT_TRUE(editor->measureLine());
    EXPECT_EQ(*editor->measureLine(), QLineF(0, 0, 3000, 4000));
    dragTo(6000, 8000);
    EXPECT_EQ(editor->measureText(), QStringLiteral("Distance: 10072"));
    release(6000, 8000);
    // Between two empty places the line lies at height 0.
    press(-30000, -30000);
    dragTo(-24000, -22000);
    EXPECT_EQ(editor->measureText(), QStringLiteral("Distance: 10000"));
    release(-24000, -22000);
    EXPECT_EQ(editor->rows().size(), 2u);
}

TEST_F(EditorSelection, APositionTypedAsANumberMovesEverySelectedItemAsOneStep)
{
    place(ItemKind::Asteroid, 1000, 2000);
    place(ItemKind::Pebble, 3000, 2000);
    editor->setSelection({0, 1});
    using Axis = Editor::Axis;
    EXPECT_EQ(editor->selectionCoordinate(Axis::X), QString()) << "the items differ";
    EXPECT_EQ(editor->selectionCoordinate(Axis::Y), QStringLiteral("2000")) << "the items share it";
    const int steps = editor->undoStack().count();
    EXPECT_EQ(editor->setSelectionCoordinate(Axis::X, QStringLiteral(" -7500 ")), QString());
    EXPECT_EQ(editor->setSelectionCoordinate(Axis::Height, QStringLiteral("300")), QString());
    EXPECT_EQ(at(0), (XY{-7500, 2000}));
    EXPECT_EQ(at(1), (XY{-7500, 2000}));
    EXPECT_EQ(editor->selectionCoordinate(Axis::Height), QStringLiteral("300"));
    EXPECT_EQ(editor->undoStack().count(), steps + 2) << "one step each";
    editor->undo();
    EXPECT_EQ(editor->selectionCoordinate(Axis::Height), QStringLiteral("0"));
    EXPECT_EQ(editor->selection(), (std::vector<int>{0, 1}));
}

TEST_F(EditorSelection, APositionThatIsNoWholeNumberIsRefusedWithItsReason)
{
    place(ItemKind::Asteroid, 1000, 2000);
    editor->setSelection({0});
    const int steps = editor->undoStack().count();
    for (const char* text : {"", "12.5", "1e3", "x", "2147483648", "-2147483649"}) {
        EXPECT_EQ(editor->setSelectionCoordinate(Editor::Axis::Y, QString::fromLatin1(text)),
            QStringLiteral("Y must be a whole number from -2147483648 to 2147483647 (world units)"))
            << text;
    }
    EXPECT_EQ(at(0), (XY{1000, 2000}));
    EXPECT_EQ(editor->undoStack().count(), steps);
    EXPECT_EQ(editor->setSelectionCoordinate(Editor::Axis::Y, QStringLiteral("2147483647")), QString());
    EXPECT_EQ(at(0), (XY{1000, 2147483647}));
}

} // namespace
} // namespace starloom::test
