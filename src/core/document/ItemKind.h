#pragma once

#include "KeptCall.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace starloom {

// The kinds of map item, numbered by typeId in the order of their option buttons. What the editor
// knows of each kind is its row of `kindTable` below (and its argument layout and panel fields,
// kindLayout in ItemFields.h, which bind the row to the members of its record).
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

inline constexpr int typeIdOf(ItemKind kind)
{
    return static_cast<int>(kind);
}

// Packed colour: red + 256 * green + 65536 * blue.
inline constexpr std::int32_t rgb(int red, int green, int blue)
{
    return red + 256 * green + 65536 * blue;
}

// Which record a kind's items are held in (LevelDocument.h): player starts in their fixed slots,
// every other kind in a growable array of its record type.
enum class RecordLayout : std::uint8_t { PlayerSlots, Resource, Cloud, Prop, Ship };

struct KindInfo {
    ItemKind kind;
    const char* name;        // "PlayerStart", "Asteroid", ... (enumerator name)
    const char* caption;     // option button caption
    const char* folder;      // folder below the game folder, backslashes as the game writes them
    bool hasCustom;          // the model list ends with "Custom"
    std::int32_t drawColour; // colour given at creation (player starts: by slot)
    const char* itemText;    // "Asteroid #" ..., empty where the text is a model name
    const char* call;        // the game function whose calls add the kind's items
    // Of kinds sharing one call, the prefix of the type (the second argument, any case) that
    // makes an item this kind; nullptr for the kind such a call adds otherwise.
    const char* typePrefix;
    Chunk chunk;         // the chunk function the kind's items belong in
    const char* callEnd; // what the writer ends a call with: ")", or ") " for pebbles
    // The writer names models by this text and the entry's number ("Asteroid_1"); nullptr: by the
    // entry's own name.
    const char* numberedModels;
    RecordLayout layout; // the record its items are held in
    // Whether a new level shows the kind's labels; those it hides (pebbles) follow their own entry
    // of the Labels menu alone, not "Hide All Labels".
    bool labelShown;
    const char* countCaption;  // the kind in the status bar's counts
    const char* labelsCaption; // its entry of the Labels menu
};

// clang-format off
inline constexpr std::array kindTable = {
    KindInfo{ItemKind::PlayerStart, "PlayerStart", "Player Start", "", false, rgb(255, 0, 0), "",
        "addPoint", nullptr, Chunk::Determ, ")", nullptr, RecordLayout::PlayerSlots, true, "Starts",
        "Show P&layer Starts"},
    KindInfo{ItemKind::Asteroid, "Asteroid", "Asteroid", "\\Data\\resource\\asteroid\\", true, rgb(154, 110, 4),
        "Asteroid #", "addAsteroid", nullptr, Chunk::Determ, ")", "Asteroid_", RecordLayout::Resource, true, "Asteroids",
        "Show &Asteroids"},
    KindInfo{ItemKind::Cloud, "Cloud", "Clouds", "\\Data\\cloud\\", false, rgb(192, 192, 255), "Cloud #",
        "addCloud", nullptr, Chunk::Determ, ")", nullptr, RecordLayout::Cloud, true, "Clouds", "Show &Clouds"},
    KindInfo{ItemKind::DustCloud, "DustCloud", "Dust Clouds", "\\Data\\dustcloud\\", true, rgb(192, 192, 255),
        "Dust Cloud #", "addDustCloud", nullptr, Chunk::Determ, ")", nullptr, RecordLayout::Cloud, true, "Dust Clouds",
        "Show &Dust Clouds"},
    KindInfo{ItemKind::Megalith, "Megalith", "Megalith", "\\Data\\ship\\", false, rgb(192, 126, 0), "",
        "addSquadron", "meg_", Chunk::Determ, ")", nullptr, RecordLayout::Prop, true, "Megaliths", "Show &Megaliths"},
    KindInfo{ItemKind::Nebula, "Nebula", "Nebulae", "\\Data\\nebula\\", true, rgb(64, 255, 64), "Nebula #",
        "addNebula", nullptr, Chunk::Determ, ")", nullptr, RecordLayout::Cloud, true, "Nebulae", "Show &Nebulae"},
    KindInfo{ItemKind::Pebble, "Pebble", "Pebble", "\\Data\\pebble\\", false, rgb(218, 181, 100), "Pebble #",
        "addPebble", nullptr, Chunk::NonDeterm, ") ", nullptr, RecordLayout::Prop, false, "Pebbles", "Show &Pebbles"},
    KindInfo{ItemKind::Salvage, "Salvage", "Salvage", "\\Data\\resource\\salvage\\", true, rgb(0, 192, 0),
        "Salvage #", "addSalvage", nullptr, Chunk::Determ, ")", nullptr, RecordLayout::Resource, true, "Salvage",
        "Show &Salvage Chunks"},
    KindInfo{ItemKind::Ship, "Ship", "Ships", "\\Data\\ship\\", true, rgb(255, 0, 0), "", "addSquadron", nullptr,
        Chunk::Determ, ")", nullptr, RecordLayout::Ship, true, "Ships", "Show Sh&ips"},
};
// clang-format on

inline constexpr int kindCount = static_cast<int>(kindTable.size());

// Every kind, in the order of its option buttons.
inline constexpr std::array<ItemKind, kindCount> allKinds = [] {
    std::array<ItemKind, kindCount> kinds{};
    for (std::size_t i = 0; i < kinds.size(); ++i)
        kinds[i] = kindTable[i].kind;
    return kinds;
}();

// The kinds stored in growable arrays (every kind but PlayerStart).
inline constexpr auto arrayKinds = [] {
    std::array<ItemKind, kindCount - 1> kinds{};
    std::size_t n = 0;
    for (const KindInfo& info : kindTable)
        if (info.layout != RecordLayout::PlayerSlots)
            kinds[n++] = info.kind;
    return kinds;
}();

// The table's rows stand at their typeId: kind k is row typeIdOf(k) - 1, and one kind holds the slots.
static_assert([] {
    int slotKinds = 0;
    for (std::size_t i = 0; i < kindTable.size(); ++i) {
        if (typeIdOf(kindTable[i].kind) != static_cast<int>(i) + 1)
            return false;
        slotKinds += kindTable[i].layout == RecordLayout::PlayerSlots;
    }
    return slotKinds == 1;
}());

// A value per kind, indexed by typeId (entry 0 unused).
template <class T> using ByTypeId = std::array<T, kindCount + 1>;

inline constexpr bool isTypeId(int typeId)
{
    return typeId >= 1 && typeId <= kindCount;
}

inline constexpr const KindInfo& kindInfo(ItemKind kind)
{
    return kindTable[static_cast<std::size_t>(typeIdOf(kind) - 1)];
}

// The model names built into the editor, used when the game folder cannot be read.
const QStringList& builtInModels(ItemKind kind);

// Colour of player start slot 0 to 7.
std::int32_t playerColour(int slot);

inline constexpr int playerSlots = 8;
inline constexpr int maxRecordsPerKind = 32767;

} // namespace starloom
