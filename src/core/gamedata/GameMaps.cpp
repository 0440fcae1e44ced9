#include "GameMaps.h"

#include "BigArchive.h"
#include "DataFileReader.h"
#include "GameFolder.h"
#include "GameSetup.h"

#include "levelfile/ReadSink.h"
#include "levelfile/SafeFile.h"
#include "script/ScriptRunner.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace starloom {

namespace {

const QString multiplayerFolder = QStringLiteral("LevelData/Multiplayer");
// Entries of a loose folder looked at, at most (a data folder holds a few thousand files).
constexpr int maxLooseEntries = 200'000;

// Keeps the globals a listing shows; the calls are not kept.
class GlobalsSink final : public ReadSink {
public:
    void call(const LevelCall&) override {}
    void global(std::string_view name, const LuaValue& value, qint64) override
    {
        if (name == "maxPlayers" && value.isNumber() && std::isfinite(value.number) && value.number >= 1
            && value.number <= 1'000'000)
            players = static_cast<int>(std::nearbyint(value.number));
        else if (name == "levelDesc" && value.isString())
            description = QString::fromLatin1(value.text.data(), qsizetype(value.text.size()));
        else if (name == "levelDesc" && value.isNumber())
            description = QString::fromStdString(luaText(value));
    }
    void problem(qint64, const QString&) override {}

    int players = 0;
    QString description;
};

struct Candidate {
    QString path;   // below the data root, '/' between names
    QString source; // folder or archive
    QString file;   // loose: the file on disk
    const BigArchive* archive = nullptr;
    qsizetype index = -1; // in the archive
};

bool isMultiplayerLevel(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path.startsWith(multiplayerFolder + QLatin1Char('/'), Qt::CaseInsensitive)
        && path.endsWith(QLatin1String(".level"), Qt::CaseInsensitive);
}

// The maps below one loose data folder, sorted by path.
std::vector<Candidate> looseMaps(const QString& dataFolder)
{
    std::vector<Candidate> found;
    const QString root = QFileInfo(dataFolder).canonicalFilePath();
    if (root.isEmpty())
        return found;
    const QString folder = resolveFolder(root, multiplayerFolder);
    if (folder.isEmpty())
        return found;
    const QDir rootDir(root);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    for (int seen = 0; it.hasNext() && seen < maxLooseEntries; ++seen) {
        const QString file = it.next();
        const QString relative = rootDir.relativeFilePath(file);
        if (!isMultiplayerLevel(relative))
            continue;
        // A link that leads out of the data folder is never read, as includes are not.
        const QString canonical = QFileInfo(file).canonicalFilePath();
        if (!canonical.startsWith(root + QLatin1Char('/')))
            continue;
        found.push_back({relative, dataFolder, file, nullptr, -1});
    }
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        const int c = a.path.compare(b.path, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.path < b.path;
    });
    return found;
}

std::vector<Candidate> archivedMaps(const BigArchive& archive, const QString& source)
{
    std::vector<Candidate> found;
    for (qsizetype i = 0; i < qsizetype(archive.files().size()); ++i) {
        QString path = archive.filePath(i);
        if (!isMultiplayerLevel(path))
            continue;
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        found.push_back({path, source, {}, &archive, i});
    }
    return found;
}

GameMap readMap(const Candidate& c, const DataFileReader& includes, const GameMapLimits& limits, bool& cancelled)
{
    GameMap map;
    map.path = QStringLiteral("data:") + c.path;
    map.source = c.source;
    QString error;
    const std::optional<QByteArray> bytes = c.archive != nullptr
        ? c.archive->read(c.index, &error, qint64(limits.memoryPerMap))
        : readRegularFile(c.file, std::min<qint64>(maxReadableFileBytes, qint64(limits.memoryPerMap)), &error);
    if (!bytes) {
        map.problem = QStringLiteral("The map cannot be read: %1").arg(error);
        return map;
    }
    ScriptOptions options;
    options.readInclude = includes;
    options.instructionLimit = limits.stepsPerMap;
    options.memoryLimit = limits.memoryPerMap;
    options.cancel = limits.cancel;
    GlobalsSink sink;
    const ScriptResult result = runLevelScript(*bytes, map.path, sink, options);
    cancelled = result.cancelled;
    map.players = sink.players;
    map.description = sink.description;
    if (!result.ok && !result.cancelled)
        map.problem =
            result.errorLine > 0 ? QStringLiteral("line %1: %2").arg(result.errorLine).arg(result.error) : result.error;
    return map;
}

} // namespace

GameMapList listGameMaps(const QStringList& dataFolders, const QStringList& archives, const GameMapLimits& limits)
{
    GameMapList list;
    const DataFileReader includes = dataFileReader(dataFolders, archives);
    std::vector<Candidate> candidates;
    for (const QString& folder : dataFolders) {
        std::vector<Candidate> found = looseMaps(folder);
        std::move(found.begin(), found.end(), std::back_inserter(candidates));
    }
    std::vector<BigArchive> opened;
    opened.reserve(std::size_t(archives.size()));
    for (const QString& path : archives) {
        opened.push_back(BigArchive::open(path));
        if (!opened.back().isValid())
            list.problems << opened.back().error();
    }
    for (std::size_t k = 0; k < opened.size(); ++k) {
        if (!opened[k].isValid())
            continue;
        std::vector<Candidate> found = archivedMaps(opened[k], archives[qsizetype(k)]);
        std::move(found.begin(), found.end(), std::back_inserter(candidates));
    }
    QSet<QString> listed;
    for (const Candidate& c : candidates) {
        const QString key = c.path.toLower();
        if (listed.contains(key))
            continue; // an earlier source hides it
        listed.insert(key);
        if (int(list.maps.size()) >= limits.maxMaps) {
            ++list.leftOut;
            continue;
        }
        if (limits.cancel != nullptr && limits.cancel->load()) {
            list.cancelled = true;
            break;
        }
        bool cancelled = false;
        list.maps.push_back(readMap(c, includes, limits, cancelled));
        if (cancelled) {
            list.cancelled = true;
            break;
        }
    }
    if (list.leftOut > 0)
        list.problems
            << QStringLiteral("%1 more maps were not listed: at most %2 are").arg(list.leftOut).arg(limits.maxMaps);
    return list;
}

GameMapList listGameMaps(const GameSetup& setup, const GameMapLimits& limits)
{
    return listGameMaps(setup.dataFolders(), setup.archives(), limits);
}

bool isDataPath(const QString& name)
{
    return name.startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
}

} // namespace starloom
