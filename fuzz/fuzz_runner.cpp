// Feeds arbitrary bytes to the script runner as a level's text, with small limits (16 MB, 300,000
// steps) and an include reader that gives the input itself for any path: the run must end
// without a crash or a sanitizer report, within its memory (FuzzScript.h), every recorded call
// must be a game function's with well-formed arguments, and reading calls of constant arguments
// must record what Lua records when it evaluates them.

#include "script/ScriptRunner.h"

#include <cstdint>

#include "FuzzScript.h"

using namespace starloom;

namespace {

using fuzz::check;
using fuzz::runChecked;
using Sink = fuzz::CheckingSink;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::countHeap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ScriptOptions options;
    options.memoryLimit = std::size_t{16} << 20;
    options.instructionLimit = 300'000;
    options.readInclude = [&input](const QString& path, qint64 maxBytes, QString*) -> std::optional<QByteArray> {
        if (input.size() > maxBytes)
            return std::nullopt;
        if (path.contains(QLatin1Char('x')))
            return std::nullopt;
        return input;
    };
    Sink read;
    const ScriptResult first = runChecked(input, read, options);
    check(first.ok == first.error.isEmpty(), "an error says why");
    check(!first.cancelled, "nothing cancels");

    // Lua's own order of traversal (next) and the addresses tostring shows differ from run to run.
    if (!first.ok || input.contains("next") || input.contains("tostring") || input.contains("glob"))
        return 0;
    options.readLiteralCalls = false;
    Sink evaluated;
    const ScriptResult second = runChecked(input, evaluated, options);
    if (!second.ok)
        return 0; // evaluating the calls takes more steps and memory
    check(read.calls == evaluated.calls, "literal calls are the calls Lua makes");
    check(read.problems == evaluated.problems, "literal calls give the same problems");
    check(first.randomCalls == second.randomCalls, "the same random numbers");
    return 0;
}
