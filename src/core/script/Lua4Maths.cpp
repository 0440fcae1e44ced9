// Lua 4's mathematical functions for level scripts: trigonometry in degrees, mod, min, max, frexp,
// ldexp, and random numbers from the game's C runtime rand().

#include "Lua4LibraryFunctions.h"
#include "ScriptState.h"

#include <cmath>

namespace starloom {

namespace {

using namespace lua4lib;

constexpr double radiansPerDegree = pi / 180.0;

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

// random as the oracle's record-level.lua defines it (ScriptOptions::oracleRandomSeed): an LCG
// mod 2^31, r = seed / 2^31, and random(a, b) = floor(a + r * (floor(b) - floor(a) + 1)).
int oracleRandom(lua_State* L, ScriptState& s)
{
    constexpr std::uint64_t modulus = std::uint64_t{1} << 31;
    s.randomState = static_cast<std::uint32_t>((s.randomState * std::uint64_t{1103515245} + 12345) % modulus);
    const double r = static_cast<double>(s.randomState) / static_cast<double>(modulus);
    if (lua_isnoneornil(L, 1)) {
        lua_pushnumber(L, r);
        return 1;
    }
    const double a = lua_isnoneornil(L, 2) ? 1 : lua4CheckNumber(L, 1);
    const double b = lua_isnoneornil(L, 2) ? lua4CheckNumber(L, 1) : lua4CheckNumber(L, 2);
    lua_pushnumber(L, std::floor(a + r * (std::floor(b) - std::floor(a) + 1)));
    return 1;
}

int lua4Random(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    ++s.randomCalls;
    if (s.options.oracleRandomSeed)
        return oracleRandom(L, s);
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
    ScriptState& s = ScriptState::of(L);
    if (s.options.oracleRandomSeed) {
        double seed = std::floor(lua4CheckNumber(L, 1));
        if (!std::isfinite(seed))
            seed = 0;
        s.randomState = static_cast<std::uint32_t>(seed - std::floor(seed / 2147483648.0) * 2147483648.0);
        return 0;
    }
    s.randomState = static_cast<std::uint32_t>(lua4CheckInt(L, 1));
    return 0;
}

} // namespace

// The mathematical functions, in the order the library registers them.
const luaL_Reg lua4MathFunctions[] = {
    {"abs", charged<lua4Math<absolute>>},
    {"sin", charged<lua4Math<sinDegrees>>},
    {"cos", charged<lua4Math<cosDegrees>>},
    {"tan", charged<lua4Math<tanDegrees>>},
    {"asin", charged<lua4Math<asinDegrees>>},
    {"acos", charged<lua4Math<acosDegrees>>},
    {"atan", charged<lua4Math<atanDegrees>>},
    {"atan2", charged<lua4Atan2>},
    {"ceil", charged<lua4Math<ceiling>>},
    {"floor", charged<lua4Math<flooring>>},
    {"mod", charged<lua4Mod>},
    {"sqrt", charged<lua4Math<squareRoot>>},
    {"min", charged<lua4MinMax<false>>},
    {"max", charged<lua4MinMax<true>>},
    {"log", charged<lua4Math<logarithm>>},
    {"log10", charged<lua4Math<logarithm10>>},
    {"exp", charged<lua4Math<exponential>>},
    {"deg", charged<lua4Math<toDegrees>>},
    {"rad", charged<lua4Math<toRadians>>},
    {"frexp", charged<lua4Frexp>},
    {"ldexp", charged<lua4Ldexp>},
    {"random", charged<lua4Random>},
    {"randomseed", charged<lua4Randomseed>},
    {nullptr, nullptr},
};

} // namespace starloom
