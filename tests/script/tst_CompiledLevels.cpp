// Compiled levels (Lua 4.0 chunks in the game's format): what the loader refuses, and how the
// sandbox runs what it accepts, on chunks written by Lua4ChunkWriter.

#include "Lua4ChunkWriter.h"
#include "ScriptTest.h"

#include <gtest/gtest.h>

#include <functional>

using namespace starloom;
using namespace starloom::test;

namespace {

using O = Lua4Op;

// addPoint("StartPos0", {1, 2, -3}) on line 10, in the main function.
ChunkFunction pointChunk()
{
    ChunkFunction f;
    f.lineInfo = {-9, 0};
    f.strings = {std::string("addPoint"), std::string("StartPos0")};
    f.code = {opU(O::GetGlobal, 0), opU(O::PushString, 1), opU(O::CreateTable, 3), opS(O::PushInt, 1),
        opS(O::PushInt, 2), opS(O::PushInt, -3), opAB(O::SetList, 0, 3), opAB(O::Call, 0, 0), op(O::End)};
    return f;
}

ScriptRun runChunk(const QByteArray& bytes, const ScriptOptions& options = {})
{
    return runScript(bytes, options, QStringLiteral("compiled.level"));
}

TEST(CompiledLevel, RecordsItsCallsWithTheirLines)
{
    const ScriptRun run = runChunk(writeChunk(pointChunk()));
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
    EXPECT_EQ(run.sink.callsText(), "addPoint(\"StartPos0\", {1, 2, -3})");
    ASSERT_EQ(run.sink.calls.size(), 1u);
    EXPECT_EQ(run.sink.calls[0].line, 10);
    EXPECT_EQ(run.sink.calls[0].chunk, Chunk::Other);
}

TEST(CompiledLevel, ChunksOfEveryFormatReadAlike)
{
    for (const ChunkFormat format :
        {ChunkFormat{false, 4}, ChunkFormat{true, 4}, ChunkFormat{false, 8}, ChunkFormat{true, 8}}) {
        SCOPED_TRACE(std::to_string(format.bigEndian) + " " + std::to_string(format.sizeT));
        const ScriptRun run = runChunk(writeChunk(pointChunk(), format));
        EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
        EXPECT_EQ(run.sink.callsText(), "addPoint(\"StartPos0\", {1, 2, -3})");
    }
}

// The constant call is read by the runner, unless the script made the name its own.
TEST(CompiledLevel, AFunctionOfTheScriptsOwnIsCalled)
{
    ChunkFunction own;
    own.lineInfo = {0};
    own.strings = {std::string("addPebble"), std::string("own")};
    own.code = {opU(O::GetGlobal, 0), opU(O::PushString, 1), opAB(O::Call, 0, 0), op(O::End)};
    ChunkFunction main = pointChunk();
    main.functions = {own};
    // addPoint = function(...) addPebble("own") end, then the calls of pointChunk.
    main.code.insert(main.code.begin(), {opAB(O::Closure, 0, 0), opU(O::SetGlobal, 0)});
    main.lineInfo = {-9, 0};
    const ScriptRun run = runChunk(writeChunk(main));
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
    EXPECT_EQ(run.sink.callsText(), "addPebble(\"own\")");
}

TEST(CompiledLevel, AnEndlessLoopStopsAtTheStepLimit)
{
    ChunkFunction f;
    f.lineInfo = {-4, 0};
    f.code = {opS(O::Jump, -1), op(O::End)};
    const ScriptRun run = runChunk(writeChunk(f), smallLimits());
    EXPECT_FALSE(run.result.ok);
    EXPECT_TRUE(run.result.error.contains(QLatin1String("more than 5 million steps")))
        << run.result.error.toStdString();
    EXPECT_EQ(run.result.errorLine, 5);
}

TEST(CompiledLevel, ACancelStopsIt)
{
    ChunkFunction f;
    f.code = {opS(O::Jump, -1), op(O::End)};
    const std::atomic<bool> cancel{true};
    ScriptOptions options;
    options.cancel = &cancel;
    const ScriptRun run = runChunk(writeChunk(f), options);
    EXPECT_TRUE(run.result.cancelled);
    EXPECT_TRUE(run.sink.calls.empty());
}

// An undefined function is reported on the line of its call and does nothing, as in scripts.
TEST(CompiledLevel, AnUndefinedFunctionIsReportedWithItsLine)
{
    ChunkFunction f;
    f.lineInfo = {-2, 0, -3, 2};
    f.strings = {std::string("newseed")};
    f.code = {opS(O::PushInt, 1), opS(O::PushInt, 2), opU(O::GetGlobal, 0), opAB(O::Call, 2, 0), op(O::End)};
    const ScriptRun run = runChunk(writeChunk(f));
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
    EXPECT_EQ(run.sink.problemsText(),
        "7: \"newseed\" is not defined (a function of a missing include?); its calls do nothing\n");
}

// Included compiled files run as included text does: their calls take the line of the level's
// dofilepath, and what they define is the level's.
ScriptOptions includingPointChunk()
{
    ScriptOptions options;
    ChunkFunction lib = pointChunk();
    // addPoint("StartPos0", {1, 2, -3}), then: helper = function() addPebble("helper") end
    ChunkFunction helper;
    helper.lineInfo = {-19, 0};
    helper.strings = {std::string("addPebble"), std::string("helper")};
    helper.code = {opU(O::GetGlobal, 0), opU(O::PushString, 1), opAB(O::Call, 0, 0), op(O::End)};
    lib.functions = {helper};
    lib.strings.push_back(std::string("helper"));
    lib.code.pop_back();
    lib.code.insert(lib.code.end(), {opAB(O::Closure, 0, 0), opU(O::SetGlobal, 2), op(O::End)});
    const QByteArray bytes = writeChunk(lib);
    options.readInclude = [bytes](const QString& path, qint64, QString*) -> std::optional<QByteArray> {
        if (path == QLatin1String("data:lib/points.lua"))
            return bytes;
        return std::nullopt;
    };
    return options;
}

TEST(CompiledInclude, RunsFromATextLevelAtTheLineOfItsInclude)
{
    for (const bool literal : {true, false}) {
        ScriptOptions options = includingPointChunk();
        options.readLiteralCalls = literal;
        const ScriptRun run = runScript("\n\ndofilepath(\"data:lib/points.lua\")\n\nhelper()\n", options);
        EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
        EXPECT_EQ(run.sink.callsText(), "addPoint(\"StartPos0\", {1, 2, -3}); addPebble(\"helper\")");
        ASSERT_EQ(run.sink.calls.size(), 2u);
        EXPECT_EQ(run.sink.calls[0].line, 3) << literal;
        EXPECT_EQ(run.sink.calls[1].line, 5) << literal;
        EXPECT_EQ(run.sink.problemsText(), "");
    }
}

TEST(CompiledInclude, RunsFromACompiledLevelAtTheLineOfItsInclude)
{
    // Line 4: dofilepath("data:lib/points.lua"); line 6: helper()
    ChunkFunction level;
    level.lineInfo = {-3, 0, -1, 3};
    level.strings = {std::string("dofilepath"), std::string("data:lib/points.lua"), std::string("helper")};
    level.code = {opU(O::GetGlobal, 0), opU(O::PushString, 1), opAB(O::Call, 0, 0), opU(O::GetGlobal, 2),
        opAB(O::Call, 0, 0), op(O::End)};
    for (const bool literal : {true, false}) {
        ScriptOptions options = includingPointChunk();
        options.readLiteralCalls = literal;
        const ScriptRun run = runChunk(writeChunk(level), options);
        EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
        EXPECT_EQ(run.sink.callsText(), "addPoint(\"StartPos0\", {1, 2, -3}); addPebble(\"helper\")");
        ASSERT_EQ(run.sink.calls.size(), 2u);
        EXPECT_EQ(run.sink.calls[0].line, 4) << literal;
        EXPECT_EQ(run.sink.calls[1].line, 6) << literal;
    }
}

TEST(CompiledInclude, ItsMemoryCountsAgainstTheLimit)
{
    ScriptOptions options = includingPointChunk();
    const ScriptRun once = runScript("dofilepath(\"data:lib/points.lua\")\n", options);
    const ScriptRun many = runScript("for i = 1, 200 do dofilepath(\"data:lib/points.lua\") end\n", options);
    EXPECT_TRUE(many.result.ok) << many.result.error.toStdString();
    EXPECT_EQ(many.sink.calls.size(), 200u);
    // Each run of the file keeps its loaded functions for the rest of the run.
    EXPECT_GT(many.result.peakMemory, once.result.peakMemory + 100 * 200);
}

// addPoint("a", {x = 1, x = 2}, {nil}, nil): of two equal keys Lua 4.0 keeps the first, a nil
// entry is no entry, a nil argument is passed.
ChunkFunction constantTablesChunk()
{
    ChunkFunction f;
    f.lineInfo = {-2, 0};
    f.strings = {std::string("addPoint"), std::string("a"), std::string("x")};
    f.code = {opU(O::GetGlobal, 0), opU(O::PushString, 1), opU(O::CreateTable, 2), opU(O::PushString, 2),
        opS(O::PushInt, 1), opU(O::PushString, 2), opS(O::PushInt, 2), opU(O::SetMap, 2), opU(O::CreateTable, 1),
        opU(O::PushNil, 1), opAB(O::SetList, 0, 1), opU(O::PushNil, 1), opAB(O::Call, 0, 0), op(O::End)};
    return f;
}

TEST(CompiledLevel, ConstantCallsRecordWhatEvaluatingThemRecords)
{
    const QByteArray bytes = writeChunk(constantTablesChunk());
    ScriptOptions evaluated;
    evaluated.readLiteralCalls = false;
    const ScriptRun read = runChunk(bytes);
    const ScriptRun lua = runChunk(bytes, evaluated);
    EXPECT_EQ(read.sink.callsText(), "addPoint(\"a\", {x = 1}, {}, nil)");
    EXPECT_EQ(lua.sink.callsText(), read.sink.callsText());
    ASSERT_EQ(lua.sink.calls.size(), 1u);
    EXPECT_EQ(lua.sink.calls[0].line, 3);
    EXPECT_EQ(read.sink.calls[0].line, 3);
}

TEST(CompiledLevel, RecursionPastTheStackStopsWithAnError)
{
    ChunkFunction self;
    self.strings = {std::string("f")};
    self.code = {opU(O::GetGlobal, 0), opAB(O::Call, 0, 0), op(O::End)};
    ChunkFunction f;
    f.strings = {std::string("f")};
    f.functions = {self};
    f.code = {opAB(O::Closure, 0, 0), opU(O::SetGlobal, 0), opU(O::GetGlobal, 0), opAB(O::Call, 0, 0), op(O::End)};
    const ScriptRun run = runChunk(writeChunk(f));
    EXPECT_FALSE(run.result.ok);
    EXPECT_TRUE(run.result.error.contains(QLatin1String("stack overflow"))) << run.result.error.toStdString();
}

TEST(CompiledLevel, TheMemoryLimitStopsIt)
{
    // t = {} i = 0 while 1 do t[i] = {} i = i + 1 end
    ChunkFunction f;
    f.strings = {std::string("t")};
    f.code = {opU(O::CreateTable, 0), opU(O::SetGlobal, 0), opS(O::PushInt, 0), opU(O::GetGlobal, 0),
        opU(O::GetLocal, 0), opU(O::CreateTable, 0), opAB(O::SetTable, 3, 3), opU(O::GetLocal, 0), opS(O::AddInt, 1),
        opU(O::SetLocal, 0), opS(O::Jump, -8), op(O::End)};
    ScriptOptions options;
    options.memoryLimit = std::size_t{8} << 20;
    const ScriptRun run = runChunk(writeChunk(f), options);
    EXPECT_FALSE(run.result.ok);
    EXPECT_TRUE(run.result.error.contains(QLatin1String("more memory than the limit of 8 MB")))
        << run.result.error.toStdString();
}

// A hostile or broken chunk: the bytes and what the refusal must say.
struct HostileChunk {
    const char* name;
    std::function<QByteArray()> bytes;
    const char* says;
};

QByteArray withByte(QByteArray bytes, int at, int value)
{
    bytes[at] = static_cast<char>(value);
    return bytes;
}

// The offsets in pointChunk's bytes (little endian, 4-byte size_t): header 21 bytes, source
// "@test.lua" 4 + 10, line defined, parameters, vararg, stack size, locals, line information
// count and 3 entries, then the string constants' count.
constexpr int stringCountAt = 21 + 14 + 4 + 4 + 1 + 4 + 4 + 4 + 12;

QByteArray withInt(QByteArray bytes, int at, std::uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        bytes[at + k] = static_cast<char>((value >> (8 * k)) & 0xFFu);
    return bytes;
}

QByteArray withCode(std::vector<std::uint32_t> code, int maxStack = 8)
{
    ChunkFunction f = pointChunk();
    f.code = std::move(code);
    f.maxStack = maxStack;
    return writeChunk(f);
}

ChunkFunction nested(int depth)
{
    ChunkFunction f;
    f.code = {op(O::End)};
    if (depth > 0)
        f.functions = {nested(depth - 1)};
    return f;
}

const HostileChunk hostileChunks[] = {
    {"version_of_Lua_5", [] { return withByte(writeChunk(pointChunk()), 4, 0x51); }, "compiled for Lua 5.1"},
    {"byte_order_mark_2", [] { return withByte(writeChunk(pointChunk()), 5, 2); }, "byte order mark is 2"},
    {"int_of_8_bytes", [] { return withByte(writeChunk(pointChunk()), 6, 8); }, "an int is 8 bytes"},
    {"size_t_of_2_bytes", [] { return withByte(writeChunk(pointChunk()), 7, 2); }, "size_t is 2 bytes"},
    {"instructions_of_8_bytes", [] { return withByte(writeChunk(pointChunk()), 8, 8); }, "an instruction is 8 bytes"},
    {"instructions_of_16_bits", [] { return withByte(writeChunk(pointChunk()), 9, 16); }, "an instruction is 16 bits"},
    {"opcode_of_7_bits", [] { return withByte(writeChunk(pointChunk()), 10, 7); }, "number is 7 bits"},
    {"operand_B_of_8_bits", [] { return withByte(writeChunk(pointChunk()), 11, 8); }, "B operand is 8 bits"},
    {"numbers_of_4_bytes", [] { return withByte(writeChunk(pointChunk()), 12, 4); }, "a number is 4 bytes"},
    {"another_number_format", [] { return withByte(writeChunk(pointChunk()), 20, 0x3f); },
        "not in the expected format"},
    {"negative_count", [] { return withInt(writeChunk(pointChunk()), stringCountAt, 0xFFFFFFFFu); }, "negative count"},
    {"count_past_the_end", [] { return withInt(writeChunk(pointChunk()), stringCountAt, 100000); },
        "the file ends inside a function's string constants (it counts 100000 of them)"},
    {"string_past_the_end", [] { return withInt(writeChunk(pointChunk()), stringCountAt + 4, 0x7FFFFFFFu); },
        "the file ends inside a string constant (it is 2147483647 bytes long)"},
    {"bytes_after_the_chunk", [] { return writeChunk(pointChunk()) + "x"; },
        "goes on after the chunk's main function (1 more bytes)"},
    {"code_without_its_end", [] { return withCode({opS(O::PushInt, 1)}); }, "does not end"},
    {"unknown_instruction",
        [] {
            return withCode({63, op(O::End)});
        },
        "63 is not an instruction of Lua 4.0"},
    {"jump_outside_the_function",
        [] {
            return withCode({opS(O::Jump, 5), op(O::End)});
        },
        "jumps outside"},
    {"jump_before_the_function",
        [] {
            return withCode({opS(O::Jump, -3), op(O::End)});
        },
        "jumps outside"},
    {"string_constant_out_of_range",
        [] {
            return withCode({opU(O::PushString, 2), op(O::End)});
        },
        "string constant 2 does not exist"},
    {"missing_string_constant",
        [] {
            ChunkFunction f = pointChunk();
            f.strings[0].reset();
            return writeChunk(f);
        },
        "string constant 0 is missing"},
    {"number_constant_out_of_range",
        [] {
            return withCode({opU(O::PushNumber, 0), op(O::End)});
        },
        "number constant 0 does not exist"},
    {"function_constant_out_of_range",
        [] {
            return withCode({opAB(O::Closure, 0, 0), op(O::End)});
        },
        "function constant 0 does not exist"},
    {"closure_value_out_of_range",
        [] {
            ChunkFunction child;
            child.code = {opU(O::PushUpvalue, 2), op(O::End)};
            ChunkFunction f = pointChunk();
            f.functions = {child};
            f.code = {opS(O::PushInt, 1), opAB(O::Closure, 0, 1), op(O::End)};
            return writeChunk(f);
        },
        "reads 3 closure values, but it is given 1"},
    {"closure_value_of_the_main_function",
        [] {
            return withCode({opU(O::PushUpvalue, 0), op(O::End)});
        },
        "the main function reads closure values"},
    {"slot_out_of_range",
        [] {
            return withCode({opU(O::GetLocal, 5), op(O::End)});
        },
        "slot 5 is not on the stack"},
    {"set_slot_out_of_range",
        [] {
            return withCode({opS(O::PushInt, 1), opU(O::SetLocal, 0), op(O::End)});
        },
        "slot 0 is not on the stack"},
    {"values_taken_from_an_empty_stack",
        [] {
            return withCode({op(O::Add), op(O::End)});
        },
        "takes more values than the stack holds"},
    {"return_of_values_not_there",
        [] {
            return withCode({opU(O::Return, 3), op(O::End)});
        },
        "takes more values than the stack holds"},
    {"more_values_than_stack_slots",
        [] {
            return withCode({opU(O::PushNil, 3), op(O::End)}, 2);
        },
        "more than the 2 stack slots"},
    {"stack_differing_where_two_ways_meet",
        [] {
            return withCode({opU(O::PushNil, 1), opS(O::JumpIfTrue, 1), opS(O::PushInt, 5), op(O::End)});
        },
        "the stack differs between the ways that reach it"},
    {"all_results_taken_by_an_addition",
        [] {
            return withCode({opU(O::GetGlobal, 0), opAB(O::Call, 0, 255), op(O::Add), op(O::End)});
        },
        "cannot take the results of the call before it"},
    {"call_of_a_slot_not_there",
        [] {
            return withCode({opS(O::PushInt, 1), opAB(O::Call, 1, 0), op(O::End)});
        },
        "the function it calls is not on the stack"},
    {"parameters_beyond_the_stack",
        [] {
            ChunkFunction f = pointChunk();
            f.params = 9;
            return writeChunk(f);
        },
        "9 parameters and only 8 stack slots"},
    {"line_information_going_backwards",
        [] {
            ChunkFunction f = pointChunk();
            f.lineInfo = {5, 2};
            return writeChunk(f);
        },
        "line information of the main function goes backwards"},
    {"functions_nested_101_deep", [] { return writeChunk(nested(101)); }, "nested more than 100 deep"},
};

class HostileChunkFile : public testing::TestWithParam<HostileChunk> {};

TEST_P(HostileChunkFile, IsRefusedWithAMessageNamingTheFile)
{
    const ScriptRun run = runChunk(GetParam().bytes());
    EXPECT_FALSE(run.result.ok);
    EXPECT_TRUE(run.sink.calls.empty());
    const std::string error = run.result.error.toStdString();
    EXPECT_NE(error.find("The compiled level \"compiled.level\" cannot be run"), std::string::npos) << error;
    EXPECT_NE(error.find(GetParam().says), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(CompiledLevel, HostileChunkFile, testing::ValuesIn(hostileChunks),
    [](const testing::TestParamInfo<HostileChunk>& instance) { return std::string(instance.param.name); });

// The same file included by a level: a problem that names it, and the level goes on.
TEST_P(HostileChunkFile, IsRefusedAsAnIncludeWithAProblemNamingIt)
{
    const QByteArray include = GetParam().bytes();
    ScriptOptions options;
    options.readInclude = [include](const QString&, qint64, QString*) -> std::optional<QByteArray> { return include; };
    const ScriptRun run = runScript("dofilepath(\"data:lib/bad.lua\")\naddPebble(\"after\")\n", options);
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
    EXPECT_EQ(run.sink.callsText(), "addPebble(\"after\")");
    const std::string problems = run.sink.problemsText();
    EXPECT_NE(problems.find("1: The included file \"data:lib/bad.lua\" is compiled Lua that cannot be run: "),
        std::string::npos)
        << problems;
    EXPECT_NE(problems.find(GetParam().says), std::string::npos) << problems;
    EXPECT_NE(problems.find("the script goes on without it"), std::string::npos) << problems;
}

TEST(CompiledLevel, NestingOf100FunctionsIsAccepted)
{
    const ScriptRun run = runChunk(writeChunk(nested(100)));
    EXPECT_TRUE(run.result.ok) << run.result.error.toStdString();
}

TEST(CompiledLevel, EveryTruncationIsRefused)
{
    ChunkFunction f = pointChunk();
    f.numbers = {2.5};
    f.functions = {nested(2)};
    const QByteArray whole = writeChunk(f, {true, 8});
    for (qsizetype size = 4; size < whole.size(); ++size) {
        const ScriptRun run = runChunk(whole.left(size));
        EXPECT_TRUE(run.result.error.contains(QLatin1String("the file ends inside")))
            << size << ": " << run.result.error.toStdString();
    }
}

} // namespace
