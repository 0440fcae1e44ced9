#pragma once

// Lua 4.0's lexer as the source rewriter reads a level script with it: its tokens, its errors and
// the names that are renamed in the translation. Internal to script/.

#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace starloom::lua4src {

inline constexpr std::string_view renamePrefix = "__L4_";
inline constexpr int maxSyntaxLevels = 150;

constexpr bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
constexpr bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
constexpr bool isWord(char c)
{
    return isAlpha(c) || isDigit(c);
}

enum CharClass : std::uint8_t { Other, Blank, LineEnd, Digit, Letter };
inline constexpr std::array<std::uint8_t, 256> charClass = [] {
    std::array<std::uint8_t, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\f' || ch == '\v')
            classes[static_cast<std::size_t>(c)] = Blank;
        else if (ch == '\n')
            classes[static_cast<std::size_t>(c)] = LineEnd;
        else if (isDigit(ch))
            classes[static_cast<std::size_t>(c)] = Digit;
        else if (isAlpha(ch))
            classes[static_cast<std::size_t>(c)] = Letter;
    }
    return classes;
}();

inline bool needsRename(std::string_view name)
{
    return name == "true" || name == "false" || name == "goto" || name == "_ENV" || name.substr(0, 4) == "__L4";
}

enum class T : std::uint8_t {
    Eof,
    Name,
    Number,
    String,
    And,
    Break,
    Do,
    Else,
    Elseif,
    End,
    For,
    Function,
    If,
    In,
    Local,
    Nil,
    Not,
    Or,
    Repeat,
    Return,
    Then,
    Until,
    While,
    Concat,
    Dots,
    Eq,
    Ge,
    Le,
    Ne,
    Char
};

struct Token {
    T type = T::Eof;
    char ch = 0;          // Char: the character
    qint64 line = 1;      // the line the token starts on
    std::string_view raw; // Name, Number: the text in the source
    std::string str;      // String: the bytes it stands for
};

inline T keyword(std::string_view s)
{
    if (s.size() < 2 || s.size() > 8 || s[0] < 'a' || s[0] > 'w')
        return T::Name;
    static constexpr std::pair<std::string_view, T> words[] = {
        {"and", T::And},
        {"break", T::Break},
        {"do", T::Do},
        {"else", T::Else},
        {"elseif", T::Elseif},
        {"end", T::End},
        {"for", T::For},
        {"function", T::Function},
        {"if", T::If},
        {"in", T::In},
        {"local", T::Local},
        {"nil", T::Nil},
        {"not", T::Not},
        {"or", T::Or},
        {"repeat", T::Repeat},
        {"return", T::Return},
        {"then", T::Then},
        {"until", T::Until},
        {"while", T::While},
    };
    for (const auto& [word, type] : words) {
        if (word[0] == s[0] && word == s)
            return type;
    }
    return T::Name;
}

struct SyntaxError {
    QString message;
    qint64 line;
};

// The file as Lua 4.0's lexer reads it.
class Lexer {
public:
    explicit Lexer(std::string_view source) : m_src(source)
    {
        if (!m_src.empty() && m_src[0] == '#') {
            while (m_pos < m_src.size() && m_src[m_pos] != '\n')
                ++m_pos;
        }
    }

    void next(Token& tok)
    {
        for (;;) {
            // blanks and line ends
            const std::size_t size = m_src.size();
            while (m_pos < size) {
                const std::uint8_t cls = charClass[static_cast<unsigned char>(m_src[m_pos])];
                if (cls == Blank) {
                    ++m_pos;
                } else if (cls == LineEnd) {
                    ++m_pos;
                    ++m_line;
                } else {
                    break;
                }
            }
            tok.line = m_line;
            if (m_pos >= size) {
                tok.type = T::Eof;
                return;
            }
            const char c = m_src[m_pos];
            switch (charClass[static_cast<unsigned char>(c)]) {
            case Letter: {
                const std::size_t start = m_pos;
                ++m_pos;
                while (m_pos < size && charClass[static_cast<unsigned char>(m_src[m_pos])] >= Digit)
                    ++m_pos;
                tok.raw = m_src.substr(start, m_pos - start);
                tok.type = keyword(tok.raw);
                return;
            }
            case Digit:
                return number(tok);
            default:
                break;
            }
            switch (c) {
            case '-':
                if (at(1) == '-') {
                    const auto end = m_src.find('\n', m_pos);
                    m_pos = end == std::string_view::npos ? size : end;
                    continue;
                }
                return single(tok, c);
            case '[':
                if (at(1) == '[')
                    return longString(tok);
                return single(tok, c);
            case '=':
                return pair(tok, '=', T::Eq, c);
            case '<':
                return pair(tok, '=', T::Le, c);
            case '>':
                return pair(tok, '=', T::Ge, c);
            case '~':
                return pair(tok, '=', T::Ne, c);
            case '"':
            case '\'':
                return shortString(tok, c);
            case '.':
                if (at(1) == '.') {
                    if (at(2) == '.') {
                        m_pos += 3;
                        tok.type = T::Dots;
                        return;
                    }
                    m_pos += 2;
                    tok.type = T::Concat;
                    return;
                }
                if (isDigit(at(1)))
                    return number(tok);
                return single(tok, c);
            default:
                return single(tok, c);
            }
        }
    }

    struct State {
        std::size_t pos;
        qint64 line;
    };
    // The source read from `state` on.
    Lexer(std::string_view source, State state) : m_src(source), m_pos(state.pos), m_line(state.line) {}
    State state() const { return {m_pos, m_line}; }
    void restore(State state)
    {
        m_pos = state.pos;
        m_line = state.line;
    }

private:
    char at(std::size_t ahead) const { return m_pos + ahead < m_src.size() ? m_src[m_pos + ahead] : '\0'; }
    // A line end at the current position (LF, or CR LF): its length, else 0.
    std::size_t lineEnd() const
    {
        if (at(0) == '\n')
            return 1;
        if (at(0) == '\r' && at(1) == '\n')
            return 2;
        return 0;
    }
    void single(Token& tok, char c)
    {
        ++m_pos;
        tok.type = T::Char;
        tok.ch = c;
    }
    void pair(Token& tok, char second, T type, char c)
    {
        if (at(1) == second) {
            m_pos += 2;
            tok.type = type;
            return;
        }
        single(tok, c);
    }
    [[noreturn]] void fail(const char* what, std::string_view near = {}) const
    {
        QString message = QString::fromLatin1(what);
        if (!near.empty())
            message += QStringLiteral(" near '%1'")
                           .arg(QString::fromLatin1(near.data(), qsizetype(std::min<std::size_t>(near.size(), 40))));
        throw SyntaxError{message, m_line};
    }

    void number(Token& tok)
    {
        const std::size_t start = m_pos;
        while (isDigit(at(0)))
            ++m_pos;
        if (at(0) == '.') {
            ++m_pos;
            if (at(0) == '.')
                fail("ambiguous syntax (decimal point x string concatenation)", m_src.substr(start, m_pos + 1 - start));
        }
        while (isDigit(at(0)))
            ++m_pos;
        if (at(0) == 'e' || at(0) == 'E') {
            ++m_pos;
            if (at(0) == '+' || at(0) == '-')
                ++m_pos;
            const std::size_t digits = m_pos;
            while (isDigit(at(0)))
                ++m_pos;
            if (m_pos == digits)
                fail("malformed number", m_src.substr(start, m_pos - start));
        }
        tok.type = T::Number;
        tok.raw = m_src.substr(start, m_pos - start);
    }

    void shortString(Token& tok, char quote)
    {
        tok.type = T::String;
        tok.str.clear();
        ++m_pos;
        for (;;) {
            if (m_pos >= m_src.size() || lineEnd() != 0)
                fail("unfinished string");
            const char c = m_src[m_pos];
            if (c == quote) {
                ++m_pos;
                return;
            }
            if (c != '\\') {
                std::size_t run = m_pos + 1;
                while (run < m_src.size() && m_src[run] != quote && m_src[run] != '\\' && m_src[run] != '\n'
                    && m_src[run] != '\r')
                    ++run;
                tok.str.append(m_src.data() + m_pos, run - m_pos);
                m_pos = run;
                continue;
            }
            ++m_pos; // the backslash
            if (m_pos >= m_src.size())
                fail("unfinished string");
            if (const std::size_t end = lineEnd()) {
                tok.str += '\n';
                m_pos += end;
                ++m_line;
                continue;
            }
            const char e = m_src[m_pos];
            switch (e) {
            case 'a':
                tok.str += '\a';
                ++m_pos;
                break;
            case 'b':
                tok.str += '\b';
                ++m_pos;
                break;
            case 'f':
                tok.str += '\f';
                ++m_pos;
                break;
            case 'n':
                tok.str += '\n';
                ++m_pos;
                break;
            case 'r':
                tok.str += '\r';
                ++m_pos;
                break;
            case 't':
                tok.str += '\t';
                ++m_pos;
                break;
            case 'v':
                tok.str += '\v';
                ++m_pos;
                break;
            default:
                if (isDigit(e)) {
                    int value = 0;
                    for (int i = 0; i < 3 && isDigit(at(0)); ++i, ++m_pos)
                        value = value * 10 + (at(0) - '0');
                    if (value > 255)
                        fail("escape sequence too large");
                    tok.str += static_cast<char>(value);
                } else {
                    tok.str += e; // \\, \", \' and any other character stand for themselves
                    ++m_pos;
                }
            }
        }
    }

    // [[ ... ]], nesting; a line end right after the opening brackets is skipped.
    void longString(Token& tok)
    {
        tok.type = T::String;
        tok.str.clear();
        m_pos += 2;
        if (const std::size_t end = lineEnd()) {
            m_pos += end;
            ++m_line;
        }
        int depth = 0;
        for (;;) {
            if (m_pos >= m_src.size())
                fail("unfinished long string");
            const char c = m_src[m_pos];
            if (c == '[' && at(1) == '[') {
                ++depth;
                tok.str += "[[";
                m_pos += 2;
            } else if (c == ']' && at(1) == ']') {
                m_pos += 2;
                if (depth == 0)
                    return;
                --depth;
                tok.str += "]]";
            } else if (const std::size_t end = lineEnd()) {
                tok.str += '\n';
                m_pos += end;
                ++m_line;
            } else {
                tok.str += c;
                ++m_pos;
            }
        }
    }

    std::string_view m_src;
    std::size_t m_pos = 0;
    qint64 m_line = 1;
};

// What a translation costs: the operations it does (tokens read, names looked up, bytes written)
// and the bytes it allocates, told to `charge` as it goes (the bytes before they are allocated).
struct TranslationCost {
    std::function<void(std::uint64_t work, std::size_t bytes)> charge; // may throw to stop it
    std::uint64_t work = 0;
    std::size_t bytes = 0;

    void count(std::uint64_t n = 1)
    {
        work += n;
        if (work - m_workCharged >= 4096)
            flush();
    }
    void flush()
    {
        if (charge && work > m_workCharged)
            charge(work - m_workCharged, 0);
        m_workCharged = work;
    }
    void grow(std::size_t more)
    {
        bytes += more;
        if (charge)
            charge(0, more);
    }
    // Makes room for `more` bytes at the end of `text`, charging what its capacity grows by.
    void room(std::string& text, std::size_t more)
    {
        const std::size_t need = text.size() + more;
        if (need <= text.capacity())
            return;
        const std::size_t capacity = std::max({need, 2 * text.capacity(), std::size_t{256}});
        grow(capacity - text.capacity());
        text.reserve(capacity);
    }
    template <class T> void room(std::vector<T>& list, std::size_t more)
    {
        const std::size_t need = list.size() + more;
        if (need <= list.capacity())
            return;
        const std::size_t capacity = std::max({need, 2 * list.capacity(), std::size_t{16}});
        grow((capacity - list.capacity()) * sizeof(T));
        list.reserve(capacity);
    }

private:
    std::uint64_t m_workCharged = 0;
};

// Reads the arguments of a call when they are all constants (Lua4Literals.cpp), from `at` (just
// after the "(") and appends them to `out` in the form lua4LiteralArguments reads back. Returns
// where the ")" ends, or nullopt (and `out` as it was) when an argument is not a constant.
std::optional<Lexer::State> readLiteralArguments(
    std::string_view source, Lexer::State at, std::string& out, TranslationCost& cost);

} // namespace starloom::lua4src
