// The selection's own rules: which row the panel edits as rows come and go from the selection.

#include "editing/MapSelection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace starloom;
using testing::ElementsAre;
using testing::IsEmpty;

TEST(MapSelectionTest, OneRowSelectedIsTheRowThePanelEdits)
{
    struct Case {
        int row;
        int rowCount;
        int edited;
    };
    for (const Case c : {Case{0, 1, 0}, Case{4, 5, 4}, Case{5, 5, -1}, Case{-1, 5, -1}, Case{0, 0, -1}}) {
        MapSelection selection;
        selection.setRows({1, 2});
        selection.selectOnly(c.row, c.rowCount);
        EXPECT_EQ(selection.editedRow(), c.edited) << c.row << " of " << c.rowCount;
        EXPECT_EQ(selection.size(), c.edited >= 0 ? 1U : 0U) << c.row << " of " << c.rowCount;
    }
}

TEST(MapSelectionTest, SeveralRowsOrNoneLeaveNoRowEdited)
{
    MapSelection selection;
    selection.selectOnly(3, 10);
    selection.setRows({3, 7});
    EXPECT_EQ(selection.editedRow(), -1);
    EXPECT_TRUE(selection.contains(7));
    EXPECT_FALSE(selection.contains(5));

    selection.selectOnly(3, 10);
    selection.setRows({});
    EXPECT_EQ(selection.editedRow(), -1);
    EXPECT_THAT(selection.rows(), IsEmpty());
}

TEST(MapSelectionTest, ARestoredSingleRowKeepsTheEditedRow)
{
    // Undo selects the row a step edited, then gives back the rows selected with it.
    MapSelection selection;
    selection.selectOnly(2, 10);
    selection.setRows({2});
    EXPECT_EQ(selection.editedRow(), 2);
    EXPECT_THAT(selection.rows(), ElementsAre(2));
}

TEST(MapSelectionTest, HoverSaysWhenTheRowUnderThePointerChanged)
{
    MapSelection selection;
    EXPECT_EQ(selection.hoveredRow(), -1);
    EXPECT_TRUE(selection.hover(4));
    EXPECT_FALSE(selection.hover(4));
    EXPECT_TRUE(selection.hover(-1));
    selection.clear();
    EXPECT_EQ(selection.hoveredRow(), -1);
}
