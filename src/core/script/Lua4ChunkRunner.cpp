// Running a compiled Lua 4.0 chunk in the script sandbox: an interpreter of Lua 4.0's
// instructions that works on the sandbox's own Lua state through its C API. Each function of the
// chunk becomes a C closure whose first value is the function and whose other values are the
// closure's own (Lua 4.0 copies them when it makes the closure); its slots are the C function's
// stack, above the globals table kept at the bottom. What the instructions mean comes from the
// helpers translated scripts use (joining with "..", traversing tables, the "arg" table,
// undefined functions), from the globals and the string metatable the library sets up (game
// functions, arithmetic on strings), so that compiled and text levels behave the same. Steps are
// charged per instruction; calls of game functions with constant arguments are recorded straight
// from what the loader worked out.

#include "Lua4Chunk.h"

#include "ScriptState.h"

#include <lua.hpp>

#include <algorithm>
#include <cmath>

namespace starloom {

namespace {

constexpr int globalsIndex = 1; // the globals table, below the slots
constexpr int slotBase = 2;     // the stack index of slot 0
constexpr int extraSlots = 8;   // what the instructions push beyond a function's own slots
constexpr int stepPeriod = 1000;

// The helpers of translated text, by their place in lua4Helpers.
enum class Helper { Cat = 1, Pairs = 2, Pack = 3, Undefined = 5 };

void pushHelper(lua_State* L, const ScriptState& s, Helper helper)
{
    lua_rawgeti(L, LUA_REGISTRYINDEX, s.helpersRef);
    lua_rawgeti(L, -1, static_cast<int>(helper));
    lua_remove(L, -2);
}

int runFunction(lua_State* L);

// Keeps the running function where levelLine finds it, until it returns or an error unwinds it.
class FrameScope {
public:
    FrameScope(ScriptState& s, const Lua4Function& f, bool level) : m_s(s)
    {
        m_frame.function = &f;
        m_frame.level = level;
        m_frame.outer = s.compiledFrame;
        s.compiledFrame = &m_frame;
    }
    ~FrameScope() { m_s.compiledFrame = m_frame.outer; }
    FrameScope(const FrameScope&) = delete;
    FrameScope& operator=(const FrameScope&) = delete;

    void at(std::uint32_t pc) { m_frame.pc = pc; }

private:
    ScriptState& m_s;
    Lua4Frame m_frame;
};

void pushConstant(lua_State* L, const std::string& s)
{
    lua_pushlstring(L, s.data(), s.size());
}

// Records a call of constant arguments when the global still holds the game function's recorder
// (not a function of the script's own under that name).
bool recordConstantCall(lua_State* L, ScriptState& s, Lua4ConstantCall& c, const std::string& global, bool level)
{
    if (c.taken)
        return false;
    pushConstant(L, global);
    lua_pushvalue(L, -1);
    bool recorder = lua_rawget(L, globalsIndex) == LUA_TNIL;
    if (!recorder && lua_tocfunction(L, -1) == lua4RecordCall) {
        lua_getupvalue(L, -1, 1);
        recorder = lua_rawequal(L, -1, -3) != 0;
        lua_pop(L, 1);
    }
    lua_pop(L, 2);
    if (!recorder)
        return false;
    s.budget.hold(L, c.bytes); // the sink keeps the call
    c.call.chunk = s.chunk;
    if (!level) {
        // An included file's call: at the line in the level that led to it.
        LevelCall call = c.call;
        call.line = s.levelLine(L);
        s.sink.call(call);
        ++s.budget.callsRecorded;
        return true;
    }
    if (c.call.line > 0)
        s.lastLine = c.call.line;
    c.taken = true;
    s.sink.takeCall(std::move(c.call));
    ++s.budget.callsRecorded;
    return true;
}

bool lessThan(lua_State* L, int a, int b)
{
    return lua_compare(L, a, b, LUA_OPLT) != 0;
}

class Interpreter {
public:
    Interpreter(lua_State* L, Lua4Function& f, bool level)
        : m_L(L),
          m_s(ScriptState::of(L)),
          m_f(f),
          m_level(level),
          m_frame(m_s, f, level)
    {
    }

    // Runs the function with its arguments on the stack; returns the number of its results,
    // which are on top of the stack.
    int run()
    {
        lua_State* L = m_L;
        arguments();
        const std::uint32_t* code = m_f.code.data();
        std::uint32_t pc = 0;
        for (;;) {
            if (--m_budget == 0)
                charge(pc);
            const std::uint32_t i = code[pc];
            m_frame.at(pc);
            ++pc;
            switch (lua4Op(i)) {
            case Lua4Op::End:
                return finish(0);
            case Lua4Op::Return:
                return finish(lua_gettop(L) - slotBase - static_cast<int>(lua4U(i)) + 1);
            case Lua4Op::Call:
                call(
                    pc - 1, i, static_cast<int>(lua4B(i)) == lua4AllResults ? LUA_MULTRET : static_cast<int>(lua4B(i)));
                break;
            case Lua4Op::TailCall:
                call(pc - 1, i, LUA_MULTRET);
                return finish(lua_gettop(L) - slotBase - static_cast<int>(lua4B(i)) + 1);
            case Lua4Op::PushNil:
                for (std::uint32_t n = lua4U(i); n > 0; --n)
                    lua_pushnil(L);
                break;
            case Lua4Op::Pop:
                lua_pop(L, static_cast<int>(lua4U(i)));
                break;
            case Lua4Op::PushInt:
                lua_pushnumber(L, lua4S(i));
                break;
            case Lua4Op::PushString:
                pushConstant(L, m_f.strings[lua4U(i)]);
                break;
            case Lua4Op::PushNumber:
                lua_pushnumber(L, m_f.numbers[lua4U(i)]);
                break;
            case Lua4Op::PushNegNumber:
                lua_pushnumber(L, -m_f.numbers[lua4U(i)]);
                break;
            case Lua4Op::PushUpvalue:
                lua_pushvalue(L, lua_upvalueindex(static_cast<int>(lua4U(i)) + 3));
                break;
            case Lua4Op::GetLocal:
                lua_pushvalue(L, slot(lua4U(i)));
                break;
            case Lua4Op::GetGlobal: {
                const std::int32_t constant = m_f.aux[pc - 1];
                if (constant >= 0 && m_s.options.readLiteralCalls) {
                    Lua4ConstantCall& c = m_f.constantCalls[static_cast<std::size_t>(constant)];
                    if (recordConstantCall(L, m_s, c, m_f.globals[lua4U(i)], m_level)) {
                        m_steps += c.steps - 1;
                        pc = c.next;
                        break;
                    }
                }
                pushConstant(L, m_f.globals[lua4U(i)]);
                lua_gettable(L, globalsIndex);
                break;
            }
            case Lua4Op::GetTable:
                lua_gettable(L, -2);
                lua_replace(L, -2);
                break;
            case Lua4Op::GetDotted:
                pushConstant(L, m_f.strings[lua4U(i)]);
                lua_gettable(L, -2);
                lua_replace(L, -2);
                break;
            case Lua4Op::GetIndexed:
                lua_pushvalue(L, slot(lua4U(i)));
                lua_gettable(L, -2);
                lua_replace(L, -2);
                break;
            case Lua4Op::PushSelf:
                pushConstant(L, m_f.strings[lua4U(i)]);
                lua_gettable(L, -2);
                lua_insert(L, -2);
                break;
            case Lua4Op::CreateTable:
                lua_createtable(L, static_cast<int>(std::min<std::uint32_t>(lua4U(i), 256)), 0);
                break;
            case Lua4Op::SetLocal:
                lua_replace(L, slot(lua4U(i)));
                break;
            case Lua4Op::SetGlobal:
                pushConstant(L, m_f.globals[lua4U(i)]);
                lua_insert(L, -2);
                lua_rawset(L, globalsIndex);
                break;
            case Lua4Op::SetTable: {
                const int a = static_cast<int>(lua4A(i));
                lua_pushvalue(L, -a + 1); // the key
                lua_pushvalue(L, -2);     // the value
                lua_settable(L, -a - 2);
                lua_pop(L, static_cast<int>(lua4B(i)));
                break;
            }
            case Lua4Op::SetList:
                setList(lua4A(i), static_cast<int>(lua4B(i)));
                break;
            case Lua4Op::SetMap:
                setMap(static_cast<int>(lua4U(i)));
                break;
            case Lua4Op::Add:
                lua_arith(L, LUA_OPADD);
                break;
            case Lua4Op::AddInt:
                lua_pushnumber(L, lua4S(i));
                lua_arith(L, LUA_OPADD);
                break;
            case Lua4Op::Sub:
                lua_arith(L, LUA_OPSUB);
                break;
            case Lua4Op::Mul:
                lua_arith(L, LUA_OPMUL);
                break;
            case Lua4Op::Div:
                lua_arith(L, LUA_OPDIV);
                break;
            case Lua4Op::Pow:
                // pow() as Lua 4.0 computes it (Lua 5.4 squares by a * a, which may differ in the
                // last bit); strings go by their metatable, which uses pow() too.
                if (lua_type(L, -2) == LUA_TNUMBER && lua_type(L, -1) == LUA_TNUMBER) {
                    const double power = std::pow(lua_tonumber(L, -2), lua_tonumber(L, -1));
                    lua_pop(L, 2);
                    lua_pushnumber(L, power);
                } else {
                    lua_arith(L, LUA_OPPOW);
                }
                break;
            case Lua4Op::Concat: {
                const int n = static_cast<int>(lua4U(i));
                pushHelper(L, m_s, Helper::Cat);
                lua_insert(L, -n - 1);
                lua_call(L, n, 1);
                break;
            }
            case Lua4Op::Negate:
                lua_arith(L, LUA_OPUNM);
                break;
            case Lua4Op::Not: {
                const bool nil = !lua_toboolean(L, -1);
                lua_pop(L, 1);
                if (nil)
                    lua_pushnumber(L, 1);
                else
                    lua_pushnil(L);
                break;
            }
            case Lua4Op::JumpNe:
            case Lua4Op::JumpEq:
            case Lua4Op::JumpLt:
            case Lua4Op::JumpLe:
            case Lua4Op::JumpGt:
            case Lua4Op::JumpGe:
                if (compare(lua4Op(i)))
                    pc += static_cast<std::uint32_t>(lua4S(i));
                break;
            case Lua4Op::JumpIfTrue:
            case Lua4Op::JumpIfFalse: {
                const bool truth = lua_toboolean(L, -1) != 0;
                lua_pop(L, 1);
                if (truth == (lua4Op(i) == Lua4Op::JumpIfTrue))
                    pc += static_cast<std::uint32_t>(lua4S(i));
                break;
            }
            case Lua4Op::JumpKeepTrue:
            case Lua4Op::JumpKeepFalse:
                if ((lua_toboolean(L, -1) != 0) == (lua4Op(i) == Lua4Op::JumpKeepTrue))
                    pc += static_cast<std::uint32_t>(lua4S(i));
                else
                    lua_pop(L, 1);
                break;
            case Lua4Op::Jump:
                pc += static_cast<std::uint32_t>(lua4S(i));
                break;
            case Lua4Op::PushNilJump:
                lua_pushnil(L);
                ++pc;
                break;
            case Lua4Op::ForPrep:
                if (!forPrep())
                    pc += static_cast<std::uint32_t>(lua4S(i));
                break;
            case Lua4Op::ForLoop:
                if (forLoop())
                    pc += static_cast<std::uint32_t>(lua4S(i));
                break;
            case Lua4Op::TableForPrep:
                if (!tableForPrep())
                    pc += static_cast<std::uint32_t>(lua4S(i));
                break;
            case Lua4Op::TableForLoop:
                if (tableForLoop())
                    pc += static_cast<std::uint32_t>(lua4S(i));
                break;
            case Lua4Op::Closure: {
                Lua4Function& child = m_chunk().functions[m_f.functions[lua4A(i)]];
                const int n = static_cast<int>(lua4B(i));
                lua_pushlightuserdata(L, &child);
                lua_insert(L, -n - 1);
                lua_pushlightuserdata(L, lua_touserdata(L, lua_upvalueindex(2)));
                lua_insert(L, -n - 1);
                lua_pushcclosure(L, runFunction, n + 2);
                break;
            }
            }
        }
    }

private:
    static int slot(std::uint32_t n) { return static_cast<int>(n) + slotBase; }

    Lua4Chunk& m_chunk() const { return *static_cast<Lua4Chunk*>(lua_touserdata(m_L, lua_upvalueindex(2))); }

    void charge(std::uint32_t pc)
    {
        m_frame.at(pc);
        m_budget = stepPeriod;
        const std::uint64_t steps = m_steps + stepPeriod;
        m_steps = 0;
        m_s.chargeSteps(m_L, steps);
    }

    int finish(int results)
    {
        // The steps since the last charge; a limit they pass is noticed at the next charge.
        m_s.budget.tryChargeSteps(m_steps + static_cast<std::uint64_t>(stepPeriod - m_budget));
        return results;
    }

    // The arguments in the parameters' slots: missing ones nil, extra ones dropped, or kept in the
    // table "arg" of a function with "...". The globals table goes below them.
    void arguments()
    {
        lua_State* L = m_L;
        luaL_checkstack(L, m_f.maxStack + extraSlots, "stack overflow");
        if (lua_gettop(L) < m_f.params || !m_f.vararg)
            lua_settop(L, m_f.params);
        if (m_f.vararg) {
            pushHelper(L, m_s, Helper::Pack);
            lua_insert(L, m_f.params + 1);
            lua_call(L, lua_gettop(L) - m_f.params - 1, 1);
        }
        lua_pushglobaltable(L);
        lua_insert(L, globalsIndex);
    }

    void call(std::uint32_t pc, std::uint32_t i, int results)
    {
        lua_State* L = m_L;
        const int function = slot(lua4A(i));
        const std::int32_t name = m_f.aux[pc];
        if (name >= 0 && !lua_toboolean(L, function)) {
            // A global that is not defined: reported once, its calls do nothing (as in scripts).
            pushHelper(L, m_s, Helper::Undefined);
            pushConstant(L, m_f.strings[static_cast<std::size_t>(name)]);
            lua_gettable(L, -2);
            lua_replace(L, function);
            lua_pop(L, 1);
        }
        lua_call(L, lua_gettop(L) - function, results);
    }

    // Lua 4.0's comparisons: "<=" is "not (b < a)", ">" is "b < a", ">=" is "not (a < b)".
    bool compare(Lua4Op op)
    {
        lua_State* L = m_L;
        bool result = false;
        switch (op) {
        case Lua4Op::JumpNe:
            result = lua_rawequal(L, -2, -1) == 0;
            break;
        case Lua4Op::JumpEq:
            result = lua_rawequal(L, -2, -1) != 0;
            break;
        case Lua4Op::JumpLt:
            result = lessThan(L, -2, -1);
            break;
        case Lua4Op::JumpLe:
            result = !lessThan(L, -1, -2);
            break;
        case Lua4Op::JumpGt:
            result = lessThan(L, -1, -2);
            break;
        default:
            result = !lessThan(L, -2, -1);
            break;
        }
        lua_pop(L, 2);
        return result;
    }

    void checkTable(int index)
    {
        if (!lua_istable(m_L, index))
            luaL_error(m_L, "attempt to index a %s value", luaL_typename(m_L, index));
    }

    void setList(std::uint32_t group, int n)
    {
        lua_State* L = m_L;
        checkTable(-n - 1);
        const lua_Integer first = static_cast<lua_Integer>(group) * lua4ListFlush;
        for (int k = n; k >= 1; --k)
            lua_rawseti(L, -k - 1, first + k);
    }

    // The last pair first, as Lua 4.0 sets them: of two equal keys the first one's value stays.
    void setMap(int n)
    {
        lua_State* L = m_L;
        checkTable(-2 * n - 1);
        for (int k = n; k >= 1; --k) {
            if (lua_isnil(L, -2))
                luaL_error(L, "table index is nil");
            lua_rawset(L, -2 * k - 1);
        }
    }

    // i, limit and step on top: false when the loop runs no turn (they are then popped).
    bool forPrep()
    {
        lua_State* L = m_L;
        lua4ForNumber(L, -1, "step");
        lua4ForNumber(L, -2, "limit");
        lua4ForNumber(L, -3, "initial value");
        const double i = lua_tonumber(L, -3);
        const double limit = lua_tonumber(L, -2);
        const bool none = lua_tonumber(L, -1) > 0 ? i > limit : i < limit;
        if (none)
            lua_pop(L, 3);
        return !none;
    }

    // True while the loop goes on; at its end i, limit and step are popped.
    bool forLoop()
    {
        lua_State* L = m_L;
        if (lua_type(L, -3) != LUA_TNUMBER)
            luaL_error(L, "'for' index must be a number");
        const double step = lua_tonumber(L, -1);
        const double limit = lua_tonumber(L, -2);
        const double i = lua_tonumber(L, -3) + step;
        lua_pushnumber(L, i);
        lua_replace(L, -4);
        const bool done = step > 0 ? i > limit : i < limit;
        if (done)
            lua_pop(L, 3);
        return !done;
    }

    // The table on top becomes the traversal's step function (the helper of "for k, v in t"),
    // followed by the first key and value: false when there is none (the table is then popped).
    bool tableForPrep()
    {
        lua_State* L = m_L;
        pushHelper(L, m_s, Helper::Pairs);
        lua_insert(L, -2);
        lua_call(L, 1, 1);
        return tableStep(true);
    }

    bool tableForLoop() { return tableStep(false); }

    // The step function, key and value on top (only the step function when `first`).
    bool tableStep(bool first)
    {
        lua_State* L = m_L;
        const int stepFunction = first ? -1 : -3;
        if (lua_type(L, stepFunction) != LUA_TFUNCTION)
            luaL_error(L, "'for' table must be a table");
        lua_pushvalue(L, stepFunction);
        lua_call(L, 0, 2);
        if (lua_isnil(L, -2)) {
            lua_pop(L, first ? 3 : 5);
            return false;
        }
        if (!first) {
            lua_replace(L, -3);
            lua_replace(L, -3);
        }
        return true;
    }

    lua_State* m_L;
    ScriptState& m_s;
    Lua4Function& m_f;
    bool m_level;
    FrameScope m_frame;
    int m_budget = stepPeriod;
    std::uint64_t m_steps = 0; // steps of constant calls not charged yet
};

// A function of a compiled chunk: upvalue 1 is its Lua4Function, 2 the Lua4Chunk, the rest the
// closure's values.
int runFunction(lua_State* L)
{
    auto* f = static_cast<Lua4Function*>(lua_touserdata(L, lua_upvalueindex(1)));
    const auto* chunk = static_cast<const Lua4Chunk*>(lua_touserdata(L, lua_upvalueindex(2)));
    return Interpreter(L, *f, chunk->level).run();
}

} // namespace

int lua4RunCompiledMain(lua_State* L)
{
    auto* chunk = static_cast<Lua4Chunk*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    ScriptState::of(L).budget.hold(L, chunk->bytes); // the loaded chunk lives as long as the run
    lua4RunCompiledChunk(L, *chunk, 0);
    return 0;
}

int lua4RunCompiledChunk(lua_State* L, Lua4Chunk& chunk, int results)
{
    const int base = lua_gettop(L);
    lua_pushlightuserdata(L, &chunk.functions.front());
    lua_pushlightuserdata(L, &chunk);
    lua_pushcclosure(L, runFunction, 2);
    lua_call(L, 0, results);
    return lua_gettop(L) - base;
}

} // namespace starloom
