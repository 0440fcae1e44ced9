#pragma once

// The source rewriter's translator: Lua 4.0 statements and expressions read with Lua 4's grammar
// and written as Lua 5.4 that behaves the same. Its statements are in Lua4Statements.cpp, its
// expressions in Lua4Expressions.cpp. Internal to script/.

#include "Lua4Lexer.h"
#include "Lua4Source.h"

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace starloom::lua4src {

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
    bool hasOr = false;      // ... with an "or" in it
    bool call = false;       // ends in a call
    bool assignable = false; // a name or an indexed field
    int wraps = 0;           // parentheses the translation put around it, one inside the other
};

// Lua 4's limit of active local variables in one function (Lua 5.4 has the same).
inline constexpr std::size_t maxLocals = 200;
// Lua 4's limit of upvalues in one function.
inline constexpr std::size_t maxUpvalues = 32;

enum class Binary : std::uint8_t { None, Add, Sub, Mul, Div, Pow, Concat, Eq, Ne, Lt, Le, Gt, Ge, And, Or };

struct Priority {
    int left;
    int right;
};

// Lua 4.0's priorities: "and" and "or" share the lowest one.
inline Priority priority(Binary op)
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
inline constexpr int unaryPriority = 7;

class Translator {
public:
    explicit Translator(std::string_view source) : m_lex(source), m_source(source) {}

    std::string run()
    {
        m_cost.room(m_out, m_source.size() + m_source.size() / 4 + 4096);
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
        std::string text = withInsertions();
        m_cost.flush();
        return text;
    }

    bool m_literalCalls = true;
    TranslationCost m_cost;
    std::vector<Lua4LiteralCall> m_calls; // see Lua4Translation
    std::string m_literalData;

private:
    struct Function {
        std::vector<std::string_view> locals;   // active locals, innermost last
        std::vector<std::string_view> upvalues; // the names read with "%", in the order first read
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
        lexed(0);
    }
    const Token& peek()
    {
        if (!m_hasAhead) {
            m_lex.next(m_ahead);
            lexed(m_tok.raw.size() + m_tok.str.size()); // the current token is still to be written
            m_hasAhead = true;
        }
        return m_ahead;
    }
    // After a token was read: its cost, and room in the output for all that it can become (its
    // bytes escaped, the line ends before it, the parentheses closed after it).
    void lexed(std::size_t unwritten)
    {
        const std::size_t at = m_lex.state().pos;
        const std::size_t read = at > m_lexedTo ? at - m_lexedTo : 0;
        m_lexedTo = std::max(at, m_lexedTo);
        m_cost.count(1 + read / 4);
        m_cost.room(m_out, 4 * (read + unwritten) + 4096);
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
    // `text` goes before what was written from `pos` on, and before anything put there earlier.
    // The insertions are made when the translation is complete, in one pass.
    void insertAt(std::size_t pos, std::string_view text)
    {
        m_cost.room(m_insertions, 1);
        m_insertions.push_back({pos, m_insertions.size(), text, pos > 0 && isWord(m_out[pos - 1]) && isWord(text[0])});
        m_cost.count();
    }
    // Puts `open` before `e` (whose closing text follows it later).
    void wrap(Expr& e, std::string_view open)
    {
        if (m_level + ++e.wraps > maxSyntaxLevels)
            fail("expression nested too deeply for the translation");
        insertAt(e.mark, open);
    }
    // The output with the insertions made.
    std::string withInsertions();
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
    int resolve(std::string_view name)
    {
        m_cost.count();
        const auto it = m_scopes.find(name);
        if (it == m_scopes.end() || it->second.empty())
            return -1;
        return static_cast<int>(m_funcs.size()) - 1 - it->second.back();
    }
    void addLocal(std::string_view name)
    {
        if (function().locals.size() >= maxLocals)
            fail(QStringLiteral("too many local variables (limit=%1)").arg(maxLocals));
        function().locals.push_back(name);
        m_scopes[name].push_back(static_cast<int>(m_funcs.size()) - 1);
        m_cost.count();
    }
    // Ends the locals of the current function declared after the first `keep`.
    void dropLocals(std::size_t keep)
    {
        std::vector<std::string_view>& locals = function().locals;
        while (locals.size() > keep) {
            m_scopes[locals.back()].pop_back();
            locals.pop_back();
        }
    }

    // --- statements

    bool blockFollows() const;

    void block();

    // Returns true for a statement that must end its block (return, break).
    bool statement();

    void condition() { expression(true); }

    void forStatement(qint64 line);

    void functionStatement(qint64 line);

    void localStatement(qint64 line);

    void expressionStatement();

    // --- calls with constant arguments

    // At "name(": a call statement of a game function whose arguments are all constants becomes
    // __L4K(i); anything else leaves the tokens as they were and returns false.
    bool literalCall();

    // (params) block end, after "function" was written from `start` on. `explicitSelf`: a method
    // written as an assignment, whose "self" is written as its first parameter. A function that
    // reads upvalues is made by a function that takes their values when it runs (Lua 4.0's
    // upvalues are copies taken when the closure is made):
    // (function(__L4V_x) return function(...) ... __L4V_x ... end end)(x)
    void body(bool method, bool explicitSelf, qint64 line, std::size_t start);

    // "%name" in the current function: the name of the parameter that holds its value.
    void putUpvalue(std::string_view name, qint64 line);

    void expressionList();

    // --- expressions

    // `asCondition`: only the value's truth matters (if, while, until, the operand of "not").
    Expr expression(bool asCondition) { return subexpression(0, asCondition); }

    void toValue(Expr& e);

    // Whether the output from `from` on is a numeral whose value is 0 (blanks around it allowed):
    // "0", "0.000", "1e-400".
    bool subtractsZero(std::size_t from) const
    {
        std::size_t first = from;
        while (first < m_out.size() && (m_out[first] == ' ' || m_out[first] == '\n'))
            ++first;
        std::size_t end = m_out.size();
        while (end > first && (m_out[end - 1] == ' ' || m_out[end - 1] == '\n'))
            --end;
        if (first == end || !(isDigit(m_out[first]) || m_out[first] == '.'))
            return false;
        for (std::size_t i = first; i < end; ++i) {
            const char c = m_out[i];
            const bool sign = (c == '+' || c == '-') && (m_out[i - 1] == 'e' || m_out[i - 1] == 'E');
            if (!isDigit(c) && c != '.' && c != 'e' && c != 'E' && !sign)
                return false; // a name, an operator, another value
        }
        double value = 1;
        return LuaLexer::numeralValue(std::string_view(m_out).substr(first, end - first), value) && value == 0;
    }

    Binary binary() const;

    Expr subexpression(int limit, bool asCondition);

    Expr simple(bool asCondition);

    void constructor();

    bool callFollows() const { return isChar('(') || isChar('{') || m_tok.type == T::String; }

    // A name, "%name" or a parenthesised expression, and its fields, indexes and calls.
    // `statementStart`: the expression begins a statement, so a "(" written first is kept from
    // continuing the statement before it.
    Expr primary(bool statementStart, bool asCondition);

    void arguments();

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
    // For each name in use as a local: the functions (their index in m_funcs) where it is one,
    // innermost last.
    std::unordered_map<std::string_view, std::vector<int>> m_scopes;
    struct Insertion {
        std::size_t pos;
        std::size_t order;
        std::string_view text;
        bool space; // a blank goes before it
    };
    std::vector<Insertion> m_insertions;
    std::deque<std::string> m_insertedTexts; // the texts of insertions made here
    std::size_t m_lexedTo = 0;               // the source read when the room in the output was last made
};

} // namespace starloom::lua4src
