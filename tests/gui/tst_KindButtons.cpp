// The window builds its kind buttons and its Labels entries from the kind table: every row has
// both, whatever rows the table holds.

#include "GuiFixture.h"

#include <QRadioButton>

#include <string>

namespace starloom::test {
namespace {

using KindButtonsTest = GuiTest;

TEST_F(KindButtonsTest, EveryKindHasAnOptionButtonThatChoosesIt)
{
    for (const KindInfo& info : kindTable) {
        const std::string name = "Option" + std::to_string(typeIdOf(info.kind));
        auto* button = find<QRadioButton>(name.c_str());
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QLatin1String(info.caption));
        click(name.c_str());
        EXPECT_EQ(editor().checkedKind(), std::optional<ItemKind>(info.kind)) << info.name;
        EXPECT_TRUE(button->isChecked()) << info.name;
    }
}

TEST_F(KindButtonsTest, EveryKindHasALabelsEntryShowingItsDefault)
{
    for (const KindInfo& info : kindTable) {
        const std::string name = "mnuLabelsHide_" + std::to_string(typeIdOf(info.kind));
        auto* entry = find<QAction>(name.c_str());
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->text(), QLatin1String(info.labelsCaption));
        EXPECT_EQ(entry->isChecked(), info.labelShown) << info.name;
    }
}

} // namespace
} // namespace starloom::test
