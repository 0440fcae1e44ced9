#pragma once

// Lua 4's pattern functions for level scripts. Internal to script/.

#include <lua.hpp>

namespace starloom {

// strfind(s, pattern [, init [, plain]]): start, end and the captures of the first match, or nil.
int lua4Strfind(lua_State* L);

// gsub(s, pattern, replacement [, max]): the string with the matches replaced, and their count.
// `replacement` is a string (%1 .. %9 stand for the captures) or a function of the captures whose
// string result replaces the match (any other result removes it).
int lua4Gsub(lua_State* L);

} // namespace starloom
