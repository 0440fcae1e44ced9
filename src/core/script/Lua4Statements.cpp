// The source rewriter's statements: blocks, for, function, local, assignments and calls, and the
// calls of game functions with constant arguments.

#include "Lua4Translator.h"

#include "levelfile/GameFunctions.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace starloom::lua4src {

bool Translator::blockFollows() const
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

void Translator::block()
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
    dropLocals(scope);
    leaveLevel();
}

bool Translator::statement()
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

void Translator::forStatement(qint64 line)
{
    advance();
    const std::string_view first = expectName();
    const qint64 nameLine = m_tok.line;
    advance();
    const std::size_t scope = function().locals.size();
    if (isChar('=')) {
        // Lua 4.0's numeric loop: the limit and the step are read once, the variable is the loop's
        // own counter (the body may change it) and is checked and stepped after each round:
        // do local i,(limit),(step)=__L4forprep(a,b[,c]) while i~=nil do do BODY end
        //   i=__L4fornext(i,(limit),(step)) end end
        put("do", line);
        append("local");
        putName(first, nameLine);
        append(",__L4lim,__L4step=__L4forprep(");
        advance();
        expression(false);
        expectChar(',');
        expression(false);
        if (isChar(',')) {
            put(",", m_tok.line);
            advance();
            expression(false);
        }
        append(")");
        addLocal(first);
        addLocal("(limit)");
        addLocal("(step)");
        if (m_tok.type != T::Do)
            fail("'do' expected");
        put("while", m_tok.line);
        putName(first, m_tok.line);
        append("~=nil do do");
        advance();
        block();
        dropLocals(scope);
        if (m_tok.type != T::End)
            expectMatch(T::End, "end", "for", line);
        put("end", m_tok.line);
        putName(first, m_tok.line);
        append("=__L4fornext(");
        putName(first, m_tok.line);
        append(",__L4lim,__L4step)end end");
        advance();
        return;
    }
    put("for", line);
    putName(first, nameLine);
    if (isChar(',')) {
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
        addLocal(first);
        addLocal(second);
    } else {
        fail("'=' or ',' expected");
    }
    expectWord(T::Do, "do");
    block();
    dropLocals(scope);
    expectMatch(T::End, "end", "for", line);
}

void Translator::functionStatement(qint64 line)
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
    while (isChar('.') || isChar(':')) {
        method = isChar(':');
        advance();
        const std::string_view name = expectName();
        parts.push_back({name, m_tok.line});
        advance();
        if (method)
            break;
    }
    // name.field:method = function(self, ...) ... end, as Lua defines the statement
    putName(parts[0].first, parts[0].second);
    for (std::size_t i = 1; i < parts.size(); ++i)
        putField(parts[i].first, parts[i].second);
    put("=", line);
    const std::size_t start = begin('f', line);
    put("function", line);
    body(method, method, line, start);
}

void Translator::localStatement(qint64 line)
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
        addLocal(name);
}

void Translator::expressionStatement()
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

bool Translator::literalCall()
{
    const std::string_view name = m_tok.raw;
    if (!isGameFunction(name) || needsRename(name) || resolve(name) >= 0)
        return false;
    const qint64 line = m_tok.line;
    const Lexer::State arguments = m_lex.state(); // just after "(", the last token read
    const std::size_t data = m_literalData.size();
    const std::optional<Lexer::State> end = readLiteralArguments(m_source, arguments, m_literalData, m_cost);
    if (!end)
        return false;
    const Token tok = std::move(m_tok);
    const Token ahead = std::move(m_ahead);
    m_lex.restore(*end);
    // The output gets "__L4K(i)" and the line ends of the arguments.
    m_cost.room(m_out, static_cast<std::size_t>(std::max<qint64>(end->line - m_outLine, 0)) + 64);
    m_lexedTo = end->pos;
    m_hasAhead = false;
    advance();
    // the call must be the whole statement
    if (isChar('.') || isChar('[') || isChar(':') || isChar('=') || isChar(',') || callFollows()) {
        m_lex.restore(arguments);
        m_lexedTo = arguments.pos;
        m_tok = tok;
        m_ahead = ahead;
        m_hasAhead = true;
        m_literalData.resize(data);
        return false;
    }
    put("__L4K(", line);
    m_out += std::to_string(m_calls.size());
    m_out += ')';
    m_cost.room(m_calls, 1);
    m_cost.grow(name.size());
    m_calls.push_back({std::string(name), line, data});
    return true;
}

void Translator::body(bool method, bool explicitSelf, qint64 line, std::size_t start)
{
    enterLevel();
    m_funcs.push_back({});
    if (method)
        addLocal("self");
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
            addLocal(name);
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
        addLocal("arg");
    }
    block();
    expectMatch(T::End, "end", "function", line);
    dropLocals(0);
    const std::vector<std::string_view> upvalues = std::move(function().upvalues);
    m_funcs.pop_back();
    if (!upvalues.empty()) {
        std::string& open = m_insertedTexts.emplace_back("(function(");
        for (std::size_t i = 0; i < upvalues.size(); ++i) {
            if (i > 0)
                open += ',';
            open += "__L4V_";
            open += upvalues[i];
        }
        open += ") return ";
        m_cost.grow(open.size());
        insertAt(start, open);
        append("end)(");
        for (std::size_t i = 0; i < upvalues.size(); ++i) {
            if (i > 0)
                append(",");
            putName(upvalues[i], m_outLine);
        }
        append(")");
    }
    leaveLevel();
}

void Translator::putUpvalue(std::string_view name, qint64 line)
{
    std::vector<std::string_view>& upvalues = function().upvalues;
    if (std::find(upvalues.begin(), upvalues.end(), name) == upvalues.end()) {
        if (upvalues.size() >= maxUpvalues)
            fail(QStringLiteral("too many upvalues (limit=%1)").arg(maxUpvalues));
        upvalues.push_back(name);
    }
    m_cost.count(upvalues.size());
    begin('_', line);
    m_out += "__L4V_";
    m_out += name;
    m_lastNumber = false;
}

void Translator::expressionList()
{
    expression(false);
    while (isChar(',')) {
        put(",", m_tok.line);
        advance();
        expression(false);
    }
}

} // namespace starloom::lua4src
