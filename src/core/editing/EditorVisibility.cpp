// The Editor's hidden and locked items: marks on the rows that the map obeys and the level file
// never sees.

#include "Editor.h"
#include "Overloaded.h"

#include <algorithm>

namespace starloom {

bool Editor::rowHidden(int row) const
{
    return row >= 0 && row < static_cast<int>(m_level.rows.size())
        && m_level.rows[static_cast<std::size_t>(row)].hidden;
}

bool Editor::rowLocked(int row) const
{
    return row >= 0 && row < static_cast<int>(m_level.rows.size())
        && m_level.rows[static_cast<std::size_t>(row)].locked;
}

void Editor::setRowHidden(int row, bool hidden)
{
    if (row >= 0 && row < static_cast<int>(m_level.rows.size()))
        markRows(&ObjectRow::hidden, std::nullopt, row, hidden);
}

void Editor::setRowLocked(int row, bool locked)
{
    if (row >= 0 && row < static_cast<int>(m_level.rows.size()))
        markRows(&ObjectRow::locked, std::nullopt, row, locked);
}

void Editor::setKindHidden(ItemKind kind, bool hidden)
{
    markRows(&ObjectRow::hidden, kind, -1, hidden);
}

void Editor::setKindLocked(ItemKind kind, bool locked)
{
    markRows(&ObjectRow::locked, kind, -1, locked);
}

void Editor::markRows(bool ObjectRow::*mark, std::optional<ItemKind> kind, int onlyRow, bool on)
{
    auto markRow = [&](ObjectRow& row) {
        if (row.*mark == on)
            return false;
        countRow(row, -1);
        row.*mark = on;
        countRow(row, 1);
        return true;
    };
    bool changed = false;
    if (onlyRow >= 0) {
        changed = markRow(m_level.rows[static_cast<std::size_t>(onlyRow)]);
    } else {
        for (ObjectRow& row : m_level.rows) {
            if (row.kind == *kind)
                changed = markRow(row) || changed;
        }
    }
    if (!changed)
        return;
    // The map's index of marks is made again, and what is drawn.
    ++m_markChanges;
    redraw();
    if (!on || mark != &ObjectRow::hidden)
        return;
    std::vector<int> rows = m_selection.rows();
    const auto hidden = std::remove_if(
        rows.begin(), rows.end(), [this](int r) { return m_level.rows[static_cast<std::size_t>(r)].hidden; });
    if (hidden != rows.end()) {
        rows.erase(hidden, rows.end());
        setSelection(std::move(rows));
    }
    if (m_selection.hoveredRow() >= 0 && rowHidden(m_selection.hoveredRow()))
        m_selection.hover(-1);
}

bool Editor::rowMatches(int row, const QString& filter) const
{
    if (filter.isEmpty())
        return true;
    if (row < 0 || row >= static_cast<int>(m_level.rows.size()))
        return false;
    const ObjectRow& r = m_level.rows[static_cast<std::size_t>(row)];
    const KindInfo& info = kindInfo(r.kind);
    auto has = [&filter](const QString& text) { return text.contains(filter, Qt::CaseInsensitive); };
    if (has(r.text) || has(QLatin1String(info.caption)) || has(QLatin1String(info.countCaption)))
        return true;
    if (!m_level.document.exists(r.kind, r.arrayId))
        return false;
    return std::visit(Overloaded{
                          [](const PlayerStartRecord&) { return false; },
                          [&](const auto& record) {
                              return (!record.customName.isEmpty() && has(record.customName))
                                  || has(modelLists().entry(r.kind, record.modelIndex));
                          },
                      },
        m_level.document.record(r.kind, r.arrayId));
}

} // namespace starloom
