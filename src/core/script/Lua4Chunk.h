#pragma once

// Compiled levels: Lua 4.0 chunks in the game's own format (what luac 4.0 writes, and what the
// game's archives hold), loaded and checked whole (Lua4ChunkLoader.cpp, with the checks of the
// code in Lua4ChunkChecks.h), then run in the script sandbox by a small interpreter of Lua 4.0's
// instructions (Lua4ChunkRunner.cpp). Internal to script/.

#include "levelfile/ReadSink.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct lua_State;

namespace starloom {

// Lua 4.0's instructions, in the order of their numbers. An instruction is 32 bits: the
// instruction's number in the low 6, then either one 26-bit operand (U, or S = U - 2^25 + 1 for
// a signed one: a jump is relative to the next instruction) or two, B in the 9 bits above the
// number and A in the top 17. The comments give the operands and the stack before -> after.
enum class Lua4Op : std::uint8_t {
    End,           // -: returns no results
    Return,        // U: returns the values from slot U up
    Call,          // A B: calls the function in slot A with the values above it; B results (255: all)
    TailCall,      // A B: the same with all results, then returns the values from slot B up
    PushNil,       // U: pushes U nils
    Pop,           // U: pops U values
    PushInt,       // S: pushes the number S
    PushString,    // U: pushes string constant U
    PushNumber,    // U: pushes number constant U
    PushNegNumber, // U: pushes minus number constant U
    PushUpvalue,   // U: pushes the closure's value U
    GetLocal,      // U: pushes slot U
    GetGlobal,     // U: pushes the global named by string constant U
    GetTable,      // t k -> t[k]
    GetDotted,     // U: t -> t[string U]
    GetIndexed,    // U: t -> t[slot U]
    PushSelf,      // U: t -> t[string U] t
    CreateTable,   // U: pushes a new table (for U entries)
    SetLocal,      // U: x -> ; slot U = x
    SetGlobal,     // U: x -> ; the global named by string U = x
    SetTable,      // A B: t = slot top-A, its key above it, the value on top; pops B values
    SetList,       // A B: t v1 .. vB -> t; t[A * 62 + i] = vi
    SetMap,        // U: t k1 v1 .. kU vU -> t
    Add,           // x y -> x + y
    AddInt,        // S: x -> x + S
    Sub,
    Mul,
    Div,
    Pow,
    Concat,        // U: the U values on top joined into one
    Negate,        // x -> -x
    Not,           // x -> 1 when x is nil, else nil
    JumpNe,        // S: x y -> ; jumps when x ~= y
    JumpEq,        // S: x y -> ; x == y
    JumpLt,        // S: x y -> ; x < y
    JumpLe,        // S: x y -> ; not (y < x)
    JumpGt,        // S: x y -> ; y < x
    JumpGe,        // S: x y -> ; not (x < y)
    JumpIfTrue,    // S: x -> ; jumps when x is not nil
    JumpIfFalse,   // S: x -> ; jumps when x is nil
    JumpKeepTrue,  // S: x -> (x when it jumps); jumps when x is not nil
    JumpKeepFalse, // S: x -> (x when it jumps); jumps when x is nil
    Jump,          // S
    PushNilJump,   // pushes nil and skips the next instruction
    ForPrep,       // S: i limit step; jumps past the loop when it runs no turn
    ForLoop,       // S: i limit step; i += step, jumps back while the loop goes on, else pops 3
    TableForPrep,  // S: t -> t k v; jumps past the loop (t popped) when t is empty
    TableForLoop,  // S: t k v; the next entry, jumps back, or pops 3 at the end
    Closure,       // A B: v1 .. vB -> a function made of function constant A with v1 .. vB as its values
};
inline constexpr int lua4OpCount = static_cast<int>(Lua4Op::Closure) + 1;
inline constexpr int lua4ListFlush = 62; // the list entries one SetList can set: t[A * 62 + i]
inline constexpr int lua4AllResults = 255;

inline Lua4Op lua4Op(std::uint32_t i)
{
    return static_cast<Lua4Op>(i & 0x3Fu);
}
inline std::uint32_t lua4U(std::uint32_t i)
{
    return i >> 6;
}
inline std::int32_t lua4S(std::uint32_t i)
{
    return static_cast<std::int32_t>(i >> 6) - ((1 << 25) - 1);
}
inline std::uint32_t lua4A(std::uint32_t i)
{
    return i >> 15;
}
inline std::uint32_t lua4B(std::uint32_t i)
{
    return (i >> 6) & 0x1FFu;
}

// Whether the instruction's S operand is a jump.
inline bool lua4Jumps(Lua4Op op)
{
    return (op >= Lua4Op::JumpNe && op <= Lua4Op::Jump) || (op >= Lua4Op::ForPrep && op <= Lua4Op::TableForLoop);
}

// A call of a game function whose arguments are all constants: from the GetGlobal that pushes
// the function to its Call, which the runner records without running the instructions between.
struct Lua4ConstantCall {
    LevelCall call;          // name, arguments and line (its chunk is set when it is recorded)
    std::size_t bytes = 0;   // what the recorded call holds, counted against the memory limit
    std::uint32_t next = 0;  // the instruction after the Call
    std::uint32_t steps = 0; // the instructions it stands for
    // Handed to the sink by its first run (the call is then gone): a second run of it, in a loop
    // or a function called again, makes the call the general way.
    bool taken = false;
};

struct Lua4Function {
    int lineDefined = 0;
    int params = 0;
    bool vararg = false;
    int maxStack = 0; // the most slots its code uses
    int upvalues = 0; // the closure values its code reads: every Closure that makes it gives as many
    std::vector<std::uint32_t> code;
    std::vector<std::string> strings; // string constants
    std::vector<std::string> globals; // the name each string constant has as a global (lua4NameInTranslation)
    std::vector<double> numbers;
    std::vector<std::uint32_t> functions; // function constants: indices in Lua4Chunk::functions
    // Per instruction: its line in the level (0 when the chunk has no line information); a call's
    // is the line of the name it calls, as for scripts.
    std::vector<std::int32_t> lines;
    // Per instruction: for a GetGlobal, the constant call it starts (an index in constantCalls); for
    // a Call or TailCall, the string constant of the global whose value it calls; else -1.
    std::vector<std::int32_t> aux;
    std::vector<Lua4ConstantCall> constantCalls;
};

struct Lua4Chunk {
    std::vector<Lua4Function> functions; // the main function first
    std::size_t bytes = 0;               // about what the loaded chunk holds
    // The level's own code; false for a file it includes, whose calls take the line of the
    // level's call that led to it.
    bool level = true;
};

struct Lua4ChunkLoad {
    std::unique_ptr<Lua4Chunk> chunk; // null when the file cannot be run
    QString error;                    // why, naming the file
    QString reason;                   // why, in a phrase ("the file ends inside a string constant")
};

// A compiled chunk starts with ESC "Lua".
bool isLua4Chunk(std::string_view bytes);

// Reads a compiled Lua 4.0 chunk: the header (version 0x40, either byte order, 4-byte int and
// instructions, 4- or 8-byte size_t, 8-byte numbers) and the functions, and checks everything its
// instructions rely on: counts within the file, instruction numbers, constants, jumps, slots,
// closure values and the stack depth at every instruction. A file that fails any of it is
// refused with a message naming `fileName`.
Lua4ChunkLoad loadLua4Chunk(std::string_view bytes, const QString& fileName);

// The innermost function of a compiled chunk being run, for the line of what it does.
struct Lua4Frame {
    const Lua4Function* function = nullptr;
    std::uint32_t pc = 0;
    const Lua4Frame* outer = nullptr;
    bool level = true; // a function of the level's own chunk, not of an included one
};

// The line in the level of the innermost frame of the level's own chunk at or outside `frame`
// (0 when there is none or it has no line information).
inline qint64 lua4FrameLine(const Lua4Frame* frame)
{
    for (; frame != nullptr; frame = frame->outer) {
        if (frame->level)
            return frame->function->lines[frame->pc];
    }
    return 0;
}

// The main part of a compiled level for the runner: a C function that takes `chunk` (a light
// userdata, a Lua4Chunk that outlives the state) and runs its main function in the sandbox.
int lua4RunCompiledMain(lua_State* L);

// Runs the main function of `chunk` (which must outlive the run) with no arguments, leaving its
// results on the stack; returns their number (`results`, or all of them for LUA_MULTRET).
int lua4RunCompiledChunk(lua_State* L, Lua4Chunk& chunk, int results);

} // namespace starloom
