#pragma once

#include "ItemKind.h"

#include <QString>

#include <cstdint>

namespace starloom {

// One row of the object list: the index of what exists on the map. The row's key is its
// position in the list followed by "o" ("0o", "1o", ...), renumbered whenever a row goes, and
// each row has exactly one map label, which shows the row's text.
//
// `hidden` and `locked` are the user's view of the map, not part of the level: a hidden item is
// not drawn, and neither a hidden nor a locked one is hit or selected on the map. They travel
// with the row (through undo steps and rows coming and going) and are never written to a file.
struct ObjectRow {
    QString text;
    ItemKind kind = ItemKind::PlayerStart;
    std::int16_t arrayId = 0;
    bool hidden = false;
    bool locked = false;

    bool operator==(const ObjectRow&) const = default;
};

// True when the map may hit and select the row's item: it is neither hidden nor locked.
inline bool pickable(const ObjectRow& row)
{
    return !row.hidden && !row.locked;
}

inline QString rowKey(qsizetype row)
{
    return QString::number(row) + QLatin1Char('o');
}

// The row a key names, or -1 when the key is not of the form "<number>o".
qsizetype rowFromKey(QStringView key);

} // namespace starloom
