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
        if (!pickable(level.rows[static_cast<std::size_t>(row)]))
            continue;
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

int MarkIndex::cellOf(double pixel, int cells) const
{
    const double cell = std::floor((pixel + m_margin) / cellPixels);
    return static_cast<int>(std::clamp(cell, 0.0, double(cells - 1)));
}

void MarkIndex::build(const Level& level, const ViewScale& top, QSize pixels, double margin)
{
    m_marks.clear();
    m_cellStart.clear();
    m_pixels = pixels;
    m_margin = margin;
    if (pixels.isEmpty() || top.width() == 0 || top.height() == 0) {
        m_margin = -1; // nothing to find: every question goes to the walk
        return;
    }
    m_columns = static_cast<int>(std::ceil((pixels.width() + 2 * margin) / cellPixels)) + 1;
    m_lines = static_cast<int>(std::ceil((pixels.height() + 2 * margin) / cellPixels)) + 1;
    // The marks in the view with their cells, then sorted by cell (a counting sort keeps rows in order).
    std::vector<Mark> inView;
    std::vector<int> cells;
    inView.reserve(level.rows.size());
    cells.reserve(level.rows.size());
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(m_columns) * static_cast<std::size_t>(m_lines) + 1, 0);
    for (int row = 0; row < static_cast<int>(level.rows.size()); ++row) {
        if (!pickable(level.rows[static_cast<std::size_t>(row)]))
            continue;
        const std::optional<ItemPosition> p = rowPosition(level, row);
        if (!p)
            continue;
        const QPointF at = top.toPixel(p->x, p->y, pixels);
        if (!(at.x() >= -margin && at.x() <= pixels.width() + margin && at.y() >= -margin
                && at.y() <= pixels.height() + margin))
            continue;
        const int cell = cellOf(at.y(), m_lines) * m_columns + cellOf(at.x(), m_columns);
        inView.push_back({row, at.x(), at.y()});
        cells.push_back(cell);
        ++counts[static_cast<std::size_t>(cell) + 1];
    }
    for (std::size_t c = 1; c < counts.size(); ++c)
        counts[c] += counts[c - 1];
    m_cellStart = counts;
    m_marks.resize(inView.size());
    for (std::size_t i = 0; i < inView.size(); ++i)
        m_marks[counts[static_cast<std::size_t>(cells[i])]++] = inView[i];
}

std::optional<int> MarkIndex::at(QPointF pixel, double tolerance) const
{
    if (m_margin < 0 || tolerance > m_margin)
        return std::nullopt;
    // Every mark within the tolerance must lie where the index looked.
    if (!(pixel.x() - tolerance >= -m_margin && pixel.x() + tolerance <= m_pixels.width() + m_margin
            && pixel.y() - tolerance >= -m_margin && pixel.y() + tolerance <= m_pixels.height() + m_margin))
        return std::nullopt;
    const double limit = tolerance * tolerance;
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    const int top = cellOf(pixel.y() - tolerance, m_lines);
    const int bottom = cellOf(pixel.y() + tolerance, m_lines);
    const int left = cellOf(pixel.x() - tolerance, m_columns);
    const int right = cellOf(pixel.x() + tolerance, m_columns);
    for (int line = top; line <= bottom; ++line) {
        const std::size_t first = static_cast<std::size_t>(line) * static_cast<std::size_t>(m_columns);
        for (std::uint32_t i = m_cellStart[first + std::size_t(left)]; i < m_cellStart[first + std::size_t(right) + 1];
             ++i) {
            const Mark& m = m_marks[i];
            const double dx = m.x - pixel.x();
            const double dy = m.y - pixel.y();
            const double d = dx * dx + dy * dy;
            // Nearest first; of marks at the same distance the one drawn last, as the walk answers.
            if (d <= limit && (d < bestDistance || (d == bestDistance && m.row > best))) {
                best = m.row;
                bestDistance = d;
            }
        }
    }
    return best;
}

std::vector<int> rowsInRect(const Level& level, const QRectF& world)
{
    const QRectF r = world.normalized();
    std::vector<int> rows;
    for (int row = 0; row < static_cast<int>(level.rows.size()); ++row) {
        if (!pickable(level.rows[static_cast<std::size_t>(row)]))
            continue;
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
