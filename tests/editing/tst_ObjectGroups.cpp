// The object list grouped by kind, followed through rows coming and going.

#include "editing/ObjectGroups.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

using namespace starloom;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

constexpr ItemKind A = ItemKind::Asteroid;
constexpr ItemKind P = ItemKind::Pebble;
constexpr ItemKind S = ItemKind::PlayerStart;

// Groups made afresh over `kinds`, every row shown but those in `hidden`.
ObjectGroups groupsOf(const std::vector<ItemKind>& kinds, const std::vector<int>& hidden = {})
{
    ObjectGroups groups;
    groups.rebuild(
        static_cast<int>(kinds.size()), [&](int r) { return kinds[static_cast<std::size_t>(r)]; },
        [&](int r) { return std::find(hidden.begin(), hidden.end(), r) == hidden.end(); });
    return groups;
}

TEST(ObjectGroups, RowsAreGroupedByKindInTheirOrderWithEmptyGroupsLeftOut)
{
    const ObjectGroups groups = groupsOf({A, P, A, S, A}, {2});
    EXPECT_THAT(groups.rows(A), ElementsAre(0, 4));
    EXPECT_THAT(groups.rows(P), ElementsAre(1));
    EXPECT_THAT(groups.rows(S), ElementsAre(3));
    EXPECT_THAT(groups.rows(ItemKind::Ship), IsEmpty());
    EXPECT_THAT(groups.shownKinds(), ElementsAre(S, A, P));
    EXPECT_EQ(groups.groupPosition(S), 0);
    EXPECT_EQ(groups.groupPosition(A), 1);
    EXPECT_EQ(groups.groupPosition(ItemKind::Megalith), 2) << "an empty group counts where it would stand";
    EXPECT_EQ(groups.groupPosition(P), 2);
    EXPECT_EQ(groups.positionOf(A, 4), 1);
    EXPECT_EQ(groups.positionOf(A, 2), -1) << "filtered out";
    EXPECT_EQ(groups.positionOf(P, 0), -1) << "another kind's row";
}

// Each change made by shift, span and insert or erase ends as the groups made afresh over the
// changed rows.
TEST(ObjectGroups, FollowingInsertionsAndRemovalsGivesWhatARebuildGives)
{
    struct Case {
        const char* what;
        std::vector<ItemKind> before;
        bool insertion;
        int first;
        std::vector<ItemKind> changed; // the rows inserted, or the kinds of those removed
    };
    const Case cases[] = {
        {"insert at the front", {A, P, A}, true, 0, {P, A}},
        {"insert in the middle", {A, P, A}, true, 2, {A, A, S}},
        {"append", {A, P, A}, true, 3, {P}},
        {"into an empty list", {}, true, 0, {A, P}},
        {"remove from the front", {A, P, A, S}, false, 0, {A, P}},
        {"remove in the middle", {A, P, A, S, P}, false, 1, {P, A}},
        {"remove the tail", {A, P, A, S}, false, 2, {A, S}},
        {"remove everything", {A, P}, false, 0, {A, P}},
    };
    for (const Case& c : cases) {
        ObjectGroups groups = groupsOf(c.before);
        std::vector<ItemKind> after = c.before;
        const int count = static_cast<int>(c.changed.size());
        if (c.insertion) {
            after.insert(after.begin() + c.first, c.changed.begin(), c.changed.end());
            groups.shift(c.first, count);
            for (const ItemKind kind : allKinds) {
                std::vector<int> added;
                for (int r = c.first; r < c.first + count; ++r)
                    if (after[static_cast<std::size_t>(r)] == kind)
                        added.push_back(r);
                const auto [at, end] = groups.span(kind, c.first, 0);
                EXPECT_EQ(at, end) << c.what;
                groups.insert(kind, at, added);
            }
        } else {
            after.erase(after.begin() + c.first, after.begin() + c.first + count);
            for (const ItemKind kind : allKinds) {
                const auto [from, to] = groups.span(kind, c.first, count);
                groups.erase(kind, from, to - from);
            }
            groups.shift(c.first + count, -count);
        }
        const ObjectGroups fresh = groupsOf(after);
        for (const ItemKind kind : allKinds)
            EXPECT_EQ(groups.rows(kind), fresh.rows(kind)) << c.what << ", " << kindInfo(kind).name;
    }
}

} // namespace
