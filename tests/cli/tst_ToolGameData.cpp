// The tool's game data: model lists from a game, mods and archives, and the games found.

#include "BigArchiveWriter.h"
#include "MadeUpGame.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace starloom;
using namespace starloom::test;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out, err;
};

// Runs the tool with a home folder of its own, so that nothing installed on this machine is found.
class ToolGameData : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    ToolRun run(const QStringList& args) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"STARLOOM_GAME_DIR", "WINEPREFIX", "XDG_CONFIG_HOME"})
            env.remove(QString::fromLatin1(name));
        env.insert("HOME", path("home"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(STARLOOM_CLI_PATH), args);
        p.waitForFinished(60000);
        return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
    }
    void SetUp() override { QDir().mkpath(path("home")); }
};

TEST_F(ToolGameData, AGameFolderThatHoldsNoGameGivesTheBuiltInNamesWithAMessage)
{
    makeEntry(dir.path(), "nodata/readme.txt", false);
    writeBytes(path("in.level"), "function DetermChunk()\n  addPebble(\"pebble_2\", {7, 8, 9}, 0, 0, 0)\nend\n");
    const std::pair<QString, QString> cases[] = {
        {path("missing"),
            "starloom-level: The game folder " + path("missing")
                + " does not exist (--game-dir); the built-in model names are used\n"},
        {path("nodata"),
            "starloom-level: The game folder " + path("nodata")
                + " holds no Data folder (--game-dir); the built-in model names are used\n"},
    };
    for (const auto& [gameDir, message] : cases) {
        const ToolRun r = run({"--game-dir", gameDir, "stats", path("in.level")});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, message);
        EXPECT_EQ(r.out.contains("Pebble 1"), true);
        EXPECT_EQ(
            run({"models", "Pebble", "--game-dir=" + gameDir}).out, QStringLiteral("pebble_0\npebble_1\npebble_2\n"));
    }
}

TEST_F(ToolGameData, ModelsPrintsOneNameALineWithTheirSourcesOnStandardError)
{
    makeEntry(dir.path(), "game/Data/ship/hgn_loose/", true);
    writeBigArchiveFile(
        path("game/Data/Homeworld2.big"), {{"ship\\hgn_scout\\a"}, {"ship\\HGN_LOOSE\\a"}, {"ship\\meg_tanis\\a"}});
    makeEntry(dir.path(), "mod/ship/mod_ship/", true);
    const ToolRun ships = run({"models", "ship", "--game-dir", path("game"), "--data-dir", path("mod")});
    EXPECT_EQ(ships.out, QStringLiteral("hgn_loose\nmod_ship\nhgn_scout\nCustom\n"));
    EXPECT_EQ(ships.err,
        "Ship: 1 from folder " + path("game/Data") + ", 1 from folder " + path("mod") + ", 1 from archive "
            + path("game/Data/Homeworld2.big") + ", \"Custom\" last\n");
    EXPECT_EQ(run({"models", "Megalith", "--game-dir", path("game")}).out, QStringLiteral("meg_tanis\n"));
    EXPECT_EQ(run({"models", "Cloud"}).err, QStringLiteral("Cloud: the 4 built-in names\n"));
    EXPECT_EQ(run({"models", "PlayerStart"}).out.count(u'\n'), 8);
    for (const QStringList& bad : {QStringList{"models"}, QStringList{"models", "Frigate"},
             QStringList{"--game", "hw3", "models", "Ship"}, QStringList{"models", "Ship", "--data-dir"}})
        EXPECT_EQ(run(bad).exitCode, 2) << bad.join(u' ').toStdString();
}

TEST_F(ToolGameData, AListPastTheSixteenBitIndexIsCutWithAMessage)
{
    std::vector<BigEntry> entries;
    for (int i = 0; i < 40000; ++i)
        entries.push_back({QStringLiteral("ship\\s%1\\").arg(i)});
    writeBigArchiveFile(path("huge.big"), entries);
    const ToolRun r = run({"--data-dir", path("huge.big"), "models", "Ship"});
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), qsizetype(32767));
    EXPECT_EQ(lines.last(), QStringLiteral("Custom"));
    EXPECT_TRUE(r.err.contains(
        "The Ship list holds more names than the editor can number: the first 32766 are kept and 7234 left out"))
        << r.err.toStdString();
}

TEST_F(ToolGameData, WhereNamesEveryGameItFinds)
{
    EXPECT_EQ(run({"where"}).exitCode, 1);
    EXPECT_EQ(run({"where"}).err, QStringLiteral("starloom-level: no game was found\n"));
    const QString steam = path("home/.local/share/Steam");
    makeEntry(steam, "steamapps/common/Homeworld/Homeworld2Classic/Data/", true);
    writeBigArchiveFile(steam + "/steamapps/common/Homeworld/HomeworldRM/Data/HW2Ships.big", {{"ship\\hgn_rm\\a"}});
    writeBytes(steam + "/steamapps/appmanifest_244160.acf",
        "\"AppState\"\n{\n  \"appid\" \"244160\"\n  \"installdir\" \"Homeworld\"\n}\n");
    makeEntry(dir.path(), "cd/Data/", true);
    makeEntry(dir.path(), "home/.config/starloom/", true);
    writeBytes(path("home/.config/starloom/starloom.conf"), "[Settings]\nGameFolder=" + path("cd").toUtf8() + "\n");
    const QString common = QFileInfo(steam).canonicalFilePath() + "/steamapps/common/Homeworld";
    const QString how = "Steam (" + steam + "), Steam library " + QFileInfo(steam).canonicalFilePath();
    const ToolRun r = run({"where"});
    EXPECT_EQ(r.out.toStdString(),
        ("classic\t" + path("cd") + "\tthe editor's Preferences dialog\nclassic\t" + common + "/Homeworld2Classic\t"
            + how + "\nremastered\t" + common + "/HomeworldRM\t" + how + "\n")
            .toStdString());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(run({"--game", "remastered", "models", "Ship"}).out.toStdString(), "hgn_rm\nCustom\n");
    EXPECT_EQ(run({"--game", "classic", "models", "Ship"}).out.count(u'\n'), 78)
        << "the editor's choice, with no ship folder";
}

} // namespace

namespace {

class ToolGameMaps : public ToolGameData {
protected:
    void SetUp() override
    {
        ToolGameData::SetUp();
        const QString why = writeMadeUpGame(path("game"));
        if (!why.isEmpty())
            std::printf("The archive's maps are text: %s\n", qPrintable(why));
    }
};

TEST_F(ToolGameMaps, MapsPrintsPathPlayersDescriptionAndSourceOneALine)
{
    const ToolRun r = run({"maps", "--game-dir", path("game")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString data = path("game/Data");
    const QString big = path("game/Data/Homeworld2.big");
    EXPECT_EQ(r.out,
        "data:LevelData/Multiplayer/Deathmatch/2P_Loose.level\t2\tLoose pair\t" + data + "\n"
            + "data:LevelData/Multiplayer/Deathmatch/Shadow.level\t3\tLoose shadow\t" + data + "\n"
            + "data:leveldata/multiplayer/broken.level\t5\tBroken\t" + big + "\n"
            + "data:leveldata/multiplayer/deathmatch/4p_compiled.level\t4\tCompiled four\t" + big + "\n");
    EXPECT_TRUE(r.err.startsWith("starloom-level: data:leveldata/multiplayer/broken.level: line 4: "))
        << r.err.toStdString();
}

TEST_F(ToolGameMaps, MapsWithoutAGameSaysSoAndExits1)
{
    const ToolRun r = run({"maps"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, QString());
    EXPECT_TRUE(r.err.contains("no game is in use")) << r.err.toStdString();
    EXPECT_EQ(run({"maps", "extra", "--game-dir", path("game")}).exitCode, 2);
}

TEST_F(ToolGameMaps, StatsReadsAMapOfTheGamesDataByItsDataName)
{
    const ToolRun loose =
        run({"stats", "--game-dir", path("game"), "data:levelDATA/multiplayer/deathmatch/2p_loose.level"});
    EXPECT_EQ(loose.exitCode, 0) << loose.err.toStdString();
    EXPECT_TRUE(loose.out.contains("PlayerStart 2\n")) << loose.out.toStdString();
    const ToolRun compiled = run({"--run-script", "stats", "--game-dir", path("game"),
        "data:LevelData/Multiplayer/Deathmatch/4p_compiled.level"});
    EXPECT_EQ(compiled.exitCode, 0) << compiled.err.toStdString();
    EXPECT_TRUE(compiled.out.contains(QStringLiteral("PlayerStart %1\n").arg(madeUpCompiledStartPoints)))
        << compiled.out.toStdString();
}

TEST_F(ToolGameMaps, AnUnknownDataNameIsAnErrorAsForAMissingFile)
{
    const QString missing = "data:LevelData/Multiplayer/none.level";
    const ToolRun r = run({"stats", "--game-dir", path("game"), missing});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "starloom-level: Cannot open " + missing + ": there is no such file in the game's data\n");
    const ToolRun noGame = run({"check", missing});
    EXPECT_EQ(noGame.exitCode, 2);
    EXPECT_TRUE(noGame.err.contains("no game is in use")) << noGame.err.toStdString();
    EXPECT_EQ(run({"rewrite", "--game-dir", path("game"), "data:LevelData/Multiplayer/Deathmatch/Shadow.level",
                      "data:LevelData/out.level"})
                  .exitCode,
        2);
}

} // namespace
