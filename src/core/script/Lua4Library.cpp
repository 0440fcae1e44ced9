// The library a level script sees: Lua 4.0's base, string and math functions as globals, with
// Lua 4's behaviour where Lua 5.4's differs (numbers as "%.16g", trigonometry in degrees,
// format("%d", 2.5), getn and tinsert with the "n" field, the C runtime's rand()), and nothing
// that reaches files, processes or the interpreter itself.

#include "Lua4Chunk.h"
#include "Lua4Lexer.h"
#include "Lua4LibraryFunctions.h"
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

using namespace lua4lib;

// --- base

// What print writes is reported as a problem: the first maxPrinted prints, each cut to
// maxPrintLength bytes; the others are counted as steps of work only.
constexpr int maxPrinted = 100;
constexpr std::size_t maxPrintLength = 1000;

int lua4Print(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    if (s.printed > maxPrinted)
        return 0;
    if (s.printed++ == maxPrinted) {
        s.problem(s.levelLine(L), QStringLiteral("print: (the script prints more; the rest is left out)"));
        return 0;
    }
    std::string text;
    bool cut = false;
    const int n = lua_gettop(L);
    for (int i = 1; i <= n && !cut; ++i) {
        if (i > 1)
            text += '\t';
        text += lua4ToString(L, i, maxPrintLength + 1 - text.size());
        cut = text.size() > maxPrintLength;
    }
    s.chargeSteps(L, text.size() / ScriptBudget::bytesPerStep);
    if (cut) {
        text.resize(maxPrintLength);
        text += "... (cut)";
    }
    s.problem(
        s.levelLine(L), QStringLiteral("print: %1").arg(QString::fromLatin1(text.data(), qsizetype(text.size()))));
    return 0;
}

int lua4Tostring(lua_State* L)
{
    luaL_checkany(L, 1);
    if (lua_type(L, 1) == LUA_TSTRING) {
        lua_settop(L, 1);
        return 1;
    }
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
    if (lua_type(L, 1) == LUA_TSTRING)
        ScriptState::of(L).chargeSteps(L, lua_rawlen(L, 1) / ScriptBudget::bytesPerStep);
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
            lua_isnoneornil(L, 2) ? std::string() : std::string(lua4CheckString(L, 2).substr(0, 90));
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
        lua4CheckString(L, 1); // a number as Lua 4 writes it
        lua_settop(L, 1);
        luaL_where(L, 1);
        lua_insert(L, 1);
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
    const std::string_view options = lua_isnoneornil(L, 3) ? std::string_view() : lua4CheckString(L, 3);
    const bool catchErrors = options.find('x') != std::string_view::npos;
    if (options.find('p') != std::string_view::npos)
        return luaL_error(L, "obsolete option 'p' in 'call'");
    const int n = lua4Getn(L, 2);
    if (n > 8000 || !lua_checkstack(L, n + 2))
        return luaL_error(L, "too many arguments to 'call'");
    s.chargeSteps(L, static_cast<std::uint64_t>(n));
    lua_settop(L, 2);
    lua_pushvalue(L, 1);
    for (int i = 1; i <= n; ++i)
        lua_rawgeti(L, 2, i);
    if (!catchErrors) {
        lua_call(L, n, LUA_MULTRET);
        return lua_gettop(L) - 2;
    }
    const int status = lua_pcall(L, n, LUA_MULTRET, 0);
    if (status != LUA_OK) {
        // The limits and a cancel are not the script's to catch.
        if (s.budget.stop() != ScriptStop::None || status == LUA_ERRMEM || s.budget.memoryRefused())
            return lua_error(L);
        const std::string message = lua4ToString(L, -1, static_cast<std::size_t>(ScriptState::maxProblemLength));
        s.problem(s.levelLine(L),
            QStringLiteral("An error caught by call(): %1")
                .arg(lua4MessageFromTranslation(QString::fromLatin1(message.data(), qsizetype(message.size())))));
        lua_pushnil(L);
        return 1;
    }
    return lua_gettop(L) - 2;
}

// Pushes the name the global `arg` names has in translated text.
void pushGlobalName(lua_State* L, int arg)
{
    const std::string_view name = lua4CheckString(L, arg);
    if (!lua4src::needsRename(name)) {
        lua_pushvalue(L, arg);
        return;
    }
    ScriptState::of(L).checkRoom(L, name.size() + lua4src::renamePrefix.size());
    pushString(L, lua4NameInTranslation(name));
}

int lua4Getglobal(lua_State* L)
{
    pushGlobalName(L, 1);
    lua_pushglobaltable(L);
    lua_insert(L, -2);
    lua_gettable(L, -2);
    return 1;
}

int lua4Setglobal(lua_State* L)
{
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    lua_pushglobaltable(L);
    pushGlobalName(L, 1);
    lua_pushvalue(L, 2);
    lua_settable(L, -3);
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

// --- includes

// The longest include path looked for, in bytes (a file's path in the game's data is far shorter).
constexpr std::size_t maxIncludePath = 1024;
// The largest included file read, in bytes.
constexpr qint64 maxIncludeBytes = qint64{64} << 20;
// Looking for an included file costs what some milliseconds of Lua's work cost: a run may look for
// about this many.
constexpr std::uint64_t includeLookups = 500;
// Any call of dofilepath costs this many steps and one for each byte of its name looked at.
constexpr std::uint64_t includeCallSteps = 64;

// Runs an included file that is a compiled chunk (its bytes held by `held`): loading it is work of
// the script's, and what it keeps is held for the rest of the run. One that cannot be loaded is
// told, and the script goes on without it.
int runCompiledInclude(lua_State* L, const QString& name, QByteArray bytes, HeldBytes& held)
{
    ScriptState& s = ScriptState::of(L);
    s.chargeSteps(L, static_cast<std::uint64_t>(bytes.size()) / 4);
    s.checkRoom(L, static_cast<std::size_t>(bytes.size())); // the loaded chunk takes at least as much
    Lua4ChunkLoad load =
        loadLua4Chunk(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), name);
    bytes = QByteArray();
    held.resize(0);
    if (!load.chunk) {
        s.problem(s.levelLine(L),
            QStringLiteral("The included file \"%1\" is compiled Lua that cannot be run: %2; the script goes on "
                           "without it")
                .arg(name, load.reason));
        return 0;
    }
    load.chunk->level = false;
    s.budget.hold(L, load.chunk->bytes + sizeof(Lua4Chunk)); // for the rest of the run
    s.compiledIncludes.push_back(std::shared_ptr<Lua4Chunk>(std::move(load.chunk)));
    Lua4Chunk& chunk = *s.compiledIncludes.back();
    lua_settop(L, 0);
    return lua4RunCompiledChunk(L, chunk, LUA_MULTRET);
}

int lua4Dofilepath(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    const std::string_view path = lua4CheckString(L, 1);
    // What every call costs: the name looked at, the includes already missing looked up.
    s.chargeSteps(L, includeCallSteps + std::min(path.size(), maxIncludePath + 1));
    const QString name = QString::fromLatin1(path.data(), qsizetype(std::min(path.size(), maxIncludePath)));
    if (s.missingIncludeSet.contains(name))
        return 0; // told once
    const qint64 line = s.levelLine(L);
    if (path.size() > maxIncludePath) {
        if (s.budget.tryHold(64 + 2 * static_cast<std::size_t>(name.size())))
            s.missingIncludeSet.insert(name);
        s.problem(line,
            QStringLiteral("The included file \"%1...\" was not looked for: its name is longer than %2 bytes; the "
                           "script goes on without it")
                .arg(name.left(100))
                .arg(maxIncludePath));
        return 0;
    }
    s.chargeSteps(L, std::max<std::uint64_t>(s.budget.stepLimit() / includeLookups, 1000));
    HeldBytes held(s.budget, L);
    std::optional<QByteArray> bytes;
    QString error;
    if (s.options.readInclude)
        bytes = s.options.readInclude(name, std::min<qint64>(maxIncludeBytes, qint64(s.budget.room())), &error);
    if (bytes)
        held.add(static_cast<std::size_t>(bytes->size())); // fits: the reader was given the room
    if (!bytes && error.isEmpty()) {
        if (s.budget.tryHold(128 + 4 * static_cast<std::size_t>(name.size()))) {
            s.missingIncludeSet.insert(name);
            s.missingIncludes << name;
        }
        s.problem(
            line, QStringLiteral("The included file \"%1\" was not found; the script goes on without it").arg(name));
        return 0;
    }
    if (!bytes) {
        s.problem(line,
            QStringLiteral("The included file \"%1\" could not be read: %2; the script goes on without it")
                .arg(name, error));
        return 0;
    }
    const std::string pathText(path);
    if (s.includeDepth >= 16)
        return luaL_error(L, "dofilepath: includes nested too deeply (\"%s\")", pathText.c_str());
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } depth(s.includeDepth);
    if (isLua4Chunk(std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size()))))
        return runCompiledInclude(L, name, std::move(*bytes), held);
    std::string chunkName = "=" + pathText;
    if (chunkName == s.mainSource)
        chunkName = "=./" + pathText;
    HeldBytes translationBytes(s.budget, L);
    Lua4Translation translation = translateForRun(
        L, std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())), translationBytes);
    if (!translation.ok()) {
        const QByteArray message = translation.error.toLatin1();
        return luaL_error(
            L, "%s:%d: %s", pathText.c_str(), static_cast<int>(translation.errorLine), message.constData());
    }
    bytes.reset();
    held.resize(0);
    lua_settop(L, 0);
    return runLua4Chunk(L, std::move(translation), chunkName, LUA_MULTRET, translationBytes);
}

// dostring(text [, name]): runs `text` as a chunk of Lua 4 in the same sandbox, with the same
// limits; it reads no file. As in Lua 4.0 its results are the chunk's (a userdata when it has
// none), and an error gives nil and "syntax error" or "run-time error" instead of stopping the
// script, the message being reported.
struct DostringRun {
    Lua4Translation translation;
    std::string chunkName;
    HeldBytes* held;
};

int runDostringChunk(lua_State* L)
{
    auto* run = static_cast<DostringRun*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    return runLua4Chunk(L, std::move(run->translation), run->chunkName, LUA_MULTRET, *run->held);
}

int dostringFailed(lua_State* L, const char* kind, const QString& message)
{
    ScriptState& s = ScriptState::of(L);
    s.problem(s.levelLine(L), QStringLiteral("An error in the text run by dostring: %1").arg(message));
    lua_pushnil(L);
    lua_pushstring(L, kind);
    return 2;
}

int lua4Dostring(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    const std::string_view text = lua4CheckString(L, 1);
    if (!text.empty() && text[0] == '\x1b')
        return luaL_error(L, "'dostring' cannot run pre-compiled code");
    s.chargeSteps(L, includeCallSteps);
    lua_settop(L, 1);
    HeldBytes translationBytes(s.budget, L);
    DostringRun run{translateForRun(L, text, translationBytes), "=(dostring)", &translationBytes};
    if (!run.translation.ok()) {
        return dostringFailed(
            L, "syntax error", QStringLiteral("line %1: %2").arg(run.translation.errorLine).arg(run.translation.error));
    }
    const int base = lua_gettop(L);
    lua_pushcfunction(L, runDostringChunk);
    lua_pushlightuserdata(L, &run);
    const int status = lua_pcall(L, 1, LUA_MULTRET, 0);
    if (status != LUA_OK) {
        // The limits and a cancel are not the script's to catch.
        if (s.budget.stop() != ScriptStop::None || status == LUA_ERRMEM || s.budget.memoryRefused())
            return lua_error(L);
        const std::string message = lua4ToString(L, -1, static_cast<std::size_t>(ScriptState::maxProblemLength));
        lua_pop(L, 1);
        return dostringFailed(L, "run-time error",
            lua4MessageFromTranslation(QString::fromLatin1(message.data(), qsizetype(message.size()))));
    }
    if (lua_gettop(L) == base)
        lua_pushlightuserdata(L, nullptr);
    return lua_gettop(L) - base;
}

// --- string arithmetic: "10" + 1 is 11 in Lua 4

double arithmeticOperand(lua_State* L, int index)
{
    if (lua_type(L, index) == LUA_TNUMBER)
        return lua_tonumber(L, index);
    double value = 0;
    std::size_t len = 0;
    const char* text = lua_tolstring(L, index, &len);
    ScriptState::of(L).chargeSteps(L, len / ScriptBudget::bytesPerStep);
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

// A key no script can make or reach (a light userdata of the program's own).
int helperDrop(lua_State* L)
{
    static const char dropped = 0;
    lua_pushlightuserdata(L, const_cast<char*>(&dropped));
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

// Whether a numeric for whose variable is at `index` is over (Lua 4.0's test: a step that is not
// above 0 counts down, a NaN anywhere runs on).
bool forEnded(double index, double limit, double step)
{
    return step > 0 ? index > limit : index < limit;
}

// The start of a numeric for: the step, the limit and the first value are checked in that order.
int helperForPrep(lua_State* L)
{
    if (lua_gettop(L) < 3) {
        lua_settop(L, 2);
        lua_pushnumber(L, 1);
    }
    lua_settop(L, 3);
    lua4ForNumber(L, 3, "step");
    lua4ForNumber(L, 2, "limit");
    lua4ForNumber(L, 1, "initial value");
    if (forEnded(lua_tonumber(L, 1), lua_tonumber(L, 2), lua_tonumber(L, 3)))
        lua_pushnil(L);
    else
        lua_pushvalue(L, 1);
    lua_replace(L, 1);
    return 3;
}

int helperForNext(lua_State* L)
{
    if (lua_type(L, 1) != LUA_TNUMBER)
        return luaL_error(L, "'for' index must be a number");
    const double step = lua_tonumber(L, 3);
    const double index = lua_tonumber(L, 1) + step;
    if (forEnded(index, lua_tonumber(L, 2), step))
        lua_pushnil(L);
    else
        lua_pushnumber(L, index);
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

void openLua4Library(lua_State* L)
{
    static const luaL_Reg functions[] = {
        // base
        {"print", charged<lua4Print>},
        {"tostring", charged<lua4Tostring>},
        {"tonumber", charged<lua4Tonumber>},
        {"type", charged<lua4Type>},
        {"assert", charged<lua4Assert>},
        {"error", charged<lua4Error>},
        {"call", charged<lua4Call>},
        {"getglobal", charged<lua4Getglobal>},
        {"setglobal", charged<lua4Setglobal>},
        {"globals", charged<lua4Globals>},
        {"rawget", charged<lua4Rawget>},
        {"rawset", charged<lua4Rawset>},
        {"next", charged<lua4Next>},
        {"dofilepath", charged<lua4Dofilepath>},
        {"dostring", charged<lua4Dostring>},
        {nullptr, nullptr},
    };
    lua_pushglobaltable(L);
    // In the order Lua 4 lists them: base, tables, strings, maths.
    luaL_setfuncs(L, functions, 0);
    luaL_setfuncs(L, lua4TableFunctions, 0);
    luaL_setfuncs(L, lua4StringFunctions, 0);
    luaL_setfuncs(L, lua4MathFunctions, 0);
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
        {"__add", charged<stringArithmetic<LUA_OPADD>>},
        {"__sub", charged<stringArithmetic<LUA_OPSUB>>},
        {"__mul", charged<stringArithmetic<LUA_OPMUL>>},
        {"__div", charged<stringArithmetic<LUA_OPDIV>>},
        {"__pow", charged<stringArithmetic<LUA_OPPOW>>},
        {"__unm", charged<stringArithmetic<LUA_OPUNM>>},
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
    lua_pushcfunction(L, charged<helperCat>);
    lua_rawseti(L, -2, 1);
    lua_pushcfunction(L, charged<helperPairs>);
    lua_rawseti(L, -2, 2);
    lua_pushcfunction(L, charged<helperPack>);
    lua_rawseti(L, -2, 3);
    lua_pushcfunction(L, charged<helperBool>);
    lua_rawseti(L, -2, 4);
    lua_newtable(L);
    lua_createtable(L, 0, 1);
    lua_pushcfunction(L, undefinedIndex);
    lua_setfield(L, -2, "__index");
    lua_setmetatable(L, -2);
    lua_rawseti(L, -2, 5);
    lua_pushcfunction(L, charged<helperForPrep>);
    lua_rawseti(L, -2, 6);
    lua_pushcfunction(L, charged<helperForNext>);
    lua_rawseti(L, -2, 7);
    lua_pushcfunction(L, charged<stringArithmetic<LUA_OPPOW>>); // __L4pow: pow() of both operands
    lua_rawseti(L, -2, 8);
    lua_pushcfunction(L, helperDrop);
    lua_rawseti(L, -2, 9);
    ScriptState::of(L).helpersRef = luaL_ref(L, LUA_REGISTRYINDEX);
}

} // namespace starloom