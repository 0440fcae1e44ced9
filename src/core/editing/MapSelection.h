#pragma once

#include <cstddef>
#include <vector>

namespace starloom {

// The rows selected on the map, sorted and without duplicates, and the one row the panel edits:
// with one row selected it is that row, with several none. The row under the pointer is kept here
// too, as the map highlights it the way it does the selection.
class MapSelection {
public:
    const std::vector<int>& rows() const { return m_rows; }
    bool empty() const { return m_rows.empty(); }
    std::size_t size() const { return m_rows.size(); }
    bool contains(int row) const;
    // The row the panel edits, -1 when none.
    int editedRow() const { return m_edited; }

    // Nothing selected, nothing edited.
    void clear();
    // Only `row`, which the panel then edits; a row outside [0, rowCount) clears the selection.
    void selectOnly(int row, int rowCount);
    // `rows`, sorted and without duplicates; several rows or none leave none edited, one keeps
    // the edited row as it is.
    void setRows(std::vector<int> rows);

    // The row whose mark is under the pointer, -1 when none; true when it changed.
    int hoveredRow() const { return m_hovered; }
    bool hover(int row);

private:
    std::vector<int> m_rows;
    int m_edited = -1;
    int m_hovered = -1;
};

} // namespace starloom
