#pragma once

#include "document/ItemKind.h"

#include <functional>
#include <vector>

namespace starloom {

// The object list grouped by kind: for each kind, the rows of that kind that the filter lets
// through, in the rows' order. It follows rows coming and going (the rows after them shift) without
// being made again, so that a view of it can be told each group's change on its own.
class ObjectGroups {
public:
    // The rows of `kind` shown, in order.
    const std::vector<int>& rows(ItemKind kind) const { return m_groups.at(static_cast<std::size_t>(typeIdOf(kind))); }
    // The kinds with rows shown, in the kinds' order: the groups a view lists.
    std::vector<ItemKind> shownKinds() const;
    // Where the group of `kind` stands among the shown groups (counting those before it that have
    // rows), whether or not it has rows itself.
    int groupPosition(ItemKind kind) const;
    // The position of `row` in the group of `kind`; -1 when it is not shown.
    int positionOf(ItemKind kind, int row) const;

    // Every row of `rowCount` rows, each of kind `kindOf(row)`, shown when `shown(row)`.
    void rebuild(int rowCount, const std::function<ItemKind(int)>& kindOf, const std::function<bool(int)>& shown);

    // The rows from `first` on move `by` rows (count rows inserted before them: count; removed:
    // -count). The positions within the groups stay.
    void shift(int first, int by);
    // The range [first, position) of the group of `kind` that holds rows in [first, first + count):
    // where the rows of a removal stand, or where the rows of an insertion go.
    std::pair<int, int> span(ItemKind kind, int first, int count) const;
    // `rows` (sorted, all of `kind`, none of them listed yet) into the group of `kind` at `position`.
    void insert(ItemKind kind, int position, const std::vector<int>& rows);
    // `count` rows of the group of `kind` from `position` on.
    void erase(ItemKind kind, int position, int count);

private:
    std::vector<int>& group(ItemKind kind) { return m_groups.at(static_cast<std::size_t>(typeIdOf(kind))); }
    ByTypeId<std::vector<int>> m_groups;
};

} // namespace starloom
