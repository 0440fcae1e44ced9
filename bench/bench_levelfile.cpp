// Load and save of generated levels through the core reader and writer.

#include "GeneratedLevel.h"

#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"
#include "levelfile/SafeFile.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace starloom;

namespace {

void BM_ReadLevel(benchmark::State& state)
{
    QByteArray text = bench::generatedLevelText(static_cast<int>(state.range(0)));
    const Catalogue catalogue;
    for (auto _ : state) {
        Level level;
        QBuffer buffer(&text);
        buffer.open(QIODevice::ReadOnly);
        ModelLists models(catalogue);
        const ReadResult result = readLevel(buffer, level, models);
        benchmark::DoNotOptimize(result.itemsRead);
    }
}
// Single runs vary by about 10 %: medians of five.
BENCHMARK(BM_ReadLevel)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(262142)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Lines built to make a name search slow: a call whose argument is a name of 10,900 letters, a
// blank and 21,800 letters (range 0) or the same as one quoted text (range 1), 100 times (3.2 MB).
void BM_ReadCraftedLevel(benchmark::State& state)
{
    QByteArray text = "function NonDetermChunk()\n";
    const QByteArray name = QByteArray(10900, 'a') + ' ' + QByteArray(21800, 'a');
    for (int i = 0; i < 100; ++i)
        text += state.range(0) ? "addPebble(\"" + name + "\", {1, 2, 3}, 0, 0, 0)\n" : "addPebble(" + name + "\n";
    text += "end\n";
    const Catalogue catalogue;
    for (auto _ : state) {
        Level level;
        QBuffer buffer(&text);
        buffer.open(QIODevice::ReadOnly);
        ModelLists models(catalogue);
        benchmark::DoNotOptimize(readLevel(buffer, level, models).itemsRead);
    }
}
BENCHMARK(BM_ReadCraftedLevel)->Arg(0)->Arg(1)->ArgName("quoted")->Unit(benchmark::kMillisecond);

void BM_SaveLevel(benchmark::State& state)
{
    const Level level = bench::generatedLevel(static_cast<int>(state.range(0)));
    const Catalogue catalogue;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.level"));
    for (auto _ : state) {
        ModelLists models(catalogue);
        const QString error = saveLevel(path, level, models);
        benchmark::DoNotOptimize(error);
    }
}
BENCHMARK(BM_SaveLevel)->Arg(10000)->Arg(100000)->Arg(262142)->Unit(benchmark::kMillisecond);

} // namespace

namespace starloom::bench {
int loadOnly(const QString& path);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // Helpers for scripts/bench: write a generated level, or load one into an editor and exit.
    if (argc == 4 && QByteArray(argv[1]) == "--generate")
        return saveFileAtomically(
                   QString::fromLocal8Bit(argv[3]), bench::generatedLevelText(QByteArray(argv[2]).toInt()))
                   .isEmpty()
            ? 0
            : 1;
    if (argc == 4 && QByteArray(argv[1]) == "--generate-varied")
        return saveFileAtomically(QString::fromLocal8Bit(argv[3]), bench::variedLevelText(QByteArray(argv[2]).toInt()))
                   .isEmpty()
            ? 0
            : 1;
    if (argc == 3 && QByteArray(argv[1]) == "--load")
        return bench::loadOnly(QString::fromLocal8Bit(argv[2]));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
