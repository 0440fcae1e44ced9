#include "ScriptBudget.h"

#include <chrono>

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

namespace starloom {

namespace {

constexpr std::uint64_t progressPeriod = 1u << 22; // steps between two progress reports
// The processor time one step may take before time counts instead of steps: several times what
// Lua's instructions take, so that only work the counts do not see reaches it.
constexpr std::uint64_t floorNanosPerStep = 40;
constexpr int hooksPerClockReading = 16;

std::uint64_t threadCpuNanos()
{
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user) == 0)
        return 0;
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) * 100;
#else
    timespec now{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now) != 0)
        return 0;
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(now.tv_nsec);
#endif
}

} // namespace

QString stepLimitMessage(std::uint64_t limit)
{
    return QStringLiteral("the script ran for more than %1 million steps (an endless loop?)").arg(limit / 1000000);
}

bool ScriptBudget::allocate(std::size_t bytes)
{
    if (bytes > room() || m_failAllocations)
        return false;
    m_steps += bytes / bytesPerStep;
    // A stop found here fails this allocation and, since Lua tries again after collecting
    // garbage, every one after it until the part has stopped. (A stop found by a charge of steps
    // raises its own error, whose message still needs memory.)
    if (m_stop == ScriptStop::None) {
        if (m_options.cancel != nullptr && m_options.cancel->load(std::memory_order_relaxed))
            m_stop = ScriptStop::Cancelled;
        else if (m_steps > stepLimit() || m_timeSteps > stepLimit())
            m_stop = ScriptStop::InstructionLimit;
        m_failAllocations = m_stop != ScriptStop::None;
    }
    if (m_failAllocations)
        return false;
    m_used += bytes;
    noteUse();
    return true;
}

bool ScriptBudget::tryHold(std::size_t bytes)
{
    if (bytes > room() || !tryChargeSteps(bytes / bytesPerStep))
        return false;
    m_used += bytes;
    noteUse();
    return true;
}

void ScriptBudget::hold(lua_State* L, std::size_t bytes)
{
    if (bytes > room())
        raiseMemoryError(L);
    chargeSteps(L, bytes / bytesPerStep);
    m_used += bytes;
    noteUse();
}

void ScriptBudget::raiseMemoryError(lua_State* L)
{
    m_memoryRefused = true;
    luaL_error(L, "not enough memory: the script needs more than the limit of %d MB", static_cast<int>(limit() >> 20));
}

bool ScriptBudget::tryChargeSteps(std::uint64_t steps)
{
    m_steps += steps;
    if (m_stop == ScriptStop::None) {
        if (m_options.cancel != nullptr && m_options.cancel->load(std::memory_order_relaxed))
            m_stop = ScriptStop::Cancelled;
        else if (m_steps > stepLimit() || m_timeSteps > stepLimit())
            m_stop = ScriptStop::InstructionLimit;
    }
    if (m_stop != ScriptStop::None)
        return false;
    if (m_steps >= m_nextProgress) {
        m_nextProgress = m_steps + progressPeriod;
        if (m_options.progress)
            m_options.progress(callsRecorded);
    }
    return true;
}

void ScriptBudget::chargeSteps(lua_State* L, std::uint64_t steps)
{
    if (!tryChargeSteps(steps))
        checkStop(L);
}

void ScriptBudget::checkStop(lua_State* L)
{
    if (m_stop == ScriptStop::Cancelled)
        luaL_error(L, "cancelled");
    if (m_stop == ScriptStop::InstructionLimit)
        luaL_error(L, "%s", stepLimitMessage(stepLimit()).toLatin1().constData());
}

void ScriptBudget::chargeInstructions(lua_State* L, std::uint64_t steps)
{
    if (++m_hooks >= hooksPerClockReading) {
        m_hooks = 0;
        const std::uint64_t now = threadCpuNanos();
        if (m_cpuStart == 0)
            m_cpuStart = now;
        else
            m_timeSteps = (now - m_cpuStart) / floorNanosPerStep;
    }
    chargeSteps(L, steps);
}

void ScriptBudget::restartSteps()
{
    if (m_stop == ScriptStop::InstructionLimit)
        m_stop = ScriptStop::None;
    m_steps = 0;
    m_nextProgress = 0;
    m_timeSteps = 0;
    m_cpuStart = 0;
    m_hooks = 0;
}

} // namespace starloom
