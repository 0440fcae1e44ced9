// Big steps in the window, offscreen: Rotate Copies and Delete All of 20,000 items, each done,
// undone and redone through the window's own menu entries, with the refresh that follows every
// handler and a repaint of the views, as the user waits for them.

#include "GeneratedLevel.h"
#include "MainWindow.h"

#include "gamedata/SettingsStore.h"
#include "levelfile/SafeFile.h"

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace starloom;

namespace {

class QuietHost final : public EditorHost {
public:
    void showMessage(const QString&, const QString&) override {}
    QString askSaveFileName(const QString&, const QString&) override { return {}; }
    QString askOpenFileName(const QString&) override { return {}; }
    std::optional<QString> askText(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<std::int32_t> askColour(std::int32_t c) override { return c; }
    SaveChoice askSaveChanges(const QString&) override { return SaveChoice::Discard; }
};

// A window of the default size holding `items` generated items.
struct LoadedWindow {
    QTemporaryDir dir;
    QSettingsStore store{dir.filePath(QStringLiteral("settings.ini"))};
    QuietHost host;
    std::unique_ptr<MainWindow> window;

    explicit LoadedWindow(int items)
    {
        const QString path = dir.filePath(QStringLiteral("level.level"));
        saveFileAtomically(path, bench::generatedLevelText(items));
        window = std::make_unique<MainWindow>(store, QString(), &host);
        window->show();
        window->loadFile(path);
        settle();
    }
    void trigger(const char* action) const { window->findChild<QAction*>(QString::fromLatin1(action))->trigger(); }
    // The window painted as it is: what the user sees after the step.
    void settle() const
    {
        QApplication::processEvents();
        window->repaint();
    }
};

enum class Step { RotateCopies, DeleteAll };
enum class Phase { Do, Undo, Redo };

void doStep(LoadedWindow& w, Step step)
{
    w.trigger("mnuEditSelectAll");
    w.trigger(step == Step::RotateCopies ? "mnuEditRotate2" : "mnuEditDelete");
}

// One step of 20,000 items, timed in the phase given; what comes before it is not timed.
void BM_WindowStep(benchmark::State& state)
{
    const auto step = static_cast<Step>(state.range(0));
    const auto phase = static_cast<Phase>(state.range(1));
    const int items = static_cast<int>(state.range(2));
    for (auto _ : state) {
        state.PauseTiming();
        auto w = std::make_unique<LoadedWindow>(items);
        if (phase != Phase::Do) {
            doStep(*w, step);
            w->settle();
        }
        if (phase == Phase::Redo) {
            w->trigger("mnuEditUndo");
            w->settle();
        }
        if (phase == Phase::Do)
            w->trigger("mnuEditSelectAll");
        w->settle();
        state.ResumeTiming();
        if (phase == Phase::Do)
            w->trigger(step == Step::RotateCopies ? "mnuEditRotate2" : "mnuEditDelete");
        else
            w->trigger(phase == Phase::Undo ? "mnuEditUndo" : "mnuEditRedo");
        w->settle();
        state.PauseTiming();
        w.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowStep)
    ->ArgsProduct({{0, 1}, {0, 1, 2}, {20000}})
    ->ArgNames({"deleteAll", "phase", "items"})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
