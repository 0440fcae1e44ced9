// Opening a generated level by running its script, with a sink that keeps every call as the
// level would.

#include "GeneratedLevel.h"

#include "document/Catalogue.h"
#include "document/Level.h"
#include "script/LevelScript.h"
#include "script/Lua4Source.h"
#include "script/ScriptRunner.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <vector>

using namespace starloom;

namespace {

struct StoringSink final : ReadSink {
    std::vector<LevelCall> calls;
    std::vector<std::pair<std::string, LuaValue>> globals;
    std::vector<QString> problems;
    void call(const LevelCall& c) override { calls.push_back(c); }
    void global(std::string_view name, const LuaValue& value, qint64) override
    {
        globals.emplace_back(std::string(name), value);
    }
    void problem(qint64, const QString& reason) override { problems.push_back(reason); }
};

// The translation of a script of `kb` KB that nests comparisons used as values 100 deep on each
// line ("x = 1 < 1 < ... < 1"), inside a function: its time grows linearly with its size.
void BM_TranslateNestedComparisons(benchmark::State& state)
{
    std::string line = "  x = 1";
    for (int i = 0; i < 100; ++i)
        line += " < 1";
    line += "\n";
    std::string source = "function f()\n";
    while (source.size() < static_cast<std::size_t>(state.range(0)) * 1024)
        source += line;
    source += "end\n";
    for (auto _ : state) {
        const Lua4Translation t = translateLua4(source);
        if (!t.ok())
            state.SkipWithError("the script did not translate");
        benchmark::DoNotOptimize(t.text.data());
    }
}
BENCHMARK(BM_TranslateNestedComparisons)->ArgName("kb")->Arg(160)->Arg(320)->Arg(640)->Unit(benchmark::kMillisecond);

// literal 1: as the editor opens a level; 0: with Lua evaluating every call (for comparison).
void BM_RunLevelScript(benchmark::State& state)
{
    const QByteArray text = bench::generatedLevelText(static_cast<int>(state.range(0)));
    ScriptOptions options;
    options.readLiteralCalls = state.range(1) != 0;
    for (auto _ : state) {
        StoringSink sink;
        const ScriptResult result = runLevelScript(text, QStringLiteral("bench.level"), sink, options);
        if (!result.ok || sink.calls.empty())
            state.SkipWithError("the generated level did not run");
        benchmark::DoNotOptimize(sink.calls.data());
    }
}
BENCHMARK(BM_RunLevelScript)
    ->ArgNames({"items", "literal"})
    ->Args({10000, 1})
    ->Args({100000, 1})
    ->Args({100000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// What File > Open Level does with the file's text: run the script, then build the level from
// what it recorded.
void BM_OpenLevelByScript(benchmark::State& state)
{
    const QByteArray text = bench::generatedLevelText(static_cast<int>(state.range(0)));
    const Catalogue catalogue;
    for (auto _ : state) {
        auto level = std::make_unique<Level>();
        const RecordedScript recorded = recordLevelScript(text, QStringLiteral("bench.level"), ScriptOptions());
        ModelLists models(catalogue);
        const ScriptRead read = buildRecordedScript(recorded, *level, models);
        if (!recorded.result.ok || level->rows.size() != static_cast<std::size_t>(state.range(0)))
            state.SkipWithError("the generated level did not open whole");
        state.PauseTiming();
        level.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenLevelByScript)
    ->ArgNames({"items"})
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The generated level compiled by Lua 4.0's luac (the game's format), when STARLOOM_LUAC40 names
// it (scripts/bench builds it from ../shared/oracle); empty otherwise.
QByteArray compiledLevel(int items)
{
    const QString luac = qEnvironmentVariable("STARLOOM_LUAC40");
    if (luac.isEmpty())
        return {};
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("level.level"));
    const QString compiled = dir.filePath(QStringLiteral("compiled.level"));
    QFile out(text);
    if (!out.open(QIODevice::WriteOnly) || out.write(bench::generatedLevelText(items)) < 0)
        return {};
    out.close();
    QProcess process;
    process.start(luac, {QStringLiteral("-o"), compiled, text});
    process.waitForFinished(-1);
    QFile in(compiled);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

// File > Open Level of a compiled level: run its chunk, then build the level from what it recorded.
void BM_OpenCompiledLevel(benchmark::State& state)
{
    const QByteArray compiled = compiledLevel(static_cast<int>(state.range(0)));
    if (compiled.isEmpty()) {
        state.SkipWithError("no compiled level: set STARLOOM_LUAC40 to Lua 4.0's luac");
        return;
    }
    const Catalogue catalogue;
    for (auto _ : state) {
        auto level = std::make_unique<Level>();
        const RecordedScript recorded = recordLevelScript(compiled, QStringLiteral("bench.level"), ScriptOptions());
        ModelLists models(catalogue);
        const ScriptRead read = buildRecordedScript(recorded, *level, models);
        if (!recorded.result.ok || level->rows.size() != static_cast<std::size_t>(state.range(0)))
            state.SkipWithError("the compiled level did not open whole");
        state.PauseTiming();
        level.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenCompiledLevel)
    ->ArgNames({"items"})
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Running the compiled level's chunk alone.
void BM_RunCompiledLevel(benchmark::State& state)
{
    const QByteArray compiled = compiledLevel(static_cast<int>(state.range(0)));
    if (compiled.isEmpty()) {
        state.SkipWithError("no compiled level: set STARLOOM_LUAC40 to Lua 4.0's luac");
        return;
    }
    for (auto _ : state) {
        StoringSink sink;
        const ScriptResult result = runLevelScript(compiled, QStringLiteral("bench.level"), sink, ScriptOptions());
        if (!result.ok || sink.calls.empty())
            state.SkipWithError("the compiled level did not run");
        benchmark::DoNotOptimize(sink.calls.data());
    }
}
BENCHMARK(BM_RunCompiledLevel)
    ->ArgNames({"items"})
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
