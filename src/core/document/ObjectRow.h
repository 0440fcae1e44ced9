#pragma once

#include "ItemKind.h"

#include <QString>

#include <cstdint>

namespace starloom {

// One row of the object list: the index of what exists on the map. The row's key is its
// position in the list followed by "o" ("0o", "1o", ...), renumbered whenever a row goes, and
// each row has exactly one map label, which shows the row's text.
struct ObjectRow {
    QString text;
    ItemKind kind = ItemKind::PlayerStart;
    std::int16_t arrayId = 0;

    bool operator==(const ObjectRow&) const = default;
};

inline QString rowKey(qsizetype row)
{
    return QString::number(row) + QLatin1Char('o');
}

// The row a key names, or -1 when the key is not of the form "<number>o".
qsizetype rowFromKey(QStringView key);

} // namespace starloom
