#pragma once

// The one account of what a run of a level script costs, whoever does the work: the memory it
// holds (Lua's own allocations and every byte the runner keeps or builds for it in C++) and the
// work done for it (Lua's instructions, the library's work in C++, the bytes it allocates, the
// includes it reads and translates). Whatever allocates or works for a script charges it here
// first; past a limit, or once the run is cancelled, the charge is refused and the script stops.
// Internal to script/.

#include "ScriptRunner.h"

#include <lua.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace starloom {

enum class ScriptStop : std::uint8_t { None, Cancelled, InstructionLimit };

class ScriptBudget {
public:
    // Bytes a script's allocations (and the bytes kept or built for it) may fill for one step.
    static constexpr std::size_t bytesPerStep = 4;
    // A call of a library function or a callback from one: what it costs beyond its own work.
    static constexpr std::uint64_t callSteps = 8;

    explicit ScriptBudget(const ScriptOptions& options) : m_options(options) {}
    ScriptBudget(const ScriptBudget&) = delete;
    ScriptBudget& operator=(const ScriptBudget&) = delete;

    // --- memory

    std::size_t used() const { return m_used; }
    std::size_t peak() const { return m_peak; }
    std::size_t limit() const { return m_options.memoryLimit; }
    // The bytes that still fit.
    std::size_t room() const { return m_used < limit() ? limit() - m_used : 0; }

    // For Lua's allocator: a block grows by `bytes`. False refuses it: past the memory limit, past
    // the step limit or after a cancel (from then on every growth is refused, until
    // allowAllocations(), so that Lua's retry after collecting garbage fails too).
    bool allocate(std::size_t bytes);
    void free(std::size_t bytes) { m_used -= bytes; }
    // Once the part that a refusal stopped has ended.
    void allowAllocations() { m_failAllocations = false; }

    // Bytes the runner holds or builds for the script in C++, charged before they are allocated
    // (and in steps, as allocations are). Raises Lua's error through `L` when they do not fit.
    void hold(lua_State* L, std::size_t bytes);
    // The same without a Lua state: false, and nothing charged, when they do not fit.
    bool tryHold(std::size_t bytes);
    void release(std::size_t bytes) { m_used -= bytes; }
    // True once a hold was refused in the part being run (reset by startPart): the script needs
    // more memory than the limit, however the error reached the runner.
    bool memoryRefused() const { return m_memoryRefused; }

    // --- work

    std::uint64_t steps() const { return m_steps; }
    std::uint64_t stepLimit() const { return m_options.instructionLimit; }
    ScriptStop stop() const { return m_stop; }

    // Counts `steps` of work; raises the error that stops the run when the limit is passed or the
    // run was cancelled. Now and then tells options.progress how far the run got.
    void chargeSteps(lua_State* L, std::uint64_t steps);
    // The same without a Lua state: false (with stop() set) when the run must stop.
    bool tryChargeSteps(std::uint64_t steps);
    // From the count hook, every `steps` instructions. The thread's processor time, in steps of
    // a generous length, reaches the limit too: work that no count sees (Lua comparing long
    // strings) still ends. steps() tells only the steps counted.
    void chargeInstructions(lua_State* L, std::uint64_t steps);
    // Starts counting anew, past a step limit that stopped the run too (reading the level's
    // globals after the run is not the script's work); a cancel stays.
    void restartSteps();

    // A part of the script starts: a refused hold of the last part is forgotten.
    void startPart() { m_memoryRefused = false; }
    qint64 callsRecorded = 0; // for options.progress

private:
    void checkStop(lua_State* L);
    void raiseMemoryError(lua_State* L);
    void noteUse()
    {
        if (m_used > m_peak)
            m_peak = m_used;
    }

    const ScriptOptions& m_options;
    std::size_t m_used = 0;
    std::size_t m_peak = 0;
    std::uint64_t m_steps = 0;
    std::uint64_t m_timeSteps = 0; // the processor time so far, in steps
    std::uint64_t m_nextProgress = 0;
    std::uint64_t m_cpuStart = 0;
    int m_hooks = 0;
    ScriptStop m_stop = ScriptStop::None;
    bool m_failAllocations = false;
    bool m_memoryRefused = false;
};

// Bytes held for the script while an object lives (a C++ buffer, a copy being built): released
// when it ends, also when a Lua error unwinds past it.
class HeldBytes {
public:
    HeldBytes(ScriptBudget& budget, lua_State* L) : m_budget(budget), m_L(L) {}
    ~HeldBytes() { m_budget.release(m_bytes); }
    HeldBytes(const HeldBytes&) = delete;
    HeldBytes& operator=(const HeldBytes&) = delete;

    // Holds `bytes` more (raises when they do not fit).
    void add(std::size_t bytes)
    {
        m_budget.hold(m_L, bytes);
        m_bytes += bytes;
    }
    // Holds at least `total` bytes in all.
    void atLeast(std::size_t total)
    {
        if (total > m_bytes)
            add(total - m_bytes);
    }
    // Holds `total` bytes in all from now on: more (raises when they do not fit) or fewer.
    void resize(std::size_t total)
    {
        if (total > m_bytes) {
            add(total - m_bytes);
        } else {
            m_budget.release(m_bytes - total);
            m_bytes = total;
        }
    }
    // The bytes stay charged after this object ends (the sink keeps what they hold): all of
    // them, or `part` of them.
    void keep() { m_bytes = 0; }
    void keep(std::size_t part) { m_bytes -= std::min(part, m_bytes); }
    std::size_t bytes() const { return m_bytes; }

private:
    ScriptBudget& m_budget;
    lua_State* m_L;
    std::size_t m_bytes = 0;
};

// The message of a step limit that stopped a run.
QString stepLimitMessage(std::uint64_t limit);

} // namespace starloom
