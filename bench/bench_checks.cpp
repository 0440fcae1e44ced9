// The checks at scale: what the Checks panel recomputes after every change.

#include "GeneratedLevel.h"

#include "document/Catalogue.h"
#include "editing/Checks.h"

#include <benchmark/benchmark.h>

using namespace starloom;

namespace {

// The generated level with a row for every live item, as a loaded level has them.
Level listedLevel(int items)
{
    Level level = bench::generatedLevel(items);
    for (const ItemKind kind : allKinds) {
        const int count = kind == ItemKind::PlayerStart ? playerSlots : level.document.itemCount(kind);
        for (int i = 0; i < count; ++i)
            if (level.document.isLive(kind, i))
                level.rows.push_back({QStringLiteral("Item"), kind, static_cast<std::int16_t>(i)});
    }
    return level;
}

void BM_CheckLevel(benchmark::State& state)
{
    const Level level = listedLevel(static_cast<int>(state.range(0)));
    const Catalogue catalogue;
    ModelLists models(catalogue);
    for (auto _ : state)
        benchmark::DoNotOptimize(checkLevel(level, {}, &models));
    state.counters["items"] = static_cast<double>(level.rows.size());
}
BENCHMARK(BM_CheckLevel)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
