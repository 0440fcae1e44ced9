// Real maps written for the game (../shared/corpus/levels), run as the game runs them. Skipped when
// the folder is not beside the checkout.

#include "ScriptTest.h"

#include <gtest/gtest.h>

#include <QFileInfo>

using namespace starloom;
using namespace starloom::test;

namespace {

QString corpusFile(const char* name)
{
    const QString dir = corpusDir();
    return dir.isEmpty() ? QString() : dir + QLatin1Char('/') + QLatin1String(name);
}

ScriptRun runFile(const QString& path, const ScriptOptions& options = {})
{
    return runScript(readBytes(path), options, QFileInfo(path).fileName());
}

bool isCompiled(const QByteArray& bytes)
{
    return bytes.startsWith("\x1bLua");
}

TEST(Corpus, EveryTextMapRuns)
{
    const QStringList files = corpusFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "no corpus beside the checkout";
    int maps = 0;
    for (const QString& path : files) {
        const QByteArray bytes = readBytes(path);
        if (isCompiled(bytes))
            continue;
        ++maps;
        SCOPED_TRACE(QFileInfo(path).fileName().toStdString());
        const ScriptRun run = runFile(path);
        EXPECT_FALSE(run.result.error.startsWith(QLatin1String("Syntax error"))) << run.result.error.toStdString();
        // A map runs whole unless it needs an included file, which must then be named.
        bool missingInclude = false;
        bool otherProblem = false;
        for (const auto& [line, reason] : run.sink.problems) {
            if (reason.contains(QLatin1String("was not found")))
                missingInclude = missingInclude || line > 0;
            else if (!reason.startsWith(QLatin1String("print: ")))
                otherProblem = true;
        }
        if (!missingInclude) {
            EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
            EXPECT_FALSE(otherProblem) << run.sink.problemsText();
            EXPECT_GT(run.result.callsRecorded, 0);
        }
        EXPECT_EQ(missingInclude, bytes.contains("\ndofilepath(")) << run.sink.problemsText();
    }
    EXPECT_EQ(maps, 47);
}

// The game's own 2P_Jadeth as its archive holds it, compiled: what Lua 4.0 records of it (counted
// in record-level.lua's output): 2 start points, 27 asteroids, 299 pebbles and 7 level-wide
// settings, and the two players of its player table.
TEST(Corpus, CompiledMapOpens)
{
    const QString path = corpusFile("frozensnowy__Simplex__2p_jadeth_bytecode.level");
    if (!QFileInfo::exists(path))
        GTEST_SKIP() << "no corpus beside the checkout";
    const ScriptRun run = runFile(path);
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
    EXPECT_EQ(run.sink.problemsText(), "");
    int items = 0;
    for (const LevelCall& c : run.sink.calls)
        items += c.name.rfind("add", 0) == 0;
    EXPECT_EQ(items, 328);
    EXPECT_EQ(run.sink.count("addPoint"), 2);
    EXPECT_EQ(run.sink.count("addAsteroid"), 27);
    EXPECT_EQ(run.sink.count("addPebble"), 299);
    EXPECT_EQ(run.result.callsRecorded, 335);
    const LuaValue* players = run.sink.globalValue("player");
    ASSERT_NE(players, nullptr);
    EXPECT_NE(players->at(0), nullptr);
    EXPECT_NE(players->at(1), nullptr);
    EXPECT_EQ(players->at(2), nullptr);
    ASSERT_FALSE(run.sink.calls.empty());
    EXPECT_EQ(run.sink.calls.front().line, 10); // the first call's line in the map's source
}

// The calls of constant arguments that the runner reads itself are exactly the calls Lua makes
// when it evaluates them, and a map gives the same calls each time it is opened.
TEST(Corpus, ReadingLiteralCallsChangesNothing)
{
    const QStringList files = corpusFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "no corpus beside the checkout";
    ScriptOptions evaluated;
    evaluated.readLiteralCalls = false;
    for (const QString& path : files) {
        SCOPED_TRACE(QFileInfo(path).fileName().toStdString());
        const ScriptRun read = runFile(path);
        const ScriptRun lua = runFile(path, evaluated);
        EXPECT_EQ(read.sink.calls.size(), lua.sink.calls.size());
        EXPECT_TRUE(read.sink.callsText() == lua.sink.callsText());
        bool samePlaces = read.sink.calls.size() == lua.sink.calls.size();
        for (std::size_t i = 0; samePlaces && i < read.sink.calls.size(); ++i)
            samePlaces = read.sink.calls[i].line == lua.sink.calls[i].line
                && read.sink.calls[i].chunk == lua.sink.calls[i].chunk;
        EXPECT_TRUE(samePlaces);
        EXPECT_EQ(read.sink.problemsText(), lua.sink.problemsText());
        EXPECT_TRUE(runFile(path).sink.callsText() == read.sink.callsText()) << "a second run differs";
    }
}

// Counts derived by reading the scripts, not by running them.
TEST(Corpus, ScriptedMapsBuildWhatTheirScriptsSay)
{
    const QString arcade = corpusFile("Real-Gecko__hw2-complex__arcadefight.level");
    if (!QFileInfo::exists(arcade))
        GTEST_SKIP() << "no corpus beside the checkout";

    // arcadefight: DetermChunk adds 5 nebulae and the two world bounds, then calls ringAdd four
    // times with iMode 0 (no random placement): playerPositionRing has one entry of class Point
    // with number = 2 (2 addPoint, named "StartPos" .. startNum: StartPos0, StartPos1);
    // RU_16Latch_x3 one EasyPatch entry with number = 2 (easyPatch twice, 10 addAsteroid each);
    // RU_6Latch_x3, used twice, one EasyPatch1 entry with number = 2 (easyPatch1 twice per ring,
    // 6 addAsteroid each): 20 + 24 = 44 asteroids. NonDetermChunk makes 5 level-wide calls.
    // random: easyPatch has 9 lines of 3 random() calls, easyPatch1 5 lines of 3: 2 * 27 + 4 * 15.
    {
        const ScriptRun run = runFile(arcade);
        EXPECT_TRUE(run.result.ok);
        EXPECT_EQ(run.sink.count("addNebula"), 5);
        EXPECT_EQ(run.sink.count("addPoint"), 2);
        EXPECT_EQ(run.sink.count("addAsteroid"), 44);
        EXPECT_EQ(run.sink.count("setWorldBoundsInner") + run.sink.count("setWorldBoundsOuter"), 2);
        EXPECT_EQ(run.result.callsRecorded, 5 + 2 + 2 + 44 + 5);
        EXPECT_EQ(run.result.randomCalls, 2 * 27 + 4 * 15);
        std::vector<std::string> points;
        for (const LevelCall& c : run.sink.calls) {
            if (c.name == "addPoint")
                points.push_back(c.args[0].text + luaText(c.args[2]));
        }
        EXPECT_EQ(points, (std::vector<std::string>{"StartPos0{0, -90, 0}", "StartPos1{0, 90, 0}"}));
        const LuaValue* players = run.sink.globalValue("player");
        ASSERT_NE(players, nullptr);
        EXPECT_EQ(players->items.size(), 3u); // the list form, three entries
    }

    // lineoffire: 6 addPoint lines; NavLane(..., spacing 1488.09524, length 250000) loops while
    // i * spacing < length, i = 0 .. 167 (168 * 1488.09524 is just over 250000), 3 addSquadron per
    // turn, and is called twice: 1008, plus the "europa" squadron. Then num = random(80, 100)
    // asteroids. random: 3 per addPoint (18), 6 for europa, 1 for num, 4 per asteroid.
    {
        const ScriptRun run = runFile(corpusFile("frozensnowy__Simplex__lineoffire.level"));
        EXPECT_TRUE(run.result.ok);
        EXPECT_EQ(run.sink.count("addPoint"), 6);
        EXPECT_EQ(run.sink.count("addSquadron"), 2 * 168 * 3 + 1);
        const int asteroids = run.sink.count("addAsteroid");
        EXPECT_GE(asteroids, 80);
        EXPECT_LE(asteroids, 100);
        EXPECT_EQ(run.result.randomCalls, 18 + 6 + 1 + 4 * asteroids);
        EXPECT_EQ(run.result.callsRecorded, 6 + 1009 + asteroids + 1 + 5);
    }

    // 6p_Gehenna: the chunks replay data tables, one call per row: StartPoints has 6 rows (lines
    // 104-109), Squadrons 8 (136-143), DustClouds 147 (lines 148-322, 12 of them commented out),
    // Pebbles 572 (327-929, 2 commented out), Clouds 155 (934-1088); Asteroids is empty.
    // newseed and randomPatch come from data:scripts/MapFunctions.lua, which is not there.
    {
        const ScriptRun run = runFile(corpusFile("mjhorvath__Mikali-Map-Collection-for-HWRM__6p_Gehenna.level"));
        EXPECT_EQ(run.sink.count("addPoint"), 6);
        EXPECT_EQ(run.sink.count("addSquadron"), 8);
        EXPECT_EQ(run.sink.count("addDustCloud"), 147);
        EXPECT_EQ(run.sink.count("addPebble"), 572);
        EXPECT_EQ(run.sink.count("addCloud"), 155);
        EXPECT_EQ(run.sink.count("addAsteroid"), 0);
        EXPECT_TRUE(run.sink.hasProblem("\"data:scripts/MapFunctions.lua\" was not found"));
        EXPECT_TRUE(run.sink.hasProblem("\"randomPatch\" is not defined"));
    }

    // 4p_ironcurtain is made of plain calls: one per line, counted in the file (320 addAsteroid,
    // 543 addPebble, 32 addDustCloud, 4 addPoint).
    {
        const ScriptRun run = runFile(corpusFile("Stuart1998__Homeworld-Restored__4p_ironcurtain.level"));
        EXPECT_TRUE(run.result.ok);
        EXPECT_EQ(run.sink.count("addAsteroid"), 320);
        EXPECT_EQ(run.sink.count("addPebble"), 543);
        EXPECT_EQ(run.sink.count("addDustCloud"), 32);
        EXPECT_EQ(run.sink.count("addPoint"), 4);
        EXPECT_EQ(run.result.randomCalls, 0);
    }
}

} // namespace
