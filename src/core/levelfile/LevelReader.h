#pragma once

#include "ReadSink.h"

#include "document/Catalogue.h"
#include "document/Level.h"

#include <QIODevice>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace starloom {

// Something in the file that the reader skipped, clamped or read as 0.
struct ReadProblem {
    qint64 line = 0; // 1-based; 0 for the file as a whole
    QString reason;
};

struct ReadResult {
    std::vector<ReadProblem> problems;
    std::optional<ItemKind> lastKind; // last kind whose model list the load used (an array kind)
    bool worldBoundsRead = false;     // a setWorldBoundsInner call set the world size
    int itemsRead = 0;
    // Items the file places that the level cannot hold (a start point that names no player slot,
    // items of a kind beyond the most a level holds); each is also a problem.
    int itemsLeftOut = 0;
    int callsKept = 0;      // calls of the chunks kept as they are
    int callsSkipped = 0;   // calls of game functions whose arguments the script computes
    int scriptInChunks = 0; // loops, locals, helper calls, ... inside the chunk functions
};

struct LineReadSummary {
    int callsSkipped = 0;   // calls of game functions whose arguments the script computes
    int scriptInChunks = 0; // script code other than literal calls inside DetermChunk and NonDetermChunk
    // Chunk definitions that a later definition of the same chunk replaces (line -> the last
    // definition's line). Read with `replaced` from a first reading, their calls are not read.
    std::map<qint64, qint64> replaced;
};

// The line reader proper: reads the level script token by token as the game's Lua 4.0 does, and
// reports to `sink` the calls of game functions whose arguments are written out literally (inside
// DetermChunk and NonDetermChunk, and inside helper functions with chunk Other) and the final
// values of the globals levelDesc, maxPlayers and player. It never runs the script: loops, local
// variables, helper functions and computed arguments are counted and reported as problems, with
// a closing summary of what was skipped.
LineReadSummary readLevelCalls(QIODevice& input, ReadSink& sink, const std::map<qint64, qint64>& replaced = {});

// Reads a .level script into `level`: its items are appended to the document and listed as rows
// in file order, its globals, player table and the editor's level-wide lines replace the level's,
// the other calls of its chunks are kept. Bad values are skipped or clamped and reported in the
// result; no half-made item is ever stored. Compiled (bytecode) and binary files read nothing.
ReadResult readLevel(QIODevice& input, Level& level, ModelLists& models);

// Load Level: opens `path` and reads it into `level` as above. When the file cannot be opened,
// returns nullopt and sets `error` to the reason.
std::optional<ReadResult> loadLevel(const QString& path, Level& level, ModelLists& models, QString* error);

// All problems as one text: "line N: reason" per line, at most `limit` lines and a count of the rest.
QString problemsText(const std::vector<ReadProblem>& problems, int limit = 20);

} // namespace starloom
