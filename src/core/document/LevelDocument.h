#pragma once

#include "ItemKind.h"
#include "KeptCall.h"
#include "LuaValue.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace starloom {

// `deleted` holds 0 for a live record and -1 for a deleted one.
inline constexpr std::int16_t recordDeleted = -1;

struct ItemSource;

// A shared, immutable value held by pointer (so records stay cheap to copy) that compares by
// value.
template <class T> class SharedValue {
public:
    SharedValue() = default;
    SharedValue(std::shared_ptr<const T> value) : m_value(std::move(value)) {}
    const T* get() const { return m_value.get(); }
    const T* operator->() const { return m_value.get(); }
    const T& operator*() const { return *m_value; }
    explicit operator bool() const { return m_value != nullptr; }
    bool operator==(const SharedValue& o) const
    {
        return m_value == o.m_value || (m_value && o.m_value && *m_value == *o.m_value);
    }

private:
    std::shared_ptr<const T> m_value;
};

// Every record also keeps where it came from: `chunk` is the chunk function the file called it in
// (Other: the chunk its kind belongs in), and `source`, for an item read from a file whose call
// said more than the record holds (a rotation, a name, a numeral written another way), the call's
// arguments as given. Both are written back; records the editor makes have neither.

struct PlayerStartRecord {
    QString label; // "Player N"; empty when the slot holds no start point
    std::int32_t posX = 0;
    std::int32_t posY = 0;
    std::int32_t posZ = 0;
    float orientation = 0.0f;
    std::int32_t drawColour = 0;
    Chunk chunk = Chunk::Other;
    SharedValue<ItemSource> source;

    bool operator==(const PlayerStartRecord&) const = default;
};

struct ResourceRecord { // asteroids and salvage
    std::int16_t modelIndex = 0;
    std::int32_t resourcePercent = 0;
    std::int32_t posX = 0;
    std::int32_t posY = 0;
    std::int32_t posZ = 0;
    std::int32_t drawColour = 0;
    std::int16_t deleted = 0;
    QString customName;
    Chunk chunk = Chunk::Other;
    SharedValue<ItemSource> source;

    bool operator==(const ResourceRecord&) const = default;
};

struct CloudRecord { // clouds, dust clouds and nebulae
    std::int16_t modelIndex = 0;
    std::int32_t size = 0;
    std::int16_t red = 0;
    std::int16_t green = 0;
    std::int16_t blue = 0;
    std::int32_t posX = 0;
    std::int32_t posY = 0;
    std::int32_t posZ = 0;
    std::int32_t drawColour = 0;
    std::int16_t deleted = 0;
    QString customName;
    QString name; // nebulae: the item's own name (the first argument) when it is not the model's
    Chunk chunk = Chunk::Other;
    SharedValue<ItemSource> source;

    bool operator==(const CloudRecord&) const = default;
};

struct PropRecord { // megaliths and pebbles
    std::int16_t modelIndex = 0;
    std::int32_t posX = 0;
    std::int32_t posY = 0;
    std::int32_t posZ = 0;
    std::int32_t drawColour = 0;
    std::int16_t deleted = 0;
    QString customName;
    QString name; // megaliths: the squadron's name when it is not the model's
    Chunk chunk = Chunk::Other;
    SharedValue<ItemSource> source;

    bool operator==(const PropRecord&) const = default;
};

struct ShipRecord {
    std::int16_t modelIndex = 0;
    QString customName;
    std::int32_t posX = 0;
    std::int32_t posY = 0;
    std::int32_t posZ = 0;
    std::int32_t orientation = 0;
    std::int32_t rotation1 = 0;
    std::int32_t rotation2 = 0;
    std::int16_t player = 0;
    std::int32_t drawColour = 0;
    std::int16_t deleted = 0;
    QString name; // the squadron's name when it is not the model's (the model is the ship type)
    Chunk chunk = Chunk::Other;
    SharedValue<ItemSource> source;

    bool operator==(const ShipRecord&) const = default;
};

// Any one record, in its kind's layout.
using AnyRecord = std::variant<PlayerStartRecord, ResourceRecord, CloudRecord, PropRecord, ShipRecord>;

// The call an item was read from: its arguments as the file gave them, and the record as the
// reader made it from them. A field of the record that still equals its value in `asRead` is
// written back as the file had it.
struct ItemSource {
    std::string args; // the call's arguments as read, encodeLuaValues's form (one block an item)
    AnyRecord asRead;

    std::vector<LuaValue> arguments() const { return decodeLuaValues(args); }

    bool operator==(const ItemSource&) const = default;
};

struct ItemPosition {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t z = 0;
};

// The level's items: eight player start slots and one growable array per other kind. Every array
// ends with one blank spare record, so its size is itemCount + 1. Records keep their index for
// life: deletion only marks them, and indices are never reused.
class LevelDocument {
public:
    LevelDocument();

    // Empties every player slot and resets every array to its blank spare.
    void resetDocument();

    // Fills the kind's spare record with `record` and grows the array by a new spare. Returns the
    // new record's index, or nullopt (and nothing changes) when the kind already holds 32767
    // records. The record type must be the kind's layout.
    std::optional<std::int16_t> appendItem(ItemKind kind, const ResourceRecord& record);
    std::optional<std::int16_t> appendItem(ItemKind kind, const CloudRecord& record);
    std::optional<std::int16_t> appendItem(ItemKind kind, const PropRecord& record);
    std::optional<std::int16_t> appendItem(ItemKind kind, const ShipRecord& record);

    // Array kinds: sets `deleted`; player starts: empties the slot's label.
    void markDeleted(ItemKind kind, int arrayId);

    // Records ever appended to the kind's array, deleted ones included (0 for PlayerStart).
    int itemCount(ItemKind kind) const;
    bool isLive(ItemKind kind, int arrayId) const;
    // True when (kind, arrayId) names a record (or a player slot), live or not.
    bool exists(ItemKind kind, int arrayId) const;
    bool isFull(ItemKind kind) const { return itemCount(kind) >= maxRecordsPerKind; }
    // Live items of the kind.
    int liveCount(ItemKind kind) const;

    std::array<PlayerStartRecord, playerSlots>& players() { return m_players; }
    const std::array<PlayerStartRecord, playerSlots>& players() const { return m_players; }
    PlayerStartRecord& player(int slot) { return m_players.at(static_cast<std::size_t>(slot)); }
    const PlayerStartRecord& player(int slot) const { return m_players.at(static_cast<std::size_t>(slot)); }

    // The kind's array, spare record included. The kind must use that record layout.
    std::vector<ResourceRecord>& resources(ItemKind kind);
    const std::vector<ResourceRecord>& resources(ItemKind kind) const;
    std::vector<CloudRecord>& clouds(ItemKind kind);
    const std::vector<CloudRecord>& clouds(ItemKind kind) const;
    std::vector<PropRecord>& props(ItemKind kind);
    const std::vector<PropRecord>& props(ItemKind kind) const;
    std::vector<ShipRecord>& ships(ItemKind kind = ItemKind::Ship);
    const std::vector<ShipRecord>& ships(ItemKind kind = ItemKind::Ship) const;

    // Calls f(record) with the record of (kind, arrayId) in its own layout. arrayId must exist.
    template <class F> decltype(auto) visit(ItemKind kind, int arrayId, F&& f);
    template <class F> decltype(auto) visit(ItemKind kind, int arrayId, F&& f) const;

    ItemPosition position(ItemKind kind, int arrayId) const;
    std::int32_t drawColour(ItemKind kind, int arrayId) const;

    // Sets the fixed colours of the eight player slots.
    void setPlayerColours();

    // Drops the last record of the kind's array (undoing an append); the record must be the last.
    void removeLastItem(ItemKind kind);

    // A copy of the record of (kind, arrayId), which must exist.
    AnyRecord record(ItemKind kind, int arrayId) const;
    // Replaces the record of (kind, arrayId) with `record`, which must be of the kind's layout.
    void setRecord(ItemKind kind, int arrayId, const AnyRecord& record);
    // appendItem for a record held as AnyRecord.
    std::optional<std::int16_t> appendRecord(ItemKind kind, const AnyRecord& record);

    bool operator==(const LevelDocument& other) const = default;

private:
    template <class Rec> std::optional<std::int16_t> append(std::vector<Rec>& array, const Rec& record);
    template <class Doc, class F> static decltype(auto) visitIn(Doc& doc, ItemKind kind, int arrayId, F&& f);

    std::array<PlayerStartRecord, playerSlots> m_players;
    // The arrays by typeId, in the record of each kind's layout (the other entries stay empty).
    ByTypeId<std::vector<ResourceRecord>> m_resources;
    ByTypeId<std::vector<CloudRecord>> m_clouds;
    ByTypeId<std::vector<PropRecord>> m_props;
    ByTypeId<std::vector<ShipRecord>> m_ships;
};

template <class Doc, class F> decltype(auto) LevelDocument::visitIn(Doc& doc, ItemKind kind, int arrayId, F&& f)
{
    const auto i = static_cast<std::size_t>(arrayId);
    switch (kindInfo(kind).layout) {
    case RecordLayout::PlayerSlots:
        return f(doc.m_players.at(i));
    case RecordLayout::Resource:
        return f(doc.resources(kind).at(i));
    case RecordLayout::Cloud:
        return f(doc.clouds(kind).at(i));
    case RecordLayout::Prop:
        return f(doc.props(kind).at(i));
    case RecordLayout::Ship:
        break;
    }
    return f(doc.ships(kind).at(i));
}

template <class F> decltype(auto) LevelDocument::visit(ItemKind kind, int arrayId, F&& f)
{
    return visitIn(*this, kind, arrayId, std::forward<F>(f));
}

template <class F> decltype(auto) LevelDocument::visit(ItemKind kind, int arrayId, F&& f) const
{
    return visitIn(*this, kind, arrayId, std::forward<F>(f));
}

} // namespace starloom
