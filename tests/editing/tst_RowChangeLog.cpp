// The object list's change log: what a view of the list follows instead of guessing from the rows.

#include "EditorFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace starloom;
using namespace starloom::test;
using testing::ElementsAre;

namespace {

RowChange inserted(int first)
{
    return {RowChange::Type::Inserted, first, 1};
}
RowChange removed(int first)
{
    return {RowChange::Type::Removed, first, 1};
}

} // namespace

TEST_F(EditorTest, TheRowChangeLogTellsWhichRowsCameOrWentInOrder)
{
    const quint64 start = editor->rowChanges().serial();
    place(ItemKind::Asteroid, 0, 0);
    place(ItemKind::Cloud, 1000, 1000);
    edit(0);
    editor->deleteObject();
    editor->undoStack().undo();
    EXPECT_THAT(editor->rowChanges().since(start), ElementsAre(inserted(0), inserted(1), removed(0), inserted(0)));
}

TEST(RowChangeLog, AViewTooFarBehindIsToldToReset)
{
    RowChangeLog log;
    for (int i = 0; i < 100; ++i)
        log.inserted(i, 1);
    log.removed(5, 0); // no rows: no change
    EXPECT_EQ(log.serial(), 100u);
    EXPECT_THAT(log.since(0), ElementsAre(RowChange{}));
    EXPECT_THAT(log.since(99), ElementsAre(inserted(99)));
    EXPECT_THAT(log.since(100), testing::IsEmpty());
}
