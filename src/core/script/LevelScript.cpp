#include "LevelScript.h"

#include "levelfile/LevelBuilder.h"
#include "levelfile/SafeFile.h"

#include <QFile>

#include <algorithm>

namespace starloom {

void RecordedScript::add(Kind kind, std::size_t index)
{
    m_events.push_back({kind, static_cast<std::uint32_t>(index)});
}

void RecordedScript::call(const LevelCall& call)
{
    add(Kind::Call, m_calls.size());
    m_calls.push_back(call);
}

void RecordedScript::takeCall(LevelCall&& call)
{
    add(Kind::Call, m_calls.size());
    m_calls.push_back(std::move(call));
}

void RecordedScript::keepLiteralCall(
    std::shared_ptr<const Lua4LiteralCalls> literals, std::uint32_t index, Chunk chunk, qint64 line)
{
    if (m_literals.empty() || m_literals.back() != literals)
        m_literals.push_back(std::move(literals));
    add(Kind::LiteralCall, m_literalCalls.size());
    m_literalCalls.push_back({m_literals.back().get(), index, chunk, line});
}

void RecordedScript::global(std::string_view name, const LuaValue& value, qint64 line)
{
    add(Kind::Global, m_notes.size());
    m_notes.push_back({std::string(name), value, {}, line});
}

void RecordedScript::problem(qint64 line, const QString& reason)
{
    add(Kind::Problem, m_notes.size());
    m_notes.push_back({{}, {}, reason, line});
}

void RecordedScript::stopped(qint64 line, const QString& reason)
{
    add(Kind::Stopped, m_notes.size());
    m_notes.push_back({{}, {}, reason, line});
}

void RecordedScript::replay(ReadSink& sink) const
{
    for (const Event& e : m_events) {
        switch (e.kind) {
        case Kind::Call:
            sink.call(m_calls[e.index]);
            break;
        case Kind::LiteralCall: {
            const LiteralCall& kept = m_literalCalls[e.index];
            const Lua4LiteralCall& literal = kept.literals->calls[kept.index];
            LevelCall call;
            call.name = literal.name;
            call.args = lua4LiteralArguments(kept.literals->data, literal);
            call.chunk = kept.chunk;
            call.line = kept.line;
            sink.takeCall(std::move(call));
            break;
        }
        case Kind::Global: {
            const Note& note = m_notes[e.index];
            sink.global(note.name, note.value, note.line);
            break;
        }
        case Kind::Problem:
            sink.problem(m_notes[e.index].line, m_notes[e.index].reason);
            break;
        case Kind::Stopped:
            sink.stopped(m_notes[e.index].line, m_notes[e.index].reason);
            break;
        }
    }
}

bool RecordedScript::builtAnything() const
{
    return std::any_of(m_events.begin(), m_events.end(),
        [](const Event& e) { return e.kind == Kind::Call || e.kind == Kind::LiteralCall || e.kind == Kind::Global; });
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
    builder.setComputedNumbers(true);
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
