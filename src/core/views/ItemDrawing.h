#pragma once

// How the view painters draw an item: the colours and sizes of marks and labels, the rounding of
// pixel coordinates, and the reading of an item's record for drawing (ItemReader). Used by the
// view painters only.

#include "document/ItemKind.h"
#include "document/LevelDocument.h"
#include "document/ObjectRow.h"
#include "views/ViewScale.h"

#include <QColor>
#include <QSize>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace starloom::mapdraw {

constexpr double playerRadius = 1000; // world units along the horizontal axis
constexpr int labelPadding = 1;       // pixels left and right of the caption
constexpr double labelOffset = 100;   // world units right of and below the item
// Past this, cloud discs that would cover a view that many times over are drawn more simply (the
// top view leaves them out, the 3-D view draws rings): each fill would cost a whole view.
constexpr double maxCloudCoverage = 8;

// Pixel coordinate as an int, kept well inside the range the raster engine handles.
inline int snap(double v)
{
    if (!(v > -1e6))
        return -1000000;
    if (!(v < 1e6))
        return 1000000;
    return static_cast<int>(std::floor(v));
}

inline bool usable(const ViewScale& scale, QSize pixels)
{
    return !pixels.isEmpty() && std::isfinite(scale.width()) && std::isfinite(scale.height()) && scale.width() != 0
        && scale.height() != 0;
}

// The kinds held in cloud records (clouds, dust clouds, nebulae), drawn as clouds.
inline bool isCloudKind(ItemKind kind)
{
    return kindInfo(kind).layout == RecordLayout::Cloud;
}

// What drawing needs of an item's record.
struct ItemView {
    ItemKind kind = ItemKind::PlayerStart;
    double x = 0;
    double y = 0;
    double z = 0;
    float orientation = 0;
    std::int32_t colour = 0;
    double size = 0; // clouds, dust clouds and nebulae
    QColor cloudColour;
};

// Reads the items the rows name. How many records each kind holds is asked once, since a paint
// changes none.
class ItemReader {
public:
    explicit ItemReader(const LevelDocument& document) : m_document(document)
    {
        m_counts[static_cast<std::size_t>(typeIdOf(ItemKind::PlayerStart))] = playerSlots;
        for (ItemKind kind : arrayKinds)
            m_counts[static_cast<std::size_t>(typeIdOf(kind))] = document.itemCount(kind);
    }

    // False when the row names no record (as LevelDocument::exists).
    bool read(const ObjectRow& row, ItemView& out) const
    {
        const int typeId = typeIdOf(row.kind);
        if (!isTypeId(typeId) || row.arrayId < 0 || row.arrayId >= m_counts[static_cast<std::size_t>(typeId)])
            return false;
        out.kind = row.kind;
        out.orientation = 0;
        out.size = 0;
        m_document.visit(row.kind, row.arrayId, [&out](const auto& record) {
            out.x = record.posX;
            out.y = record.posY;
            out.z = record.posZ;
            out.colour = record.drawColour;
            using Rec = std::decay_t<decltype(record)>;
            if constexpr (std::is_same_v<Rec, PlayerStartRecord>)
                out.orientation = record.orientation;
            if constexpr (std::is_same_v<Rec, CloudRecord>) {
                out.size = record.size;
                out.cloudColour = QColor(std::clamp<int>(record.red, 0, 255), std::clamp<int>(record.green, 0, 255),
                    std::clamp<int>(record.blue, 0, 255));
            }
        });
        return true;
    }

private:
    const LevelDocument& m_document;
    ByTypeId<int> m_counts{};
};

} // namespace starloom::mapdraw
