#include "document/Catalogue.h"

#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace starloom;
using starloom::test::makeEntry;

namespace {

TEST(Catalogue, BuiltInListsWithoutAGameFolder)
{
    const Catalogue catalogue;
    struct Expect { ItemKind kind; int names; bool custom; const char* first; };
    for (const Expect& e : {Expect{ItemKind::Asteroid, 5, true, "asteroid_1"}, Expect{ItemKind::Cloud, 4, false, "cloud_0"},
                            Expect{ItemKind::DustCloud, 9, true, "dustcloud_0"},
                            Expect{ItemKind::Megalith, 83, false, "meg_asteroid"},
                            Expect{ItemKind::Nebula, 14, true, "m05_dustcloud_nebula"},
                            Expect{ItemKind::Pebble, 3, false, "pebble_0"},
                            Expect{ItemKind::Salvage, 14, true, "slv_chunk_lrg01"},
                            Expect{ItemKind::Ship, 77, true, "hgn_assaultcorvette"}}) {
        const QStringList list = catalogue.modelList(e.kind);
        EXPECT_EQ(std::tuple(list.size(), list.first(), list.last() == customEntry), std::tuple(e.names + (e.custom ? 1 : 0), QString::fromLatin1(e.first), e.custom))
            << kindInfo(e.kind).name;
    }
}

TEST(Catalogue, PlayerStartListFollowsThePlayerCount)
{
    const Catalogue catalogue;
    EXPECT_EQ(catalogue.modelList(ItemKind::PlayerStart, 2), (QStringList{"Player 1", "Player 2", "Player 3", "Player 4"}));
    EXPECT_EQ(catalogue.modelList(ItemKind::PlayerStart, -1), QStringList{"Player 1"});
}

// Game folders (entries ending in '/' are folders) and the list they give one kind: folder names,
// sorted, then "Custom" where the kind has it.
struct FolderCase { const char* entries; ItemKind kind; QStringList expected; const char* gameDirEnd = ""; };

TEST(Catalogue, GameFoldersGiveTheModelLists)
{
    const char* shipFolder = "Data/ship/hgn_scout/ Data/ship/meg_rock/ Data/ship/Meg_Upper/ Data/ship/readme.lua.txt "
                             "Data/ship/meg_script.lua Data/ship/.hidden/";
    for (const FolderCase& c :
         {FolderCase{shipFolder, ItemKind::Ship, {"Meg_Upper", "hgn_scout", "Custom"}}, // split by prefix and the Lua test
          FolderCase{shipFolder, ItemKind::Megalith, {"meg_rock", "meg_script.lua"}},
          FolderCase{"DATA/Resource/ASTEROID/Asteroid_Big/", ItemKind::Asteroid, {"Asteroid_Big", "Custom"}}, // letter case
          FolderCase{"DATA/Resource/ASTEROID/Asteroid_Big/", ItemKind::Pebble, {"pebble_0", "pebble_1", "pebble_2"}}, // no folder
          FolderCase{"Data/nebula/ Data/cloud/", ItemKind::Nebula, {"Custom"}}, // empty folders
          FolderCase{"Data/nebula/ Data/cloud/", ItemKind::Cloud, {}},
          FolderCase{"Data/pebble/pebble_x/", ItemKind::Pebble, {"pebble_x"}, "\\"}}) { // a backslash separates
        QTemporaryDir game;
        for (const QString& entry : QString::fromLatin1(c.entries).split(' '))
            makeEntry(game.path(), entry, entry.endsWith('/'));
        QStringList list = Catalogue(game.path() + QLatin1String(c.gameDirEnd)).modelList(c.kind);
        std::sort(list.begin(), list.end() - (!list.isEmpty() && list.last() == customEntry)); // "Custom" stays last
        EXPECT_EQ(list, c.expected) << c.entries << " " << kindInfo(c.kind).name;
    }
}

struct FindCase { ItemKind kind; const char* find; int expected; };

TEST(Catalogue, FindTypeFromStringTakesTheLastEntryContainingTheName)
{
    const Catalogue catalogue;
    for (const FindCase& c : {FindCase{ItemKind::Ship, "HGN_SCOUT", 30}, FindCase{ItemKind::Ship, "hgn_assaultcorvette", 1},
                              FindCase{ItemKind::Megalith, "meg_bentus_ruin_1", 15}, FindCase{ItemKind::Ship, "nothing", -1},
                              FindCase{ItemKind::Ship, "", 77}, FindCase{ItemKind::Ship, "cUsToM", 77}})
        EXPECT_EQ(findTypeFromString(catalogue.modelList(c.kind), QString::fromLatin1(c.find)), c.expected) << c.find;
}

TEST(Catalogue, TheReaderPrefersAnEqualName)
{
    const Catalogue catalogue;
    for (const FindCase& c : {FindCase{ItemKind::Ship, "hgn_assaultcorvette", 0}, FindCase{ItemKind::Megalith, "meg_bentus_ruin_1", 5},
                              FindCase{ItemKind::Megalith, "Meg_VeilDebris_Chunk4", 70},
                              FindCase{ItemKind::Ship, "assaultcorvette", 1}, FindCase{ItemKind::Ship, "zzz", -1}})
        EXPECT_EQ(findModelForRead(catalogue.modelList(c.kind), QString::fromLatin1(c.find)), c.expected) << c.find;
}

TEST(Catalogue, ModelListsReadEachFolderOnce)
{
    QTemporaryDir game;
    makeEntry(game.path(), "Data/pebble/p1", true);
    const Catalogue catalogue(game.path());
    ModelLists lists(catalogue);
    EXPECT_EQ(lists.lookup(ItemKind::Pebble, QStringLiteral("p1")), 0);
    makeEntry(game.path(), "Data/pebble/p2", true); // a change during one load is not seen
    EXPECT_TRUE(lists.list(ItemKind::Pebble).size() == 1 && lists.entry(ItemKind::Pebble, -1).isNull() && lists.entry(ItemKind::Pebble, 5).isNull());
}

} // namespace
