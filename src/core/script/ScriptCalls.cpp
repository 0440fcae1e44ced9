// What a running script hands to the sink: its calls of game functions (recorded as they run, or
// read by the translation when their arguments are all constants) and the globals the level is
// made of, their Lua values copied and charged to the run's budget.

#include "LevelScript.h"
#include "Lua4Chunk.h"
#include "ScriptState.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace starloom {

namespace {

constexpr int maxTableDepth = 32;
// The values one call's arguments (or one global's value) may hold: a copy of more would be
// nothing a level holds.
constexpr std::size_t maxCopiedValues = 100000;
// What a sink keeps for a call beyond its arguments' values (a recorder's entry in its list).
constexpr std::size_t keptCallBytes = sizeof(LevelCall) + sizeof(LuaValue) + sizeof(QString) + 64;

// A copy of Lua values for the sink, each byte charged to the script before it is made. A table
// met a second time (one shared by two arguments, or one that holds itself) is left out, and so
// is a table nested deeper than maxTableDepth; past maxCopiedValues nothing more is copied.
struct TableWalk {
    TableWalk(ScriptState& s, lua_State* Lin) : state(s), L(Lin), held(s.budget, Lin) {}

    ScriptState& state;
    lua_State* L;
    HeldBytes held;
    std::size_t values = 0;
    bool cut = false;
    bool repeated = false;
    bool tooMany = false;

    // True the first time `table` is met (a call's arguments hold few tables: a short list, then
    // a set).
    bool firstTime(const void* table)
    {
        if (m_listed < m_tables.size()) {
            const auto end = m_tables.begin() + static_cast<std::ptrdiff_t>(m_listed);
            if (std::find(m_tables.begin(), end, table) != end)
                return false;
            m_tables[m_listed++] = table;
            if (m_listed == m_tables.size())
                m_tableSet.insert(m_tables.begin(), m_tables.end());
            return true;
        }
        return m_tableSet.insert(table).second;
    }

    // Notes what the sink is told about the copy (cut or repeated tables), at `line`.
    void noteProblems(qint64 line) const
    {
        if (cut)
            state.problem(
                line, QStringLiteral("A table nested more than %1 levels deep was cut off there").arg(maxTableDepth));
        if (repeated)
            state.problem(line,
                QStringLiteral("A table that appears more than once (shared by two values, or holding itself) was "
                               "left out there after its first appearance"));
    }

private:
    std::array<const void*, 16> m_tables{};
    std::size_t m_listed = 0;
    std::unordered_set<const void*> m_tableSet;
};

LuaValue toLuaValue(int index, int depth, TableWalk& walk);

LuaValue tableValue(int index, int depth, TableWalk& walk)
{
    lua_State* L = walk.L;
    if (depth >= maxTableDepth) {
        walk.cut = true;
        return {};
    }
    if (!walk.firstTime(lua_topointer(L, index))) {
        walk.repeated = true;
        return {};
    }
    walk.held.add(64); // the table's entry in `tables`, its vectors
    index = lua_absindex(L, index);
    luaL_checkstack(L, 6, "table nested too deeply");
    LuaValue table = LuaValue::makeTable();
    lua_Integer n = 0;
    for (;; ++n) {
        if (walk.tooMany || lua_rawgeti(L, index, n + 1) == LUA_TNIL) {
            if (!walk.tooMany)
                lua_pop(L, 1);
            break;
        }
        table.items.push_back(toLuaValue(-1, depth + 1, walk));
        lua_pop(L, 1);
    }
    std::vector<std::pair<double, LuaValue>> numbers;
    std::vector<std::pair<std::string, LuaValue>> strings;
    lua_pushnil(L);
    while (!walk.tooMany && lua_next(L, index) != 0) {
        switch (lua_type(L, -2)) {
        case LUA_TNUMBER:
            if (lua_isinteger(L, -2) && lua_tointeger(L, -2) >= 1 && lua_tointeger(L, -2) <= n)
                break;
            if (LuaValue value = toLuaValue(-1, depth + 1, walk); !value.isNil()) {
                walk.held.add(2 * sizeof(LuaField));
                numbers.push_back({lua_tonumber(L, -2), std::move(value)});
            }
            break;
        case LUA_TSTRING: {
            std::size_t len = 0;
            const char* key = lua_tolstring(L, -2, &len);
            if (LuaValue value = toLuaValue(-1, depth + 1, walk); !value.isNil()) {
                walk.held.add(2 * sizeof(LuaField) + len);
                strings.push_back({std::string(key, len), std::move(value)});
            }
            break;
        }
        default: // a table, a function, ... as a key: nothing a level file can hold
            break;
        }
        lua_pop(L, 1);
    }
    if (walk.tooMany) {
        lua_settop(L, index);
        return {};
    }
    std::sort(numbers.begin(), numbers.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::sort(
        strings.begin(), strings.end(), [](const auto& a, const auto& b) { return lua4KeyLess(a.first, b.first); });
    table.fields.reserve(numbers.size() + strings.size());
    for (auto& [key, value] : numbers)
        table.fields.push_back({LuaValue::makeNumber(key), std::move(value)});
    for (auto& [key, value] : strings)
        table.fields.push_back({LuaValue::makeString(std::move(key)), std::move(value)});
    return table;
}

LuaValue toLuaValue(int index, int depth, TableWalk& walk)
{
    lua_State* L = walk.L;
    if (walk.tooMany || ++walk.values > maxCopiedValues) {
        walk.tooMany = true;
        return {};
    }
    walk.held.add(sizeof(LuaValue));
    switch (lua_type(L, index)) {
    case LUA_TNUMBER:
        return LuaValue::makeNumber(lua_tonumber(L, index));
    case LUA_TSTRING: {
        std::size_t len = 0;
        const char* text = lua_tolstring(L, index, &len);
        walk.held.add(len);
        return LuaValue::makeString(std::string(text, len));
    }
    case LUA_TBOOLEAN:
        return lua_toboolean(L, index) ? LuaValue::makeNumber(1) : LuaValue{};
    case LUA_TTABLE:
        return tableValue(index, depth, walk);
    default: // nil, a function, ...
        return {};
    }
}

void pushLuaValue(lua_State* L, const LuaValue& value)
{
    switch (value.type) {
    case LuaValue::Type::Nil:
        lua_pushnil(L);
        break;
    case LuaValue::Type::Number:
        lua_pushnumber(L, value.number);
        break;
    case LuaValue::Type::String:
        lua_pushlstring(L, value.text.data(), value.text.size());
        break;
    case LuaValue::Type::Table:
        luaL_checkstack(L, 3, "table nested too deeply");
        lua_createtable(L, static_cast<int>(value.items.size()), static_cast<int>(value.fields.size()));
        for (std::size_t i = 0; i < value.items.size(); ++i) {
            pushLuaValue(L, value.items[i]);
            lua_rawseti(L, -2, static_cast<lua_Integer>(i) + 1);
        }
        for (const LuaField& field : value.fields) {
            pushLuaValue(L, field.key);
            pushLuaValue(L, field.value);
            lua_rawset(L, -3);
        }
        break;
    }
}

} // namespace

int lua4RecordCall(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    s.chargeSteps(L, ScriptBudget::callSteps);
    LevelCall call;
    std::size_t len = 0;
    const char* name = lua_tolstring(L, lua_upvalueindex(1), &len);
    const int n = lua_gettop(L);
    TableWalk walk(s, L);
    walk.held.add(keptCallBytes + len + static_cast<std::size_t>(n) * sizeof(LuaValue));
    call.name.assign(name, len);
    call.args.reserve(static_cast<std::size_t>(n));
    for (int i = 1; i <= n; ++i)
        call.args.push_back(toLuaValue(i, 0, walk));
    call.line = s.levelLine(L);
    if (walk.tooMany) {
        s.problem(call.line,
            QStringLiteral("The call of %1 was left out: its arguments hold more than %2 values")
                .arg(QString::fromLatin1(name, qsizetype(len)))
                .arg(maxCopiedValues));
        lua_pushnil(L);
        return 1;
    }
    call.chunk = s.chunk;
    walk.noteProblems(call.line);
    s.sink.call(call);
    walk.held.keep(); // the sink keeps the call
    ++s.budget.callsRecorded;
    lua_pushnil(L);
    return 1;
}

int lua4LiteralCall(lua_State* L)
{
    const auto* chunk = static_cast<const ScriptState::ChunkText*>(lua_touserdata(L, lua_upvalueindex(1)));
    const lua_Integer i = lua_tointeger(L, 1);
    if (chunk == nullptr || i < 0 || static_cast<std::size_t>(i) >= chunk->literals->calls.size())
        return luaL_error(L, "no such call");
    const Lua4LiteralCalls& literals = *chunk->literals;
    const Lua4LiteralCall& literal = literals.calls[static_cast<std::size_t>(i)];
    ScriptState& s = ScriptState::of(L);
    lua_pushglobaltable(L);
    lua_pushlstring(L, literal.name.data(), literal.name.size());
    lua_pushvalue(L, -1);
    bool own = lua_rawget(L, -3) != LUA_TNIL; // the script's own value under this name
    if (own && lua_tocfunction(L, -1) == lua4RecordCall) {
        lua_getupvalue(L, -1, 1);
        own = !lua_rawequal(L, -1, -3); // a recorder, but of another name
        lua_pop(L, 1);
    }
    HeldBytes held(s.budget, L);
    if (own) {
        // The script defined this function itself: call it with the arguments.
        held.add(lua4LiteralBytes(literals.data, literal));
        const std::vector<LuaValue> args = lua4LiteralArguments(literals.data, literal);
        luaL_checkstack(L, static_cast<int>(args.size()) + 2, "too many arguments");
        for (const LuaValue& arg : args)
            pushLuaValue(L, arg);
        lua_call(L, static_cast<int>(args.size()), 0);
        return 0;
    }
    s.chargeSteps(L, ScriptBudget::callSteps);
    qint64 line = 0;
    if (chunk->level) {
        line = literal.line;
        s.lastLine = literal.line;
    } else {
        line = s.levelLine(L); // the line in the level that led to the included file
    }
    if (s.recorder) {
        // Kept unread: the recording reads the arguments from the chunk's data when it replays the call.
        held.add(RecordedScript::literalCallBytes);
        s.recorder->keepLiteralCall(chunk->literals, static_cast<std::uint32_t>(i), s.chunk, line);
    } else {
        // The copy of the arguments is charged before it is made; the sink keeps it.
        held.add(keptCallBytes + literal.name.size() + lua4LiteralBytes(literals.data, literal));
        LevelCall call;
        call.args = lua4LiteralArguments(literals.data, literal);
        call.name = literal.name;
        call.chunk = s.chunk;
        call.line = line;
        s.sink.takeCall(std::move(call));
    }
    held.keep();
    ++s.budget.callsRecorded;
    return 0;
}

int lua4ReportGlobals(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    for (const char* name : {"levelDesc", "maxPlayers", "player"}) {
        lua_pushglobaltable(L);
        lua_pushstring(L, name);
        lua_rawget(L, -2);
        if (!lua_isnil(L, -1)) {
            TableWalk walk(s, L);
            const LuaValue value = toLuaValue(-1, 0, walk);
            if (walk.tooMany) {
                s.problem(0,
                    QStringLiteral("The global %1 was left out: its value holds more than %2 values")
                        .arg(QLatin1String(name))
                        .arg(maxCopiedValues));
            } else {
                walk.noteProblems(0);
                if (!value.isNil()) {
                    s.sink.global(name, value, 0);
                    walk.held.keep(); // the sink keeps the value
                }
            }
        }
        lua_pop(L, 2);
    }
    return 0;
}

} // namespace starloom
