// The library a level script sees: Lua 4.0's base, string and math functions as globals, with
// Lua 4's behaviour where Lua 5.4's differs (numbers as "%.14g", trigonometry in degrees,
// format("%d", 2.5), getn and tinsert with the "n" field, the C runtime's rand()), and nothing
// that reaches files, processes or the interpreter itself.

#include "Lua4Pattern.h"
#include "Lua4Source.h"
#include "ScriptState.h"

#include "levelfile/GameFunctions.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace starloom {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double radiansPerDegree = pi / 180.0;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// (int) of a double as the game's C runtime does it: toward zero, INT_MIN when out of range.
int toInt(double d)
{
    if (!(d > -2147483649.0 && d < 2147483648.0))
        return INT_MIN;
    return static_cast<int>(d);
}

long long toLong(double d)
{
    if (!(d > -9.2e18 && d < 9.2e18))
        return LLONG_MIN;
    return static_cast<long long>(d);
}

void pushString(lua_State* L, std::string_view s)
{
    lua_pushlstring(L, s.data(), s.size());
}

// --- base

int lua4Print(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    std::string text;
    const int n = lua_gettop(L);
    for (int i = 1; i <= n; ++i) {
        if (i > 1)
            text += '\t';
        text += lua4ToString(L, i);
    }
    constexpr int maxPrinted = 100;
    if (s.printed < maxPrinted)
        s.problem(
            s.levelLine(L), QStringLiteral("print: %1").arg(QString::fromLatin1(text.data(), qsizetype(text.size()))));
    else if (s.printed == maxPrinted)
        s.problem(s.levelLine(L), QStringLiteral("print: (the script prints more; the rest is left out)"));
    ++s.printed;
    return 0;
}

int lua4Tostring(lua_State* L)
{
    luaL_checkany(L, 1);
    pushString(L, lua4ToString(L, 1));
    return 1;
}

bool digitValue(char c, int base, int& value)
{
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'z')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z')
        value = c - 'A' + 10;
    else
        return false;
    return value < base;
}

int lua4Tonumber(lua_State* L)
{
    const int base = lua_isnoneornil(L, 2) ? 10 : lua4CheckInt(L, 2);
    if (base == 10) {
        luaL_checkany(L, 1);
        double value = 0;
        if (lua_type(L, 1) == LUA_TNUMBER) {
            lua_pushnumber(L, lua_tonumber(L, 1));
            return 1;
        }
        if (lua_type(L, 1) == LUA_TSTRING) {
            std::size_t len = 0;
            const char* text = lua_tolstring(L, 1, &len);
            if (lua4StringToNumber(std::string_view(text, len), value)) {
                lua_pushnumber(L, value);
                return 1;
            }
        }
        lua_pushnil(L);
        return 1;
    }
    luaL_argcheck(L, base >= 2 && base <= 36, 2, "base out of range");
    const std::string_view text = lua4CheckString(L, 1);
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (base == 16 && i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        i += 2;
    double value = 0;
    const std::size_t digits = i;
    int digit = 0;
    while (i < text.size() && digitValue(text[i], base, digit)) {
        value = value * base + digit;
        ++i;
    }
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i == digits || i != text.size()) {
        lua_pushnil(L);
        return 1;
    }
    lua_pushnumber(L, negative ? -value : value);
    return 1;
}

int lua4Type(lua_State* L)
{
    luaL_checkany(L, 1);
    switch (lua_type(L, 1)) {
    case LUA_TBOOLEAN:
        lua_pushstring(L, lua_toboolean(L, 1) ? "number" : "nil");
        break;
    default:
        lua_pushstring(L, luaL_typename(L, 1));
    }
    return 1;
}

int lua4Assert(lua_State* L)
{
    luaL_checkany(L, 1);
    if (!lua_toboolean(L, 1)) {
        const std::string message =
            lua_isnoneornil(L, 2) ? std::string() : std::string(lua4CheckString(L, 2)).substr(0, 90);
        luaL_where(L, 1);
        lua_pushstring(L, "assertion failed!  ");
        pushString(L, message);
        lua_concat(L, 3);
        return lua_error(L);
    }
    return 0;
}

int lua4Error(lua_State* L)
{
    if (lua_type(L, 1) == LUA_TSTRING || lua_type(L, 1) == LUA_TNUMBER) {
        const std::string message = lua4ToString(L, 1);
        luaL_where(L, 1);
        pushString(L, message);
        lua_concat(L, 2);
    } else if (lua_isnoneornil(L, 1)) {
        lua_pushstring(L, "error");
    } else {
        lua_settop(L, 1);
    }
    return lua_error(L);
}

// call(f, args [, options]): calls f with args[1 .. getn(args)]; with "x" in options an error
// gives nil instead of stopping the script.
int lua4Call(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    luaL_checkany(L, 1);
    luaL_checktype(L, 2, LUA_TTABLE);
    const std::string options = lua_isnoneornil(L, 3) ? std::string() : std::string(lua4CheckString(L, 3));
    if (options.find('p') != std::string::npos)
        return luaL_error(L, "obsolete option 'p' in 'call'");
    const int n = lua4Getn(L, 2);
    if (n > 8000 || !lua_checkstack(L, n + 2))
        return luaL_error(L, "too many arguments to 'call'");
    lua_settop(L, 2);
    lua_pushvalue(L, 1);
    for (int i = 1; i <= n; ++i)
        lua_rawgeti(L, 2, i);
    if (options.find('x') == std::string::npos) {
        lua_call(L, n, LUA_MULTRET);
        return lua_gettop(L) - 2;
    }
    const int status = lua_pcall(L, n, LUA_MULTRET, 0);
    if (status != LUA_OK) {
        if (s.stop != ScriptStop::None || status == LUA_ERRMEM)
            return lua_error(L); // the limits and a cancel are not the script's to catch
        const std::string message = lua4ToString(L, -1);
        s.problem(s.levelLine(L),
            QStringLiteral("An error caught by call(): %1")
                .arg(lua4MessageFromTranslation(QString::fromLatin1(message.data(), qsizetype(message.size())))));
        lua_pushnil(L);
        return 1;
    }
    return lua_gettop(L) - 2;
}

int lua4Getglobal(lua_State* L)
{
    const std::string name = lua4NameInTranslation(lua4CheckString(L, 1));
    lua_getglobal(L, name.c_str());
    return 1;
}

int lua4Setglobal(lua_State* L)
{
    const std::string name = lua4NameInTranslation(lua4CheckString(L, 1));
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    lua_setglobal(L, name.c_str());
    return 0;
}

int lua4Globals(lua_State* L)
{
    lua_pushglobaltable(L);
    return 1;
}

int lua4Rawget(lua_State* L)
{
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    lua_rawget(L, 1);
    return 1;
}

int lua4Rawset(lua_State* L)
{
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checkany(L, 2);
    luaL_checkany(L, 3);
    lua_settop(L, 3);
    lua_rawset(L, 1);
    return 1;
}

void pushKey(lua_State* L, int index)
{
    if (lua_isinteger(L, index))
        lua_pushnumber(L, static_cast<double>(lua_tointeger(L, index)));
    else
        lua_pushvalue(L, index);
}

int lua4Next(lua_State* L)
{
    luaL_checktype(L, 1, LUA_TTABLE);
    lua_settop(L, 2);
    if (lua_next(L, 1) == 0) {
        lua_pushnil(L);
        return 1;
    }
    pushKey(L, -2);
    lua_replace(L, -3);
    return 2;
}

// --- tables

int lua4GetnFunction(lua_State* L)
{
    luaL_checktype(L, 1, LUA_TTABLE);
    lua_pushnumber(L, lua4Getn(L, 1));
    return 1;
}

void setN(lua_State* L, int table, double n)
{
    lua_pushliteral(L, "n");
    lua_pushnumber(L, n);
    lua_rawset(L, table);
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
    if (n >= pos)
        s.chargeSteps(L, static_cast<std::uint64_t>(n - pos) + 1);
    for (; n >= pos; --n) {
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
    if (pos < n)
        s.chargeSteps(L, static_cast<std::uint64_t>(n - pos));
    for (; pos < n; ++pos) {
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
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checktype(L, 2, LUA_TFUNCTION);
    lua_settop(L, 2);
    const lua_Integer n = lua4Getn(L, 1);
    for (lua_Integer i = 1; i <= n; ++i) {
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
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checktype(L, 2, LUA_TFUNCTION);
    lua_settop(L, 2);
    const lua_Integer border = lua4OrderedKeys(L, 1); // index 3: the other keys in order
    const auto others = static_cast<lua_Integer>(lua_rawlen(L, 3));
    for (lua_Integer i = 1; i <= border + others; ++i) {
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

bool sortLess(lua_State* L, int a, int b)
{
    a = lua_absindex(L, a);
    b = lua_absindex(L, b);
    if (lua_isnil(L, 2))
        return lua_compare(L, a, b, LUA_OPLT) != 0;
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
        s.chargeSteps(L, 4 * static_cast<std::uint64_t>(up - lo)); // a comparison takes a few calls
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

// --- strings

long long relativePosition(long long pos, std::size_t len)
{
    return pos >= 0 ? pos : static_cast<long long>(len) + pos + 1;
}

int lua4Strlen(lua_State* L)
{
    lua_pushnumber(L, static_cast<double>(lua4CheckString(L, 1).size()));
    return 1;
}

int lua4Strsub(lua_State* L)
{
    const std::string_view s = lua4CheckString(L, 1);
    long long start = relativePosition(toLong(lua4CheckNumber(L, 2)), s.size());
    long long end = relativePosition(toLong(lua4OptNumber(L, 3, -1)), s.size());
    start = std::max(start, 1LL);
    end = std::min(end, static_cast<long long>(s.size()));
    if (start <= end)
        pushString(L, s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(end - start + 1)));
    else
        lua_pushliteral(L, "");
    return 1;
}

template <bool upper> int lua4ChangeCase(lua_State* L)
{
    std::string s(lua4CheckString(L, 1));
    for (char& c : s) {
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    pushString(L, s);
    return 1;
}

int lua4Strchar(lua_State* L)
{
    const int n = lua_gettop(L);
    std::string s;
    for (int i = 1; i <= n; ++i) {
        const int c = lua4CheckInt(L, i);
        luaL_argcheck(L, c >= 0 && c <= 255, i, "invalid value");
        s += static_cast<char>(c);
    }
    pushString(L, s);
    return 1;
}

int lua4Strrep(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    const std::string_view text = lua4CheckString(L, 1);
    const int n = lua4CheckInt(L, 2);
    if (n <= 0 || text.empty()) {
        lua_pushliteral(L, "");
        return 1;
    }
    const auto count = static_cast<std::size_t>(n);
    if (text.size() > s.options.memoryLimit / count)
        return luaL_error(L, "strrep: the result would need more than the memory limit");
    const std::size_t total = text.size() * count;
    s.checkRoom(L, total);
    s.chargeSteps(L, total / 64);
    luaL_Buffer b;
    char* out = luaL_buffinitsize(L, &b, total);
    for (std::size_t i = 0; i < count; ++i)
        std::memcpy(out + i * text.size(), text.data(), text.size());
    luaL_pushresultsize(&b, total);
    return 1;
}

int lua4Strbyte(lua_State* L)
{
    const std::string_view s = lua4CheckString(L, 1);
    const long long pos = relativePosition(toLong(lua4OptNumber(L, 2, 1)), s.size());
    luaL_argcheck(L, pos > 0 && static_cast<std::size_t>(pos) <= s.size(), 2, "out of range");
    lua_pushnumber(L, static_cast<unsigned char>(s[static_cast<std::size_t>(pos - 1)]));
    return 1;
}

// A number as printf's e, f or g conversion writes it in the C locale, with its flags.
std::string formatFloat(double value, char conversion, std::string_view flags, int width, int precision)
{
    char buffer[512];
    std::chars_format style = std::chars_format::general;
    const char lower = static_cast<char>(conversion | 0x20);
    if (lower == 'e')
        style = std::chars_format::scientific;
    else if (lower == 'f')
        style = std::chars_format::fixed;
    if (precision < 0)
        precision = 6;
    if (lower == 'g' && precision == 0)
        precision = 1;
    const double magnitude = std::fabs(value);
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, magnitude, style, precision);
    std::string digits = ec == std::errc() ? std::string(buffer, end) : std::string("inf");
    if (conversion == 'E' || conversion == 'G') {
        for (char& c : digits)
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    std::string sign;
    if (std::signbit(value) && !std::isnan(value))
        sign = "-";
    else if (flags.find('+') != std::string_view::npos)
        sign = "+";
    else if (flags.find(' ') != std::string_view::npos)
        sign = " ";
    const auto length = sign.size() + digits.size();
    const auto padding =
        width > 0 && static_cast<std::size_t>(width) > length ? static_cast<std::size_t>(width) - length : 0;
    if (flags.find('-') != std::string_view::npos)
        return sign + digits + std::string(padding, ' ');
    if (flags.find('0') != std::string_view::npos && std::isfinite(value))
        return sign + std::string(padding, '0') + digits;
    return std::string(padding, ' ') + sign + digits;
}

void addQuoted(std::string& out, std::string_view s)
{
    out += '"';
    for (const char c : s) {
        switch (c) {
        case '"':
        case '\\':
        case '\n':
            out += '\\';
            out += c;
            break;
        case '\0':
            out += "\\000";
            break;
        default:
            out += c;
        }
    }
    out += '"';
}

bool isFormatDigit(char c)
{
    return c >= '0' && c <= '9';
}

int lua4Format(lua_State* L)
{
    int arg = 1;
    const std::string_view format = lua4CheckString(L, arg);
    std::string out;
    std::size_t i = 0;
    while (i < format.size()) {
        if (format[i] != '%') {
            out += format[i++];
            continue;
        }
        if (++i < format.size() && format[i] == '%') {
            out += format[i++];
            continue;
        }
        // %[n$][flags][width][.precision]conversion
        if (i + 1 < format.size() && isFormatDigit(format[i]) && format[i + 1] == '$') {
            arg = format[i] - '0';
            i += 2;
        }
        ++arg;
        const std::size_t flagsStart = i;
        while (i < format.size() && std::strchr("-+ #0", format[i]) != nullptr && format[i] != '\0')
            ++i;
        const std::string_view flags = format.substr(flagsStart, i - flagsStart);
        int width = -1;
        int precision = -1;
        std::size_t digits = i;
        while (i < format.size() && isFormatDigit(format[i]))
            ++i;
        if (i - digits > 2)
            return luaL_error(L, "invalid format (width or precision too long)");
        if (i > digits)
            width = std::stoi(std::string(format.substr(digits, i - digits)));
        if (i < format.size() && format[i] == '.') {
            ++i;
            digits = i;
            while (i < format.size() && isFormatDigit(format[i]))
                ++i;
            if (i - digits > 2)
                return luaL_error(L, "invalid format (width or precision too long)");
            precision = i > digits ? std::stoi(std::string(format.substr(digits, i - digits))) : 0;
        }
        if (flags.size() > 5)
            return luaL_error(L, "invalid format (repeated flags)");
        if (i >= format.size())
            return luaL_error(L, "invalid option in 'format'");
        const char conversion = format[i++];
        std::string spec = "%";
        spec += flags;
        if (width >= 0)
            spec += std::to_string(width);
        if (precision >= 0)
            spec += '.' + std::to_string(precision);
        char buffer[512];
        switch (conversion) {
        case 'c':
        case 'd':
        case 'i': {
            spec += conversion;
            std::snprintf(buffer, sizeof buffer, spec.c_str(), toInt(lua4CheckNumber(L, arg)));
            out += buffer;
            break;
        }
        case 'o':
        case 'u':
        case 'x':
        case 'X': {
            spec += conversion;
            const long long value = toLong(lua4CheckNumber(L, arg));
            std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<unsigned int>(value));
            out += buffer;
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G':
            out += formatFloat(lua4CheckNumber(L, arg), conversion, flags, width, precision);
            break;
        case 'q':
            addQuoted(out, lua4CheckString(L, arg));
            break;
        case 's': {
            const std::string_view s = lua4CheckString(L, arg);
            if (precision < 0 && s.size() >= 100) {
                out += s;
            } else {
                spec += 's';
                const std::string text(s.substr(0, std::min<std::size_t>(s.size(), 100)));
                std::snprintf(buffer, sizeof buffer, spec.c_str(), text.c_str());
                out += buffer;
            }
            break;
        }
        default:
            return luaL_error(L, "invalid option in 'format'");
        }
    }
    pushString(L, out);
    return 1;
}

// --- math

template <double (*f)(double)> int lua4Math(lua_State* L)
{
    lua_pushnumber(L, f(lua4CheckNumber(L, 1)));
    return 1;
}

double sinDegrees(double x)
{
    return std::sin(x * radiansPerDegree);
}
double cosDegrees(double x)
{
    return std::cos(x * radiansPerDegree);
}
double tanDegrees(double x)
{
    return std::tan(x * radiansPerDegree);
}
double asinDegrees(double x)
{
    return std::asin(x) / radiansPerDegree;
}
double acosDegrees(double x)
{
    return std::acos(x) / radiansPerDegree;
}
double atanDegrees(double x)
{
    return std::atan(x) / radiansPerDegree;
}
double toDegrees(double x)
{
    return x / radiansPerDegree;
}
double toRadians(double x)
{
    return x * radiansPerDegree;
}
double absolute(double x)
{
    return std::fabs(x);
}
double ceiling(double x)
{
    return std::ceil(x);
}
double flooring(double x)
{
    return std::floor(x);
}
double squareRoot(double x)
{
    return std::sqrt(x);
}
double exponential(double x)
{
    return std::exp(x);
}
double logarithm(double x)
{
    return std::log(x);
}
double logarithm10(double x)
{
    return std::log10(x);
}

int lua4Atan2(lua_State* L)
{
    lua_pushnumber(L, std::atan2(lua4CheckNumber(L, 1), lua4CheckNumber(L, 2)) / radiansPerDegree);
    return 1;
}

int lua4Mod(lua_State* L)
{
    lua_pushnumber(L, std::fmod(lua4CheckNumber(L, 1), lua4CheckNumber(L, 2)));
    return 1;
}

template <bool isMax> int lua4MinMax(lua_State* L)
{
    const int n = lua_gettop(L);
    double best = lua4CheckNumber(L, 1);
    for (int i = 2; i <= n; ++i) {
        const double d = lua4CheckNumber(L, i);
        if (isMax ? d > best : d < best)
            best = d;
    }
    lua_pushnumber(L, best);
    return 1;
}

int lua4Frexp(lua_State* L)
{
    int exponent = 0;
    lua_pushnumber(L, std::frexp(lua4CheckNumber(L, 1), &exponent));
    lua_pushnumber(L, exponent);
    return 2;
}

int lua4Ldexp(lua_State* L)
{
    lua_pushnumber(L, std::ldexp(lua4CheckNumber(L, 1), lua4CheckInt(L, 2)));
    return 1;
}

// The game's C runtime rand(): 0 .. 32767.
int cRand(ScriptState& s)
{
    s.randomState = s.randomState * 214013u + 2531011u;
    return static_cast<int>((s.randomState >> 16) & 0x7fffu);
}

int lua4Random(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    ++s.randomCalls;
    constexpr int randMax = 32767;
    const double r = static_cast<double>(cRand(s) % randMax) / randMax;
    switch (lua_gettop(L)) {
    case 0:
        lua_pushnumber(L, r);
        return 1;
    case 1: {
        const int u = lua4CheckInt(L, 1);
        luaL_argcheck(L, 1 <= u, 1, "interval is empty");
        lua_pushnumber(L, std::floor(r * u) + 1);
        return 1;
    }
    case 2: {
        const int l = lua4CheckInt(L, 1);
        const int u = lua4CheckInt(L, 2);
        luaL_argcheck(L, l <= u, 2, "interval is empty");
        lua_pushnumber(L, std::floor(r * (static_cast<double>(u) - l + 1)) + l);
        return 1;
    }
    default:
        return luaL_error(L, "wrong number of arguments");
    }
}

int lua4Randomseed(lua_State* L)
{
    ScriptState::of(L).randomState = static_cast<std::uint32_t>(lua4CheckInt(L, 1));
    return 0;
}

// --- includes

int lua4Dofilepath(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    const std::string path(lua4CheckString(L, 1));
    const qint64 line = s.levelLine(L);
    const QString name = QString::fromLatin1(path.data(), qsizetype(path.size()));
    std::optional<QByteArray> bytes;
    if (s.options.readInclude)
        bytes = s.options.readInclude(name);
    if (!bytes) {
        s.problem(
            line, QStringLiteral("The included file \"%1\" was not found; the script goes on without it").arg(name));
        return 0;
    }
    if (bytes->startsWith("\x1bLua")) {
        s.problem(line,
            QStringLiteral("The included file \"%1\" is compiled Lua, which cannot be run; "
                           "the script goes on without it")
                .arg(name));
        return 0;
    }
    if (s.includeDepth >= 16)
        return luaL_error(L, "dofilepath: includes nested too deeply (\"%s\")", path.c_str());
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } depth(s.includeDepth);
    std::string chunkName = "=" + path;
    if (chunkName == s.mainSource)
        chunkName = "=./" + path;
    Lua4Translation translation = translateLua4(
        std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())), s.options.readLiteralCalls);
    if (!translation.ok()) {
        const QByteArray message = translation.error.toLatin1();
        return luaL_error(L, "%s:%d: %s", path.c_str(), static_cast<int>(translation.errorLine), message.constData());
    }
    lua_settop(L, 0);
    bytes.reset();
    return runLua4Chunk(L, std::move(translation), chunkName, LUA_MULTRET);
}

// --- string arithmetic: "10" + 1 is 11 in Lua 4

double arithmeticOperand(lua_State* L, int index)
{
    if (lua_type(L, index) == LUA_TNUMBER)
        return lua_tonumber(L, index);
    double value = 0;
    std::size_t len = 0;
    const char* text = lua_tolstring(L, index, &len);
    if (lua_type(L, index) == LUA_TSTRING && lua4StringToNumber(std::string_view(text, len), value))
        return value;
    luaL_error(L, "attempt to perform arithmetic on a %s value", luaL_typename(L, index));
    return 0;
}

template <int op> int stringArithmetic(lua_State* L)
{
    const double a = arithmeticOperand(L, 1);
    const double b = op == LUA_OPUNM ? 0 : arithmeticOperand(L, 2);
    double r = 0;
    switch (op) {
    case LUA_OPADD:
        r = a + b;
        break;
    case LUA_OPSUB:
        r = a - b;
        break;
    case LUA_OPMUL:
        r = a * b;
        break;
    case LUA_OPDIV:
        r = a / b;
        break;
    case LUA_OPPOW:
        r = std::pow(a, b);
        break;
    case LUA_OPUNM:
        r = -a;
        break;
    default:
        break;
    }
    lua_pushnumber(L, r);
    return 1;
}

// --- the helpers of translated text

int helperCat(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    const int n = lua_gettop(L);
    std::size_t total = 0;
    char buffer[32];
    for (int i = 1; i <= n; ++i) {
        const int type = lua_type(L, i);
        if (type == LUA_TNUMBER) {
            pushString(L, lua4NumberText(lua_tonumber(L, i), buffer));
            lua_replace(L, i);
        } else if (type != LUA_TSTRING) {
            return luaL_error(L, "attempt to concatenate a %s value", luaL_typename(L, i));
        }
        total += lua_rawlen(L, i);
    }
    s.checkRoom(L, total);
    lua_concat(L, n);
    return 1;
}

int pairsStep(lua_State* L)
{
    const lua_Integer border = lua_tointeger(L, lua_upvalueindex(3));
    lua_Integer position = lua_tointeger(L, lua_upvalueindex(4));
    const auto others =
        lua_isnil(L, lua_upvalueindex(2)) ? 0 : static_cast<lua_Integer>(lua_rawlen(L, lua_upvalueindex(2)));
    for (;;) {
        ++position;
        if (position > border + others) {
            lua_pushinteger(L, position - 1);
            lua_replace(L, lua_upvalueindex(4));
            lua_pushnil(L);
            return 1;
        }
        if (position <= border)
            lua_pushnumber(L, static_cast<double>(position));
        else
            lua_rawgeti(L, lua_upvalueindex(2), position - border);
        lua_pushvalue(L, -1);
        lua_rawget(L, lua_upvalueindex(1));
        if (!lua_isnil(L, -1))
            break;
        lua_pop(L, 2); // removed during the traversal
    }
    lua_pushinteger(L, position);
    lua_replace(L, lua_upvalueindex(4));
    return 2;
}

int helperPairs(lua_State* L)
{
    if (!lua_istable(L, 1))
        return luaL_error(L, "'for' needs a table to traverse, not a %s value", luaL_typename(L, 1));
    lua_settop(L, 1);
    const lua_Integer border = lua4OrderedKeys(L, 1);
    if (lua_rawlen(L, 2) == 0) {
        lua_pushnil(L);
        lua_replace(L, 2);
    }
    lua_pushinteger(L, border);
    lua_pushinteger(L, 0);
    lua_pushcclosure(L, pairsStep, 4);
    return 1;
}

int helperPack(lua_State* L)
{
    const int n = lua_gettop(L);
    lua_createtable(L, n, 1);
    lua_insert(L, 1);
    for (int i = n; i >= 1; --i)
        lua_rawseti(L, 1, i);
    setN(L, 1, n);
    return 1;
}

int helperBool(lua_State* L)
{
    lua_settop(L, 1);
    if (lua_type(L, 1) == LUA_TBOOLEAN) {
        if (lua_toboolean(L, 1))
            lua_pushnumber(L, 1);
        else
            lua_pushnil(L);
    }
    return 1;
}

int undefinedCall(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    std::size_t len = 0;
    const char* name = lua_tolstring(L, lua_upvalueindex(1), &len);
    const QByteArray key(name, qsizetype(len));
    if (!s.undefinedReported.contains(key)) {
        s.undefinedReported.insert(key);
        s.problem(s.levelLine(L),
            QStringLiteral("\"%1\" is not defined (a function of a missing include?); its calls do nothing")
                .arg(QString::fromLatin1(key)));
    }
    lua_pushnil(L);
    return 1;
}

// __L4U[name]: the recorder of a game function, else the stub of an undefined function; kept.
int undefinedIndex(lua_State* L)
{
    if (lua_type(L, 2) != LUA_TSTRING)
        return 0;
    std::size_t len = 0;
    const char* name = lua_tolstring(L, 2, &len);
    lua_pushvalue(L, 2);
    lua_pushcclosure(L, isGameFunction(std::string_view(name, len)) ? lua4RecordCall : undefinedCall, 1);
    lua_pushvalue(L, 2);
    lua_pushvalue(L, -2);
    lua_rawset(L, 1);
    return 1;
}

// A global that is not set: a game function's recorder (kept as the global), else nil.
int globalIndex(lua_State* L)
{
    if (lua_type(L, 2) != LUA_TSTRING)
        return 0;
    std::size_t len = 0;
    const char* name = lua_tolstring(L, 2, &len);
    if (!isGameFunction(std::string_view(name, len)))
        return 0;
    lua_pushvalue(L, 2);
    lua_pushcclosure(L, lua4RecordCall, 1);
    lua_pushvalue(L, 2);
    lua_pushvalue(L, -2);
    lua_rawset(L, 1);
    return 1;
}

} // namespace

std::string_view lua4NumberText(double value, char* buffer)
{
    const auto [end, ec] = std::to_chars(buffer, buffer + 32, value, std::chars_format::general, 14);
    if (ec != std::errc())
        return "nan";
    return std::string_view(buffer, static_cast<std::size_t>(end - buffer));
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

std::string lua4ToString(lua_State* L, int index)
{
    char buffer[64];
    switch (lua_type(L, index)) {
    case LUA_TNUMBER:
        return std::string(lua4NumberText(lua_tonumber(L, index), buffer));
    case LUA_TSTRING: {
        std::size_t len = 0;
        const char* text = lua_tolstring(L, index, &len);
        return std::string(text, len);
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
    std::sort(numbers.begin(), numbers.end());
    std::sort(
        strings.begin(), strings.end(), [](const auto& a, const auto& b) { return lua4KeyLess(a.first, b.first); });
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

void openLua4Library(lua_State* L)
{
    static const luaL_Reg functions[] = {
        // base
        {"print", lua4Print},
        {"tostring", lua4Tostring},
        {"tonumber", lua4Tonumber},
        {"type", lua4Type},
        {"assert", lua4Assert},
        {"error", lua4Error},
        {"call", lua4Call},
        {"getglobal", lua4Getglobal},
        {"setglobal", lua4Setglobal},
        {"globals", lua4Globals},
        {"rawget", lua4Rawget},
        {"rawset", lua4Rawset},
        {"next", lua4Next},
        {"dofilepath", lua4Dofilepath},
        // tables
        {"getn", lua4GetnFunction},
        {"tinsert", lua4Tinsert},
        {"tremove", lua4Tremove},
        {"foreach", lua4Foreach},
        {"foreachi", lua4Foreachi},
        {"sort", lua4Sort},
        // strings
        {"strlen", lua4Strlen},
        {"strsub", lua4Strsub},
        {"strlower", lua4ChangeCase<false>},
        {"strupper", lua4ChangeCase<true>},
        {"strchar", lua4Strchar},
        {"strrep", lua4Strrep},
        {"strbyte", lua4Strbyte},
        {"format", lua4Format},
        {"strfind", lua4Strfind},
        {"gsub", lua4Gsub},
        // math, angles in degrees
        {"abs", lua4Math<absolute>},
        {"sin", lua4Math<sinDegrees>},
        {"cos", lua4Math<cosDegrees>},
        {"tan", lua4Math<tanDegrees>},
        {"asin", lua4Math<asinDegrees>},
        {"acos", lua4Math<acosDegrees>},
        {"atan", lua4Math<atanDegrees>},
        {"atan2", lua4Atan2},
        {"ceil", lua4Math<ceiling>},
        {"floor", lua4Math<flooring>},
        {"mod", lua4Mod},
        {"sqrt", lua4Math<squareRoot>},
        {"min", lua4MinMax<false>},
        {"max", lua4MinMax<true>},
        {"log", lua4Math<logarithm>},
        {"log10", lua4Math<logarithm10>},
        {"exp", lua4Math<exponential>},
        {"deg", lua4Math<toDegrees>},
        {"rad", lua4Math<toRadians>},
        {"frexp", lua4Frexp},
        {"ldexp", lua4Ldexp},
        {"random", lua4Random},
        {"randomseed", lua4Randomseed},
        {nullptr, nullptr},
    };
    lua_pushglobaltable(L);
    luaL_setfuncs(L, functions, 0);
    // Lua names a library function in its messages by finding it in the loaded modules.
    lua_createtable(L, 0, 1);
    lua_pushvalue(L, -2);
    lua_setfield(L, -2, "_G");
    lua_setfield(L, LUA_REGISTRYINDEX, LUA_LOADED_TABLE);
    lua_pushnumber(L, pi);
    lua_setfield(L, -2, "PI");
    lua_pushliteral(L, "Lua 4.0");
    lua_setfield(L, -2, "_VERSION");
    // An unset global that is a game function records its calls.
    lua_createtable(L, 0, 1);
    lua_pushcfunction(L, globalIndex);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, -2);
    lua_pop(L, 1);

    // Strings: Lua 4's arithmetic, no methods.
    lua_pushliteral(L, "");
    lua_createtable(L, 0, 6);
    const std::pair<const char*, lua_CFunction> arithmetic[] = {
        {"__add", stringArithmetic<LUA_OPADD>},
        {"__sub", stringArithmetic<LUA_OPSUB>},
        {"__mul", stringArithmetic<LUA_OPMUL>},
        {"__div", stringArithmetic<LUA_OPDIV>},
        {"__pow", stringArithmetic<LUA_OPPOW>},
        {"__unm", stringArithmetic<LUA_OPUNM>},
    };
    for (const auto& [name, function] : arithmetic) {
        lua_pushcfunction(L, function);
        lua_setfield(L, -2, name);
    }
    lua_setmetatable(L, -2);
    lua_pop(L, 1);

    // The helpers of translated chunks but the last, in the order of lua4Helpers (__L4K belongs to
    // one chunk: runLua4Chunk makes it).
    lua_createtable(L, static_cast<int>(lua4Helpers.size()), 0);
    lua_pushcfunction(L, helperCat);
    lua_rawseti(L, -2, 1);
    lua_pushcfunction(L, helperPairs);
    lua_rawseti(L, -2, 2);
    lua_pushcfunction(L, helperPack);
    lua_rawseti(L, -2, 3);
    lua_pushcfunction(L, helperBool);
    lua_rawseti(L, -2, 4);
    lua_newtable(L);
    lua_createtable(L, 0, 1);
    lua_pushcfunction(L, undefinedIndex);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, -2);
    lua_rawseti(L, -2, 5);
    ScriptState::of(L).helpersRef = luaL_ref(L, LUA_REGISTRYINDEX);
}

} // namespace starloom
