#pragma once

#include "KeptCall.h"
#include "MapSettings.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace starloom {

// What one argument of a level-wide line holds.
enum class SettingRole : std::uint8_t {
    Number, // a setting held as the user typed it and written as that numeral (a size, a distance)
    Text,   // a setting written as a quoted text, `text` before it ("Data:sound/music/")
    Table,  // a table of `elements`
    Kept,   // not modelled: `text` in the editor's own line, as the file gave it otherwise
};

struct SettingArg {
    SettingRole role;
    QString MapSettings::*member = nullptr; // Number, Text: the setting
    // Number, Text: the setting's name in the reader's messages; Table: the reader's message when
    // the argument is not a table.
    const char* what = nullptr;
    const char* text = nullptr;       // Kept: its Lua text; Text: what the file writes before the setting
    std::vector<SettingArg> elements; // Table
};

// One of the editor's level-wide lines, declared the way a kind's call is: its function, the
// chunk the editor writes it in, and its arguments in the file's order. The settings a line sets
// are its bound arguments in that order, depth first (world bounds: X, Z, Y, the height in the
// middle); FixedCall::settingsAsRead holds their texts in the same order.
struct SettingsLineLayout {
    FixedLine line;
    const char* call;
    Chunk chunk;
    std::vector<SettingArg> args;
};

// The layout of `line`; the layouts stand in the order of FixedLine.
const SettingsLineLayout& settingsLineLayout(FixedLine line);

// The texts of the settings the line sets, in the file's order.
QStringList settingTexts(const MapSettings& settings, FixedLine line);

} // namespace starloom
