#pragma once

#include "ItemKind.h"
#include "ModelSource.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace starloom {

inline const QString customEntry = QStringLiteral("Custom");

// The most entries a model list holds: a record numbers its model with a 16-bit index.
inline constexpr int maxModelEntries = 32767;

// Where one source's names went in a list.
struct ModelOrigin {
    QString source; // the source's description
    int names = 0;  // the names it added (after the kind's filter and the duplicates)
};

// One kind's model list and where it came from.
struct ModelListReport {
    QStringList names;                // the list, "Custom" last where the kind has it
    std::vector<ModelOrigin> origins; // every source that has the kind's folder, in order
    bool builtIn = false;             // no source has the kind's folder: the built-in names
    int dropped = 0;                  // names left out past maxModelEntries
};

// The model lists of the nine kinds, from the sources in their order (loose folders, then
// archives, as gamedata/ puts them together), else the built-in names.
//
// A kind's list: every source that has the kind's folder ("ship", "resource\asteroid", ...)
// gives the entries of that folder in its own order; each entry passes the kind's filter alike
// (Megalith: names starting with exactly "meg_"; Ship: names not starting with exactly "meg_" and
// not containing ".lua"; the others: every name), so a loose "Meg_X" is a ship and an archive's
// "meg_x" a megalith. A name equal to an earlier one without regard to letter case is dropped, so
// the first source's spelling stays. When no source has the folder, the built-in names are the
// list. Past maxModelEntries (with "Custom") names are left out, and problems() says so. "Custom"
// comes last for the kinds that have it.
class Catalogue {
public:
    // The built-in names only.
    Catalogue() = default;
    // `gameDir` is the game folder the sources were taken from, as shown to the user.
    Catalogue(QString gameDir, std::vector<std::shared_ptr<const ModelSource>> sources);

    const QString& gameDir() const { return m_gameDir; }
    const std::vector<std::shared_ptr<const ModelSource>>& sources() const { return m_sources; }

    // Asks the sources afresh. For PlayerStart the list has one entry per player: "Player 1" ...
    // up to playerIndex + 2 (a single entry when playerIndex is -1).
    QStringList modelList(ItemKind kind, int playerIndex = 0) const;
    ModelListReport report(ItemKind kind, int playerIndex = 0) const;

    // What the user should be told about the lists: sources that cannot be read, lists cut at
    // maxModelEntries (naming the list and how many names were left out).
    QStringList problems() const;

    // The folder of a kind below the data root ("ship"); empty for PlayerStart.
    static QString dataFolder(ItemKind kind);

private:
    QString m_gameDir;
    std::vector<std::shared_ptr<const ModelSource>> m_sources;
};

// Index of the last entry whose lower-case form contains the lower-case `find`, or -1.
std::int16_t findTypeFromString(const QStringList& list, QStringView find);

// The reader's lookup: the first entry equal to `find` ignoring case, else findTypeFromString.
std::int16_t findModelForRead(const QStringList& list, QStringView find);

// One snapshot of the model lists for the length of a load or a save: each kind's folder is read
// once, and the lookups of a name are remembered.
class ModelLists {
public:
    // Entries a snapshot compares in its searches of names that no entry equals: past it, such
    // names match no entry, so that a file of many different unknown names read against a long
    // list takes time in step with its size (some tenths of a second of searching at most).
    static constexpr qint64 defaultSearchBudget = 2'000'000;

    explicit ModelLists(const Catalogue& catalogue, qint64 searchBudget = defaultSearchBudget);

    const QStringList& list(ItemKind kind);
    // findModelForRead's answer, the equal entry found through an index of the list.
    std::int16_t lookup(ItemKind kind, const QString& name);
    // Entry `index` of the kind's list, empty when out of range (-1 included).
    QString entry(ItemKind kind, int index);
    // Names that lookup() left unmatched because the search budget was spent.
    qint64 namesNotSearched() const { return m_notSearched; }

private:
    const Catalogue& m_catalogue;
    ByTypeId<std::optional<QStringList>> m_lists;
    ByTypeId<QHash<QString, std::int16_t>> m_lookups;
    ByTypeId<std::optional<QHash<QString, std::int16_t>>> m_firstEqual; // case-folded entry -> first index
    qint64 m_searchBudget;
    qint64 m_notSearched = 0;
};

} // namespace starloom
