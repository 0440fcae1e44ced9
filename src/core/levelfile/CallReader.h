#pragma once

// The reader of a level's calls and globals: Lua 4.0's statements read without running them, the
// calls of game functions and the globals a level sets taken when their values are literal, and
// counts of the script code met on the way. Its statements are in CallReader.cpp, its values and
// skipped expressions in CallReaderValues.cpp. Internal to levelfile/.

#include "GameFunctions.h"
#include "LuaLexer.h"
#include "ReadSink.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace starloom::levelreader {

using Type = LuaToken::Type;

inline constexpr int maxNesting = 200; // blocks and tables nested deeper than this are not read

inline QString latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// A token after which an expression goes on: a binary operator, or an index, a field, a method or
// the arguments of a call.
inline bool continuesExpression(const LuaToken& t)
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
    // `replaced`: the lines of chunk definitions that a later definition of the same chunk
    // replaces, each with the line of the last one (from an earlier reading of the same text);
    // their calls are not read.
    CallReader(QIODevice& input, ReadSink& sink, std::map<qint64, qint64> replaced = {})
        : m_lexer(input, [&sink](qint64 line, const QString& text) { sink.problem(line, text); }),
          m_sink(sink),
          m_replaced(std::move(replaced))
    {
    }

    const ScriptCode& run();
    // The chunk definitions that a later one replaces (the game runs only the last definition of
    // DetermChunk and of NonDetermChunk), each with the line of the last: known once run.
    std::map<qint64, qint64> replacedDefinitions() const;
    const ScriptCode& code() const { return m_code; }
    qint64 loneCarriageReturns() const { return m_lexer.loneCarriageReturns(); }

private:
    struct Context {
        Chunk chunk = Chunk::Other;
        bool top = true;       // the main chunk, outside every function
        int loops = 0;         // loops around the statement within its function
        bool never = false;    // inside "if nil then" or "while nil do": the game never runs it
        bool replaced = false; // in a chunk definition that a later one replaces
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
    // The parameters, body and "end" of the function `name` defined at `line` (by a function
    // statement, or by an assignment when `assigned`).
    void definedFunction(const Context& c, int depth, const std::string& name, bool plain, qint64 line, bool assigned);
    // Whether a condition is the constant nil (the block it guards never runs); reads nothing.
    bool conditionIsNil();
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
    std::set<std::string> m_defined; // functions the script defines itself
    std::map<qint64, qint64> m_replaced;
    std::map<std::string, std::vector<qint64>> m_chunkDefinitions; // the lines each chunk is defined on
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

} // namespace starloom::levelreader
