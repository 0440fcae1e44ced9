#include "LevelReader.h"

#include "GameFunctions.h"
#include "LevelBuilder.h"
#include "LuaLexer.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <array>
#include <set>

namespace starloom {

namespace {

using Type = LuaToken::Type;

constexpr int maxNesting = 200; // blocks and tables nested deeper than this are not read

// A block in which more than one byte in eight is a control character is not text.
bool looksBinary(const QByteArray& head)
{
    qsizetype controls = 0;
    for (char c : head) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v')
            ++controls;
    }
    return controls * 8 > head.size();
}

QString latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// A token after which an expression goes on: a binary operator, or an index, a field, a method or
// the arguments of a call.
bool continuesExpression(const LuaToken& t)
{
    if (t.type == Type::Keyword)
        return t.isKeyword("and") || t.isKeyword("or");
    if (t.type == Type::String)
        return true;
    if (t.type != Type::Symbol)
        return false;
    // Every symbol but , ; ) } ] = ... continues an expression.
    return !(t.isSymbol(",") || t.isSymbol(";") || t.isSymbol(")") || t.isSymbol("}") || t.isSymbol("]")
        || t.isSymbol("=") || t.isSymbol("..."));
}

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

private:
    static constexpr int maxDepth = 8;
    static bool digit(char c) { return c >= '0' && c <= '9'; }
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
            v.text.assign(p + 1, std::size_t(j - p - 1));
            v.items.clear();
            v.fields.clear();
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
            v.text.clear();
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
        v.items.clear();
        v.fields.clear();
        v.number = negative ? -number : number;
        v.text.clear();
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

// Counts of what the reader met but cannot take without running the script.
struct ScriptCode {
    int loops = 0;
    int conditions = 0;
    int functions = 0;
    int locals = 0;
    int helperCalls = 0;
    int computedCalls = 0;
    int callsInLoops = 0;
    int otherStatements = 0;
    int inChunks = 0; // of all these, how many stand inside DetermChunk or NonDetermChunk

    bool any() const
    {
        return loops + conditions + functions + locals + helperCalls + computedCalls + otherStatements > 0;
    }
};

class CallReader {
public:
    CallReader(QIODevice& input, ReadSink& sink)
        : m_lexer(input, [&sink](qint64 line, const QString& text) { sink.problem(line, text); }),
          m_sink(sink)
    {
    }

    const ScriptCode& run();
    const ScriptCode& code() const { return m_code; }
    qint64 loneCarriageReturns() const { return m_lexer.loneCarriageReturns(); }

private:
    struct Context {
        Chunk chunk = Chunk::Other;
        bool top = true; // the main chunk, outside every function
        int loops = 0;   // loops around the statement within its function
        std::string function;
    };

    // Counts one piece of script code met in the context `c`.
    void count(int& counter, const Context& c)
    {
        ++counter;
        if (!c.top && c.chunk != Chunk::Other)
            ++m_code.inChunks;
    }

    void advance();
    const LuaToken& lookahead();
    void problem(qint64 line, const QString& text) { m_sink.problem(line, text); }
    void expectKeyword(const char* keyword, qint64 openedAt);

    bool atBlockEnd() const;
    void block(const Context& c, int depth);
    void statement(const Context& c, int depth);
    void functionDefinition(const Context& c, int depth, bool isLocal);
    // An anonymous function: its parameters, body and "end".
    void functionBody(int depth);
    void expressionStatement(const Context& c, int depth);
    void call(const Context& c, const std::string& name, qint64 line);
    void assignGlobal(const std::string& name, qint64 line);
    void assignPlayerEntry(qint64 line);

    bool literal(LuaValue& v, int depth);
    bool literalTable(LuaValue& v, int depth);
    // Reads the arguments of a call, from its "(" (or its one string or table) through its ")".
    // False, with the rest of the call skipped, when one of them is not a literal value.
    bool arguments(std::vector<LuaValue>& args, qint64 callLine);

    void skipExpression(int depth);
    void skipExpressionList(int depth);
    void skipSuffixes();
    // Skips to the bracket that closes the `open` brackets the reader is inside.
    void skipBalanced(int open);
    void skipParameters();

    LuaLexer m_lexer;
    ReadSink& m_sink;
    LuaToken m_token;
    LuaToken m_next;
    bool m_hasNext = false;
    ScriptCode m_code;
    LevelCall m_call;
    std::set<std::string> m_defined;  // functions the script defines itself
    std::vector<LevelCall> m_pending; // calls of names shaped like game functions, until the end
    LuaValue m_player;                // the global player, while it is a literal table
    bool m_playerSet = false;
    qint64 m_playerLine = 0;
    bool m_tooDeep = false;
};

inline void CallReader::advance()
{
    if (m_hasNext) {
        std::swap(m_token, m_next);
        m_hasNext = false;
    } else {
        m_lexer.next(m_token);
    }
    if (m_token.type == Type::Invalid)
        problem(m_token.line, latin1(m_token.text) + QStringLiteral("; the game's Lua cannot read this file"));
}

const LuaToken& CallReader::lookahead()
{
    if (!m_hasNext) {
        m_lexer.next(m_next);
        m_hasNext = true;
    }
    return m_next;
}

void CallReader::expectKeyword(const char* keyword, qint64 openedAt)
{
    if (m_token.isKeyword(keyword)) {
        advance();
        return;
    }
    if (m_token.type != Type::End || std::string_view(keyword) != "end" || openedAt > 0)
        problem(m_token.line,
            QStringLiteral("\"%1\" expected (to close line %2)").arg(QLatin1String(keyword)).arg(openedAt));
}

const ScriptCode& CallReader::run()
{
    advance();
    const Context top;
    while (m_token.type != Type::End) {
        if (atBlockEnd()) {
            problem(m_token.line, QStringLiteral("\"%1\" closes nothing").arg(latin1(m_token.spelling())));
            advance();
            continue;
        }
        statement(top, 0);
    }
    for (LevelCall& pending : m_pending) {
        if (!m_defined.count(pending.name))
            m_sink.call(pending);
    }
    if (m_playerSet)
        m_sink.global("player", m_player, m_playerLine);
    return m_code;
}

bool CallReader::atBlockEnd() const
{
    if (m_token.type == Type::End)
        return true;
    return m_token.isKeyword("end") || m_token.isKeyword("else") || m_token.isKeyword("elseif")
        || m_token.isKeyword("until");
}

void CallReader::block(const Context& c, int depth)
{
    if (depth > maxNesting) {
        if (!m_tooDeep)
            problem(m_token.line,
                QStringLiteral("the blocks are nested more than %1 deep; the rest is not read").arg(maxNesting));
        m_tooDeep = true;
        while (m_token.type != Type::End)
            advance();
        return;
    }
    while (!atBlockEnd())
        statement(c, depth);
}

void CallReader::statement(const Context& c, int depth)
{
    const qint64 line = m_token.line;
    if (m_token.type == Type::Keyword) {
        const std::string k = m_token.spelling();
        if (k == "function") {
            functionDefinition(c, depth, false);
        } else if (k == "local") {
            advance();
            count(m_code.locals, c);
            if (m_token.isKeyword("function")) {
                functionDefinition(c, depth, true);
                return;
            }
            while (m_token.type == Type::Name || m_token.isSymbol(","))
                advance();
            if (m_token.isSymbol("=")) {
                advance();
                skipExpressionList(depth);
            }
        } else if (k == "if") {
            count(m_code.conditions, c);
            advance();
            skipExpression(depth);
            expectKeyword("then", line);
            block(c, depth + 1);
            while (m_token.isKeyword("elseif")) {
                advance();
                skipExpression(depth);
                expectKeyword("then", line);
                block(c, depth + 1);
            }
            if (m_token.isKeyword("else")) {
                advance();
                block(c, depth + 1);
            }
            expectKeyword("end", line);
        } else if (k == "while" || k == "for") {
            count(m_code.loops, c);
            advance();
            Context inner = c;
            ++inner.loops;
            if (k == "for") {
                // for i = a, b[, c] do / for k, v in t do
                while (m_token.type == Type::Name || m_token.isSymbol(","))
                    advance();
                if (m_token.isSymbol("=") || m_token.isKeyword("in"))
                    advance();
                skipExpressionList(depth);
            } else {
                skipExpression(depth);
            }
            expectKeyword("do", line);
            block(inner, depth + 1);
            expectKeyword("end", line);
        } else if (k == "repeat") {
            count(m_code.loops, c);
            advance();
            Context inner = c;
            ++inner.loops;
            block(inner, depth + 1);
            expectKeyword("until", line);
            skipExpression(depth);
        } else if (k == "do") {
            advance();
            block(c, depth + 1);
            expectKeyword("end", line);
        } else if (k == "return") {
            advance();
            if (!atBlockEnd() && !m_token.isSymbol(";"))
                skipExpressionList(depth);
        } else if (k == "break") {
            advance();
        } else {
            problem(line, QStringLiteral("\"%1\" cannot start a statement").arg(latin1(k)));
            advance();
        }
        return;
    }
    if (m_token.isSymbol(";")) {
        advance();
        return;
    }
    if (m_token.type == Type::Name || m_token.isSymbol("(") || m_token.isSymbol("%")) {
        expressionStatement(c, depth);
        return;
    }
    if (m_token.type != Type::Invalid)
        problem(line, QStringLiteral("\"%1\" cannot start a statement").arg(latin1(m_token.spelling())));
    advance();
}

void CallReader::skipParameters()
{
    if (!m_token.isSymbol("("))
        return;
    advance();
    skipBalanced(1);
}

void CallReader::functionDefinition(const Context& c, int depth, bool isLocal)
{
    const qint64 line = m_token.line;
    advance(); // "function"
    std::string name;
    bool plain = true;
    if (m_token.type == Type::Name) {
        name = m_token.text;
        advance();
    }
    while (m_token.isSymbol(".") || m_token.isSymbol(":")) {
        plain = false;
        advance();
        if (m_token.type == Type::Name)
            advance();
    }
    const bool isChunk = plain && !isLocal && c.top && (name == "DetermChunk" || name == "NonDetermChunk");
    if (plain && !name.empty())
        m_defined.insert(name);
    if (!isChunk)
        count(m_code.functions, c);
    skipParameters();
    Context inner;
    inner.top = false;
    inner.chunk = isChunk ? (name == "DetermChunk" ? Chunk::Determ : Chunk::NonDeterm) : Chunk::Other;
    inner.function = name;
    block(inner, depth + 1);
    expectKeyword("end", line);
}

void CallReader::functionBody(int depth)
{
    const qint64 line = m_token.line;
    ++m_code.functions;
    ++m_code.inChunks; // a function made while a chunk runs: only where it is called does it matter
    skipParameters();
    Context inner;
    inner.top = false;
    block(inner, depth + 1);
    expectKeyword("end", line);
}

void CallReader::expressionStatement(const Context& c, int depth)
{
    const qint64 line = m_token.line;
    if (m_token.type == Type::Name) {
        const std::string name = m_token.text;
        advance();
        if (m_token.isSymbol("(") || m_token.type == Type::String || m_token.isSymbol("{")) {
            call(c, name, line);
            if (continuesExpression(m_token) && !m_token.isSymbol("(") && !m_token.isSymbol("{")
                && m_token.type != Type::String)
                skipSuffixes();
            return;
        }
        if (c.top && name == "player" && m_token.isSymbol("[")) {
            assignPlayerEntry(line);
            return;
        }
        if (m_token.isSymbol("=")) {
            advance();
            if (c.top && (name == "levelDesc" || name == "maxPlayers" || name == "player")) {
                assignGlobal(name, line);
                return;
            }
            count(m_code.otherStatements, c);
            skipExpressionList(depth);
            return;
        }
    } else {
        skipExpression(depth);
    }
    skipSuffixes();
    if (m_token.isSymbol(",") || m_token.isSymbol("=")) {
        while (m_token.isSymbol(",")) {
            advance();
            skipExpression(depth);
        }
        if (m_token.isSymbol("=")) {
            advance();
            skipExpressionList(depth);
        }
    }
    count(m_code.otherStatements, c);
}

void CallReader::call(const Context& c, const std::string& name, qint64 line)
{
    if (!isGameFunction(name)) {
        if (name == "dofilepath" || name == "dofile") {
            std::vector<LuaValue> args;
            const bool literalPath = arguments(args, line) && !args.empty() && args[0].isString();
            problem(line,
                QStringLiteral("the script includes %1, which Load Level does not read; Open Level runs it")
                    .arg(literalPath ? QLatin1Char('"') + latin1(args[0].text) + QLatin1Char('"')
                                     : QStringLiteral("a file")));
            count(m_code.helperCalls, c);
            return;
        }
        if (!c.top)
            count(m_code.helperCalls, c);
        else
            count(m_code.otherStatements, c);
        if (m_token.isSymbol("(")) {
            advance();
            skipBalanced(1);
        } else {
            advance();
            if (m_token.type != Type::String)
                skipBalanced(1);
        }
        return;
    }
    m_call.name = name;
    m_call.line = line;
    m_call.chunk = c.chunk;
    if (!arguments(m_call.args, line) || continuesExpression(m_token)) {
        count(m_code.computedCalls, c);
        problem(line,
            QStringLiteral("the arguments of %1 are computed by the script; the call was skipped").arg(latin1(name)));
        return;
    }
    if (c.top) {
        problem(line,
            QStringLiteral("%1 is called outside the functions DetermChunk and NonDetermChunk; skipped")
                .arg(latin1(name)));
        return;
    }
    if (c.loops > 0) {
        if (m_code.callsInLoops++ == 0)
            problem(line,
                QStringLiteral("%1 is called inside a loop: it is read once, but the game calls it on every "
                               "pass")
                    .arg(latin1(name)));
    }
    if (isKnownGameFunction(name))
        m_sink.call(m_call);
    else
        m_pending.push_back(m_call);
}

void CallReader::assignGlobal(const std::string& name, qint64 line)
{
    LuaValue value;
    if (!literal(value, 0) || continuesExpression(m_token)) {
        problem(line, QStringLiteral("%1 is computed by the script; it was not read").arg(latin1(name)));
        Context top;
        skipExpression(0);
        skipSuffixes();
        return;
    }
    if (name == "player") {
        m_player = std::move(value);
        m_playerSet = true;
        m_playerLine = line;
        return;
    }
    m_sink.global(name, value, line);
}

void CallReader::assignPlayerEntry(qint64 line)
{
    advance(); // "["
    LuaValue key;
    LuaValue value;
    const bool keyRead = literal(key, 0) && m_token.isSymbol("]");
    if (keyRead)
        advance();
    else
        skipBalanced(1);
    Context top;
    if (!m_token.isSymbol("=")) {
        skipSuffixes();
        if (m_token.isSymbol("=")) {
            advance();
            skipExpressionList(0);
        }
        problem(line, QStringLiteral("the player table is changed by the script; the change was not read"));
        return;
    }
    advance();
    if (!keyRead || key.isNil() || !literal(value, 0) || continuesExpression(m_token)) {
        problem(line, QStringLiteral("a player entry is computed by the script; it was not read"));
        skipExpression(0);
        return;
    }
    if (!m_player.isTable()) {
        m_player = LuaValue::makeTable();
    }
    m_playerSet = true;
    m_playerLine = line;
    if (key.isNumber() && key.number >= 1 && key.number <= double(m_player.items.size())
        && key.number == double(qint64(key.number))) {
        m_player.items[std::size_t(key.number) - 1] = std::move(value);
        return;
    }
    for (LuaField& f : m_player.fields) {
        if (f.key.sameValue(key)) {
            f.value = std::move(value);
            return;
        }
    }
    m_player.fields.push_back({std::move(key), std::move(value)});
}

// Fills `v` from the literal at the current token; false when the token starts something else.
bool CallReader::literal(LuaValue& v, int depth)
{
    // A table keeps its elements' objects for the next call of the same shape.
    if (!m_token.isSymbol("{")) {
        if (!v.items.empty())
            v.items.clear();
    }
    if (!v.fields.empty())
        v.fields.clear();
    switch (m_token.type) {
    case Type::Number:
        v.type = LuaValue::Type::Number;
        v.number = m_token.number;
        if (m_token.text.empty())
            v.text.clear();
        else
            std::swap(v.text, m_token.text); // the token's text is read anew by the next token
        advance();
        return !continuesExpression(m_token);
    case Type::String:
        v.type = LuaValue::Type::String;
        std::swap(v.text, m_token.text);
        advance();
        return !continuesExpression(m_token);
    case Type::Keyword:
        if (!m_token.isKeyword("nil"))
            return false;
        v.type = LuaValue::Type::Nil;
        v.text.clear();
        advance();
        return !continuesExpression(m_token);
    case Type::Symbol:
        if (m_token.isSymbol("-") && lookahead().type == Type::Number) {
            advance();
            v.type = LuaValue::Type::Number;
            v.number = -m_token.number;
            v.text.clear();
            if (!m_token.text.empty()) {
                v.text.push_back('-');
                v.text.append(m_token.text);
            }
            advance();
            // "-2 ^ 2" is -(2 ^ 2), "-2 .. x" a text: only a plain negative number is a literal.
            return !continuesExpression(m_token);
        }
        if (m_token.isSymbol("{"))
            return literalTable(v, depth);
        return false;
    default:
        return false;
    }
}

bool CallReader::literalTable(LuaValue& v, int depth)
{
    const qint64 line = m_token.line;
    if (depth > maxNesting)
        return false;
    advance(); // "{"
    v.type = LuaValue::Type::Table;
    v.text.clear();
    std::size_t items = 0;
    // Leaves the rest of a table that is not a literal, from inside `open` brackets.
    auto notLiteral = [this](int open) {
        skipBalanced(open);
        return false;
    };
    for (;;) {
        if (m_token.isSymbol("}")) {
            advance();
            break;
        }
        if (m_token.isSymbol(")")) {
            // A table left open inside a call: Lua cannot read the file; the values are kept.
            problem(line, QStringLiteral("a \"{\" is not closed; the game's Lua cannot read this file"));
            break;
        }
        if (m_token.isSymbol("[")) {
            advance();
            LuaField field;
            if (!literal(field.key, depth + 1) || !m_token.isSymbol("]"))
                return notLiteral(2);
            advance();
            if (!m_token.isSymbol("="))
                return notLiteral(1);
            advance();
            if (!literal(field.value, depth + 1))
                return notLiteral(1);
            v.fields.push_back(std::move(field));
        } else if (m_token.type == Type::Name && lookahead().isSymbol("=")) {
            LuaField field;
            field.key = LuaValue::makeString(m_token.text);
            advance();
            advance();
            if (!literal(field.value, depth + 1))
                return notLiteral(1);
            v.fields.push_back(std::move(field));
        } else {
            if (items == v.items.size())
                v.items.emplace_back();
            if (!literal(v.items[items], depth + 1))
                return notLiteral(1);
            ++items;
        }
        if (m_token.isSymbol(",") || m_token.isSymbol(";")) {
            advance();
            continue;
        }
        if (m_token.isSymbol("}") || m_token.isSymbol(")"))
            continue;
        return notLiteral(1);
    }
    v.items.resize(items);
    return !continuesExpression(m_token);
}

bool CallReader::arguments(std::vector<LuaValue>& args, qint64 callLine)
{
    std::size_t n = 0;
    auto slot = [&args, &n]() -> LuaValue& {
        if (n == args.size())
            args.emplace_back();
        return args[n++];
    };
    if (m_token.type == Type::String || m_token.isSymbol("{")) {
        // f"text" and f{...}: one argument
        const bool ok = literal(slot(), 0);
        args.resize(n);
        if (!ok)
            skipBalanced(0);
        return ok;
    }
    if (!m_hasNext) {
        // Most calls are written plainly on one line: read straight from the bytes.
        if (const std::size_t used = PlainArguments(m_lexer.pending(4096)).read(args)) {
            m_lexer.skip(qsizetype(used));
            advance();
            return true;
        }
    }
    advance(); // "("
    if (m_token.isSymbol(")")) {
        advance();
        args.clear();
        return true;
    }
    qint64 lastLine = m_token.line;
    for (;;) {
        if (!literal(slot(), 0)) {
            args.resize(n);
            skipBalanced(1);
            return false;
        }
        if (m_token.isSymbol(",")) {
            advance();
            lastLine = m_token.line;
            continue;
        }
        if (m_token.isSymbol(")")) {
            advance();
            break;
        }
        if (m_token.line > lastLine || m_token.type == Type::End) {
            // The call is not closed: Lua cannot read the file, but the values are plain.
            problem(callLine, QStringLiteral("the call's \")\" is missing; the game's Lua cannot read this file"));
            break;
        }
        args.resize(n);
        skipBalanced(1);
        return false;
    }
    args.resize(n);
    return true;
}

void CallReader::skipBalanced(int open)
{
    int depth = open;
    while (m_token.type != Type::End) {
        if (m_token.type == Type::Symbol) {
            if (m_token.isSymbol("(") || m_token.isSymbol("{") || m_token.isSymbol("["))
                ++depth;
            else if (m_token.isSymbol(")") || m_token.isSymbol("}") || m_token.isSymbol("]"))
                --depth;
        }
        advance();
        if (depth <= 0)
            return;
    }
}

void CallReader::skipSuffixes()
{
    for (;;) {
        if (m_token.isSymbol(".") || m_token.isSymbol(":")) {
            advance();
            if (m_token.type == Type::Name)
                advance();
        } else if (m_token.isSymbol("[") || m_token.isSymbol("(") || m_token.isSymbol("{")) {
            advance();
            skipBalanced(1);
        } else if (m_token.type == Type::String) {
            advance();
        } else {
            return;
        }
    }
}

void CallReader::skipExpression(int depth)
{
    for (;;) {
        while (m_token.isKeyword("not") || m_token.isSymbol("-"))
            advance();
        if (m_token.type == Type::Number || m_token.type == Type::String || m_token.isKeyword("nil")
            || m_token.isSymbol("...")) {
            advance();
        } else if (m_token.isSymbol("{") || m_token.isSymbol("(")) {
            advance();
            skipBalanced(1);
        } else if (m_token.isKeyword("function")) {
            advance();
            functionBody(depth);
        } else if (m_token.isSymbol("%")) {
            advance();
            if (m_token.type == Type::Name)
                advance();
        } else if (m_token.type == Type::Name) {
            advance();
        } else {
            return;
        }
        skipSuffixes();
        if (continuesExpression(m_token)) {
            advance();
            continue;
        }
        return;
    }
}

void CallReader::skipExpressionList(int depth)
{
    skipExpression(depth);
    while (m_token.isSymbol(",")) {
        advance();
        skipExpression(depth);
    }
}

QString plural(int n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString scriptSummary(const ScriptCode& code)
{
    QStringList parts;
    if (code.loops)
        parts << plural(code.loops, "loop", "loops");
    if (code.conditions)
        parts << plural(code.conditions, "condition", "conditions");
    if (code.functions)
        parts << plural(code.functions, "helper function", "helper functions");
    if (code.locals)
        parts << plural(code.locals, "local variable", "local variables");
    if (code.helperCalls)
        parts << plural(code.helperCalls, "call of the script's own functions", "calls of the script's own functions");
    if (code.otherStatements)
        parts << plural(code.otherStatements, "other statement", "other statements");
    QString text = QStringLiteral("The file is a script");
    if (!parts.isEmpty()) {
        const QString last = parts.takeLast();
        text += QStringLiteral(": it has ")
            + (parts.isEmpty() ? last : parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last)
            + QStringLiteral(" that Load Level does not run");
    }
    if (code.computedCalls)
        text += QStringLiteral("; %1 whose arguments the script computes %2 skipped")
                    .arg(plural(code.computedCalls, "call", "calls"),
                        QLatin1String(code.computedCalls == 1 ? "was" : "were"));
    return text + QStringLiteral(". File > Open Level runs the script and reads every item.");
}

} // namespace

LineReadSummary readLevelCalls(QIODevice& input, ReadSink& sink)
{
    const QByteArray head = input.peek(4096);
    if (head.startsWith("\x1bLua")) {
        sink.problem(0, QStringLiteral("the file is compiled Lua bytecode, not a level script; nothing was read"));
        return {};
    }
    if (looksBinary(head)) {
        sink.problem(0, QStringLiteral("the file is not a text file; nothing was read"));
        return {};
    }
    CallReader reader(input, sink);
    const ScriptCode& code = reader.run();
    if (const qint64 cr = reader.loneCarriageReturns(); cr > 0)
        sink.problem(0,
            QStringLiteral("%1 of the file's lines end in a lone carriage return (CR), which the game's Lua "
                           "4.0 reads as a blank, not as a line end: a \"--\" comment runs on past it to "
                           "the next line feed. Saving writes CR LF line ends.")
                .arg(cr));
    if (code.any())
        sink.problem(0, scriptSummary(code));
    return {code.computedCalls, code.inChunks};
}

ReadResult readLevel(
    QIODevice& input, LevelDocument& document, MapSettings& settings, ModelLists& models, ItemSink* sink)
{
    LevelBuilder builder(document, settings, models, sink);
    const LineReadSummary summary = readLevelCalls(input, builder);
    ReadResult result = builder.finish();
    result.callsSkipped = summary.callsSkipped;
    result.scriptInChunks = summary.scriptInChunks;
    return result;
}

std::optional<ReadResult> readLevelFile(const QString& path, LevelDocument& document, MapSettings& settings,
    ModelLists& models, ItemSink* sink, QString* error)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        if (error)
            *error = QStringLiteral("%1 is a folder, not a level file").arg(path);
        return std::nullopt;
    }
    QFile file;
    if (const QString reason = openForReading(path, file); !reason.isEmpty()) {
        if (error)
            *error = QStringLiteral("Cannot open %1: %2").arg(path, reason);
        return std::nullopt;
    }
    return readLevel(file, document, settings, models, sink);
}

QString problemsText(const std::vector<ReadProblem>& problems, int limit)
{
    QStringList lines;
    int shown = 0;
    for (const ReadProblem& p : problems) {
        if (shown == limit) {
            lines << QStringLiteral("... and %1 more").arg(qsizetype(problems.size()) - limit);
            break;
        }
        lines << (p.line > 0 ? QStringLiteral("line %1: %2").arg(p.line).arg(p.reason) : p.reason);
        ++shown;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace starloom
