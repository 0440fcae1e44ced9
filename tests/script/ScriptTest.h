#pragma once

// Running small level scripts in tests: a sink that keeps what the runner reports.

#include "script/ScriptRunner.h"

#include "TestSupport.h"

#include <cctype>
#include <string>
#include <utility>
#include <vector>

namespace starloom::test {

struct Recorded final : ReadSink {
    std::vector<LevelCall> calls;
    std::vector<std::pair<std::string, LuaValue>> globals;
    std::vector<std::pair<qint64, QString>> problems;

    void call(const LevelCall& c) override { calls.push_back(c); }
    void global(std::string_view name, const LuaValue& value, qint64) override
    {
        globals.emplace_back(std::string(name), value);
    }
    void problem(qint64 line, const QString& reason) override { problems.emplace_back(line, reason); }

    // "name(arg, ...)" of each call, joined by "; ".
    std::string callsText() const;
    std::string problemsText() const;
    bool hasProblem(const char* part) const;
    const LuaValue* globalValue(std::string_view name) const;
    int count(std::string_view name) const;
};

struct ScriptRun {
    Recorded sink;
    ScriptResult result;
};

ScriptRun runScript(const QByteArray& script, const ScriptOptions& options = {},
    const QString& fileName = QStringLiteral("test.level"));

// Options that end a runaway script quickly.
ScriptOptions smallLimits();

// The name of a parameterised test made of its case's `name`: letters and digits kept, the rest '_'.
struct CaseName {
    template <class Info> std::string operator()(const Info& info) const
    {
        std::string name;
        for (const char* p = info.param.name; *p != '\0'; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    }
};

} // namespace starloom::test
