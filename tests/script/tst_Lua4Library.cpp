// Lua 4's library as level scripts use it: one small script per function, with the calls it must
// record.

#include "ScriptTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QThread>

using namespace starloom;
using namespace starloom::test;

namespace {

struct LibraryCase {
    const char* name;
    const char* script;
    const char* calls;
};

const LibraryCase libraryCases[] = {
    // tables
    {"getn of a list", "addOut(getn({1, 2, 3}), getn({}))", "addOut(3, 0)"},
    {"getn takes n", "addOut(getn({1, 2, n = 5}))", "addOut(5)"},
    {"getn takes the largest number key", "addOut(getn({[10] = 1, [2.5] = 1, [-3] = 1, x = 1}))", "addOut(10)"},
    {"tinsert appends and sets n", "t = {1, 2} tinsert(t, 3) tinsert(t, 1, 0) addOut(t)",
        "addOut({0, 1, 2, 3; n = 4})"},
    {"tremove", "t = {1, 2, 3} x = tremove(t) y = tremove(t, 1) addOut(x, y, t, tremove({}))",
        "addOut(3, 1, {2; n = 1})"},
    {"foreach visits in order and stops on a result",
        "t = {b = 2, a = 1, 5} foreach(t, function(k, v) addOut(k, v) end) addOut(foreach(t, function(k, v) if v == 1 "
        "then return k end end))",
        "addOut(1, 5); addOut(\"a\", 1); addOut(\"b\", 2); addOut(\"a\")"},
    {"foreachi", "foreachi({7, 8}, function(i, v) addOut(i, v) end)", "addOut(1, 7); addOut(2, 8)"},
    {"sort numbers and strings", "t = {5, 3, 9, 1, 7} sort(t) s = {\"b\", \"c\", \"a\"} sort(s) addOut(t, s)",
        "addOut({1, 3, 5, 7, 9}, {\"a\", \"b\", \"c\"})"},
    {"sort with an order", "t = {5, 3, 9, 1} sort(t, function(a, b) return a > b end) addOut(t)",
        "addOut({9, 5, 3, 1})"},
    {"sort of many",
        "t = {} for i = 1, 200 do t[i] = mod(i * 37, 101) end sort(t) ok = 1 for i = 2, 200 do if t[i - 1] > t[i] then "
        "ok = nil end end addOut(ok, t[1], t[200])",
        "addOut(1, 0, 100)"},
    {"next", "addOut(next({}), next({7}))", "addOut(nil, 1, 7)"},
    // strings
    {"strlen", "addOut(strlen(\"abc\"), strlen(\"\"), strlen(12.5))", "addOut(3, 0, 4)"},
    {"strsub",
        "s = \"hello\" addOut(strsub(s, 2), strsub(s, 2, -2), strsub(s, -3, -1), strsub(s, 0, 2), strsub(s, 4, 2))",
        "addOut(\"ello\", \"ell\", \"llo\", \"he\", \"\")"},
    {"strupper and strlower", "addOut(strupper(\"aBc1\"), strlower(\"AbC\\200\"))", "addOut(\"ABC1\", \"abc\xC8\")"},
    {"strrep", "addOut(strrep(\"ab\", 3), strrep(\"x\", 0), strrep(\"x\", -1))", "addOut(\"ababab\", \"\", \"\")"},
    {"strbyte and strchar", "addOut(strbyte(\"A\"), strbyte(\"abc\", 2), strbyte(\"abc\", -1), strchar(72, 105))",
        "addOut(65, 98, 99, \"Hi\")"},
    {"format integers", "addOut(format(\"%d|%3d|%-3d|%03d|%+d|%i\", 2.5, 7, 7, 7, 7, -2.9))",
        "addOut(\"2|  7|7  |007|+7|-2\")"},
    {"format other integers", "addOut(format(\"%x|%X|%o|%u|%c\", 255, 255, 8, 3, 65))", "addOut(\"ff|FF|10|3|A\")"},
    {"format floats",
        "addOut(format(\"%.2f|%5.1f|%-6.1f|%06.2f|%+.1f|%e|%g|%g|%G\", 3.14159, 2.25, 1, -1.5, 2, 12345, 0.1, 1e20, "
        "1e-10))",
        "addOut(\"3.14|  2.2|1.0   |-01.50|+2.0|1.234500e+04|0.1|1e+20|1E-10\")"},
    {"format strings", "addOut(format(\"%s|%5s|%-5s|%.2s|%s\", \"ab\", \"ab\", \"ab\", \"abc\", 1.5))",
        "addOut(\"ab|   ab|ab   |ab|1.5\")"},
    {"format quotes and percent", "addOut(format(\"%q|%%\", \"a\\\"b\\n\"))",
        "addOut(\"\\\"a\\\\\\\"b\\\\\\n\\\"|%\")"},
    {"format argument positions", "addOut(format(\"%2$s %1$s\", \"a\", \"b\"))", "addOut(\"b a\")"},
    {"strfind plain and patterns",
        "s = \"hello world\" addOut(strfind(s, \"o w\")) addOut(strfind(s, \"(l+)(o)\")) addOut(strfind(s, \"^w\"), "
        "strfind(s, \"o\", 6))",
        "addOut(5, 7); addOut(3, 5, \"ll\", \"o\"); addOut(nil, 8, 8)"},
    {"strfind with special characters kept plain",
        "addOut(strfind(\"a.b\", \".\", 1, 1)) addOut(strfind(\"a+b\", \"+\", 1, nil))", "addOut(2, 2); addOut(2, 2)"},
    {"patterns: classes, sets, balance, back references",
        "addOut(strfind(\"x = 42;\", \"%d+\")) addOut(strfind(\"ab12\", \"[%a]+\")) addOut(strfind(\"f(a(b)c)\", "
        "\"%b()\")) "
        "addOut(strfind(\"abcabc\", \"(abc)%1\")) addOut(strfind(\"a-b\", \"[^%a]\"), strfind(\"x9\", \"[0-9]\"))",
        "addOut(5, 6); addOut(1, 2); addOut(2, 8); addOut(1, 6, \"abc\"); addOut(2, 2, 2)"},
    {"patterns: lazy, optional, anchors, positions",
        "addOut(strfind(\"<a><b>\", \"<.->\")) addOut(strfind(\"color colour\", \"colou?r$\")) addOut(strfind(\"abc\", "
        "\"()b()\"))",
        "addOut(1, 3); addOut(7, 12); addOut(2, 2, 2, 3)"},
    {"gsub with captures", "addOut(gsub(\"hello world\", \"(%w+)\", \"<%1>\"))", "addOut(\"<hello> <world>\", 2)"},
    {"gsub with a function", "addOut(gsub(\"a1b2\", \"(%d)\", function(d) return d * 2 end))", "addOut(\"a2b4\", 2)"},
    {"gsub gives a function no value for a pattern without captures",
        "addOut(gsub(\"a1b2\", \"%d\", function(d) if d then return d else return \"x\" end end))",
        "addOut(\"axbx\", 2)"},
    {"gsub removes matches a function gives nothing for", "addOut(gsub(\"a1b2\", \"%d\", function(d) end))",
        "addOut(\"ab\", 2)"},
    {"gsub limited, anchored, with percent signs",
        "addOut(gsub(\"aaa\", \"a\", \"b\", 2)) addOut(gsub(\"aaa\", \"^a\", \"%x\"))",
        "addOut(\"bba\", 2); addOut(\"%xaa\", 1)"},
    // numbers
    {"abs ceil floor sqrt", "addOut(abs(-2), ceil(1.2), floor(-1.2), sqrt(16))", "addOut(2, 2, -2, 4)"},
    {"mod is fmod", "addOut(mod(7, 3), mod(-7, 3), mod(7.5, 2))", "addOut(1, -1, 1.5)"},
    {"min and max", "addOut(min(3, 1, 2), max(3, 1, 2), max(\"5\", 4))", "addOut(1, 3, 5)"},
    {"exp and logs", "addOut(exp(0), log(1), log10(1000))", "addOut(1, 0, 3)"},
    {"trigonometry in degrees",
        "addOut(sin(90), cos(180), floor(tan(45) * 1e6 + 0.5) / 1e6, asin(1), acos(0), atan(1), atan2(1, 1), atan2(1, "
        "-1))",
        "addOut(1, -1, 1, 90, 90, 45, 45, 135)"},
    {"deg rad PI", "addOut(deg(PI), rad(180) == PI, floor(PI * 1000))", "addOut(180, 1, 3141)"},
    {"frexp and ldexp", "addOut(ldexp(0.5, 4), frexp(8))", "addOut(8, 0.5, 4)"},
    // base
    {"dostring runs its text", "x = dostring(\"y = 5 return y + 1\") addOut(x, y)", "addOut(6, 5)"},
    {"dostring of a syntax error gives nil", "addOut(dostring(\"x = = 1\"))", "addOut(nil, \"syntax error\")"},
    {"dostring of a run-time error gives nil", "addOut(dostring(\"error('x')\"))", "addOut(nil, \"run-time error\")"},
    {"tostring",
        "addOut(tostring(3.0), tostring(0.1), tostring(1e15), tostring(1e16), tostring(-0.5), tostring(nil), "
        "tostring(\"s\"))",
        "addOut(\"3\", \"0.1\", \"1000000000000000\", \"1e+16\", \"-0.5\", \"nil\", \"s\")"},
    {"tostring of a table", "addOut(strsub(tostring({}), 1, 7), strsub(tostring(print), 1, 10))",
        "addOut(\"table: \", \"function: \")"},
    {"tonumber",
        "addOut(tonumber(\" 12 \"), tonumber(\"1e2\"), tonumber(\"0x10\"), tonumber(\"abc\"), tonumber(\"\"), "
        "tonumber(\"inf\"), tonumber(5))",
        "addOut(12, 100, nil, nil, nil, nil, 5)"},
    {"tonumber with a base",
        "addOut(tonumber(\"ff\", 16), tonumber(\"z\", 36), tonumber(\"102\", 2), tonumber(\" 11 \", 2))",
        "addOut(255, 35, nil, 3)"},
    {"type", "addOut(type(1), type(\"\"), type({}), type(print), type(nil), type(1 < 2))",
        "addOut(\"number\", \"string\", \"table\", \"function\", \"nil\", \"number\")"},
    {"getglobal and setglobal",
        "setglobal(\"g\", 5) setglobal(\"true\", 6) addOut(getglobal(\"g\"), true, getglobal(\"true\"))",
        "addOut(5, 6, 6)"},
    {"rawget rawset globals", "t = {} rawset(t, \"a\", 1) addOut(rawget(t, \"a\"), globals().t == t)", "addOut(1, 1)"},
    {"call", "function f(a, b) return a + b, a * b end addOut(call(f, {2, 3}))", "addOut(5, 6)"},
    {"call catches with x", "addOut(call(function() error(\"no\") end, {}, \"x\"))", "addOut(nil)"},
    {"assert passes", "assert(1, \"fine\") addOut(1)", "addOut(1)"},
    {"_VERSION", "addOut(_VERSION)", "addOut(\"Lua 4.0\")"},
};

class Library : public ::testing::TestWithParam<LibraryCase> {};

TEST_P(Library, RecordsTheCalls)
{
    const LibraryCase& c = GetParam();
    const ScriptRun run = runScript(c.script);
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
    EXPECT_EQ(run.sink.callsText(), c.calls) << run.sink.problemsText();
}

INSTANTIATE_TEST_SUITE_P(Script, Library, ::testing::ValuesIn(libraryCases), CaseName());

struct ErrorCase {
    const char* name;
    const char* script;
    const char* message; // part of the error that stops the chunk
};

const ErrorCase errorCases[] = {
    {"error", "error(\"my message\")", "The script stopped: my message"},
    {"assert", "assert(nil, \"my check\")", "assertion failed!  my check"},
    {"bad argument", "x = strrep(\"x\")", "bad argument #2 to 'strrep' (number expected, got no value)"},
    {"not a number", "x = sin(\"abc\")", "number expected, got string"},
    {"random interval", "x = random(5, 1)", "interval is empty"},
    {"strbyte out of range", "x = strbyte(\"abc\", 5)", "out of range"},
    {"strchar invalid", "x = strchar(300)", "invalid value"},
    {"format option", "x = format(\"%y\", 1)", "invalid option in 'format'"},
    {"format width", "x = format(\"%100d\", 1)", "invalid format"},
    {"pattern", "x = strfind(\"a\", \"[a\")", "malformed pattern"},
    {"concatenating nil", "x = \"a\" .. nil", "attempt to concatenate a nil value"},
    {"arithmetic on a string", "x = \"a\" + 1", "attempt to perform arithmetic on a string value"},
    {"traversing nil", "for k, v in nil do end", "'for' needs a table"},
    {"calling a field that is nil", "t = {} t.f()", "attempt to call a nil value (field 'f')"},
    {"string methods do not exist", "x = (\"abc\"):len()", "attempt to index a string value"},
    {"invalid order function", "t = {} for i = 1, 50 do t[i] = mod(i * 7, 13) end sort(t, function(a, b) return 1 end)",
        "invalid order function for sorting"},
};

class LibraryError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LibraryError, StopsTheChunkWithAMessage)
{
    const ErrorCase& c = GetParam();
    const ScriptRun run = runScript(QByteArray("addOut(0)\n") + c.script + "\naddOut(1)");
    EXPECT_FALSE(run.result.ok);
    EXPECT_TRUE(run.result.error.contains(QLatin1String(c.message))) << run.result.error.toStdString();
    EXPECT_EQ(run.result.errorLine, 2);
    EXPECT_EQ(run.sink.callsText(), "addOut(0)");
}

INSTANTIATE_TEST_SUITE_P(Script, LibraryError, ::testing::ValuesIn(errorCases), CaseName());

TEST(Script, PrintWritesProblems)
{
    const ScriptRun run = runScript("x = 1\nprint(\"a\", 1.5, nil, 2 < 1)\nfor i = 1, 150 do print(i) end");
    EXPECT_TRUE(run.result.ok);
    ASSERT_GE(run.sink.problems.size(), 2u);
    EXPECT_THAT(run.sink.problems[0], testing::Pair(2, QStringLiteral("print: a\t1.5\tnil\tnil")));
    EXPECT_EQ(run.sink.problems.size(), 101u); // 100 lines, then one that says the rest is left out
}

TEST(Script, CallCaughtErrorsAreProblems)
{
    const ScriptRun run = runScript("x = call(function() error(\"inner\") end, {}, \"x\")\naddOut(x)");
    EXPECT_TRUE(run.result.ok);
    EXPECT_EQ(run.sink.callsText(), "addOut(nil)");
    EXPECT_TRUE(run.sink.hasProblem("inner"));
}

TEST(Script, NumbersAreWrittenTheSameInEveryLocale)
{
    // The runner formats and compares in the C locale, whatever the program's locale is.
    const char* old = setlocale(LC_ALL, nullptr);
    const std::string saved = old != nullptr ? old : "C";
    const bool german = setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const ScriptRun run = runScript("addOut(format(\"%.1f\", 0.5), \"\" .. 0.25, tonumber(\"0.5\"), \"a\" < \"B\")");
    setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(run.sink.callsText(), "addOut(\"0.5\", \"0.25\", 0.5, nil)")
        << (german ? "" : "(no German locale installed)");
}

} // namespace
