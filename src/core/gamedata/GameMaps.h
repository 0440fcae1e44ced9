#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace starloom {

struct GameSetup;

// A multiplayer map of the game's data, as the game lists it.
struct GameMap {
    QString path;        // "data:LevelData/Multiplayer/deathmatch/2p_rift.level", letter case as found
    int players = 0;     // maxPlayers as the map's script leaves it; 0 when it sets none that is a count
    QString description; // levelDesc as the script leaves it; empty when it sets none
    QString source;      // the loose data folder or the archive file it was read from
    QString problem;     // why the players or description may be missing or partial; empty when it ran
};

struct GameMapLimits {
    // Maps listed at most (the ones after it are counted in `left out`).
    int maxMaps = 2000;
    // What each map's script may take (see ScriptOptions): enough for the largest real maps.
    std::uint64_t stepsPerMap = 200'000'000;
    std::size_t memoryPerMap = std::size_t{256} << 20;
    // Checked between maps and during each run; when it becomes true the listing stops.
    const std::atomic<bool>* cancel = nullptr;
};

struct GameMapList {
    std::vector<GameMap> maps;
    int leftOut = 0;      // maps past the limit, not listed
    QStringList problems; // sources that could not be read, in sentences
    bool cancelled = false;
};

// The multiplayer maps in the data: every file "*.level" below "LevelData/Multiplayer" (every
// name in any letter case) of the loose data folders, in order, then of the archives, in order,
// the order in which a script's include finds a file. A path already listed (any letter case)
// hides the same path in a later source. Loose maps of one folder come sorted by path, an
// archive's in its table order. Each map's script runs in the sandbox, its includes read from the
// same data, to learn maxPlayers and levelDesc; compiled maps run too. A map whose script stops
// with an error or a limit is listed with what it had set and the reason.
GameMapList listGameMaps(const QStringList& dataFolders, const QStringList& archives, const GameMapLimits& limits = {});
// The same over the setup's data folders and archives.
GameMapList listGameMaps(const GameSetup& setup, const GameMapLimits& limits = {});

// True when `name` names a file in the game's data ("data:LevelData/...", any letter case).
bool isDataPath(const QString& name);

} // namespace starloom
