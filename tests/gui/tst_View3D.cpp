// The 3-D view in the window: its dock and menu, the camera it keeps, clicks that select.

#include "GuiFixture.h"

#include "MapView3D.h"
#include "TestSupport.h"
#include "View3DDock.h"
#include "views/Projection3D.h"

#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace starloom;
using namespace starloom::test;

namespace {

class View3DTest : public GuiTest {
protected:
    MapView3D* view() const { return find<MapView3D>("view3D"); }
    void show3D()
    {
        trigger("mnuView3D");
        ASSERT_TRUE(find<View3DDock>("dock3D")->isVisible());
        QApplication::processEvents();
    }
    // The camera a fresh level gets: every item framed from the default angles.
    Camera3D framedLevel() const
    {
        return framedAll(Camera3D{}, window->editor().document(), window->editor().rows(),
            worldSize(window->editor().mapSettings()), QSizeF(view()->size()));
    }
    Vec3 positionOf(int row) const
    {
        const std::vector<int> only{row};
        return itemSpheres(window->editor().document(), window->editor().rows(), &only).at(0).centre;
    }
    QPoint pixelOf(int row) const
    {
        return Projection3D(view()->camera(), QSizeF(view()->size())).toPixel(positionOf(row))->toPoint();
    }
    const Camera3D odd{.target = {1, 2, 3}, .yaw = 77, .pitch = 12, .distance = 5000};
};

TEST_F(View3DTest, TheViewMenuDrivesThe3DDock)
{
    EXPECT_FALSE(find<View3DDock>("dock3D")->isVisible());
    show3D();
    EXPECT_GT(view()->width(), 100);
    struct Case {
        const char* action;
        Qt::Key key;
        double yaw, pitch;
    };
    for (const Case& c : {Case{"mnuViewTop", Qt::Key_7, 0, 90}, Case{"mnuViewFront", Qt::Key_1, 0, 0},
             Case{"mnuViewSide", Qt::Key_3, 90, 0}}) {
        view()->setCamera(odd);
        trigger(c.action);
        EXPECT_EQ(view()->camera().yaw, c.yaw) << c.action;
        EXPECT_EQ(view()->camera().pitch, c.pitch) << c.action;
        EXPECT_EQ(view()->camera().target, odd.target);
        view()->setCamera(odd);
        view()->setFocus();
        QTest::keyClick(view(), c.key);
        EXPECT_EQ(view()->camera().yaw, c.yaw) << c.action;
        EXPECT_EQ(view()->camera().pitch, c.pitch) << c.action;
    }
    clickTop({100, 100}, "Option2");
    view()->setCamera(odd);
    view()->setFocus();
    QTest::keyClick(view(), Qt::Key_Home);
    EXPECT_EQ(view()->camera(),
        framedAll(
            odd, editor().document(), editor().rows(), worldSize(editor().mapSettings()), QSizeF(view()->size())));
    list()->setFocus();
    view()->setCamera(odd);
    QTest::keyClick(list(), Qt::Key_Home);
    EXPECT_EQ(view()->camera(), odd) << "the keys are the view's";
    trigger("mnuView3D");
    EXPECT_FALSE(find<View3DDock>("dock3D")->isVisible());
}

TEST_F(View3DTest, TheMouseInThe3DViewSelectsTurnsOrFrames)
{
    clickTop({100, 100}, "Option2");
    clickTop({300, 200});
    clickTop({200, 300}, "Option9");
    show3D();
    trigger("mnuViewTop");
    trigger("mnuViewFrameAll");
    QTest::mouseClick(view(), Qt::LeftButton, {}, pixelOf(1));
    EXPECT_EQ(editor().selectedRow(), 1);
    EXPECT_EQ(listCurrentRow(), 1);
    EXPECT_EQ(editor().mode(), EditorMode::Editing);
    EXPECT_EQ(view()->highlightedRows(), std::vector<int>{1});
    QTest::mouseClick(view(), Qt::LeftButton, {}, {2, 2});
    EXPECT_EQ(editor().selectedRow(), 1) << "a click on nothing keeps the selection";

    // A drag turns the camera and selects nothing; Shift or the middle button pans.
    const Camera3D before = view()->camera();
    QTest::mousePress(view(), Qt::LeftButton, {}, pixelOf(2));
    dragTo(view(), pixelOf(2) + QPoint(50, 20));
    QTest::mouseRelease(view(), Qt::LeftButton, {}, pixelOf(2) + QPoint(50, 20));
    EXPECT_EQ(editor().selectedRow(), 1);
    EXPECT_NEAR(view()->camera().yaw, before.yaw - 50 * 0.4, 1.5);
    EXPECT_EQ(view()->camera().target, before.target);
    // Alt with the left button turns the camera too, from an item and without selecting it.
    QTest::mousePress(view(), Qt::LeftButton, Qt::AltModifier, pixelOf(2));
    dragTo(view(), pixelOf(2) - QPoint(50, 0), Qt::LeftButton, Qt::AltModifier);
    QTest::mouseRelease(view(), Qt::LeftButton, Qt::AltModifier, pixelOf(2) - QPoint(50, 0));
    EXPECT_EQ(editor().selectedRow(), 1);
    EXPECT_NEAR(view()->camera().yaw, before.yaw, 1.5);
    QTest::mousePress(view(), Qt::MiddleButton, {}, {100, 100});
    dragTo(view(), {130, 100}, Qt::MiddleButton);
    QTest::mouseRelease(view(), Qt::MiddleButton, {}, {130, 100});
    EXPECT_NE(view()->camera().target, before.target);

    const double distance = view()->camera().distance;
    QWheelEvent wheel(QPointF(50, 50), view()->mapToGlobal(QPointF(50, 50)), {}, {0, 240}, Qt::NoButton, {},
        Qt::NoScrollPhase, false);
    QApplication::sendEvent(view(), &wheel);
    EXPECT_NEAR(view()->camera().distance, distance / 1.44, 1e-6);

    trigger("mnuViewFrameAll");
    QTest::mouseDClick(view(), Qt::LeftButton, {}, pixelOf(2));
    EXPECT_EQ(editor().selectedRow(), 2);
    EXPECT_EQ(view()->camera().target, positionOf(2));
    EXPECT_LT(view()->camera().distance, distance);

    // Frame Selection, from the menu and by F, turns to the selected item.
    for (const bool byKey : {false, true}) {
        trigger("mnuViewFrameAll");
        QTest::mouseClick(view(), Qt::LeftButton, {}, pixelOf(byKey ? 0 : 1));
        trigger("mnuViewFrameAll");
        ASSERT_NE(view()->camera().target, positionOf(byKey ? 0 : 1));
        if (byKey) {
            view()->setFocus();
            QTest::keyClick(view(), Qt::Key_F);
        } else {
            trigger("mnuViewFrameSelection");
        }
        EXPECT_EQ(view()->camera().target, positionOf(byKey ? 0 : 1)) << (byKey ? "F" : "menu");
    }
}

TEST_F(View3DTest, TheViewHighlightsTheSelectionOfMapOrList)
{
    clickTop({100, 100}, "Option2");
    clickTop({300, 200});
    clickTop({200, 300}, "Option9");
    show3D();
    trigger("mnuEditSelectAll");
    EXPECT_EQ(view()->highlightedRows(), (std::vector<int>{0, 1, 2}));
    trigger("mnuEditSelectNone");
    EXPECT_EQ(view()->highlightedRows(), std::vector<int>{});
}

TEST_F(View3DTest, AnItemMovedInTheTopViewIsPickedWhereItNowLies)
{
    clickTop({100, 100}, "Option2");
    clickTop({300, 200});
    show3D();
    trigger("mnuViewTop");
    trigger("mnuViewFrameAll");
    const QPoint was = pixelOf(1);
    QTest::mouseClick(view(), Qt::LeftButton, {}, was);
    ASSERT_EQ(editor().selectedRow(), 1);
    const QPoint to = GuiTest::pixelOf(top(), editor().topScale(), 15000, 10000);
    clickTop(to); // moves the selected item there
    QApplication::processEvents();
    ASSERT_GT((pixelOf(1) - was).manhattanLength(), 20);
    EXPECT_EQ(view()->rowAt(was), -1);
    EXPECT_EQ(view()->rowAt(pixelOf(1)), 1);
}

TEST_F(View3DTest, TheCameraIsKeptUntilNewOrOpenResetsIt)
{
    show3D();
    EXPECT_EQ(view()->camera(), framedLevel());
    view()->setCamera(odd);
    clickTop({100, 100}, "Option2");
    trigger("mnuEditUndo");
    EXPECT_EQ(view()->camera(), odd);

    trigger("mnuFileNew");
    EXPECT_EQ(view()->camera(), framedLevel());

    const QString path = dir.filePath(QStringLiteral("far.level"));
    writeBytes(path,
        "function NonDetermChunk()\n  addPebble(\"pebble_0\", {20000, 5000, 0}, 0, 0, 0)\n"
        "  addPebble(\"pebble_0\", {24000, 9000, 3000}, 0, 0, 0)\nend\n");
    view()->setCamera(odd);
    trigger("mnuView3D"); // hidden while the level is replaced
    host.openNames = {path};
    trigger("mnuFileOpen");
    ASSERT_EQ(listRows(), 2);
    show3D();
    EXPECT_EQ(view()->camera(), framedLevel());
    EXPECT_EQ(view()->camera().target, (Vec3{22000, 1500, 7000})) << "the file's second coordinate is the height";
}

} // namespace
