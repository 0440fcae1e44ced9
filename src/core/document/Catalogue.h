#pragma once

#include "ItemKind.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace starloom {

inline const QString customEntry = QStringLiteral("Custom");

// The model lists of the nine kinds: read from the game folder when it has the kind's folder,
// otherwise the built-in names. The kind folders ("\Data\ship\" ...) are matched one folder name
// at a time without regard to letter case; entries keep their case and listing order.
class Catalogue {
public:
    explicit Catalogue(QString gameDir = {});

    const QString& gameDir() const { return m_gameDir; }
    void setGameDir(const QString& gameDir) { m_gameDir = gameDir; }

    // Reads the folder afresh. For PlayerStart the list has one entry per player: "Player 1" ...
    // up to playerIndex + 2 (a single entry when playerIndex is -1).
    QStringList modelList(ItemKind kind, int playerIndex = 0) const;

    // The existing folder below `gameDir` that the game's backslash path names, matched without
    // regard to letter case; empty when there is none.
    static QString resolveFolder(const QString& gameDir, const QString& gamePath);

private:
    QString m_gameDir;
};

// Index of the last entry whose lower-case form contains the lower-case `find`, or -1.
std::int16_t findTypeFromString(const QStringList& list, QStringView find);

// The reader's lookup: the first entry equal to `find` ignoring case, else findTypeFromString.
std::int16_t findModelForRead(const QStringList& list, QStringView find);

// One snapshot of the model lists for the length of a load or a save: each kind's folder is read
// once, and the lookups of a name are remembered.
class ModelLists {
public:
    explicit ModelLists(const Catalogue& catalogue);

    const QStringList& list(ItemKind kind);
    std::int16_t lookup(ItemKind kind, const QString& name);
    // Entry `index` of the kind's list, empty when out of range (-1 included).
    QString entry(ItemKind kind, int index);

private:
    const Catalogue& m_catalogue;
    std::array<std::optional<QStringList>, 10> m_lists;
    std::array<QHash<QString, std::int16_t>, 10> m_lookups;
};

} // namespace starloom
