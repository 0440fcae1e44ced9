// Feeds arbitrary bytes to the loader of compiled levels and, when it accepts them, to the script
// runner with small limits (16 MB, 300,000 steps). An input whose first byte is even gets the
// header of the game's format put before the rest, so that most of the time goes past the header.
// Checked: no crash or sanitizer report; the loader gives the same answer twice and holds memory
// in proportion to the file; a run ends with an error exactly when it says why; only game
// functions are recorded, with well-formed arguments; the run stays within its memory; and recording calls of constant
// arguments straight from the loader gives what evaluating them gives.

#include "script/Lua4Chunk.h"
#include "script/ScriptRunner.h"

#include <cstdint>

#include "FuzzScript.h"

using namespace starloom;
using fuzz::check;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::countHeap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    QByteArray input;
    if ((data[0] & 1) == 0)
        input = QByteArray("\x1bLua\x40\x01\x04\x04\x04\x20\x06\x09\x08\x12\xe6\x5b\xa1\xb0\xb9\xb2\x41", 21);
    input.append(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const std::string_view bytes(input.constData(), static_cast<std::size_t>(input.size()));

    const Lua4ChunkLoad first = loadLua4Chunk(bytes, QStringLiteral("fuzz.level"));
    const Lua4ChunkLoad second = loadLua4Chunk(bytes, QStringLiteral("fuzz.level"));
    check((first.chunk == nullptr) == (second.chunk == nullptr) && first.error == second.error,
        "the loader answers alike twice");
    check((first.chunk == nullptr) != first.error.isEmpty(), "a refusal says why");
    if (!first.chunk) {
        check(first.error.contains(QLatin1String("fuzz.level")), "a refusal names the file");
        return 0;
    }
    check(first.chunk->bytes <= 256 * bytes.size() + 4096, "the loaded chunk holds memory in proportion");
    check(first.chunk->functions.size() == second.chunk->functions.size(), "the same functions twice");

    ScriptOptions options;
    options.memoryLimit = std::size_t{16} << 20;
    options.instructionLimit = 300'000;
    fuzz::CheckingSink read;
    const ScriptResult run = fuzz::runChecked(input, read, options);
    check(run.ok == run.error.isEmpty(), "an error says why");
    check(!run.cancelled, "nothing cancels");
    // Lua's own order of traversal (next) differs from run to run.
    if (!run.ok || input.contains("next") || input.contains("glob"))
        return 0;
    options.readLiteralCalls = false;
    fuzz::CheckingSink evaluated;
    const ScriptResult again = fuzz::runChecked(input, evaluated, options);
    if (!again.ok)
        return 0; // evaluating the calls takes more memory
    check(read.calls == evaluated.calls, "constant calls are the calls Lua makes");
    check(read.problems == evaluated.problems, "constant calls give the same problems");
    return 0;
}
