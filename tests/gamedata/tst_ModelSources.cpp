#include "gamedata/DataFolderSource.h"
#include "gamedata/GameSetup.h"

#include "BigArchiveWriter.h"
#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace starloom;
using namespace starloom::test;

namespace {

// Game folders (entries ending in '/' are folders) and the list they give one kind: folder names,
// sorted, then "Custom" where the kind has it.
struct FolderCase {
    const char* entries;
    ItemKind kind;
    QStringList expected;
    const char* gameDirEnd = "";
};

TEST(ModelSources, LooseGameFoldersGiveTheModelLists)
{
    const char* shipFolder = "Data/ship/hgn_scout/ Data/ship/meg_rock/ Data/ship/Meg_Upper/ Data/ship/readme.lua.txt "
                             "Data/ship/meg_script.lua Data/ship/.hidden/";
    for (const FolderCase& c : {FolderCase{shipFolder, ItemKind::Ship,
                                    {"Meg_Upper", "hgn_scout", "Custom"}}, // split by prefix and the Lua test
             FolderCase{shipFolder, ItemKind::Megalith, {"meg_rock", "meg_script.lua"}},
             FolderCase{
                 "DATA/Resource/ASTEROID/Asteroid_Big/", ItemKind::Asteroid, {"Asteroid_Big", "Custom"}}, // letter case
             FolderCase{"DATA/Resource/ASTEROID/Asteroid_Big/", ItemKind::Pebble,
                 {"pebble_0", "pebble_1", "pebble_2"}},                            // no folder
             FolderCase{"Data/nebula/ Data/cloud/", ItemKind::Nebula, {"Custom"}}, // empty folders
             FolderCase{"Data/nebula/ Data/cloud/", ItemKind::Cloud, {}},
             FolderCase{"Data/pebble/pebble_x/", ItemKind::Pebble, {"pebble_x"}, "\\"}}) { // a backslash separates
        QTemporaryDir game;
        for (const QString& entry : QString::fromLatin1(c.entries).split(' '))
            makeEntry(game.path(), entry, entry.endsWith('/'));
        QStringList list = gameCatalogue(game.path() + QLatin1String(c.gameDirEnd)).modelList(c.kind);
        std::sort(list.begin(), list.end() - (!list.isEmpty() && list.last() == customEntry)); // "Custom" stays last
        EXPECT_EQ(list, c.expected) << c.entries << " " << kindInfo(c.kind).name;
    }
}

// A classic game (loose Data and Homeworld2.big), a remastered one (two archives, read in name
// order), a mod's data folder and a mod archive: the order of sources and what each gives. The
// "meg_" prefix is matched with its letter case in every source: a loose "Meg_Y" and an archived
// "Meg_X" are ships, the archive's "meg_y" beside the loose "Meg_Y" a megalith.
TEST(ModelSources, GameDataFolderThenModsThenArchivesThenBuiltIn)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    makeEntry(root, "classic/Data/ship/Hgn_Scout/", true);
    makeEntry(root, "classic/Data/ship/Meg_Y/", true);
    writeBigArchiveFile(root + "/classic/Data/Homeworld2.big",
        {{"ship\\hgn_scout\\hgn_scout.ship"}, {"ship\\meg_tanis\\meg_tanis.ship"}, {"ship\\vgr_probe\\vgr_probe.ship"},
            {"pebble\\pebble_0\\"}, {"ship\\kpr_mover.lua"}, {"ship\\Meg_X\\Meg_X.ship"}, {"ship\\meg_y\\"}},
        {QStringLiteral("Data"), true});
    writeBigArchiveFile(
        root + "/classic/Data/EnglishSpeech.big", {{"ship\\speech_only\\x"}}); // not a classic model archive
    makeEntry(root, "mod/Data/ship/vgr_PROBE/", true);
    writeBigArchiveFile(root + "/modpack.big", {{"ship\\tai_probe\\tai_probe.ship"}, {"nebula\\mod_nebula\\"}});
    makeEntry(root, "rm/HomeworldRM/Data/Placeholder.txt", false);
    writeBigArchiveFile(
        root + "/rm/HomeworldRM/Data/UpdateHW2Ships.big", {{"ship\\HGN_SCOUT\\a"}, {"ship\\hgn_new\\a"}});
    writeBigArchiveFile(root + "/rm/HomeworldRM/Data/HW2Ships.big", {{"ship\\hgn_scout\\a"}, {"ship\\vgr_scout\\a"}});
    writeBigArchiveFile(root + "/rm/HomeworldRM/Data/Locale.big", {{"locale\\x"}});

    const auto classic = gamesInFolder(root + "/classic", "test");
    ASSERT_EQ(classic.size(), 1u);
    const GameSetup classicSetup = chooseGame({}, {}, classic, std::nullopt, {root + "/mod", root + "/modpack.big"});
    EXPECT_EQ(classicSetup.dataFolders(), (QStringList{root + "/classic/Data", root + "/mod/Data"}));
    EXPECT_EQ(classicSetup.archives(), (QStringList{root + "/modpack.big", root + "/classic/Data/Homeworld2.big"}));
    const Catalogue withMods = catalogueFor(classicSetup);
    const ModelListReport ships = withMods.report(ItemKind::Ship);
    EXPECT_EQ(ships.names, (QStringList{"Hgn_Scout", "Meg_Y", "vgr_PROBE", "tai_probe", "Meg_X", "Custom"}));
    EXPECT_EQ(ships.origins.back().source + u' ' + QString::number(ships.origins.back().names),
        "archive " + root + "/classic/Data/Homeworld2.big 1");
    EXPECT_EQ(withMods.modelList(ItemKind::Megalith), (QStringList{"meg_tanis", "meg_y"}));
    EXPECT_EQ(withMods.modelList(ItemKind::Nebula), (QStringList{"mod_nebula", "Custom"}));
    EXPECT_EQ(withMods.modelList(ItemKind::Pebble), QStringList{"pebble_0"});
    EXPECT_EQ(withMods.modelList(ItemKind::Cloud).size(), 4) << "no source has clouds: the built-in names";

    const auto remastered = gamesInFolder(root + "/rm/HomeworldRM", "test");
    ASSERT_EQ(remastered.size(), 1u);
    EXPECT_EQ(remastered[0].edition, GameEdition::Remastered);
    const Catalogue rm = catalogueFor(chooseGame({}, {}, remastered));
    EXPECT_EQ(rm.modelList(ItemKind::Ship), (QStringList{"hgn_scout", "vgr_scout", "hgn_new", "Custom"}));
    EXPECT_TRUE(rm.problems().isEmpty());
}

TEST(ModelSources, AnArchiveThatCannotBeReadIsSkippedWithAProblemNamingIt)
{
    QTemporaryDir dir;
    makeEntry(dir.path(), "HomeworldRM/Data/ship/loose_ship/", true);
    writeBytes(dir.filePath("HomeworldRM/Data/HW2Ships.big"), QByteArray(4096, '\x5a')); // encrypted-looking
    writeBigArchiveFile(dir.filePath("HomeworldRM/Data/Other.big"), {{"ship\\hgn_a\\a"}});
    const Catalogue catalogue = gameCatalogue(dir.filePath("HomeworldRM"));
    EXPECT_EQ(catalogue.modelList(ItemKind::Ship), (QStringList{"loose_ship", "hgn_a", "Custom"}));
    ASSERT_EQ(catalogue.problems().size(), 1);
    EXPECT_TRUE(catalogue.problems()[0].contains("HW2Ships.big")) << catalogue.problems()[0].toStdString();
    EXPECT_TRUE(catalogue.problems()[0].contains("encrypted")) << catalogue.problems()[0].toStdString();
}

TEST(ModelSources, AModFolderThatIsNoFolderIsToldWhatItIs)
{
    QTemporaryDir dir;
    writeBytes(dir.filePath("mod.txt"), "a file");
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    for (const auto& [name, said] : {std::pair("missing", "does not exist"), std::pair("mod.txt", "is not a folder"),
             std::pair("pipe", "is not a folder")}) {
        const DataFolderSource source(dir.filePath(QLatin1String(name)));
        EXPECT_EQ(source.problem(), "The data folder " + dir.filePath(QLatin1String(name)) + " " + said);
        EXPECT_EQ(source.entries(QStringLiteral("ship")), std::nullopt) << name;
    }
}

} // namespace
