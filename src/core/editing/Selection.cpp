#include "Selection.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace starloom {

std::optional<ItemPosition> rowPosition(const Level& level, int row)
{
    if (row < 0 || row >= static_cast<int>(level.rows.size()))
        return std::nullopt;
    const ObjectRow& r = level.rows[static_cast<std::size_t>(row)];
    if (!level.document.exists(r.kind, r.arrayId))
        return std::nullopt;
    return level.document.position(r.kind, r.arrayId);
}

int itemAt(const Level& level, const ViewScale& top, QSize pixels, QPointF pixel, double tolerance)
{
    if (pixels.isEmpty() || top.width() == 0 || top.height() == 0)
        return -1;
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    const double limit = tolerance * tolerance;
    for (int row = 0; row < static_cast<int>(level.rows.size()); ++row) {
        const std::optional<ItemPosition> p = rowPosition(level, row);
        if (!p)
            continue;
        const QPointF at = top.toPixel(p->x, p->y, pixels);
        const double dx = at.x() - pixel.x();
        const double dy = at.y() - pixel.y();
        const double d = dx * dx + dy * dy;
        if (d <= limit && d <= bestDistance) {
            best = row;
            bestDistance = d;
        }
    }
    return best;
}

std::vector<int> rowsInRect(const Level& level, const QRectF& world)
{
    const QRectF r = world.normalized();
    std::vector<int> rows;
    for (int row = 0; row < static_cast<int>(level.rows.size()); ++row) {
        const std::optional<ItemPosition> p = rowPosition(level, row);
        if (p && p->x >= r.left() && p->x <= r.right() && p->y >= r.top() && p->y <= r.bottom())
            rows.push_back(row);
    }
    return rows;
}

double distance3D(const ItemPosition& a, const ItemPosition& b)
{
    const double dx = double(a.x) - double(b.x);
    const double dy = double(a.y) - double(b.y);
    const double dz = double(a.z) - double(b.z);
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

std::vector<int> normalisedRows(const Level& level, std::vector<int> rows)
{
    const int count = static_cast<int>(level.rows.size());
    std::erase_if(rows, [count](int r) { return r < 0 || r >= count; });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

} // namespace starloom
