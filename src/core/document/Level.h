#pragma once

#include "LevelDocument.h"
#include "MapSettings.h"
#include "ObjectRow.h"

#include <vector>

namespace starloom {

// A level as the editor, the tool, the tests and the benchmarks hold it: the items, the level-wide
// settings (with the player table, the kept calls and the editor's own level-wide calls as a file
// gave them) and the object list, one row per live item in the order it was read or placed.
// Loading (LevelReader.h, LevelScript.h) fills all three; saving (LevelWriter.h) writes the items
// and the settings.
struct Level {
    LevelDocument document;
    MapSettings settings;
    std::vector<ObjectRow> rows;

    bool operator==(const Level&) const = default;
};

// A level with no items whose player slots have their colours and whose background and music are
// the first entries of their lists, so that what is made from it does not depend on chance.
Level plainLevel();

} // namespace starloom
