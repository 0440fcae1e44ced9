#pragma once

// The Lua 4 library's functions by area (Lua4Tables.cpp, Lua4Strings.cpp, Lua4Maths.cpp) for
// openLua4Library, and what writing one takes: small conversions, stack helpers and the charge
// of a call. Internal to script/.

#include "ScriptState.h"

#include <lua.hpp>

#include <climits>
#include <string_view>

namespace starloom {

// Each list ends with {nullptr, nullptr}.
extern const luaL_Reg lua4TableFunctions[];
extern const luaL_Reg lua4StringFunctions[];
extern const luaL_Reg lua4MathFunctions[];

namespace lua4lib {

inline constexpr double pi = 3.14159265358979323846;

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// (int) of a double as the game's C runtime does it: toward zero, INT_MIN when out of range.
inline int toInt(double d)
{
    if (!(d > -2147483649.0 && d < 2147483648.0))
        return INT_MIN;
    return static_cast<int>(d);
}

inline long long toLong(double d)
{
    if (!(d > -9.2e18 && d < 9.2e18))
        return LLONG_MIN;
    return static_cast<long long>(d);
}

inline bool isFormatDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Sets t.n, the length Lua 4 keeps in a table.
inline void setN(lua_State* L, int table, double n)
{
    lua_pushliteral(L, "n");
    lua_pushnumber(L, n);
    lua_rawset(L, table);
}

inline void pushString(lua_State* L, std::string_view s)
{
    lua_pushlstring(L, s.data(), s.size());
}

// A library function as scripts call it: each call costs ScriptBudget::callSteps before its own
// work (which the function charges itself), so that calls made from C (a callback of foreachi)
// or in a tight loop reach the step limit, and a cancel, like Lua's own instructions.
template <lua_CFunction f> int charged(lua_State* L)
{
    ScriptState::of(L).chargeSteps(L, ScriptBudget::callSteps);
    return f(L);
}

} // namespace lua4lib

} // namespace starloom
