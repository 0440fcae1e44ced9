#include "ScriptRunner.h"

#include "LevelScript.h"
#include "Lua4Chunk.h"
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

constexpr int hookPeriod = 1000;             // instructions between two calls of the count hook
constexpr int hooksPerLine = 8;              // hooks between two notes of the line being run
constexpr qsizetype maxMessageLength = 1000; // of an error message, in characters

// Lua's allocations, counted by the run's budget against the memory limit; the bytes allocated
// are steps of work too (strings joined, copied, changed in C, which the count hook does not
// see). Past the step limit, or once the run is cancelled, every allocation fails, which stops
// the script at once through Lua's own error path.
void* allocate(void* ud, void* ptr, std::size_t osize, std::size_t nsize)
{
    auto* s = static_cast<ScriptState*>(ud);
    auto& budget = s->budget;
    const std::size_t old = ptr != nullptr ? osize : 0;
    if (nsize == 0) {
        std::free(ptr);
        budget.free(old);
        return nullptr;
    }
    if (nsize > old && !budget.allocate(nsize - old)) {
        // Lua reports a refused allocation without a line (and calls no message handler): the
        // line of the level being run is noted now, once.
        if (s->state != nullptr && !s->refusalNoted) {
            s->refusalNoted = true;
            s->levelLine(s->state, 0);
        }
        return nullptr;
    }
    void* block = std::realloc(ptr, nsize);
    if (block == nullptr) {
        if (nsize > old)
            budget.free(nsize - old);
        return nullptr;
    }
    if (nsize < old)
        budget.free(old - nsize);
    return block;
}

void countHook(lua_State* L, lua_Debug*)
{
    ScriptState& s = ScriptState::of(L);
    if (++s.hooks >= hooksPerLine) {
        s.hooks = 0;
        s.levelLine(L, 0);
    }
    s.budget.chargeInstructions(L, hookPeriod);
}

// What an error value that is no string stands for, without its address.
const char* valueKind(lua_State* L, int index)
{
    switch (lua_type(L, index)) {
    case LUA_TTABLE:
        return "a table";
    case LUA_TFUNCTION:
        return "a function";
    case LUA_TNIL:
    case LUA_TNONE:
        return "nil";
    case LUA_TBOOLEAN:
        return lua_toboolean(L, index) ? "1" : "nil";
    default:
        return "a userdata value";
    }
}

// Keeps the message of an error and notes its line in the level.
int messageHandler(lua_State* L)
{
    ScriptState& s = ScriptState::of(L);
    s.errorLine = s.levelLine(L, 1);
    if (lua_type(L, 1) != LUA_TSTRING && lua_type(L, 1) != LUA_TNUMBER)
        lua_pushfstring(L, "error (the error value is %s)", valueKind(L, 1));
    else
        lua_settop(L, 1);
    return 1;
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

// An error message as the user is told it: at most maxMessageLength characters.
QString messageText(const char* text, std::size_t len)
{
    if (text == nullptr)
        return QStringLiteral("error");
    if (len > std::size_t(maxMessageLength))
        return QString::fromLatin1(text, maxMessageLength) + QStringLiteral("... (cut)");
    return QString::fromLatin1(text, qsizetype(len));
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
        m_s.refusalNoted = false;
        m_s.budget.startPart();
        int status = LUA_OK;
        try {
            status = lua_pcall(L, args, 0, function);
        } catch (...) {
            status = -1;
        }
        m_s.budget.allowAllocations();
        m_s.chunk = Chunk::Other;
        if (status == LUA_OK) {
            lua_settop(L, function - 1);
            return true;
        }
        QString message;
        qint64 line = m_s.errorLine;
        if (status == LUA_ERRMEM || (m_s.budget.memoryRefused() && status != -1)) {
            message = QStringLiteral("the script needs more memory than the limit of %1 MB")
                          .arg(m_s.options.memoryLimit >> 20);
            if (line == 0)
                line = m_s.lastLine;
        } else if (status == LUA_ERRRUN || status == LUA_ERRERR) {
            std::size_t len = 0;
            const char* text = lua_tolstring(L, -1, &len);
            qint64 positionLine = 0;
            message =
                lua4MessageFromTranslation(withoutPosition(messageText(text, len), m_s.shortSource, positionLine));
            if (line == 0)
                line = positionLine;
        } else {
            message = QStringLiteral("the script stopped for a reason of its own (an error of the program)");
        }
        // Past the step limit the limit is the reason, whether the hook raised it or an allocation
        // was refused (which Lua reports as lack of memory).
        if (m_s.budget.stop() == ScriptStop::InstructionLimit) {
            message = stepLimitMessage(m_s.options.instructionLimit);
            if (line == 0)
                line = m_s.lastLine;
        }
        lua_settop(L, function - 1);
        if (m_s.budget.stop() == ScriptStop::Cancelled)
            return false;
        // An error of the script's own may come from what a missing include would have defined.
        const bool scriptError =
            (status == LUA_ERRRUN || status == LUA_ERRERR) && m_s.budget.stop() == ScriptStop::None;
        fail(line,
            QStringLiteral("%1 stopped: %2%3")
                .arg(what, message, scriptError ? missingIncludesNote(m_s.missingIncludes) : QString()));
        return false;
    }

    void fail(qint64 line, const QString& message)
    {
        if (m_result.error.isEmpty()) {
            m_result.error = ScriptState::shortened(message);
            m_result.errorLine = line;
        }
        m_s.stopped(line, message);
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

// The level's text and its translation, made in a part of the run.
struct MainText {
    std::string_view source;
    Lua4Translation* translation;
    HeldBytes* held;
};

int translateMainChunk(lua_State* L)
{
    auto* main = static_cast<MainText*>(lua_touserdata(L, 1));
    *main->translation = translateForRun(L, main->source, *main->held);
    return 0;
}

int runMainChunk(lua_State* L)
{
    auto* main = static_cast<MainText*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    runLua4Chunk(L, std::move(*main->translation), ScriptState::of(L).mainSource, 0, *main->held);
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
    int l = level;
    qint64 line = 0;
    for (; lua_getstack(L, l, &ar) != 0; ++l) {
        if (lua_getinfo(L, "Sl", &ar) != 0 && ar.currentline > 0 && ar.source != nullptr && mainSource == ar.source) {
            lastLine = ar.currentline;
            line = ar.currentline;
            break;
        }
    }
    // The frames looked at are work (deep in an include's recursion, many); a limit it passes is
    // noticed at the next charge.
    budget.tryChargeSteps(static_cast<std::uint64_t>(l - level) * 4);
    // A compiled level runs as C functions: its own frames know their lines.
    if (line == 0) {
        if (const qint64 compiledLine = lua4FrameLine(compiledFrame); compiledLine > 0)
            line = lastLine = compiledLine;
    }
    return line;
}

void ScriptState::checkRoom(lua_State* L, std::size_t bytes)
{
    if (bytes > budget.room()) {
        HeldBytes held(budget, L);
        held.add(bytes); // raises the memory error
    }
}

QString ScriptState::shortened(const QString& text)
{
    return text.size() > maxProblemLength ? text.left(maxProblemLength) + QStringLiteral("... (cut)") : text;
}

void ScriptState::problem(qint64 line, const QString& text)
{
    const QString shown = shortened(text);
    // What the sink keeps of it, about.
    const std::size_t bytes = 64 + 2 * static_cast<std::size_t>(shown.size());
    if (problemsReported >= maxProblems || !budget.tryHold(bytes)) {
        ++problemsLeftOut;
        return;
    }
    ++problemsReported;
    sink.problem(line, shown);
}

void ScriptState::stopped(qint64 line, const QString& text)
{
    const QString shown = shortened(text);
    budget.tryHold(64 + 2 * static_cast<std::size_t>(shown.size()));
    sink.stopped(line, shown);
}

void ScriptState::reportProblemsLeftOut()
{
    if (problemsLeftOut == 0)
        return;
    sink.problem(0,
        QStringLiteral("%1 more problems of the script were left out (at most %2 are listed)")
            .arg(problemsLeftOut)
            .arg(maxProblems));
    problemsLeftOut = 0;
}

Lua4Translation translateForRun(lua_State* L, std::string_view source, HeldBytes& held)
{
    ScriptState& s = ScriptState::of(L);
    return translateLua4(source, s.options.readLiteralCalls, [&](std::uint64_t work, std::size_t bytes) {
        s.chargeSteps(L, work);
        held.add(bytes);
    });
}

int runLua4Chunk(
    lua_State* L, Lua4Translation&& translation, const std::string& chunkName, int results, HeldBytes& held)
{
    const int base = lua_gettop(L);
    ScriptState& s = ScriptState::of(L);
    std::size_t kept = translation.literalData.capacity()
        + translation.literalCalls.capacity() * sizeof(Lua4LiteralCall) + sizeof(ScriptState::ChunkText)
        + sizeof(Lua4LiteralCalls);
    for (const Lua4LiteralCall& call : translation.literalCalls)
        kept += call.name.capacity();
    {
        const std::string text = std::move(translation.text);
        held.resize(std::max(held.bytes(), kept + text.capacity()));
        auto literals = std::make_shared<Lua4LiteralCalls>();
        literals->calls = std::move(translation.literalCalls);
        literals->data = std::move(translation.literalData);
        s.chunks.push_back({std::move(literals), chunkName == s.mainSource});
        held.keep(kept); // for the rest of the run
        if (luaL_loadbufferx(L, text.data(), text.size(), chunkName.c_str(), "t") != LUA_OK)
            return lua_error(L);
    }
    held.resize(0);
    lua_rawgeti(L, LUA_REGISTRYINDEX, s.helpersRef);
    const int helpers = lua_gettop(L);
    for (int i = 1; i < static_cast<int>(lua4Helpers.size()); ++i)
        lua_rawgeti(L, helpers, i);
    lua_pushlightuserdata(L, &s.chunks.back());
    lua_pushcclosure(L, lua4LiteralCall, 1);
    lua_remove(L, helpers);
    lua_call(L, static_cast<int>(lua4Helpers.size()), results);
    return lua_gettop(L) - base;
}

ScriptResult runLevelScript(
    const QByteArray& source, const QString& fileName, ReadSink& sink, const ScriptOptions& options)
{
    ScriptResult result;
    ScriptState s(sink, options);
    s.recorder = dynamic_cast<RecordedScript*>(&sink);
    Run run(s, result);
    auto finish = [&] {
        result.cancelled = s.budget.stop() == ScriptStop::Cancelled;
        if (result.cancelled) {
            result.error = QStringLiteral("cancelled");
            result.errorLine = 0;
        } else {
            s.reportProblemsLeftOut();
        }
        result.ok = result.error.isEmpty();
        result.randomCalls = s.randomCalls;
        result.callsRecorded = s.budget.callsRecorded;
        result.peakMemory = s.budget.peak();
        if (options.progress && !result.cancelled)
            options.progress(s.budget.callsRecorded);
        return result;
    };
    const std::string_view bytes(source.constData(), static_cast<std::size_t>(source.size()));
    Lua4ChunkLoad compiled; // a compiled level runs in place of the translation
    if (isLua4Chunk(bytes)) {
        compiled = loadLua4Chunk(bytes, fileName);
        if (!compiled.chunk) {
            run.fail(0, compiled.error);
            return finish();
        }
    }
    const qsizetype bom = source.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    s.randomState = options.oracleRandomSeed ? *options.oracleRandomSeed : seedFrom(source);
    s.mainSource = chunkName(fileName);
    s.shortSource = s.mainSource.substr(1);

#ifdef STARLOOM_THREAD_LOCALE
    const CLocale cLocale;
#endif
    std::unique_ptr<lua_State, LuaCloser> state(lua_newstate(allocate, &s));
    lua_State* L = state.get();
    if (L == nullptr) {
        if (s.budget.stop() != ScriptStop::Cancelled)
            run.fail(0, QStringLiteral("The script could not be started: not enough memory"));
        return finish();
    }
    *static_cast<ScriptState**>(lua_getextraspace(L)) = &s;
    s.state = L;
    lua_sethook(L, countHook, LUA_MASKCOUNT, hookPeriod);

    lua_pushcfunction(L, setUp);
    if (!run.part(L, Chunk::Other, 0, QStringLiteral("Starting the script")))
        return finish();
    // The translation is work of the script's: its steps and memory count, and a cancel stops it.
    Lua4Translation translation;
    HeldBytes translationBytes(s.budget, L);
    MainText main{std::string_view(source.constData() + bom, static_cast<std::size_t>(source.size() - bom)),
        &translation, &translationBytes};
    if (!compiled.chunk) {
        lua_pushcfunction(L, translateMainChunk);
        lua_pushlightuserdata(L, &main);
        if (!run.part(L, Chunk::Other, 1, QStringLiteral("The script")))
            return finish();
    }
    if (!translation.ok()) {
        run.fail(translation.errorLine, QStringLiteral("Syntax error: %1").arg(translation.error));
        return finish();
    }
    if (compiled.chunk) {
        lua_pushcfunction(L, lua4RunCompiledMain);
        lua_pushlightuserdata(L, compiled.chunk.get());
    } else {
        lua_pushcfunction(L, runMainChunk);
        lua_pushlightuserdata(L, &main);
    }
    run.part(L, Chunk::Other, 1, QStringLiteral("The script"));
    for (const auto& [name, chunk] :
        {std::pair{"DetermChunk", Chunk::Determ}, std::pair{"NonDetermChunk", Chunk::NonDeterm}}) {
        if (s.budget.stop() != ScriptStop::None)
            break;
        if (lua_getglobal(L, name) != LUA_TFUNCTION) {
            lua_pop(L, 1);
            continue;
        }
        run.part(L, chunk, 0, QString::fromLatin1(name));
    }
    result.instructions = s.budget.steps();
    if (s.budget.stop() != ScriptStop::Cancelled) {
        lua_sethook(L, nullptr, 0, 0);
        s.budget.restartSteps(); // reading the globals is not the script's work
        lua_pushcfunction(L, lua4ReportGlobals);
        run.part(L, Chunk::Other, 0, QStringLiteral("Reading the level's globals"));
    }
    return finish();
}

} // namespace starloom
