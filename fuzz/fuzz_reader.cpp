// Feeds arbitrary bytes to the level reader the way the editor loads a file (a
// plain level, the model lists of one load, the rows the reader lists for every
// item), checks what it built, then saves the level and loads the saved bytes
// again: the second load must find the same items, read the saved file as plain
// Lua, and the second save must give the same bytes.

#include "document/Catalogue.h"
#include "document/Level.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"

#include <QBuffer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
    check(second.write(catalogue) == saved, "save, load and save again gives the same bytes");
    return 0;
}
