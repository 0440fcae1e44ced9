#pragma once

#include "document/Catalogue.h"
#include "document/LevelDocument.h"
#include "document/MapSettings.h"

#include <QByteArray>
#include <QString>

namespace starloom {

// Message shown (title "Error") when a player within the player count has no start point.
QString missingStartsMessage();

// True when every slot below the player count holds a start point.
bool hasAllPlayerStarts(const LevelDocument& document, const MapSettings& settings);

// The whole .level script of the level: 8-bit (Latin-1) text, CR LF line ends. Quoted texts get
// Lua escapes for backslash, double quote, CR and LF so that the game can always read them.
// `liveStartsOnly` leaves out the start points of empty player slots (a recovery copy of a level
// that is not finished yet).
QByteArray writeLevel(const LevelDocument& document, const MapSettings& settings, ModelLists& models,
                      bool liveStartsOnly = false);

// Text of a quoted Lua string argument, escaped (without the surrounding quotes).
QString luaEscape(const QString& text);

} // namespace starloom
