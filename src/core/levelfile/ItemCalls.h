#pragma once

// What the reading of item calls shares (LevelBuilder.cpp: calls read as values;
// LevelBuilderOffers.cpp: calls read from their bytes). Internal to levelfile/.

#include "document/LevelDocument.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace starloom {

// The kind of item a call adds, nullopt when it adds none. `type` is the second argument when it
// is a quoted text: of kinds that share a call (addSquadron), the one whose type prefix begins it,
// or else the one without a prefix.
std::optional<ItemKind> itemKindOf(std::string_view name, std::optional<std::string_view> type);

// True for the kinds whose object-list rows show the item's name (the call's first argument, or
// its model): those without a numbered item text, player starts aside.
bool rowShowsName(ItemKind kind);

// The writer's text of each colour component (0 to 255; empty for any other), made once.
const std::string& componentText(std::int16_t c);

// Whether a record holds a model, and a name of its own.
template <class Rec> constexpr bool hasModel = !std::is_same_v<Rec, PlayerStartRecord>;
template <class Rec>
constexpr bool hasName =
    std::is_same_v<Rec, CloudRecord> || std::is_same_v<Rec, PropRecord> || std::is_same_v<Rec, ShipRecord>;

} // namespace starloom
