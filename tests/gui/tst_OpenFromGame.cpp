// File > Open from Game: the dialog that lists the game's maps, and opening the one chosen.

#include "GuiFixture.h"

#include "MadeUpGame.h"
#include "OpenFromGameDialog.h"
#include "TestSupport.h"

#include "gamedata/DataFileReader.h"
#include "gamedata/GameMaps.h"

#include <QApplication>
#include <QPushButton>
#include <QSortFilterProxyModel>

#include <gtest/gtest.h>

using namespace starloom;
using namespace starloom::test;

namespace {

class OpenFromGameTest : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        if (const QString why = writeMadeUpGame(game()); !why.isEmpty())
            std::printf("The archive's maps are text: %s\n", qPrintable(why));
    }
    QString game() const { return dir.filePath(QStringLiteral("game")); }
    QStringList folders() const { return {game() + QStringLiteral("/Data")}; }
    QStringList archives() const { return {game() + QStringLiteral("/Data/Homeworld2.big")}; }

    // The first column of each row as the dialog's list shows it.
    static QStringList shownPaths(const OpenFromGameDialog& dialog)
    {
        const auto* list = dialog.findChild<QTreeView*>(QStringLiteral("lstMaps"));
        QStringList paths;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            paths << list->model()->index(row, 0).data().toString();
        return paths;
    }
    static void choose(OpenFromGameDialog& dialog, int row)
    {
        auto* list = dialog.findChild<QTreeView*>(QStringLiteral("lstMaps"));
        QTest::mouseClick(
            list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(row, 0)).center());
    }
};

TEST_F(OpenFromGameTest, TheDialogListsTheMapsWithTheirPlayersDescriptionAndSource)
{
    OpenFromGameDialog dialog(listGameMaps(folders(), archives()));
    dialog.show();
    EXPECT_EQ(dialog.objectName(), QStringLiteral("frmOpenFromGame"));
    EXPECT_EQ(shownPaths(dialog),
        QStringList({"data:LevelData/Multiplayer/Deathmatch/2P_Loose.level",
            "data:LevelData/Multiplayer/Deathmatch/Shadow.level", "data:leveldata/multiplayer/broken.level",
            "data:leveldata/multiplayer/deathmatch/4p_compiled.level"}));
    const auto* model = dialog.findChild<QTreeView*>(QStringLiteral("lstMaps"))->model();
    EXPECT_EQ(model->index(3, 1).data().toString(), QStringLiteral("4"));
    EXPECT_EQ(model->index(3, 2).data().toString(), QStringLiteral("Compiled four"));
    EXPECT_EQ(model->index(3, 3).data().toString(), archives().first());
    EXPECT_FALSE(model->index(2, 0).data(Qt::ToolTipRole).toString().isEmpty()) << "the stopped map says why";
    EXPECT_FALSE(dialog.findChild<QPushButton*>(QStringLiteral("cmdOpen"))->isEnabled()) << "nothing chosen yet";
}

TEST_F(OpenFromGameTest, TheFilterMatchesAnyColumnAndTheColumnsSort)
{
    OpenFromGameDialog dialog(listGameMaps(folders(), archives()));
    dialog.show();
    QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("txtFilter")), QStringLiteral("LOOSE"));
    EXPECT_EQ(shownPaths(dialog).size(), 2) << "the loose maps' descriptions";
    retype(dialog.findChild<QLineEdit*>(QStringLiteral("txtFilter")), QStringLiteral("homeworld2.big"));
    EXPECT_EQ(shownPaths(dialog).size(), 2) << "the archive's maps, by their source";
    retype(dialog.findChild<QLineEdit*>(QStringLiteral("txtFilter")), QString());
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("lstMaps"));
    list->sortByColumn(1, Qt::DescendingOrder);
    QStringList players;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        players << list->model()->index(row, 1).data().toString();
    EXPECT_EQ(players, QStringList({"5", "4", "3", "2"}));
}

TEST_F(OpenFromGameTest, TheMenuOpensTheMapChosenWithNoFileOfItsOwn)
{
    editor().setIncludeReader(dataFileReader(folders(), archives()));
    editor().setGameMapLister(
        [this](const GameMapLimits& limits) { return listGameMaps(folders(), archives(), limits); });
    bool shown = false;
    QTimer::singleShot(0, window.get(), [&] {
        auto* dialog = qobject_cast<OpenFromGameDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shown = true;
        QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("txtFilter")), QStringLiteral("compiled"));
        choose(*dialog, 0);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdOpen")), Qt::LeftButton);
    });
    trigger("mnuFileOpenFromGame");
    EXPECT_TRUE(shown);
    EXPECT_EQ(editor().mapSettings().levelDesc, QStringLiteral("Compiled four"));
    EXPECT_EQ(editor().document().liveCount(ItemKind::PlayerStart), madeUpCompiledStartPoints);
    EXPECT_EQ(editor().currentFile(), QString());
    EXPECT_EQ(
        editor().recentLevels().first(), QStringLiteral("data:leveldata/multiplayer/deathmatch/4p_compiled.level"));
    EXPECT_EQ(find<QAction>("mnuFileRecent_0")->text(), QStringLiteral("&1 4p_compiled.level"));
}

TEST_F(OpenFromGameTest, CancelLeavesTheLevelAsItWas)
{
    editor().setGameMapLister(
        [this](const GameMapLimits& limits) { return listGameMaps(folders(), archives(), limits); });
    clickTop({60, 60}, "Option2");
    QTimer::singleShot(0, window.get(), [&] {
        auto* dialog = qobject_cast<OpenFromGameDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        choose(*dialog, 0);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    });
    trigger("mnuFileOpenFromGame");
    EXPECT_EQ(listRows(), 1);
    EXPECT_TRUE(editor().recentLevels().isEmpty());
}

} // namespace
