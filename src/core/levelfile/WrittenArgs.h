#pragma once

#include "PlainArguments.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

namespace starloom {

// The bytes of a call's arguments, read only where they are written the way the editor writes
// them: ", " between values, tables in braces without blanks inside, texts in double quotes
// without escapes, whole numbers without leading zeros. Every such text reads as the value the
// Lua reader gives it; whatever else the bytes hold is left to that reader.
class WrittenArgs {
public:
    explicit WrittenArgs(std::string_view bytes)
        : m_begin(bytes.data()),
          m_p(bytes.data()),
          m_end(bytes.data() + bytes.size())
    {
    }

    std::size_t used() const { return std::size_t(m_p - m_begin); }

    // The text `text` (ended by its NUL), byte for byte.
    [[gnu::always_inline]] bool literal(const char* text)
    {
        const char* q = m_p;
        for (; *text != '\0'; ++text, ++q) {
            if (q == m_end || *q != *text)
                return false;
        }
        m_p = q;
        return true;
    }

    [[gnu::always_inline]] bool quoted(std::string_view& out)
    {
        if (m_p >= m_end || *m_p != '"')
            return false;
        const char* j = m_p + 1;
        while (j < m_end && !PlainArguments::endsPlainText(*j))
            ++j;
        if (j >= m_end || *j != '"')
            return false;
        out = std::string_view(m_p + 1, std::size_t(j - m_p - 1));
        m_p = j + 1;
        return true;
    }

    [[gnu::always_inline]] bool comma()
    {
        if (m_end - m_p < 2 || m_p[0] != ',' || m_p[1] != ' ')
            return false;
        m_p += 2;
        return true;
    }

    [[gnu::always_inline]] bool symbol(char c)
    {
        if (m_p == m_end || *m_p != c)
            return false;
        ++m_p;
        return true;
    }

    // The text `text` as a whole value: what follows is ",", "}" or ")".
    bool exactly(std::string_view text)
    {
        const std::size_t n = text.size();
        if (std::size_t(m_end - m_p) <= n || std::memcmp(m_p, text.data(), n) != 0)
            return false;
        const char next = m_p[n];
        if (next != ',' && next != '}' && next != ')')
            return false;
        m_p += n;
        return true;
    }

    // A whole number of at most 12 digits; "-0" is not one (it reads as the number -0).
    [[gnu::always_inline]] bool integer(long long& out)
    {
        const char* q = m_p;
        const bool negative = q < m_end && *q == '-';
        if (negative)
            ++q;
        const char* const digits = q;
        const char* const limit = m_end - q > 12 ? q + 12 : m_end;
        long long n = 0;
        while (q < limit && static_cast<unsigned char>(*q - '0') < 10) {
            n = n * 10 + (*q - '0');
            ++q;
        }
        if (q == digits || (q - digits > 1 && *digits == '0') || (negative && n == 0))
            return false;
        // What follows must be ", ", "}" or ")": a longer numeral ("1.5", "1e3") fails there.
        out = negative ? -n : n;
        m_p = q;
        return true;
    }

    // The text of a value up to the next ",", "}" or ")".
    std::string_view word()
    {
        const char* j = m_p;
        while (j < m_end && *j != ',' && *j != '}' && *j != ')')
            ++j;
        const std::string_view text(m_p, std::size_t(j - m_p));
        m_p = j;
        return text;
    }

private:
    const char* m_begin;
    const char* m_p;
    const char* m_end;
};

inline bool fitsInt32(long long v)
{
    return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

} // namespace starloom
