#pragma once

#include <QtGlobal>

#include <cstdint>
#include <deque>
#include <vector>

namespace starloom {

// One change of the object list: rows inserted at `first`, rows removed from `first`, or every
// row replaced.
struct RowChange {
    enum class Type : std::uint8_t { Inserted, Removed, Reset };
    Type type = Type::Reset;
    int first = 0;
    int count = 0;

    bool operator==(const RowChange&) const = default;
};

// The changes of the object list in the order they were made, numbered, so that a view of the
// list follows them instead of guessing them from the rows. Changes made one after another with
// no view reading in between are joined where they touch (a big step of thousands of rows is one
// change of thousands, not thousands of changes). Only the latest changes are kept: a view that
// is further behind is told to reset.
class RowChangeLog {
public:
    void inserted(int first, int count);
    void removed(int first, int count);
    void reset();

    // The number of changes recorded so far: what a view remembers after it followed them.
    quint64 serial() const
    {
        m_read = m_serial;
        return m_serial;
    }
    // The changes made after `serial`, in order; a single Reset when some are no longer kept.
    std::vector<RowChange> since(quint64 serial) const;

private:
    void add(RowChange change);

    static constexpr std::size_t maxKept = 64;
    std::deque<RowChange> m_changes; // the last changes, the newest last
    quint64 m_serial = 0;
    mutable quint64 m_read = 0; // the serial a view last read: the change before it stays whole
};

} // namespace starloom
