#include "GuiFixture.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QTreeView>
#include <QUrl>

#include <map>

namespace starloom::test {
namespace {

class UndoAndFilesTest : public GuiTest {
protected:
    QTreeView* list() const { return find<QTreeView>("lstObjects"); }
    int listRows() const { return list()->model()->rowCount(); }

    void placeAsteroid(QPoint pixel)
    {
        click("Option2");
        QTest::mouseClick(top(), Qt::LeftButton, {}, pixel);
    }

    void selectListRow(int row)
    {
        const QRect cell = list()->visualRect(list()->model()->index(row, 0));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, cell.center());
        ASSERT_EQ(editor().selectedRow(), row);
    }

    // Saves a level holding the two player starts the default map needs; returns its path.
    QString saveTwoStartLevel(const QString& fileName)
    {
        click("Option1");
        QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(100, 100));
        QTest::keyClick(find<QComboBox>("Combo1"), Qt::Key_Down);
        QTest::mouseClick(top(), Qt::LeftButton, {}, QPoint(300, 200));
        const QString path = dir.filePath(fileName);
        host.saveNames.push_back(path);
        find<QAction>("mnuFileSave")->trigger();
        EXPECT_TRUE(QFile::exists(path));
        return path;
    }

    QString counts() const { return find<QLabel>("lblCounts")->text(); }
};

struct ShortcutCase {
    const char* action;
    QKeySequence key;
};

class ShortcutTest : public GuiTest, public ::testing::WithParamInterface<ShortcutCase> {};

TEST_P(ShortcutTest, ActionCarriesTheKey)
{
    auto* action = find<QAction>(GetParam().action);
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(action->shortcuts().contains(GetParam().key)) << GetParam().key.toString().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Keys, ShortcutTest,
                         ::testing::Values(ShortcutCase{"mnuFileNew", QKeySequence(Qt::CTRL | Qt::Key_N)},
                                           ShortcutCase{"mnuFileLoad", QKeySequence(Qt::CTRL | Qt::Key_O)},
                                           ShortcutCase{"mnuFileSave", QKeySequence(Qt::CTRL | Qt::Key_S)},
                                           ShortcutCase{"mnuEditUndo", QKeySequence(Qt::CTRL | Qt::Key_Z)},
                                           ShortcutCase{"mnuEditRedo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
                                           ShortcutCase{"mnuEditRedo", QKeySequence(Qt::CTRL | Qt::Key_Y)},
                                           ShortcutCase{"mnuObjectsDelete", QKeySequence(Qt::Key_Delete)},
                                           ShortcutCase{"actDisarmZoom", QKeySequence(Qt::Key_Escape)}));

TEST_F(UndoAndFilesTest, NoKeyBelongsToTwoActions)
{
    // Qt silently ignores a key that two actions of one window claim.
    std::map<QString, QString> owners;
    for (const QAction* action : window->findChildren<QAction*>())
        for (const QKeySequence& key : action->shortcuts()) {
            const auto [it, added] = owners.emplace(key.toString(), action->objectName());
            EXPECT_TRUE(added) << key.toString().toStdString() << ": " << it->second.toStdString() << " and "
                               << action->objectName().toStdString();
        }
}

TEST_F(UndoAndFilesTest, UndoNamesThePlacementAndTakesBackItsRow)
{
    auto* undo = find<QAction>("mnuEditUndo");
    auto* redo = find<QAction>("mnuEditRedo");
    EXPECT_FALSE(undo->isEnabled());
    placeAsteroid(QPoint(60, 60));
    ASSERT_EQ(listRows(), 1);
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), QStringLiteral("Undo Place Asteroid #1"));

    undo->trigger();
    EXPECT_TRUE(editor().rows().empty());
    EXPECT_EQ(listRows(), 0);
    EXPECT_EQ(redo->text(), QStringLiteral("Redo Place Asteroid #1"));

    QTest::keyClick(window.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(listRows(), 1);
    EXPECT_EQ(list()->model()->index(0, 0).data().toString(), QStringLiteral("Asteroid #1"));
}

TEST_F(UndoAndFilesTest, DeleteKeyDeletesTheSelectedRowButNotInsideATextBox)
{
    placeAsteroid(QPoint(60, 60));
    placeAsteroid(QPoint(60, 160));
    QTest::keyClick(window.get(), Qt::Key_Delete); // nothing selected
    ASSERT_EQ(listRows(), 2);

    selectListRow(1);
    auto* field = find<QLineEdit>("Text1_0");
    ASSERT_TRUE(field->isVisible());
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_EQ(listRows(), 2);

    QTest::keyClick(list(), Qt::Key_Delete);
    EXPECT_EQ(listRows(), 1);
    EXPECT_EQ(editor().rows().size(), 1u);
}

TEST_F(UndoAndFilesTest, CaptionMarksUnsavedChanges)
{
    EXPECT_FALSE(window->isWindowModified());
    saveTwoStartLevel(QStringLiteral("marked.level"));
    EXPECT_FALSE(window->isWindowModified());
    placeAsteroid(QPoint(60, 60));
    EXPECT_TRUE(window->isWindowModified());
    find<QAction>("mnuEditUndo")->trigger();
    EXPECT_FALSE(window->isWindowModified());
    find<QAction>("mnuEditUndo")->trigger(); // before the save
    EXPECT_TRUE(window->isWindowModified());
}

TEST_F(UndoAndFilesTest, ExitAsksOnceAndClosesOnlyWhenAllowed)
{
    placeAsteroid(QPoint(60, 60));
    auto* exit = find<QAction>("mnuFileExit");
    host.saveChanges = SaveChoice::Cancel;
    exit->trigger();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(host.saveChangesAsked, 1);
    host.saveChanges = SaveChoice::Discard;
    exit->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(host.saveChangesAsked, 2);
}

TEST_F(UndoAndFilesTest, RecentLevelsListSavedFilesAndOpenThem)
{
    auto* recent = find<QMenu>("mnuFileRecent");
    EXPECT_FALSE(recent->isEnabled());
    EXPECT_TRUE(recent->actions().isEmpty());

    const QString path = saveTwoStartLevel(QStringLiteral("first.level"));
    ASSERT_TRUE(recent->isEnabled());
    ASSERT_EQ(recent->actions().size(), 1);
    QAction* entry = recent->actions().front();
    EXPECT_TRUE(entry->text().endsWith(QStringLiteral("first.level")));
    EXPECT_EQ(QFileInfo(entry->toolTip()), QFileInfo(path));

    find<QAction>("mnuFileNew")->trigger();
    ASSERT_EQ(listRows(), 0);
    entry->trigger();
    EXPECT_EQ(listRows(), 2);
}

TEST_F(UndoAndFilesTest, DroppedLevelFileIsLoaded)
{
    const QString path = saveTwoStartLevel(QStringLiteral("dropped.level"));
    find<QAction>("mnuFileNew")->trigger();
    ASSERT_EQ(listRows(), 0);

    for (const QString& name : {QStringLiteral("notes.txt"), QStringLiteral("dropped.level")}) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(dir.filePath(name))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), name.endsWith(QStringLiteral(".level"))) << name.toStdString();
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &drop);
    }
    EXPECT_EQ(listRows(), 2);
    EXPECT_EQ(editor().recentLevels().value(0), QFileInfo(path).absoluteFilePath());
}

TEST_F(UndoAndFilesTest, StatusBarCountsItemsAndShowsThePointer)
{
    ASSERT_NE(find<QStatusBar>("statusBar"), nullptr);
    EXPECT_TRUE(counts().contains(QStringLiteral("Asteroids 0")));
    placeAsteroid(QPoint(60, 60));
    placeAsteroid(QPoint(60, 160));
    EXPECT_TRUE(counts().contains(QStringLiteral("Starts 0")));
    EXPECT_TRUE(counts().contains(QStringLiteral("Asteroids 2")));
    selectListRow(0);
    QTest::keyClick(list(), Qt::Key_Delete);
    EXPECT_TRUE(counts().contains(QStringLiteral("Asteroids 1")));

    const QPoint pixel(top()->width() / 4, top()->height() * 3 / 4);
    QMouseEvent move(QEvent::MouseMove, QPointF(pixel), QPointF(top()->mapToGlobal(pixel)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(top(), &move);
    const QPointF world = top()->toWorld(QPointF(pixel));
    EXPECT_EQ(find<QLabel>("lblPointer")->text(),
              QStringLiteral("X %1  Y %2").arg(std::lround(world.x())).arg(std::lround(world.y())));
}

TEST_F(UndoAndFilesTest, RecoveryCopyIsWrittenByTheTimerAndOfferedAtTheNextStart)
{
    const QString path = dir.filePath(QStringLiteral("recovery.level"));
    window->useRecoveryFile(path);
    auto* recovery = find<QTimer>("tmrRecovery");
    EXPECT_EQ(recovery->interval(), 60000);
    EXPECT_TRUE(recovery->isActive());
    tick(recovery);
    EXPECT_FALSE(QFile::exists(path)) << "nothing unsaved yet";
    placeAsteroid(QPoint(60, 60));
    tick(recovery);
    ASSERT_TRUE(QFile::exists(path));

    window = std::make_unique<MainWindow>(*store, QString(), &host);
    host.yes = true;
    window->useRecoveryFile(path);
    EXPECT_EQ(listRows(), 1);
    EXPECT_TRUE(window->isWindowModified());
}

} // namespace
} // namespace starloom::test
