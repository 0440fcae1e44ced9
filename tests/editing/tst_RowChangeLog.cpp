// The object list's change log: what a view of the list follows instead of guessing from the rows.

#include "EditorFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace starloom;
using namespace starloom::test;
using testing::ElementsAre;

namespace {

RowChange inserted(int first, int count = 1)
{
    return {RowChange::Type::Inserted, first, count};
}
RowChange removed(int first, int count = 1)
{
    return {RowChange::Type::Removed, first, count};
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
    // The two placements touch: with no view reading between them, they are one change.
    EXPECT_THAT(editor->rowChanges().since(start), ElementsAre(inserted(0, 2), removed(0), inserted(0)));
}

TEST(RowChangeLog, ChangesThatTouchAreJoinedUntilAViewReads)
{
    struct Case {
        const char* name;
        std::vector<RowChange> made;
        std::vector<RowChange> told;
    };
    const std::vector<Case> cases{
        {"appended one by one", {inserted(5), inserted(6), inserted(7)}, {inserted(5, 3)}},
        {"inserted each before the last", {inserted(5), inserted(5), inserted(5)}, {inserted(5, 3)}},
        {"inserted among those just inserted", {inserted(5, 4), inserted(7, 2)}, {inserted(5, 6)}},
        {"inserted apart", {inserted(5), inserted(7)}, {inserted(5), inserted(7)}},
        {"removed from the end back", {removed(9), removed(8), removed(7)}, {removed(7, 3)}},
        {"removed at one place", {removed(3), removed(3), removed(3)}, {removed(3, 3)}},
        {"removed on both sides", {removed(5, 2), removed(2, 5)}, {removed(2, 7)}},
        {"removed apart", {removed(3), removed(5)}, {removed(3), removed(5)}},
        {"inserted then removed", {inserted(3), removed(3)}, {inserted(3), removed(3)}},
        {"reset twice", {RowChange{}, RowChange{}}, {RowChange{}, RowChange{}}},
    };
    for (const Case& c : cases) {
        RowChangeLog log;
        const quint64 start = log.serial();
        for (const RowChange& change : c.made) {
            if (change.type == RowChange::Type::Inserted)
                log.inserted(change.first, change.count);
            else if (change.type == RowChange::Type::Removed)
                log.removed(change.first, change.count);
            else
                log.reset();
        }
        EXPECT_EQ(log.since(start), c.told) << c.name;
        EXPECT_EQ(log.serial() - start, c.told.size()) << c.name;
    }
    // A view that has read the log is told what came after, not a change joined to what it knows.
    RowChangeLog log;
    log.inserted(0, 1);
    const quint64 read = log.serial();
    log.inserted(1, 1);
    EXPECT_THAT(log.since(read), ElementsAre(inserted(1)));
}

TEST(RowChangeLog, AViewTooFarBehindIsToldToReset)
{
    RowChangeLog log;
    for (int i = 0; i < 100; ++i) {
        log.inserted(i, 1);
        log.serial(); // read by a view after each
    }
    log.removed(5, 0); // no rows: no change
    EXPECT_EQ(log.serial(), 100u);
    EXPECT_THAT(log.since(0), ElementsAre(RowChange{}));
    EXPECT_THAT(log.since(99), ElementsAre(inserted(99)));
    EXPECT_THAT(log.since(100), testing::IsEmpty());
}
