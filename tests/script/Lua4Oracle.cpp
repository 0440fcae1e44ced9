#include "Lua4Oracle.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

namespace starloom::test {

namespace {

#ifdef STARLOOM_ORACLE_BUILD
const QString oracleBuild = QStringLiteral(STARLOOM_ORACLE_BUILD);
const QString oracleScript = QStringLiteral(STARLOOM_ORACLE_SCRIPT);
#else
const QString oracleBuild;
const QString oracleScript;
#endif

QString lua40()
{
    return oracleBuild + QStringLiteral("/lua40");
}

// record-level.lua's forms: whole numbers (below 2^53) without a fraction, others with %.6g;
// strings quoted with \" \\ \n and other control bytes as \ddd; tables as their list part.
std::string numberText(double v)
{
    char buffer[64];
    if (v == std::floor(v) && std::fabs(v) < 9007199254740992.0)
        std::snprintf(buffer, sizeof buffer, "%.0f", v);
    else
        std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return buffer;
}

std::string quoted(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (u < 32 || u == 127) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\%03d", u);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string valueText(const LuaValue* v)
{
    if (v == nullptr || v->isNil())
        return "nil";
    switch (v->type) {
    case LuaValue::Type::Number:
        return numberText(v->number);
    case LuaValue::Type::String:
        return quoted(v->text);
    case LuaValue::Type::Table: {
        std::string out = "{";
        for (std::size_t i = 0; i < v->items.size(); ++i) {
            if (i > 0)
                out += ',';
            out += valueText(&v->items[i]);
        }
        return out + "}";
    }
    case LuaValue::Type::Nil:
        break;
    }
    return "nil";
}

QString line(const std::string& s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

QString firstDifference(const char* what, const QStringList& lua4, const QStringList& sandbox)
{
    for (qsizetype i = 0; i < std::max(lua4.size(), sandbox.size()); ++i) {
        const QString a = i < lua4.size() ? lua4[i] : QStringLiteral("(nothing)");
        const QString b = i < sandbox.size() ? sandbox[i] : QStringLiteral("(nothing)");
        if (a != b)
            return QStringLiteral("%1 line %2 of %3/%4: Lua 4.0 %5 | sandbox %6\n")
                .arg(QLatin1String(what))
                .arg(i + 1)
                .arg(lua4.size())
                .arg(sandbox.size())
                .arg(a.left(200), b.left(200));
    }
    return {};
}

} // namespace

QString oracleMissing()
{
    if (oracleBuild.isEmpty())
        return QStringLiteral("no Lua 4.0 oracle (../shared/oracle) beside the checkout when it was configured");
    if (!QFileInfo::exists(lua40()) || !QFileInfo::exists(oracleScript))
        return QStringLiteral("the Lua 4.0 oracle was not built in %1").arg(oracleBuild);
    if (const QString compiler = compilerMissing(); !compiler.isEmpty())
        return compiler;
    return {};
}

LevelRecord oracleRecord(const QString& level, std::uint32_t seed)
{
    LevelRecord record;
    QProcess lua;
    lua.start(lua40(), {QStringLiteral("LEVEL=") + level, QStringLiteral("SEED=%1").arg(seed), oracleScript});
    if (!lua.waitForFinished(120000)) {
        record.stoppedIn = QStringLiteral("load");
        record.error = QStringLiteral("lua40 did not finish");
        return record;
    }
    const QStringList out = QString::fromLatin1(lua.readAllStandardOutput()).split(QLatin1Char('\n'));
    QStringList* calls = nullptr;
    for (const QString& l : out) {
        if (l == QLatin1String("== DetermChunk")) {
            record.determ.emplace();
            calls = &*record.determ;
        } else if (l == QLatin1String("== NonDetermChunk")) {
            record.nonDeterm.emplace();
            calls = &*record.nonDeterm;
        } else if (calls != nullptr) {
            if (!l.isEmpty())
                calls->push_back(l);
        } else if (!l.isEmpty()) {
            record.globals.push_back(l);
        }
    }
    for (const QString& l : QString::fromLatin1(lua.readAllStandardError()).split(QLatin1Char('\n'))) {
        static const QRegularExpression stop(QStringLiteral("^LUA4-(LOAD|RUN (\\w+)): (.*)$"));
        const QRegularExpressionMatch m = stop.match(l);
        if (m.hasMatch()) {
            record.stoppedIn = m.captured(2).isEmpty() ? QStringLiteral("load") : m.captured(2);
            record.error = m.captured(3);
        }
    }
    return record;
}

LevelRecord sandboxRecord(const ScriptRun& run)
{
    LevelRecord record;
    const Recorded& sink = run.sink;
    record.globals << line("levelDesc=" + valueText(sink.globalValue("levelDesc")))
                   << line("maxPlayers=" + valueText(sink.globalValue("maxPlayers")));
    if (const LuaValue* players = sink.globalValue("player"); players != nullptr && players->isTable()) {
        for (int i = 0; i <= 15; ++i) {
            const LuaValue* p = players->at(i);
            if (p == nullptr || !p->isTable())
                continue;
            const LuaValue* race = p->field("raceID");
            if (race == nullptr || race->isNil())
                race = p->field("raceName");
            record.globals << line("player[" + std::to_string(i) + "] id=" + valueText(p->field("id"))
                + " name=" + valueText(p->field("name")) + " resources=" + valueText(p->field("resources"))
                + " race=" + valueText(race) + " startPos=" + valueText(p->field("startPos")));
        }
    }
    record.determ.emplace();
    record.nonDeterm.emplace();
    for (const LevelCall& c : sink.calls) {
        if (c.chunk == Chunk::Other)
            continue;
        std::string text = c.name + "(";
        for (std::size_t i = 0; i < c.args.size(); ++i) {
            if (i > 0)
                text += ',';
            text += valueText(&c.args[i]);
        }
        (c.chunk == Chunk::Determ ? *record.determ : *record.nonDeterm) << line(text + ")");
    }
    if (!run.result.error.isEmpty()) {
        record.stoppedIn = QStringLiteral("?");
        record.error = run.result.error;
    }
    return record;
}

ScriptRun runWithOracleRandom(const QByteArray& level, const QString& fileName, std::uint32_t seed)
{
    ScriptOptions options;
    options.oracleRandomSeed = seed;
    return runScript(level, options, fileName);
}

QString recordDifference(const LevelRecord& lua4, const LevelRecord& sandbox, const ScriptRun& run)
{
    if (lua4.stoppedIn == QLatin1String("load"))
        return sandbox.error.isEmpty()
            ? QStringLiteral("Lua 4.0 could not run it (%1); the sandbox did").arg(lua4.error)
            : QString();
    QString difference = firstDifference("globals", lua4.globals, sandbox.globals);
    const std::pair<const char*, std::pair<const std::optional<QStringList>*, const std::optional<QStringList>*>>
        chunks[] = {{"DetermChunk", {&lua4.determ, &sandbox.determ}},
            {"NonDetermChunk", {&lua4.nonDeterm, &sandbox.nonDeterm}}};
    for (const auto& [name, lists] : chunks) {
        if (lua4.stoppedIn == QLatin1String(name)) {
            // Lua 4.0 stopped here; the sandbox goes on past a missing function, which it names.
            // Another error must stop the part in the sandbox too.
            static const QRegularExpression called(QStringLiteral("attempt to call global `(\\w+)' \\(a nil value\\)"));
            const QRegularExpressionMatch m = called.match(lua4.error);
            const bool said = m.hasMatch()
                ? run.sink.hasProblem(('"' + m.captured(1) + "\" is not defined").toLatin1().constData())
                : run.sink.hasProblem((std::string(name) + " stopped").c_str());
            if (!said)
                difference += QStringLiteral("%1: Lua 4.0 stopped with %2; the sandbox did not\n")
                                  .arg(QLatin1String(name), lua4.error);
            break;
        }
        const QStringList none;
        difference += firstDifference(
            name, lists.first->has_value() ? **lists.first : none, lists.second->has_value() ? **lists.second : none);
    }
    if (lua4.stoppedIn.isEmpty() && !sandbox.error.isEmpty())
        difference += QStringLiteral("the sandbox stopped: %1\n").arg(sandbox.error);
    return difference;
}

} // namespace starloom::test
