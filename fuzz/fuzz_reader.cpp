// Feeds arbitrary bytes to the level reader the way the editor loads a file (a
// fresh level, the model lists of one load, a sink that lists every item as a
// row), checks what it built, then saves the level and loads the saved bytes
// again: the second load must find the same items, read the saved file as plain
// Lua, and the second save must give the same bytes.

#include "document/Catalogue.h"
#include "document/LevelDocument.h"
#include "document/MapSettings.h"
#include "document/ObjectRow.h"
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

struct Rows final : ItemSink {
  std::vector<ObjectRow> rows;
  void itemRead(ItemKind kind, std::int16_t arrayId, const QString &text,
                std::int32_t, std::int32_t) override {
    rows.push_back({text, kind, arrayId});
  }
};

struct Level {
  LevelDocument document;
  MapSettings settings;
  Rows sink;
  ReadResult result;

  Level() {
    document.setPlayerColours();
    settings.background = backgroundEntries().first();
    settings.music = musicEntries().first();
  }
  void read(QByteArray bytes, const Catalogue &catalogue) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    ModelLists models(catalogue);
    result = readLevel(buffer, document, settings, models, &sink);
  }
  QByteArray write(const Catalogue &catalogue) const {
    ModelLists models(catalogue);
    return writeLevel(document, settings, models);
  }
};

// One row per item read, every row names a live item, and every live item of
// the arrays has a row.
void checkRows(const Level &l) {
  check(static_cast<int>(l.sink.rows.size()) == l.result.itemsRead,
        "one row per item read");
  int arrayRows = 0;
  for (const ObjectRow &r : l.sink.rows) {
    check(l.document.isLive(r.kind, r.arrayId), "every row names a live item");
    arrayRows += r.kind != ItemKind::PlayerStart;
  }
  int live = 0;
  for (ItemKind kind : arrayKinds)
    live += l.document.liveCount(kind);
  check(arrayRows == live, "every live item has a row");
  check(l.settings.playerIndex >= 0 &&
            l.settings.playerIndex < playerCountEntries().size(),
        "the player count is an entry of its list");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  static const Catalogue catalogue; // the built-in model names
  Level first;
  first.read(QByteArray(reinterpret_cast<const char *>(data),
                        static_cast<qsizetype>(size)),
             catalogue);
  checkRows(first);

  const QByteArray saved = first.write(catalogue);
  Level second;
  second.read(saved, catalogue);
  checkRows(second);
  // Values kept as a file gave them may bring their problems along (a colour of 255 is clamped
  // again), but the saved file is plain Lua: nothing the game's Lua cannot read, no script code.
  for (const ReadProblem &p : second.result.problems) {
    for (const char *fault : {"cannot read this file", "cannot appear in Lua code", "expected", "cannot start a statement",
                              "closes nothing", "The file is a script", "computed", "not closed"})
      check(!p.reason.contains(QLatin1String(fault)), "a saved level is plain Lua");
  }
  for (ItemKind kind : arrayKinds)
    check(second.document.liveCount(kind) == first.document.liveCount(kind),
          "a saved level loads the same items");
  check(second.write(catalogue) == saved,
        "save, load and save again gives the same bytes");
  return 0;
}
