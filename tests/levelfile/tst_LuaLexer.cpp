// The tokens of level files as the game's Lua 4.0 reads them, where that differs from Lua 5 too.

#include "levelfile/LuaLexer.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

using namespace starloom;

namespace {

struct Lexed {
    std::string tokens; // "kind:text" separated by blanks: N name, K keyword, # number, S string, . symbol, ! invalid
    qint64 lastLine = 0;
    std::string notices;
    qint64 loneCr = 0;
};

void readAll(LuaLexer& lexer, Lexed& out)
{
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
}

Lexed lex(const QByteArray& text)
{
    QByteArray bytes = text;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    Lexed out;
    LuaLexer lexer(buffer, [&out](qint64 line, const QString& notice) {
        out.notices += std::to_string(line) + ":" + notice.left(12).toStdString() + ";";
    });
    readAll(lexer, out);
    return out;
}

// A whole text by the translator's rules.
Lexed lexForTranslator(std::string_view text, qsizetype from = 0, qint64 line = 1)
{
    LuaLexer lexer(text, LuaLexer::Rules::Translator, from, line);
    Lexed out;
    readAll(lexer, out);
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
        LexCase{"longStringsNest", "[[x [[y]] z]] w", "S:x [[y]] z N:w", 1, ""},
        LexCase{"longStringKeepsItsFirstLineEnd", "[[\nx]] w", "S:\nx N:w", 2, ""},
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

// Where the translator's rules differ from the reader's.
struct TranslatorCase {
    const char* name;
    std::string_view text;
    const char* tokens;
    qint64 lastLine;
};

class TranslatorRules : public ::testing::TestWithParam<TranslatorCase> {};

TEST_P(TranslatorRules, ReadTokensAsTheTranslatorTakesThem)
{
    const TranslatorCase& c = GetParam();
    const Lexed got = lexForTranslator(c.text);
    EXPECT_EQ(got.tokens, c.tokens);
    EXPECT_EQ(got.lastLine, c.lastLine);
}

INSTANTIATE_TEST_SUITE_P(Texts, TranslatorRules,
    ::testing::Values(TranslatorCase{"loneCarriageReturnsEndNoLine", "a\rb -- c\rd\ne", "N:a N:b N:e", 2},
        // Lua 4.0 refuses them ("invalid control char"): the translator is given them to refuse.
        TranslatorCase{"formFeedsAndVerticalTabsAreStrayCharacters", "a\fb\vc", "N:a .:\f N:b .:\v N:c", 1},
        TranslatorCase{"crLfInALongStringIsOneLineEnd", "[[x\r\ny\rz]] w", "S:x\ny\rz N:w", 2},
        TranslatorCase{"backslashBeforeCrLf", "\"a\\\r\nb\" c", "S:a\nb N:c", 2},
        TranslatorCase{"strayCharactersAreSymbols", "a ~ @ $", "N:a .:~ .:@ .:$", 1},
        TranslatorCase{"byteOrderMarkIsNotSkipped", "\xEF\xBB\xBFx", ".:\xEF .:\xBB .:\xBF N:x", 1},
        TranslatorCase{"invalidTokensStay", "\"abc\n1e", "!:? !:?", 2}),
    [](const ::testing::TestParamInfo<TranslatorCase>& instance) { return std::string(instance.param.name); });

TEST(LuaLexer, InvalidTokensSayWhatIsWrong)
{
    const std::pair<std::string_view, LuaToken::Problem> cases[] = {
        {"@", LuaToken::Problem::Character},
        {"\"ab\ncd\"", LuaToken::Problem::UnclosedString},
        {"'ab", LuaToken::Problem::UnclosedString},
        {"[[ab", LuaToken::Problem::UnclosedLongString},
        {"1e+", LuaToken::Problem::MalformedNumber},
        {"1..2", LuaToken::Problem::AmbiguousNumber},
        {"'\\300'", LuaToken::Problem::EscapeTooLarge},
    };
    for (const auto& [text, problem] : cases) {
        LuaLexer lexer(text, LuaLexer::Rules::Reader);
        LuaToken t;
        lexer.next(t);
        EXPECT_EQ(t.type, LuaToken::Type::Invalid) << text;
        EXPECT_EQ(t.problem, problem) << text;
    }
}

// A lexer of a whole text may start where another stopped: no "#" line is skipped there, and each
// token knows where it starts.
TEST(LuaLexer, ReadsAWholeTextFromAPositionOnItsLine)
{
    const std::string_view text = "x = 1\n#y";
    LuaLexer lexer(text, LuaLexer::Rules::Translator, 6, 2);
    LuaToken t;
    lexer.next(t);
    EXPECT_TRUE(t.isSymbol("#"));
    EXPECT_EQ(t.line, 2);
    lexer.next(t);
    EXPECT_EQ(t.spelling(), "y");
    EXPECT_EQ(t.offset, 7);
    EXPECT_EQ(lexer.position(), 8);
}

TEST(LuaLexer, CountsLoneCarriageReturns)
{
    EXPECT_EQ(lex("a\rb\r\nc\r").loneCr, 2);
}

} // namespace
