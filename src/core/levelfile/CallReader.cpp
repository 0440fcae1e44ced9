// The call reader's statements: blocks, functions, calls of game functions and the globals a
// level sets.

#include "CallReader.h"

#include <QStringList>

namespace starloom::levelreader {

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

std::map<qint64, qint64> CallReader::replacedDefinitions() const
{
    std::map<qint64, qint64> replaced;
    for (const auto& [name, lines] : m_chunkDefinitions)
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            replaced[lines[i]] = lines.back();
    return replaced;
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
            Context first = c;
            first.never = c.never || conditionIsNil();
            skipExpression(depth);
            expectKeyword("then", line);
            block(first, depth + 1);
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
                inner.never = c.never || conditionIsNil();
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
    if (isLocal)
        plain = false;
    definedFunction(c, depth, name, plain, line, false);
}

void CallReader::definedFunction(
    const Context& c, int depth, const std::string& name, bool plain, qint64 line, bool assigned)
{
    const bool isChunk = plain && c.top && (name == "DetermChunk" || name == "NonDetermChunk");
    const auto replacedBy = isChunk ? m_replaced.find(line) : m_replaced.end();
    if (isChunk) {
        m_chunkDefinitions[name].push_back(line);
        if (replacedBy != m_replaced.end())
            problem(line,
                QStringLiteral("%1 is defined again on line %2, and the game runs only its last definition: the "
                               "calls of this one were not read")
                    .arg(latin1(name))
                    .arg(replacedBy->second));
        else if (m_defined.count(name) && m_replaced.empty())
            problem(line,
                QStringLiteral("%1 is defined again: the game runs only its last definition, but Load Level read "
                               "the calls of each; File > Open Level runs the script")
                    .arg(latin1(name)));
    }
    if (plain && !name.empty())
        m_defined.insert(name);
    if (!isChunk)
        count(m_code.functions, c);
    if (assigned)
        advance(); // "function"
    skipParameters();
    Context inner;
    inner.top = false;
    inner.chunk = isChunk ? (name == "DetermChunk" ? Chunk::Determ : Chunk::NonDeterm) : Chunk::Other;
    inner.never = c.never;
    inner.replaced = replacedBy != m_replaced.end();
    inner.function = name;
    block(inner, depth + 1);
    expectKeyword("end", line);
}

bool CallReader::conditionIsNil()
{
    if (!m_token.isKeyword("nil"))
        return false;
    const LuaToken& next = lookahead();
    return next.isKeyword("then") || next.isKeyword("do");
}

void CallReader::functionBody(int depth)
{
    const qint64 line = m_token.line;
    ++m_code.functions;
    ++m_code.inChunks; // a function made while a chunk runs: only where it is called does it matter
    skipParameters();
    Context inner;
    inner.top = false;
    inner.function = "(made by the script)";
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
            // DetermChunk = function() ... end: the chunk as the function statement defines it
            if (m_token.isKeyword("function") && (lookahead().isSymbol("("))) {
                definedFunction(c, depth, name, true, line, true);
                if (!m_token.isSymbol(","))
                    return;
                skipExpressionList(depth);
                return;
            }
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
    if (c.replaced) { // told once, at the definition
        const bool string = m_token.type == Type::String;
        advance();
        if (!string)
            skipBalanced(1);
        return;
    }
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
        // f(...), f{...} or f"..."
        const bool string = m_token.type == Type::String;
        advance();
        if (!string)
            skipBalanced(1);
        return;
    }
    m_call.name = name;
    m_call.line = line;
    m_call.chunk = c.chunk;
    const bool chunkOwn = !c.top && c.chunk != Chunk::Other && !c.never && !c.replaced;
    // A call written plainly on one line is first offered to the sink as its bytes.
    bool offered = false;
    if (chunkOwn && !m_hasNext && m_token.isSymbol("(")) {
        if (const std::size_t used = m_sink.offerCall(name, m_lexer.pending(4096), c.chunk, line)) {
            m_lexer.skip(qsizetype(used));
            advance();
            offered = true;
        }
    }
    if ((!offered && !arguments(m_call.args, line)) || continuesExpression(m_token)) {
        if (offered)
            m_sink.dropOffered();
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
    if (c.never) {
        count(m_code.helperCalls, c);
        problem(line,
            QStringLiteral("%1 is called in a block under \"if nil\" or \"while nil\", which the game never runs; "
                           "it was not read")
                .arg(latin1(name)));
        return;
    }
    if (!chunkOwn) {
        count(m_code.helperCalls, c);
        const QString where = c.function.empty() || c.function[0] == '('
            ? QStringLiteral("a function the script makes")
            : QStringLiteral("the function %1").arg(latin1(c.function));
        problem(line,
            QStringLiteral("%1 is called in %2, not in DetermChunk or NonDetermChunk themselves: it was not read "
                           "(File > Open Level runs the script)")
                .arg(latin1(name), where));
        return;
    }
    if (c.loops > 0) {
        if (m_code.callsInLoops++ == 0)
            problem(line,
                QStringLiteral("%1 is called inside a loop: it is read once, but the game calls it on every "
                               "pass")
                    .arg(latin1(name)));
    }
    if (offered)
        m_sink.keepOffered();
    else if (isKnownGameFunction(name))
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

} // namespace starloom::levelreader
