#include "LevelScript.h"

#include "levelfile/LevelBuilder.h"
#include "levelfile/SafeFile.h"

#include <QFile>

#include <algorithm>

namespace starloom {

void RecordedScript::call(const LevelCall& call)
{
    m_events.push_back({Event::Kind::Call, call, {}, {}, call.line});
}

void RecordedScript::takeCall(LevelCall&& call)
{
    const qint64 line = call.line;
    m_events.push_back({Event::Kind::Call, std::move(call), {}, {}, line});
}

void RecordedScript::global(std::string_view name, const LuaValue& value, qint64 line)
{
    Event e{Event::Kind::Global, {}, value, {}, line};
    e.call.name = std::string(name);
    m_events.push_back(std::move(e));
}

void RecordedScript::problem(qint64 line, const QString& reason)
{
    m_events.push_back({Event::Kind::Problem, {}, {}, reason, line});
}

void RecordedScript::stopped(qint64 line, const QString& reason)
{
    m_events.push_back({Event::Kind::Stopped, {}, {}, reason, line});
}

void RecordedScript::replay(ReadSink& sink) const
{
    for (const Event& e : m_events) {
        switch (e.kind) {
        case Event::Kind::Call:
            sink.call(e.call);
            break;
        case Event::Kind::Global:
            sink.global(e.call.name, e.value, e.line);
            break;
        case Event::Kind::Problem:
            sink.problem(e.line, e.reason);
            break;
        case Event::Kind::Stopped:
            sink.stopped(e.line, e.reason);
            break;
        }
    }
}

bool RecordedScript::builtAnything() const
{
    return std::any_of(m_events.begin(), m_events.end(),
        [](const Event& e) { return e.kind == Event::Kind::Call || e.kind == Event::Kind::Global; });
}

RecordedScript recordLevelScript(const QByteArray& source, const QString& fileName, const ScriptOptions& options)
{
    RecordedScript recorded;
    recorded.result = runLevelScript(source, fileName, recorded, options);
    return recorded;
}

ScriptRead buildRecordedScript(const RecordedScript& recorded, Level& level, ModelLists& models)
{
    LevelBuilder builder(level, models);
    recorded.replay(builder); // the error that stopped a part of the script is among its problems
    return {builder.finish(), recorded.result};
}

std::optional<ScriptRead> runLevelFile(
    const QString& path, Level& level, ModelLists& models, const ScriptOptions& options, QString* error)
{
    QFile file;
    if (const QString reason = openForReading(path, file); !reason.isEmpty()) {
        if (error)
            *error = QStringLiteral("Cannot open %1: %2").arg(path, reason);
        return std::nullopt;
    }
    const QByteArray source = file.readAll();
    return buildRecordedScript(recordLevelScript(source, path, options), level, models);
}

QString randomLayoutMessage(qint64 randomCalls)
{
    return QStringLiteral("The script called random %1 times: what you see is one of many layouts it can build. "
                          "The game builds its own each time the level starts.")
        .arg(randomCalls);
}

} // namespace starloom
