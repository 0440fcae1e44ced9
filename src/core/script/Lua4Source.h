#pragma once

#include "levelfile/ReadSink.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace starloom {

// The helpers translated text calls, as locals of every translated chunk: the chunk's first line
// starts with "local __L4cat,__L4pairs,__L4pack,__L4bool,__L4U,__L4forprep,__L4fornext,__L4pow,__L4drop,__L4K=...;"
// (the script follows as a function of its own) and whoever runs it passes the ten values, in this order, as the
// chunk's arguments:
//   __L4cat(...)   joins strings and numbers as Lua 4 does (numbers as "%.16g")
//   __L4pairs(t)   the iterator of "for k, v in t do": numbers ascending, then strings, then the rest
//   __L4pack(...)  the implicit "arg" table of a function with "...": {n = count, ...}
//   __L4bool(v)    true -> 1, false -> nil, anything else unchanged
//   __L4U          a table whose field "name" is the function to call for an undefined global "name"
//   __L4forprep(a, b[, c])  the start of a numeric for: its first value, limit and step (strings
//                  that read as numbers become numbers), or nil when the loop does not run
//   __L4fornext(i, b, c)    the next value of a numeric for's variable, or nil when it is done
//   __L4pow(a, b)  a ^ b as Lua 4.0 computes it: pow() of the numbers (Lua 5.4 squares by a * a,
//                  which may differ in the last bit), strings that read as numbers taken as numbers
//   __L4drop(v)    a key that no script can make: "[__L4drop(v)] = nil" in a constructor evaluates v
//                  and keeps nothing (the later of two equal keys, which Lua 4.0 does not store)
//   __L4K(i)       the call literalCalls[i] of this chunk's translation (see below)
inline constexpr std::array<const char*, 10> lua4Helpers = {"__L4cat", "__L4pairs", "__L4pack", "__L4bool", "__L4U",
    "__L4forprep", "__L4fornext", "__L4pow", "__L4drop", "__L4K"};

// A call statement of a game function whose arguments are all constants: numbers, strings, nil,
// and tables of those (without nil) with names as keys.
struct Lua4LiteralCall {
    std::string name;
    qint64 line = 0;           // the line of the name
    std::size_t arguments = 0; // where its arguments are in Lua4Translation::literalData
};

// The literal calls of one translated chunk with their arguments' data, shared by the run and by a
// recording of its calls, which reads a call's arguments only when it replays the call.
struct Lua4LiteralCalls {
    std::vector<Lua4LiteralCall> calls;
    std::string data;
};

struct Lua4Translation {
    std::string text; // Lua 5.4 source, empty when the source is not valid Lua 4.0
    QString error;    // the syntax error, empty when the source is valid
    qint64 errorLine = 0;
    // The call statements of game functions with constant arguments, which Lua does not need to
    // read: addAsteroid("a", {1, 2, 3}, 100) becomes __L4K(i); literalCalls[i] holds its name and
    // line, literalData its arguments (lua4LiteralArguments reads them). At run time __L4K
    // records the call, or calls the function the script defined under that name, when it did.
    std::vector<Lua4LiteralCall> literalCalls;
    std::string literalData;
    // What the translation cost: its operations (tokens read, names looked up, bytes written),
    // which grow with the source's length and no faster, and the bytes it allocated on the way.
    std::uint64_t work = 0;
    std::size_t bytes = 0;
    bool ok() const { return error.isEmpty(); }
};

// Told, as a translation goes, the operations it did since the last call (`work`) and the bytes
// it is about to allocate (`bytes`); it may throw to stop the translation (the exception passes
// through translateLua4).
using Lua4TranslationCharge = std::function<void(std::uint64_t work, std::size_t bytes)>;

// Reads `source` as Lua 4.0 reads it and writes the same program as Lua 5.4 text in which every
// token stays on its line, so that Lua 5.4's line numbers are the source's:
// - comments ("--" to the end of the line, "--[[" included) are dropped; CR LF and LF end a line,
//   a lone CR is a blank; a first line starting with "#" is skipped;
// - strings (Lua 4.0 escapes, nesting long strings) are written as escaped one-line literals;
// - numerals (decimal only) are written so that Lua 5.4 holds them as doubles;
// - names that mean something else in Lua 5.4 (true, false, goto, _ENV) and names starting with
//   "__L4" are renamed
//   (lua4NameInTranslation); as field names they become string keys;
// - "a .. b .. c" becomes __L4cat(a, b, c); "%name" becomes name; "for k, v in t" iterates
//   __L4pairs(t); a function with "..." gets its local "arg"; "and" and "or" keep Lua 4's equal
//   priority; the result of a comparison or "not" used as a value is 1 or nil, as in Lua 4; the
//   locals of a repeat block end before its "until";
// - a call of a global that is not a game function, f(...), becomes (f or __L4U.f)(...); a call
//   statement of a game function with constant arguments becomes __L4K(i).
// Lua 4.0's syntax errors are reported with their line: a name of an enclosing function used
// without "%", "local function", an operator Lua 4 lacks, and so on.
// `literalCalls` false: no call becomes __L4K (Lua evaluates every call).
// Its time and memory grow linearly with the source; `charge` is told of both as it goes.
Lua4Translation translateLua4(
    std::string_view source, bool literalCalls = true, const Lua4TranslationCharge& charge = {});

// The arguments of `call`, from the literalData of its translation: numbers without numeral
// text, tables' fields in lua4KeyLess order.
std::vector<LuaValue> lua4LiteralArguments(std::string_view literalData, const Lua4LiteralCall& call);
// About the bytes those arguments take once read, found without reading them (linear in their
// data).
std::size_t lua4LiteralBytes(std::string_view literalData, const Lua4LiteralCall& call);

// The order of the string keys of a table as a recorded call holds them: a player entry's id,
// name, resources, raceID, raceName and startPos first, then the others by their bytes.
bool lua4KeyLess(std::string_view a, std::string_view b);

// The name a script's variable has in translated text ("true" -> "__L4_true").
std::string lua4NameInTranslation(std::string_view name);

// A Lua 5.4 message about translated text, with the script's own names ("__L4_true" -> "true").
QString lua4MessageFromTranslation(const QString& message);

} // namespace starloom
