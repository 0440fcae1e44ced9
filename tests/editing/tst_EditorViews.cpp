// The top view to scale: zooming to a dragged rectangle, to the world and to the selection,
// Stretch to Fill, the front view's range, and that what is painted is what the pointer finds.

#include "EditorFixture.h"

#include "views/MapPainter.h"

#include <QImage>
#include <QPainter>

namespace starloom::test {
namespace {

// A press, a drag and a release of the left button on the top view, then the click the window
// sends with the release.
void dragOnTop(Editor& e, QPointF from, QPointF to)
{
    e.moveOnTopView(Qt::NoButton, Qt::NoModifier, from);
    e.pressOnTopView(Qt::LeftButton, Qt::NoModifier, from);
    e.moveOnTopView(Qt::LeftButton, Qt::NoModifier, to);
    e.releaseOnTopView(Qt::LeftButton, Qt::NoModifier, to);
    e.clickTopView();
}

TEST_F(EditorTest, AZoomDragZoomsToTheDraggedRectangle)
{
    editor->setTopViewSize(QSize(600, 300));
    place(ItemKind::Asteroid, 0, 0);
    editor->armZoom();
    dragOnTop(*editor, QPointF(-10000, -5000), QPointF(10000, 5000));
    EXPECT_EQ(editor->topScale(), (ViewScale{-10000, -5000, 10000, 5000}));
    EXPECT_EQ(editor->activeTool(), ToolKind::Place) << "the tool before the zoom is back";
    EXPECT_EQ(editor->rows().size(), 1u) << "the release's click places nothing";
    EXPECT_FALSE(editor->rubberBand());
}

TEST_F(EditorTest, AZoomDragOfAPixelOrTwoIsAClick)
{
    editor->setTopViewSize(QSize(600, 300)); // the whole world: 200 units a pixel
    editor->armZoom();
    dragOnTop(*editor, QPointF(0, 0), QPointF(300, 300));
    // Two fifths of the 120000 x 60000 units shown, around the pointer.
    EXPECT_EQ(editor->topScale(), (ViewScale{-23700, -11700, 24300, 12300}));
}

TEST_F(EditorTest, ZoomToFitShowsTheWholeWorldAgain)
{
    editor->setTopViewSize(QSize(600, 300));
    editor->zoomToRect(QRectF(0, 0, 1000, 1000));
    ASSERT_NE(editor->topScale(), zoomedOut(editor->mapSettings()));
    editor->zoomToFit();
    EXPECT_EQ(editor->topScale(), zoomedOut(editor->mapSettings()));
}

TEST_F(EditorTest, ZoomToSelectionFramesTheSelectedItemsWithAMargin)
{
    editor->setTopViewSize(QSize(600, 600));
    place(ItemKind::Asteroid, -8000, -2000);
    place(ItemKind::Asteroid, 8000, 2000);
    place(ItemKind::Asteroid, 25000, 25000);
    const ViewScale before = editor->topScale();
    editor->clearSelection();
    editor->zoomToSelection();
    EXPECT_EQ(editor->topScale(), before) << "nothing selected: nothing happens";

    editor->setSelection({0, 1});
    editor->zoomToSelection();
    const ViewScale shown = editor->shownTop();
    // 16000 across: a margin of 2500 (the grid step, more than a tenth) on each side.
    EXPECT_FLOAT_EQ(shown.left, -10500);
    EXPECT_FLOAT_EQ(shown.right, 10500);
    EXPECT_FLOAT_EQ(shown.top, -10500);
    EXPECT_FLOAT_EQ(shown.bottom, 10500);
}

TEST_F(EditorTest, StretchToFillIsKeptInTheSettings)
{
    EXPECT_FALSE(editor->stretchToFill());
    EXPECT_FALSE(editor->topScale().fill);
    editor->setStretchToFill(true);
    EXPECT_TRUE(editor->topScale().fill);
    EXPECT_EQ(store.read(stretchToFillKey, QString()), QStringLiteral("1"));
    makeEditor();
    EXPECT_TRUE(editor->stretchToFill());
    EXPECT_TRUE(editor->topScale().fill) << "a new editor starts with the kept setting";
    editor->setStretchToFill(false);
    EXPECT_EQ(store.read(stretchToFillKey, QString()), QStringLiteral("0"));
}

TEST_F(EditorTest, TheFrontViewShowsTheTopViewsRangeAtItsSize)
{
    for (const bool stretch : {false, true}) {
        editor->setStretchToFill(stretch);
        editor->setTopViewSize(QSize(900, 300));
        editor->zoomAround(1, QPointF(5000, 0));
        editor->setTopViewSize(QSize(1200, 300));
        const ViewScale shown = editor->shownTop();
        EXPECT_EQ(editor->frontScale().left, shown.left) << stretch;
        EXPECT_EQ(editor->frontScale().right, shown.right) << stretch;
        EXPECT_EQ(editor->frontScale().top, frontScaleFor(editor->mapSettings()).top) << stretch;
        editor->zoomToFit();
    }
}

// Where the painter draws an item in a letterboxed view is where the pointer finds it.
TEST_F(EditorTest, TheItemUnderThePointerIsTheOnePaintedThere)
{
    const QSize pixels(800, 400);
    editor->setTopViewSize(pixels);
    place(ItemKind::Asteroid, 12000, -6000);
    editor->chooseSelectTool();
    MapScene scene = sceneOf(editor->level(), editor->views(), QStringLiteral("0"), worldSize(editor->mapSettings()));
    scene.scaleBar = false;
    scene.labelShown = {};
    QImage image(pixels, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        MapPainter().paintTopView(painter, pixels, scene);
    }
    const QRgb background = scene.colours.background.rgb();
    const QRgb margin = scene.colours.margin.rgb();
    std::optional<QPoint> painted;
    for (int y = 0; y < pixels.height() && !painted; ++y)
        for (int x = 0; x < pixels.width() && !painted; ++x)
            if (image.pixel(x, y) != background && image.pixel(x, y) != margin)
                painted = QPoint(x, y);
    ASSERT_TRUE(painted);
    // 150 world units a pixel across and down, the world centred: at column 400 + 12000 / 150
    // and row 200 - 6000 / 150, the 2 x 2 point reaching a pixel up and left.
    EXPECT_EQ(*painted, QPoint(479, 159));
    const QPointF world = editor->topScale().toWorld(QPointF(*painted) + QPointF(0.5, 0.5), QSizeF(pixels));
    editor->moveOnTopView(Qt::NoButton, Qt::NoModifier, world);
    EXPECT_EQ(editor->hoveredRow(), 0);
}

// A placement on the margin beside the world places the item there, outside the world, as a
// placement outside the world always did; the checks then name it.
TEST_F(EditorTest, APlacementOnTheLetterboxMarginLiesOutsideTheWorld)
{
    const QSizeF pixels(900, 300);
    editor->setTopViewSize(pixels.toSize());
    const QPointF world = editor->topScale().toWorld(QPointF(20, 150), pixels);
    ASSERT_LT(world.x(), -30000);
    place(ItemKind::Asteroid, world.x(), world.y());
    const auto at = rowPosition(editor->level(), 0);
    ASSERT_TRUE(at);
    EXPECT_EQ(at->x, std::floor(world.x()));
    bool named = false;
    for (const Finding& f : editor->findings())
        named = named || f.code == QStringLiteral("outside-world");
    EXPECT_TRUE(named);
}

} // namespace
} // namespace starloom::test
