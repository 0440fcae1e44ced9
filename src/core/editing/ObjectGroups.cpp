#include "ObjectGroups.h"

#include <algorithm>

namespace starloom {

std::vector<ItemKind> ObjectGroups::shownKinds() const
{
    std::vector<ItemKind> kinds;
    for (const ItemKind kind : allKinds)
        if (!rows(kind).empty())
            kinds.push_back(kind);
    return kinds;
}

int ObjectGroups::groupPosition(ItemKind kind) const
{
    int position = 0;
    for (const ItemKind k : allKinds) {
        if (k == kind)
            break;
        position += rows(k).empty() ? 0 : 1;
    }
    return position;
}

int ObjectGroups::positionOf(ItemKind kind, int row) const
{
    const std::vector<int>& g = rows(kind);
    const auto it = std::lower_bound(g.begin(), g.end(), row);
    return it != g.end() && *it == row ? static_cast<int>(it - g.begin()) : -1;
}

void ObjectGroups::rebuild(
    int rowCount, const std::function<ItemKind(int)>& kindOf, const std::function<bool(int)>& shown)
{
    for (std::vector<int>& g : m_groups)
        g.clear();
    for (int row = 0; row < rowCount; ++row)
        if (shown(row))
            group(kindOf(row)).push_back(row);
}

void ObjectGroups::shift(int first, int by)
{
    for (std::vector<int>& g : m_groups)
        for (auto it = std::lower_bound(g.begin(), g.end(), first); it != g.end(); ++it)
            *it += by;
}

std::pair<int, int> ObjectGroups::span(ItemKind kind, int first, int count) const
{
    const std::vector<int>& g = rows(kind);
    const auto from = std::lower_bound(g.begin(), g.end(), first);
    const auto to = std::lower_bound(from, g.end(), first + count);
    return {static_cast<int>(from - g.begin()), static_cast<int>(to - g.begin())};
}

void ObjectGroups::insert(ItemKind kind, int position, const std::vector<int>& rows)
{
    std::vector<int>& g = group(kind);
    g.insert(g.begin() + position, rows.begin(), rows.end());
}

void ObjectGroups::erase(ItemKind kind, int position, int count)
{
    std::vector<int>& g = group(kind);
    g.erase(g.begin() + position, g.begin() + position + count);
}

} // namespace starloom
