// The properties panel's value fields: their names, the values several selected items share, and
// a value typed once for all of them.

#include "EditorFixture.h"

#include <QStringList>

#include <vector>

namespace starloom::test {
namespace {

class EditorProperties : public EditorTest {
protected:
    // The selection's fields as "label=text", "(several)" where the items differ.
    QString shown() const
    {
        QStringList parts;
        for (const SharedField& f : editor->selectionFields())
            parts << f.label + u'=' + f.text.value_or(QStringLiteral("(several)"));
        return parts.join(u' ');
    }
    // A new level with one item of each kind given, each at its own place, all selected.
    void placeAndSelect(const std::vector<ItemKind>& kinds)
    {
        editor->newLevel();
        double x = 0;
        for (const ItemKind kind : kinds)
            place(kind, x += 1000, 0);
        editor->selectAll();
    }
};

TEST_F(EditorProperties, EachRotationIsNamedByTheTurnTheGameMakes)
{
    struct Case {
        ItemKind kind;
        int field;
        const char* caption; // the panel's original caption, kept
        const char* label;
        bool stored;
    };
    const Case cases[] = {
        {ItemKind::PlayerStart, 0, "Orientation", "Yaw (degrees)", true},
        {ItemKind::PlayerStart, 1, "Rotation 1?", "Pitch (always 0)", false},
        {ItemKind::PlayerStart, 2, "Rotation 2?", "Roll (always 0)", false},
        {ItemKind::Ship, 0, "Orientation", "Pitch (degrees)", true},
        {ItemKind::Ship, 1, "Rotation?", "Roll (degrees)", true},
        {ItemKind::Ship, 2, "Rotation?", "Yaw (degrees)", true},
        {ItemKind::Ship, 3, "Player", "Owner (player)", true},
        {ItemKind::Asteroid, 0, "% RUs", "Resources (%)", true},
        {ItemKind::Nebula, 0, "Red [0-255]", "Red [0-255]", true},
    };
    for (const Case& c : cases) {
        place(c.kind, 0, 0);
        edit(static_cast<int>(editor->rows().size()) - 1);
        const PanelField& f = editor->panel().field(c.field);
        EXPECT_EQ(f.caption, QLatin1String(c.caption)) << c.label;
        EXPECT_EQ(f.label, QLatin1String(c.label));
        EXPECT_EQ(f.stored, c.stored) << c.label;
        EXPECT_FALSE(f.tip.isEmpty()) << c.label;
    }
}

TEST_F(EditorProperties, AShipsYawIsTheMiddleAngleOfItsRotationInTheFile)
{
    // Headings turn about the vertical axis, the middle of {x, height, y}, as start points' do.
    placeAndSelect({ItemKind::Ship, ItemKind::PlayerStart});
    editor->selectRow(0);
    EXPECT_EQ(editor->setSelectionField(2, QStringLiteral("45")), QString()); // yaw
    EXPECT_EQ(editor->setSelectionField(0, QStringLiteral("10")), QString()); // pitch
    EXPECT_EQ(editor->setSelectionField(1, QStringLiteral("-5")), QString()); // roll
    editor->selectRow(1);
    EXPECT_EQ(editor->setSelectionField(0, QStringLiteral("45")), QString());
    editor->selectAll();
    const QByteArray text = editor->copySelection();
    EXPECT_TRUE(text.contains("{10, 45, -5}")) << text.toStdString();
    EXPECT_TRUE(text.contains("{0, 45, 0}")) << text.toStdString();
}

TEST_F(EditorProperties, SeveralItemsShowTheFieldsTheyAllHaveWithTheValuesTheyShare)
{
    struct Case {
        std::vector<ItemKind> kinds;
        const char* expected;
    };
    using K = ItemKind;
    const Case cases[] = {
        {{K::Asteroid, K::Asteroid}, "Resources (%)=100"},
        {{K::Asteroid, K::Salvage}, "Resources (%)=100"},
        {{K::Cloud, K::Nebula, K::DustCloud},
            "Red [0-255]=128 Green [0-255]=128 Blue [0-255]=128 Size (world units)=100"},
        {{K::Ship, K::Ship}, "Pitch (degrees)=0 Roll (degrees)=0 Yaw (degrees)=0 Owner (player)=0"},
        {{K::PlayerStart}, "Yaw (degrees)=0"}, // pitch and roll are stored nowhere
        {{K::PlayerStart, K::Ship}, ""},       // "Orientation" of either stands for another turn
        {{K::Asteroid, K::Cloud}, ""},
        {{K::Megalith, K::Pebble}, ""},
        {{}, ""},
    };
    for (const Case& c : cases) {
        placeAndSelect(c.kinds);
        EXPECT_EQ(shown(), QLatin1String(c.expected)) << c.expected;
    }
}

TEST_F(EditorProperties, AValueTheItemsDoNotShareIsBlank)
{
    placeAndSelect({ItemKind::Cloud, ItemKind::Nebula});
    apply(1, {"10", nullptr, nullptr, "250"});
    editor->selectAll();
    EXPECT_EQ(shown(),
        QStringLiteral("Red [0-255]=(several) Green [0-255]=128 Blue [0-255]=128 "
                       "Size (world units)=(several)"));
}

TEST_F(EditorProperties, AValueTypedForSeveralItemsIsOneStepThatUndoRestoresForAll)
{
    placeAndSelect({ItemKind::Cloud, ItemKind::Cloud, ItemKind::Nebula});
    apply(0, {nullptr, nullptr, nullptr, "300"});
    apply(2, {nullptr, nullptr, nullptr, "700"});
    editor->selectAll();
    const int steps = editor->undoStack().count();
    EXPECT_EQ(editor->setSelectionField(3, QStringLiteral(" 450 ")), QString());
    EXPECT_EQ(editor->undoStack().count(), steps + 1);
    EXPECT_EQ(editor->undoStack().undoText(), QStringLiteral("Set Size (world units) of 3 Items"));
    EXPECT_EQ(doc().clouds(ItemKind::Cloud)[0].size, 450);
    EXPECT_EQ(doc().clouds(ItemKind::Cloud)[1].size, 450);
    EXPECT_EQ(doc().clouds(ItemKind::Nebula)[0].size, 450);
    EXPECT_EQ(shown(), QStringLiteral("Red [0-255]=128 Green [0-255]=128 Blue [0-255]=128 Size (world units)=450"));
    editor->undo();
    EXPECT_EQ(doc().clouds(ItemKind::Cloud)[0].size, 300);
    EXPECT_EQ(doc().clouds(ItemKind::Cloud)[1].size, 100);
    EXPECT_EQ(doc().clouds(ItemKind::Nebula)[0].size, 700);
    EXPECT_EQ(editor->selection(), (std::vector<int>{0, 1, 2}));
    editor->redo();
    EXPECT_EQ(doc().clouds(ItemKind::Nebula)[0].size, 450);
}

TEST_F(EditorProperties, AValueTypedForOneEditedItemShowsAsStoredAndKeepsTheOtherTypedFields)
{
    place(ItemKind::Ship, 0, 0);
    edit(0);
    editor->setFieldText(0, QStringLiteral("12"));
    EXPECT_EQ(editor->setSelectionField(2, QStringLiteral("10.5")), QString());
    EXPECT_EQ(doc().ships()[0].rotation2, 10) << "halves to even";
    EXPECT_EQ(doc().ships()[0].orientation, 0) << "a field not yet entered is not stored";
    EXPECT_EQ(editor->panel().field(2).text, QStringLiteral("10"));
    EXPECT_EQ(editor->panel().field(0).text, QStringLiteral("12"));
    EXPECT_EQ(editor->undoStack().undoText(), QStringLiteral("Set Yaw (degrees)"));
    EXPECT_EQ(editor->mode(), EditorMode::Editing);
}

TEST_F(EditorProperties, ATextTheFieldCannotHoldIsRefusedWithItsReasonAndChangesNothing)
{
    struct Case {
        std::vector<ItemKind> kinds;
        int field;
        const char* text;
        const char* reason;
    };
    using K = ItemKind;
    const Case cases[] = {
        {{K::Ship, K::Ship}, 2, "north", "\"Yaw (degrees)\" must be a number."},
        {{K::Ship, K::Ship}, 1, "", "\"Roll (degrees)\" must be a number."},
        {{K::Ship, K::Ship}, 0, "12 degrees", "\"Pitch (degrees)\" must be a number."},
        {{K::Ship, K::Ship}, 3, "40000", "\"Owner (player)\" must lie between -32768 and 32767."},
        {{K::Ship}, 2, "2147483648", "\"Yaw (degrees)\" must lie between -2147483648 and 2147483647."},
        {{K::PlayerStart}, 0, "1e39", "\"Yaw (degrees)\" is too large."},
        {{K::Cloud, K::Nebula}, 1, "70000", "\"Green [0-255]\" must lie between -32768 and 32767."},
        {{K::Asteroid, K::Cloud}, 0, "5", "Not every selected item has \"Red [0-255]\"."},
        {{K::PlayerStart}, 1, "30", "Not every selected item has \"Pitch (always 0)\"."},
    };
    for (const Case& c : cases) {
        placeAndSelect(c.kinds);
        const LevelDocument before = doc();
        const int steps = editor->undoStack().count();
        EXPECT_EQ(editor->setSelectionField(c.field, QString::fromLatin1(c.text)), QLatin1String(c.reason)) << c.text;
        EXPECT_EQ(doc(), before) << c.text;
        EXPECT_EQ(editor->undoStack().count(), steps) << c.text;
    }
}

TEST_F(EditorProperties, ThePickedColourGoesToEverySelectedCloudAsOneStep)
{
    placeAndSelect({ItemKind::Cloud, ItemKind::DustCloud});
    const int steps = editor->undoStack().count();
    host.colourAnswers = {rgb(10, 20, 30)};
    editor->pickColour();
    EXPECT_EQ(editor->undoStack().count(), steps + 1);
    EXPECT_EQ(shown(), QStringLiteral("Red [0-255]=10 Green [0-255]=20 Blue [0-255]=30 Size (world units)=100"));
    editor->undo();
    EXPECT_EQ(doc().clouds(ItemKind::DustCloud)[0].red, 128);
}

TEST_F(EditorProperties, APlacementFieldIsCheckedAsPlacingWouldTakeIt)
{
    const std::tuple<ItemKind, int, const char*, const char*> cases[] = {
        {ItemKind::Asteroid, 0, "12x", "\"Resources (%)\" must be a number."},
        {ItemKind::Asteroid, 0, "12", ""},
        {ItemKind::Cloud, 3, "77 units", ""}, // read by its leading number
        {ItemKind::Cloud, 0, "70000", "\"Red [0-255]\" must lie between -32768 and 32767."},
        {ItemKind::Ship, 3, "-1", ""},
    };
    for (const auto& [kind, field, text, reason] : cases) {
        editor->chooseKind(kind);
        editor->setFieldText(field, QString::fromLatin1(text));
        EXPECT_EQ(editor->placementFieldError(field), QLatin1String(reason)) << text;
    }
}

} // namespace
} // namespace starloom::test
