#pragma once

// The tokens of a level script as the source rewriter reads them (from the program's one Lua 4.0
// lexer, levelfile/LuaLexer.h), its errors and the names that are renamed in the translation.
// Internal to script/.

#include "levelfile/LuaLexer.h"

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

// The tokens of a script as the translator takes them from the program's Lua 4.0 lexer (by its
// rules for the translator), and its errors as Lua 4.0 words them.
class Lexer {
public:
    explicit Lexer(std::string_view source) : m_src(source), m_lex(source, LuaLexer::Rules::Translator) {}

    void next(Token& tok)
    {
        m_lex.next(m_t);
        tok.line = m_t.line;
        switch (m_t.type) {
        case LuaToken::Type::End:
            tok.type = T::Eof;
            return;
        case LuaToken::Type::Name:
            tok.type = T::Name;
            tok.raw = written();
            return;
        case LuaToken::Type::Keyword:
            tok.type = keyword(m_t.text);
            return;
        case LuaToken::Type::Number:
            tok.type = T::Number;
            tok.raw = written();
            return;
        case LuaToken::Type::String:
            tok.type = T::String;
            tok.str.swap(m_t.text);
            return;
        case LuaToken::Type::Symbol:
            symbol(tok);
            return;
        case LuaToken::Type::Invalid:
            break;
        }
        fail();
    }

    struct State {
        std::size_t pos;
        qint64 line;
    };
    // The source read from `state` on.
    Lexer(std::string_view source, State state)
        : m_src(source),
          m_lex(source, LuaLexer::Rules::Translator, qsizetype(state.pos), state.line)
    {
    }
    State state() const { return {std::size_t(m_lex.position()), m_lex.line()}; }
    void restore(State state) { m_lex.restore(qsizetype(state.pos), state.line); }

private:
    // The token just read as the source writes it.
    std::string_view written() const
    {
        return m_src.substr(std::size_t(m_t.offset), std::size_t(m_lex.position() - m_t.offset));
    }

    void symbol(Token& tok) const
    {
        // A control character outside a string: Lua 4.0 refuses the script as it reads it.
        if (m_t.code < 0x20 || m_t.code == 0x7f)
            throw SyntaxError{QStringLiteral("invalid control char near '<\\%1>'").arg(m_t.code), m_t.line};
        if (m_t.code <= 0xff) {
            tok.type = T::Char;
            tok.ch = static_cast<char>(m_t.code);
            return;
        }
        switch (m_t.code) {
        case LuaToken::packChars(".."):
            tok.type = T::Concat;
            break;
        case LuaToken::packChars("..."):
            tok.type = T::Dots;
            break;
        case LuaToken::packChars("=="):
            tok.type = T::Eq;
            break;
        case LuaToken::packChars(">="):
            tok.type = T::Ge;
            break;
        case LuaToken::packChars("<="):
            tok.type = T::Le;
            break;
        default: // "~="
            tok.type = T::Ne;
            break;
        }
    }

    [[noreturn]] void fail() const
    {
        QString message;
        std::string_view near;
        switch (m_t.problem) {
        case LuaToken::Problem::AmbiguousNumber:
            message = QStringLiteral("ambiguous syntax (decimal point x string concatenation)");
            near = written(); // up to the second "."
            break;
        case LuaToken::Problem::MalformedNumber:
            message = QStringLiteral("malformed number");
            near = written();
            break;
        case LuaToken::Problem::EscapeTooLarge:
            message = QStringLiteral("escape sequence too large");
            break;
        case LuaToken::Problem::UnclosedLongString:
            message = QStringLiteral("unfinished long string");
            break;
        default:
            message = QStringLiteral("unfinished string");
            break;
        }
        if (!near.empty())
            message += QStringLiteral(" near '%1'")
                           .arg(QString::fromLatin1(near.data(), qsizetype(std::min<std::size_t>(near.size(), 40))));
        throw SyntaxError{message, m_lex.line()};
    }

    std::string_view m_src;
    LuaLexer m_lex;
    LuaToken m_t;
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
