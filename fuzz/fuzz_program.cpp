// Random Lua 4.0 level programs (the tests' generator, seeded by the input's bytes) run in the
// sandbox: a program made to run to its end must do so without an error, within its memory
// (FuzzScript.h), recording only well-formed calls of game functions, and reading the calls of
// constant arguments must record what Lua records when it evaluates them. Lua 4.0 itself judges
// the same programs in the tests (tst_Lua4Differential).

#include "script/ScriptRunner.h"

#include "Lua4ProgramGenerator.h"

#include <cstdint>

#include "FuzzScript.h"

using namespace starloom;

namespace {

using fuzz::check;
using fuzz::runChecked;
using Sink = fuzz::CheckingSink;

std::uint64_t seedOf(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL; // FNV-1a
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 0x100000001b3ULL;
    return hash;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::countHeap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray program = QByteArray::fromStdString(test::randomLua4Program(seedOf(data, size)));
    ScriptOptions options;
    options.memoryLimit = std::size_t{32} << 20;
    options.instructionLimit = 5'000'000;
    Sink read;
    const ScriptResult first = runChecked(program, read, options);
    check(first.ok, "a generated program runs to its end");
    check(!first.cancelled, "nothing cancels");
    options.readLiteralCalls = false;
    Sink evaluated;
    const ScriptResult second = runChecked(program, evaluated, options);
    check(second.ok, "a generated program runs to its end with every call evaluated");
    check(read.calls == evaluated.calls, "literal calls are the calls Lua makes");
    check(read.problems == evaluated.problems, "literal calls give the same problems");
    check(first.randomCalls == second.randomCalls, "the same random numbers");
    return 0;
}
