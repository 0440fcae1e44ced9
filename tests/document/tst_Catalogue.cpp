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
    struct Expect {
        ItemKind kind;
        int names;
        bool custom;
        const char* first;
    };
    for (const Expect& e : {Expect{ItemKind::Asteroid, 5, true, "asteroid_1"}, Expect{ItemKind::Cloud, 4, false, "cloud_0"},
                            Expect{ItemKind::DustCloud, 9, true, "dustcloud_0"},
                            Expect{ItemKind::Megalith, 83, false, "meg_asteroid"},
                            Expect{ItemKind::Nebula, 14, true, "m05_dustcloud_nebula"},
                            Expect{ItemKind::Pebble, 3, false, "pebble_0"},
                            Expect{ItemKind::Salvage, 14, true, "slv_chunk_lrg01"},
                            Expect{ItemKind::Ship, 77, true, "hgn_assaultcorvette"}}) {
        const QStringList list = catalogue.modelList(e.kind);
        EXPECT_EQ(list.size(), e.names + (e.custom ? 1 : 0)) << kindInfo(e.kind).name;
        EXPECT_EQ(list.first(), QLatin1String(e.first));
        EXPECT_EQ(list.last() == customEntry, e.custom);
    }
}

TEST(Catalogue, PlayerStartListFollowsThePlayerCount)
{
    const Catalogue catalogue;
    EXPECT_EQ(catalogue.modelList(ItemKind::PlayerStart, 2),
              (QStringList{"Player 1", "Player 2", "Player 3", "Player 4"}));
    EXPECT_EQ(catalogue.modelList(ItemKind::PlayerStart, -1), QStringList{"Player 1"});
}

TEST(Catalogue, ShipFolderIsSplitByThePrefixAndTheLuaTest)
{
    QTemporaryDir game;
    makeEntry(game.path(), "Data/ship/hgn_scout", true);
    makeEntry(game.path(), "Data/ship/meg_rock", true);
    makeEntry(game.path(), "Data/ship/Meg_Upper", true);
    makeEntry(game.path(), "Data/ship/readme.lua.txt", false);
    makeEntry(game.path(), "Data/ship/meg_script.lua", false);
    makeEntry(game.path(), "Data/ship/.hidden", true);
    const Catalogue catalogue(game.path());
    QStringList ships = catalogue.modelList(ItemKind::Ship);
    ASSERT_EQ(ships.size(), 3);
    EXPECT_EQ(ships.last(), customEntry);
    ships.removeLast();
    ships.sort();
    EXPECT_EQ(ships, (QStringList{"Meg_Upper", "hgn_scout"}));
    QStringList megaliths = catalogue.modelList(ItemKind::Megalith);
    megaliths.sort();
    EXPECT_EQ(megaliths, (QStringList{"meg_rock", "meg_script.lua"}));
}

TEST(Catalogue, FolderNamesMatchWithoutLetterCase)
{
    QTemporaryDir game;
    makeEntry(game.path(), "DATA/Resource/ASTEROID/Asteroid_Big", true);
    const Catalogue catalogue(game.path());
    EXPECT_EQ(catalogue.modelList(ItemKind::Asteroid), (QStringList{"Asteroid_Big", "Custom"}));
    // A kind whose folder is missing keeps its built-in names.
    EXPECT_EQ(catalogue.modelList(ItemKind::Pebble).size(), 3);
}

TEST(Catalogue, AnEmptyFolderLeavesOnlyCustomOrNothing)
{
    QTemporaryDir game;
    makeEntry(game.path(), "Data/nebula", true);
    makeEntry(game.path(), "Data/cloud", true);
    const Catalogue catalogue(game.path());
    EXPECT_EQ(catalogue.modelList(ItemKind::Nebula), QStringList{"Custom"});
    EXPECT_TRUE(catalogue.modelList(ItemKind::Cloud).isEmpty());
}

TEST(Catalogue, BackslashesInTheGameFolderAreSeparators)
{
    QTemporaryDir game;
    makeEntry(game.path(), "Data/pebble/pebble_x", true);
    QString withBackslash = game.path() + QStringLiteral("\\");
    const Catalogue catalogue(withBackslash);
    EXPECT_EQ(catalogue.modelList(ItemKind::Pebble), QStringList{"pebble_x"});
}

struct FindCase {
    ItemKind kind;
    const char* find;
    int expected;
};

TEST(Catalogue, FindTypeFromStringTakesTheLastEntryContainingTheName)
{
    const Catalogue catalogue;
    for (const FindCase& c : {FindCase{ItemKind::Ship, "HGN_SCOUT", 30}, FindCase{ItemKind::Ship, "hgn_assaultcorvette", 1},
                              FindCase{ItemKind::Megalith, "meg_bentus_ruin_1", 15}, FindCase{ItemKind::Ship, "nothing", -1},
                              FindCase{ItemKind::Ship, "", 77}, FindCase{ItemKind::Ship, "cUsToM", 77}}) {
        EXPECT_EQ(findTypeFromString(catalogue.modelList(c.kind), QString::fromLatin1(c.find)), c.expected) << c.find;
    }
}

TEST(Catalogue, TheReaderPrefersAnEqualName)
{
    const Catalogue catalogue;
    for (const FindCase& c : {FindCase{ItemKind::Ship, "hgn_assaultcorvette", 0}, FindCase{ItemKind::Megalith, "meg_bentus_ruin_1", 5},
                              FindCase{ItemKind::Megalith, "Meg_VeilDebris_Chunk4", 70},
                              FindCase{ItemKind::Ship, "assaultcorvette", 1}, FindCase{ItemKind::Ship, "zzz", -1}}) {
        EXPECT_EQ(findModelForRead(catalogue.modelList(c.kind), QString::fromLatin1(c.find)), c.expected) << c.find;
    }
}

TEST(Catalogue, ModelListsReadEachFolderOnce)
{
    QTemporaryDir game;
    makeEntry(game.path(), "Data/pebble/p1", true);
    const Catalogue catalogue(game.path());
    ModelLists lists(catalogue);
    EXPECT_EQ(lists.lookup(ItemKind::Pebble, QStringLiteral("p1")), 0);
    makeEntry(game.path(), "Data/pebble/p2", true); // a change during one load is not seen
    EXPECT_EQ(lists.list(ItemKind::Pebble).size(), 1);
    EXPECT_EQ(lists.entry(ItemKind::Pebble, -1), QString());
    EXPECT_EQ(lists.entry(ItemKind::Pebble, 5), QString());
}

} // namespace
