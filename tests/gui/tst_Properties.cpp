// The Properties dock's value fields: named rotations, several items at once, Enter and leaving a
// field, refusals marked on the field. The editor does the work (tests/editing).

#include "GuiFixture.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace starloom::test {
namespace {

class PropertiesTest : public GuiTest {
protected:
    QLineEdit* field(int i) const { return find<QLineEdit>(QStringLiteral("Text1_%1").arg(i).toLatin1().constData()); }
    QLabel* caption(int i) const { return find<QLabel>(QStringLiteral("Label1_%1").arg(i).toLatin1().constData()); }
    // Places one item of the kind at each pixel (the kind's button first).
    void placeAt(const char* option, std::initializer_list<QPoint> pixels)
    {
        click(option);
        for (const QPoint p : pixels)
            clickTop(p);
    }
    void type(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        retype(edit, text);
    }
};

TEST_F(PropertiesTest, RotationFieldsAreLabelledByTheTurnTheyMake)
{
    placeAt("Option9", {{100, 100}});
    placeAt("Option1", {{300, 100}});
    clickListRow(0);
    EXPECT_EQ(find<QGroupBox>("Frame1")->title(), QStringLiteral("Edit Item"));
    const char* const shipLabels[] = {"Pitch (degrees)", "Roll (degrees)", "Yaw (degrees)", "Owner (player)"};
    const char* const shipCaptions[] = {"Orientation", "Rotation?", "Rotation?", "Player"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(caption(i)->text(), QLatin1String(shipLabels[i]));
        EXPECT_EQ(caption(i)->accessibleDescription(), QLatin1String(shipCaptions[i]));
        EXPECT_FALSE(caption(i)->toolTip().isEmpty());
        EXPECT_FALSE(field(i)->isReadOnly());
    }
    clickListRow(1);
    EXPECT_EQ(caption(0)->text(), QStringLiteral("Yaw (degrees)"));
    EXPECT_EQ(caption(1)->text() + u'|' + caption(2)->text(), QStringLiteral("Pitch (always 0)|Roll (always 0)"));
    EXPECT_EQ(caption(1)->accessibleDescription(), QStringLiteral("Rotation 1?"));
    EXPECT_FALSE(field(0)->isReadOnly());
    EXPECT_TRUE(field(1)->isReadOnly()) << "stored nowhere";
    EXPECT_TRUE(field(2)->isReadOnly());
}

TEST_F(PropertiesTest, SeveralSelectedItemsShowWhatTheyShareAndTakeATypedValueAsOneStep)
{
    placeAt("Option3", {{100, 100}, {200, 100}});
    placeAt("Option6", {{300, 100}});
    clickListRow(0);
    type(field(0), QStringLiteral("10"));
    QTest::keyClick(field(0), Qt::Key_Return);
    ASSERT_EQ(editor().document().clouds(ItemKind::Cloud)[0].red, 10);
    editor().selectAll();
    window->refresh();
    EXPECT_EQ(find<QGroupBox>("Frame1")->title(), QStringLiteral("Edit 3 Items"));
    EXPECT_EQ(caption(3)->text(), QStringLiteral("Size (world units)"));
    EXPECT_EQ(field(0)->text(), QString()) << "the reds differ";
    EXPECT_EQ(field(0)->placeholderText(), QStringLiteral("(several)"));
    EXPECT_EQ(field(1)->text(), QStringLiteral("128"));
    EXPECT_TRUE(find("cmdColourSelect")->isVisible());
    const int steps = editor().undoStack().count();
    type(field(3), QStringLiteral("400"));
    QTest::keyClick(field(3), Qt::Key_Return);
    EXPECT_EQ(editor().undoStack().count(), steps + 1);
    EXPECT_EQ(editor().document().clouds(ItemKind::Cloud)[0].size, 400);
    EXPECT_EQ(editor().document().clouds(ItemKind::Cloud)[1].size, 400);
    EXPECT_EQ(editor().document().clouds(ItemKind::Nebula)[0].size, 400);
    EXPECT_EQ(editor().panel().field(3).text, QStringLiteral("100")) << "the next placement's size stays";
    editor().undo();
    window->refresh();
    EXPECT_EQ(editor().document().clouds(ItemKind::Nebula)[0].size, 100);
    EXPECT_EQ(field(3)->text(), QStringLiteral("100"));
}

TEST_F(PropertiesTest, MixedKindsShowOnlyThePosition)
{
    placeAt("Option2", {{100, 100}});
    placeAt("Option9", {{200, 100}});
    editor().selectAll();
    window->refresh();
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(field(i)->isVisible()) << i;
    EXPECT_TRUE(find("txtPosX")->isVisible());
    EXPECT_FALSE(find("cmdColourSelect")->isVisible());
}

TEST_F(PropertiesTest, LeavingAFieldStoresItsValue)
{
    placeAt("Option9", {{100, 100}});
    clickListRow(0);
    QApplication::setActiveWindow(window.get());
    type(field(2), QStringLiteral("90"));
    ASSERT_TRUE(field(2)->hasFocus());
    field(0)->setFocus();
    EXPECT_EQ(editor().document().ships()[0].rotation2, 90);
    EXPECT_EQ(editor().undoStack().undoText(), QStringLiteral("Set Yaw (degrees)"));
}

TEST_F(PropertiesTest, ATextTheFieldCannotTakeIsMarkedWithTheReasonAndKept)
{
    placeAt("Option9", {{100, 100}});
    clickListRow(0);
    const int steps = editor().undoStack().count();
    type(field(2), QStringLiteral("north"));
    QTest::keyClick(field(2), Qt::Key_Return);
    EXPECT_EQ(editor().undoStack().count(), steps);
    EXPECT_EQ(field(2)->text(), QStringLiteral("north"));
    EXPECT_EQ(field(2)->toolTip(), QStringLiteral("\"Yaw (degrees)\" must be a number."));
    retype(field(2), QStringLiteral("30"));
    QTest::keyClick(field(2), Qt::Key_Return);
    EXPECT_EQ(editor().document().ships()[0].rotation2, 30);
    EXPECT_FALSE(field(2)->toolTip().contains(QLatin1String("must be")));
    // While placing, the field is checked as the placement will take it.
    click("Option2");
    type(field(0), QStringLiteral("12x"));
    QTest::keyClick(field(0), Qt::Key_Return);
    EXPECT_EQ(field(0)->toolTip(), QStringLiteral("\"Resources (%)\" must be a number."));
    EXPECT_EQ(field(0)->text(), QStringLiteral("12x"));
}

} // namespace
} // namespace starloom::test
