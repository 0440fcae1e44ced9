#pragma once

#include "document/Catalogue.h"
#include "document/LevelDocument.h"
#include "document/MapSettings.h"

#include <QIODevice>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace starloom {

// Something in the file that the reader skipped, clamped or read as 0.
struct ReadProblem {
    qint64 line = 0; // 1-based; 0 for the file as a whole
    QString reason;
};

// Receives every item the reader registers, in file order, right after its record is stored.
class ReadSink {
public:
    virtual ~ReadSink() = default;
    virtual void itemRead(ItemKind kind, std::int16_t arrayId, const QString& text, std::int32_t x, std::int32_t y) = 0;
};

struct ReadResult {
    std::vector<ReadProblem> problems;
    std::optional<ItemKind> lastKind; // last kind whose model list the reader used (2 to 9)
    bool worldBoundsRead = false;     // a setWorldBoundsInner line set the world size
    int itemsRead = 0;
};

// Reads a .level script line by line, appending its items to `document` and setting the
// level-wide values it names in `settings`. It never runs the script: it recognises the call
// lines of the editor's own format inside function bodies and ignores everything else. Bad values
// are skipped or clamped and reported in the result; no half-made item is ever stored.
ReadResult readLevel(QIODevice& input, LevelDocument& document, MapSettings& settings, ModelLists& models,
                     ReadSink* sink = nullptr);

// Opens `path` and reads it as above. When the file cannot be opened, returns nullopt and sets
// `error` to the reason.
std::optional<ReadResult> readLevelFile(const QString& path, LevelDocument& document, MapSettings& settings,
                                        ModelLists& models, ReadSink* sink, QString* error);

// All problems as one text: "line N: reason" per line, at most `limit` lines and a count of the rest.
QString problemsText(const std::vector<ReadProblem>& problems, int limit = 20);

} // namespace starloom
