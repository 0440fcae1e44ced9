#pragma once

#include "LuaValue.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace starloom {

// The level's `player` table: one entry per player slot, each a table of fields (id, name,
// resources, raceID or raceName, startPos, and whatever else a file gave it). A level the editor
// made has no entries of its own: the writer then writes its standard entry for every player.
// Entries read from a file keep their keys (player[0] or, for a list, player[1] ...), their
// fields in order and their numerals as written.
class PlayerTable {
public:
    // The fields of a player entry that the options window edits.
    enum class Field { Name, Race, Resources };

    // The table a file left in its global `player`. Entries are matched to slots by their `id`
    // field, else by their key (a list counts from 1).
    static PlayerTable fromLua(const LuaValue& table);

    // The keys count from 1: the file wrote the table as a list.
    bool isListForm() const { return m_listForm; }
    const std::vector<LuaField>& entries() const { return m_entries; }

    // The editor's standard entry for `slot`: id, name "Vaygr", resources 1500, raceID 1, startPos 1.
    static LuaValue standardEntry(int slot);

    // The entry of the slot, or nullptr when the table has none (the standard entry is written).
    const LuaValue* entry(int slot) const;
    // The field as shown: a string without quotes, a number as written; the race is the raceName,
    // else the raceID.
    QString text(int slot, Field field) const;
    // Sets the field of the slot's entry (made from the standard entry when there is none). The
    // race becomes raceID when the text is a number, raceName otherwise; resources must be a
    // number. Returns false (and changes nothing) when the text cannot be stored.
    bool setText(int slot, Field field, const QString& text);

    // The races the game knows, in the two forms a file names them: by raceID ("1", "2") and by
    // raceName ("Hiigaran", "Vaygr").
    static const QStringList& knownRaceIds();
    static const QStringList& knownRaceNames();
    // True when the slot's entry names its race by raceName (else by raceID, as the standard entry does).
    bool raceByName(int slot) const;
    // False when the slot's entry gives a race the game does not know (a mod's own race, a typing
    // error). An entry that gives none is known: the game takes its default.
    bool raceKnown(int slot) const;

    bool operator==(const PlayerTable&) const = default;

private:
    int slotOf(const LuaField& entry) const;
    LuaValue* mutableEntry(int slot);

    std::vector<LuaField> m_entries;
    bool m_listForm = false; // the keys count from 1 (the file wrote the table as a list)
};

} // namespace starloom
