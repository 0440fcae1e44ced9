// Lua 4's conversions for level scripts: the text of a number ("%.16g"), the number a text stands
// for, and the conversions of arguments with Lua's "bad argument" errors.

#include "Lua4LibraryFunctions.h"
#include "ScriptState.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

namespace starloom {

using namespace lua4lib;

std::string_view lua4NumberText(double value, char* buffer)
{
    const auto [end, ec] = std::to_chars(buffer, buffer + 32, value, std::chars_format::general, 16);
    if (ec != std::errc())
        return "nan";
    return std::string_view(buffer, static_cast<std::size_t>(end - buffer));
}

void lua4ForNumber(lua_State* L, int index, const char* what)
{
    index = lua_absindex(L, index);
    if (lua_type(L, index) == LUA_TSTRING) {
        std::size_t len = 0;
        const char* text = lua_tolstring(L, index, &len);
        double value = 0;
        if (lua4StringToNumber(std::string_view(text, len), value)) {
            lua_pushnumber(L, value);
            lua_replace(L, index);
        }
    }
    if (lua_type(L, index) != LUA_TNUMBER)
        luaL_error(L, "'for' %s must be a number", what);
}

bool lua4StringToNumber(std::string_view text, double& value)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !(isFormatDigit(text[0]) || (text[0] == '.' && text.size() > 1 && isFormatDigit(text[1]))))
        return false;
    double parsed = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed, std::chars_format::general);
    if (end != text.data() + text.size())
        return false;
    if (ec == std::errc::result_out_of_range) {
        const auto e = text.find_first_of("eE");
        parsed = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-' ? 0.0 : HUGE_VAL;
    } else if (ec != std::errc()) {
        return false;
    }
    value = negative ? -parsed : parsed;
    return true;
}

double lua4CheckNumber(lua_State* L, int arg)
{
    switch (lua_type(L, arg)) {
    case LUA_TNUMBER:
        return lua_tonumber(L, arg);
    case LUA_TSTRING: {
        std::size_t len = 0;
        const char* text = lua_tolstring(L, arg, &len);
        ScriptState::of(L).chargeSteps(L, len / ScriptBudget::bytesPerStep);
        double value = 0;
        if (lua4StringToNumber(std::string_view(text, len), value))
            return value;
        break;
    }
    default:
        break;
    }
    luaL_typeerror(L, arg, "number");
    return 0;
}

double lua4OptNumber(lua_State* L, int arg, double fallback)
{
    return lua_isnoneornil(L, arg) ? fallback : lua4CheckNumber(L, arg);
}

int lua4CheckInt(lua_State* L, int arg)
{
    return toInt(lua4CheckNumber(L, arg));
}

std::string_view lua4CheckString(lua_State* L, int arg)
{
    std::size_t len = 0;
    switch (lua_type(L, arg)) {
    case LUA_TSTRING: {
        const char* text = lua_tolstring(L, arg, &len);
        return std::string_view(text, len);
    }
    case LUA_TNUMBER: {
        char buffer[32];
        pushString(L, lua4NumberText(lua_tonumber(L, arg), buffer));
        lua_replace(L, arg);
        const char* text = lua_tolstring(L, arg, &len);
        return std::string_view(text, len);
    }
    default:
        luaL_typeerror(L, arg, "string");
        return {};
    }
}

std::string lua4ToString(lua_State* L, int index, std::size_t maxLength)
{
    char buffer[64];
    switch (lua_type(L, index)) {
    case LUA_TNUMBER:
        return std::string(lua4NumberText(lua_tonumber(L, index), buffer));
    case LUA_TSTRING: {
        std::size_t len = 0;
        const char* text = lua_tolstring(L, index, &len);
        return std::string(text, std::min(len, maxLength));
    }
    case LUA_TNIL:
    case LUA_TNONE:
        return "nil";
    case LUA_TBOOLEAN:
        return lua_toboolean(L, index) ? "1" : "nil";
    default:
        std::snprintf(buffer, sizeof buffer, "%s: %p", luaL_typename(L, index), lua_topointer(L, index));
        return buffer;
    }
}

} // namespace starloom
