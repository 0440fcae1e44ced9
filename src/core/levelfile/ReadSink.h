#pragma once

#include "document/KeptCall.h"
#include "document/LuaValue.h"

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace starloom {

// One call of a game function with its arguments, as the game would receive it.
struct LevelCall {
    std::string name;
    std::vector<LuaValue> args;
    Chunk chunk = Chunk::Determ;
    qint64 line = 0; // 1-based line of the call in the file; 0 when unknown
};

// What reading a level produces, in order: the line reader (which reads the literal calls of the
// file) and the script runner (which runs the script and records its calls) both report here,
// so that both ways of opening a file share one path into the level.
class ReadSink {
public:
    virtual ~ReadSink() = default;
    // A call of a game function (see isGameFunction).
    virtual void call(const LevelCall& call) = 0;
    // The same, from a caller that no longer needs the call: a sink that keeps calls takes it
    // without a copy.
    virtual void takeCall(LevelCall&& call) { this->call(call); }
    // A call offered as the bytes of its arguments (after its "(") before they are read as
    // values, for a sink that can take calls written the way the editor writes them straight
    // from their bytes. The sink returns the count of bytes through the call's ")" and holds the
    // call until keepOffered() or dropOffered(); 0 declines, and the call comes by call() as usual.
    virtual std::size_t offerCall(std::string_view /*name*/, std::string_view /*bytes*/, Chunk, qint64 /*line*/)
    {
        return 0;
    }
    // The call offered last, taken: as if it had come by call().
    virtual void keepOffered() {}
    // The call offered last turned out to be part of a longer expression: as if it never came.
    virtual void dropOffered() {}
    // The value of one of the level's globals ("levelDesc", "maxPlayers", "player") as the file
    // leaves it.
    virtual void global(std::string_view name, const LuaValue& value, qint64 line) = 0;
    // Something the reader skipped, clamped or could not take; `line` 0 is the file as a whole.
    virtual void problem(qint64 line, const QString& reason) = 0;
    // The error that stopped the script, or a part of it: a problem that comes before the others,
    // whatever a cap on the problems leaves out.
    virtual void stopped(qint64 line, const QString& reason) { problem(line, reason); }
};

} // namespace starloom
