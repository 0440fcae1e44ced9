#pragma once

// Writing compiled Lua 4.0 chunks in the game's format from a description, for tests of the
// loader and the interpreter that need chunks no compiler writes (or no compiler at hand).

#include "script/Lua4Chunk.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace starloom::test {

struct ChunkFunction {
    int lineDefined = 0;
    int params = 0;
    bool vararg = false;
    int maxStack = 8;
    std::vector<std::int32_t> lineInfo;              // Lua 4.0's form: [-skip] pc ... (closed by writeChunk)
    std::vector<std::optional<std::string>> strings; // nullopt: the missing string
    std::vector<double> numbers;
    std::vector<ChunkFunction> functions;
    std::vector<std::uint32_t> code;
};

struct ChunkFormat {
    bool bigEndian = false;
    int sizeT = 4;
};

QByteArray writeChunk(const ChunkFunction& main, const ChunkFormat& format = {});

// Instructions.
std::uint32_t op(Lua4Op o);
std::uint32_t opU(Lua4Op o, std::uint32_t u);
std::uint32_t opS(Lua4Op o, std::int32_t s);
std::uint32_t opAB(Lua4Op o, std::uint32_t a, std::uint32_t b);

} // namespace starloom::test
