// The checks of a compiled function's code: every operand in range and the stack depth known at
// every instruction that can run, along every path.

#include "Lua4ChunkChecks.h"

#include <algorithm>

namespace starloom::lua4chunk {

namespace {

constexpr int maxUpvalues = 250;

class CodeChecker {
public:
    CodeChecker(Lua4Function& f, const Lua4Chunk& chunk, const std::vector<std::uint8_t>& hasString, bool main)
        : m_f(f),
          m_chunk(chunk),
          m_hasString(hasString),
          m_main(main)
    {
    }

    Depths run()
    {
        const std::size_t n = m_f.code.size();
        m_d.depth.assign(n, -1);
        m_d.open.assign(n, 0);
        m_d.joined.assign(n, 0);
        for (std::size_t pc = 0; pc < n; ++pc)
            checkOperands(pc);
        reach(0, 0, m_f.params + (m_f.vararg ? 1 : 0), false, false);
        while (!m_work.empty()) {
            const std::size_t pc = m_work.back();
            m_work.pop_back();
            step(pc);
        }
        return std::move(m_d);
    }

private:
    [[noreturn]] void bad(std::size_t pc, const QString& what) const
    {
        fail(QStringLiteral("%1: %2").arg(placeOf(m_f, m_main, pc), what));
    }

    void checkString(std::size_t pc, std::uint32_t k) const
    {
        if (k >= m_f.strings.size())
            bad(pc, QStringLiteral("string constant %1 does not exist").arg(k));
        if (m_hasString[k] == 0)
            bad(pc, QStringLiteral("string constant %1 is missing").arg(k));
    }

    void checkTarget(std::size_t pc, std::int64_t target) const
    {
        if (target < 0 || target >= static_cast<std::int64_t>(m_f.code.size()))
            bad(pc, QStringLiteral("it jumps outside the function"));
    }

    // What each instruction refers to, whether it runs or not.
    void checkOperands(std::size_t pc)
    {
        const std::uint32_t i = m_f.code[pc];
        if ((i & 0x3Fu) >= static_cast<std::uint32_t>(lua4OpCount))
            bad(pc, QStringLiteral("%1 is not an instruction of Lua 4.0").arg(i & 0x3Fu));
        const std::int64_t next = static_cast<std::int64_t>(pc) + 1;
        switch (lua4Op(i)) {
        case Lua4Op::PushString:
        case Lua4Op::GetGlobal:
        case Lua4Op::GetDotted:
        case Lua4Op::PushSelf:
        case Lua4Op::SetGlobal:
            checkString(pc, lua4U(i));
            break;
        case Lua4Op::PushNumber:
        case Lua4Op::PushNegNumber:
            if (lua4U(i) >= m_f.numbers.size())
                bad(pc, QStringLiteral("number constant %1 does not exist").arg(lua4U(i)));
            break;
        case Lua4Op::PushUpvalue:
            if (lua4U(i) >= static_cast<std::uint32_t>(maxUpvalues))
                bad(pc, QStringLiteral("closure value %1 is out of range").arg(lua4U(i)));
            m_f.upvalues = std::max(m_f.upvalues, static_cast<int>(lua4U(i)) + 1);
            break;
        case Lua4Op::PushNil:
            if (lua4U(i) == 0)
                bad(pc, QStringLiteral("it pushes no nil"));
            break;
        case Lua4Op::Concat:
            if (lua4U(i) < 2)
                bad(pc, QStringLiteral("it joins fewer than two values"));
            break;
        case Lua4Op::Closure: {
            if (lua4A(i) >= m_f.functions.size())
                bad(pc, QStringLiteral("function constant %1 does not exist").arg(lua4A(i)));
            const Lua4Function& child = m_chunk.functions[m_f.functions[lua4A(i)]];
            if (lua4B(i) > static_cast<std::uint32_t>(maxUpvalues) || static_cast<int>(lua4B(i)) < child.upvalues)
                bad(pc,
                    QStringLiteral("the function it makes reads %1 closure values, but it is given %2")
                        .arg(child.upvalues)
                        .arg(lua4B(i)));
            break;
        }
        case Lua4Op::PushNilJump:
            checkTarget(pc, next + 1);
            break;
        default:
            if (lua4Jumps(lua4Op(i)))
                checkTarget(pc, next + lua4S(i));
            break;
        }
    }

    void reach(std::size_t from, std::int64_t pc, std::int64_t depth, bool open, bool joined)
    {
        if (depth < 0)
            bad(from, QStringLiteral("it takes more values than the stack holds"));
        if (depth > m_f.maxStack)
            bad(from, QStringLiteral("it needs more than the %1 stack slots the function has").arg(m_f.maxStack));
        if (pc >= static_cast<std::int64_t>(m_f.code.size()))
            bad(from, QStringLiteral("the function runs past its end"));
        const auto at = static_cast<std::size_t>(pc);
        if (joined)
            m_d.joined[at] = 1;
        if (m_d.depth[at] < 0) {
            m_d.depth[at] = static_cast<std::int16_t>(depth);
            m_d.open[at] = open ? 1 : 0;
            m_work.push_back(at);
        } else if (m_d.depth[at] != depth || (m_d.open[at] != 0) != open) {
            bad(at, QStringLiteral("the stack differs between the ways that reach it"));
        }
    }

    void need(std::size_t pc, std::int64_t depth, std::int64_t values) const
    {
        if (depth < values)
            bad(pc, QStringLiteral("it takes more values than the stack holds"));
    }

    // What an instruction of fixed effect does to the stack: the values it takes, and the values
    // it leaves in their place when it goes on to the next instruction or when it jumps.
    struct Effect {
        std::int8_t takes = 0;
        std::int8_t leaves = 0;      // going on (-1: it never goes on)
        std::int8_t jumpLeaves = -1; // jumping (-1: it never jumps)
    };

    static Effect effectOf(Lua4Op op)
    {
        switch (op) {
        case Lua4Op::PushInt:
        case Lua4Op::PushString:
        case Lua4Op::PushNumber:
        case Lua4Op::PushNegNumber:
        case Lua4Op::PushUpvalue:
        case Lua4Op::GetGlobal:
        case Lua4Op::CreateTable:
            return {0, 1};
        case Lua4Op::GetTable:
        case Lua4Op::Add:
        case Lua4Op::Sub:
        case Lua4Op::Mul:
        case Lua4Op::Div:
        case Lua4Op::Pow:
            return {2, 1};
        case Lua4Op::GetDotted:
        case Lua4Op::AddInt:
        case Lua4Op::Negate:
        case Lua4Op::Not:
            return {1, 1};
        case Lua4Op::PushSelf:
            return {1, 2};
        case Lua4Op::SetGlobal:
            return {1, 0};
        case Lua4Op::JumpNe:
        case Lua4Op::JumpEq:
        case Lua4Op::JumpLt:
        case Lua4Op::JumpLe:
        case Lua4Op::JumpGt:
        case Lua4Op::JumpGe:
            return {2, 0, 0};
        case Lua4Op::JumpIfTrue:
        case Lua4Op::JumpIfFalse:
            return {1, 0, 0};
        case Lua4Op::JumpKeepTrue:
        case Lua4Op::JumpKeepFalse:
            return {1, 0, 1};
        case Lua4Op::Jump:
            return {0, -1, 0};
        case Lua4Op::ForPrep:
            return {3, 3, 0};
        case Lua4Op::ForLoop:
        case Lua4Op::TableForLoop:
            return {3, 0, 3};
        case Lua4Op::TableForPrep:
            return {1, 3, 0};
        default: // the others' effects depend on their operands: see step()
            return {-1, -1};
        }
    }

    void step(std::size_t pc)
    {
        const std::uint32_t i = m_f.code[pc];
        const std::int64_t d = m_d.depth[pc]; // after an open call: where its results start
        const std::int64_t next = static_cast<std::int64_t>(pc) + 1;
        const auto fall = [&](std::int64_t depth) { reach(pc, next, depth, false, false); };
        const std::int64_t u = lua4U(i);
        const std::int64_t a = lua4A(i);
        const std::int64_t b = lua4B(i);
        const Lua4Op op = lua4Op(i);
        // After a call that keeps all its results only a call or a return may come, one that takes
        // them all.
        if (m_d.open[pc] != 0 && op != Lua4Op::Call && op != Lua4Op::TailCall && op != Lua4Op::Return)
            bad(pc, QStringLiteral("it cannot take the results of the call before it"));
        if (const Effect e = effectOf(op); e.takes >= 0) {
            need(pc, d, e.takes);
            if (e.leaves >= 0)
                fall(d - e.takes + e.leaves);
            if (e.jumpLeaves >= 0)
                reach(pc, next + lua4S(i), d - e.takes + e.jumpLeaves, false, true);
            return;
        }
        switch (op) {
        case Lua4Op::End:
            return;
        case Lua4Op::Return:
            need(pc, d, u);
            return;
        case Lua4Op::Call:
        case Lua4Op::TailCall:
            if (a >= d)
                bad(pc, QStringLiteral("the function it calls is not on the stack"));
            if (op == Lua4Op::TailCall && b > a)
                bad(pc, QStringLiteral("it returns values that are not on the stack"));
            if (op == Lua4Op::Call && b == lua4AllResults)
                reach(pc, next, a, true, false);
            else if (op == Lua4Op::Call)
                fall(a + b);
            return;
        case Lua4Op::PushNil:
            fall(d + u);
            return;
        case Lua4Op::Pop:
            need(pc, d, u);
            fall(d - u);
            return;
        case Lua4Op::GetLocal:
            if (u >= d)
                bad(pc, QStringLiteral("slot %1 is not on the stack").arg(u));
            fall(d + 1);
            return;
        case Lua4Op::GetIndexed:
            need(pc, d, 1);
            if (u >= d)
                bad(pc, QStringLiteral("slot %1 is not on the stack").arg(u));
            fall(d);
            return;
        case Lua4Op::SetLocal:
            need(pc, d, 1);
            if (u >= d - 1)
                bad(pc, QStringLiteral("slot %1 is not on the stack").arg(u));
            fall(d - 1);
            return;
        case Lua4Op::SetTable:
            need(pc, d, std::max<std::int64_t>(a, b));
            if (a < 2)
                bad(pc, QStringLiteral("the table it sets is not below its key"));
            fall(d - b);
            return;
        case Lua4Op::SetList:
            need(pc, d, b + 1);
            fall(d - b);
            return;
        case Lua4Op::SetMap:
            need(pc, d, 2 * u + 1);
            fall(d - 2 * u);
            return;
        case Lua4Op::Concat:
            need(pc, d, u);
            fall(d - u + 1);
            return;
        case Lua4Op::PushNilJump:
            reach(pc, next + 1, d + 1, false, true);
            return;
        case Lua4Op::Closure:
            need(pc, d, b);
            fall(d - b + 1);
            return;
        default:
            return;
        }
    }

    Lua4Function& m_f;
    const Lua4Chunk& m_chunk;
    const std::vector<std::uint8_t>& m_hasString;
    bool m_main;
    Depths m_d;
    std::vector<std::size_t> m_work;
};

} // namespace

QString placeOf(const Lua4Function& f, bool main, std::size_t pc)
{
    const QString function = main ? QStringLiteral("the main function")
                                  : QStringLiteral("the function defined at line %1").arg(f.lineDefined);
    return QStringLiteral("instruction %1 of %2").arg(pc + 1).arg(function);
}

Depths checkCode(Lua4Function& f, const Lua4Chunk& chunk, const std::vector<std::uint8_t>& hasString, bool main)
{
    return CodeChecker(f, chunk, hasString, main).run();
}

} // namespace starloom::lua4chunk
