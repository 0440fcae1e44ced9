// Lua 4's string functions for level scripts: strlen, strsub, strlower, strupper, strchar, strrep,
// strbyte and format as Lua 4 does them (format("%d", 2.5)); strfind and gsub are in Lua4Pattern.cpp.

#include "Lua4LibraryFunctions.h"
#include "Lua4Pattern.h"
#include "ScriptState.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace starloom {

namespace {

using namespace lua4lib;

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
    const std::string_view s = lua4CheckString(L, 1);
    luaL_Buffer b;
    char* out = luaL_buffinitsize(L, &b, s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        out[i] = c;
    }
    luaL_pushresultsize(&b, s.size());
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

void addQuoted(luaL_Buffer& out, std::string_view s)
{
    luaL_addchar(&out, '"');
    for (const char c : s) {
        switch (c) {
        case '"':
        case '\\':
        case '\n':
            luaL_addchar(&out, '\\');
            luaL_addchar(&out, c);
            break;
        case '\0':
            luaL_addlstring(&out, "\\000", 4);
            break;
        default:
            luaL_addchar(&out, c);
        }
    }
    luaL_addchar(&out, '"');
}

void addText(luaL_Buffer& out, std::string_view text)
{
    luaL_addlstring(&out, text.data(), text.size());
}

int lua4Format(lua_State* L)
{
    int arg = 1;
    const std::string_view format = lua4CheckString(L, arg);
    // Built in Lua's own buffer: its memory and steps are the script's, charged as it grows.
    luaL_Buffer out;
    luaL_buffinit(L, &out);
    std::size_t i = 0;
    while (i < format.size()) {
        if (format[i] != '%') {
            const std::size_t plain = std::min(format.find('%', i), format.size());
            addText(out, format.substr(i, plain - i));
            i = plain;
            continue;
        }
        if (++i < format.size() && format[i] == '%') {
            luaL_addchar(&out, format[i++]);
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
        std::string directive = "%";
        directive += flags;
        if (width >= 0)
            directive += std::to_string(width);
        if (precision >= 0)
            directive += '.' + std::to_string(precision);
        char buffer[512];
        switch (conversion) {
        case 'c':
        case 'd':
        case 'i': {
            directive += conversion;
            std::snprintf(buffer, sizeof buffer, directive.c_str(), toInt(lua4CheckNumber(L, arg)));
            luaL_addstring(&out, buffer);
            break;
        }
        case 'o':
        case 'u':
        case 'x':
        case 'X': {
            directive += conversion;
            const long long value = toLong(lua4CheckNumber(L, arg));
            std::snprintf(buffer, sizeof buffer, directive.c_str(), static_cast<unsigned int>(value));
            luaL_addstring(&out, buffer);
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G':
            addText(out, formatFloat(lua4CheckNumber(L, arg), conversion, flags, width, precision));
            break;
        case 'q':
            addQuoted(out, lua4CheckString(L, arg));
            break;
        case 's': {
            const std::string_view s = lua4CheckString(L, arg);
            if (precision < 0 && s.size() >= 100) {
                addText(out, s);
            } else {
                directive += 's';
                const std::string text(s.substr(0, std::min<std::size_t>(s.size(), 100)));
                std::snprintf(buffer, sizeof buffer, directive.c_str(), text.c_str());
                luaL_addstring(&out, buffer);
            }
            break;
        }
        default:
            return luaL_error(L, "invalid option in 'format'");
        }
    }
    luaL_pushresult(&out);
    return 1;
}

} // namespace

// The string functions, in the order the library registers them.
const luaL_Reg lua4StringFunctions[] = {
    {"strlen", charged<lua4Strlen>},
    {"strsub", charged<lua4Strsub>},
    {"strlower", charged<lua4ChangeCase<false>>},
    {"strupper", charged<lua4ChangeCase<true>>},
    {"strchar", charged<lua4Strchar>},
    {"strrep", charged<lua4Strrep>},
    {"strbyte", charged<lua4Strbyte>},
    {"format", charged<lua4Format>},
    {"strfind", charged<lua4Strfind>},
    {"gsub", charged<lua4Gsub>},
    {nullptr, nullptr},
};

} // namespace starloom
