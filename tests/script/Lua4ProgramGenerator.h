#pragma once

// Random Lua 4.0 level programs for differential tests and fuzzing: a main chunk that sets the
// level's globals and defines helper functions, then DetermChunk and NonDetermChunk, with loops
// (numeric for whose variable the body may change, while, repeat), locals, closures reading
// upvalues (changed after the closure is made), tables used as lists, string and maths functions,
// random, dostring, numbers whose text needs 16 digits, and calls of the game's level functions.
// Every value keeps one type (number, string or list of numbers), so a program runs without
// errors, and nothing depends on what Lua 4.0 leaves undefined (no traversal of a table's keys,
// no comparison with NaN). The same seed gives the same program on every machine.

#include <cstdint>
#include <string>

namespace starloom::test {

std::string randomLua4Program(std::uint64_t seed);

} // namespace starloom::test
