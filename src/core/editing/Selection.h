#pragma once

#include "document/Level.h"
#include "views/ViewScale.h"

#include <QPointF>
#include <QRectF>
#include <QSize>

#include <optional>
#include <vector>

namespace starloom {

// Finding and measuring the items of a level by where they are. A row stands for its item; rows
// whose record does not exist are never found.

// The position of the item of `row`, nullopt when the row names no record.
std::optional<ItemPosition> rowPosition(const Level& level, int row);

// The row whose mark in the top view lies nearest to `pixel`, no further than `tolerance` pixels;
// among marks at the same distance the one drawn last (the highest row). -1 when none.
int itemAt(const Level& level, const ViewScale& top, QSize pixels, QPointF pixel, double tolerance = 5);

// The rows whose items lie inside `world` (a rectangle of the top view, edges included), in order.
std::vector<int> rowsInRect(const Level& level, const QRectF& world);

// The distance between two positions in 3-D, in world units.
double distance3D(const ItemPosition& a, const ItemPosition& b);

// `rows` sorted, without duplicates and without rows outside the level.
std::vector<int> normalisedRows(const Level& level, std::vector<int> rows);

} // namespace starloom
