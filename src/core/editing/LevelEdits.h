#pragma once

#include "EditCommands.h"

#include "document/Level.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace starloom {

// The edits of a level as values: each function returns what an item or the level becomes, and
// the editor pushes the change from the value it has to that one as one undoable command.

// The record at (x, y) on the map, its height kept.
AnyRecord movedTo(AnyRecord record, std::int32_t x, std::int32_t y);
// The record at height `z`.
AnyRecord atHeight(AnyRecord record, std::int32_t z);
// The record deleted: kinds 2 to 9 marked deleted, a start point's slot emptied.
AnyRecord deletedRecord(AnyRecord record);
// The record of a new item of entry `model` of its kind's list (-1: the custom name
// `customName`), drawn in `drawColour`; a start point is returned as it is.
AnyRecord asModel(AnyRecord record, std::int16_t model, const QString& customName, std::int32_t drawColour);
// A ship of `player`; other records are returned as they are.
AnyRecord ofPlayer(AnyRecord record, std::int16_t player);

// The steps that empty the start-point slots `slots` and remove every row that lists them (from
// the last row, so that each position still holds when it is removed).
std::vector<EditStep> dropStartsSteps(const Level& level, const std::vector<int>& slots);

// The object-list text of an item placed as entry `modelText` of its kind's list (or under the
// custom name `customName`, when not empty) at array index or player slot `index`: "Player 2
// start", a megalith's or ship's model, "Asteroid #3", "<custom name> #3".
QString placedItemText(ItemKind kind, const QString& modelText, const QString& customName, int index);

// "Player 7", "Player 7 and Player 8", "Player 6, Player 7 and Player 8".
QString playerNames(const std::vector<int>& slots);

} // namespace starloom
