// Reading compiled Lua 4.0 chunks. The layout, all numbers in the byte order the header names:
//   header: ESC "Lua", 0x40 (the version), 1 or 0 (little or big endian), the sizes of int (4),
//           size_t (4 or 8) and an instruction (4), the bits of an instruction (32), of its
//           number (6) and of its B operand (9), the size of a number (8), then the number
//           314159265.358979 as a check of the number format;
//   function: source (string), line defined (int), parameters (int), vararg (byte), stack size
//           (int), locals (int count, then name, start and end pc of each), line information
//           (int count, then ints), string constants (int count, strings), number constants (int
//           count, numbers), function constants (int count, functions), code (int count,
//           instructions; the last one End);
//   string: its size_t length counting a closing NUL (0: no string), then the bytes.
// Everything an instruction relies on is checked before the chunk may run, so that the
// interpreter never reads outside its slots, constants or code.

#include "Lua4Chunk.h"

#include "Lua4Source.h"

#include "levelfile/GameFunctions.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>

namespace starloom {

namespace {

constexpr int maxNesting = 100;    // functions inside functions
constexpr int maxStackSlots = 512; // Lua 4.0's own compiler stops at 250
constexpr int maxUpvalues = 250;
constexpr std::size_t maxConstantCallDepth = 16; // tables inside tables in a call's arguments

struct LoadError {
    QString what;
};

[[noreturn]] void fail(const QString& what)
{
    throw LoadError{what};
}

class ByteReader {
public:
    explicit ByteReader(std::string_view bytes) : m_bytes(bytes) {}

    void header()
    {
        if (m_bytes.size() < 4 || std::memcmp(m_bytes.data(), "\x1bLua", 4) != 0)
            fail(QStringLiteral("it does not start as a compiled Lua file does"));
        m_pos = 4;
        const int version = byte("the header");
        if (version != 0x40)
            fail(QStringLiteral("it was compiled for Lua %1.%2, not 4.0").arg(version / 16).arg(version % 16));
        const int order = byte("the header");
        if (order != 0 && order != 1)
            fail(QStringLiteral("its byte order mark is %1 (0 or 1 expected)").arg(order));
        m_bigEndian = order == 0;
        expectSize("an int", 4, byte("the header"));
        m_sizeT = byte("the header");
        if (m_sizeT != 4 && m_sizeT != 8)
            fail(QStringLiteral("its size_t is %1 bytes (4 or 8 expected)").arg(m_sizeT));
        expectSize("an instruction", 4, byte("the header"));
        expectBits("an instruction", 32, byte("the header"));
        expectBits("an instruction's number", 6, byte("the header"));
        expectBits("an instruction's B operand", 9, byte("the header"));
        expectSize("a number", 8, byte("the header"));
        const double check = number("the header");
        constexpr double expected = 314159265.358979323846;
        if (!(std::fabs(check - expected) < 1.0))
            fail(QStringLiteral("its numbers are not in the expected format (read %1 for %2)")
                     .arg(check, 0, 'g', 15)
                     .arg(expected, 0, 'g', 15));
    }

    bool atEnd() const { return m_pos == m_bytes.size(); }
    std::size_t left() const { return m_bytes.size() - m_pos; }

    int byte(const char* what)
    {
        need(1, what);
        return static_cast<unsigned char>(m_bytes[m_pos++]);
    }

    std::int32_t int32(const char* what)
    {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(unsignedValue(4, what)));
    }

    std::uint32_t instruction(const char* what) { return static_cast<std::uint32_t>(unsignedValue(4, what)); }

    double number(const char* what)
    {
        const std::uint64_t bits = unsignedValue(8, what);
        double value = 0;
        static_assert(sizeof value == sizeof bits);
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // A count of entries of `entryBytes` bytes at least each, which the rest of the file must hold.
    std::size_t count(const char* what, std::size_t entryBytes)
    {
        const std::int32_t n = int32(what);
        if (n < 0)
            fail(QStringLiteral("%1 has a negative count (%2)").arg(QLatin1String(what)).arg(n));
        if (static_cast<std::size_t>(n) > left() / entryBytes)
            fail(QStringLiteral("the file ends inside %1 (it counts %2 of them)").arg(QLatin1String(what)).arg(n));
        return static_cast<std::size_t>(n);
    }

    // A string; false for the missing string (length 0). The last byte (a NUL) is dropped.
    bool string(const char* what, std::string& out)
    {
        const std::uint64_t size = unsignedValue(static_cast<std::size_t>(m_sizeT), what);
        if (size == 0) {
            out.clear();
            return false;
        }
        if (size > left())
            fail(QStringLiteral("the file ends inside %1 (it is %2 bytes long)").arg(QLatin1String(what)).arg(size));
        out.assign(m_bytes.data() + m_pos, static_cast<std::size_t>(size - 1));
        m_pos += static_cast<std::size_t>(size);
        return true;
    }

    std::size_t sizeTBytes() const { return static_cast<std::size_t>(m_sizeT); }

private:
    static void expectSize(const char* what, int expected, int read)
    {
        if (read != expected)
            fail(QStringLiteral("%1 is %2 bytes in it (%3 expected)").arg(QLatin1String(what)).arg(read).arg(expected));
    }
    static void expectBits(const char* what, int expected, int read)
    {
        if (read != expected)
            fail(QStringLiteral("%1 is %2 bits in it (%3 expected)").arg(QLatin1String(what)).arg(read).arg(expected));
    }

    void need(std::size_t n, const char* what) const
    {
        if (n > left())
            fail(QStringLiteral("the file ends inside %1").arg(QLatin1String(what)));
    }

    std::uint64_t unsignedValue(std::size_t size, const char* what)
    {
        need(size, what);
        std::uint64_t value = 0;
        for (std::size_t k = 0; k < size; ++k) {
            const auto b = static_cast<unsigned char>(m_bytes[m_pos + (m_bigEndian ? k : size - 1 - k)]);
            value = (value << 8) | b;
        }
        m_pos += size;
        return value;
    }

    std::string_view m_bytes;
    std::size_t m_pos = 0;
    bool m_bigEndian = false; // the header's byte order mark: 1 little endian, 0 big endian
    int m_sizeT = 4;
};

// Where an instruction is, for messages.
QString placeOf(const Lua4Function& f, bool main, std::size_t pc)
{
    const QString function = main ? QStringLiteral("the main function")
                                  : QStringLiteral("the function defined at line %1").arg(f.lineDefined);
    return QStringLiteral("instruction %1 of %2").arg(pc + 1).arg(function);
}

// The stack depth at every instruction that can run: -1 where none reaches. `open` marks an
// instruction reached right after a call that keeps all its results, whose values reach from
// slot `depth` to an unknown top.
struct Depths {
    std::vector<std::int16_t> depth;
    std::vector<std::uint8_t> open;
    std::vector<std::uint8_t> joined; // reached other than from the instruction before
};

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

// The line of every instruction from Lua 4.0's line information: a list of the instructions at
// which a new line starts, each line one after the line before unless a negative entry before
// it says how many more lines to skip; a very large entry closes the list.
void decodeLines(Lua4Function& f, const std::vector<std::int32_t>& info, bool main)
{
    f.lines.assign(f.code.size(), 0);
    std::int64_t line = 0;
    std::int64_t skip = 0;
    std::int64_t lastPc = -1;
    for (const std::int32_t entry : info) {
        if (entry < 0) {
            skip += -static_cast<std::int64_t>(entry);
            continue;
        }
        if (entry < lastPc)
            fail(QStringLiteral("the line information of %1 goes backwards")
                     .arg(main ? QStringLiteral("the main function")
                               : QStringLiteral("the function defined at line %1").arg(f.lineDefined)));
        // Until this entry the line before holds.
        for (std::int64_t pc = std::max<std::int64_t>(lastPc, 0);
             pc < std::min<std::int64_t>(entry, static_cast<std::int64_t>(f.code.size())); ++pc)
            f.lines[static_cast<std::size_t>(pc)] = static_cast<std::int32_t>(line);
        line += 1 + skip;
        skip = 0;
        if (line > INT32_MAX)
            fail(QStringLiteral("the line information goes past line %1").arg(INT32_MAX));
        lastPc = entry;
    }
    for (std::int64_t pc = std::max<std::int64_t>(lastPc, 0); pc < static_cast<std::int64_t>(f.code.size()); ++pc)
        f.lines[static_cast<std::size_t>(pc)] = static_cast<std::int32_t>(line);
}

// The calls of game functions whose arguments are all constants.
class ConstantCalls {
public:
    ConstantCalls(Lua4Function& f, const Depths& d) : m_f(f), m_d(d) {}

    void find()
    {
        for (std::size_t pc = 0; pc < m_f.code.size(); ++pc) {
            const std::uint32_t i = m_f.code[pc];
            if (m_d.depth[pc] < 0 || m_d.open[pc] != 0 || lua4Op(i) != Lua4Op::GetGlobal)
                continue;
            const std::string& name = m_f.strings[lua4U(i)];
            if (isGameFunction(name))
                tryCall(pc, name);
        }
    }

private:
    struct Value {
        LuaValue scalar;
        int table = -1; // an index in m_tables
    };
    // A table being built: while its entries are its list part set in order, only `list`.
    struct Table {
        std::vector<Value> list;
        bool keyed = false; // the entries are in the maps
        std::map<double, Value> numbers;
        std::map<std::string, Value> strings;
    };

    static Value number(double v)
    {
        Value value;
        value.scalar = LuaValue::makeNumber(v);
        return value;
    }
    static bool isNil(const Value& v) { return v.table < 0 && v.scalar.isNil(); }

    Table& table(int t) { return m_tables[static_cast<std::size_t>(t)]; }

    // Stores `value` under `key` in table t: false when the key cannot be one.
    bool store(int t, const Value& key, Value&& value)
    {
        Table& table = this->table(t);
        if (!table.keyed) {
            for (std::size_t k = 0; k < table.list.size(); ++k)
                table.numbers.emplace(static_cast<double>(k + 1), std::move(table.list[k]));
            table.list.clear();
            table.keyed = true;
        }
        const bool nil = isNil(value);
        if (key.table >= 0)
            return false;
        if (key.scalar.isNumber()) {
            double k = key.scalar.number;
            if (std::isnan(k))
                return false;
            if (k == 0)
                k = 0; // -0 is the key 0
            if (nil)
                table.numbers.erase(k);
            else
                table.numbers[k] = std::move(value);
            return true;
        }
        if (key.scalar.isString()) {
            if (nil)
                table.strings.erase(key.scalar.text);
            else
                table.strings[key.scalar.text] = std::move(value);
            return true;
        }
        return false;
    }

    // t[first + 1 .. first + n] = the n values on top of `stack`, which are popped.
    bool setList(int t, double first, std::size_t n, std::vector<Value>& stack)
    {
        Table& table = this->table(t);
        const auto values = stack.end() - static_cast<std::ptrdiff_t>(n);
        const bool appended = !table.keyed && static_cast<double>(table.list.size()) == first
            && std::none_of(values, stack.end(), [](const Value& v) { return isNil(v); });
        if (appended) {
            std::move(values, stack.end(), std::back_inserter(table.list));
            stack.erase(values, stack.end());
            return true;
        }
        // Lua 4.0 sets them from the last to the first.
        for (std::size_t k = n; k >= 1; --k) {
            if (!store(t, number(first + static_cast<double>(k)), std::move(stack.back())))
                return false;
            stack.pop_back();
        }
        return true;
    }

    // The value as the runner records it: a table's list part, then its other number keys in
    // order, then its string keys in lua4KeyLess order.
    bool finish(Value&& value, std::size_t depth, LuaValue& out)
    {
        if (value.table < 0) {
            out = std::move(value.scalar);
            return true;
        }
        if (depth >= maxConstantCallDepth)
            return false;
        Table& t = table(value.table);
        out = LuaValue::makeTable();
        if (!t.keyed) {
            out.items.resize(t.list.size());
            for (std::size_t k = 0; k < t.list.size(); ++k) {
                if (!finish(std::move(t.list[k]), depth + 1, out.items[k]))
                    return false;
            }
            return true;
        }
        double n = 0;
        for (;;) {
            const auto it = t.numbers.find(n + 1);
            if (it == t.numbers.end())
                break;
            out.items.emplace_back();
            if (!finish(std::move(it->second), depth + 1, out.items.back()))
                return false;
            ++n;
        }
        for (auto& [key, v] : t.numbers) {
            if (key >= 1 && key <= n && key == std::floor(key))
                continue;
            LuaField field{LuaValue::makeNumber(key), {}};
            if (!finish(std::move(v), depth + 1, field.value))
                return false;
            out.fields.push_back(std::move(field));
        }
        std::vector<std::pair<const std::string, Value>*> strings;
        for (auto& entry : t.strings)
            strings.push_back(&entry);
        std::sort(strings.begin(), strings.end(),
            [](const auto* x, const auto* y) { return lua4KeyLess(x->first, y->first); });
        for (auto* entry : strings) {
            LuaField field{LuaValue::makeString(entry->first), {}};
            if (!finish(std::move(entry->second), depth + 1, field.value))
                return false;
            out.fields.push_back(std::move(field));
        }
        return true;
    }

    static std::size_t bytesOf(const LuaValue& value)
    {
        std::size_t bytes = sizeof(LuaValue) + value.text.size();
        for (const LuaValue& item : value.items)
            bytes += bytesOf(item);
        for (const LuaField& field : value.fields)
            bytes += bytesOf(field.key) + bytesOf(field.value);
        return bytes;
    }

    // A table for the call being read: the tables of the calls read before are used again.
    int newTable()
    {
        if (m_tableCount == m_tables.size())
            m_tables.emplace_back();
        Table& t = m_tables[m_tableCount];
        t.list.clear();
        t.keyed = false;
        t.numbers.clear();
        t.strings.clear();
        return static_cast<int>(m_tableCount++);
    }

    void tryCall(std::size_t start, const std::string& name)
    {
        const std::int64_t base = m_d.depth[start];
        m_tableCount = 0;
        std::vector<Value>& stack = m_stack;
        stack.clear();
        for (std::size_t pc = start + 1; pc < m_f.code.size(); ++pc) {
            if (m_d.joined[pc] != 0 || stack.size() > 256)
                return;
            const std::uint32_t i = m_f.code[pc];
            switch (lua4Op(i)) {
            case Lua4Op::PushInt:
                stack.push_back(number(lua4S(i)));
                break;
            case Lua4Op::PushNumber:
                stack.push_back(number(m_f.numbers[lua4U(i)]));
                break;
            case Lua4Op::PushNegNumber:
                stack.push_back(number(-m_f.numbers[lua4U(i)]));
                break;
            case Lua4Op::PushString: {
                Value v;
                v.scalar = LuaValue::makeString(m_f.strings[lua4U(i)]);
                stack.push_back(std::move(v));
                break;
            }
            case Lua4Op::PushNil:
                stack.resize(stack.size() + std::min<std::size_t>(lua4U(i), 257));
                break;
            case Lua4Op::CreateTable: {
                Value v;
                v.table = newTable();
                stack.push_back(std::move(v));
                break;
            }
            case Lua4Op::SetList: {
                const std::size_t n = lua4B(i);
                if (stack.size() < n + 1 || stack[stack.size() - n - 1].table < 0)
                    return;
                const double first = static_cast<double>(lua4A(i)) * lua4ListFlush;
                if (!setList(stack[stack.size() - n - 1].table, first, n, stack))
                    return;
                break;
            }
            case Lua4Op::SetMap: {
                const std::size_t n = lua4U(i);
                if (n > stack.size() / 2 || stack.size() < 2 * n + 1 || stack[stack.size() - 2 * n - 1].table < 0)
                    return;
                const int t = stack[stack.size() - 2 * n - 1].table;
                // The last pair first, as Lua 4.0 sets them: of two equal keys the first stays.
                for (std::size_t k = n; k >= 1; --k) {
                    if (!store(t, stack[stack.size() - 2], std::move(stack.back())))
                        return;
                    stack.resize(stack.size() - 2);
                }
                break;
            }
            case Lua4Op::Call: {
                if (static_cast<std::int64_t>(lua4A(i)) != base || lua4B(i) != 0)
                    return;
                Lua4ConstantCall call;
                call.call.name = name;
                call.call.line = m_f.lines[start];
                call.call.args.resize(stack.size());
                for (std::size_t k = 0; k < stack.size(); ++k) {
                    if (!finish(std::move(stack[k]), 0, call.call.args[k]))
                        return;
                }
                call.bytes = sizeof(LevelCall) + name.size();
                for (const LuaValue& arg : call.call.args)
                    call.bytes += bytesOf(arg);
                call.next = static_cast<std::uint32_t>(pc + 1);
                call.steps = static_cast<std::uint32_t>(pc - start + 1);
                m_f.aux[start] = static_cast<std::int32_t>(m_f.constantCalls.size());
                m_f.constantCalls.push_back(std::move(call));
                return;
            }
            default:
                return;
            }
        }
    }

    Lua4Function& m_f;
    const Depths& m_d;
    std::vector<Table> m_tables;
    std::size_t m_tableCount = 0; // the tables of the call being read
    std::vector<Value> m_stack;
};

// For every call of a value that a GetGlobal pushed: the global's name (so that an undefined one
// is reported as scripts report it), and the line of the name as the call's line.
void findCalledNames(Lua4Function& f, const Depths& d)
{
    for (std::size_t pc = 0; pc < f.code.size(); ++pc) {
        const std::uint32_t i = f.code[pc];
        if (d.depth[pc] < 0 || (lua4Op(i) != Lua4Op::Call && lua4Op(i) != Lua4Op::TailCall))
            continue;
        const std::int64_t slot = lua4A(i);
        std::size_t p = pc;
        while (p > 0 && d.depth[p - 1] > slot)
            --p;
        if (p == 0 || d.depth[p - 1] != slot)
            continue;
        const std::uint32_t pusher = f.code[p - 1];
        if (lua4Op(pusher) == Lua4Op::GetGlobal && d.open[p - 1] == 0) {
            f.aux[pc] = static_cast<std::int32_t>(lua4U(pusher));
            f.lines[pc] = f.lines[p - 1];
        }
    }
}

class ChunkLoader {
public:
    ChunkLoader(std::string_view bytes, Lua4Chunk& chunk) : m_in(bytes), m_chunk(chunk) {}

    void load()
    {
        m_in.header();
        function(0);
        if (m_chunk.functions.front().upvalues > 0)
            fail(QStringLiteral("the main function reads closure values, which nothing gives it"));
        if (!m_in.atEnd())
            fail(QStringLiteral("the file goes on after the chunk's main function (%1 more bytes)").arg(m_in.left()));
    }

private:
    std::uint32_t function(int nesting)
    {
        if (nesting > maxNesting)
            fail(QStringLiteral("its functions are nested more than %1 deep").arg(maxNesting));
        const bool main = nesting == 0;
        const auto index = static_cast<std::uint32_t>(m_chunk.functions.size());
        m_chunk.functions.emplace_back();
        Lua4Function f;
        std::string text;
        m_in.string("a function's source name", text);
        f.lineDefined = m_in.int32("a function's header");
        f.params = m_in.int32("a function's header");
        f.vararg = m_in.byte("a function's header") != 0;
        f.maxStack = m_in.int32("a function's header");
        if (f.maxStack < 0 || f.maxStack > maxStackSlots)
            fail(QStringLiteral("a function needs %1 stack slots (at most %2 are allowed)")
                     .arg(f.maxStack)
                     .arg(maxStackSlots));
        if (f.params < 0 || f.params + (f.vararg ? 1 : 0) > f.maxStack)
            fail(QStringLiteral("a function has %1 parameters and only %2 stack slots").arg(f.params).arg(f.maxStack));

        // Locals: names and ranges, which only a debugger needs.
        const std::size_t locals = m_in.count("a function's locals", m_in.sizeTBytes() + 8);
        for (std::size_t k = 0; k < locals; ++k) {
            m_in.string("a local's name", text);
            m_in.int32("a local's range");
            m_in.int32("a local's range");
        }
        std::vector<std::int32_t> lineInfo(m_in.count("a function's line information", 4));
        for (std::int32_t& entry : lineInfo)
            entry = m_in.int32("a function's line information");

        std::vector<std::uint8_t> hasString(m_in.count("a function's string constants", m_in.sizeTBytes()));
        f.strings.resize(hasString.size());
        f.globals.resize(hasString.size());
        for (std::size_t k = 0; k < hasString.size(); ++k) {
            hasString[k] = m_in.string("a string constant", f.strings[k]) ? 1 : 0;
            f.globals[k] = lua4NameInTranslation(f.strings[k]);
            m_chunk.bytes += 2 * (sizeof(std::string) + f.strings[k].size());
        }
        f.numbers.resize(m_in.count("a function's number constants", 8));
        for (double& number : f.numbers)
            number = m_in.number("a number constant");
        // A function takes at least its header, six counts and one instruction.
        f.functions.resize(m_in.count("a function's function constants", m_in.sizeTBytes() + 41));
        for (std::uint32_t& child : f.functions)
            child = function(nesting + 1);

        f.code.resize(m_in.count("a function's code", 4));
        for (std::uint32_t& i : f.code)
            i = m_in.instruction("a function's code");
        if (f.code.empty() || lua4Op(f.code.back()) != Lua4Op::End)
            fail(QStringLiteral("a function's code does not end where functions end"));

        decodeLines(f, lineInfo, main);
        const Depths depths = CodeChecker(f, m_chunk, hasString, main).run();
        f.aux.assign(f.code.size(), -1);
        findCalledNames(f, depths);
        ConstantCalls(f, depths).find();
        m_chunk.bytes += sizeof(Lua4Function) + f.code.size() * 12 + f.numbers.size() * 8 + f.functions.size() * 4
            + f.constantCalls.size() * sizeof(Lua4ConstantCall);
        for (const Lua4ConstantCall& call : f.constantCalls)
            m_chunk.bytes += call.bytes;
        m_chunk.functions[index] = std::move(f);
        return index;
    }

    ByteReader m_in;
    Lua4Chunk& m_chunk;
};

} // namespace

bool isLua4Chunk(std::string_view bytes)
{
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "\x1bLua", 4) == 0;
}

Lua4ChunkLoad loadLua4Chunk(std::string_view bytes, const QString& fileName)
{
    Lua4ChunkLoad result;
    auto chunk = std::make_unique<Lua4Chunk>();
    try {
        ChunkLoader(bytes, *chunk).load();
        result.chunk = std::move(chunk);
    } catch (const LoadError& e) {
        QString name = QFileInfo(fileName).fileName();
        if (name.isEmpty())
            name = fileName;
        result.error = QStringLiteral("The compiled level \"%1\" cannot be run: %2").arg(name, e.what);
    } catch (const std::bad_alloc&) {
        result.error = QStringLiteral("The compiled level \"%1\" cannot be run: not enough memory").arg(fileName);
    }
    return result;
}

} // namespace starloom
