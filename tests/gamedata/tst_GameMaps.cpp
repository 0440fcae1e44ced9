// The game's own multiplayer maps, listed from its loose data and archives.

#include "gamedata/GameMaps.h"

#include "BigArchiveWriter.h"
#include "MadeUpGame.h"
#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace starloom;
using namespace starloom::test;

namespace {

class GameMaps : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString data() const { return dir.filePath(QStringLiteral("game/Data")); }
    QString archive() const { return data() + QStringLiteral("/Homeworld2.big"); }
    void SetUp() override
    {
        const QString why = writeMadeUpGame(dir.filePath(QStringLiteral("game")));
        if (!why.isEmpty())
            std::printf("The archive's maps are text: %s\n", qPrintable(why));
    }
};

std::string row(const GameMap& m)
{
    return QStringLiteral("%1 | %2 | %3 | %4").arg(m.path).arg(m.players).arg(m.description, m.source).toStdString();
}

TEST_F(GameMaps, LooseMapsComeFirstAndHideTheArchivedOnesOfTheSamePath)
{
    const GameMapList list = listGameMaps({data()}, {archive()});
    std::vector<std::string> rows;
    for (const GameMap& m : list.maps)
        rows.push_back(row(m));
    const std::vector<std::string> expected = {
        row({"data:LevelData/Multiplayer/Deathmatch/2P_Loose.level", 2, "Loose pair", data(), {}}),
        row({"data:LevelData/Multiplayer/Deathmatch/Shadow.level", 3, "Loose shadow", data(), {}}),
        // the archive's table order: a folder's files before its subfolders'
        row({"data:leveldata/multiplayer/broken.level", 5, "Broken", archive(), {}}),
        row({"data:leveldata/multiplayer/deathmatch/4p_compiled.level", 4, "Compiled four", archive(), {}}),
    };
    EXPECT_EQ(rows, expected);
    EXPECT_TRUE(list.problems.isEmpty()) << list.problems.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(list.leftOut, 0);
}

TEST_F(GameMaps, AMapThatStopsWithAnErrorKeepsWhatItSetAndSaysWhy)
{
    const GameMapList list = listGameMaps({data()}, {archive()});
    ASSERT_EQ(list.maps.size(), 4u);
    EXPECT_EQ(list.maps[2].players, 5);
    EXPECT_EQ(list.maps[2].description, QStringLiteral("Broken"));
    EXPECT_EQ(list.maps[2].problem.startsWith(QLatin1String("line 4: ")), true) << list.maps[2].problem.toStdString();
    for (const std::size_t i : {0u, 1u, 3u})
        EXPECT_EQ(list.maps[i].problem.toStdString(), "") << i;
}

TEST_F(GameMaps, ArchivesComeInTheOrderGivenAndTheFirstHidesTheLater)
{
    const QString mod = dir.filePath(QStringLiteral("mod.big"));
    writeBigArchiveFile(mod,
        {{"LevelData\\Multiplayer\\Broken.level", "maxPlayers = 8\nlevelDesc = \"Mended\"\n"},
            {"LevelData\\Multiplayer\\Extra.Level", "maxPlayers = 2.4\n"}});
    const GameMapList list = listGameMaps({}, {mod, archive()});
    std::vector<std::string> rows;
    for (const GameMap& m : list.maps)
        rows.push_back(row(m));
    const std::vector<std::string> expected = {
        row({"data:LevelData/Multiplayer/Broken.level", 8, "Mended", mod, {}}),
        row({"data:LevelData/Multiplayer/Extra.Level", 2, "", mod, {}}),
        row({"data:leveldata/multiplayer/deathmatch/4p_compiled.level", 4, "Compiled four", archive(), {}}),
        row({"data:leveldata/multiplayer/deathmatch/shadow.level", 6, "Archived shadow", archive(), {}}),
    };
    EXPECT_EQ(rows, expected);
}

TEST_F(GameMaps, PastTheLimitMapsAreCountedNotListed)
{
    GameMapLimits limits;
    limits.maxMaps = 2;
    const GameMapList list = listGameMaps({data()}, {archive()}, limits);
    ASSERT_EQ(list.maps.size(), 2u);
    EXPECT_EQ(list.leftOut, 2);
    EXPECT_EQ(list.problems, QStringList{QStringLiteral("2 more maps were not listed: at most 2 are")});
}

TEST_F(GameMaps, AnEndlessMapStopsAtItsStepLimit)
{
    writeBytes(data() + QStringLiteral("/LevelData/Multiplayer/Deathmatch/2P_Loose.level"),
        "maxPlayers = 2\nwhile 1 do end\n");
    GameMapLimits limits;
    limits.stepsPerMap = 100'000;
    const GameMapList list = listGameMaps({data()}, {}, limits);
    ASSERT_EQ(list.maps.size(), 2u);
    EXPECT_EQ(list.maps[0].players, 2);
    EXPECT_TRUE(list.maps[0].problem.contains(QLatin1String("steps"))) << list.maps[0].problem.toStdString();
}

TEST_F(GameMaps, ADamagedArchiveIsAProblemAndTheRestIsListed)
{
    const QString bad = dir.filePath(QStringLiteral("bad.big"));
    writeBytes(bad, "not an archive");
    const GameMapList list = listGameMaps({data()}, {bad});
    EXPECT_EQ(list.maps.size(), 2u);
    ASSERT_EQ(list.problems.size(), 1);
    EXPECT_TRUE(list.problems[0].contains(bad)) << list.problems[0].toStdString();
}

TEST(GameMapPath, DataPathsAreNamedByTheirPrefixInAnyLetterCase)
{
    EXPECT_TRUE(isDataPath(QStringLiteral("data:LevelData/x.level")));
    EXPECT_TRUE(isDataPath(QStringLiteral("DATA:x")));
    EXPECT_FALSE(isDataPath(QStringLiteral("/home/data:x.level")));
    EXPECT_FALSE(isDataPath(QStringLiteral("x.level")));
}

} // namespace
