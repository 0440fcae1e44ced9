#include "RowChangeLog.h"

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

void RowChangeLog::add(RowChange change)
{
    m_changes.push_back(change);
    if (m_changes.size() > maxKept)
        m_changes.pop_front();
    ++m_serial;
}

std::vector<RowChange> RowChangeLog::since(quint64 serial) const
{
    if (serial >= m_serial)
        return {};
    const quint64 missing = m_serial - serial;
    if (missing > m_changes.size())
        return {RowChange{}};
    return {m_changes.end() - static_cast<std::ptrdiff_t>(missing), m_changes.end()};
}

} // namespace starloom
