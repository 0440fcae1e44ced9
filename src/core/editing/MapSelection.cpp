#include "MapSelection.h"

#include <algorithm>
#include <utility>

namespace starloom {

bool MapSelection::contains(int row) const
{
    return std::binary_search(m_rows.begin(), m_rows.end(), row);
}

void MapSelection::clear()
{
    m_rows.clear();
    m_edited = -1;
}

void MapSelection::selectOnly(int row, int rowCount)
{
    m_edited = row >= 0 && row < rowCount ? row : -1;
    m_rows.clear();
    if (m_edited >= 0)
        m_rows.push_back(m_edited);
}

void MapSelection::setRows(std::vector<int> rows)
{
    m_rows = std::move(rows);
    if (m_rows.size() != 1)
        m_edited = -1;
}

bool MapSelection::hover(int row)
{
    return std::exchange(m_hovered, row) != row;
}

} // namespace starloom
