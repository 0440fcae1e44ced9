// The editor's shape generator: a shape's points placed as items of the panel's kind and model.

#include "Editor.h"
#include "LevelEdits.h"
#include "Transforms.h"

#include "document/ItemFields.h"
#include "document/Numbers.h"

#include <cmath>

namespace starloom {

namespace {

const char* shapeName(ShapeKind kind)
{
    switch (kind) {
    case ShapeKind::Ring:
        return "Belt";
    case ShapeKind::Sphere:
        return "Sphere";
    case ShapeKind::Cluster:
        return "Cluster";
    case ShapeKind::Line:
        return "Line";
    case ShapeKind::Grid:
        return "Grid";
    case ShapeKind::Scatter:
        return "Scatter";
    }
    return "Shape";
}

std::int32_t worldUnits(double v)
{
    return toInt32Clamped(std::nearbyint(v));
}

} // namespace

int Editor::generateShape(const ShapeParams& shape, int players)
{
    const QString modelText = m_panel.modelText();
    if (!m_panel.kind || modelText.isEmpty()) {
        note(QStringLiteral("Select Type"));
        return 0;
    }
    const ItemKind kind = *m_panel.kind;
    if (kind == ItemKind::PlayerStart) {
        note(QStringLiteral("Start points are placed one by one: a shape is made of other items."));
        return 0;
    }
    const KindInfo& info = kindInfo(kind);
    const bool custom = info.hasCustom && m_panel.modelIsCustom();
    if (custom && !checkCustomName())
        return 0;
    AnyRecord base = blankRecord(kind);
    if (const QString error = storePanelFields(m_panel, kind, base, true); !error.isEmpty()) {
        note(error);
        return 0;
    }
    const QString customName = custom ? m_panel.customName : QString();
    base = asModel(
        std::move(base), static_cast<std::int16_t>(custom ? -1 : m_panel.modelIndex), customName, info.drawColour);
    // Each item's text as the Place tool names it, numbered where it lands.
    const QString text = placedItemText(kind, modelText, customName, 0);
    std::vector<NewItem> items;
    for (const ShapePoint& p : shapePoints(shape))
        items.push_back(
            {kind, atHeight(movedTo(base, worldUnits(p.x), worldUnits(p.y)), worldUnits(p.height)), text, 0});
    if (players >= 2 && players <= 8) {
        std::vector<NewItem> copies = rotatedCopies(items, players);
        items.insert(items.end(), std::make_move_iterator(copies.begin()), std::make_move_iterator(copies.end()));
    }
    if (items.empty())
        return 0;
    Additions added =
        additionSteps(m_level.document, takenSlots(m_level.document), static_cast<int>(m_level.rows.size()), items);
    const int placed = static_cast<int>(added.rows.size());
    if (placed > 0) {
        const QString name = QString::fromLatin1(shapeName(shape.kind));
        pushSelectionEdit(players >= 2 ? QStringLiteral("Generate %1 for %2 Players").arg(name).arg(players)
                                       : QStringLiteral("Generate %1").arg(name),
            std::move(added.steps), added.rows);
    }
    if (added.leftOut > 0)
        note(QStringLiteral("%1 of the %2 items were left out: a level holds at most %3 of each kind.")
                 .arg(added.leftOut)
                 .arg(items.size())
                 .arg(maxRecordsPerKind));
    return placed;
}

} // namespace starloom
