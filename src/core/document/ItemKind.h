#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace starloom {

// The nine kinds of map item, numbered by typeId in the order of their option buttons.
enum class ItemKind : std::int16_t {
    PlayerStart = 1,
    Asteroid = 2,
    Cloud = 3,
    DustCloud = 4,
    Megalith = 5,
    Nebula = 6,
    Pebble = 7,
    Salvage = 8,
    Ship = 9,
};

inline constexpr std::array<ItemKind, 9> allKinds = {
    ItemKind::PlayerStart,
    ItemKind::Asteroid,
    ItemKind::Cloud,
    ItemKind::DustCloud,
    ItemKind::Megalith,
    ItemKind::Nebula,
    ItemKind::Pebble,
    ItemKind::Salvage,
    ItemKind::Ship,
};

// The eight kinds stored in growable arrays (every kind but PlayerStart).
inline constexpr std::array<ItemKind, 8> arrayKinds = {
    ItemKind::Asteroid,
    ItemKind::Cloud,
    ItemKind::DustCloud,
    ItemKind::Megalith,
    ItemKind::Nebula,
    ItemKind::Pebble,
    ItemKind::Salvage,
    ItemKind::Ship,
};

inline constexpr int typeIdOf(ItemKind kind)
{
    return static_cast<int>(kind);
}

// Packed colour: red + 256 * green + 65536 * blue.
inline constexpr std::int32_t rgb(int red, int green, int blue)
{
    return red + 256 * green + 65536 * blue;
}

struct KindInfo {
    ItemKind kind;
    const char* name;        // "PlayerStart", "Asteroid", ... (enumerator name)
    const char* caption;     // option button caption
    const char* folder;      // folder below the game folder, backslashes as the game writes them
    bool hasCustom;          // the model list ends with "Custom"
    std::int32_t drawColour; // colour given at creation (player starts: by slot)
    const char* itemText;    // "Asteroid #" ..., empty where the text is a model name
};

const KindInfo& kindInfo(ItemKind kind);

// The model names built into the editor, used when the game folder cannot be read.
const QStringList& builtInModels(ItemKind kind);

// Colour of player start slot 0 to 7.
std::int32_t playerColour(int slot);

inline constexpr int playerSlots = 8;
inline constexpr int maxRecordsPerKind = 32767;

} // namespace starloom
