// The editor's commands at scale: load, save, a placement click, a delete, and repainting.

#include "GeneratedLevel.h"

#include "editing/Editor.h"
#include "gamedata/SettingsStore.h"
#include "levelfile/LevelWriter.h"
#include "levelfile/SafeFile.h"
#include "views/MapPainter.h"
#include "views/MapPainter3D.h"

#include <QDir>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

using namespace starloom;

namespace {

class BenchHost final : public EditorHost {
public:
    void showMessage(const QString&, const QString&) override { ++messages; }
    QString askSaveFileName(const QString&, const QString&) override { return savePath; }
    QString askOpenFileName(const QString&) override { return openPath; }
    std::optional<QString> askText(const QString&, const QString&, const QString&) override
    {
        return QStringLiteral("1");
    }
    std::optional<std::int32_t> askColour(std::int32_t c) override { return c; }
    QString openPath;
    QString savePath;
    int messages = 0;
};

class BenchStore final : public SettingsStore {
public:
    QString read(const QString&, const QString& defaultValue) const override { return defaultValue; }
    void write(const QString&, const QString&) override {}
};

// Generated level files and game folders, made once per process.
class Fixtures {
public:
    static Fixtures& get()
    {
        static Fixtures f;
        return f;
    }
    QString level(int items)
    {
        auto it = m_levels.find(items);
        if (it != m_levels.end())
            return it->second;
        const QString path = m_dir.filePath(QStringLiteral("level-%1.level").arg(items));
        saveFileAtomically(path, bench::generatedLevelText(items));
        m_levels[items] = path;
        return path;
    }
    // A game folder whose ship folder holds 600 entries.
    QString gameWithShips()
    {
        const QString game = m_dir.filePath(QStringLiteral("game"));
        if (!QDir(game).exists()) {
            QDir().mkpath(game + QStringLiteral("/Data/ship"));
            for (int i = 0; i < 600; ++i)
                QDir().mkpath(game + QStringLiteral("/Data/ship/mod_ship_%1").arg(i));
        }
        return game;
    }
    QString savePath() const { return m_dir.filePath(QStringLiteral("saved.level")); }

private:
    QTemporaryDir m_dir;
    std::map<int, QString> m_levels;
};

struct LoadedEditor {
    BenchHost host;
    BenchStore store;
    std::unique_ptr<Editor> editor;

    explicit LoadedEditor(int items, const QString& gameDir = {})
    {
        editor = std::make_unique<Editor>(host, store, defaultRandomSource(), gameDir);
        if (items > 0) {
            host.openPath = Fixtures::get().level(items);
            editor->loadChosenFile();
        }
    }
};

void BM_EditorLoad(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    const QString gameDir = state.range(1) ? Fixtures::get().gameWithShips() : QString();
    const QString path = Fixtures::get().level(items);
    for (auto _ : state) {
        state.PauseTiming();
        auto loaded = std::make_unique<LoadedEditor>(0, gameDir);
        loaded->host.openPath = path;
        state.ResumeTiming();
        loaded->editor->loadChosenFile();
        state.PauseTiming();
        if (loaded->editor->rows().size() != static_cast<std::size_t>(items))
            state.SkipWithError("the load did not list every item");
        loaded.reset();
        state.ResumeTiming();
    }
}
// Single runs vary by about 10 %: medians of five.
BENCHMARK(BM_EditorLoad)
    ->ArgsProduct({{10000, 100000, 262142}, {0, 1}})
    ->ArgNames({"items", "ships600"})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_EditorSave(benchmark::State& state)
{
    LoadedEditor loaded(static_cast<int>(state.range(0)));
    loaded.host.savePath = Fixtures::get().savePath();
    for (auto _ : state) {
        if (!loaded.editor->saveAs())
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_EditorSave)->Arg(10000)->Arg(100000)->Arg(262142)->ArgName("items")->Unit(benchmark::kMillisecond);

// One placement click (the editor's work, without the repaint).
void BM_PlacementClick(benchmark::State& state)
{
    LoadedEditor loaded(static_cast<int>(state.range(0)));
    Editor& e = *loaded.editor;
    e.chooseKind(ItemKind::PlayerStart);
    e.chooseKind(ItemKind::Asteroid); // asteroids
    double x = -20000;
    for (auto _ : state) {
        e.moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(x, 1000));
        e.clickTopView();
        x += 1;
    }
}
BENCHMARK(BM_PlacementClick)
    ->Iterations(2000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(262142)
    ->ArgName("items")
    ->Unit(benchmark::kMicrosecond);

// The pointer moving over the top view with nothing armed: each move finds the item under it, for
// the highlight.
void BM_PointerMove(benchmark::State& state)
{
    LoadedEditor loaded(static_cast<int>(state.range(0)));
    Editor& e = *loaded.editor;
    e.setTopViewSize(QSize(1600, 1000));
    e.chooseSelectTool();
    int step = 0;
    for (auto _ : state) {
        const QPointF pixel((step * 37) % 1600, (step * 53) % 1000);
        const QPointF world = e.topScale().toWorld(pixel, QSizeF(1600, 1000));
        e.moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(world.x(), world.y()));
        benchmark::DoNotOptimize(e.hoveredRow());
        ++step;
    }
}
BENCHMARK(BM_PointerMove)->Iterations(2000)->Arg(10000)->Arg(100000)->ArgName("items")->Unit(benchmark::kMicrosecond);

// Deleting one object from the middle of the list.
void BM_DeleteObject(benchmark::State& state)
{
    LoadedEditor loaded(static_cast<int>(state.range(0)));
    Editor& e = *loaded.editor;
    for (auto _ : state) {
        e.selectRow(static_cast<int>(e.rows().size() / 2));
        e.deleteObject();
    }
}
BENCHMARK(BM_DeleteObject)
    ->Iterations(2000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(262142)
    ->ArgName("items")
    ->Unit(benchmark::kMicrosecond);

// The editor's part of a big step: Rotate Copies (two-fold) and Delete All of every item, timed
// when done, undone or redone; undo and redo should cost about what the step cost.
void BM_BigStep(benchmark::State& state)
{
    const bool deleteAll = state.range(0) != 0;
    const int phase = static_cast<int>(state.range(1)); // 0 do, 1 undo, 2 redo
    const int items = static_cast<int>(state.range(2));
    for (auto _ : state) {
        state.PauseTiming();
        auto loaded = std::make_unique<LoadedEditor>(items);
        Editor& e = *loaded->editor;
        e.selectAll();
        auto step = [&] { deleteAll ? e.deleteSelection() : e.rotateCopies(2); };
        if (phase >= 1)
            step();
        if (phase == 2)
            e.undo();
        state.ResumeTiming();
        if (phase == 0)
            step();
        else if (phase == 1)
            e.undo();
        else
            e.redo();
        state.PauseTiming();
        if (e.rows().size()
            != static_cast<std::size_t>(deleteAll ? (phase == 1 ? items : 0) : (phase == 1 ? items : 2 * items - 4)))
            state.SkipWithError("the step did not leave the rows expected");
        loaded.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BigStep)
    ->ArgsProduct({{0, 1}, {0, 1, 2}, {20000}})
    ->ArgNames({"deleteAll", "phase", "items"})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// A full repaint of both views into a 1600 x 1000 image: mode 0 labels on, 1 zoomed in three
// times, 2 labels off, 3 labels on without leaving out those that overlap.
void BM_Repaint(benchmark::State& state)
{
    LoadedEditor loaded(static_cast<int>(state.range(0)));
    Editor& e = *loaded.editor;
    const int mode = static_cast<int>(state.range(1));
    if (mode == 1) {
        for (int i = 0; i < 3; ++i) {
            e.armZoom();
            e.moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(5000, 5000));
            e.clickTopView();
        }
    }
    if (mode == 3)
        e.toggleDeclutter();
    if (mode == 2) {
        for (int typeId = 1; typeId <= 9; ++typeId) {
            if (e.labelShown(typeId))
                e.toggleLabels(typeId);
        }
    }
    // As the window paints: the same revision until the level changes.
    MapScene scene = sceneOf(e.level(), e.views(), e.gridSize(), worldSize(e.mapSettings()));
    scene.revision = e.revision();
    const auto [topSize, frontSize] = viewSizesFor(QSize(1600, 1000));
    QImage top(topSize, QImage::Format_RGB32);
    QImage front(frontSize, QImage::Format_RGB32);
    const MapPainter topPainter;
    const MapPainter frontPainter;
    for (auto _ : state) {
        {
            QPainter p(&top);
            topPainter.paintTopView(p, topSize, scene);
        }
        {
            QPainter p(&front);
            frontPainter.paintFrontView(p, frontSize, scene);
        }
        benchmark::DoNotOptimize(top.constBits());
    }
}
BENCHMARK(BM_Repaint)
    ->ArgsProduct({{10000, 100000, 262142}, {0, 1, 2}})
    ->Args({100000, 3})
    ->ArgNames({"items", "mode"})
    ->Unit(benchmark::kMillisecond);

// The 3-D view of the loaded level at 1600 x 1000, framing every item, as the window paints it.
Scene3D sceneOf3D(const Editor& e, QSize pixels)
{
    Scene3D scene;
    scene.document = &e.document();
    scene.rows = &e.rows();
    scene.world = worldSize(e.mapSettings());
    scene.gridSizeText = e.gridSize();
    scene.camera = framedAll(Camera3D{}, e.document(), e.rows(), scene.world, QSizeF(pixels));
    scene.revision = e.revision();
    return scene;
}

// A frame while the camera turns by one degree a frame, the level unchanged (as the window
// paints while the user orbits); with kept:0 the items are read afresh, as after an edit.
void BM_Frame3D(benchmark::State& state)
{
    LoadedEditor loaded(static_cast<int>(state.range(0)));
    const QSize pixels(1600, 1000);
    Scene3D scene = sceneOf3D(*loaded.editor, pixels);
    scene.highlighted = {0};
    if (state.range(1) == 0)
        scene.revision = 0;
    QImage image(pixels, QImage::Format_RGB32);
    const MapPainter3D painter;
    for (auto _ : state) {
        scene.camera = scene.camera.orbited(1, 0);
        QPainter p(&image);
        painter.paint(p, pixels, scene);
        p.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_Frame3D)
    ->ArgsProduct({{10000, 100000, 262142}, {1, 0}})
    ->ArgNames({"items", "kept"})
    ->Unit(benchmark::kMillisecond);

// Picking the item under a pixel of the same view, at pixels along a diagonal.
void BM_Pick3D(benchmark::State& state)
{
    LoadedEditor loaded(static_cast<int>(state.range(0)));
    const QSize pixels(1600, 1000);
    const Scene3D scene = sceneOf3D(*loaded.editor, pixels);
    const MapPainter3D painter;
    int step = 0;
    for (auto _ : state) {
        const double t = (step++ % 97) / 97.0;
        benchmark::DoNotOptimize(painter.rowAt(scene, pixels, QPointF(100 + 1400 * t, 100 + 800 * t)));
    }
}
BENCHMARK(BM_Pick3D)->Arg(10000)->Arg(100000)->Arg(262142)->ArgName("items")->Unit(benchmark::kMillisecond);

} // namespace

namespace starloom::bench {

// `starloom-bench --load FILE`: loads FILE into an editor and exits (for peak-memory figures).
int loadOnly(const QString& path)
{
    BenchHost host;
    BenchStore store;
    Editor editor(host, store, defaultRandomSource(), QString());
    host.openPath = path;
    return editor.loadChosenFile() ? 0 : 1;
}

} // namespace starloom::bench
