#pragma once

// Lua 4.0 itself as the judge of what the game sees: ../shared/oracle built into the build folder
// (lua40, luac40) and its record-level.lua, which runs a level as the game does and prints the
// globals, the player table and every call of DetermChunk and NonDetermChunk. The same record is
// made of what the sandbox reports, so that the two can be compared line by line.

#include "OracleCompiler.h"
#include "ScriptTest.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace starloom::test {

// Why the oracle tests cannot run ("" when they can): no oracle beside the checkout, or it did not build.
QString oracleMissing();

// The seed record-level.lua starts random at unless told otherwise.
inline constexpr std::uint32_t oracleSeed = 12345;

struct LevelRecord {
    QStringList globals;                  // "levelDesc=...", "maxPlayers=...", "player[0] id=..." lines
    std::optional<QStringList> determ;    // the calls of DetermChunk, when it ran
    std::optional<QStringList> nonDeterm; // and of NonDetermChunk
    QString stoppedIn;                    // "" when everything ran; "load", "DetermChunk", "NonDetermChunk"
    QString error;                        // what stopped it
};

// Runs `level` (a file) under Lua 4.0 with record-level.lua.
LevelRecord oracleRecord(const QString& level, std::uint32_t seed = oracleSeed);

// The record of what the sandbox reported, in record-level.lua's format. The calls the main chunk
// makes are left out, as record-level.lua leaves them out.
LevelRecord sandboxRecord(const ScriptRun& run);

// Runs the level (text or compiled) in the sandbox with the oracle's random generator.
ScriptRun runWithOracleRandom(const QByteArray& level, const QString& fileName, std::uint32_t seed = oracleSeed);

// "" when the sandbox saw what Lua 4.0 saw; else the first differences. Where Lua 4.0 stopped a
// chunk with an error (a function of a missing include called), the sandbox, which goes on, must
// have reported that function, and only what came before is compared.
QString recordDifference(const LevelRecord& lua4, const LevelRecord& sandbox, const ScriptRun& run);

} // namespace starloom::test
