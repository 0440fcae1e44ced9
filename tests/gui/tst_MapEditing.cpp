#include "GuiFixture.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QToolTip>
#include <QTreeView>
#include <QWheelEvent>

#include <cmath>

namespace starloom::test {
namespace {

using MapEditingTest = GuiTest;

// The default world spans -30000 to 30000 on both axes of the top view, y growing downwards.
double worldX(const QWidget* view, int px)
{
    return -30000.0 + 60000.0 * px / view->width();
}
double worldY(const QWidget* view, int py)
{
    return -30000.0 + 60000.0 * py / view->height();
}

struct ClickCase {
    const char* option;
    ItemKind kind;
    double fx; // where to click, as a fraction of the view
    double fy;
};

class PlacementTest : public GuiTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(PlacementTest, ClickPlacesTheChosenKindAtTheWorldPointUnderThePointer)
{
    const ClickCase& c = GetParam();
    click(c.option);
    const QPoint pixel(static_cast<int>(c.fx * top()->width()), static_cast<int>(c.fy * top()->height()));
    QTest::mouseClick(top(), Qt::LeftButton, {}, pixel);

    ASSERT_EQ(editor().rows().size(), 1u);
    const ObjectRow& row = editor().rows().front();
    EXPECT_EQ(row.kind, c.kind);
    const ItemPosition p = editor().document().position(row.kind, row.arrayId);
    EXPECT_EQ(p.x, static_cast<int>(std::floor(worldX(top(), pixel.x()))));
    EXPECT_EQ(p.y, static_cast<int>(std::floor(worldY(top(), pixel.y()))));
    EXPECT_EQ(find<QLabel>("lblX")->text(), QString::number(p.x));
    EXPECT_EQ(find<QLabel>("lblY")->text(), QString::number(p.y));
    auto* list = find<QTreeView>("lstObjects");
    ASSERT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(list->model()->index(0, 0).data().toString(), row.text);
    EXPECT_EQ(list->model()->index(0, 1).data().toString(), QString::number(typeIdOf(c.kind)));
}

INSTANTIATE_TEST_SUITE_P(Kinds, PlacementTest,
                         ::testing::Values(ClickCase{"Option1", ItemKind::PlayerStart, 0.25, 0.25},
                                           ClickCase{"Option2", ItemKind::Asteroid, 0.5, 0.5},
                                           ClickCase{"Option3", ItemKind::Cloud, 0.1, 0.9},
                                           ClickCase{"Option4", ItemKind::DustCloud, 0.77, 0.31},
                                           ClickCase{"Option5", ItemKind::Megalith, 0.6, 0.2},
                                           ClickCase{"Option6", ItemKind::Nebula, 0.05, 0.05},
                                           ClickCase{"Option7", ItemKind::Pebble, 0.95, 0.95},
                                           ClickCase{"Option8", ItemKind::Salvage, 0.33, 0.66},
                                           ClickCase{"Option9", ItemKind::Ship, 0.5, 0.1}));

TEST_F(MapEditingTest, ClickWithoutAKindPlacesNothing)
{
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_TRUE(editor().rows().empty());
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(MapEditingTest, DragPlacesOneItemPerTimerTickAndStopsOnRelease)
{
    click("Option2");
    QTest::mousePress(top(), Qt::LeftButton, {}, QPoint(40, 40));
    tick(timer());
    EXPECT_TRUE(editor().rows().empty()) << "a press without a move does not repeat";

    const QPoint path[] = {{60, 50}, {80, 60}, {100, 70}};
    std::size_t expected = 0;
    for (const QPoint p : path) {
        dragTo(top(), p);
        tick(timer());
        ++expected;
        ASSERT_EQ(editor().rows().size(), expected);
        const ObjectRow& row = editor().rows().back();
        EXPECT_EQ(editor().document().position(row.kind, row.arrayId).x,
                  static_cast<int>(std::floor(worldX(top(), p.x()))));
    }
    QTest::mouseRelease(top(), Qt::LeftButton, {}, QPoint(100, 70));
    const std::size_t afterRelease = editor().rows().size();
    EXPECT_EQ(afterRelease, expected + 1) << "the release over the view is an ordinary click too";
    tick(timer());
    tick(timer());
    EXPECT_EQ(editor().rows().size(), afterRelease);
    EXPECT_EQ(find<QTreeView>("lstObjects")->model()->rowCount(), static_cast<int>(afterRelease));
}

TEST_F(MapEditingTest, ZoomInShowsTheCrosshairAndTheNextClickZoomsInsteadOfPlacing)
{
    click("Option2");
    EXPECT_EQ(top()->cursor().shape(), Qt::ArrowCursor);
    click("cmdZoomIn");
    EXPECT_EQ(top()->cursor().shape(), Qt::CrossCursor);
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(top()->width() / 2, top()->height() / 2));
    EXPECT_TRUE(editor().rows().empty());
    EXPECT_EQ(top()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_NEAR(editor().topScale().width(), 24000.0, 1.0);
    click("cmdZoomOut");
    EXPECT_EQ(editor().topScale().width(), 60000.0);
}

TEST_F(MapEditingTest, FrontViewReadoutsAndHeightClick)
{
    click("Option9");
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(200, 100));
    auto* list = find<QTreeView>("lstObjects");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    ASSERT_EQ(find<QLabel>("Label7")->text(), QStringLiteral("Editing mode"));

    // The front view runs from height +20000 at its top to -20000 at its bottom.
    const int py = front()->height() / 4;
    QTest::mouseClick(front(), Qt::LeftButton, {}, QPoint(30, py));
    const int height = static_cast<int>(std::floor(20000.0 - 40000.0 * py / front()->height()));
    EXPECT_EQ(find<QLabel>("lblLeftY")->text(), QString::number(height));
    EXPECT_EQ(editor().document().ships().at(0).posZ, height);
}

TEST_F(MapEditingTest, RightClickOnTheListOffersDeleteWhichRemovesTheSelectedRow)
{
    click("Option2");
    for (int x : {50, 150, 250})
        QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(x, 80));
    auto* list = find<QTreeView>("lstObjects");
    auto* popup = find<QMenu>("mnuObjects");
    const QPoint second = list->visualRect(list->model()->index(1, 0)).center();

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_FALSE(popup->isVisible()) << "a left click opens no menu";
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, second);
    EXPECT_TRUE(popup->isVisible());
    popup->hide();
    EXPECT_EQ(editor().selectedRow(), 1);

    // The pop-up's command, as choosing it from the menu does.
    find<QAction>("mnuObjectsDelete")->trigger();
    ASSERT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(list->model()->index(0, 0).data().toString(), QStringLiteral("Asteroid #1"));
    EXPECT_EQ(list->model()->index(1, 0).data().toString(), QStringLiteral("Asteroid #3"));
    EXPECT_EQ(list->model()->index(1, 2).data().toString(), QStringLiteral("2"));
    EXPECT_EQ(find<QLabel>("Label7")->text(), QStringLiteral("Placement mode"));
    EXPECT_FALSE(list->selectionModel()->hasSelection());
}

TEST_F(MapEditingTest, RightClickOnAnEmptyListOpensNothing)
{
    auto* list = find<QTreeView>("lstObjects");
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_FALSE(find<QMenu>("mnuObjects")->isVisible());
}

TEST_F(MapEditingTest, SetPlayerAsksAndStoresTheShipsPlayer)
{
    click("Option9");
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(100, 100));
    auto* list = find<QTreeView>("lstObjects");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    host.textAnswers.push_back(QStringLiteral("3"));
    find<QAction>("mnuObjectsSetPlayer")->trigger();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, QStringLiteral("3"));
    EXPECT_EQ(editor().document().ships().at(0).player, 3);
    EXPECT_EQ(find<QLabel>("Label7")->text(), QStringLiteral("Placement mode"));
}

TEST_F(MapEditingTest, ClickingAMapLabelSelectsItsRowAndItsKeyIsTheTooltip)
{
    click("Option2");
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(300, 250));
    ASSERT_EQ(editor().rows().size(), 2u);
    ASSERT_EQ(find<QLabel>("Label7")->text(), QStringLiteral("Placement mode"));

    // The second item's label starts 100 world units right of and below the item.
    const ItemPosition p = editor().document().position(ItemKind::Asteroid, 1);
    const QPoint corner = pixelOf(top(), editor().topScale(), p.x + 100, p.y + 100);
    const QPoint onLabel = corner + QPoint(4, 3);
    ASSERT_EQ(top()->labelAt(onLabel), 1);

    QHelpEvent help(QEvent::ToolTip, onLabel, top()->mapToGlobal(onLabel));
    QApplication::sendEvent(top(), &help);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("1o"));
    QToolTip::hideText();

    QTest::mouseClick(top(), Qt::LeftButton, {}, onLabel);
    EXPECT_EQ(editor().rows().size(), 2u) << "a click on a label places nothing";
    EXPECT_EQ(editor().selectedRow(), 1);
    EXPECT_EQ(find<QTreeView>("lstObjects")->currentIndex().row(), 1);
    EXPECT_EQ(find<QLabel>("Label7")->text(), QStringLiteral("Editing mode"));

    // In Editing mode a click on the map moves the selected item.
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(editor().document().position(ItemKind::Asteroid, 1).x,
              static_cast<int>(std::floor(worldX(top(), 20))));
}

TEST_F(MapEditingTest, HiddenLabelsCannotBeClicked)
{
    click("Option7"); // pebble labels start hidden
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(100, 100));
    const ItemPosition p = editor().document().position(ItemKind::Pebble, 0);
    const QPoint onLabel = pixelOf(top(), editor().topScale(), p.x + 100, p.y + 100) + QPoint(4, 3);
    EXPECT_EQ(top()->labelAt(onLabel), -1);
    QTest::mouseClick(top(), Qt::LeftButton, {}, onLabel);
    EXPECT_EQ(editor().rows().size(), 2u);
}

TEST_F(MapEditingTest, ApplyWritesTheEditedValuesBack)
{
    click("Option8");
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(120, 120));
    auto* list = find<QTreeView>("lstObjects");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    auto* field = find<QLineEdit>("Text1_0");
    EXPECT_EQ(field->text(), QStringLiteral("100"));
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("40"));
    click("cmdApply");
    EXPECT_EQ(editor().document().resources(ItemKind::Salvage).at(0).resourcePercent, 40);
}

TEST_F(MapEditingTest, WheelZoomsAroundThePointerAndMiddleDragPans)
{
    const QPoint pointer(top()->width() / 4, top()->height() / 4);
    QWheelEvent wheel(QPointF(pointer), QPointF(top()->mapToGlobal(pointer)), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(top(), &wheel);
    const ViewScale zoomed = editor().topScale();
    ASSERT_LT(zoomed.width(), 60000.0);
    // The world point under the pointer stays under the pointer.
    const QPointF under = zoomed.toWorld(QPointF(pointer), QSizeF(top()->size()));
    EXPECT_NEAR(under.x(), worldX(top(), pointer.x()), zoomed.width() / top()->width() + 1);

    QTest::mousePress(top(), Qt::MiddleButton, {}, pointer);
    QMouseEvent move(QEvent::MouseMove, QPointF(pointer + QPoint(30, 0)), QPointF(top()->mapToGlobal(pointer)),
                     Qt::NoButton, Qt::MiddleButton, Qt::NoModifier);
    QApplication::sendEvent(top(), &move);
    QTest::mouseRelease(top(), Qt::MiddleButton, {}, pointer + QPoint(30, 0));
    EXPECT_LT(editor().topScale().left, zoomed.left) << "dragging the map right shows what lies left of it";
    EXPECT_TRUE(editor().rows().empty());
}

TEST_F(MapEditingTest, EscapeDisarmsTheZoom)
{
    click("cmdZoomIn");
    ASSERT_EQ(top()->cursor().shape(), Qt::CrossCursor);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(editor().zoomArmed());
    EXPECT_EQ(top()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(MapEditingTest, UndoKeyTakesBackAPlacementAndTheListFollows)
{
    click("Option2");
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(60, 60));
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(60, 160));
    auto* list = find<QTreeView>("lstObjects");
    ASSERT_EQ(list->model()->rowCount(), 2);
    QTest::keySequence(window.get(), QKeySequence::Undo);
    EXPECT_EQ(editor().rows().size(), 1u);
    EXPECT_EQ(list->model()->rowCount(), 1);
    QTest::keySequence(window.get(), QKeySequence::Redo);
    EXPECT_EQ(editor().rows().size(), 2u);
    EXPECT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(list->model()->index(1, 0).data().toString(), QStringLiteral("Asteroid #2"));
}

TEST_F(MapEditingTest, ClosingWithUnsavedWorkCanBeCancelled)
{
    click("Option2");
    QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(60, 60));
    host.saveChanges = SaveChoice::Cancel;
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    host.saveChanges = SaveChoice::Discard;
    EXPECT_TRUE(window->close());
}

} // namespace
} // namespace starloom::test
