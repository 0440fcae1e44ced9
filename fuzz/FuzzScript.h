#pragma once

// What the fuzz targets of the script runner check of every run: a sink that keeps the calls and
// problems as text and stops the fuzzer when one is malformed, and the heap a run takes at its
// peak (every allocation of the process, as the sanitizer's allocator counts them), which must
// stay under the memory limit plus a fixed margin: no work done in C++ for the script escapes its
// budget.

#include "levelfile/GameFunctions.h"
#include "levelfile/ReadSink.h"
#include "script/Lua4Source.h"
#include "script/ScriptRunner.h"

#include <sanitizer/allocator_interface.h>

#include <atomic>
#include <cctype>
#include <string>

#include "FuzzCheck.h"

namespace starloom::fuzz {

inline void checkValue(const LuaValue& value, int depth)
{
    check(depth <= 40, "tables are cut off");
    if (!value.isTable()) {
        check(value.items.empty() && value.fields.empty(), "only tables have entries");
        return;
    }
    for (const LuaValue& item : value.items)
        checkValue(item, depth + 1);
    for (std::size_t i = 0; i < value.fields.size(); ++i) {
        const LuaField& f = value.fields[i];
        check(f.key.isNumber() || f.key.isString(), "keys are numbers or strings");
        check(!f.value.isNil(), "no nil fields");
        if (i > 0) {
            const LuaField& prev = value.fields[i - 1];
            if (prev.key.isNumber() && f.key.isNumber())
                check(prev.key.number < f.key.number, "number keys ascend");
            else if (prev.key.isString() && f.key.isString())
                check(lua4KeyLess(prev.key.text, f.key.text), "string keys in order");
            else
                check(prev.key.isNumber() && f.key.isString(), "numbers before strings");
        }
        checkValue(f.value, depth + 1);
    }
}

// The text with every address ("0x" and hex digits, as print shows a table) made alike: the
// addresses differ from run to run.
inline std::string withoutAddresses(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '0' && i + 1 < text.size() && text[i + 1] == 'x') {
            out += 'x';
            ++i;
            while (i + 1 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])))
                ++i;
        }
    }
    return out;
}

struct CheckingSink final : ReadSink {
    std::string calls;
    std::string problems;
    void call(const LevelCall& c) override
    {
        check(isGameFunction(c.name), "only game functions are recorded");
        check(c.line >= 0, "lines are not negative");
        calls += c.name + std::to_string(c.line) + std::to_string(static_cast<int>(c.chunk)) + "(";
        for (const LuaValue& arg : c.args) {
            checkValue(arg, 0);
            calls += luaText(arg) + ",";
        }
        calls += ")\n";
    }
    void global(std::string_view name, const LuaValue& value, qint64) override
    {
        check(name == "levelDesc" || name == "maxPlayers" || name == "player", "only the level's globals");
        check(!value.isNil(), "no nil globals");
        checkValue(value, 0);
    }
    void problem(qint64 line, const QString& reason) override
    {
        check(line >= 0, "lines are not negative");
        check(!reason.isEmpty(), "problems say something");
        problems += std::to_string(line) + withoutAddresses(reason.toStdString()) + "\n";
    }
};

// What the heap may hold past the limit: the program's own state beside the script's, the copies
// of the sink (which keeps the calls as text) and what the sanitizers keep.
constexpr std::int64_t heapMargin = std::int64_t{16} << 20;

// The heap as the sanitizer's allocator counts it, and its peak since the last reset.
inline std::atomic<std::int64_t> heapNow{0};
inline std::atomic<std::int64_t> heapPeak{0};

inline void onMalloc(const volatile void*, std::size_t size)
{
    const std::int64_t now = heapNow += static_cast<std::int64_t>(size);
    std::int64_t peak = heapPeak.load(std::memory_order_relaxed);
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {}
}

inline void onFree(const volatile void* ptr)
{
    heapNow -= static_cast<std::int64_t>(__sanitizer_get_allocated_size(const_cast<const void*>(ptr)));
}

// From LLVMFuzzerInitialize: the heap is counted from then on.
inline void countHeap()
{
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
}

// Runs the script and checks the heap it took at its peak.
inline ScriptResult runChecked(const QByteArray& input, ReadSink& sink, const ScriptOptions& options)
{
    const std::int64_t before = heapNow.load();
    heapPeak = before;
    const ScriptResult result = runLevelScript(input, QStringLiteral("fuzz.level"), sink, options);
    check(heapPeak.load() - before <= static_cast<std::int64_t>(options.memoryLimit) + heapMargin,
        "the heap stays under the memory limit and a margin");
    check(result.peakMemory <= options.memoryLimit, "the runner's count stays under the limit");
    return result;
}

} // namespace starloom::fuzz
