#include "LevelEdits.h"

#include <QStringList>

#include <algorithm>
#include <type_traits>

namespace starloom {

AnyRecord movedTo(AnyRecord record, std::int32_t x, std::int32_t y)
{
    std::visit(
        [x, y](auto& r) {
            r.posX = x;
            r.posY = y;
        },
        record);
    return record;
}

AnyRecord atHeight(AnyRecord record, std::int32_t z)
{
    std::visit([z](auto& r) { r.posZ = z; }, record);
    return record;
}

AnyRecord asModel(AnyRecord record, std::int16_t model, const QString& customName, std::int32_t drawColour)
{
    std::visit(
        [&](auto& r) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(r)>, PlayerStartRecord>) {
                r.modelIndex = model;
                r.customName = customName;
                r.drawColour = drawColour;
            }
        },
        record);
    return record;
}

AnyRecord deletedRecord(AnyRecord record)
{
    std::visit(
        [](auto& r) {
            if constexpr (std::is_same_v<std::decay_t<decltype(r)>, PlayerStartRecord>)
                r.label.clear();
            else
                r.deleted = recordDeleted;
        },
        record);
    return record;
}

AnyRecord ofPlayer(AnyRecord record, std::int16_t player)
{
    if (auto* ship = std::get_if<ShipRecord>(&record))
        ship->player = player;
    return record;
}

std::vector<EditStep> dropStartsSteps(const Level& level, const std::vector<int>& slots)
{
    std::vector<EditStep> steps;
    for (const int slot : slots) {
        const PlayerStartRecord& before = level.document.player(slot);
        steps.push_back(
            RecordStep{ItemKind::PlayerStart, static_cast<std::int16_t>(slot), before, deletedRecord(before)});
    }
    for (int r = static_cast<int>(level.rows.size()) - 1; r >= 0; --r) {
        const ObjectRow& row = level.rows[static_cast<std::size_t>(r)];
        if (row.kind == ItemKind::PlayerStart && std::find(slots.begin(), slots.end(), row.arrayId) != slots.end())
            steps.push_back(RowRemoveStep{r, row});
    }
    return steps;
}

QString placedItemText(ItemKind kind, const QString& modelText, const QString& customName, int index)
{
    const bool custom = !customName.isEmpty();
    if (kind == ItemKind::PlayerStart)
        return modelText + QStringLiteral(" start");
    if (kind == ItemKind::Megalith)
        return modelText;
    if (kind == ItemKind::Ship)
        return custom ? customName : modelText;
    const QString number = QString::number(index + 1);
    if (custom)
        return customName + QStringLiteral(" #") + number;
    return QString::fromLatin1(kindInfo(kind).itemText) + number;
}

QString playerNames(const std::vector<int>& slots)
{
    QStringList names;
    for (const int slot : slots)
        names << QStringLiteral("Player %1").arg(slot + 1);
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

} // namespace starloom
