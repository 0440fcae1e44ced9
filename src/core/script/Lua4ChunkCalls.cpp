// The calls a compiled function makes that the loader can tell in advance: the calls of game
// functions whose arguments are all constants, and the global names of called values.

#include "Lua4ChunkChecks.h"
#include "Lua4Source.h"

#include "levelfile/GameFunctions.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <string>

namespace starloom::lua4chunk {

namespace {

constexpr std::size_t maxConstantCallDepth = 16; // tables inside tables in a call's arguments

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

} // namespace

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

void findConstantCalls(Lua4Function& f, const Depths& d)
{
    ConstantCalls(f, d).find();
}

} // namespace starloom::lua4chunk
