#include "RowChangeLog.h"

#include <algorithm>

namespace starloom {

void RowChangeLog::inserted(int first, int count)
{
    if (count > 0)
        add({RowChange::Type::Inserted, first, count});
}

void RowChangeLog::removed(int first, int count)
{
    if (count > 0)
        add({RowChange::Type::Removed, first, count});
}

void RowChangeLog::reset()
{
    add({RowChange::Type::Reset, 0, 0});
}

namespace {

// `next` joined to `last` when the rows of both make one block: rows inserted beside or among the
// rows just inserted, or rows removed next to where rows were just removed.
bool join(RowChange& last, const RowChange& next)
{
    if (last.type != next.type || last.type == RowChange::Type::Reset)
        return false;
    const bool touches = last.type == RowChange::Type::Inserted
        ? next.first >= last.first && next.first <= last.first + last.count
        : last.first >= next.first && last.first <= next.first + next.count;
    if (!touches)
        return false;
    last.first = std::min(last.first, next.first);
    last.count += next.count;
    return true;
}

} // namespace

void RowChangeLog::add(RowChange change)
{
    if (!m_changes.empty() && m_read < m_serial && join(m_changes.back(), change))
        return;
    m_changes.push_back(change);
    if (m_changes.size() > maxKept)
        m_changes.pop_front();
    ++m_serial;
}

std::vector<RowChange> RowChangeLog::since(quint64 serial) const
{
    m_read = m_serial;
    if (serial >= m_serial)
        return {};
    const quint64 missing = m_serial - serial;
    if (missing > m_changes.size())
        return {RowChange{}};
    return {m_changes.end() - static_cast<std::ptrdiff_t>(missing), m_changes.end()};
}

} // namespace starloom
