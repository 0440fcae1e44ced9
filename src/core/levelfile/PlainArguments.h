#pragma once

// Internal to the line reader (CallReaderValues.cpp).

#include "LuaLexer.h"
#include "document/LuaValue.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace starloom {

// Reads the arguments of a call written the common way, on one line, straight from the bytes
// after its "(": texts in double quotes without escapes, numbers, negative numbers and lists of
// such values in braces, with blanks between them. Gives the same values the token reader gives;
// any other shape (a name, a comment, a line end, an escape, ...) is left to the token reader.
class PlainArguments {
public:
    explicit PlainArguments(std::string_view bytes) : m_begin(bytes.data()), m_end(bytes.data() + bytes.size()) {}

    // The bytes read up to and including ")", or 0 when the arguments take another shape (then
    // `args` holds leftovers that the token reader overwrites).
    std::size_t read(std::vector<LuaValue>& args) const
    {
        // The position and the end live in locals: writing a value's text may alias any member.
        const char* p = m_begin;
        const char* const end = m_end;
        std::size_t n = 0;
        blanks(p, end);
        if (p < end && *p == ')') {
            args.clear();
            return std::size_t(p + 1 - m_begin);
        }
        for (;;) {
            if (n == args.size())
                args.emplace_back();
            if (!value(args[n++], 0, p, end))
                return 0;
            blanks(p, end);
            if (p < end && *p == ',') {
                ++p;
                continue;
            }
            if (p >= end || *p != ')')
                return 0;
            args.resize(n);
            return std::size_t(p + 1 - m_begin);
        }
    }

    // A double quote, a backslash or a line end: where a text in quotes without escapes stops.
    static bool endsPlainText(char c)
    {
        static constexpr std::array<bool, 256> stops = [] {
            std::array<bool, 256> t{};
            t['"'] = t['\\'] = t['\n'] = t['\r'] = true;
            return t;
        }();
        return stops[static_cast<unsigned char>(c)];
    }

private:
    static constexpr int maxDepth = 8;
    static bool digit(char c) { return c >= '0' && c <= '9'; }
    // Empties what a table value held (clearing an empty vector still costs a call).
    static void clearTable(LuaValue& v)
    {
        if (!v.items.empty())
            v.items.clear();
        if (!v.fields.empty())
            v.fields.clear();
    }
    static void blanks(const char*& p, const char* end)
    {
        while (p < end && (*p == ' ' || *p == '\t'))
            ++p;
    }

    static bool value(LuaValue& v, int depth, const char*& p, const char* end)
    {
        blanks(p, end);
        if (p >= end)
            return false;
        const char c = *p;
        if (c == '"') {
            const char* j = p + 1;
            while (j < end && !endsPlainText(*j))
                ++j;
            if (j >= end || *j != '"')
                return false;
            v.type = LuaValue::Type::String;
            v.number = 0; // a value reused from an earlier call keeps nothing of it
            v.text.assign(p + 1, std::size_t(j - p - 1));
            clearTable(v);
            p = j + 1;
            return true;
        }
        if (digit(c))
            return number(v, false, p, end);
        if (c == '-') {
            if (p + 1 < end && p[1] == '-')
                return false; // a comment
            ++p;
            blanks(p, end);
            return p < end && digit(*p) && number(v, true, p, end);
        }
        if (c == '{' && depth < maxDepth) {
            ++p;
            v.type = LuaValue::Type::Table;
            v.number = 0;
            v.text.clear();
            if (!v.fields.empty())
                v.fields.clear();
            std::size_t items = 0;
            blanks(p, end);
            if (p < end && *p == '}') {
                ++p;
                v.items.clear();
                return true;
            }
            for (;;) {
                if (items == v.items.size())
                    v.items.emplace_back();
                if (!value(v.items[items++], depth + 1, p, end))
                    return false;
                blanks(p, end);
                if (p < end && *p == ',') {
                    ++p;
                    blanks(p, end);
                    if (p < end && *p != '}')
                        continue;
                }
                if (p >= end || *p != '}')
                    return false;
                ++p;
                v.items.resize(items);
                return true;
            }
        }
        return false;
    }

    // A numeral as the tokenizer reads it: a whole number of up to 15 digits keeps no text unless
    // it has leading zeros; any other numeral keeps its text.
    [[gnu::always_inline]] static bool number(LuaValue& v, bool negative, const char*& p, const char* end)
    {
        const char* const start = p;
        const char* j = p;
        const char* const wholeEnd = end - start > 15 ? start + 15 : end;
        std::uint64_t whole = 0;
        while (j < wholeEnd && digit(*j)) {
            whole = whole * 10 + std::uint64_t(*j - '0');
            ++j;
        }
        if (j >= end)
            return false; // the numeral may go on past the bytes at hand
        double number = 0;
        std::string_view numeral;
        const char next = *j;
        if (digit(next) || next == '.' || next == 'e' || next == 'E') {
            const char* i = start;
            auto digits = [&] {
                while (i < end && digit(*i))
                    ++i;
            };
            digits();
            if (i < end && *i == '.') {
                ++i;
                if (i < end && *i == '.')
                    return false;
                digits();
            }
            if (i < end && (*i == 'e' || *i == 'E')) {
                ++i;
                if (i < end && (*i == '+' || *i == '-'))
                    ++i;
                digits();
            }
            if (i >= end)
                return false;
            numeral = std::string_view(start, std::size_t(i - start));
            if (!LuaLexer::numeralValue(numeral, number))
                return false;
            j = i;
        } else {
            number = double(whole);
            if (*start == '0' && j - start > 1)
                numeral = std::string_view(start, std::size_t(j - start));
        }
        v.type = LuaValue::Type::Number;
        clearTable(v);
        // Lua 4.0 negates a whole-number constant as an integer: "-0" is 0, not minus zero.
        v.number = negative && number != 0 ? -number : number;
        v.text.clear();
        if (negative && number == 0 && numeral.empty())
            numeral = std::string_view(start, std::size_t(j - start));
        if (!numeral.empty()) {
            if (negative)
                v.text.push_back('-');
            v.text.append(numeral);
        }
        p = j;
        return true;
    }

    const char* m_begin;
    const char* m_end;
};

} // namespace starloom
