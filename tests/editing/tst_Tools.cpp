// The tools of the top view: which one a press goes to after each choice, what the original
// form's handler codes mean to them, and that a drag belongs to the tool that began it.

#include "EditorFixture.h"

#include "editing/Tools.h"

#include <functional>
#include <vector>

namespace starloom::test {
namespace {

struct ToolStep {
    const char* what;
    std::function<void(Editor&)> act;
    ToolKind active; // the tool a press goes to afterwards
    ToolKind chosen; // the tool under an armed zoom
};

void chooseAsteroid(Editor& e)
{
    e.chooseKind(ItemKind::Asteroid);
}
void measureOn(Editor& e)
{
    e.setMeasuring(true);
}
void measureOff(Editor& e)
{
    e.setMeasuring(false);
}
void armZoom(Editor& e)
{
    e.armZoom();
}
void escapeOnMap(Editor& e)
{
    e.keyOnMap(Qt::Key_Escape, Qt::NoModifier);
}
void selectTool(Editor& e)
{
    e.chooseSelectTool();
}

TEST_F(EditorTest, EachChoiceLeavesTheToolAPressGoesTo)
{
    const std::vector<ToolStep> steps = {
        {"at the start", [](Editor&) {}, ToolKind::Select, ToolKind::Select},
        {"a kind", chooseAsteroid, ToolKind::Place, ToolKind::Place},
        {"measure on", measureOn, ToolKind::Measure, ToolKind::Measure},
        {"zoom over measure", armZoom, ToolKind::Zoom, ToolKind::Measure},
        {"escape disarms the zoom", escapeOnMap, ToolKind::Measure, ToolKind::Measure},
        {"measure off gives placement back", measureOff, ToolKind::Place, ToolKind::Place},
        {"zoom over placement", armZoom, ToolKind::Zoom, ToolKind::Place},
        {"measure on ends the unused zoom", measureOn, ToolKind::Measure, ToolKind::Measure},
        {"a kind ends measuring", chooseAsteroid, ToolKind::Place, ToolKind::Place},
        {"select", selectTool, ToolKind::Select, ToolKind::Select},
        {"zoom over select", armZoom, ToolKind::Zoom, ToolKind::Select},
        {"select ends the zoom", selectTool, ToolKind::Select, ToolKind::Select},
    };
    for (const ToolStep& step : steps) {
        step.act(*editor);
        EXPECT_EQ(editor->activeTool(), step.active) << step.what;
        EXPECT_EQ(editor->chosenTool(), step.chosen) << step.what;
        EXPECT_EQ(editor->zoomArmed(), step.active == ToolKind::Zoom) << step.what;
        EXPECT_EQ(editor->measuring(), step.chosen == ToolKind::Measure) << step.what;
        EXPECT_EQ(editor->placementArmed(), step.chosen == ToolKind::Place) << step.what;
    }
}

TEST_F(EditorTest, AZoomClickIsOneClickLong)
{
    place(ItemKind::Asteroid, 0, 0);
    const ViewScale whole = editor->topScale();
    editor->armZoom();
    clickTop(1000, 1000);
    EXPECT_NE(editor->topScale(), whole);
    EXPECT_EQ(editor->activeTool(), ToolKind::Place);
    EXPECT_EQ(editor->rows().size(), 1u) << "the zooming click places nothing";
}

TEST_F(EditorTest, TheFormsButtonAndShiftCodesReachTheSelectTool)
{
    editor->setTopViewSize(QSize(600, 600)); // 100 world units a pixel
    place(ItemKind::Asteroid, -5000, -5000);
    place(ItemKind::Asteroid, 5000, 5000);
    editor->chooseSelectTool();
    editor->Picture1_MouseDown(2, 0, -5000, -5000); // the right button selects nothing
    EXPECT_TRUE(editor->selection().empty());
    editor->Picture1_MouseDown(1, 0, -5000, -5000);
    editor->Picture1_MouseUp(1, 0, -5000, -5000);
    editor->Picture1_MouseDown(1, 1, 5000, 5000); // Shift adds
    editor->Picture1_MouseUp(1, 1, 5000, 5000);
    EXPECT_EQ(editor->selection(), (std::vector<int>{0, 1}));
    editor->Picture1_MouseDown(1, 2, -5000, -5000); // Ctrl toggles
    editor->Picture1_MouseUp(1, 2, -5000, -5000);
    EXPECT_EQ(editor->selection(), (std::vector<int>{1}));
}

TEST_F(EditorTest, ADragEndsWhenItsToolIsLeft)
{
    editor->setTopViewSize(QSize(600, 600));
    place(ItemKind::Asteroid, 0, 0);
    editor->chooseSelectTool();
    editor->pressOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(-20000, -20000));
    editor->moveOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(20000, 20000));
    ASSERT_TRUE(editor->rubberBand());
    editor->setMeasuring(true);
    EXPECT_FALSE(editor->rubberBand());
    editor->releaseOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(20000, 20000));
    EXPECT_TRUE(editor->selection().empty()) << "the band the Select tool left selects nothing";
}

TEST_F(EditorTest, ArrowKeysOnTheMapNudgeTheSelectionByAGridStep)
{
    place(ItemKind::Asteroid, 0, 0);
    editor->setSelection({0});
    EXPECT_TRUE(editor->keyOnMap(Qt::Key_Right, Qt::NoModifier));
    EXPECT_TRUE(editor->keyOnMap(Qt::Key_Up, Qt::NoModifier));
    const auto at = rowPosition(editor->level(), 0);
    ASSERT_TRUE(at);
    EXPECT_EQ(at->x, 2500);
    EXPECT_EQ(at->y, -2500);
    EXPECT_FALSE(editor->keyOnMap(Qt::Key_A, Qt::NoModifier));
}

} // namespace
} // namespace starloom::test

namespace starloom::test {
namespace {

TEST_F(EditorTest, SpaceHeldStandsInForAnyToolUntilItIsReleased)
{
    struct Case {
        const char* what;
        std::function<void(Editor&)> choose;
    };
    const Case cases[] = {
        {"select", selectTool},
        {"place", chooseAsteroid},
        {"measure", measureOn},
        {"an armed zoom", armZoom},
    };
    for (const Case& c : cases) {
        makeEditor();
        c.choose(*editor);
        const ToolKind active = editor->activeTool();
        const ToolKind chosen = editor->chosenTool();
        editor->holdPan(true);
        EXPECT_EQ(editor->activeTool(), ToolKind::Pan) << c.what;
        editor->holdPan(true); // the key's repeats change nothing
        editor->holdPan(false);
        EXPECT_EQ(editor->activeTool(), active) << c.what;
        EXPECT_EQ(editor->chosenTool(), chosen) << c.what;
    }
}

TEST_F(EditorTest, AToolChosenWhileSpaceIsHeldStaysAfterItsRelease)
{
    chooseAsteroid(*editor);
    editor->holdPan(true);
    editor->chooseSelectTool();
    editor->holdPan(false);
    EXPECT_EQ(editor->activeTool(), ToolKind::Select);
}

TEST_F(EditorTest, ASpaceReleasedDuringItsPanEndsThePanNotAPlacement)
{
    editor->setTopViewSize(QSize(600, 600));
    editor->zoomToRect(QRectF(-10000, -10000, 20000, 20000));
    const ViewScale zoomed = editor->topScale();
    chooseAsteroid(*editor);
    editor->holdPan(true);
    editor->pressOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(0, 0));
    editor->moveOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(3000, 0));
    editor->holdPan(false);
    EXPECT_EQ(editor->activeTool(), ToolKind::Place);
    editor->moveOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(3000, 0));
    editor->releaseOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(3000, 0));
    editor->clickTopView();
    EXPECT_TRUE(editor->rows().empty()) << "the release's click places nothing";
    EXPECT_LT(editor->topScale().left, zoomed.left) << "dragging right shows what lies left";
}

} // namespace
} // namespace starloom::test
