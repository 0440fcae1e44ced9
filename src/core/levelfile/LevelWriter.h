#pragma once

#include "document/Catalogue.h"
#include "document/Level.h"

#include <QByteArray>
#include <QString>

#include <string_view>
#include <vector>

namespace starloom {

// The placed start points of slots at or beyond the player count, which a save leaves out.
std::vector<int> startsBeyondPlayerCount(const LevelDocument& document, int playerCount);

// The model name the writer writes for a record: the list entry, "Asteroid_" and the entry's
// number for asteroids, the custom name for a model in no list (index -1).
QString writtenModelName(ItemKind kind, std::int16_t modelIndex, const QString& customName, ModelLists& models);
// True when `name` (as a file gave it) is the name the writer writes for the record.
bool isWrittenModelName(
    ItemKind kind, std::int16_t modelIndex, const QString& customName, std::string_view name, ModelLists& models);

// A colour component 0 to 255 as the file holds it: divided by 255, "0" and "1" for the ends.
QString colourComponentText(std::int16_t component);

// The whole .level script of the level: 8-bit (Latin-1) text, CR LF line ends. Quoted texts get
// Lua escapes for backslash, double quote, CR and LF so that the game can always read them.
// `liveStartsOnly` leaves out the start points of empty player slots (a recovery copy of a level
// that is not finished yet). Items and level-wide lines read from a file are written as the file
// gave them, with the values the user changed put in; each goes into the chunk it came from, and
// the calls the editor keeps follow the editor's own lines of their chunk.
QByteArray writeLevel(const Level& level, ModelLists& models, bool liveStartsOnly = false);

// How saveLevel treats the target.
struct SaveOptions {
    bool liveStartsOnly = false;  // as writeLevel's
    bool replaceReadOnly = false; // as saveFileAtomically's
};

// Save Level: writes the level (writeLevel) to `path` through saveFileAtomically. Returns an empty
// text on success, otherwise the reason; the earlier file is then left as it was.
QString saveLevel(const QString& path, const Level& level, ModelLists& models, SaveOptions options = {});

} // namespace starloom
