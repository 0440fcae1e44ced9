#pragma once

#include "levelfile/ReadSink.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace starloom {

// Reads a file a script includes: `path` as the script wrote it ("data:scripts/x.lua"). Returns
// its bytes; nullopt when there is no such file, or, with the reason in `error`, when there is one
// that cannot be read (longer than `maxBytes`, not a regular file, damaged in its archive).
using IncludeReader = std::function<std::optional<QByteArray>(const QString& path, qint64 maxBytes, QString* error)>;

struct ScriptOptions {
    // Reads an included file (unset: every include is missing). Called from the thread that runs
    // the script, with the room the script's memory limit leaves as `maxBytes`.
    IncludeReader readInclude;
    // Memory the script may hold, in bytes: Lua's own allocations and every byte the runner
    // keeps or builds for it (its recorded calls, problems, copies, include texts, translations).
    std::size_t memoryLimit = std::size_t{512} << 20;
    // Lua instructions and comparable steps of work done for the script in C++ (a call of a
    // library function, a callback, pattern matching, sorting, formatting, reading and translating
    // an include, ..., and one for every 4 bytes the script allocates) the whole run may take:
    // some 25 times what the largest real maps take (about 20 million), some seconds. The
    // processor time the run takes counts too, at 40 ns a step, for work no count sees.
    std::uint64_t instructionLimit = 500'000'000;
    // Checked every few thousand instructions; when it becomes true the run stops as cancelled.
    const std::atomic<bool>* cancel = nullptr;
    // Called now and then from the running thread with the number of calls recorded so far.
    std::function<void(qint64 callsRecorded)> progress;
    // False: Lua evaluates every call, also the calls of game functions with constant arguments
    // that the runner otherwise reads itself (the same calls, slower; for checking).
    bool readLiteralCalls = true;
    // For comparisons with Lua 4.0 running the level under ../shared/oracle/record-level.lua:
    // random and randomseed are that script's (an LCG mod 2^31 started at this seed, and its own
    // ranges), in place of the game's C runtime rand() seeded from the file's bytes.
    std::optional<std::uint32_t> oracleRandomSeed;
};

struct ScriptResult {
    bool ok = false;        // every part ran to its end (no error, no limit, not cancelled)
    bool cancelled = false; // options.cancel stopped the run; nothing was reported after it
    QString error;          // the first error that stopped a part of the script
    qint64 errorLine = 0;   // its line in the level (0 when unknown)
    qint64 randomCalls = 0; // calls of random(): when not 0, the layout is one of many
    qint64 callsRecorded = 0;
    std::uint64_t instructions = 0; // about how many steps the run took (counted, not timed)
    std::size_t peakMemory = 0;     // the most the script held at once, in bytes (as counted)
};

// Runs a level's script as the game does, in a sandbox, and reports what it builds to `sink`:
// - the main chunk, then DetermChunk() and NonDetermChunk() when the script defines them; every
//   call of a game function (isGameFunction, unless the script defines that name itself) is
//   reported by sink.call with its evaluated arguments, the part it ran in (Determ, NonDeterm, or
//   Other for the main chunk) and its line in the level, and returns nil;
// - then the values of levelDesc, maxPlayers and player that the run left (those not nil), by
//   sink.global, line 0;
// - sink.problem: what print writes (the first 100 prints, each cut to 1,000 bytes), the first
//   call of each undefined global that is not a game function (it returns nil and the run goes
//   on), includes that are missing or cannot be read, tables left out of a call's arguments; at
//   most ScriptState's 1,000 problems, then one that counts the others;
// - sink.stopped: the error that stopped a part, with its line. An error stops only its part: what
//   it recorded is kept and the next part runs. The limits and a cancel stop the whole run.
// A table passed to a game function is copied for the sink: a table met a second time in the
// arguments (shared, or holding itself) is left out, and a call whose arguments hold more than
// 100,000 values is left out, each with a problem.
// The script is Lua 4.0 text (see translateLua4) with Lua 4's library; it cannot reach files,
// processes or the rest of the program; dofilepath goes through options.readInclude. A compiled
// level (a Lua 4.0 chunk, see loadLua4Chunk) runs in the same sandbox with the same limits; one
// that cannot be loaded is refused with the reason. Random numbers are seeded from `source`, so
// the same text gives the same calls. Safe to call from any thread; runs share nothing.
ScriptResult runLevelScript(
    const QByteArray& source, const QString& fileName, ReadSink& sink, const ScriptOptions& options = {});

} // namespace starloom
