// Feeds arbitrary bytes to the level reader the way the editor loads a file (a
// plain level, the model lists of one load, the rows the reader lists for every
// item), checks what it built, then saves the level and loads the saved bytes
// again: the second load must find the same items, read the saved file as plain
// Lua, and the second save must give the same bytes.

#include "document/Catalogue.h"
#include "document/Level.h"
#include "levelfile/LevelBuilder.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"

#include <QBuffer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "FuzzCheck.h"

using namespace starloom;

namespace {

using fuzz::check;

struct Read {
    Level level = plainLevel();
    ReadResult result;

    void read(QByteArray bytes, const Catalogue& catalogue)
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        ModelLists models(catalogue);
        result = readLevel(buffer, level, models);
    }
    // Reads every call as values: the builder is never offered a call's bytes.
    void readAsValues(QByteArray bytes, const Catalogue& catalogue)
    {
        struct AsValues final : ReadSink {
            LevelBuilder& builder;
            explicit AsValues(LevelBuilder& b) : builder(b) {}
            void call(const LevelCall& c) override { builder.call(c); }
            void global(std::string_view name, const LuaValue& value, qint64 line) override
            {
                builder.global(name, value, line);
            }
            void problem(qint64 line, const QString& reason) override { builder.problem(line, reason); }
        };
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        ModelLists models(catalogue);
        // As readLevel does: a chunk defined twice is read again, without the replaced definition.
        const Level before = level;
        auto builder = std::make_unique<LevelBuilder>(level, models);
        auto sink = std::make_unique<AsValues>(*builder);
        const LineReadSummary summary = readLevelCalls(buffer, *sink);
        if (!summary.replaced.empty() && buffer.seek(0)) {
            sink.reset();
            builder.reset();
            level = before;
            builder = std::make_unique<LevelBuilder>(level, models);
            sink = std::make_unique<AsValues>(*builder);
            readLevelCalls(buffer, *sink, summary.replaced);
        }
        result = builder->finish();
    }
    QByteArray write(const Catalogue& catalogue) const
    {
        ModelLists models(catalogue);
        return writeLevel(level, models);
    }
};

// One row per item read, every row names a live item, and every live item of
// the arrays has a row.
void checkRows(const Read& r)
{
    const Level& l = r.level;
    check(static_cast<int>(l.rows.size()) == r.result.itemsRead, "one row per item read");
    int arrayRows = 0;
    for (const ObjectRow& row : l.rows) {
        check(l.document.isLive(row.kind, row.arrayId), "every row names a live item");
        arrayRows += row.kind != ItemKind::PlayerStart;
    }
    int live = 0;
    for (ItemKind kind : arrayKinds)
        live += l.document.liveCount(kind);
    check(arrayRows == live, "every live item has a row");
    check(l.settings.playerIndex >= 0 && l.settings.playerIndex < playerCountEntries().size(),
        "the player count is an entry of its list");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const Catalogue catalogue; // the built-in model names
    Read first;
    first.read(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), catalogue);
    checkRows(first);

    // Calls written the editor's way are read from their bytes: the level must be the one their
    // values give.
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Read asValues;
    asValues.readAsValues(input, catalogue);
    check(asValues.level == first.level, "reading calls from their bytes builds the level their values build");
    check(problemsText(asValues.result.problems, 100000) == problemsText(first.result.problems, 100000),
        "reading calls from their bytes reports what their values report");

    const QByteArray saved = first.write(catalogue);
    Read second;
    second.read(saved, catalogue);
    checkRows(second);
    // Values kept as a file gave them may bring their problems along (a colour of 255 is clamped
    // again), but the saved file is plain Lua: nothing the game's Lua cannot read, no script code.
    for (const ReadProblem& p : second.result.problems) {
        for (const char* fault : {"cannot read this file", "cannot appear in Lua code", "expected",
                 "cannot start a statement", "closes nothing", "The file is a script", "computed", "not closed"})
            check(!p.reason.contains(QLatin1String(fault)), "a saved level is plain Lua");
    }
    for (ItemKind kind : arrayKinds)
        check(second.level.document.liveCount(kind) == first.level.document.liveCount(kind),
            "a saved level loads the same items");
    // Start points beyond the player count are left out of the file, as the save warns; a second
    // start point of the same player, kept as its line, then becomes that player's start point on
    // the second load and is left out in turn.
    if (startsBeyondPlayerCount(first.level.document, first.level.settings.playerCount()).empty())
        check(second.write(catalogue) == saved, "save, load and save again gives the same bytes");
    return 0;
}
