// The tokens of level files as the game's Lua 4.0 reads them, where that differs from Lua 5 too.

#include "levelfile/LuaLexer.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <string>

using namespace starloom;

namespace {

struct Lexed {
    std::string tokens; // "kind:text" separated by blanks: N name, K keyword, # number, S string, . symbol, ! invalid
    qint64 lastLine = 0;
    std::string notices;
    qint64 loneCr = 0;
};

Lexed lex(const QByteArray& text)
{
    QByteArray bytes = text;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    Lexed out;
    LuaLexer lexer(buffer, [&out](qint64 line, const QString& notice) {
        out.notices += std::to_string(line) + ":" + notice.left(12).toStdString() + ";";
    });
    LuaToken t;
    for (lexer.next(t); t.type != LuaToken::Type::End; lexer.next(t)) {
        static const char kinds[] = "ENK#S.!";
        if (!out.tokens.empty())
            out.tokens += ' ';
        out.tokens += kinds[static_cast<int>(t.type)];
        out.tokens += ':';
        out.tokens += t.type == LuaToken::Type::Invalid ? std::string("?") : t.spelling();
        if (t.type == LuaToken::Type::Number && t.number != 0 && t.spelling().empty())
            out.tokens += std::to_string(static_cast<long long>(t.number));
        out.lastLine = t.line;
    }
    out.loneCr = lexer.loneCarriageReturns();
    return out;
}

struct LexCase {
    const char* name;
    QByteArray text;
    const char* tokens;
    qint64 lastLine;
    const char* notices;
};

class LexerTest : public ::testing::TestWithParam<LexCase> {};

TEST_P(LexerTest, ReadsTokensAsLua40Does)
{
    const LexCase& c = GetParam();
    const Lexed got = lex(c.text);
    EXPECT_EQ(got.tokens, c.tokens);
    EXPECT_EQ(got.lastLine, c.lastLine);
    EXPECT_EQ(got.notices, c.notices);
}

INSTANTIATE_TEST_SUITE_P(Texts, LexerTest,
    ::testing::Values(LexCase{"call", "addPebble(\"p\", {1, -2.5}, 0)",
                          "N:addPebble .:( S:p .:, .:{ #:1 .:, .:- #:2.5 .:} .:, #: .:)", 1, ""},
        // Lua 4.0 has no block comments: "--[[" comments out its own line only, and says so.
        LexCase{"blockCommentIsALineComment", "--[[ note\nx = 1\n--]]\n", "N:x .:= #:1", 2, "1:\"--[[\" start;"},
        LexCase{"commentsRunToTheLineFeed", "a -- b c\r\nd", "N:a N:d", 2, ""},
        LexCase{"longStringsNestAndDropTheFirstLineEnd", "[[\nx [[y]] z]] w", "S:x [[y]] z N:w", 2, ""},
        LexCase{"escapes", "'\\n\\t\\\\\\\"\\'\\q' \"\\65\\0661\\255\"", "S:\n\t\\\"'q S:AB1\xff", 1, ""},
        LexCase{"controlEscapes", "\"\\a\\b\\f\\v\\r|\\7\\8\\12\\11\\13\"", "S:\a\b\f\v\r|\a\b\f\v\r", 1, ""},
        LexCase{"backslashBeforeALineEnd", "\"a\\\nb\" c", "S:a\nb N:c", 2, ""},
        LexCase{"escapeAbove255", "\"\\256\"", "!:?", 1, ""},
        LexCase{"stringNotClosedOnItsLine", "\"abc\nd", "!:? N:d", 2, ""},
        LexCase{"numbers", "3 .5 1e5 2.5E-3 0.0 -0 007", "#:3 #:.5 #:1e5 #:2.5E-3 #:0.0 .:- #: #:007", 1, ""},
        LexCase{"malformedAndAmbiguousNumbers", "1e x 3..4", "!:? N:x !:? #:4", 1, ""},
        LexCase{"noHexNumerals", "0x10", "#: N:x10", 1, ""},
        LexCase{"trueAndFalseAreNames", "true false nil and", "N:true N:false K:nil K:and", 1, ""},
        LexCase{
            "operators", "a..b ~= c <= d == e ... %f", "N:a .:.. N:b .:~= N:c .:<= N:d .:== N:e .:... .:% N:f", 1, ""},
        LexCase{"invalidCharacters", "a @ b ~ c", "N:a !:? N:b !:? N:c", 1, ""},
        // A lone CR is a blank to Lua 4.0, so a comment runs on past it; it still counts for lines.
        LexCase{"loneCarriageReturns", "a\rb -- c\rd\ne", "N:a N:b N:e", 4, ""},
        LexCase{"firstLineHash", "#!/bin/lua\nx", "N:x", 2, ""},
        LexCase{"byteOrderMark", "\xEF\xBB\xBFx", "N:x", 1, "1:the file sta;"},
        LexCase{"tokensAcrossBlocks", QByteArray(70000, ' ') + "name_after_a_block 12345678901234567890",
            "N:name_after_a_block #:12345678901234567890", 1, ""}),
    [](const ::testing::TestParamInfo<LexCase>& instance) { return std::string(instance.param.name); });

TEST(LuaLexer, CountsLoneCarriageReturns)
{
    EXPECT_EQ(lex("a\rb\r\nc\r").loneCr, 2);
}

} // namespace
