#include "Lua4Source.h"

#include "levelfile/GameFunctions.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <vector>

namespace starloom {

namespace {

constexpr std::string_view renamePrefix = "__L4_";
constexpr int maxSyntaxLevels = 150;

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
constexpr std::array<std::uint8_t, 256> charClass = [] {
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

bool needsRename(std::string_view name)
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

T keyword(std::string_view s)
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
    LiteralReader(std::string_view source, Lexer::State at, std::string& out) : m_lex(source, at), m_out(out)
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
    }
    const Token& peek()
    {
        if (!m_hasAhead) {
            m_lex.next(m_ahead);
            m_hasAhead = true;
        }
        return m_ahead;
    }
    bool isChar(char c) const { return m_tok.type == T::Char && m_tok.ch == c; }

    std::size_t reserveCount()
    {
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
            if (negative)
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
        std::vector<std::string_view> keys;
        advance(); // "{"
        while (!isChar('}')) {
            if (m_tok.type == T::Name && peek().type == T::Char && m_ahead.ch == '=') {
                const std::string_view key = m_tok.raw;
                if (std::find(keys.begin(), keys.end(), key) != keys.end())
                    return false;
                keys.push_back(key);
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

// What an expression's value is, for the conversions Lua 4 needs.
enum class Kind : std::uint8_t {
    Plain,   // any value
    Bool,    // a comparison or "not": true or false in Lua 5.4, 1 or nil in Lua 4
    RawLogic // an "and"/"or" read as a condition, whose operands may be Bool
};

struct Expr {
    std::size_t mark = 0; // where the expression starts in the output
    Kind kind = Kind::Plain;
    bool logic = false;      // an unparenthesised "and"/"or" chain
    bool call = false;       // ends in a call
    bool assignable = false; // a name or an indexed field
};

enum class Binary : std::uint8_t { None, Add, Sub, Mul, Div, Pow, Concat, Eq, Ne, Lt, Le, Gt, Ge, And, Or };

struct Priority {
    int left;
    int right;
};

// Lua 4.0's priorities: "and" and "or" share the lowest one.
Priority priority(Binary op)
{
    switch (op) {
    case Binary::Add:
    case Binary::Sub:
        return {5, 5};
    case Binary::Mul:
    case Binary::Div:
        return {6, 6};
    case Binary::Pow:
        return {9, 8};
    case Binary::Concat:
        return {4, 3};
    case Binary::Eq:
    case Binary::Ne:
    case Binary::Lt:
    case Binary::Le:
    case Binary::Gt:
    case Binary::Ge:
        return {2, 2};
    case Binary::And:
    case Binary::Or:
        return {1, 1};
    case Binary::None:
        break;
    }
    return {0, 0};
}
constexpr int unaryPriority = 7;

class Translator {
public:
    explicit Translator(std::string_view source) : m_lex(source), m_source(source)
    {
        m_out.reserve(source.size() + source.size() / 4 + 64);
    }

    std::string run()
    {
        m_out += "local ";
        for (std::size_t i = 0; i < lua4Helpers.size(); ++i) {
            if (i > 0)
                m_out += ',';
            m_out += lua4Helpers[i];
        }
        // The script's own main chunk is a function of its own, so that it has every local Lua
        // allows, with the helpers as upvalues.
        m_out += "=...;return(function()";
        m_funcs.push_back({});
        advance();
        block();
        if (m_tok.type != T::Eof)
            fail("'<eof>' expected");
        m_out += "\nend)()";
        return std::move(m_out);
    }

    bool m_literalCalls = true;
    std::vector<Lua4LiteralCall> m_calls; // see Lua4Translation
    std::string m_literalData;

private:
    struct Function {
        std::vector<std::string_view> locals; // active locals, innermost last
    };

    // --- tokens

    void advance()
    {
        if (m_hasAhead) {
            std::swap(m_tok, m_ahead);
            m_hasAhead = false;
            return;
        }
        m_lex.next(m_tok);
    }
    const Token& peek()
    {
        if (!m_hasAhead) {
            m_lex.next(m_ahead);
            m_hasAhead = true;
        }
        return m_ahead;
    }
    bool isChar(char c) const { return m_tok.type == T::Char && m_tok.ch == c; }

    QString tokenText(const Token& tok) const
    {
        switch (tok.type) {
        case T::Eof:
            return QStringLiteral("<eof>");
        case T::Name:
        case T::Number:
            return QString::fromLatin1(tok.raw.data(), qsizetype(std::min<std::size_t>(tok.raw.size(), 40)));
        case T::String:
            return QStringLiteral("<string>");
        case T::Concat:
            return QStringLiteral("..");
        case T::Dots:
            return QStringLiteral("...");
        case T::Eq:
            return QStringLiteral("==");
        case T::Ge:
            return QStringLiteral(">=");
        case T::Le:
            return QStringLiteral("<=");
        case T::Ne:
            return QStringLiteral("~=");
        case T::Char:
            if (static_cast<unsigned char>(tok.ch) < 32 || static_cast<unsigned char>(tok.ch) > 126)
                return QStringLiteral("<\\%1>").arg(static_cast<unsigned char>(tok.ch));
            return QString(QLatin1Char(tok.ch));
        default:
            break;
        }
        static const char* const words[] = {"and", "break", "do", "else", "elseif", "end", "for", "function", "if",
            "in", "local", "nil", "not", "or", "repeat", "return", "then", "until", "while"};
        return QString::fromLatin1(words[static_cast<int>(tok.type) - static_cast<int>(T::And)]);
    }

    [[noreturn]] void fail(const QString& what)
    {
        throw SyntaxError{what + QStringLiteral(" near '%1'").arg(tokenText(m_tok)), m_tok.line};
    }
    [[noreturn]] void fail(const char* what) { fail(QString::fromLatin1(what)); }

    void expectChar(char c)
    {
        if (!isChar(c))
            fail(QStringLiteral("'%1' expected").arg(QLatin1Char(c)));
        put(std::string_view(&c, 1), m_tok.line);
        advance();
    }
    void expectWord(T type, const char* word)
    {
        if (m_tok.type != type)
            fail(QStringLiteral("'%1' expected").arg(QLatin1String(word)));
        put(word, m_tok.line);
        advance();
    }
    // "end" closing what `what` opened at `line`.
    void expectMatch(T type, const char* word, const char* what, qint64 line)
    {
        if (m_tok.type != type) {
            if (line == m_tok.line)
                fail(QStringLiteral("'%1' expected").arg(QLatin1String(word)));
            fail(QStringLiteral("'%1' expected (to close '%2' at line %3)")
                     .arg(QLatin1String(word), QLatin1String(what))
                     .arg(line));
        }
        put(word, m_tok.line);
        advance();
    }
    std::string_view expectName()
    {
        if (m_tok.type != T::Name)
            fail("<name> expected");
        const std::string_view name = m_tok.raw;
        return name;
    }

    // --- output

    static bool needsSpace(char before, char after, bool afterNumber)
    {
        if (isWord(before) && isWord(after))
            return true;
        if (after == '.' && (afterNumber || before == '.'))
            return true;
        if (before == '.' && isDigit(after))
            return true;
        return before == after && (before == '-' || before == '[' || before == '=');
    }
    // Moves the output to `line` and separates the next text from the last; returns the position
    // the next text starts at.
    std::size_t begin(char first, qint64 line)
    {
        if (m_outLine < line) {
            m_out.append(static_cast<std::size_t>(line - m_outLine), '\n');
            m_outLine = line;
        } else if (!m_out.empty() && needsSpace(m_out.back(), first, m_lastNumber)) {
            m_out += ' ';
        }
        return m_out.size();
    }
    void put(std::string_view text, qint64 line)
    {
        begin(text[0], line);
        m_out += text;
        m_lastNumber = false;
    }
    // Text after what was written last, on the same line.
    void append(std::string_view text)
    {
        if (!m_out.empty() && needsSpace(m_out.back(), text[0], m_lastNumber))
            m_out += ' ';
        m_out += text;
        m_lastNumber = false;
    }
    void insertAt(std::size_t pos, std::string_view text)
    {
        if (pos > 0 && isWord(m_out[pos - 1]) && isWord(text[0]))
            m_out.insert(pos, std::string(" ") + std::string(text));
        else
            m_out.insert(pos, text);
    }
    void putName(std::string_view name, qint64 line)
    {
        if (needsRename(name)) {
            begin('_', line);
            m_out += renamePrefix;
            m_out += name;
            m_lastNumber = false;
        } else {
            put(name, line);
        }
    }
    void putQuoted(std::string_view bytes, qint64 line)
    {
        begin('"', line);
        m_out += '"';
        for (std::size_t i = 0; i < bytes.size();) {
            std::size_t plain = i;
            while (plain < bytes.size() && bytes[plain] >= 32 && bytes[plain] < 127 && bytes[plain] != '"'
                && bytes[plain] != '\\')
                ++plain;
            m_out.append(bytes.data() + i, plain - i);
            i = plain;
            if (i == bytes.size())
                break;
            const char c = bytes[i++];
            const auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                m_out += '\\';
                m_out += c;
            } else if (u >= 32 && u < 127) {
                m_out += c;
            } else if (c == '\n') {
                m_out += "\\n";
            } else {
                const char digits[5] = {'\\', static_cast<char>('0' + u / 100), static_cast<char>('0' + u / 10 % 10),
                    static_cast<char>('0' + u % 10), '\0'};
                m_out += digits;
            }
        }
        m_out += '"';
        m_lastNumber = false;
    }
    // A numeral that Lua 5.4 reads as a double.
    void putNumber(std::string_view raw, qint64 line)
    {
        begin(raw[0], line);
        m_out += raw;
        if (raw.find_first_of(".eE") == std::string_view::npos)
            m_out += ".0";
        m_lastNumber = true;
    }
    // The key of a field `name` of a table: ".name", or ["name"] for a renamed name.
    void putField(std::string_view name, qint64 line)
    {
        if (needsRename(name)) {
            put("[", line);
            putQuoted(name, line);
            append("]");
        } else {
            put(".", line);
            put(name, line);
        }
    }

    // --- scopes

    void enterLevel()
    {
        if (++m_level > maxSyntaxLevels)
            fail("chunk has too many syntax levels");
    }
    void leaveLevel() { --m_level; }

    Function& function() { return m_funcs.back(); }

    // 0: a local of the current function, 1: of the enclosing one, ..., -1: a global.
    int resolve(std::string_view name) const
    {
        int level = 0;
        for (auto f = m_funcs.rbegin(); f != m_funcs.rend(); ++f, ++level) {
            for (auto l = f->locals.rbegin(); l != f->locals.rend(); ++l) {
                if (*l == name)
                    return level;
            }
        }
        return -1;
    }

    // --- statements

    bool blockFollows() const
    {
        switch (m_tok.type) {
        case T::Eof:
        case T::Else:
        case T::Elseif:
        case T::End:
        case T::Until:
            return true;
        default:
            return false;
        }
    }

    void block()
    {
        enterLevel();
        const std::size_t scope = function().locals.size();
        bool last = false;
        while (!last && !blockFollows()) {
            last = statement();
            if (isChar(';')) {
                put(";", m_tok.line);
                advance();
            }
        }
        function().locals.resize(scope);
        leaveLevel();
    }

    // Returns true for a statement that must end its block (return, break).
    bool statement()
    {
        const qint64 line = m_tok.line;
        switch (m_tok.type) {
        case T::If: {
            put("if", line);
            advance();
            condition();
            expectWord(T::Then, "then");
            block();
            while (m_tok.type == T::Elseif) {
                put("elseif", m_tok.line);
                advance();
                condition();
                expectWord(T::Then, "then");
                block();
            }
            if (m_tok.type == T::Else) {
                put("else", m_tok.line);
                advance();
                block();
            }
            expectMatch(T::End, "end", "if", line);
            return false;
        }
        case T::While:
            put("while", line);
            advance();
            condition();
            expectWord(T::Do, "do");
            block();
            expectMatch(T::End, "end", "while", line);
            return false;
        case T::Do:
            put("do", line);
            advance();
            block();
            expectMatch(T::End, "end", "do", line);
            return false;
        case T::For:
            forStatement(line);
            return false;
        case T::Repeat:
            // Lua 4 ends the block's locals before "until"; "do ... end" does that in Lua 5.4.
            put("repeat", line);
            append("do");
            advance();
            block();
            if (m_tok.type != T::Until)
                fail(line == m_tok.line ? QStringLiteral("'until' expected")
                                        : QStringLiteral("'until' expected (to close 'repeat' at line %1)").arg(line));
            put("end", m_tok.line);
            append("until");
            advance();
            condition();
            return false;
        case T::Function:
            functionStatement(line);
            return false;
        case T::Local:
            localStatement(line);
            return false;
        case T::Return:
            put("return", line);
            advance();
            if (!blockFollows() && !isChar(';'))
                expressionList();
            return true;
        case T::Break:
            put("break", line);
            advance();
            return true;
        default:
            expressionStatement();
            return false;
        }
    }

    void condition() { expression(true); }

    void forStatement(qint64 line)
    {
        put("for", line);
        advance();
        const std::string_view first = expectName();
        putName(first, m_tok.line);
        advance();
        const std::size_t scope = function().locals.size();
        if (isChar('=')) {
            put("=", m_tok.line);
            advance();
            expression(false);
            expectChar(',');
            expression(false);
            if (isChar(',')) {
                put(",", m_tok.line);
                advance();
                expression(false);
            }
            function().locals.push_back(first);
        } else if (isChar(',')) {
            put(",", m_tok.line);
            advance();
            const std::string_view second = expectName();
            putName(second, m_tok.line);
            advance();
            if (m_tok.type != T::In)
                fail("'in' expected");
            put("in", m_tok.line);
            append("__L4pairs(");
            advance();
            expression(false);
            append(")");
            function().locals.push_back(first);
            function().locals.push_back(second);
        } else {
            fail("'=' or ',' expected");
        }
        expectWord(T::Do, "do");
        block();
        function().locals.resize(scope);
        expectMatch(T::End, "end", "for", line);
    }

    void functionStatement(qint64 line)
    {
        advance(); // "function"
        // funcname: Name {'.' Name} [':' Name]
        std::vector<std::pair<std::string_view, qint64>> parts;
        const std::string_view first = expectName();
        if (resolve(first) > 0)
            fail(QStringLiteral("cannot access a variable in outer scope"));
        parts.push_back({first, m_tok.line});
        advance();
        bool method = false;
        bool renamedField = false;
        while (isChar('.') || isChar(':')) {
            method = isChar(':');
            advance();
            const std::string_view name = expectName();
            renamedField = renamedField || needsRename(name);
            parts.push_back({name, m_tok.line});
            advance();
            if (method)
                break;
        }
        if (!renamedField) {
            put("function", line);
            putName(parts[0].first, parts[0].second);
            for (std::size_t i = 1; i < parts.size(); ++i) {
                put(method && i + 1 == parts.size() ? ":" : ".", parts[i].second);
                put(parts[i].first, parts[i].second);
            }
            body(method, false, line);
            return;
        }
        // A field Lua 5.4 cannot name after "function": a.b["true"] = function(self, ...) ... end
        putName(parts[0].first, parts[0].second);
        for (std::size_t i = 1; i < parts.size(); ++i)
            putField(parts[i].first, parts[i].second);
        put("=", line);
        put("function", line);
        body(method, method, line);
    }

    void localStatement(qint64 line)
    {
        put("local", line);
        advance();
        if (m_tok.type == T::Function)
            fail("<name> expected");
        std::vector<std::string_view> names;
        for (;;) {
            const std::string_view name = expectName();
            putName(name, m_tok.line);
            names.push_back(name);
            advance();
            if (!isChar(','))
                break;
            put(",", m_tok.line);
            advance();
        }
        if (isChar('=')) {
            put("=", m_tok.line);
            advance();
            expressionList();
        }
        for (const std::string_view name : names)
            function().locals.push_back(name);
    }

    void expressionStatement()
    {
        if (m_literalCalls && m_tok.type == T::Name && peek().type == T::Char && m_ahead.ch == '(' && literalCall())
            return;
        const Expr first = primary(true, false);
        if (first.call)
            return;
        if (!first.assignable)
            fail("syntax error");
        while (isChar(',')) {
            put(",", m_tok.line);
            advance();
            const Expr next = primary(false, false);
            if (!next.assignable || next.call)
                fail("syntax error");
        }
        if (!isChar('='))
            fail("'=' expected");
        put("=", m_tok.line);
        advance();
        expressionList();
    }

    // --- calls with constant arguments

    // At "name(": a call statement of a game function whose arguments are all constants becomes
    // __L4K(i); anything else leaves the tokens as they were and returns false.
    bool literalCall()
    {
        const std::string_view name = m_tok.raw;
        if (!isGameFunction(name) || needsRename(name) || resolve(name) >= 0)
            return false;
        const qint64 line = m_tok.line;
        const Lexer::State arguments = m_lex.state(); // just after "(", the last token read
        const std::size_t data = m_literalData.size();
        LiteralReader reader(m_source, arguments, m_literalData);
        if (!reader.arguments())
            return false;
        const Token tok = std::move(m_tok);
        const Token ahead = std::move(m_ahead);
        m_lex.restore(reader.end());
        m_hasAhead = false;
        advance();
        // the call must be the whole statement
        if (isChar('.') || isChar('[') || isChar(':') || isChar('=') || isChar(',') || callFollows()) {
            m_lex.restore(arguments);
            m_tok = tok;
            m_ahead = ahead;
            m_hasAhead = true;
            m_literalData.resize(data);
            return false;
        }
        put("__L4K(", line);
        m_out += std::to_string(m_calls.size());
        m_out += ')';
        m_calls.push_back({std::string(name), line, data});
        return true;
    }

    // (params) block end, after "function" was written. `explicitSelf`: a method written as an
    // assignment, whose "self" is written as its first parameter.
    void body(bool method, bool explicitSelf, qint64 line)
    {
        enterLevel();
        m_funcs.push_back({});
        if (method)
            function().locals.push_back("self");
        expectChar('(');
        if (explicitSelf)
            append(isChar(')') ? "self" : "self,");
        bool vararg = false;
        if (!isChar(')')) {
            for (;;) {
                if (m_tok.type == T::Dots) {
                    put("...", m_tok.line);
                    advance();
                    vararg = true;
                    break;
                }
                const std::string_view name = expectName();
                putName(name, m_tok.line);
                function().locals.push_back(name);
                advance();
                if (!isChar(','))
                    break;
                put(",", m_tok.line);
                advance();
            }
        }
        expectChar(')');
        if (vararg) {
            append("local arg=__L4pack(...)");
            function().locals.push_back("arg");
        }
        block();
        expectMatch(T::End, "end", "function", line);
        m_funcs.pop_back();
        leaveLevel();
    }

    void expressionList()
    {
        expression(false);
        while (isChar(',')) {
            put(",", m_tok.line);
            advance();
            expression(false);
        }
    }

    // --- expressions

    // `asCondition`: only the value's truth matters (if, while, until, the operand of "not").
    Expr expression(bool asCondition) { return subexpression(0, asCondition); }

    void toValue(Expr& e)
    {
        if (e.kind == Kind::Plain)
            return;
        if (e.kind == Kind::Bool) {
            insertAt(e.mark, "(");
            append("and 1 or nil)");
        } else {
            insertAt(e.mark, "__L4bool(");
            append(")");
        }
        e.kind = Kind::Plain;
        e.logic = false;
    }

    Binary binary() const
    {
        switch (m_tok.type) {
        case T::Concat:
            return Binary::Concat;
        case T::Eq:
            return Binary::Eq;
        case T::Ne:
            return Binary::Ne;
        case T::Le:
            return Binary::Le;
        case T::Ge:
            return Binary::Ge;
        case T::And:
            return Binary::And;
        case T::Or:
            return Binary::Or;
        case T::Char:
            switch (m_tok.ch) {
            case '+':
                return Binary::Add;
            case '-':
                return Binary::Sub;
            case '*':
                return Binary::Mul;
            case '/':
                return Binary::Div;
            case '^':
                return Binary::Pow;
            case '<':
                return Binary::Lt;
            case '>':
                return Binary::Gt;
            default:
                return Binary::None;
            }
        default:
            return Binary::None;
        }
    }

    Expr subexpression(int limit, bool asCondition)
    {
        enterLevel();
        Expr e;
        if (m_tok.type == T::Not || isChar('-')) {
            const bool isNot = m_tok.type == T::Not;
            e.mark = begin(isNot ? 'n' : '-', m_tok.line);
            m_out += isNot ? "not" : "-";
            m_lastNumber = false;
            advance();
            subexpression(unaryPriority, isNot);
            e.kind = isNot ? Kind::Bool : Kind::Plain;
        } else {
            e = simple(asCondition);
        }
        for (;;) {
            const Binary op = binary();
            if (op == Binary::None || priority(op).left <= limit)
                break;
            const qint64 line = m_tok.line;
            if (op == Binary::Concat) {
                toValue(e);
                insertAt(e.mark, "__L4cat(");
                while (m_tok.type == T::Concat) {
                    append(",");
                    advance();
                    subexpression(priority(Binary::Concat).left, false);
                }
                append(")");
                e.kind = Kind::Plain;
                e.logic = false;
            } else if (op == Binary::And || op == Binary::Or) {
                if (!asCondition)
                    toValue(e);
                if (e.logic) { // Lua 4: "a or b and c" is "(a or b) and c"
                    insertAt(e.mark, "(");
                    append(")");
                }
                const bool raw = e.kind != Kind::Plain;
                put(op == Binary::And ? "and" : "or", line);
                advance();
                const Expr right = subexpression(priority(op).right, asCondition);
                e.kind = asCondition && (raw || right.kind != Kind::Plain) ? Kind::RawLogic : Kind::Plain;
                e.logic = true;
            } else {
                toValue(e);
                switch (op) {
                case Binary::Add:
                    put("+", line);
                    break;
                case Binary::Sub:
                    put("-", line);
                    break;
                case Binary::Mul:
                    put("*", line);
                    break;
                case Binary::Div:
                    put("/", line);
                    break;
                case Binary::Pow:
                    put("^", line);
                    break;
                case Binary::Eq:
                    put("==", line);
                    break;
                case Binary::Ne:
                    put("~=", line);
                    break;
                case Binary::Lt:
                    put("<", line);
                    break;
                case Binary::Le:
                    put("<=", line);
                    break;
                case Binary::Gt:
                    put(">", line);
                    break;
                case Binary::Ge:
                    put(">=", line);
                    break;
                default:
                    break;
                }
                advance();
                subexpression(priority(op).right, false);
                const bool comparison = op >= Binary::Eq && op <= Binary::Ge;
                e.kind = comparison ? Kind::Bool : Kind::Plain;
                e.logic = false;
            }
            e.call = false;
            e.assignable = false;
        }
        if (!asCondition)
            toValue(e);
        leaveLevel();
        return e;
    }

    Expr simple(bool asCondition)
    {
        Expr e;
        const qint64 line = m_tok.line;
        switch (m_tok.type) {
        case T::Number:
            e.mark = begin(m_tok.raw[0], line);
            putNumber(m_tok.raw, line);
            advance();
            return e;
        case T::String:
            e.mark = begin('"', line);
            putQuoted(m_tok.str, line);
            advance();
            return e;
        case T::Nil:
            e.mark = begin('n', line);
            put("nil", line);
            advance();
            return e;
        case T::Function:
            e.mark = begin('f', line);
            put("function", line);
            advance();
            body(false, false, line);
            return e;
        case T::Char:
            if (m_tok.ch == '{') {
                e.mark = begin('{', line);
                constructor();
                return e;
            }
            break;
        default:
            break;
        }
        return primary(false, asCondition);
    }

    void constructor()
    {
        const qint64 line = m_tok.line;
        put("{", line);
        advance();
        while (!isChar('}')) {
            if (isChar('[')) {
                put("[", m_tok.line);
                advance();
                expression(false);
                expectChar(']');
                expectChar('=');
                expression(false);
            } else if (m_tok.type == T::Name && peek().type == T::Char && peek().ch == '=') {
                const std::string_view name = m_tok.raw;
                if (needsRename(name)) {
                    put("[", m_tok.line);
                    putQuoted(name, m_tok.line);
                    append("]");
                } else {
                    put(name, m_tok.line);
                }
                advance();
                put("=", m_tok.line);
                advance();
                expression(false);
            } else {
                expression(false);
            }
            if (isChar(',') || isChar(';')) {
                put(isChar(',') ? "," : ";", m_tok.line);
                advance();
            } else if (!isChar('}')) {
                fail(line == m_tok.line ? QStringLiteral("'}' expected")
                                        : QStringLiteral("'}' expected (to close '{' at line %1)").arg(line));
            }
        }
        put("}", m_tok.line);
        advance();
    }

    bool callFollows() const { return isChar('(') || isChar('{') || m_tok.type == T::String; }

    // A name, "%name" or a parenthesised expression, and its fields, indexes and calls.
    // `statementStart`: the expression begins a statement, so a "(" written first is kept from
    // continuing the statement before it.
    Expr primary(bool statementStart, bool asCondition)
    {
        Expr e;
        const qint64 line = m_tok.line;
        if (m_tok.type == T::Name || isChar('%')) {
            const bool upvalue = isChar('%');
            if (upvalue)
                advance();
            const std::string_view name = expectName();
            const qint64 nameLine = m_tok.line;
            const int level = resolve(name);
            if (upvalue) {
                if (m_funcs.size() == 1)
                    fail("cannot access upvalue in main");
                if (level == 0 || level > 1)
                    fail("upvalue must be global or local to immediately outer scope");
            } else if (level > 0) {
                fail("cannot access a variable in outer scope");
            }
            advance();
            const bool global = level < 0;
            if (global && callFollows() && !isGameFunction(name)) {
                if (statementStart)
                    put(";", line);
                e.mark = begin('(', line);
                m_out += '(';
                putName(name, nameLine);
                append("or __L4U");
                if (needsRename(name)) {
                    append("[");
                    putQuoted(name, nameLine);
                    append("])");
                } else {
                    append(".");
                    m_out += name;
                    m_out += ')';
                }
            } else {
                e.mark = begin(name[0], nameLine);
                putName(name, nameLine);
            }
            e.assignable = !upvalue;
        } else if (isChar('(')) {
            if (statementStart)
                put(";", line);
            e.mark = begin('(', line);
            put("(", line);
            advance();
            const Expr inner = expression(asCondition);
            expectChar(')');
            e.kind = inner.kind;
        } else {
            fail("unexpected symbol");
        }
        for (;;) {
            if (isChar('.')) {
                advance();
                const std::string_view name = expectName();
                putField(name, m_tok.line);
                advance();
                e.assignable = true;
                e.call = false;
            } else if (isChar('[')) {
                put("[", m_tok.line);
                advance();
                expression(false);
                expectChar(']');
                e.assignable = true;
                e.call = false;
            } else if (isChar(':')) {
                put(":", m_tok.line);
                advance();
                const std::string_view name = expectName();
                putName(name, m_tok.line);
                advance();
                arguments();
                e.assignable = false;
                e.call = true;
            } else if (callFollows()) {
                arguments();
                e.assignable = false;
                e.call = true;
            } else {
                break;
            }
            e.kind = Kind::Plain;
        }
        return e;
    }

    void arguments()
    {
        const qint64 line = m_tok.line;
        if (m_tok.type == T::String) {
            putQuoted(m_tok.str, line);
            advance();
        } else if (isChar('{')) {
            constructor();
        } else if (isChar('(')) {
            put("(", line);
            advance();
            if (!isChar(')'))
                expressionList();
            if (!isChar(')'))
                fail(line == m_tok.line ? QStringLiteral("')' expected")
                                        : QStringLiteral("')' expected (to close '(' at line %1)").arg(line));
            put(")", m_tok.line);
            advance();
        } else {
            fail("function arguments expected");
        }
    }

    Lexer m_lex;
    std::string_view m_source;
    Token m_tok;
    Token m_ahead;
    bool m_hasAhead = false;
    std::string m_out;
    qint64 m_outLine = 1;
    bool m_lastNumber = false;
    int m_level = 0;
    std::vector<Function> m_funcs;
};

} // namespace

Lua4Translation translateLua4(std::string_view source, bool literalCalls)
{
    Lua4Translation result;
    Translator translator(source);
    translator.m_literalCalls = literalCalls;
    try {
        result.text = translator.run();
        result.literalCalls = std::move(translator.m_calls);
        result.literalData = std::move(translator.m_literalData);
    } catch (const SyntaxError& e) {
        result.error = e.message;
        result.errorLine = e.line;
        result.text.clear();
    }
    return result;
}

bool lua4KeyLess(std::string_view a, std::string_view b)
{
    static constexpr std::string_view first[] = {"id", "name", "resources", "raceID", "raceName", "startPos"};
    const auto rank = [](std::string_view s) {
        return std::find(std::begin(first), std::end(first), s) - std::begin(first);
    };
    const auto ra = rank(a);
    const auto rb = rank(b);
    if (ra != rb)
        return ra < rb;
    return a < b;
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

std::string lua4NameInTranslation(std::string_view name)
{
    if (needsRename(name))
        return std::string(renamePrefix) + std::string(name);
    return std::string(name);
}

QString lua4MessageFromTranslation(const QString& message)
{
    QString text = message;
    text.replace(QLatin1String(renamePrefix.data(), qsizetype(renamePrefix.size())), QString());
    return text;
}

} // namespace starloom
