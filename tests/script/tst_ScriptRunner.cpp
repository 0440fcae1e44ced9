// The runner as the editor uses it: the parts of a level, what they record and where, errors,
// globals, random numbers and included files.

#include "ScriptTest.h"

#include "script/IncludeReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <thread>

using namespace starloom;
using namespace starloom::test;

namespace {

const char* chunkName(Chunk c)
{
    switch (c) {
    case Chunk::Determ:
        return "D";
    case Chunk::NonDeterm:
        return "N";
    case Chunk::Other:
        return "O";
    }
    return "?";
}

// "D3 addX; N5 addY": part, line and name of each call.
std::string placesOf(const Recorded& sink)
{
    std::string text;
    for (const LevelCall& c : sink.calls)
        text += (text.empty() ? "" : "; ") + std::string(chunkName(c.chunk)) + std::to_string(c.line) + " " + c.name;
    return text;
}

TEST(Runner, CallsCarryWhereTheyWereMade)
{
    const ScriptRun run = runScript("function helper(x)\n  addHelped(x)\nend\n"
                                    "function DetermChunk()\n  addA(1)\n  helper(2)\nend\n"
                                    "function NonDetermChunk()\n  local n = 3\n  addB(n)\n  helper(4)\nend\n"
                                    "addMain(0)\nhelper(5)\n");
    EXPECT_TRUE(run.result.ok);
    EXPECT_EQ(placesOf(run.sink), "O13 addMain; O2 addHelped; D5 addA; D2 addHelped; N10 addB; N2 addHelped");
}

TEST(Runner, AnErrorStopsOnlyItsPart)
{
    const ScriptRun run = runScript("levelDesc = \"kept\"\n"
                                    "function DetermChunk()\n  addA(1)\n  local t = nil\n  addA(t.x)\n  addA(3)\nend\n"
                                    "function NonDetermChunk()\n  addB(1)\n  error(\"second\")\nend\n");
    EXPECT_FALSE(run.result.ok);
    EXPECT_EQ(run.sink.callsText(), "addA(1); addB(1)");
    EXPECT_EQ(run.result.errorLine, 5);
    EXPECT_TRUE(run.result.error.startsWith(QLatin1String("DetermChunk stopped: attempt to index a nil value")))
        << run.result.error.toStdString();
    ASSERT_EQ(run.sink.problems.size(), 2u);
    EXPECT_THAT(run.sink.problems[1], testing::Pair(10, QStringLiteral("NonDetermChunk stopped: second")));
    ASSERT_NE(run.sink.globalValue("levelDesc"), nullptr);
    EXPECT_EQ(run.sink.globalValue("levelDesc")->text, "kept");
}

TEST(Runner, AnErrorInTheMainChunkStillRunsTheParts)
{
    const ScriptRun run =
        runScript("function DetermChunk() addA(1) end\nx = nil + 1\nfunction NonDetermChunk() addB(1) end");
    EXPECT_FALSE(run.result.ok);
    EXPECT_EQ(run.result.errorLine, 2);
    EXPECT_EQ(run.sink.callsText(), "addA(1)"); // NonDetermChunk was never defined
}

TEST(Runner, ReportsTheLevelsGlobals)
{
    const ScriptRun run =
        runScript("levelDesc = \"Map\";\nmaxPlayers = 2;\nplayer = {}\n"
                  "player[0] = {id = 0, name = \"A\", resources = 1500, raceID = 1, startPos = 1}\n"
                  "player[1] = {startPos = 1, raceName = \"Vaygr\", id = 1, name = \"B\"}\nother = 5");
    ASSERT_EQ(run.sink.globals.size(), 3u);
    EXPECT_EQ(run.sink.globals[0].first, "levelDesc");
    EXPECT_EQ(luaText(*run.sink.globalValue("maxPlayers")), "2");
    EXPECT_EQ(luaText(*run.sink.globalValue("player")),
        "{{id = 1, name = \"B\", raceName = \"Vaygr\", startPos = 1}; "
        "[0] = {id = 0, name = \"A\", resources = 1500, raceID = 1, startPos = 1}}");

    const ScriptRun list = runScript("player = {\n {id = 0, name = \"A\"},\n {id = 1, name = \"B\"},\n}");
    ASSERT_EQ(list.sink.globals.size(), 1u); // levelDesc and maxPlayers are nil
    EXPECT_EQ(luaText(list.sink.globals[0].second), "{{id = 0, name = \"A\"}, {id = 1, name = \"B\"}}");
}

TEST(Runner, LiteralCallsAreTheCallsLuaWouldMake)
{
    // The runner reads a call with constant arguments itself; Lua evaluating the same calls must
    // give the same calls, parts and lines.
    const QByteArray script =
        "function addOut(x, y) addOwn(x, y) end\nfunction DetermChunk()\n"
        "  addA(\"a\", {1, -2, 3e1}, {x = 1, [\"y\"] = 2}, nil)\n  addOut(1,\n {2})\n"
        "  addB \"s\"\n  addC{1}\n  addD(1)(2)\nend\nfunction NonDetermChunk() addE(-0.5, {{}, {n = {1}}}) end\n";
    ScriptOptions evaluated;
    evaluated.readLiteralCalls = false;
    const ScriptRun read = runScript(script);
    const ScriptRun lua = runScript(script, evaluated);
    EXPECT_EQ(read.sink.callsText(), lua.sink.callsText());
    EXPECT_EQ(placesOf(read.sink), placesOf(lua.sink));
    EXPECT_EQ(placesOf(read.sink), "D3 addA; D1 addOwn; D6 addB; D7 addC; D8 addD; N10 addE");
    EXPECT_EQ(read.sink.problemsText(), lua.sink.problemsText());
}

TEST(Runner, RandomNumbersFollowTheFile)
{
    const QByteArray script = "for i = 1, 5 do addR(random(), random(10), random(3, 4)) end";
    const ScriptRun first = runScript(script);
    const ScriptRun again = runScript(script);
    const ScriptRun other = runScript(script + "\n-- another file");
    EXPECT_EQ(first.result.randomCalls, 15);
    EXPECT_EQ(first.sink.callsText(), again.sink.callsText());
    EXPECT_NE(first.sink.callsText(), other.sink.callsText());
    for (const LevelCall& c : first.sink.calls) {
        EXPECT_GE(c.args[0].number, 0.0);
        EXPECT_LT(c.args[0].number, 1.0);
        EXPECT_EQ(c.args[1].number, std::floor(c.args[1].number));
        EXPECT_GE(c.args[1].number, 1.0);
        EXPECT_LE(c.args[1].number, 10.0);
        EXPECT_TRUE(c.args[2].number == 3.0 || c.args[2].number == 4.0);
    }

    // randomseed makes the numbers the script's own: the same in any file.
    const ScriptRun seeded = runScript("randomseed(42) addR(random(1000), random(1000))");
    const ScriptRun seededOther = runScript("-- other\nrandomseed(42) addR(random(1000), random(1000))");
    EXPECT_EQ(seeded.sink.callsText(), seededOther.sink.callsText());
    // The C runtime's rand() seeded with 42 gives 175 and 400 first.
    EXPECT_EQ(runScript("randomseed(42) addR(random(32767), random(32767))").sink.callsText(), "addR(176, 401)");

    EXPECT_EQ(runScript("addR(1)").result.randomCalls, 0);
}

TEST(Runner, ProgressIsReported)
{
    ScriptOptions options;
    std::vector<qint64> reports;
    options.progress = [&](qint64 calls) { reports.push_back(calls); };
    const ScriptRun run = runScript("for i = 1, 300000 do x = i * 2 end for i = 1, 10 do addA(i) end", options);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports.back(), 10);
    EXPECT_EQ(run.result.callsRecorded, 10);
}

TEST(Runner, AByteOrderMarkIsSkipped)
{
    const ScriptRun run = runScript("\xEF\xBB\xBF"
                                    "addA(1)");
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
    EXPECT_EQ(run.sink.callsText(), "addA(1)");
}

TEST(Runner, RunsShareNothingAcrossThreads)
{
    const QByteArray script = "t = {} for i = 1, 2000 do t[i] = random(100) end sort(t)\n"
                              "function DetermChunk() for i = 1, 200 do addA(t[i], \"n\" .. i / 2) end end";
    const std::string expected = runScript(script).sink.callsText();
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = runScript(script).sink.callsText(); });
    for (std::thread& t : threads)
        t.join();
    for (const std::string& r : results)
        EXPECT_EQ(r, expected);
}

class Includes : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_game = m_dir.filePath(QStringLiteral("Game/Data"));
        m_mod = m_dir.filePath(QStringLiteral("Mod/data"));
        makeFile(m_game, QStringLiteral("Scripts/MapFunctions.lua"),
            "function ringAdd(n) for i = 1, n do addRing(i) end end\n"
            "MAPFUNCTIONS = \"game\"");
        makeFile(m_game, QStringLiteral("Scripts/broken.lua"),
            "x = 1\nfunction f() addInclude(1)\n  local t = nil\n  y = t.z\nend\nf()");
        makeFile(m_game, QStringLiteral("LevelData/Multiplayer/Common.lua"), "function common() addCommon() end");
        makeFile(m_mod, QStringLiteral("scripts/mapfunctions.lua"),
            "function ringAdd(n) addModRing(n) end\nMAPFUNCTIONS = \"mod\"");
        makeFile(m_mod, QStringLiteral("scripts/only_in_mod.lua"), "ONLYMOD = 1");
    }
    void makeFile(const QString& root, const QString& path, const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(root + QLatin1Char('/') + path).path());
        writeBytes(root + QLatin1Char('/') + path, text);
    }
    ScriptRun run(const QByteArray& script, const QStringList& folders)
    {
        ScriptOptions options;
        options.readInclude = includeReaderForFolders(folders);
        return runScript(script, options);
    }

    QTemporaryDir m_dir;
    QString m_game;
    QString m_mod;
};

TEST_F(Includes, ResolveWithoutLetterCase)
{
    const ScriptRun r = run("dofilepath(\"data:scripts/mapfunctions.lua\")\n"
                            "dofilepath(\"Data:LEVELDATA\\\\multiplayer\\\\common.LUA\")\n"
                            "function DetermChunk() ringAdd(2) common() end",
        {m_game});
    EXPECT_TRUE(r.result.ok) << r.result.error.toStdString() << r.sink.problemsText();
    EXPECT_EQ(placesOf(r.sink), "D3 addRing; D3 addRing; D3 addCommon");
    EXPECT_TRUE(r.sink.problems.empty()) << r.sink.problemsText();
}

TEST_F(Includes, TheFirstFolderThatHasTheFileWins)
{
    const ScriptRun r =
        run("dofilepath(\"data:scripts/MapFunctions.lua\")\ndofilepath(\"data:scripts/only_in_mod.lua\")\n"
            "addWhich(MAPFUNCTIONS, ONLYMOD)",
            {m_mod, m_game});
    EXPECT_EQ(r.sink.callsText(), "addWhich(\"mod\", 1)");
    const ScriptRun game =
        run("dofilepath(\"data:scripts/MapFunctions.lua\")\naddWhich(MAPFUNCTIONS)", {m_game, m_mod});
    EXPECT_EQ(game.sink.callsText(), "addWhich(\"game\")");
}

TEST_F(Includes, AMissingFileIsAProblemNotAnError)
{
    const ScriptRun r = run("addA(1)\ndofilepath(\"data:scripts/missing.lua\")\nringAdd(3)\naddA(2)", {m_game});
    EXPECT_TRUE(r.result.ok);
    EXPECT_EQ(r.sink.callsText(), "addA(1); addA(2)");
    ASSERT_EQ(r.sink.problems.size(), 2u) << r.sink.problemsText();
    EXPECT_EQ(r.sink.problems[0].first, 2);
    EXPECT_TRUE(r.sink.problems[0].second.contains(QLatin1String("\"data:scripts/missing.lua\" was not found")));
    EXPECT_TRUE(r.sink.problems[1].second.contains(QLatin1String("\"ringAdd\" is not defined")));

    const ScriptRun none = runScript("dofilepath(\"data:scripts/MapFunctions.lua\")"); // no reader at all
    EXPECT_TRUE(none.sink.hasProblem("was not found"));
}

TEST_F(Includes, AnErrorAfterMissingIncludesNamesThem)
{
    // A table the missing files would have filled: the loop over it stops the part.
    const ScriptRun r = run("dofilepath(\"data:scripts/missing.lua\")\ndofilepath(\"data:scripts/gone.lua\")\n"
                            "function NonDetermChunk()\n  for i, p in POSITIONS do addA(p) end\nend\n",
        {m_game});
    EXPECT_FALSE(r.result.ok);
    EXPECT_EQ(r.result.errorLine, 4);
    EXPECT_TRUE(r.result.error.startsWith(QLatin1String("NonDetermChunk stopped: "))) << r.result.error.toStdString();
    EXPECT_TRUE(r.result.error.endsWith(QLatin1String(" (the included files \"data:scripts/missing.lua\" and "
                                                      "\"data:scripts/gone.lua\" were not found, which may be why)")))
        << r.result.error.toStdString();
    // Without a missing include the error is the script's alone.
    const ScriptRun found = run("dofilepath(\"data:scripts/MapFunctions.lua\")\n"
                                "function NonDetermChunk()\n  for i, p in POSITIONS do addA(p) end\nend\n",
        {m_game});
    EXPECT_FALSE(found.result.error.contains(QLatin1String("include"))) << found.result.error.toStdString();
}

TEST_F(Includes, ErrorsInAnIncludedFileSayWhereTheyHappened)
{
    const ScriptRun r = run("addA(1)\n\ndofilepath(\"data:scripts/broken.lua\")\naddA(2)", {m_game});
    EXPECT_FALSE(r.result.ok);
    EXPECT_EQ(placesOf(r.sink), "O1 addA; O3 addInclude");
    EXPECT_EQ(r.result.errorLine, 3);
    EXPECT_TRUE(r.result.error.contains(QLatin1String("data:scripts/broken.lua:4: attempt to index a nil value")))
        << r.result.error.toStdString();

    makeFile(m_game, QStringLiteral("scripts/syntax.lua"), "x = = 1");
    const ScriptRun syntax = run("dofilepath(\"data:scripts/syntax.lua\")", {m_game});
    EXPECT_TRUE(syntax.result.error.contains(QLatin1String("data:scripts/syntax.lua:1:")))
        << syntax.result.error.toStdString();
}

TEST_F(Includes, PathsAreResolvedInsideTheFolder)
{
    struct PathCase {
        const char* path;
        const char* found; // below m_game, "" for none
    };
    const PathCase cases[] = {
        {"data:scripts/mapfunctions.lua", "Scripts/MapFunctions.lua"},
        {"DATA:/Scripts//./MapFunctions.lua", "Scripts/MapFunctions.lua"},
        {"scripts\\mapfunctions.lua", "Scripts/MapFunctions.lua"},
        {"data:scripts", ""},
        {"data:", ""},
        {"data:scripts/../Scripts/MapFunctions.lua", ""},
        {"/Scripts/MapFunctions.lua", ""},
        {"player:scripts/MapFunctions.lua", ""},
        {"data:scripts/nothing.lua", ""},
    };
    for (const PathCase& c : cases) {
        const QString found = findIncludeBelow(m_game, QString::fromLatin1(c.path));
        const QString expected = *c.found == '\0'
            ? QString()
            : QFileInfo(m_game + QLatin1Char('/') + QLatin1String(c.found)).canonicalFilePath();
        EXPECT_EQ(found, expected) << c.path;
    }
}

} // namespace
