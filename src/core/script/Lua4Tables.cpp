// Lua 4's table functions for level scripts: getn, tinsert, tremove, foreach, foreachi, sort, with the
// "n" field where Lua 4 keeps one.

#include "Lua4LibraryFunctions.h"
#include "ScriptState.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace starloom {

namespace {

using namespace lua4lib;

// Entries tinsert and tremove move between two charges of the steps they take (one each).
constexpr lua_Integer moveSteps = 4096;

int lua4GetnFunction(lua_State* L)
{
    luaL_checktype(L, 1, LUA_TTABLE);
    lua_pushnumber(L, lua4Getn(L, 1));
    return 1;
}

int lua4Tinsert(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    luaL_checktype(L, 1, LUA_TTABLE);
    const int top = lua_gettop(L);
    lua_Integer n = lua4Getn(L, 1);
    lua_Integer pos = n + 1;
    if (top != 2)
        pos = lua4CheckInt(L, 2);
    luaL_checkany(L, top < 2 ? 2 : top);
    setN(L, 1, static_cast<double>(n) + 1);
    for (lua_Integer moved = 0; n >= pos; --n) {
        if (++moved % moveSteps == 0)
            s.chargeSteps(L, moveSteps); // as it goes: the limits and a cancel reach a long move
        lua_rawgeti(L, 1, n);
        lua_rawseti(L, 1, n + 1);
    }
    lua_pushvalue(L, top);
    lua_rawseti(L, 1, pos);
    return 0;
}

int lua4Tremove(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    luaL_checktype(L, 1, LUA_TTABLE);
    const lua_Integer n = lua4Getn(L, 1);
    lua_Integer pos = lua_isnoneornil(L, 2) ? n : lua4CheckInt(L, 2);
    if (n <= 0)
        return 0;
    lua_settop(L, 2);
    lua_rawgeti(L, 1, pos);
    for (lua_Integer moved = 0; pos < n; ++pos) {
        if (++moved % moveSteps == 0)
            s.chargeSteps(L, moveSteps); // as it goes: the limits and a cancel reach a long move
        lua_rawgeti(L, 1, pos + 1);
        lua_rawseti(L, 1, pos);
    }
    setN(L, 1, static_cast<double>(n) - 1);
    lua_pushnil(L);
    lua_rawseti(L, 1, n);
    return 1;
}

int lua4Foreachi(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checktype(L, 2, LUA_TFUNCTION);
    lua_settop(L, 2);
    const lua_Integer n = lua4Getn(L, 1);
    for (lua_Integer i = 1; i <= n; ++i) {
        s.chargeSteps(L, ScriptBudget::callSteps); // a callback, maybe a function of C's
        lua_pushvalue(L, 2);
        lua_pushnumber(L, static_cast<double>(i));
        lua_rawgeti(L, 1, i);
        lua_call(L, 2, 1);
        if (!lua_isnil(L, -1))
            return 1;
        lua_pop(L, 1);
    }
    return 0;
}

int lua4Foreach(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checktype(L, 2, LUA_TFUNCTION);
    lua_settop(L, 2);
    const lua_Integer border = lua4OrderedKeys(L, 1); // index 3: the other keys in order
    const auto others = static_cast<lua_Integer>(lua_rawlen(L, 3));
    for (lua_Integer i = 1; i <= border + others; ++i) {
        s.chargeSteps(L, ScriptBudget::callSteps);
        lua_pushvalue(L, 2);
        if (i <= border)
            lua_pushnumber(L, static_cast<double>(i));
        else
            lua_rawgeti(L, 3, i - border);
        lua_pushvalue(L, -1);
        lua_rawget(L, 1);
        if (lua_isnil(L, -1)) { // removed meanwhile
            lua_pop(L, 3);
            continue;
        }
        lua_call(L, 2, 1);
        if (!lua_isnil(L, -1))
            return 1;
        lua_pop(L, 1);
    }
    return 0;
}

// A comparison of sort: a few steps (a call of the order function when there is one), and two
// strings' bytes.
bool sortLess(lua_State* L, int a, int b)
{
    a = lua_absindex(L, a);
    b = lua_absindex(L, b);
    ScriptState& s = ScriptState::of(L);
    s.chargeSteps(L, 4);
    if (lua_isnil(L, 2)) {
        // Two strings are compared byte by byte: as much work as their length.
        if (lua_type(L, a) == LUA_TSTRING && lua_type(L, b) == LUA_TSTRING)
            s.chargeSteps(L, std::min(lua_rawlen(L, a), lua_rawlen(L, b)) / (2 * ScriptBudget::bytesPerStep));
        return lua_compare(L, a, b, LUA_OPLT) != 0;
    }
    lua_pushvalue(L, 2);
    lua_pushvalue(L, a);
    lua_pushvalue(L, b);
    lua_call(L, 2, 1);
    const bool less = lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    return less;
}

// t[i] = top, t[j] = the value below it; pops both.
void set2(lua_State* L, lua_Integer i, lua_Integer j)
{
    lua_rawseti(L, 1, i);
    lua_rawseti(L, 1, j);
}

// Lua 4.0's quicksort (no random pivot, so the same table always sorts the same way).
void auxsort(lua_State* L, ScriptState& s, lua_Integer lo, lua_Integer up)
{
    while (lo < up) {
        lua_rawgeti(L, 1, lo);
        lua_rawgeti(L, 1, up);
        if (sortLess(L, -1, -2))
            set2(L, lo, up);
        else
            lua_pop(L, 2);
        if (up - lo == 1)
            break;
        lua_Integer i = lo + (up - lo) / 2;
        lua_rawgeti(L, 1, i);
        lua_rawgeti(L, 1, lo);
        if (sortLess(L, -2, -1)) {
            set2(L, i, lo);
        } else {
            lua_pop(L, 1);
            lua_rawgeti(L, 1, up);
            if (sortLess(L, -1, -2))
                set2(L, i, up);
            else
                lua_pop(L, 2);
        }
        if (up - lo == 2)
            break;
        lua_rawgeti(L, 1, i); // the pivot P
        lua_pushvalue(L, -1);
        lua_rawgeti(L, 1, up - 1);
        set2(L, i, up - 1); // a[i] = a[up - 1], a[up - 1] = P
        i = lo;
        lua_Integer j = up - 1;
        for (;;) {
            while (lua_rawgeti(L, 1, ++i), sortLess(L, -1, -2)) {
                if (i == up - 1)
                    luaL_error(L, "invalid order function for sorting");
                lua_pop(L, 1);
            }
            while (lua_rawgeti(L, 1, --j), sortLess(L, -3, -1)) {
                if (j < i)
                    luaL_error(L, "invalid order function for sorting");
                lua_pop(L, 1);
            }
            if (j < i) {
                lua_pop(L, 3);
                break;
            }
            set2(L, i, j);
        }
        lua_rawgeti(L, 1, up - 1);
        lua_rawgeti(L, 1, i);
        set2(L, up - 1, i);
        if (i - lo < up - i) {
            j = lo;
            i = i - 1;
            lo = i + 2;
        } else {
            j = i + 1;
            i = up;
            up = j - 2;
        }
        auxsort(L, s, j, i);
    }
}

int lua4Sort(lua_State* L)
{
    luaL_checktype(L, 1, LUA_TTABLE);
    const int n = lua4Getn(L, 1);
    if (n > 1) {
        if (!lua_isnoneornil(L, 2))
            luaL_checktype(L, 2, LUA_TFUNCTION);
        lua_settop(L, 2);
        luaL_checkstack(L, 10, "sort");
        auxsort(L, ScriptState::of(L), 1, n);
    }
    return 0;
}

} // namespace

int lua4Getn(lua_State* L, int table)
{
    table = lua_absindex(L, table);
    lua_pushliteral(L, "n");
    lua_rawget(L, table);
    if (lua_type(L, -1) == LUA_TNUMBER) {
        const int n = toInt(lua_tonumber(L, -1));
        lua_pop(L, 1);
        return n;
    }
    lua_pop(L, 1);
    // Lua 4: the largest number key whose value is not nil.
    ScriptState& s = ScriptState::of(L);
    double max = 0;
    std::uint64_t steps = 0;
    lua_pushnil(L);
    while (lua_next(L, table) != 0) {
        if (lua_type(L, -2) == LUA_TNUMBER) {
            const double key = lua_tonumber(L, -2);
            if (key > max)
                max = key;
        }
        lua_pop(L, 1);
        ++steps;
    }
    s.chargeSteps(L, steps / 8);
    return toInt(max);
}

lua_Integer lua4OrderedKeys(lua_State* L, int table)
{
    table = lua_absindex(L, table);
    const auto border = static_cast<lua_Integer>(lua_rawlen(L, table));
    ScriptState& s = ScriptState::of(L);
    // The other keys, numbers and strings apart, each with the slot it has in `keys`.
    HeldBytes held(s.budget, L);
    std::vector<std::pair<double, int>> numbers;
    std::vector<std::pair<std::string_view, int>> strings;
    std::vector<int> rest;
    lua_newtable(L);
    const int keys = lua_gettop(L);
    int count = 0;
    std::uint64_t steps = 0;
    lua_pushnil(L);
    while (lua_next(L, table) != 0) {
        lua_pop(L, 1);
        ++steps;
        if (lua_isinteger(L, -1)) {
            const lua_Integer k = lua_tointeger(L, -1);
            if (k >= 1 && k <= border)
                continue;
        }
        lua_pushvalue(L, -1);
        lua_rawseti(L, keys, ++count);
        if ((count & 1023) == 1) // room for the next 1024 keys in the lists below
            held.add(1024 * sizeof(std::pair<std::string_view, int>) * 2);
        switch (lua_type(L, -1)) {
        case LUA_TNUMBER:
            numbers.push_back({lua_tonumber(L, -1), count});
            break;
        case LUA_TSTRING: {
            std::size_t len = 0;
            const char* text = lua_tolstring(L, -1, &len); // kept alive by `keys`
            strings.push_back({std::string_view(text, len), count});
            break;
        }
        default:
            rest.push_back(count);
        }
    }
    s.chargeSteps(L, steps / 8);
    if (count == 0)
        return border;
    // Sorting charges its comparisons as it goes, so that the limits and a cancel reach it.
    std::uint64_t compared = 0;
    auto charge = [&](std::uint64_t work) {
        if ((compared += work) >= 4096) {
            s.chargeSteps(L, compared / 4);
            compared = 0;
        }
    };
    std::sort(numbers.begin(), numbers.end(), [&](const auto& a, const auto& b) {
        charge(1);
        return a < b;
    });
    std::sort(strings.begin(), strings.end(), [&](const auto& a, const auto& b) {
        charge(1 + std::min(a.first.size(), b.first.size()) / 16);
        return lua4KeyLess(a.first, b.first);
    });
    lua_createtable(L, count, 0);
    int slot = 0;
    for (const auto& n : numbers) {
        lua_rawgeti(L, keys, n.second);
        lua_rawseti(L, -2, ++slot);
    }
    for (const auto& str : strings) {
        lua_rawgeti(L, keys, str.second);
        lua_rawseti(L, -2, ++slot);
    }
    for (const int r : rest) {
        lua_rawgeti(L, keys, r);
        lua_rawseti(L, -2, ++slot);
    }
    lua_replace(L, keys);
    return border;
}

// The table functions, in the order the library registers them.
const luaL_Reg lua4TableFunctions[] = {
    {"getn", charged<lua4GetnFunction>},
    {"tinsert", charged<lua4Tinsert>},
    {"tremove", charged<lua4Tremove>},
    {"foreach", charged<lua4Foreach>},
    {"foreachi", charged<lua4Foreachi>},
    {"sort", charged<lua4Sort>},
    {nullptr, nullptr},
};

} // namespace starloom
