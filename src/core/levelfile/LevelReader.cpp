#include "LevelReader.h"

#include "CallReader.h"
#include "LevelBuilder.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <memory>

namespace starloom {

namespace {

using namespace levelreader;

// A block in which more than one byte in eight is a control character is not text.
bool looksBinary(const QByteArray& head)
{
    qsizetype controls = 0;
    for (char c : head) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v')
            ++controls;
    }
    return controls * 8 > head.size();
}

QString plural(int n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString scriptSummary(const ScriptCode& code)
{
    QStringList parts;
    if (code.loops)
        parts << plural(code.loops, "loop", "loops");
    if (code.conditions)
        parts << plural(code.conditions, "condition", "conditions");
    if (code.functions)
        parts << plural(code.functions, "helper function", "helper functions");
    if (code.locals)
        parts << plural(code.locals, "local variable", "local variables");
    if (code.helperCalls)
        parts << plural(code.helperCalls, "call of the script's own functions", "calls of the script's own functions");
    if (code.otherStatements)
        parts << plural(code.otherStatements, "other statement", "other statements");
    QString text = QStringLiteral("The file is a script");
    if (!parts.isEmpty()) {
        const QString last = parts.takeLast();
        text += QStringLiteral(": it has ")
            + (parts.isEmpty() ? last : parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last)
            + QStringLiteral(" that Load Level does not run");
    }
    if (code.computedCalls)
        text += QStringLiteral("; %1 whose arguments the script computes %2 skipped")
                    .arg(plural(code.computedCalls, "call", "calls"),
                        QLatin1String(code.computedCalls == 1 ? "was" : "were"));
    return text + QStringLiteral(". File > Open Level runs the script and reads every item.");
}

} // namespace

LineReadSummary readLevelCalls(QIODevice& input, ReadSink& sink, const std::map<qint64, qint64>& replaced)
{
    const QByteArray head = input.peek(4096);
    if (head.startsWith("\x1bLua")) {
        sink.problem(0, QStringLiteral("the file is compiled Lua bytecode, not a level script; nothing was read"));
        return {};
    }
    if (looksBinary(head)) {
        sink.problem(0, QStringLiteral("the file is not a text file; nothing was read"));
        return {};
    }
    CallReader reader(input, sink, replaced);
    const ScriptCode& code = reader.run();
    if (const qint64 cr = reader.loneCarriageReturns(); cr > 0)
        sink.problem(0,
            QStringLiteral("%1 of the file's lines end in a lone carriage return (CR), which the game's Lua "
                           "4.0 reads as a blank, not as a line end: a \"--\" comment runs on past it to "
                           "the next line feed. Saving writes CR LF line ends.")
                .arg(cr));
    if (code.any())
        sink.problem(0, scriptSummary(code));
    return {code.computedCalls, code.inChunks, reader.replacedDefinitions()};
}

ReadResult readLevel(QIODevice& input, Level& level, ModelLists& models)
{
    const qint64 start = input.pos();
    // What the level held, for a second reading: most often nothing (Load Level into a level with
    // items copies them).
    const Level before = level;
    auto builder = std::make_unique<LevelBuilder>(level, models);
    LineReadSummary summary = readLevelCalls(input, *builder);
    // A chunk defined more than once: the game runs only the last definition, so the text is read
    // again (when it can be) leaving out the calls of the others.
    if (!summary.replaced.empty() && !input.isSequential() && input.seek(start)) {
        builder.reset();
        level = before;
        builder = std::make_unique<LevelBuilder>(level, models);
        summary = readLevelCalls(input, *builder, summary.replaced);
    }
    ReadResult result = builder->finish();
    result.callsSkipped = summary.callsSkipped;
    result.scriptInChunks = summary.scriptInChunks;
    return result;
}

std::optional<ReadResult> loadLevel(const QString& path, Level& level, ModelLists& models, QString* error)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        if (error)
            *error = QStringLiteral("%1 is a folder, not a level file").arg(path);
        return std::nullopt;
    }
    QFile file;
    if (const QString reason = openForReading(path, file); !reason.isEmpty()) {
        if (error)
            *error = QStringLiteral("Cannot open %1: %2").arg(path, reason);
        return std::nullopt;
    }
    return readLevel(file, level, models);
}

QString problemsText(const std::vector<ReadProblem>& problems, int limit)
{
    QStringList lines;
    int shown = 0;
    for (const ReadProblem& p : problems) {
        if (shown == limit) {
            lines << QStringLiteral("... and %1 more").arg(qsizetype(problems.size()) - limit);
            break;
        }
        lines << (p.line > 0 ? QStringLiteral("line %1: %2").arg(p.line).arg(p.reason) : p.reason);
        ++shown;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace starloom