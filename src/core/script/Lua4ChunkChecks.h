#pragma once

// The parts of loading a compiled level that work on a function already read: the checks of its
// code (Lua4ChunkChecks.cpp) and the calls found in it (Lua4ChunkCalls.cpp). Internal to script/.

#include "Lua4Chunk.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace starloom::lua4chunk {

// Why a chunk cannot be loaded.
struct LoadError {
    QString what;
};

[[noreturn]] inline void fail(const QString& what)
{
    throw LoadError{what};
}

// Where an instruction is, for messages.
QString placeOf(const Lua4Function& f, bool main, std::size_t pc);

// The stack depth at every instruction that can run: -1 where none reaches. `open` marks an
// instruction reached right after a call that keeps all its results, whose values reach from
// slot `depth` to an unknown top.
struct Depths {
    std::vector<std::int16_t> depth;
    std::vector<std::uint8_t> open;
    std::vector<std::uint8_t> joined; // reached other than from the instruction before
};

// Checks everything an instruction of `f` relies on (its operands, the stack depths along every
// path, the constants and closures it names) so that the interpreter never reads outside its
// slots, constants or code; fails with the reason otherwise. `hasString` marks the string
// constants that are strings (not nil).
Depths checkCode(Lua4Function& f, const Lua4Chunk& chunk, const std::vector<std::uint8_t>& hasString, bool main);

// For every call of a value that a GetGlobal pushed: the global's name (so that an undefined one
// is reported as scripts report it), and the line of the name as the call's line.
void findCalledNames(Lua4Function& f, const Depths& d);

// The calls of game functions whose arguments are all constants, into f.constantCalls.
void findConstantCalls(Lua4Function& f, const Depths& d);

} // namespace starloom::lua4chunk
