#pragma once

#include "Lua4Source.h"
#include "ScriptRunner.h"

#include "document/Catalogue.h"
#include "document/Level.h"
#include "levelfile/LevelReader.h"
#include "levelfile/ReadSink.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace starloom {

// What a run of a level's script reported, kept in order: the run can take place on one thread
// and the level be built from it on another.
class RecordedScript final : public ReadSink {
public:
    void call(const LevelCall& call) override;
    void takeCall(LevelCall&& call) override;
    void global(std::string_view name, const LuaValue& value, qint64 line) override;
    void problem(qint64 line, const QString& reason) override;
    void stopped(qint64 line, const QString& reason) override;

    // A call written with constant arguments, kept as its place in its chunk's literal calls:
    // its arguments are read when it is replayed (a level at the cap then fits in the script's
    // memory, its calls kept in a few bytes each).
    void keepLiteralCall(
        std::shared_ptr<const Lua4LiteralCalls> literals, std::uint32_t index, Chunk chunk, qint64 line);
    // What keepLiteralCall keeps of a call, about.
    static constexpr std::size_t literalCallBytes = 48;

    // Reports everything again to `sink`, in the same order.
    void replay(ReadSink& sink) const;
    std::size_t size() const { return m_events.size(); }
    // True when the run reported a call or a global: something of a level.
    bool builtAnything() const;

    ScriptResult result;

private:
    enum class Kind : std::uint8_t { Call, LiteralCall, Global, Problem, Stopped };
    struct Event {
        Kind kind;
        std::uint32_t index; // in m_calls, m_literalCalls or m_notes
    };
    struct LiteralCall {
        const Lua4LiteralCalls* literals; // kept by m_literals
        std::uint32_t index;
        Chunk chunk;
        qint64 line;
    };
    struct Note {
        std::string name; // Global
        LuaValue value;   // Global
        QString reason;   // Problem, Stopped
        qint64 line = 0;
    };
    void add(Kind kind, std::size_t index);

    std::vector<Event> m_events;
    std::vector<LevelCall> m_calls;
    std::vector<LiteralCall> m_literalCalls;
    std::vector<Note> m_notes;
    std::vector<std::shared_ptr<const Lua4LiteralCalls>> m_literals;
};

// Runs the level script in `source` (a file's bytes) in the sandbox and records what it reports.
RecordedScript recordLevelScript(const QByteArray& source, const QString& fileName, const ScriptOptions& options);

// What opening a level by its script found: building the level (its problems include the
// script's own, and the error that stopped a part of it) and the run itself.
struct ScriptRead {
    ReadResult read;
    ScriptResult script;
};

// Builds a recorded run into the level, appending as a load does: items, kept calls, globals,
// player table and level-wide calls, through the same builder as the line reader.
ScriptRead buildRecordedScript(const RecordedScript& recorded, Level& level, ModelLists& models);

// Reads the file at `path` (as the line reader would: only regular files, at most the size
// limit), runs its script and builds what it records into the level. nullopt, with the reason in
// `error`, when the file cannot be read.
std::optional<ScriptRead> runLevelFile(
    const QString& path, Level& level, ModelLists& models, const ScriptOptions& options, QString* error);

// What the user is told after a run that called random: the layout is one of many.
QString randomLayoutMessage(qint64 randomCalls);

} // namespace starloom
