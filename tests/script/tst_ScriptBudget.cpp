// One budget for a script, whoever does the work: the memory the runner keeps or builds for a
// script and the work done for it in C++ are charged to its limits, the caps hold, a cancel reaches
// every loop, and the translation takes time linear in the source.

#include "ScriptTest.h"

#include "levelfile/LevelBuilder.h"
#include "script/IncludeReader.h"
#include "script/LevelScript.h"
#include "script/Lua4Source.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <atomic>
#include <functional>

using namespace starloom;
using namespace starloom::test;

namespace {

// The room the runner's own counter may take past the memory limit: none.
constexpr std::size_t counterMargin = 0;
// The problems a run reports at most (and one that counts the rest).
constexpr std::size_t maxProblems = 1000;

struct BudgetCase {
    const char* name;
    const char* script;
    const char* message; // part of the message that stops it; "a|b": either
};

bool names(const QString& error, const char* message)
{
    for (const QString& part : QString::fromLatin1(message).split(QLatin1Char('|'))) {
        if (error.contains(part))
            return true;
    }
    return false;
}

// Work done in C++ for a script, each ending at a limit under smallLimits() (32 MB, 5 million steps).
const BudgetCase budgetCases[] = {
    {"printing a large string over and over", "s = strrep(\"x\", 1000000) while 1 do print(s) end",
        "ran for more than"},
    {"a missing include over and over", "while 1 do dofilepath(\"x\") end", "ran for more than"},
    {"an include with a long name over and over", "n = strrep(\"x\", 100000) while 1 do dofilepath(n) end",
        "ran for more than"},
    {"a library function called from C", "t = {n = 2147483647} foreachi(t, function() foreachi(t, assert) end)",
        "ran for more than"},
    {"library calls in a tight loop", "while 1 do x = strlen(\"\") end", "ran for more than"},
    {"a format that repeats a large string", "s = strrep(\"x\", 1000000) t = format(strrep(\"%1$s\", 1500), s)",
        "memory|ran for more than"},
    {"a replacement that repeats each match", "s = strrep(\"x\", 1000000) t = gsub(s, \"x\", strrep(\"%0\", 1500))",
        "memory|ran for more than"},
    {"a replacement that repeats empty matches", "s = strrep(\"x\", 100000) t = gsub(s, \"\", strrep(\"%0\", 1500))",
        "ran for more than"},
    {"game calls without end", "while 1 do addAsteroid() end", "memory|ran for more than"},
    {"sorting long strings", "s = strrep(\"x\", 100000) t = {} for i = 1, 300 do t[i] = s end while 1 do sort(t) end",
        "ran for more than"},
    {"a table with many keys walked over and over",
        "t = {} for i = 1, 20000 do t[\"k\" .. i] = i end while 1 do foreach(t, function() end) end",
        "ran for more than"},
    {"a long string compared as a number", "s = strrep(\" \", 1000000) while 1 do x = tonumber(s) end",
        "ran for more than"},
    {"a long character class", "s = strrep(\"a\", 10000) x = strfind(s, \"[\" .. strrep(\"b\", 100000) .. \"]\")",
        "ran for more than"},
};

class Budget : public ::testing::TestWithParam<BudgetCase> {};

TEST_P(Budget, EndsAtALimitWithinTheMemoryLimit)
{
    const BudgetCase& c = GetParam();
    const ScriptRun run = runScript(QByteArray("\n") + c.script, smallLimits());
    EXPECT_FALSE(run.result.ok);
    EXPECT_FALSE(run.result.cancelled);
    EXPECT_TRUE(names(run.result.error, c.message)) << run.result.error.toStdString();
    EXPECT_EQ(run.result.errorLine, 2);
    EXPECT_LE(run.result.peakMemory, smallLimits().memoryLimit + counterMargin);
    EXPECT_LE(run.sink.problems.size(), maxProblems + 2) << run.sink.problemsText();
}

INSTANTIATE_TEST_SUITE_P(Script, Budget, ::testing::ValuesIn(budgetCases), CaseName());

// The steps a run takes; `make(n)` gives a script doing n units of one kind of work.
std::uint64_t stepsOf(const std::function<QByteArray(int)>& make, int n)
{
    ScriptOptions options;
    options.instructionLimit = 4'000'000'000;
    const ScriptRun run = runScript(make(n), options);
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
    return run.result.instructions;
}

struct WorkCase {
    const char* name;
    std::function<QByteArray(int)> make;
};

QByteArray number(int n)
{
    return QByteArray::number(n);
}

const WorkCase workCases[] = {
    {"callbacks of C functions", [](int n) { return "t = {n = " + number(n) + "} foreachi(t, assert)"; }},
    {"calls from gsub", [](int n) { return "s = strrep(\"x\", " + number(n) + ") t = gsub(s, \"(x)\", strlen)"; }},
    {"bytes formatted", [](int n) { return "s = strrep(\"x\", " + number(n) + ") t = format(\"%s%s%s\", s, s, s)"; }},
    {"bytes searched", [](int n) { return "s = strrep(\"a\", " + number(n) + ") x = strfind(s, \"ab\", 1, 1)"; }},
    {"bytes read as a number", [](int n) { return "s = strrep(\" \", " + number(n) + ") .. \"1\" x = s + 1"; }},
    {"keys sorted for a traversal",
        [](int n) { return "t = {} for i = 1, " + number(n) + " do t[\"k\" .. i] = i end foreach(t, type)"; }},
    {"values copied for a game call",
        [](int n) { return "t = {} for i = 1, " + number(n) + " do t[i] = {i} end addX(t)"; }},
};

class Work : public ::testing::TestWithParam<WorkCase> {};

// Twice the work takes twice the steps (the script around it aside): the steps grow with the work,
// not with the calls alone.
TEST_P(Work, StepsGrowWithTheWork)
{
    const WorkCase& c = GetParam();
    const std::uint64_t base = stepsOf(c.make, 0);
    const std::uint64_t one = stepsOf(c.make, 20000) - base;
    const std::uint64_t two = stepsOf(c.make, 40000) - base;
    EXPECT_GE(one, 20000u / 16) << "a step for every few units of work";
    EXPECT_GT(two, one * 18 / 10);
    EXPECT_LT(two, one * 22 / 10);
}

INSTANTIATE_TEST_SUITE_P(Script, Work, ::testing::ValuesIn(workCases), CaseName());

// A cancel reaches each loop: the run is cancelled once it is well inside it (the third progress
// report), with no step limit to end it otherwise.
const char* cancelledLoops[] = {
    "while 1 do end",
    "t = {n = 2147483647} foreachi(t, function() foreachi(t, assert) end)",
    "s = strrep(\"x\", 1000000) while 1 do print(s) end",
    "while 1 do dofilepath(\"x\") end",
    "s = strrep(\"x\", 100000) t = {} for i = 1, 300 do t[i] = s end while 1 do sort(t) end",
    "s = strrep(\"x\", 100000) while 1 do t = gsub(s, \"\", strrep(\"%0\", 100)) end",
    "while 1 do dofilepath(\"data:big.lua\") end",
    "while 1 do x = strlen(\"\") end",
    "t = {} t[100000000] = 1 while 1 do tinsert(t, 1, 2) x = tremove(t, 1) end",
    "s = strrep(\"a\", 100000) p = \"[\" .. strrep(\"b\", 100000) .. \"]\" while 1 do x = strfind(s, p) end",
};

TEST(Budget, ACancelReachesEveryLoop)
{
    for (const char* script : cancelledLoops) {
        std::atomic<bool> cancel = false;
        int reports = 0;
        ScriptOptions options;
        options.instructionLimit = std::uint64_t{1} << 62;
        options.cancel = &cancel;
        options.progress = [&](qint64) {
            if (++reports == 3)
                cancel = true;
        };
        // A large include, read and translated over and over.
        options.readInclude = [](const QString& path, qint64, QString*) -> std::optional<QByteArray> {
            if (path != QLatin1String("data:big.lua"))
                return std::nullopt;
            return QByteArray("x = 1\n").repeated(200000);
        };
        const ScriptRun run = runScript(script, options);
        EXPECT_TRUE(run.result.cancelled) << script << ": " << run.result.error.toStdString();
    }
}

// The first report of progress comes while the level is translated.
TEST(Budget, TheTranslationOfTheLevelIsCancelledToo)
{
    std::atomic<bool> cancel = false;
    ScriptOptions options;
    options.cancel = &cancel;
    options.progress = [&](qint64) { cancel = true; };
    const ScriptRun run =
        runScript("addX(1)\n" + QByteArray("x = \"" + QByteArray(1000, 'x') + "\"\n").repeated(5000), options);
    EXPECT_TRUE(run.result.cancelled);
    EXPECT_TRUE(run.sink.problems.empty()) << run.sink.problemsText();
}

TEST(Budget, IncludesAreChargedToTheBudget)
{
    const QByteArray include = QByteArray(" ").repeated(4 << 20) + "addX(1)";
    ScriptOptions options;
    options.readInclude = [&include](const QString&, qint64 maxBytes, QString* error) -> std::optional<QByteArray> {
        if (include.size() > maxBytes) {
            *error = QStringLiteral("too long");
            return std::nullopt;
        }
        return include;
    };
    const ScriptRun once = runScript("dofilepath(\"data:a.lua\")", options);
    EXPECT_TRUE(once.result.ok) << once.result.error.toStdString();
    EXPECT_GE(once.result.instructions, std::uint64_t(include.size()) / 4) << "the bytes read and translated";
    EXPECT_GE(once.result.peakMemory, std::size_t(include.size())) << "the include text is held while it is read";

    options.memoryLimit = std::size_t{2} << 20;
    const ScriptRun small = runScript("dofilepath(\"data:a.lua\")", options);
    EXPECT_TRUE(small.sink.hasProblem("could not be read: too long")) << small.sink.problemsText();
    EXPECT_LE(small.result.peakMemory, options.memoryLimit);
}

TEST(Budget, AMissingIncludeIsToldOnce)
{
    const ScriptRun run =
        runScript("for i = 1, 3 do dofilepath(\"data:gone.lua\") end\ndofilepath(\"data:other.lua\")");
    EXPECT_TRUE(run.result.ok);
    EXPECT_EQ(run.sink.problemsText(),
        "1: The included file \"data:gone.lua\" was not found; the script goes on without it\n"
        "2: The included file \"data:other.lua\" was not found; the script goes on without it\n");
}

TEST(Budget, AnIncludeThatIsAFifoIsRefusedWithoutWaiting)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("data/scripts")));
    const QString fifo = dir.filePath(QStringLiteral("data/fifo"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile::link(fifo, dir.filePath(QStringLiteral("data/scripts/linked.lua")));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("data/scripts/plain.lua"))).constData(), 0600), 0);
    ScriptOptions options;
    options.readInclude = includeReaderForFolders({dir.filePath(QStringLiteral("data"))});
    const ScriptRun run =
        runScript("dofilepath(\"data:scripts/linked.lua\")\ndofilepath(\"data:scripts/plain.lua\")", options);
    EXPECT_TRUE(run.result.ok);
    ASSERT_EQ(run.sink.problems.size(), 2u) << run.sink.problemsText();
    for (const auto& [line, reason] : run.sink.problems)
        EXPECT_TRUE(reason.contains(QLatin1String("pipe (FIFO)"))) << reason.toStdString();
}

TEST(Budget, PrintedTextIsCapped)
{
    const ScriptRun run = runScript("s = strrep(\"x\", 100000) for i = 1, 500 do print(s, 1) end");
    EXPECT_TRUE(run.result.ok);
    ASSERT_EQ(run.sink.problems.size(), 101u);
    EXPECT_EQ(run.sink.problems[0].second, "print: " + QString(1000, QLatin1Char('x')) + "... (cut)");
    EXPECT_EQ(run.sink.problems[100].second, "print: (the script prints more; the rest is left out)");
}

TEST(Budget, ProblemsBeyondTheCapAreCounted)
{
    QByteArray script;
    for (int i = 0; i < 1200; ++i)
        script += "f" + QByteArray::number(i) + "()\n";
    const ScriptRun run = runScript(script);
    EXPECT_TRUE(run.result.ok);
    ASSERT_EQ(run.sink.problems.size(), maxProblems + 1);
    EXPECT_EQ(run.sink.problems.back().second,
        QStringLiteral("200 more problems of the script were left out (at most 1000 are listed)"));
}

// However many problems came before, the message that stopped the script is listed first.
TEST(Budget, TheStoppingMessageComesFirst)
{
    QByteArray script;
    for (int i = 0; i < 1500; ++i)
        script += "f" + QByteArray::number(i) + "()\n";
    script += "while 1 do end\n";
    const RecordedScript recorded = recordLevelScript(script, QStringLiteral("many.level"), smallLimits());
    Level level;
    ModelLists models{Catalogue()};
    const ScriptRead read = buildRecordedScript(recorded, level, models);
    ASSERT_FALSE(read.read.problems.empty());
    EXPECT_EQ(read.read.problems.front().line, 1501);
    EXPECT_TRUE(read.read.problems.front().reason.contains(QLatin1String("ran for more than 5 million steps")))
        << read.read.problems.front().reason.toStdString();
}

TEST(Budget, ALongErrorMessageIsCut)
{
    const ScriptRun run = runScript("error(strrep(\"x\", 10000000))");
    EXPECT_FALSE(run.result.ok);
    EXPECT_LT(run.result.error.size(), 1100);
    EXPECT_TRUE(run.result.error.endsWith(QLatin1String("... (cut)"))) << run.result.error.left(80).toStdString();
}

TEST(Budget, AnErrorValueThatIsATableShowsNoAddress)
{
    const ScriptRun run = runScript("error({})");
    EXPECT_EQ(run.result.error, QStringLiteral("The script stopped: error (the error value is a table)"));
}

// A table shared by the arguments of a call, doubled 40 times: copied once, not 2^40 times.
TEST(Budget, SharedTablesAreCopiedOnce)
{
    const ScriptRun run = runScript("t = {1}\nfor i = 1, 40 do t = {t, t} end\naddX(t)\nplayer = t");
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
    ASSERT_EQ(run.sink.calls.size(), 1u);
    EXPECT_EQ(luaText(run.sink.calls[0].args[0]).substr(0, 6), "{{{{{{");
    EXPECT_LT(run.result.peakMemory, std::size_t{4} << 20);
    EXPECT_TRUE(run.sink.hasProblem("appears more than once")) << run.sink.problemsText();
    EXPECT_NE(run.sink.globalValue("player"), nullptr);
}

TEST(Budget, ACallOfTooManyValuesIsLeftOut)
{
    const ScriptRun run = runScript("t = {} for i = 1, 100001 do t[i] = i end\naddX(t)\naddY(1)");
    EXPECT_TRUE(run.result.ok);
    EXPECT_EQ(run.sink.callsText(), "addY(1)");
    EXPECT_TRUE(run.sink.hasProblem("The call of addX was left out: its arguments hold more than 100000 values"))
        << run.sink.problemsText();
}

// The operations of a translation, for sources of n units of one shape.
std::uint64_t translationWork(const std::function<std::string(int)>& make, int n)
{
    const Lua4Translation t = translateLua4(make(n));
    EXPECT_TRUE(t.ok()) << t.error.toStdString() << " at line " << t.errorLine;
    return t.work;
}

std::string repeated(const std::string& text, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += text;
    return out;
}

struct TranslationCase {
    const char* name;
    std::function<std::string(int)> make;
};

const TranslationCase translationCases[] = {
    {"comparisons as values nested 100 deep",
        [](int n) { return repeated("x = 1" + repeated(" < 1", 100) + "\n", n / 100); }},
    {"one long or chain", [](int n) { return "function f() x = a" + repeated(" or a", n) + " end"; }},
    {"one long concatenation", [](int n) { return "x = \"a\"" + repeated(" .. \"a\"", n); }},
    {"locals in use",
        [](int n) {
            std::string s = "function f() local a";
            for (int i = 1; i < 150; ++i)
                s += ", a" + std::to_string(i);
            return s + "\n" + repeated("a = a1 + a149\n", n) + "end";
        }},
    {"a literal call's table of named keys",
        [](int n) {
            std::string s = "addX({";
            for (int i = 0; i < n; ++i)
                s.append("k").append(std::to_string(i)).append(" = 1, ");
            return s + "})";
        }},
    {"functions and upvalues",
        [](int n) { return repeated("function f() local x = 1 return function() return %x end end\n", n); }},
};

class Translation : public ::testing::TestWithParam<TranslationCase> {};

// Twice the source takes about twice the operations, never more.
TEST_P(Translation, WorkGrowsLinearly)
{
    const TranslationCase& c = GetParam();
    const std::uint64_t one = translationWork(c.make, 20000);
    const std::uint64_t two = translationWork(c.make, 40000);
    EXPECT_LE(two, one * 22 / 10) << one << " -> " << two;
    EXPECT_GE(two, one * 18 / 10) << one << " -> " << two;
}

INSTANTIATE_TEST_SUITE_P(Script, Translation, ::testing::ValuesIn(translationCases), CaseName());

TEST(Translation, AChainTooDeepForTheTranslationIsRefusedWithItsLine)
{
    const Lua4Translation t = translateLua4("function f()\n  x = 1" + repeated(" < 1", 400) + "\nend\n");
    EXPECT_FALSE(t.ok());
    EXPECT_EQ(t.errorLine, 2);
    EXPECT_TRUE(t.error.contains(QLatin1String("nested too deeply"))) << t.error.toStdString();
}

TEST(Translation, TooManyLocalsAreRefusedAsLua4RefusesThem)
{
    std::string source = "function f() local a0";
    for (int i = 1; i < 250; ++i)
        source += ", a" + std::to_string(i);
    const Lua4Translation t = translateLua4(source + " end");
    EXPECT_FALSE(t.ok());
    EXPECT_TRUE(t.error.contains(QLatin1String("too many local variables (limit=200)"))) << t.error.toStdString();
}

TEST(Translation, ItsMemoryIsToldBeforeItIsTaken)
{
    const std::string source = "x = \"" + std::string(100000, '\x01') + "\"\n" + repeated("addX(1, {2, 3})\n", 1000);
    std::size_t told = 0;
    const Lua4Translation t = translateLua4(source, true, [&](std::uint64_t, std::size_t bytes) { told += bytes; });
    ASSERT_TRUE(t.ok());
    EXPECT_GE(told, t.text.capacity() + t.literalData.capacity());
}

} // namespace

// A recorded run keeps a call written with constant arguments as its place in the file's calls and
// reads its arguments when it is replayed: a level at the cap (262,142 calls) fits in the limit.
// Replayed, the calls are those a sink that is not a recording receives, in their order.
TEST(Budget, ARecordedRunKeepsWrittenCallsInAFewBytesEach)
{
    constexpr int calls = 20000;
    QByteArray script = "function DetermChunk()\n";
    for (int i = 0; i < calls; ++i)
        script += QByteArray("  addAsteroid(\"Asteroid_") + QByteArray::number(i % 5 + 1) + "\", {"
            + QByteArray::number(i) + ", -" + QByteArray::number(i) + ".5, 3}, 100, 0, 0, 0, 0)\n";
    script += "  addPebble(\"Pebble_0\", {1, 2, 3}, 0, 0, 0)\nend\nfunction NonDetermChunk()\nend\n";
    ScriptOptions options;
    options.memoryLimit = std::size_t{12} << 20; // about 600 bytes a call, the text included
    const RecordedScript recorded = recordLevelScript(script, QStringLiteral("test.level"), options);
    ASSERT_TRUE(recorded.result.ok) << recorded.result.error.toStdString();
    EXPECT_LE(recorded.result.peakMemory, options.memoryLimit);

    Recorded replayed;
    recorded.replay(replayed);
    const ScriptRun direct = runScript(script);
    ASSERT_EQ(replayed.calls.size(), std::size_t(calls + 1));
    EXPECT_EQ(replayed.callsText(), direct.sink.callsText());
    const LevelCall& last = replayed.calls[calls - 1];
    EXPECT_EQ(last.line, calls + 1);
    ASSERT_EQ(last.args.size(), 7u);
    EXPECT_EQ(last.args[1].items.at(1).number, -(calls - 1) - 0.5);
}
