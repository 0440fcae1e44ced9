// The call reader's values: literal arguments and tables, and the expressions it skips.

#include "CallReader.h"
#include "PlainArguments.h"

#include <QStringList>

namespace starloom::levelreader {

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
        v.number = 0;
        std::swap(v.text, m_token.text);
        advance();
        return !continuesExpression(m_token);
    case Type::Keyword:
        if (!m_token.isKeyword("nil"))
            return false;
        v.type = LuaValue::Type::Nil;
        v.number = 0;
        v.text.clear();
        advance();
        return !continuesExpression(m_token);
    case Type::Symbol:
        if (m_token.isSymbol("-") && lookahead().type == Type::Number) {
            advance();
            v.type = LuaValue::Type::Number;
            // Lua 4.0 negates a whole-number constant as an integer: "-0" is 0, not minus zero.
            v.number = m_token.number == 0 ? 0.0 : -m_token.number;
            v.text.clear();
            if (!m_token.text.empty() || m_token.number == 0) {
                v.text.push_back('-');
                v.text.append(m_token.text.empty() ? std::string("0") : m_token.text);
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
    v.number = 0;
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

} // namespace starloom::levelreader
