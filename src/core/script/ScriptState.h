#pragma once

// The state of one run of a level script, shared by the runner and the Lua 4 library. Internal
// to script/.

#include "Lua4Source.h"
#include "ScriptBudget.h"
#include "ScriptRunner.h"

#include <lua.hpp>

#include <QSet>
#include <QStringList>

#include <list>
#include <memory>
#include <vector>

#include <cstdint>
#include <string>
#include <string_view>

namespace starloom {

struct Lua4Frame; // Lua4Chunk.h
struct Lua4Chunk;
class RecordedScript; // LevelScript.h

struct ScriptState {
    ScriptState(ReadSink& sinkIn, const ScriptOptions& optionsIn) : sink(sinkIn), options(optionsIn), budget(optionsIn)
    {
    }

    // The problems of a script that are reported (the messages that stopped it aside), and the
    // length of each, in characters; past them the rest are counted and told in one problem at
    // the end. The sink keeps what is reported: its bytes are charged to the script.
    static constexpr int maxProblems = 1000;
    static constexpr qsizetype maxProblemLength = 2000;

    ReadSink& sink;
    // The sink when it records the run: literal calls are then kept unread, with their chunk's data.
    RecordedScript* recorder = nullptr;
    const ScriptOptions& options;
    ScriptBudget budget; // the run's memory and steps, whoever uses them

    Chunk chunk = Chunk::Other;
    qint64 randomCalls = 0;
    std::uint32_t randomState = 0;
    int includeDepth = 0;
    int printed = 0;
    int hooks = 0; // calls of the count hook since the line was last noted
    int problemsReported = 0;
    qint64 problemsLeftOut = 0;
    lua_State* state = nullptr; // the run's Lua state, once made
    bool refusalNoted = false;  // the line of an allocation refused in this part is noted
    qint64 lastLine = 0;        // a recent line in the level, for errors that carry none
    qint64 errorLine = 0;       // the line of the error being handled
    // The innermost function of a compiled level being run.
    const Lua4Frame* compiledFrame = nullptr;

    std::string mainSource;  // the chunk name of the level's own text ("=name")
    std::string shortSource; // how Lua names it in messages
    QSet<QByteArray> undefinedReported;
    // The includes not found, named in the error that stops a part after them; each is reported
    // once and not looked for again.
    QStringList missingIncludes;
    QSet<QString> missingIncludeSet; // the same, to look them up
    int helpersRef = LUA_NOREF;      // registry: a table of the helpers translated chunks take
    // The literal calls of every chunk run so far (a list, so that they stay where they are
    // while __L4K refers to them).
    struct ChunkText {
        std::shared_ptr<const Lua4LiteralCalls> literals;
        bool level; // the level's own text, not an included file
    };
    std::list<ChunkText> chunks;
    // The compiled files included so far: their functions live as long as the run.
    std::vector<std::shared_ptr<Lua4Chunk>> compiledIncludes;

    static ScriptState& of(lua_State* L) { return **static_cast<ScriptState**>(lua_getextraspace(L)); }

    // The line in the level of the call `level` frames up the stack: the first frame that runs the
    // level's own text (a frame of an included file gives way to the level's call that led to it).
    qint64 levelLine(lua_State* L, int level = 1);

    // Work done in C++ for the script (see ScriptBudget::chargeSteps).
    void chargeSteps(lua_State* L, std::uint64_t steps) { budget.chargeSteps(L, steps); }
    // Raises Lua's memory error when `bytes` more would pass the memory limit (nothing charged).
    void checkRoom(lua_State* L, std::size_t bytes);

    // `text` cut to maxProblemLength characters.
    static QString shortened(const QString& text);
    // A problem of the script, reported within the caps (see maxProblems).
    void problem(qint64 line, const QString& text);
    // The message that stopped the script or a part of it: always reported, and listed first.
    void stopped(qint64 line, const QString& text);
    // Tells how many problems the caps left out, once the run has ended.
    void reportProblemsLeftOut();
};

// The text Lua 4 gives a number: "%.16g" ("5", "0.5", "1e+20"). `buffer` holds at least 32 chars.
std::string_view lua4NumberText(double value, char* buffer);

// The number a string stands for in Lua 4 (decimal, blanks around it allowed), or false.
bool lua4StringToNumber(std::string_view text, double& value);

// Lua 4's conversions of arguments: a number or a string that reads as one; a string or a number
// (as its Lua 4 text). They raise Lua's "bad argument" error otherwise.
double lua4CheckNumber(lua_State* L, int arg);
double lua4OptNumber(lua_State* L, int arg, double fallback);
int lua4CheckInt(lua_State* L, int arg);
// A number of a numeric for loop (`what`: "initial value", "limit", "step"): a string that reads
// as a number becomes the number, anything else raises "'for' limit must be a number".
void lua4ForNumber(lua_State* L, int index, const char* what);
std::string_view lua4CheckString(lua_State* L, int arg);
// The value's text for print and tostring (a string's first `maxLength` bytes).
std::string lua4ToString(lua_State* L, int index, std::size_t maxLength = std::string::npos);

// Lua 4's getn: t.n when it is a number, else the largest number key (not nil).
int lua4Getn(lua_State* L, int table);

// Pushes a table that lists the keys of the table at `table` other than 1 .. border, in the order
// a traversal visits them: numbers ascending, then strings (lua4KeyLess), then the rest; returns
// the border (the list part 1 .. border comes first).
lua_Integer lua4OrderedKeys(lua_State* L, int table);

// The recorder of a game function (its name is upvalue 1): reports the call to the sink.
int lua4RecordCall(lua_State* L);
// __L4K(i): the literal call i of the chunk whose ChunkText is upvalue 1, reported to the sink
// (or made to the script's own function of that name).
int lua4LiteralCall(lua_State* L);
// Reports the globals the level is made of (levelDesc, maxPlayers, player) to the sink.
int lua4ReportGlobals(lua_State* L);

// Installs the Lua 4 library (tinsert, strsub, sin in degrees, random, print, dofilepath, ...) in
// the globals of `L`, and Lua 4's arithmetic on strings.
void openLua4Library(lua_State* L);

// Translates Lua 4 source for the run: its work charged in steps and the bytes it allocates held
// by `held` (before they are allocated).
Lua4Translation translateForRun(lua_State* L, std::string_view source, HeldBytes& held);

// Runs a translation as a chunk of the level (the level itself or an included file), passing the
// helpers; leaves its results on the stack and returns their number. `held` holds the bytes of
// the translation: what the chunk keeps for the run (its literal calls) stays charged, the rest
// is released once the chunk is loaded.
int runLua4Chunk(
    lua_State* L, Lua4Translation&& translation, const std::string& chunkName, int results, HeldBytes& held);

} // namespace starloom
