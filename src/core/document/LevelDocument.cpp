#include "LevelDocument.h"

#include <stdexcept>

namespace starloom {

namespace {

template <class Rec> void resetArray(std::vector<Rec>& array)
{
    array.clear();
    array.shrink_to_fit();
    array.emplace_back();
}

[[noreturn]] void wrongLayout(ItemKind kind)
{
    throw std::logic_error(std::string("record layout does not match kind ") + kindInfo(kind).name);
}

// Calls f with the array of an array kind.
template <class Doc, class F> decltype(auto) onArray(Doc& doc, ItemKind kind, F&& f)
{
    switch (kindInfo(kind).layout) {
    case RecordLayout::PlayerSlots:
        break;
    case RecordLayout::Resource:
        return f(doc.resources(kind));
    case RecordLayout::Cloud:
        return f(doc.clouds(kind));
    case RecordLayout::Prop:
        return f(doc.props(kind));
    case RecordLayout::Ship:
        return f(doc.ships(kind));
    }
    wrongLayout(kind);
}

} // namespace

LevelDocument::LevelDocument()
{
    resetDocument();
}

void LevelDocument::resetDocument()
{
    m_players = {};
    for (const ItemKind kind : arrayKinds)
        onArray(*this, kind, [](auto& array) { resetArray(array); });
}

void LevelDocument::setPlayerColours()
{
    for (int slot = 0; slot < playerSlots; ++slot)
        player(slot).drawColour = playerColour(slot);
}

template <class Rec> std::optional<std::int16_t> LevelDocument::append(std::vector<Rec>& array, const Rec& record)
{
    const auto index = array.size() - 1;
    if (index >= static_cast<std::size_t>(maxRecordsPerKind))
        return std::nullopt;
    array.back() = record;
    array.emplace_back();
    return static_cast<std::int16_t>(index);
}

std::optional<std::int16_t> LevelDocument::appendItem(ItemKind kind, const ResourceRecord& record)
{
    return append(resources(kind), record);
}

std::optional<std::int16_t> LevelDocument::appendItem(ItemKind kind, const CloudRecord& record)
{
    return append(clouds(kind), record);
}

std::optional<std::int16_t> LevelDocument::appendItem(ItemKind kind, const PropRecord& record)
{
    return append(props(kind), record);
}

std::optional<std::int16_t> LevelDocument::appendItem(ItemKind kind, const ShipRecord& record)
{
    return append(ships(kind), record);
}

void LevelDocument::removeLastItem(ItemKind kind)
{
    if (itemCount(kind) == 0)
        return;
    onArray(*this, kind, [](auto& array) {
        array.pop_back();
        array.back() = {};
    });
}

AnyRecord LevelDocument::record(ItemKind kind, int arrayId) const
{
    return visit(kind, arrayId, [](const auto& r) { return AnyRecord(r); });
}

void LevelDocument::setRecord(ItemKind kind, int arrayId, const AnyRecord& record)
{
    visit(kind, arrayId, [&record, kind](auto& r) {
        using Rec = std::decay_t<decltype(r)>;
        if (const Rec* given = std::get_if<Rec>(&record))
            r = *given;
        else
            wrongLayout(kind);
    });
}

std::optional<std::int16_t> LevelDocument::appendRecord(ItemKind kind, const AnyRecord& record)
{
    return std::visit(
        [this, kind](const auto& r) -> std::optional<std::int16_t> {
            if constexpr (std::is_same_v<std::decay_t<decltype(r)>, PlayerStartRecord>)
                wrongLayout(kind);
            else
                return appendItem(kind, r);
        },
        record);
}

void LevelDocument::markDeleted(ItemKind kind, int arrayId)
{
    if (!exists(kind, arrayId))
        return;
    visit(kind, arrayId, [](auto& record) {
        if constexpr (std::is_same_v<std::decay_t<decltype(record)>, PlayerStartRecord>)
            record.label.clear();
        else
            record.deleted = recordDeleted;
    });
}

int LevelDocument::itemCount(ItemKind kind) const
{
    if (kindInfo(kind).layout == RecordLayout::PlayerSlots)
        return 0;
    return onArray(*this, kind, [](const auto& array) { return static_cast<int>(array.size()) - 1; });
}

bool LevelDocument::exists(ItemKind kind, int arrayId) const
{
    if (arrayId < 0)
        return false;
    if (kindInfo(kind).layout == RecordLayout::PlayerSlots)
        return arrayId < playerSlots;
    return arrayId < itemCount(kind);
}

bool LevelDocument::isLive(ItemKind kind, int arrayId) const
{
    if (!exists(kind, arrayId))
        return false;
    return visit(kind, arrayId, [](const auto& record) {
        if constexpr (std::is_same_v<std::decay_t<decltype(record)>, PlayerStartRecord>)
            return !record.label.isEmpty();
        else
            return record.deleted == 0;
    });
}

int LevelDocument::liveCount(ItemKind kind) const
{
    int live = 0;
    if (kindInfo(kind).layout == RecordLayout::PlayerSlots) {
        for (const auto& p : m_players)
            live += p.label.isEmpty() ? 0 : 1;
        return live;
    }
    const int n = itemCount(kind);
    for (int i = 0; i < n; ++i)
        live += isLive(kind, i) ? 1 : 0;
    return live;
}

std::vector<ResourceRecord>& LevelDocument::resources(ItemKind kind)
{
    if (kindInfo(kind).layout != RecordLayout::Resource)
        wrongLayout(kind);
    return m_resources[static_cast<std::size_t>(typeIdOf(kind))];
}

const std::vector<ResourceRecord>& LevelDocument::resources(ItemKind kind) const
{
    return const_cast<LevelDocument*>(this)->resources(kind);
}

std::vector<CloudRecord>& LevelDocument::clouds(ItemKind kind)
{
    if (kindInfo(kind).layout != RecordLayout::Cloud)
        wrongLayout(kind);
    return m_clouds[static_cast<std::size_t>(typeIdOf(kind))];
}

const std::vector<CloudRecord>& LevelDocument::clouds(ItemKind kind) const
{
    return const_cast<LevelDocument*>(this)->clouds(kind);
}

std::vector<PropRecord>& LevelDocument::props(ItemKind kind)
{
    if (kindInfo(kind).layout != RecordLayout::Prop)
        wrongLayout(kind);
    return m_props[static_cast<std::size_t>(typeIdOf(kind))];
}

const std::vector<PropRecord>& LevelDocument::props(ItemKind kind) const
{
    return const_cast<LevelDocument*>(this)->props(kind);
}

std::vector<ShipRecord>& LevelDocument::ships(ItemKind kind)
{
    if (kindInfo(kind).layout != RecordLayout::Ship)
        wrongLayout(kind);
    return m_ships[static_cast<std::size_t>(typeIdOf(kind))];
}

const std::vector<ShipRecord>& LevelDocument::ships(ItemKind kind) const
{
    return const_cast<LevelDocument*>(this)->ships(kind);
}

ItemPosition LevelDocument::position(ItemKind kind, int arrayId) const
{
    return visit(kind, arrayId, [](const auto& r) { return ItemPosition{r.posX, r.posY, r.posZ}; });
}

std::int32_t LevelDocument::drawColour(ItemKind kind, int arrayId) const
{
    return visit(kind, arrayId, [](const auto& r) { return r.drawColour; });
}

} // namespace starloom
