#include "GuiFixture.h"

#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>
#include <QUrl>
#include <QWheelEvent>

#include <cmath>
#include <map>

namespace starloom::test {
namespace {

using MapEditingTest = GuiTest;

// The world point under a pixel of the default top view: -30000 to 30000 on both axes, y
// downwards, to scale and centred in the view.
QPoint worldAt(const MapView* view, QPoint pixel)
{
    const QPointF w = ViewScale{-30000, -30000, 30000, 30000}.toWorld(QPointF(pixel), QSizeF(view->size()));
    return {static_cast<int>(std::floor(w.x())), static_cast<int>(std::floor(w.y()))};
}

TEST_F(MapEditingTest, ClickPlacesTheChosenKindAtTheWorldPointUnderThePointer)
{
    clickTop({50, 50}); // no kind yet: nothing
    const double at[][2] = {{0.25, 0.25}, {0.5, 0.5}, {0.1, 0.9}, {0.77, 0.31}, {0.6, 0.2}, {0.05, 0.05}, {0.95, 0.95},
        {0.33, 0.66}, {0.5, 0.1}};
    for (int row = 0; row < 9; ++row) { // Option1 to Option9: the kinds in order
        const ItemKind kind = static_cast<ItemKind>(row + 1);
        const QPoint pixel(
            static_cast<int>(at[row][0] * top()->width()), static_cast<int>(at[row][1] * top()->height()));
        clickTop(pixel, QStringLiteral("Option%1").arg(row + 1).toLatin1().constData());
        ASSERT_EQ(listRows(), row + 1);
        const ObjectRow& r = editor().rows().back();
        const ItemPosition p = editor().document().position(r.kind, r.arrayId);
        EXPECT_EQ(r.kind, kind);
        EXPECT_EQ(p.x, worldAt(top(), pixel).x());
        EXPECT_EQ(p.y, worldAt(top(), pixel).y());
        EXPECT_EQ(label("lblX") + u' ' + label("lblY") + u' ' + listText(row) + u' ' + listText(row, 1),
            QStringLiteral("%1 %2 %3 %4").arg(p.x).arg(p.y).arg(r.text).arg(typeIdOf(kind)));
    }
}

TEST_F(MapEditingTest, DragPlacesOneItemPerTimerTickUntilRelease)
{
    click("Option2");
    QTest::mousePress(top(), Qt::LeftButton, {}, QPoint(40, 40));
    tick(timer());
    EXPECT_EQ(listRows(), 0) << "a press without a move does not repeat";
    for (const QPoint p : {QPoint(60, 50), QPoint(80, 60), QPoint(100, 70)}) {
        dragTo(top(), p);
        tick(timer());
        EXPECT_EQ(
            editor().document().position(ItemKind::Asteroid, editor().rows().back().arrayId).x, worldAt(top(), p).x());
    }
    // An ordinary click too.
    QTest::mouseRelease(top(), Qt::LeftButton, {}, QPoint(100, 70));
    tick(timer());
    EXPECT_EQ(listRows(), 4);
}

TEST_F(MapEditingTest, ZoomInShowsTheCrosshairUntilTheNextClickOrEscape)
{
    click("Option2");
    click("cmdZoomIn");
    EXPECT_EQ(top()->cursor().shape(), Qt::CrossCursor);
    clickTop(top()->rect().center());
    EXPECT_TRUE(editor().rows().empty());
    EXPECT_EQ(editor().activeTool(), ToolKind::Place) << "the tool before the zoom is back";
    EXPECT_LT(editor().topScale().width(), 60000.0);
    // Back to the whole world, armed again.
    click("cmdZoomOut");
    click("cmdZoomIn");
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(editor().zoomArmed());
    EXPECT_EQ(top()->cursor().shape(), Qt::ArrowCursor) << "Escape: the Select tool";
    EXPECT_EQ(editor().topScale().width(), 60000.0);
}

TEST_F(MapEditingTest, WheelZoomsAroundThePointer)
{
    // Off the centre, where a notch leaves the world in view across (the view is wider than high).
    const QPoint pointer = top()->rect().center() - QPoint(40, 30);
    dragTo(top(), pointer, Qt::NoButton); // the pointer comes onto the view
    QWheelEvent wheel(QPointF(pointer), QPointF(top()->mapToGlobal(pointer)), QPoint(), QPoint(0, 120), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(top(), &wheel);
    const ViewScale zoomed = editor().topScale();
    EXPECT_LT(zoomed.height(), 60000.0);
    EXPECT_NEAR(zoomed.toWorld(QPointF(pointer), QSizeF(top()->size())).x(), worldAt(top(), pointer).x(),
        zoomed.width() / top()->width() + 1)
        << "stays under the pointer";
}

TEST_F(MapEditingTest, MiddleDragPans)
{
    const QPoint pointer = top()->rect().center();
    // Zoomed in until the view is narrower than the world, so that there is room to pan across.
    dragTo(top(), pointer, Qt::NoButton);
    QWheelEvent wheel(QPointF(pointer), QPointF(top()->mapToGlobal(pointer)), QPoint(), QPoint(0, 600), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(top(), &wheel);
    ASSERT_LT(editor().shownTop().width(), 60000.0);
    const ViewScale zoomed = editor().topScale();
    QTest::mousePress(top(), Qt::MiddleButton, {}, pointer);
    dragTo(top(), pointer + QPoint(30, 0), Qt::MiddleButton);
    QTest::mouseRelease(top(), Qt::MiddleButton, {}, pointer + QPoint(30, 0));
    EXPECT_LT(editor().topScale().left, zoomed.left) << "dragging right shows what lies left";
    EXPECT_TRUE(editor().rows().empty()) << "dragging right shows what lies left";
}

// What the window shows of a view, against the same scene painted straight into an image.
void expectPaintedAsOffscreen(MapView* view, const char* what)
{
    QImage offscreen(view->size(), QImage::Format_RGB32);
    QPainter painter(&offscreen);
    MapPainter mapPainter;
    if (view->which() == MapView::Which::Top)
        mapPainter.paintTopView(painter, view->size(), view->scene());
    else
        mapPainter.paintFrontView(painter, view->size(), view->scene());
    painter.end();
    EXPECT_EQ(view->grab().toImage().convertToFormat(QImage::Format_RGB32), offscreen) << what;
}

TEST_F(MapEditingTest, TheViewsPaintAsTheOffscreenRenderOfTheSameScene)
{
    for (int i = 0; i < 60; ++i) { // every kind, labels overlapping
        const QPoint pixel((i * 37) % top()->width(), (i * 23) % top()->height());
        clickTop(pixel, QStringLiteral("Option%1").arg(i % 9 + 1).toLatin1().constData());
    }
    ASSERT_GT(listRows(), 30); // a click on a label selects instead
    expectPaintedAsOffscreen(top(), "top view");
    expectPaintedAsOffscreen(front(), "front view");
    QWheelEvent wheel(QPointF(100, 80), QPointF(top()->mapToGlobal(QPoint(100, 80))), QPoint(), QPoint(0, 360),
        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(top(), &wheel);
    expectPaintedAsOffscreen(top(), "top view zoomed in");
}

TEST_F(MapEditingTest, TheSelectedRowIsEditedFromListPanelOrFrontView)
{
    clickTop({120, 120}, "Option9");
    clickListRow(0);
    retype(find<QLineEdit>("Text1_3"), QStringLiteral("4"));
    click("cmdApply");
    EXPECT_EQ(editor().document().ships().at(0).player, 4);
    EXPECT_EQ(label("Label7"), QStringLiteral("Editing mode"));
    const int py = front()->height() / 4; // the front view runs from height +20000 down to -20000
    QTest::mouseClick(front(), Qt::LeftButton, {}, QPoint(30, py));
    EXPECT_EQ(editor().document().ships().at(0).posZ,
        static_cast<int>(std::floor(20000.0 - 40000.0 * py / front()->height())));
    host.textAnswers = {QStringLiteral("3")};
    trigger("mnuObjectsSetPlayer");
    EXPECT_EQ(editor().document().ships().at(0).player, 3);
    EXPECT_EQ(label("Label7"), QStringLiteral("Placement mode"));
}

TEST_F(MapEditingTest, TheCaptionWithTheCheckedButtonTellsWhatTheNextClickDoes)
{
    auto* asteroid = find<QRadioButton>("Option2");
    auto* select = find<QAbstractButton>("cmdSelect");
    auto state = [&] {
        return label("Label7") + u'|' + (asteroid->isChecked() ? u'A' : u'-') + (select->isChecked() ? u'S' : u'-');
    };
    EXPECT_EQ(state(), QStringLiteral("Select mode|-S")) << "at the start no kind is armed: a click selects";
    clickTop({100, 100}, "Option2");
    EXPECT_EQ(state(), QStringLiteral("Placement mode|A-"));
    EXPECT_EQ(listRows(), 1);
    // With the select tool a click selects: no kind button stays checked, whatever the list shows.
    click("cmdSelect");
    EXPECT_EQ(state(), QStringLiteral("Select mode|-S"));
    clickListRow(0);
    EXPECT_EQ(state(), QStringLiteral("Select mode|-S"));
    clickTop({400, 300}); // empty map: deselects and places nothing
    EXPECT_TRUE(editor().selection().empty());
    EXPECT_EQ(listRows(), 1);
    EXPECT_EQ(state(), QStringLiteral("Select mode|-S"));
    clickTop({400, 300});
    EXPECT_EQ(listRows(), 1);
    // The kind's button arms placement again: the caption says so and the next click places.
    click("Option2");
    EXPECT_EQ(state(), QStringLiteral("Placement mode|A-"));
    clickTop({400, 300});
    EXPECT_EQ(listRows(), 2);
    // Editing with a kind armed: a click moves the item being edited.
    clickListRow(0);
    EXPECT_EQ(state(), QStringLiteral("Editing mode|A-"));
    const ItemPosition before = editor().document().position(ItemKind::Asteroid, 0);
    clickTop({600, 200});
    EXPECT_EQ(listRows(), 2);
    EXPECT_NE(editor().document().position(ItemKind::Asteroid, 0).x, before.x);
}

TEST_F(MapEditingTest, StartPointsTakeTheNextFreePlayerUntilTheListIsFull)
{
    auto* players = find<QComboBox>("Combo1");
    clickTop({100, 100}, "Option1");
    EXPECT_EQ(players->currentText(), QStringLiteral("Player 2")) << "the next click places the next player";
    clickTop({300, 200});
    EXPECT_EQ(listRows(), 2);
    EXPECT_TRUE(host.notes.empty());
    clickTop({200, 300}); // every player of the two has a start point
    EXPECT_EQ(listRows(), 2);
    ASSERT_EQ(host.notes.size(), 1u);
    EXPECT_EQ(host.notes.back(), QStringLiteral("You already have a Player 2 start point!"));
    // Choosing the kind again starts at the first player without a start point.
    trigger("mnuFileNew");
    clickTop({100, 100}, "Option1");
    clickTop({300, 200}, "Option2"); // an asteroid, not a start point
    click("Option1");
    EXPECT_EQ(players->currentText(), QStringLiteral("Player 2"));
}

TEST_F(MapEditingTest, RightClickOnTheListOffersDeleteForTheRowAlreadySelected)
{
    auto* popup = find<QMenu>("mnuObjects");
    QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_FALSE(popup->isVisible()) << "not on an empty list";
    for (int x : {50, 150, 250})
        clickTop({x, 80}, "Option2");
    clickListRow(1);
    clickListRow(2, Qt::RightButton); // opens the menu and leaves the selection alone
    ASSERT_TRUE(popup->isVisible());
    popup->hide();
    EXPECT_EQ(editor().selectedRow(), 1);
    EXPECT_EQ(listCurrentRow(), 1);
    EXPECT_EQ(label("Label7"), QStringLiteral("Editing mode"));
    trigger("mnuObjectsDelete"); // as choosing it from the menu does
    EXPECT_EQ(QStringList({QString::number(listRows()), listText(0), listText(1), listText(1, 2)}).join(u'|'),
        QStringLiteral("2|Asteroid #1|Asteroid #3|2"));
}

TEST_F(MapEditingTest, AListThatTakesTheFocusAfterALoadSelectsNothing)
{
    const QString path = saveTwoStartLevel("two.level");
    trigger("mnuFileNew");
    clickTop({40, 40}, "Option2");
    clickListRow(0); // Editing mode
    list()->setFocus();
    ASSERT_TRUE(window->loadFile(path));
    // A dialog closing gives the focus back to the list, which then has a current row of its own.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(list(), &focusIn);
    EXPECT_EQ(editor().selectedRow(), -1);
    EXPECT_EQ(label("Label7"), QStringLiteral("Select mode"));
    auto records = [&, rows = editor().rows()] {
        std::vector<AnyRecord> r;
        for (const ObjectRow& row : rows)
            r.push_back(editor().document().record(row.kind, row.arrayId));
        return r;
    };
    const std::vector<AnyRecord> before = records();
    clickTop({top()->width() - 20, top()->height() - 20});
    EXPECT_TRUE(records() == before) << "the click moved no item";
}

TEST_F(MapEditingTest, AMapLabelSelectsItsRowOnClickWithItsKeyAsTooltip)
{
    clickTop({400, 400}, "Option7"), clickTop({100, 100}, "Option2"),
        clickTop({300, 250}); // pebble labels start hidden
    // An item's label starts 100 world units right of and below the item.
    auto labelPixel = [&](ItemKind kind, int id) {
        const ItemPosition p = editor().document().position(kind, id);
        return pixelOf(top(), editor().topScale(), p.x + 100, p.y + 100) + QPoint(4, 3);
    };
    EXPECT_EQ(top()->labelAt(labelPixel(ItemKind::Pebble, 0)), -1);
    const QPoint onLabel = labelPixel(ItemKind::Asteroid, 1);
    ASSERT_EQ(top()->labelAt(onLabel), 2);
    QHelpEvent help(QEvent::ToolTip, onLabel, top()->mapToGlobal(onLabel));
    QApplication::sendEvent(top(), &help);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("2o"));
    QTest::mouseClick(top(), Qt::LeftButton, {}, onLabel); // places nothing
    EXPECT_EQ(editor().rows().size(), std::size_t(3));
    EXPECT_EQ(editor().selectedRow(), 2);
    EXPECT_EQ(listCurrentRow(), 2);
}

using WindowActionsTest = GuiTest;

TEST_F(WindowActionsTest, EveryActionHasAKeyOfItsOwn)
{
    const std::pair<const char*, QKeySequence> keys[] = {{"mnuFileNew", QKeySequence(Qt::CTRL | Qt::Key_N)},
        {"mnuFileOpen", QKeySequence(Qt::CTRL | Qt::Key_O)}, {"mnuFileSaveCurrent", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"mnuFileSave", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        {"mnuEditSelectAll", QKeySequence(Qt::CTRL | Qt::Key_A)},
        {"mnuEditDuplicate", QKeySequence(Qt::CTRL | Qt::Key_D)}, {"mnuEditUndo", QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {"mnuEditRedo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
        {"mnuEditRedo", QKeySequence(Qt::CTRL | Qt::Key_Y)}, {"mnuObjectsDelete", QKeySequence(Qt::Key_Delete)},
        {"actDisarmZoom", QKeySequence(Qt::Key_Escape)}};
    for (const auto& [action, key] : keys)
        EXPECT_TRUE(find<QAction>(action)->shortcuts().contains(key)) << action;
    std::map<QString, QString> owners; // Qt silently ignores a key that two actions of one window claim
    for (const QAction* action : window->findChildren<QAction*>())
        for (const QKeySequence& key : action->shortcuts())
            EXPECT_TRUE(owners.emplace(key.toString(), action->objectName()).second) << key.toString().toStdString();
}

TEST_F(WindowActionsTest, UnsavedChangesShowInTheUndoNameTheCaptionOrTheExitQuestion)
{
    auto* undo = find<QAction>("mnuEditUndo");
    EXPECT_FALSE(undo->isEnabled() || window->isWindowModified());
    saveTwoStartLevel("marked.level");
    clickTop({60, 60}, "Option2");
    EXPECT_TRUE(window->isWindowModified());
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Place Asteroid #1"));
    QTest::keySequence(window.get(), QKeySequence::Undo);
    EXPECT_EQ(editor().rows().size(), std::size_t(2));
    EXPECT_EQ(listRows(), 2);
    EXPECT_TRUE(find<QAction>("mnuEditRedo")->text() == QStringLiteral("Redo Place Asteroid #1"));
    EXPECT_FALSE(window->isWindowModified());
    undo->trigger(); // before the save
    EXPECT_TRUE(window->isWindowModified());
    QTest::keyClick(window.get(), Qt::Key_Y, Qt::ControlModifier);
    QTest::keySequence(window.get(), QKeySequence::Redo);
    EXPECT_EQ(listText(2), QStringLiteral("Asteroid #1"));
    host.saveChoices = {SaveChoice::Cancel, SaveChoice::Cancel};
    trigger("mnuFileExit");
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(host.saveQuestions, 2);
    trigger("mnuFileExit"); // Discard
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(host.saveQuestions, 3);
}

TEST_F(WindowActionsTest, DeleteKeyDeletesTheSelectedRowButNotInsideATextBox)
{
    clickTop({60, 60}, "Option2");
    clickTop({60, 160});
    QTest::keyClick(window.get(), Qt::Key_Delete); // nothing selected
    clickListRow(1);
    QTest::keyClick(find<QLineEdit>("Text1_0"), Qt::Key_Delete);
    EXPECT_EQ(listRows(), 2);
    QTest::keyClick(list(), Qt::Key_Delete);
    EXPECT_EQ(listRows(), 1);
    EXPECT_TRUE(label("lblCounts").contains(QStringLiteral("Asteroids 1")));
}

TEST_F(WindowActionsTest, TheStatusBarShowsThePointerWhereAClickPlacesAnItem)
{
    click("Option2");
    int roundedDifferently = 0;
    for (const QPoint pixel :
        {QPoint(7, 5), QPoint(top()->width() - 9, 11), QPoint(top()->width() / 2 + 3, top()->height() / 2 - 3)}) {
        const QPointF world = top()->toWorld(QPointF(pixel));
        roundedDifferently += double(std::lround(world.x())) != std::floor(world.x())
            || double(std::lround(world.y())) != std::floor(world.y());
        QTest::mouseClick(top(), Qt::LeftButton, {}, pixel);
        const ItemPosition p = editor().document().position(ItemKind::Asteroid, editor().rows().back().arrayId);
        EXPECT_EQ(label("lblPointer") + u'|' + label("lblX") + u' ' + label("lblY"),
            QStringLiteral("X %1  Y %2|%1 %2").arg(p.x).arg(p.y));
    }
    EXPECT_GT(roundedDifferently, 0) << "some pointer positions must tell the rounding rules apart";
}

TEST_F(WindowActionsTest, RecentDroppedOrNamedLevelsAreLoaded)
{
    auto* recent = find<QMenu>("mnuFileRecent");
    EXPECT_FALSE(recent->isEnabled()) << "nothing yet";
    const QString path = saveTwoStartLevel("first.level");
    ASSERT_TRUE(recent->isEnabled());
    ASSERT_EQ(recent->actions().size(), 1);
    EXPECT_TRUE(recent->actions().front()->text().endsWith(QStringLiteral("first.level")));
    trigger("mnuFileNew");
    recent->actions().front()->trigger();
    EXPECT_EQ(listRows(), 2);
    trigger("mnuFileNew");
    window->openFiles({path}); // a level named at the start, as main() opens it
    EXPECT_EQ(listText(1), QStringLiteral("Player 2 start"));
    trigger("mnuFileNew");
    for (const QString& name : {QStringLiteral("notes.txt"), QStringLiteral("first.level")}) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(dir.filePath(name))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), name.endsWith(QStringLiteral(".level"))) << name.toStdString();
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &drop);
    }
    EXPECT_EQ(listRows(), 2);
}

TEST_F(WindowActionsTest, TheTimersRecoveryCopyIsOfferedAtTheNextStart)
{
    const QString folder = dir.filePath(QStringLiteral("data"));
    window->useRecoveryFolder(folder);
    EXPECT_TRUE(find<QTimer>("tmrRecovery")->interval() == 60000);
    EXPECT_TRUE(find<QTimer>("tmrRecovery")->isActive());
    clickTop({60, 60}, "Option2");
    tick(find<QTimer>("tmrRecovery"));
    ASSERT_TRUE(QFile::exists(editor().recoveryPath()));
    window.reset();                                                  // ends without Exit, as a crash does
    window = std::make_unique<MainWindow>(*store, QString(), &host); // the next start
    host.recoveryAnswers = {{RecoveryAnswer::Choice::Restore, 0}};
    window->useRecoveryFolder(folder);
    EXPECT_EQ(listRows(), 1);
    EXPECT_TRUE(window->isWindowModified());
}

} // namespace
} // namespace starloom::test
