// Lua 4.0 as the game reads and runs it: one small script per construct, with the calls it must
// record. addOut and addOther are game functions by their shape (add + capital letter).

#include "ScriptTest.h"

#include <gtest/gtest.h>

using namespace starloom;
using namespace starloom::test;

namespace {

struct LanguageCase {
    const char* name;
    const char* script;
    const char* calls; // Recorded::callsText()
};

const LanguageCase languageCases[] = {
    // reading the text
    {"line comment", "-- addOut(1)\naddOut(2) -- addOut(3)", "addOut(2)"},
    {"no block comments", "--[[ addOut(1)\naddOut(2)\n--]]", "addOut(2)"},
    {"long strings nest", "addOut([[a[[b]]c]])", "addOut(\"a[[b]]c\")"},
    {"long string keeps its first line end", "addOut([[\nx\r\ny]])", "addOut(\"\\nx\\ny\")"},
    {"escapes", R"(addOut("\65\066\0671|\a\b\f\v|\q\'\"\\"))", R"(addOut("ABC1|\007\008\012\011|q'\"\\"))"},
    {"backslash before a line end", "addOut(\"a\\\nb\", 'c\\\r\nd')", "addOut(\"a\\nb\", \"c\\nd\")"},
    {"CR LF ends a line", "addOut(1)\r\naddOut(2)\r\n", "addOut(1); addOut(2)"},
    {"a lone CR is a blank", "addOut(1)\raddOut(\r2)", "addOut(1); addOut(2)"},
    {"first line starting with #", "#!/usr/bin/lua\naddOut(1)", "addOut(1)"},
    {"numerals", "addOut(1e2, .5, 5., 3, 2E-1, 007)", "addOut(100, 0.5, 5, 3, 0.2, 7)"},
    {"numerals in expressions", "local x = 7 addOut(x / 2, -x, 1e2 + x)", "addOut(3.5, -7, 107)"},
    {"semicolons", "x = 1; addOut(x)\n;", "addOut(1)"},
    // names Lua 5.4 reserves are names in Lua 4
    {"true and false are names", "true = 1\naddOut(true, false)", "addOut(1, nil)"},
    {"goto is a name", "local goto = 2 addOut(goto)", "addOut(2)"},
    {"reserved names as fields", "t = {true = 3} t.goto = 4 addOut(t.true, t[\"true\"], t.goto, t[\"goto\"])",
        "addOut(3, 3, 4, 4)"},
    {"reserved names as methods' tables",
        "t = {} function t.false(x) return x + 1 end addOut(t.false(1), t[\"false\"](2))", "addOut(2, 3)"},
    {"names like the translation's own", "__L4cat = 5 local __L4U = 6 addOut(__L4cat, __L4U, \"a\" .. \"b\")",
        "addOut(5, 6, \"ab\")"},
    // upvalues, scopes
    {"upvalue of a local", "function f(x) return function() return %x end end\naddOut(f(5)())", "addOut(5)"},
    {"upvalue of a global", "g = 7 function f() return %g end addOut(f())", "addOut(7)"},
    {"repeat ends its locals before until", "x = 5 n = 0 repeat local x = 1 n = n + 1 until x == 5 addOut(n)",
        "addOut(1)"},
    {"local shadows in blocks", "x = 1 do local x = 2 addOut(x) end addOut(x)", "addOut(2); addOut(1)"},
    // loops
    {"numeric for", "for i = 1, 3 do addOut(i) end for i = 3, 1, -2 do addOut(i) end",
        "addOut(1); addOut(2); addOut(3); addOut(3); addOut(1)"},
    {"table traversal: list, numbers, then strings",
        "t = {b = 2, a = 1, 10, 20, [5] = 50, [-1] = 0}\nfor k, v in t do addOut(k, v) end",
        "addOut(1, 10); addOut(2, 20); addOut(-1, 0); addOut(5, 50); addOut(\"a\", 1); addOut(\"b\", 2)"},
    {"traversal skips entries removed meanwhile",
        "t = {1, 2, 3, x = 4} for k, v in t do t[3] = nil t.x = nil addOut(k) end", "addOut(1); addOut(2)"},
    {"while and break", "i = 0 while 1 do i = i + 1 if i == 3 then break end end addOut(i)", "addOut(3)"},
    {"repeat", "i = 0 repeat i = i + 2 until i > 5 addOut(i)", "addOut(6)"},
    {"if elseif else",
        "for i = 1, 3 do if i == 1 then addOut(\"a\") elseif i == 2 then addOut(\"b\") else addOut(\"c\") end end",
        "addOut(\"a\"); addOut(\"b\"); addOut(\"c\")"},
    // functions
    {"implicit arg table", "function f(a, ...) addOut(a, arg.n, arg[1], arg[2]) end f(0, 'x', 'y') f(1)",
        "addOut(0, 2, \"x\", \"y\"); addOut(1, 0, nil, nil)"},
    {"methods", "t = {n = 2} function t:get(x) return self.n + x end addOut(t:get(3))", "addOut(5)"},
    {"several results", "function f() return 1, 2 end addOut(f()) addOut((f())) addOut(f(), 3)",
        "addOut(1, 2); addOut(1); addOut(1, 3)"},
    {"functions as values", "local f = function(x) return x * x end addOut(f(4))", "addOut(16)"},
    {"string and table call syntax", "function f(x) return x end addOut(f\"s\", f{1})", "addOut(\"s\", {1})"},
    // numbers have one type
    {"concatenation writes whole numbers without .0", "addOut(\"x\" .. (10 / 2), 1 .. 2, \"y\" .. 0.1, \"z\" .. -0.5)",
        "addOut(\"x5\", \"12\", \"y0.1\", \"z-0.5\")"},
    {"concatenation writes 16 digits", "addOut(\"\" .. 1 / 3, \"\" .. 2^60, \"\" .. 0.1 + 0.2)",
        "addOut(\"0.3333333333333333\", \"1.152921504606847e+18\", \"0.3\")"},
    {"no integer wrap-around", "addOut(4611686018427387904 * 4 > 0, 2^53 + 1 == 2^53)", "addOut(1, 1)"},
    {"strings in arithmetic", "addOut(\"10\" + 1, \"3\" * \"4\", -\"2\", \" 5 \" / 2)", "addOut(11, 12, -2, 2.5)"},
    // comparisons give 1 or nil, "and" and "or" share one priority
    {"comparisons as values", "addOut(1 < 2, 2 < 1, not nil, not 1, 1 == 1, \"a\" ~= \"a\")",
        "addOut(1, nil, 1, nil, 1, nil)"},
    {"comparisons kept in tables", "t = {1 > 0, x = 1 > 2, y = 2 > 1} addOut(t)", "addOut({1; y = 1})"},
    {"and and or have one priority", "addOut(1 or nil and nil, nil or 1 and 2, nil and nil or 3)", "addOut(nil, 2, 3)"},
    {"and or with comparisons", "x = 3 addOut(x > 2 and \"big\" or \"small\", x > 5 and \"big\", x < 5 or x)",
        "addOut(\"big\", nil, 1)"},
    {"comparison in a condition", "if 1 < 2 and not (2 < 1) then addOut(\"yes\") end", "addOut(\"yes\")"},
    {"parenthesised condition used as a value", "x = (1 < 2 or nil) + 1 addOut(x)", "addOut(2)"},
    {"precedence", "addOut(2 + 3 * 4 ^ 2 / 8, -2 ^ 2, 1 .. 2 + 3, 2 ^ 3 ^ 2)", "addOut(8, -4, \"15\", 512)"},
    // tables
    {"constructor with list and fields", "addOut({1, 2; x = 3}, {[1] = \"a\", [3] = \"c\"}, {})",
        "addOut({1, 2; x = 3}, {\"a\"; [3] = \"c\"}, {})"},
    {"player fields first, then by name",
        "local v = 0 addOut({startPos = 1, raceID = 2, zeta = 1, name = \"a\", alpha = 2, id = v, raceName = \"r\", "
        "resources = 9})",
        "addOut({id = 0, name = \"a\", resources = 9, raceID = 2, raceName = \"r\", startPos = 1, alpha = 2, zeta = "
        "1})"},
    {"literal player fields in the same order",
        "addOut({startPos = 1, raceID = 2, zeta = 1, name = \"a\", alpha = 2, id = 0, raceName = \"r\", resources = "
        "9})",
        "addOut({id = 0, name = \"a\", resources = 9, raceID = 2, raceName = \"r\", startPos = 1, alpha = 2, zeta = "
        "1})"},
    {"nested tables", "addOut({{1, {2}}; n = {m = {3}}})", "addOut({{1, {2}}; n = {m = {3}}})"},
    {"functions in tables are left out", "addOut({1, f = print}, print)", "addOut({1}, nil)"},
    // game functions and the script's own
    {"a helper of the script", "function h(x) addOut(x * 2) end h(4)", "addOut(8)"},
    {"the script's own function of a game name",
        "function addOut(x) addOther(x + 1) end addOut(1) local y = 2 addOut(y)", "addOther(2); addOther(3)"},
    {"a game function assigned to another name", "addMine = addOther addMine(1)", "addOther(1)"},
    {"an undefined global reads as nil", "addOut(undefinedThing, type(undefinedThing))", "addOut(nil, \"nil\")"},
    {"game functions outside the list", "setSomethingNew(1) fogSetAnything(2) createThing(3) loadStuff(4)",
        "setSomethingNew(1); fogSetAnything(2); createThing(3); loadStuff(4)"},
    {"a game function read as a value", "if addOut then addOut(1) end local f = setOther f(2)",
        "addOut(1); setOther(2)"},
    {"game calls return nil", "addOut(addOther(1))", "addOther(1); addOut(nil)"},
    {"literal calls with nil and negative numbers", "addOut(nil, - -3, -0.5, {-1})", "addOut(nil, 3, -0.5, {-1})"},
};

class Language : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(Language, RecordsTheCalls)
{
    const LanguageCase& c = GetParam();
    for (const bool literal : {true, false}) {
        ScriptOptions options;
        options.readLiteralCalls = literal;
        const ScriptRun run = runScript(c.script, options);
        EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
        EXPECT_EQ(run.sink.callsText(), c.calls)
            << (literal ? "" : "(every call evaluated by Lua) ") << run.sink.problemsText();
    }
}

INSTANTIATE_TEST_SUITE_P(Script, Language, ::testing::ValuesIn(languageCases), CaseName());

struct SyntaxCase {
    const char* name;
    const char* script;
    qint64 line;
    const char* message; // part of the error
};

// What Lua 4.0 refuses to read stops the whole file, with the line.
const SyntaxCase syntaxCases[] = {
    {"hex numerals", "x = 1\naddOut(0x10)", 2, "')' expected"},
    {"malformed exponent", "x = 1e", 1, "malformed number"},
    {"decimal point and concatenation", "x = 1..2", 1, "ambiguous syntax"},
    {"unfinished string", "x = 1\nx = \"abc\ny = 2", 2, "unfinished string"},
    {"unfinished long string", "x = [[abc\n\n", 3, "unfinished long string"},
    {"escape too large", "x = \"\\300\"", 1, "escape sequence too large"},
    // Lua 4.0 takes neither a form feed nor a vertical tab as a blank (Lua 5 does).
    {"form feed", "x = 1\n\f y = 2", 2, "invalid control char near '<\\12>'"},
    {"vertical tab", "x = {1,\v 2}", 1, "invalid control char near '<\\11>'"},
    {"another control character", "x = 1\x01", 1, "invalid control char"},
    {"outer local without %", "function f()\n local x = 1\n return function() return x end\nend", 3,
        "cannot access a variable in outer scope"},
    {"% in the main chunk", "x = %y", 1, "cannot access upvalue in main"},
    {"% of the current function's local", "function f() local x = 1 return %x end", 1, "upvalue must be global"},
    {"local function", "local function f() end", 1, "<name> expected"},
    {"operators Lua 4 lacks", "x = #t", 1, "unexpected symbol"},
    {"modulo", "x = 5 % 2", 1, "<name> expected near '2'"},
    {"for in with one name", "for k in t do end", 1, "'=' or ',' expected"},
    {"missing end", "function f()\n  x = 1\n", 3, "'end' expected (to close 'function' at line 1)"},
    {"assigning to a call", "f() = 1", 1, "unexpected symbol near '='"},
    {"assigning to an upvalue", "function f() %x = 1 end", 1, "syntax error"},
    {"assigning to a parenthesised name", "(x) = 1", 1, "syntax error"},
    {"too deep",
        "x = "
        "(((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((("
        "((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((1))))",
        1, "too many syntax levels"},
};

class Syntax : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(Syntax, StopsTheFileWithItsLine)
{
    const SyntaxCase& c = GetParam();
    const ScriptRun run = runScript(c.script);
    EXPECT_FALSE(run.result.ok);
    EXPECT_EQ(run.result.errorLine, c.line) << run.result.error.toStdString();
    EXPECT_TRUE(run.result.error.contains(QLatin1String(c.message))) << run.result.error.toStdString();
    EXPECT_TRUE(run.sink.calls.empty());
    ASSERT_EQ(run.sink.problems.size(), 1u);
    EXPECT_EQ(run.sink.problems[0].first, c.line);
}

INSTANTIATE_TEST_SUITE_P(Script, Syntax, ::testing::ValuesIn(syntaxCases), CaseName());

TEST(Script, LinesStayTheSourceLines)
{
    const ScriptRun run = runScript("--[[ comment\naddOut(1, [[a\nb]], \"c\\\nd\")\naddOut(2,\n  {3,\n   4})\n"
                                    "local x = 1\n\naddOut(x,\nx)\nfunction f() error(\"boom\") end\nf()\n");
    ASSERT_EQ(run.sink.calls.size(), 3u);
    EXPECT_EQ(run.sink.calls[0].line, 2);
    EXPECT_EQ(run.sink.calls[1].line, 5);
    EXPECT_EQ(run.sink.calls[2].line, 10);
    EXPECT_EQ(run.result.errorLine, 12);
    EXPECT_EQ(run.result.error.toStdString(), "The script stopped: boom");
}

TEST(Script, EveryLocalLua4AllowsInTheMainChunk)
{
    QByteArray script;
    for (int i = 0; i < 199; ++i)
        script += "local v" + QByteArray::number(i) + " = " + QByteArray::number(i) + "\n";
    script += "addOut(v0 + v198)\nreturn 1";
    const ScriptRun run = runScript(script);
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
    EXPECT_EQ(run.sink.callsText(), "addOut(198)");
}

TEST(Script, LimitsOfLua54AreReportedWithTheirLine)
{
    QByteArray script = "x = 1\n";
    for (int i = 0; i < 210; ++i)
        script += "local v" + QByteArray::number(i) + " = " + QByteArray::number(i) + "\n";
    const ScriptRun run = runScript(script);
    EXPECT_FALSE(run.result.ok);
    EXPECT_TRUE(run.result.error.contains(QLatin1String("too many local variables"))) << run.result.error.toStdString();
    EXPECT_GT(run.result.errorLine, 200);
}

const char* const undefinedCalls = "x = 1\nfor i = 1, 3 do y = helper(i) end\naddOut(y)\naddnothing(1)\ntrue(2)";

TEST(Script, UndefinedFunctionsReturnNil)
{
    const ScriptRun run = runScript(undefinedCalls);
    EXPECT_TRUE(run.result.ok);
    EXPECT_EQ(run.sink.callsText(), "addOut(nil)");
}

TEST(Script, UndefinedFunctionsAreNamedOnce)
{
    const ScriptRun run = runScript(undefinedCalls);
    ASSERT_EQ(run.sink.problems.size(), 3u) << run.sink.problemsText();
    EXPECT_EQ(run.sink.problems[0].first, 2);
    EXPECT_TRUE(run.sink.problems[0].second.contains(QLatin1String("\"helper\" is not defined")));
    EXPECT_TRUE(run.sink.problems[1].second.contains(QLatin1String("\"addnothing\"")));
    EXPECT_TRUE(run.sink.problems[2].second.contains(QLatin1String("\"true\"")));
}

TEST(Script, MessagesUseTheScriptsNames)
{
    const ScriptRun run = runScript("true.x = 1");
    EXPECT_FALSE(run.result.ok);
    EXPECT_TRUE(run.result.error.contains(QLatin1String("global 'true'"))) << run.result.error.toStdString();
}

} // namespace
