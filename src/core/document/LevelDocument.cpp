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

} // namespace

LevelDocument::LevelDocument()
{
    resetDocument();
}

void LevelDocument::resetDocument()
{
    m_players = {};
    resetArray(m_asteroids);
    resetArray(m_clouds);
    resetArray(m_dustClouds);
    resetArray(m_megaliths);
    resetArray(m_nebulae);
    resetArray(m_pebbles);
    resetArray(m_salvage);
    resetArray(m_ships);
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
    if (kind != ItemKind::Ship)
        wrongLayout(kind);
    return append(m_ships, record);
}

void LevelDocument::removeLastItem(ItemKind kind)
{
    if (kind == ItemKind::PlayerStart || itemCount(kind) == 0)
        return;
    visit(kind, 0, [this, kind](auto& first) {
        using Rec = std::decay_t<decltype(first)>;
        if constexpr (std::is_same_v<Rec, ResourceRecord>) {
            auto& a = resources(kind);
            a.pop_back();
            a.back() = Rec{};
        } else if constexpr (std::is_same_v<Rec, CloudRecord>) {
            auto& a = clouds(kind);
            a.pop_back();
            a.back() = Rec{};
        } else if constexpr (std::is_same_v<Rec, PropRecord>) {
            auto& a = props(kind);
            a.pop_back();
            a.back() = Rec{};
        } else if constexpr (std::is_same_v<Rec, ShipRecord>) {
            m_ships.pop_back();
            m_ships.back() = Rec{};
        }
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
    switch (kind) {
    case ItemKind::PlayerStart:
        return 0;
    case ItemKind::Asteroid:
    case ItemKind::Salvage:
        return static_cast<int>(resources(kind).size()) - 1;
    case ItemKind::Cloud:
    case ItemKind::DustCloud:
    case ItemKind::Nebula:
        return static_cast<int>(clouds(kind).size()) - 1;
    case ItemKind::Megalith:
    case ItemKind::Pebble:
        return static_cast<int>(props(kind).size()) - 1;
    case ItemKind::Ship:
        break;
    }
    return static_cast<int>(m_ships.size()) - 1;
}

bool LevelDocument::exists(ItemKind kind, int arrayId) const
{
    if (arrayId < 0)
        return false;
    if (kind == ItemKind::PlayerStart)
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
    if (kind == ItemKind::PlayerStart) {
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
    if (kind == ItemKind::Asteroid)
        return m_asteroids;
    if (kind == ItemKind::Salvage)
        return m_salvage;
    wrongLayout(kind);
}

const std::vector<ResourceRecord>& LevelDocument::resources(ItemKind kind) const
{
    return const_cast<LevelDocument*>(this)->resources(kind);
}

std::vector<CloudRecord>& LevelDocument::clouds(ItemKind kind)
{
    if (kind == ItemKind::Cloud)
        return m_clouds;
    if (kind == ItemKind::DustCloud)
        return m_dustClouds;
    if (kind == ItemKind::Nebula)
        return m_nebulae;
    wrongLayout(kind);
}

const std::vector<CloudRecord>& LevelDocument::clouds(ItemKind kind) const
{
    return const_cast<LevelDocument*>(this)->clouds(kind);
}

std::vector<PropRecord>& LevelDocument::props(ItemKind kind)
{
    if (kind == ItemKind::Megalith)
        return m_megaliths;
    if (kind == ItemKind::Pebble)
        return m_pebbles;
    wrongLayout(kind);
}

const std::vector<PropRecord>& LevelDocument::props(ItemKind kind) const
{
    return const_cast<LevelDocument*>(this)->props(kind);
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
