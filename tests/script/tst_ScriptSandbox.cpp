// A level script cannot reach the program or the machine, and a hostile one ends within the limits
// with a message.

#include "ScriptTest.h"

#include <gtest/gtest.h>

#include "script/IncludeReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>

using namespace starloom;
using namespace starloom::test;

namespace {

TEST(Sandbox, OffersNothingButLua4sLibrary)
{
    const char* absent[] = {"io", "os", "package", "require", "debug", "load", "loadstring", "loadfile", "dofile",
        "string", "math", "table", "coroutine", "utf8", "collectgarbage", "setmetatable", "getmetatable", "rawlen",
        "rawequal", "pcall", "xpcall", "select", "ipairs", "pairs", "unpack", "newproxy", "_G", "_ENV", "arg", "gcinfo",
        "settagmethod"};
    QByteArray script;
    for (const char* name : absent)
        script += QByteArray("addOut(\"") + name + "\", type(" + name + "))\n";
    const ScriptRun run = runScript(script);
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
    ASSERT_EQ(run.sink.calls.size(), std::size(absent));
    for (const LevelCall& c : run.sink.calls)
        EXPECT_EQ(luaText(c.args[1]), "\"nil\"") << c.args[0].text;
}

struct HostileCase {
    const char* name;
    const char* script;
    const char* message; // part of the message that stops it; "a|b": either
};

// Each ends within a fraction of a second under smallLimits() (32 MB, 5 million steps).
const HostileCase hostileCases[] = {
    {"endless loop", "while 1 do end", "ran for more than 5 million steps"},
    {"endless loop run by dostring", "dostring(\"while 1 do end\")", "ran for more than 5 million steps"},
    {"memory used up by dostring", "dostring(\"s = 'x' while 1 do s = s .. s end\")", "memory|ran for more than"},
    {"endless recursion in a tail call", "function f() return f() end f()", "ran for more than"},
    {"recursion a million deep", "function f(n) if n == 0 then return 0 end return 1 + f(n - 1) end x = f(1000000)",
        "stack overflow|memory|ran for more than"},
    {"recursion through the library", "function f() foreach({1}, f) end f()", "stack overflow"},
    {"a string of a gigabyte", "x = strrep(\"x\", 1073741824)", "memory limit"},
    {"strings doubled until memory ends", "s = \"x\" while 1 do s = s .. s end", "memory|ran for more than"},
    {"a table of 10^8 entries", "t = {} for i = 1, 100000000 do t[i] = i end", "memory|ran for more than"},
    {"a table of 10^8 entries at once", "t = {} t[100000000] = 1 tinsert(t, 1, 2)", "ran for more than"},
    {"tinsert far below the list", "t = {1, 2} tinsert(t, -2147483648, 0)", "ran for more than"},
    {"tremove far below the list", "t = {1, 2} x = tremove(t, -2147483648)", "ran for more than"},
    {"a table grown by tinsert", "t = {} while 1 do tinsert(t, {}) end", "memory|ran for more than"},
    // The bytes kept for the calls count as steps too.
    {"recorded calls until memory ends", "s = strrep(\"x\", 100000) while 1 do addOut(s, s, s) end",
        "memory|ran for more than"},
    {"os.execute", "os.execute(\"touch /tmp/starloom-hacked\")", "attempt to index a nil value (global 'os')"},
    {"io.open", "f = io.open(\"/etc/passwd\")", "attempt to index a nil value (global 'io')"},
    {"a pattern that backtracks", "x = strfind(strrep(\"a\", 20000), \".-.-.-.-b\")", "ran for more than"},
    {"gsub growing the string", "s = strrep(\"x\", 1000) while 1 do s = gsub(s, \"x\", \"xx\") end",
        "memory|ran for more than"},
    {"sorting forever", "t = {} for i = 1, 50000 do t[i] = mod(i * 7919, 100003) end while 1 do sort(t) end",
        "ran for more than"},
    {"catching the limit with call", "while 1 do call(function() while 1 do end end, {}, \"x\") end",
        "ran for more than"},
    // Work done in C between two counts of the hook: each byte a string takes is counted too.
    {"a string grown a piece at a time", "s = \"\" for i = 1, 1000000 do s = s .. \"xxxxxxxxxx\" end",
        "ran for more than"},
    {"a large string changed over and over", "s = strrep(\"x\", 1000000) while 1 do t = strupper(s) end",
        "ran for more than"},
    {"a large string formatted over and over", "s = strrep(\"x\", 1000000) while 1 do t = format(\"%s\", s) end",
        "ran for more than"},
    {"a table that holds itself", "t = {} t.t = t addOut(t) error(\"after\")", "after"},
};

class Hostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, EndsWithAMessage)
{
    const HostileCase& c = GetParam();
    const ScriptRun run = runScript(QByteArray("\n") + c.script, smallLimits());
    EXPECT_FALSE(run.result.ok);
    EXPECT_FALSE(run.result.cancelled);
    bool named = false;
    for (const QString& part : QString::fromLatin1(c.message).split(QLatin1Char('|')))
        named = named || run.result.error.contains(part);
    EXPECT_TRUE(named) << run.result.error.toStdString();
    EXPECT_TRUE(run.result.errorLine == 2 || run.result.errorLine == 0) << run.result.errorLine;
    EXPECT_LE(run.result.peakMemory, smallLimits().memoryLimit);
}

INSTANTIATE_TEST_SUITE_P(Script, Hostile, ::testing::ValuesIn(hostileCases), CaseName());

TEST(Sandbox, LoadingCodeIsNotDefined)
{
    const ScriptRun run =
        runScript("f = load(\"addOut(1)\")\ng = dofile(\"/etc/passwd\")\nh = loadstring(\"addOut(2)\")");
    EXPECT_TRUE(run.result.ok);
    EXPECT_TRUE(run.sink.calls.empty());
    EXPECT_EQ(run.sink.problems.size(), 3u) << run.sink.problemsText();
    EXPECT_TRUE(run.sink.hasProblem("\"dofile\" is not defined"));
}

TEST(Sandbox, DeepRecursionEndsWithStackOverflow)
{
    const ScriptRun run = runScript("function f(n) return 1 + f(n + 1) end\nx = f(1)");
    EXPECT_FALSE(run.result.ok);
    EXPECT_TRUE(run.result.error.contains(QLatin1String("stack overflow"))) << run.result.error.toStdString();
    EXPECT_EQ(run.result.errorLine, 1);
}

TEST(Sandbox, ATableThatHoldsItselfIsLeftOutWhereItComesAgain)
{
    const ScriptRun run = runScript("t = {1} t.t = t addOut(t)");
    ASSERT_EQ(run.sink.calls.size(), 1u);
    EXPECT_EQ(run.sink.callsText(), "addOut({1})");
    EXPECT_TRUE(run.sink.hasProblem("appears more than once")) << run.sink.problemsText();
}

TEST(Sandbox, TheLimitsStopTheWholeRun)
{
    const ScriptRun run = runScript("function DetermChunk() addOut(1) end\nfunction NonDetermChunk() addOut(2) end\n"
                                    "levelDesc = \"x\"\nwhile 1 do end",
        smallLimits());
    EXPECT_FALSE(run.result.ok);
    EXPECT_EQ(run.result.errorLine, 4);
    EXPECT_TRUE(run.sink.calls.empty());                   // neither chunk ran
    EXPECT_NE(run.sink.globalValue("levelDesc"), nullptr); // what the run left is still reported
}

TEST(Sandbox, CancelStopsTheRun)
{
    std::atomic<bool> cancel = false;
    ScriptOptions options;
    options.cancel = &cancel;
    qint64 progressCalls = 0;
    options.progress = [&](qint64 calls) {
        ++progressCalls;
        if (calls > 1000)
            cancel = true;
    };
    const ScriptRun run = runScript("levelDesc = \"x\"\nwhile 1 do addOut(1) end", options);
    EXPECT_TRUE(run.result.cancelled);
    EXPECT_FALSE(run.result.ok);
    EXPECT_GT(progressCalls, 0);
    EXPECT_EQ(run.sink.globalValue("levelDesc"), nullptr); // nothing after a cancel
    EXPECT_TRUE(run.sink.problems.empty()) << run.sink.problemsText();
}

TEST(Sandbox, CancelledBeforeItStarts)
{
    const std::atomic<bool> cancel = true;
    ScriptOptions options;
    options.cancel = &cancel;
    const ScriptRun run = runScript("function DetermChunk() while 1 do end end", options);
    EXPECT_TRUE(run.result.cancelled);
}

TEST(Sandbox, IncludesCannotLeaveTheDataFolder)
{
    QTemporaryDir dir;
    writeBytes(dir.filePath(QStringLiteral("secret.lua")), "addOut(\"secret\")");
    QDir().mkpath(dir.filePath(QStringLiteral("data/scripts")));
    writeBytes(dir.filePath(QStringLiteral("data/scripts/ok.lua")), "addOut(\"ok\")");
    QFile::link(dir.filePath(QStringLiteral("secret.lua")), dir.filePath(QStringLiteral("data/scripts/link.lua")));
    ScriptOptions options;
    options.readInclude = includeReaderForFolders({dir.filePath(QStringLiteral("data"))});
    const QByteArray secret = dir.filePath(QStringLiteral("secret.lua")).toUtf8();
    const ScriptRun run =
        runScript("dofilepath(\"data:../secret.lua\")\ndofilepath(\"data:scripts/../../secret.lua\")\n"
                  "dofilepath(\""
                + secret
                + "\")\ndofilepath(\"data:scripts/link.lua\")\n"
                  "dofilepath(\"c:/secret.lua\")\ndofilepath(\"data:scripts/ok.lua\")",
            options);
    EXPECT_EQ(run.sink.callsText(), "addOut(\"ok\")");
    EXPECT_EQ(run.sink.problems.size(), 5u) << run.sink.problemsText();
}

TEST(Sandbox, IncludesNestTooDeeply)
{
    ScriptOptions options;
    options.readInclude = [](const QString&, qint64, QString*) {
        return std::optional<QByteArray>("dofilepath(\"data:self.lua\")");
    };
    const ScriptRun run = runScript("dofilepath(\"data:self.lua\")", options);
    EXPECT_FALSE(run.result.ok);
    EXPECT_TRUE(run.result.error.contains(QLatin1String("nested too deeply"))) << run.result.error.toStdString();
}

TEST(Sandbox, CompiledLevelsAreRefused)
{
    const ScriptRun run = runScript(QByteArray("\x1bLua\x40\x01\x04\x04\x04", 9) + "addOut(1)");
    EXPECT_FALSE(run.result.ok);
    EXPECT_TRUE(run.result.error.contains(QLatin1String("compiled level"))) << run.result.error.toStdString();
    EXPECT_TRUE(run.sink.calls.empty());
}

} // namespace
