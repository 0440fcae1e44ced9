#include "GuiFixture.h"

#include "PreferencesDialog.h"
#include "TestSupport.h"

#include <QPushButton>
#include <QSettings>

namespace starloom::test {
namespace {

using GameFolderRowTest = GuiTest;

TEST_F(GameFolderRowTest, TheGameFolderChosenAmongThoseFoundIsStoredAtOk)
{
    makeEntry(dir.path(), "coll/Homeworld2Classic/Data/", true);
    makeEntry(dir.path(), "coll/HomeworldRM/Data/", true);
    makeEntry(dir.path(), "empty/", true);
    const std::vector<GameInstall> found = {
        {dir.filePath("steam/HomeworldRM"), GameEdition::Remastered, "Steam (~/.steam/steam)"}};
    const GameSetup setup = chooseGame({}, {}, found, std::nullopt, {dir.filePath("mod")});
    window->showGameStatus(setup.statusText());
    EXPECT_TRUE(find<QLabel>("lblGameStatus")
                    ->toolTip()
                    .startsWith("Model names from the remastered game at " + dir.filePath("steam/HomeworldRM")));

    PreferencesDialog* options = window->preferencesDialog();
    options->showGames(found, setup, *store);
    auto* combo = options->findChild<QComboBox*>("cmbGameFolder");
    auto* note = options->findChild<QLabel*>("lblGameFolder");
    auto* mods = options->findChild<QLineEdit*>("txtModFolders");
    EXPECT_EQ(combo->count() + combo->currentIndex(), 1);
    EXPECT_EQ(combo->currentText() + u'|' + note->text() + u'|' + mods->text(),
        "remastered: " + dir.filePath("steam/HomeworldRM") + "|Found by Steam (~/.steam/steam).|"
            + dir.filePath("mod"));

    options->chooseGameFolder(dir.filePath("empty"));
    EXPECT_EQ(note->text(), "The game folder " + dir.filePath("empty") + " holds no Data folder.");
    EXPECT_EQ(combo->count(), 1);
    options->chooseGameFolder(dir.filePath("coll"));
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentText() + u'|' + note->text(),
        "classic: " + dir.filePath("coll/Homeworld2Classic") + "|Found by Browse. Used from the next start.");
    trigger("mnuFilePreferences");
    mods->setText(" /a ; /b;");
    QTest::mouseClick(options->findChild<QPushButton*>("cmdPreferencesOk"), Qt::LeftButton);
    const QSettings stored(settingsPath(), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Settings/GameFolder").toString() + u'|' + stored.value("Settings/ModFolders").toString(),
        dir.filePath("coll/Homeworld2Classic") + "|/a\n/b");
}

TEST_F(GameFolderRowTest, OkStoresNoGameFolderTheUserDidNotChoose)
{
    window->preferencesDialog()->showGames({{dir.filePath("found"), GameEdition::Classic, "Steam"}}, {}, *store);
    trigger("mnuFilePreferences");
    QTest::mouseClick(window->preferencesDialog()->findChild<QPushButton*>("cmdPreferencesOk"), Qt::LeftButton);
    EXPECT_FALSE(QSettings(settingsPath(), QSettings::IniFormat).contains("Settings/GameFolder"));
}

} // namespace
} // namespace starloom::test
