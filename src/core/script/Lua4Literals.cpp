// The arguments of calls whose arguments are all constants: read once by the source rewriter,
// stored compactly and handed to the recorder without running them.

#include "Lua4Lexer.h"
#include "Lua4Source.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace starloom {

namespace lua4src {

namespace {

// A numeral's value. Most numerals of a level have at most 15 significant digits and a small
// exponent, which a double division or multiplication gives exactly rounded.
bool numeralValue(std::string_view raw, double& value)
{
    std::uint64_t mantissa = 0;
    int digits = 0;
    int exponent = 0;
    std::size_t i = 0;
    bool fast = true;
    for (; i < raw.size() && isDigit(raw[i]); ++i) {
        if (mantissa == 0 && raw[i] == '0')
            continue;
        if (++digits > 15)
            fast = false;
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(raw[i] - '0');
    }
    if (i < raw.size() && raw[i] == '.') {
        for (++i; i < raw.size() && isDigit(raw[i]); ++i) {
            --exponent;
            if (mantissa == 0 && raw[i] == '0')
                continue;
            if (++digits > 15)
                fast = false;
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(raw[i] - '0');
        }
    }
    static constexpr double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14,
        1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (fast && i == raw.size() && exponent >= -22) {
        value = exponent == 0 ? static_cast<double>(mantissa) : static_cast<double>(mantissa) / powers[-exponent];
        return true;
    }
    const auto [end, ec] = std::from_chars(raw.data(), raw.data() + raw.size(), value);
    return ec == std::errc() && end == raw.data() + raw.size();
}

// The arguments of a call, when they are all constants: numerals (after any number of minus
// signs), strings, nil, and table constructors of constants without nil, with names as keys,
// each at most once. Reads from just after the "(" to just after the ")" and appends them to a
// string in a compact form that lua4LiteralArguments reads back.
//   argument list: u32 count, values
//   value: 'n' double | 's' u32 length, bytes | 'z' (nil) | 't' u32 entries, u32 items, entries
//   entry: value (an item) | 'k' u32 length, bytes, value (a field)
class LiteralReader {
public:
    LiteralReader(std::string_view source, Lexer::State at, std::string& out, TranslationCost& cost)
        : m_lex(source, at),
          m_out(out),
          m_cost(cost)
    {
        advance();
    }

    // False when an argument is not a constant; `out` is then as it was.
    bool arguments()
    {
        const std::size_t start = m_out.size();
        const std::size_t count = reserveCount();
        std::uint32_t n = 0;
        if (!isChar(')')) {
            for (;;) {
                if (!literal(0, true)) {
                    m_out.resize(start);
                    return false;
                }
                ++n;
                if (!isChar(','))
                    break;
                advance();
            }
        }
        if (!isChar(')')) {
            m_out.resize(start);
            return false;
        }
        patch(count, n);
        m_end = m_lex.state();
        return true;
    }
    // Where the ")" ends.
    Lexer::State end() const { return m_end; }

private:
    void advance()
    {
        if (m_hasAhead) {
            std::swap(m_tok, m_ahead);
            m_hasAhead = false;
            return;
        }
        m_lex.next(m_tok);
        m_cost.count();
    }
    const Token& peek()
    {
        if (!m_hasAhead) {
            m_lex.next(m_ahead);
            m_cost.count();
            m_hasAhead = true;
        }
        return m_ahead;
    }
    bool isChar(char c) const { return m_tok.type == T::Char && m_tok.ch == c; }

    std::size_t reserveCount()
    {
        m_cost.room(m_out, 4);
        m_out.append(4, '\0');
        return m_out.size() - 4;
    }
    void patch(std::size_t at, std::uint32_t n) { std::memcpy(m_out.data() + at, &n, 4); }
    void putBytes(std::string_view bytes)
    {
        const auto n = static_cast<std::uint32_t>(bytes.size());
        m_out.append(reinterpret_cast<const char*>(&n), 4);
        m_out.append(bytes);
    }

    bool literal(int depth, bool nilAllowed)
    {
        m_cost.room(m_out, 16 + m_tok.str.size());
        bool negative = false;
        while (isChar('-')) {
            negative = !negative;
            advance();
            if (m_tok.type != T::Number)
                return false;
        }
        switch (m_tok.type) {
        case T::Number: {
            double number = 0;
            if (!numeralValue(m_tok.raw, number))
                return false;
            // Lua 4.0 negates a whole-number constant as an integer: "-0" is 0, not minus zero.
            if (negative && number != 0)
                number = -number;
            m_out += 'n';
            m_out.append(reinterpret_cast<const char*>(&number), sizeof number);
            advance();
            return true;
        }
        case T::String:
            m_out += 's';
            putBytes(m_tok.str);
            advance();
            return true;
        case T::Nil:
            if (!nilAllowed)
                return false;
            m_out += 'z';
            advance();
            return true;
        case T::Char:
            if (m_tok.ch == '{' && depth < 16)
                return table(depth);
            return false;
        default:
            return false;
        }
    }

    bool table(int depth)
    {
        m_out += 't';
        const std::size_t entries = reserveCount();
        const std::size_t items = reserveCount();
        std::uint32_t n = 0;
        std::uint32_t listed = 0;
        std::unordered_set<std::string_view> keys;
        advance(); // "{"
        while (!isChar('}')) {
            if (m_tok.type == T::Name && peek().type == T::Char && m_ahead.ch == '=') {
                const std::string_view key = m_tok.raw;
                if (!keys.insert(key).second)
                    return false;
                m_cost.room(m_out, 16 + key.size());
                m_out += 'k';
                putBytes(key);
                advance();
                advance();
            } else {
                ++listed;
            }
            if (!literal(depth + 1, false))
                return false;
            ++n;
            if (isChar(',') || isChar(';'))
                advance();
            else if (!isChar('}'))
                return false;
        }
        advance(); // "}"
        patch(entries, n);
        patch(items, listed);
        return true;
    }

    Lexer m_lex;
    std::string& m_out;
    TranslationCost& m_cost;
    Token m_tok;
    Token m_ahead;
    bool m_hasAhead = false;
    Lexer::State m_end{0, 0};
};

// Reads back what LiteralReader wrote.
class LiteralData {
public:
    explicit LiteralData(std::string_view data, std::size_t at) : m_data(data), m_at(at) {}

    std::uint32_t count()
    {
        std::uint32_t n = 0;
        std::memcpy(&n, take(4), 4);
        return n;
    }
    LuaValue value()
    {
        switch (*take(1)) {
        case 'n': {
            double number = 0;
            std::memcpy(&number, take(sizeof number), sizeof number);
            return LuaValue::makeNumber(number);
        }
        case 's':
            return LuaValue::makeString(std::string(bytes()));
        case 't': {
            LuaValue table = LuaValue::makeTable();
            const std::uint32_t entries = count();
            const std::uint32_t items = count();
            table.items.reserve(items);
            table.fields.reserve(entries - items);
            for (std::uint32_t i = 0; i < entries; ++i) {
                if (m_data[m_at] == 'k') {
                    ++m_at;
                    LuaValue key = LuaValue::makeString(std::string(bytes()));
                    table.fields.push_back({std::move(key), value()});
                } else {
                    table.items.push_back(value());
                }
            }
            if (table.fields.size() > 1) {
                std::sort(table.fields.begin(), table.fields.end(),
                    [](const LuaField& a, const LuaField& b) { return lua4KeyLess(a.key.text, b.key.text); });
            }
            return table;
        }
        default:
            return {};
        }
    }

    // The bytes the next value takes once read (as value() makes it), read past without making it.
    std::size_t valueBytes()
    {
        switch (*take(1)) {
        case 'n':
            take(sizeof(double));
            return sizeof(LuaValue);
        case 's':
            return sizeof(LuaValue) + bytes().size();
        case 't': {
            const std::uint32_t entries = count();
            count();
            std::size_t total = sizeof(LuaValue);
            for (std::uint32_t i = 0; i < entries; ++i) {
                if (m_data[m_at] == 'k') {
                    ++m_at;
                    total += sizeof(LuaField) + bytes().size();
                }
                total += valueBytes();
            }
            return total;
        }
        default:
            return sizeof(LuaValue);
        }
    }

private:
    const char* take(std::size_t n)
    {
        const char* p = m_data.data() + m_at;
        m_at += n;
        return p;
    }
    std::string_view bytes()
    {
        const std::uint32_t n = count();
        return std::string_view(take(n), n);
    }

    std::string_view m_data;
    std::size_t m_at;
};

} // namespace

std::optional<Lexer::State> readLiteralArguments(
    std::string_view source, Lexer::State at, std::string& out, TranslationCost& cost)
{
    LiteralReader reader(source, at, out, cost);
    if (!reader.arguments())
        return std::nullopt;
    return reader.end();
}

} // namespace lua4src

using namespace lua4src;

std::size_t lua4LiteralBytes(std::string_view literalData, const Lua4LiteralCall& call)
{
    LiteralData data(literalData, call.arguments);
    const std::uint32_t n = data.count();
    std::size_t total = n * sizeof(LuaValue);
    for (std::uint32_t i = 0; i < n; ++i)
        total += data.valueBytes();
    return total;
}

std::vector<LuaValue> lua4LiteralArguments(std::string_view literalData, const Lua4LiteralCall& call)
{
    LiteralData data(literalData, call.arguments);
    std::vector<LuaValue> args;
    const std::uint32_t n = data.count();
    args.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i)
        args.push_back(data.value());
    return args;
}

} // namespace starloom
