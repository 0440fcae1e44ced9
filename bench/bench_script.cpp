// Opening a generated level by running its script, with a sink that keeps every call as the
// level would.

#include "GeneratedLevel.h"

#include "script/ScriptRunner.h"

#include <benchmark/benchmark.h>

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

} // namespace
