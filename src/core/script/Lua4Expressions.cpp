// The source rewriter's expressions: Lua 4's operators and priorities, its truth (a comparison is
// 1 or nil), table constructors, calls and their arguments.

#include "Lua4Translator.h"

#include "levelfile/GameFunctions.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

namespace starloom::lua4src {

void Translator::toValue(Expr& e)
{
    if (e.kind == Kind::Plain)
        return;
    if (e.kind == Kind::Bool) {
        wrap(e, "(");
        append("and 1 or nil)");
    } else {
        wrap(e, "__L4bool(");
        append(")");
    }
    e.kind = Kind::Plain;
    e.logic = false;
    e.hasOr = false;
}

Binary Translator::binary() const
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

Expr Translator::subexpression(int limit, bool asCondition)
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
        // Lua 4.0 negates a whole-number constant as an integer: "-0" is 0, not minus zero.
        if (!isNot && subtractsZero(e.mark + 1))
            m_out[e.mark] = ' ';
        e.kind = isNot ? Kind::Bool : Kind::Plain;
    } else {
        e = simple(asCondition);
    }
    for (;;) {
        const Binary op = binary();
        std::size_t minusAt = 0;
        if (op == Binary::None || priority(op).left <= limit)
            break;
        const qint64 line = m_tok.line;
        if (op == Binary::Pow) {
            // pow() as Lua 4.0 computes it: Lua 5.4's "^" squares by a * a.
            toValue(e);
            wrap(e, "__L4pow(");
            append(",");
            advance();
            subexpression(priority(op).right, false);
            append(")");
            e.kind = Kind::Plain;
            e.logic = false;
            e.hasOr = false;
        } else if (op == Binary::Concat) {
            toValue(e);
            wrap(e, "__L4cat(");
            while (m_tok.type == T::Concat) {
                append(",");
                advance();
                subexpression(priority(Binary::Concat).left, false);
            }
            append(")");
            e.kind = Kind::Plain;
            e.logic = false;
            e.hasOr = false;
        } else if (op == Binary::And || op == Binary::Or) {
            if (!asCondition)
                toValue(e);
            // Lua 4: "a or b and c" is "(a or b) and c"; Lua 5.4 reads the rest of a chain alike.
            if (e.logic && e.hasOr && op == Binary::And) {
                wrap(e, "(");
                append(")");
                e.hasOr = false;
            }
            const bool raw = e.kind != Kind::Plain;
            put(op == Binary::And ? "and" : "or", line);
            advance();
            const Expr right = subexpression(priority(op).right, asCondition);
            e.kind = asCondition && (raw || right.kind != Kind::Plain) ? Kind::RawLogic : Kind::Plain;
            e.hasOr = e.hasOr || op == Binary::Or;
            e.logic = true;
        } else {
            toValue(e);
            switch (op) {
            case Binary::Add:
                put("+", line);
                break;
            case Binary::Sub:
                minusAt = begin('-', line);
                put("-", line);
                break;
            case Binary::Mul:
                put("*", line);
                break;
            case Binary::Div:
                put("/", line);
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
            case Binary::Le: // Lua 4.0: not (b < a), true where either is nan
                wrap(e, "not (");
                put(">", line);
                break;
            case Binary::Gt:
                put(">", line);
                break;
            case Binary::Ge: // Lua 4.0: not (a < b)
                wrap(e, "not (");
                put("<", line);
                break;
            default:
                break;
            }
            advance();
            subexpression(priority(op).right, false);
            if (op == Binary::Le || op == Binary::Ge)
                append(")");
            // Lua 4.0 subtracts a whole-number constant by adding its negation: "a - 0" is a + 0,
            // which is 0 where a is -0.
            if (op == Binary::Sub && subtractsZero(minusAt + 1))
                m_out[minusAt] = '+';
            const bool comparison = op >= Binary::Eq && op <= Binary::Ge;
            e.kind = comparison ? Kind::Bool : Kind::Plain;
            e.logic = false;
            e.hasOr = false;
        }
        e.call = false;
        e.assignable = false;
    }
    if (!asCondition)
        toValue(e);
    leaveLevel();
    return e;
}

Expr Translator::simple(bool asCondition)
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
        body(false, false, line, e.mark);
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

void Translator::constructor()
{
    const qint64 line = m_tok.line;
    put("{", line);
    advance();
    // Lua 4.0 stores the record fields of a constructor in batches of 31, each from its last pair
    // to its first: of two equal constant keys in a batch the first stays. A later one is given a
    // key of its own that keeps nothing (its value is still evaluated, in its place).
    constexpr int fieldsPerStore = 31;
    int recordFields = 0;
    std::set<std::string> batchKeys;
    auto startField = [&] {
        if (recordFields++ % fieldsPerStore == 0)
            batchKeys.clear();
    };
    auto repeated = [&](std::string key) { return !batchKeys.insert(std::move(key)).second; };
    auto dropped = [&](qint64 at) {
        put("[__L4drop(", at);
        expression(false);
        append(")]=nil");
    };
    while (!isChar('}')) {
        if (isChar('[')) {
            const qint64 bracketLine = m_tok.line;
            advance();
            startField();
            std::string key;
            const bool constant =
                (m_tok.type == T::String || m_tok.type == T::Number) && peek().type == T::Char && peek().ch == ']';
            if (constant && m_tok.type == T::String) {
                key = "s" + m_tok.str;
            } else if (constant) {
                double value = 0;
                LuaLexer::numeralValue(m_tok.raw, value);
                char exact[40];
                std::snprintf(exact, sizeof exact, "n%a", value == 0 ? 0.0 : value);
                key = exact;
            }
            if (constant && repeated(std::move(key))) {
                advance(); // the key
                advance(); // "]"
                if (!isChar('='))
                    fail("'=' expected");
                advance();
                dropped(bracketLine);
            } else {
                put("[", bracketLine);
                expression(false);
                expectChar(']');
                expectChar('=');
                expression(false);
            }
        } else if (m_tok.type == T::Name && peek().type == T::Char && peek().ch == '=') {
            const std::string_view name = m_tok.raw;
            const qint64 nameLine = m_tok.line;
            startField();
            if (repeated("s" + std::string(name))) {
                advance(); // the name
                advance(); // "="
                dropped(nameLine);
            } else {
                if (needsRename(name)) {
                    put("[", nameLine);
                    putQuoted(name, nameLine);
                    append("]");
                } else {
                    put(name, nameLine);
                }
                advance();
                put("=", m_tok.line);
                advance();
                expression(false);
            }
        } else {
            // A call in a list gives one value in Lua 4.0, the last one too.
            Expr item = expression(false);
            if (item.call) {
                wrap(item, "(");
                append(")");
            }
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

Expr Translator::primary(bool statementStart, bool asCondition)
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
            if (level < 0 && m_funcs.size() == 1)
                fail("cannot access upvalue in main");
            if (level == 0 || level > 1)
                fail("upvalue must be global or local to immediately outer scope");
        } else if (level > 0) {
            fail("cannot access a variable in outer scope");
        }
        advance();
        const bool global = level < 0;
        if (upvalue) {
            e.mark = begin('_', nameLine);
            putUpvalue(name, nameLine);
        } else if (global && callFollows() && !isGameFunction(name)) {
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

void Translator::arguments()
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

} // namespace starloom::lua4src
