#include "ScriptTest.h"

namespace starloom::test {

std::string Recorded::callsText() const
{
    std::string text;
    for (const LevelCall& c : calls) {
        if (!text.empty())
            text += "; ";
        text += c.name + "(";
        for (std::size_t i = 0; i < c.args.size(); ++i)
            text += (i > 0 ? ", " : "") + luaText(c.args[i]);
        text += ")";
    }
    return text;
}

std::string Recorded::problemsText() const
{
    std::string text;
    for (const auto& [line, reason] : problems)
        text += std::to_string(line) + ": " + reason.toStdString() + "\n";
    return text;
}

bool Recorded::hasProblem(const char* part) const
{
    for (const auto& p : problems) {
        if (p.second.contains(QLatin1String(part)))
            return true;
    }
    return false;
}

const LuaValue* Recorded::globalValue(std::string_view name) const
{
    for (const auto& [n, value] : globals) {
        if (n == name)
            return &value;
    }
    return nullptr;
}

int Recorded::count(std::string_view name) const
{
    int n = 0;
    for (const LevelCall& c : calls)
        n += c.name == name;
    return n;
}

ScriptRun runScript(const QByteArray& script, const ScriptOptions& options, const QString& fileName)
{
    ScriptRun run;
    run.result = runLevelScript(script, fileName, run.sink, options);
    return run;
}

ScriptOptions smallLimits()
{
    ScriptOptions options;
    options.memoryLimit = std::size_t{32} << 20;
    options.instructionLimit = 5'000'000;
    return options;
}

} // namespace starloom::test
