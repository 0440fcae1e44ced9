#pragma once

#include "document/Level.h"
#include "views/ViewScale.h"

#include <QPointF>
#include <QRectF>
#include <QSize>

#include <cstdint>
#include <optional>
#include <vector>

namespace starloom {

// Finding and measuring the items of a level by where they are. A row stands for its item; rows
// whose record does not exist, and hidden or locked rows, are never found.

// The position of the item of `row`, nullopt when the row names no record.
std::optional<ItemPosition> rowPosition(const Level& level, int row);

// The row whose mark in the top view lies nearest to `pixel`, no further than `tolerance` pixels;
// among marks at the same distance the one drawn last (the highest row). -1 when none.
int itemAt(const Level& level, const ViewScale& top, QSize pixels, QPointF pixel, double tolerance = 5);

// The marks of the top view sorted into cells of a few pixels, so that the item under the pointer
// is found among the marks near it instead of by walking every row. Made once for a level, a view
// and its size, then asked as often as the pointer moves.
class MarkIndex {
public:
    // Sorts in every row whose mark lies within `margin` pixels of the view `pixels`.
    void build(const Level& level, const ViewScale& top, QSize pixels, double margin);
    // itemAt's answer for the level, view and size built from, or nullopt when marks the index
    // left out could be within `tolerance` of `pixel` (far outside the view, a tolerance over the
    // margin, or nothing built).
    std::optional<int> at(QPointF pixel, double tolerance) const;

private:
    struct Mark {
        int row;
        double x, y; // in pixels
    };
    static constexpr double cellPixels = 16;
    int cellOf(double pixel, int cells) const;
    QSize m_pixels;
    double m_margin = -1;
    int m_columns = 0;
    int m_lines = 0;
    std::vector<std::uint32_t> m_cellStart; // the marks of cell c are m_marks[m_cellStart[c] .. m_cellStart[c + 1])
    std::vector<Mark> m_marks;
};

// The rows whose items lie inside `world` (a rectangle of the top view, edges included), in order.
std::vector<int> rowsInRect(const Level& level, const QRectF& world);

// The distance between two positions in 3-D, in world units.
double distance3D(const ItemPosition& a, const ItemPosition& b);

// `rows` sorted, without duplicates and without rows outside the level.
std::vector<int> normalisedRows(const Level& level, std::vector<int> rows);

} // namespace starloom
