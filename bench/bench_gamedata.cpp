// The model lists of a remastered-sized install: several thousand entries over five archives.

#include "BigArchiveWriter.h"

#include "gamedata/GameSetup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace starloom;
using test::BigEntry;

namespace {

// HomeworldRM/Data with a ships archive, its update, a resources archive and two others that
// hold no models, about 15,000 files in all.
class RemasteredInstall {
public:
    static RemasteredInstall& get()
    {
        static RemasteredInstall install;
        return install;
    }
    const GameSetup& setup() const { return m_setup; }
    int entries() const { return m_entries; }

private:
    RemasteredInstall()
    {
        const QString data = m_dir.filePath(QStringLiteral("HomeworldRM/Data"));
        const char* races[] = {"hgn", "vgr", "kus", "tai", "kpr", "meg"};
        std::vector<BigEntry> ships, update, resources, speech, art;
        for (int i = 0; i < 1200; ++i) {
            const QString ship = QStringLiteral("ship\\%1_ship%2\\").arg(QLatin1String(races[i % 6])).arg(i);
            for (const char* ext : {".ship", ".hod", ".events", ".madstate"})
                ships.push_back(
                    {ship + QStringLiteral("%1_ship%2").arg(QLatin1String(races[i % 6])).arg(i) + QLatin1String(ext)});
        }
        for (int i = 0; i < 300; ++i)
            for (const char* ext : {".ship", ".hod"})
                update.push_back({QStringLiteral("ship\\%1_ship%2\\x").arg(QLatin1String(races[i % 6])).arg(i * 5)
                    + QLatin1String(ext)});
        const std::pair<const char*, int> kinds[] = {{"resource\\asteroid", 40}, {"cloud", 30}, {"dustcloud", 40},
            {"nebula", 50}, {"pebble", 10}, {"resource\\salvage", 60}};
        for (const auto& [folder, count] : kinds)
            for (int i = 0; i < count; ++i)
                for (const char* ext : {".hod", ".lua"})
                    resources.push_back({QStringLiteral("%1\\model_%2\\model_%2").arg(QLatin1String(folder)).arg(i)
                        + QLatin1String(ext)});
        for (int i = 0; i < 600; ++i)
            resources.push_back({QStringLiteral("scripts\\lib\\script_%1.lua").arg(i), "x = 1"});
        for (int i = 0; i < 4000; ++i)
            speech.push_back({QStringLiteral("sound\\speech\\line_%1\\line_%1.wav").arg(i)});
        for (int i = 0; i < 1000; ++i)
            for (const char* ext : {".tga", ".dds", ".mres"})
                art.push_back({QStringLiteral("art\\set_%1\\texture_%2").arg(i / 50).arg(i) + QLatin1String(ext)});
        const std::pair<const char*, const std::vector<BigEntry>*> archives[] = {{"HW2Ships.big", &ships},
            {"UpdateHW2Ships.big", &update}, {"HWRM.big", &resources}, {"EnglishSpeech.big", &speech},
            {"Art.big", &art}};
        for (const auto& [name, entries] : archives) {
            test::writeBigArchiveFile(data + QLatin1Char('/') + QLatin1String(name), *entries);
            m_entries += static_cast<int>(entries->size());
        }
        m_setup = chooseGame(m_dir.filePath(QStringLiteral("HomeworldRM")), QStringLiteral("bench"), {});
    }

    QTemporaryDir m_dir;
    GameSetup m_setup;
    int m_entries = 0;
};

int listAllKinds(const Catalogue& catalogue)
{
    ModelLists lists(catalogue);
    int names = 0;
    for (ItemKind kind : arrayKinds)
        names += static_cast<int>(lists.list(kind).size());
    return names;
}

// A load or a save of a fresh start: every archive's tables read, every kind's list made.
void BM_RemasteredModelLists(benchmark::State& state)
{
    const RemasteredInstall& install = RemasteredInstall::get();
    int names = 0;
    for (auto _ : state)
        names = listAllKinds(catalogueFor(install.setup()));
    if (names < 1500)
        state.SkipWithError("the archives did not give their names");
    state.SetLabel(QStringLiteral("%1 files, %2 names").arg(install.entries()).arg(names).toStdString());
}
BENCHMARK(BM_RemasteredModelLists)->Unit(benchmark::kMillisecond);

// Later loads and saves: the archives are unchanged, so only their lists are made again.
void BM_RemasteredModelListsRead(benchmark::State& state)
{
    const Catalogue catalogue = catalogueFor(RemasteredInstall::get().setup());
    for (auto _ : state)
        benchmark::DoNotOptimize(listAllKinds(catalogue));
}
BENCHMARK(BM_RemasteredModelListsRead)->Unit(benchmark::kMillisecond);

// Archives made to cost their reader as much as their tables can, read as a mod's archive for
// every kind's list (what `starloom-level --data-dir x.big models Ship` and a start of the editor
// with it among the mod folders do):
// 0: 65,535 files that share one name of 1 MB (a 2.2 MB archive)
// 1: 65,535 folders of their own names, each listing all of 65,535 files
// 2: 65,535 tables of contents with names of their own, and 1,000 files
void BM_CraftedArchive(benchmark::State& state)
{
    const test::CraftedArchive shapes[] = {
        {65535, 1, 1, 1 << 20, false}, {65535, 65535, 1, 8, true}, {1000, 1, 65535, 8, false}};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("crafted.big"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    const QByteArray bytes = test::writeCraftedArchive(shapes[state.range(0)]);
    file.write(bytes);
    file.close();
    GameSetup setup;
    setup.modFolders = {path};
    for (auto _ : state)
        benchmark::DoNotOptimize(listAllKinds(catalogueFor(setup)));
    state.SetLabel(QStringLiteral("%1 bytes").arg(bytes.size()).toStdString());
}
BENCHMARK(BM_CraftedArchive)->ArgName("shape")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

} // namespace
