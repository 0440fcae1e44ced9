#include "ScriptRunner.h"

#include "Lua4Source.h"
#include "ScriptState.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdlib>
#include <memory>

#if defined(__unix__) || defined(__APPLE__)
#include <clocale>
#include <locale.h>
#define STARLOOM_THREAD_LOCALE 1
#endif

namespace starloom {

namespace {

constexpr int hookPeriod = 10000;                  // instructions between two calls of the count hook
constexpr std::uint64_t progressPeriod = 1u << 22; // instructions between two progress reports
constexpr int maxTableDepth = 32;
constexpr int bytesPerStep = 4; // bytes a script's allocations may fill for one step of the limit

// Lua's allocations, counted against the memory limit. Bytes allocated are also steps of work
// (strings joined, copied, changed in C, which the count hook does not see): past the
// instruction limit, or once the run is cancelled, the next allocation fails, which stops the
// script at once through Lua's own error path.
void* allocate(void* ud, void* ptr, std::size_t osize, std::size_t nsize)
{
    auto* s = static_cast<ScriptState*>(ud);
    const std::size_t old = ptr != nullptr ? osize : 0;
    if (nsize == 0) {
        std::free(ptr);
        s->memoryUsed -= old;
        return nullptr;
    }
    if (nsize > old) {
        if (s->memoryUsed + (nsize - old) > s->options.memoryLimit)
            return nullptr;
        s->instructions += (nsize - old) / bytesPerStep;
        if (s->stop == ScriptStop::None) {
            if (s->options.cancel != nullptr && s->options.cancel->load(std::memory_order_relaxed))
                s->stop = ScriptStop::Cancelled;
            else if (s->instructions > s->options.instructionLimit)
                s->stop = ScriptStop::InstructionLimit;
            s->failAllocations = s->stop != ScriptStop::None;
        }
        // Lua tries again after collecting garbage: the allocations fail until the part has stopped.
        if (s->failAllocations)
            return nullptr;
    }
    void* block = std::realloc(ptr, nsize);
    if (block == nullptr)
        return nullptr;
    s->memoryUsed = s->memoryUsed - old + nsize;
    s->memoryPeak = std::max(s->memoryPeak, s->memoryUsed);
    return block;
}

QString stepLimitMessage(const ScriptOptions& options)
{
    return QStringLiteral("the script ran for more than %1 million steps (an endless loop?)")
        .arg(options.instructionLimit / 1000000);
}

void countHook(lua_State* L, lua_Debug*)
{
    ScriptState& s = ScriptState::of(L);
    s.levelLine(L, 0);
    s.chargeSteps(L, hookPeriod);
}

// Keeps the message of an error and notes its line in the level.
int messageHandler(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    s.errorLine = s.levelLine(L, 1);
    if (lua_type(L, 1) != LUA_TSTRING && lua_type(L, 1) != LUA_TNUMBER) {
        const std::string text = lua4ToString(L, 1);
        lua_pushfstring(L, "error (the error value is %s)", text.c_str());
    } else {
        lua_settop(L, 1);
    }
    return 1;
}

struct TableWalk {
    ScriptState& state;
    std::size_t bytes = sizeof(LevelCall);
    bool cut = false;
};

LuaValue toLuaValue(lua_State* L, int index, int depth, TableWalk& walk);

LuaValue tableValue(lua_State* L, int index, int depth, TableWalk& walk)
{
    if (depth >= maxTableDepth) {
        walk.cut = true;
        return {};
    }
    index = lua_absindex(L, index);
    luaL_checkstack(L, 6, "table nested too deeply");
    LuaValue table = LuaValue::makeTable();
    lua_Integer n = 0;
    for (;; ++n) {
        if (lua_rawgeti(L, index, n + 1) == LUA_TNIL) {
            lua_pop(L, 1);
            break;
        }
        table.items.push_back(toLuaValue(L, -1, depth + 1, walk));
        lua_pop(L, 1);
    }
    std::vector<std::pair<double, LuaValue>> numbers;
    std::vector<std::pair<std::string, LuaValue>> strings;
    lua_pushnil(L);
    while (lua_next(L, index) != 0) {
        switch (lua_type(L, -2)) {
        case LUA_TNUMBER:
            if (lua_isinteger(L, -2) && lua_tointeger(L, -2) >= 1 && lua_tointeger(L, -2) <= n)
                break;
            if (LuaValue value = toLuaValue(L, -1, depth + 1, walk); !value.isNil())
                numbers.push_back({lua_tonumber(L, -2), std::move(value)});
            break;
        case LUA_TSTRING: {
            std::size_t len = 0;
            const char* key = lua_tolstring(L, -2, &len);
            if (LuaValue value = toLuaValue(L, -1, depth + 1, walk); !value.isNil()) {
                strings.push_back({std::string(key, len), std::move(value)});
                walk.bytes += len;
            }
            break;
        }
        default: // a table, a function, ... as a key: nothing a level file can hold
            break;
        }
        lua_pop(L, 1);
    }
    std::sort(numbers.begin(), numbers.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::sort(
        strings.begin(), strings.end(), [](const auto& a, const auto& b) { return lua4KeyLess(a.first, b.first); });
    table.fields.reserve(numbers.size() + strings.size());
    for (auto& [key, value] : numbers)
        table.fields.push_back({LuaValue::makeNumber(key), std::move(value)});
    for (auto& [key, value] : strings)
        table.fields.push_back({LuaValue::makeString(std::move(key)), std::move(value)});
    walk.bytes += table.fields.size() * sizeof(LuaField);
    walk.state.chargeSteps(L, (table.items.size() + table.fields.size()) / 16);
    return table;
}

LuaValue toLuaValue(lua_State* L, int index, int depth, TableWalk& walk)
{
    walk.bytes += sizeof(LuaValue);
    switch (lua_type(L, index)) {
    case LUA_TNUMBER:
        return LuaValue::makeNumber(lua_tonumber(L, index));
    case LUA_TSTRING: {
        std::size_t len = 0;
        const char* text = lua_tolstring(L, index, &len);
        walk.bytes += len;
        return LuaValue::makeString(std::string(text, len));
    }
    case LUA_TBOOLEAN:
        return lua_toboolean(L, index) ? LuaValue::makeNumber(1) : LuaValue{};
    case LUA_TTABLE:
        return tableValue(L, index, depth, walk);
    default: // nil, a function, ...
        return {};
    }
}

void noteCut(lua_State* L, ScriptState& s, const TableWalk& walk)
{
    if (walk.cut)
        s.problem(s.levelLine(L),
            QStringLiteral("A table nested more than %1 levels deep (or one that holds itself) was cut off there")
                .arg(maxTableDepth));
}

std::string chunkName(const QString& fileName)
{
    QString base = QFileInfo(fileName).fileName();
    if (base.isEmpty())
        base = QStringLiteral("level");
    return "=" + base.left(50).toStdString();
}

// A message about the level's own text without its position: "name.level:12: msg" -> "msg",
// with 12 in `line`.
QString withoutPosition(const QString& message, const std::string& shortSource, qint64& line)
{
    const QString prefix = QString::fromStdString(shortSource) + QLatin1Char(':');
    if (!message.startsWith(prefix))
        return message;
    qsizetype i = prefix.size();
    const qsizetype digits = i;
    while (i < message.size() && message[i].isDigit())
        ++i;
    if (i == digits || !message.mid(i).startsWith(QLatin1String(": ")))
        return message;
    line = message.mid(digits, i - digits).toLongLong();
    return message.mid(i + 2);
}

#ifdef STARLOOM_THREAD_LOCALE
// Lua compares strings with strcoll: run the script in the C locale, on this thread only.
class CLocale {
public:
    CLocale() : m_c(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr)))
    {
        if (m_c != static_cast<locale_t>(nullptr))
            m_old = uselocale(m_c);
    }
    ~CLocale()
    {
        if (m_c != static_cast<locale_t>(nullptr)) {
            uselocale(m_old);
            freelocale(m_c);
        }
    }
    CLocale(const CLocale&) = delete;
    CLocale& operator=(const CLocale&) = delete;

private:
    locale_t m_c;
    locale_t m_old = static_cast<locale_t>(nullptr);
};
#endif

struct LuaCloser {
    void operator()(lua_State* L) const { lua_close(L); }
};

// What an error may owe to the includes that were not found: " (the included file "x" was not
// found, which may be why)", nothing when every include was found.
QString missingIncludesNote(const QStringList& missing)
{
    if (missing.isEmpty())
        return {};
    QStringList quoted;
    for (const QString& name : missing)
        quoted << QLatin1Char('"') + name + QLatin1Char('"');
    const QString names = quoted.size() == 1
        ? quoted.front()
        : quoted.mid(0, quoted.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + quoted.back();
    return QStringLiteral(" (the included %1 %2 not found, which may be why)")
        .arg(quoted.size() == 1 ? QStringLiteral("file ") + names : QStringLiteral("files ") + names,
            QLatin1String(quoted.size() == 1 ? "was" : "were"));
}

class Run {
public:
    Run(ScriptState& state, ScriptResult& result) : m_s(state), m_result(result) {}

    // Runs the part (the function below its arguments on the stack) as `chunk`; false when an
    // error stopped it.
    bool part(lua_State* L, Chunk chunk, int args, const QString& what)
    {
        const int function = lua_gettop(L) - args;
        lua_pushcfunction(L, messageHandler);
        lua_insert(L, function);
        m_s.chunk = chunk;
        m_s.errorLine = 0;
        int status = LUA_OK;
        try {
            status = lua_pcall(L, args, 0, function);
        } catch (...) {
            status = -1;
        }
        m_s.failAllocations = false;
        m_s.chunk = Chunk::Other;
        if (status == LUA_OK) {
            lua_settop(L, function - 1);
            return true;
        }
        QString message;
        qint64 line = m_s.errorLine;
        switch (status) {
        case LUA_ERRMEM:
            message = QStringLiteral("the script needs more memory than the limit of %1 MB")
                          .arg(m_s.options.memoryLimit >> 20);
            line = m_s.lastLine;
            break;
        case LUA_ERRRUN:
        case LUA_ERRERR: {
            std::size_t len = 0;
            const char* text = lua_tolstring(L, -1, &len);
            message = text != nullptr ? QString::fromLatin1(text, qsizetype(len)) : QStringLiteral("error");
            qint64 positionLine = 0;
            message = lua4MessageFromTranslation(withoutPosition(message, m_s.shortSource, positionLine));
            if (line == 0)
                line = positionLine;
            break;
        }
        default:
            message = QStringLiteral("the script stopped for a reason of its own (an error of the program)");
        }
        // Past the step limit the limit is the reason, whether the hook raised it or an allocation
        // was refused (which Lua reports as lack of memory).
        if (m_s.stop == ScriptStop::InstructionLimit) {
            message = stepLimitMessage(m_s.options);
            if (line == 0)
                line = m_s.lastLine;
        }
        lua_settop(L, function - 1);
        if (m_s.stop == ScriptStop::Cancelled)
            return false;
        // An error of the script's own may come from what a missing include would have defined.
        const bool scriptError = (status == LUA_ERRRUN || status == LUA_ERRERR) && m_s.stop == ScriptStop::None;
        fail(line,
            QStringLiteral("%1 stopped: %2%3")
                .arg(what, message, scriptError ? missingIncludesNote(m_s.missingIncludes) : QString()));
        return false;
    }

    void fail(qint64 line, const QString& message)
    {
        if (m_result.error.isEmpty()) {
            m_result.error = message;
            m_result.errorLine = line;
        }
        m_s.problem(line, message);
    }

private:
    ScriptState& m_s;
    ScriptResult& m_result;
};

int setUp(lua_State* L)
{
    openLua4Library(L);
    return 0;
}

// Reports the globals the level is made of.
int reportGlobals(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    for (const char* name : {"levelDesc", "maxPlayers", "player"}) {
        lua_pushglobaltable(L);
        lua_pushstring(L, name);
        lua_rawget(L, -2);
        if (!lua_isnil(L, -1)) {
            TableWalk walk{s};
            const LuaValue value = toLuaValue(L, -1, 0, walk);
            noteCut(L, s, walk);
            if (!value.isNil())
                s.sink.global(name, value, 0);
        }
        lua_pop(L, 2);
    }
    return 0;
}

int runMainChunk(lua_State* L)
{
    auto* translation = static_cast<Lua4Translation*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    runLua4Chunk(L, std::move(*translation), ScriptState::of(L).mainSource, 0);
    return 0;
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

std::size_t valueBytes(const LuaValue& value)
{
    std::size_t bytes = sizeof(LuaValue) + value.text.size();
    for (const LuaValue& item : value.items)
        bytes += valueBytes(item);
    for (const LuaField& field : value.fields)
        bytes += valueBytes(field.key) + valueBytes(field.value);
    return bytes;
}

// __L4K(i): the literal call i of the chunk whose ChunkText is upvalue 1.
int literalCall(lua_State* L)
{
    const auto* chunk = static_cast<const ScriptState::ChunkText*>(lua_touserdata(L, lua_upvalueindex(1)));
    const lua_Integer i = lua_tointeger(L, 1);
    if (chunk == nullptr || i < 0 || static_cast<std::size_t>(i) >= chunk->literalCalls.size())
        return luaL_error(L, "no such call");
    const Lua4LiteralCall& literal = chunk->literalCalls[static_cast<std::size_t>(i)];
    LevelCall call;
    call.args = lua4LiteralArguments(chunk->literalData, literal);
    lua_pushglobaltable(L);
    lua_pushlstring(L, literal.name.data(), literal.name.size());
    lua_pushvalue(L, -1);
    bool own = lua_rawget(L, -3) != LUA_TNIL; // the script's own value under this name
    if (own && lua_tocfunction(L, -1) == lua4RecordCall) {
        lua_getupvalue(L, -1, 1);
        own = !lua_rawequal(L, -1, -3); // a recorder, but of another name
        lua_pop(L, 1);
    }
    if (own) {
        // The script defined this function itself: call it with the arguments.
        luaL_checkstack(L, static_cast<int>(call.args.size()) + 2, "too many arguments");
        for (const LuaValue& arg : call.args)
            pushLuaValue(L, arg);
        lua_call(L, static_cast<int>(call.args.size()), 0);
        return 0;
    }
    ScriptState& s = ScriptState::of(L);
    std::size_t bytes = sizeof(LevelCall) + literal.name.size();
    for (const LuaValue& arg : call.args)
        bytes += valueBytes(arg);
    s.checkRoom(L, bytes);
    s.memoryUsed += bytes; // the sink keeps the call
    s.memoryPeak = std::max(s.memoryPeak, s.memoryUsed);
    call.name = literal.name;
    call.chunk = s.chunk;
    if (chunk->level) {
        call.line = literal.line;
        s.lastLine = literal.line;
    } else {
        call.line = s.levelLine(L); // the line in the level that led to the included file
    }
    s.sink.call(call);
    ++s.callsRecorded;
    return 0;
}

std::uint32_t seedFrom(const QByteArray& bytes)
{
    std::uint32_t h = 2166136261u; // FNV-1a
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

} // namespace

qint64 ScriptState::levelLine(lua_State* L, int level)
{
    lua_Debug ar;
    for (int l = level; lua_getstack(L, l, &ar) != 0; ++l) {
        if (lua_getinfo(L, "Sl", &ar) != 0 && ar.currentline > 0 && ar.source != nullptr && mainSource == ar.source) {
            lastLine = ar.currentline;
            return ar.currentline;
        }
    }
    return 0;
}

void ScriptState::chargeSteps(lua_State* L, std::uint64_t steps)
{
    instructions += steps;
    if (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed)) {
        stop = ScriptStop::Cancelled;
        luaL_error(L, "cancelled");
    }
    if (instructions > options.instructionLimit) {
        stop = ScriptStop::InstructionLimit;
        luaL_error(L, "%s", stepLimitMessage(options).toLatin1().constData());
    }
    if (instructions >= nextProgress) {
        nextProgress = instructions + progressPeriod;
        levelLine(L);
        if (options.progress)
            options.progress(callsRecorded);
    }
}

void ScriptState::checkRoom(lua_State* L, std::size_t bytes) const
{
    if (bytes > options.memoryLimit || memoryUsed > options.memoryLimit - bytes)
        luaL_error(L, "not enough memory: the script needs more than the limit of %d MB",
            static_cast<int>(options.memoryLimit >> 20));
}

int runLua4Chunk(lua_State* L, Lua4Translation&& translation, const std::string& chunkName, int results)
{
    const int base = lua_gettop(L);
    ScriptState& s = ScriptState::of(L);
    s.chunks.push_back(
        {std::move(translation.literalCalls), std::move(translation.literalData), chunkName == s.mainSource});
    {
        const std::string text = std::move(translation.text);
        s.checkRoom(L, text.size());
        if (luaL_loadbufferx(L, text.data(), text.size(), chunkName.c_str(), "t") != LUA_OK)
            return lua_error(L);
    }
    lua_rawgeti(L, LUA_REGISTRYINDEX, s.helpersRef);
    const int helpers = lua_gettop(L);
    for (int i = 1; i < static_cast<int>(lua4Helpers.size()); ++i)
        lua_rawgeti(L, helpers, i);
    lua_pushlightuserdata(L, &s.chunks.back());
    lua_pushcclosure(L, literalCall, 1);
    lua_remove(L, helpers);
    lua_call(L, static_cast<int>(lua4Helpers.size()), results);
    return lua_gettop(L) - base;
}

int lua4RecordCall(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    LevelCall call;
    std::size_t len = 0;
    const char* name = lua_tolstring(L, lua_upvalueindex(1), &len);
    call.name.assign(name, len);
    const int n = lua_gettop(L);
    call.args.reserve(static_cast<std::size_t>(n));
    TableWalk walk{s};
    walk.bytes += len;
    for (int i = 1; i <= n; ++i)
        call.args.push_back(toLuaValue(L, i, 0, walk));
    s.checkRoom(L, walk.bytes);
    s.memoryUsed += walk.bytes; // the sink keeps the call
    s.memoryPeak = std::max(s.memoryPeak, s.memoryUsed);
    call.chunk = s.chunk;
    call.line = s.levelLine(L);
    noteCut(L, s, walk);
    s.sink.call(call);
    ++s.callsRecorded;
    lua_pushnil(L);
    return 1;
}

ScriptResult runLevelScript(
    const QByteArray& source, const QString& fileName, ReadSink& sink, const ScriptOptions& options)
{
    ScriptResult result;
    ScriptState s(sink, options);
    Run run(s, result);
    if (source.startsWith("\x1bLua")) {
        run.fail(0,
            QStringLiteral("This is a compiled level (Lua bytecode), not a script: it cannot be opened. "
                           "Open the level's source text instead."));
        return result;
    }
    const QByteArray text = source.startsWith("\xEF\xBB\xBF") ? source.mid(3) : source;
    s.randomState = seedFrom(source);
    s.mainSource = chunkName(fileName);
    s.shortSource = s.mainSource.substr(1);

    Lua4Translation translation = translateLua4(
        std::string_view(text.constData(), static_cast<std::size_t>(text.size())), options.readLiteralCalls);
    if (!translation.ok()) {
        run.fail(translation.errorLine, QStringLiteral("Syntax error: %1").arg(translation.error));
        return result;
    }

#ifdef STARLOOM_THREAD_LOCALE
    const CLocale cLocale;
#endif
    std::unique_ptr<lua_State, LuaCloser> state(lua_newstate(allocate, &s));
    lua_State* L = state.get();
    if (L == nullptr) {
        result.cancelled = s.stop == ScriptStop::Cancelled;
        run.fail(0,
            result.cancelled ? QStringLiteral("cancelled")
                             : QStringLiteral("The script could not be started: not enough memory"));
        return result;
    }
    *static_cast<ScriptState**>(lua_getextraspace(L)) = &s;
    lua_sethook(L, countHook, LUA_MASKCOUNT, hookPeriod);

    lua_pushcfunction(L, setUp);
    if (!run.part(L, Chunk::Other, 0, QStringLiteral("Starting the script"))) {
        result.cancelled = s.stop == ScriptStop::Cancelled;
        return result;
    }
    lua_pushcfunction(L, runMainChunk);
    lua_pushlightuserdata(L, &translation);
    run.part(L, Chunk::Other, 1, QStringLiteral("The script"));
    for (const auto& [name, chunk] :
        {std::pair{"DetermChunk", Chunk::Determ}, std::pair{"NonDetermChunk", Chunk::NonDeterm}}) {
        if (s.stop != ScriptStop::None)
            break;
        if (lua_getglobal(L, name) != LUA_TFUNCTION) {
            lua_pop(L, 1);
            continue;
        }
        run.part(L, chunk, 0, QString::fromLatin1(name));
    }
    const std::uint64_t instructions = s.instructions;
    if (s.stop != ScriptStop::Cancelled) {
        lua_sethook(L, nullptr, 0, 0);
        s.instructions = 0; // reading the globals is not the script's work
        lua_pushcfunction(L, reportGlobals);
        run.part(L, Chunk::Other, 0, QStringLiteral("Reading the level's globals"));
    }
    result.cancelled = s.stop == ScriptStop::Cancelled;
    if (result.cancelled) {
        result.error = QStringLiteral("cancelled");
        result.errorLine = 0;
    }
    result.ok = result.error.isEmpty();
    result.randomCalls = s.randomCalls;
    result.callsRecorded = s.callsRecorded;
    result.instructions = instructions;
    result.peakMemory = s.memoryPeak;
    if (options.progress && !result.cancelled)
        options.progress(s.callsRecorded);
    return result;
}

} // namespace starloom
