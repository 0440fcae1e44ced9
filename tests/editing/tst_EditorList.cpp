#include "EditorFixture.h"

using namespace starloom;
using namespace starloom::test;

TEST_F(EditorTest, RowsGetKeysInOrderAndTheIndexOfTheirRecord)
{
    place(ItemKind::Asteroid, 0, 0);
    place(ItemKind::Cloud, 0, 0);
    clickTop(5, 5);
    ASSERT_EQ(editor->rows().size(), 3u);
    const std::int16_t ids[] = {0, 0, 1};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(editor->labelFor(i).key, rowKey(i));
        EXPECT_EQ(editor->rowForKey(rowKey(i)), i);
        EXPECT_EQ(editor->rows()[static_cast<std::size_t>(i)].arrayId, ids[i]);
    }
    EXPECT_EQ(editor->rowForKey(u"3o"), -1);
    EXPECT_EQ(editor->rowForKey(u"x"), -1);
}

TEST_F(EditorTest, RowClickLoadsTheItemIntoThePanelInEditingMode)
{
    placeCustom(ItemKind::Nebula, QStringLiteral("my_nebula"));
    editor->Option3_Click();
    editor->setFieldText(0, QStringLiteral("7"));
    editor->setFieldText(3, QStringLiteral("900"));
    clickTop(0, 0);
    editor->Option9_Click();
    editor->Combo1_Click(30);
    editor->setFieldText(0, QStringLiteral("-45"));
    editor->setFieldText(3, QStringLiteral("3"));
    clickTop(0, 0);
    editor->Option1_Click();
    clickTop(0, 0);

    struct Case {
        int row;
        ItemKind kind;
        const char* model;
        std::array<const char*, 4> texts;
        bool custom;
    };
    const Case cases[] = {
        {0, ItemKind::Nebula, "Custom", {"128", "128", "128", "100"}, true},
        {1, ItemKind::Cloud, "cloud_0", {"7", "128", "128", "900"}, false},
        {2, ItemKind::Ship, "hgn_scout", {"-45", "0", "0", "3"}, false},
        {3, ItemKind::PlayerStart, "Player 1", {"0", nullptr, nullptr, nullptr}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        edit(c.row);
        EXPECT_EQ(editor->mode(), editingMode);
        EXPECT_EQ(editor->selectedKind(), c.kind);
        EXPECT_EQ(editor->modelText(), QString::fromLatin1(c.model));
        for (int i = 0; i < 4; ++i) {
            if (c.texts[static_cast<std::size_t>(i)])
                EXPECT_EQ(editor->field(i).text, QString::fromLatin1(c.texts[static_cast<std::size_t>(i)])) << i;
        }
        EXPECT_TRUE(editor->field(0).textVisible);
        EXPECT_TRUE(editor->applyVisible());
        EXPECT_EQ(editor->customVisible(), c.custom);
        if (c.custom)
            EXPECT_EQ(editor->customName(), QStringLiteral("my_nebula"));
    }
}

TEST_F(EditorTest, ApplyWritesTheFieldsBack)
{
    place(ItemKind::Ship, 0, 0);
    edit(0);
    const QString texts[] = {QStringLiteral("45"), QStringLiteral("10.5"), QStringLiteral("-3"), QStringLiteral("2.5")};
    for (int i = 0; i < 4; ++i)
        editor->setFieldText(i, texts[i]);
    editor->cmdApply_Click();
    const ShipRecord& s = doc().ships()[0];
    EXPECT_EQ(s.orientation, 45);
    EXPECT_EQ(s.rotation1, 10);
    EXPECT_EQ(s.rotation2, -3);
    EXPECT_EQ(s.player, 2);
    EXPECT_EQ(editor->rows()[0].text, QStringLiteral("hgn_assaultcorvette")); // the row keeps its text

    place(ItemKind::PlayerStart, 0, 0);
    edit(1);
    editor->setFieldText(0, QStringLiteral("90"));
    editor->cmdApply_Click();
    EXPECT_EQ(doc().player(0).orientation, 90.0f);

    place(ItemKind::Salvage, 0, 0);
    edit(2);
    editor->setFieldText(0, QStringLiteral(" 1 2"));
    editor->cmdApply_Click();
    EXPECT_EQ(doc().resources(ItemKind::Salvage)[0].resourcePercent, 12);
    editor->setFieldText(0, QStringLiteral("lots"));
    editor->cmdApply_Click();
    EXPECT_EQ(doc().resources(ItemKind::Salvage)[0].resourcePercent, 0);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EditorTest, ApplyOnACloudKeepsItsColourUnlessEdited)
{
    editor->Option3_Click();
    editor->setFieldText(0, QStringLiteral("10"));
    editor->setFieldText(1, QStringLiteral("20"));
    editor->setFieldText(2, QStringLiteral("30"));
    clickTop(0, 0);
    edit(0);
    editor->setFieldText(3, QStringLiteral("555"));
    editor->cmdApply_Click();
    const CloudRecord& c = doc().clouds(ItemKind::Cloud)[0];
    EXPECT_EQ(c.red, 10);
    EXPECT_EQ(c.green, 20);
    EXPECT_EQ(c.blue, 30);
    EXPECT_EQ(c.size, 555);
}

TEST_F(EditorTest, ApplyOnACustomModelStoresTheEditedName)
{
    placeCustom(ItemKind::Asteroid, QStringLiteral("rock_1"));
    edit(0);
    EXPECT_EQ(editor->customName(), QStringLiteral("rock_1"));
    editor->setCustomName(QStringLiteral("rock_2"));
    editor->cmdApply_Click();
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].modelIndex, -1);
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].customName, QStringLiteral("rock_2"));

    editor->setCustomName(QStringLiteral("rock 3"));
    editor->cmdApply_Click();
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].customName, QStringLiteral("rock_2"));
    EXPECT_TRUE(host.lastMessage().contains(QStringLiteral("custom model name")));
}

TEST_F(EditorTest, ApplyRefusesValuesOutsideTheirFieldAndStoresNothing)
{
    struct Case {
        ItemKind kind;
        int field;
        const char* text;
        const char* named;
    };
    const Case cases[] = {
        {ItemKind::Cloud, 2, "40000", "Blue [0-255]"},
        {ItemKind::Ship, 3, "-32769", "Player"},
        {ItemKind::Ship, 1, "2147483648", "Rotation?"},
        {ItemKind::Asteroid, 0, "-3e9", "% RUs"},
        {ItemKind::PlayerStart, 0, "1e39", "Orientation"},
    };
    for (const Case& c : cases) {
        editor->mnuFileNew_Click();
        place(c.kind, 0, 0);
        edit(0);
        const LevelDocument before = doc();
        editor->setFieldText(0, QStringLiteral("1")); // a valid change beside the bad one
        editor->setFieldText(c.field, QString::fromLatin1(c.text));
        editor->cmdApply_Click();
        EXPECT_TRUE(doc() == before) << c.text;
        EXPECT_TRUE(host.lastMessage().contains(QString::fromLatin1(c.named))) << c.text;
    }
}

TEST_F(EditorTest, ApplyOutsideEditingModeDoesNothing)
{
    place(ItemKind::Asteroid, 0, 0);
    edit(0);
    editor->Combo1_Click(2); // picking another model returns to placement with the defaults
    EXPECT_EQ(editor->mode(), placementMode);
    editor->setFieldText(0, QStringLiteral("5"));
    editor->cmdApply_Click();
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].resourcePercent, 100);
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].modelIndex, 0);
}

TEST_F(EditorTest, DeletingRenumbersKeysAndKeepsLabelsWithTheirRows)
{
    place(ItemKind::Asteroid, 0, 0);
    place(ItemKind::Cloud, 1000, 1000);
    place(ItemKind::Asteroid, 2000, 2000);
    editor->mnuLabelsHide_Click(typeIdOf(ItemKind::Asteroid));

    edit(0);
    editor->mnuObjectsDelete_Click();
    EXPECT_EQ(editor->mode(), placementMode);
    ASSERT_EQ(editor->rows().size(), 2u);
    EXPECT_EQ(editor->rows()[0].text, QStringLiteral("Cloud #1"));
    EXPECT_EQ(editor->rows()[1].text, QStringLiteral("Asteroid #2"));
    EXPECT_EQ(editor->rows()[1].arrayId, 1);
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].deleted, recordDeleted);
    EXPECT_EQ(doc().itemCount(ItemKind::Asteroid), 2);

    const MapLabel cloud = editor->labelFor(0);
    const MapLabel asteroid = editor->labelFor(1);
    EXPECT_EQ(cloud.key, QStringLiteral("0o"));
    EXPECT_EQ(cloud.x, 1100);
    EXPECT_TRUE(cloud.visible);
    EXPECT_EQ(asteroid.key, QStringLiteral("1o"));
    EXPECT_EQ(asteroid.x, 2100);
    EXPECT_FALSE(asteroid.visible);

    // A new row's key does not repeat an existing one, and clicking a label finds its own row.
    place(ItemKind::Pebble, 0, 0);
    EXPECT_EQ(editor->labelFor(2).key, QStringLiteral("2o"));
    editor->lblObjects_Click(1);
    EXPECT_EQ(editor->selectedRow(), 1);
    EXPECT_EQ(editor->selectedKind(), ItemKind::Asteroid);
    EXPECT_EQ(editor->mode(), editingMode);
}

TEST_F(EditorTest, DeletingTheLastRowAndAPlayerStart)
{
    place(ItemKind::PlayerStart, 0, 0, 1);
    place(ItemKind::Ship, 0, 0);
    edit(1);
    editor->mnuObjectsDelete_Click();
    ASSERT_EQ(editor->rows().size(), 1u);
    edit(0);
    editor->mnuObjectsDelete_Click();
    EXPECT_TRUE(editor->rows().empty());
    EXPECT_EQ(editor->labelCount(), 0);
    EXPECT_TRUE(doc().player(1).label.isEmpty());
    editor->mnuObjectsDelete_Click(); // nothing selected
    place(ItemKind::PlayerStart, 5, 5, 1);
    EXPECT_EQ(doc().player(1).label, QStringLiteral("Player 2"));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EditorTest, SetPlayerShowsTheAnswerAndStoresItOnShips)
{
    struct Case {
        std::optional<QString> answer;
        const char* shown;
        std::int16_t stored;
    };
    const Case cases[] = {
        {QStringLiteral("3"), "3", 3},         {QStringLiteral("2.5"), "2.5", 2},
        {std::nullopt, "0", 0},                {QStringLiteral("x7"), "0", 0},
        {QStringLiteral("40000"), "40000", 5}, {QStringLiteral("-32768"), "-32768", -32768},
        {QStringLiteral("-32769"), "-32769", 5},
    };
    place(ItemKind::Ship, 0, 0);
    for (const Case& c : cases) {
        editor->Option9_Click();
        edit(0);
        editor->setFieldText(3, QStringLiteral("5"));
        editor->cmdApply_Click();
        host.textAnswers = {c.answer};
        editor->mnuObjectsSetPlayer_Click();
        EXPECT_EQ(host.lastPrompt, QStringLiteral("Set Player to:"));
        EXPECT_EQ(host.lastPromptTitle, QStringLiteral("Set Player"));
        EXPECT_EQ(host.lastPromptDefault, QStringLiteral("0"));
        EXPECT_EQ(host.lastMessage(), QString::fromLatin1(c.shown));
        EXPECT_EQ(host.messages.back().title, programTitle());
        EXPECT_EQ(doc().ships()[0].player, c.stored) << c.shown;
        EXPECT_EQ(editor->mode(), placementMode);
    }
}

TEST_F(EditorTest, SetPlayerOnOtherKindsOnlyShowsTheAnswer)
{
    place(ItemKind::Asteroid, 0, 0);
    const LevelDocument before = doc();
    editor->mnuObjectsSetPlayer_Click(); // nothing selected: not even asked
    EXPECT_TRUE(host.lastPrompt.isEmpty());
    edit(0);
    host.textAnswers = {QStringLiteral("4")};
    editor->mnuObjectsSetPlayer_Click();
    EXPECT_EQ(host.lastMessage(), QStringLiteral("4"));
    EXPECT_TRUE(doc() == before);
}

TEST_F(EditorTest, LabelsMenuShowsAndHidesByKind)
{
    editor->mnuLabelsHide_Click(2); // empty level: only the check changes
    EXPECT_FALSE(editor->labelShown(2));
    place(ItemKind::Asteroid, 0, 0);
    EXPECT_FALSE(editor->labelFor(0).visible);
    editor->mnuLabelsHide_Click(2);
    EXPECT_TRUE(editor->labelFor(0).visible);
    place(ItemKind::Pebble, 0, 0);
    place(ItemKind::Ship, 0, 0);

    editor->mnuLabelsHideAll_Click();
    EXPECT_TRUE(editor->hideAllChecked());
    for (int t = 1; t <= 9; ++t)
        EXPECT_FALSE(editor->labelShown(t)) << t;
    EXPECT_FALSE(editor->labelFor(0).visible);
    EXPECT_FALSE(editor->labelFor(2).visible);

    editor->mnuLabelsHide_Click(7);
    editor->mnuLabelsHideAll_Click(); // shows all but pebbles, which keep their own check
    EXPECT_FALSE(editor->hideAllChecked());
    EXPECT_TRUE(editor->labelFor(0).visible);
    EXPECT_TRUE(editor->labelFor(1).visible);
    EXPECT_TRUE(editor->labelFor(2).visible);
    editor->mnuLabelsHide_Click(7);
    editor->mnuLabelsHideAll_Click();
    EXPECT_FALSE(editor->labelFor(1).visible);
    editor->mnuLabelsHideAll_Click();
    EXPECT_FALSE(editor->labelFor(1).visible);
}

TEST_F(EditorTest, LabelClickWhileZoomArmedZoomsAndSelectsNothing)
{
    place(ItemKind::Ship, 0, 0);
    editor->cmdZoomIn_Click();
    editor->lblObjects_Click(0);
    EXPECT_EQ(editor->selectedRow(), -1);
    EXPECT_EQ(editor->mode(), placementMode);
    EXPECT_EQ(editor->topScale(), (ViewScale{-12000, -12000, 12000, 12000}));
}

TEST_F(EditorTest, LabelFontFollowsTheChosenSize)
{
    struct Case {
        int index;
        const char* family;
        int points;
    };
    for (const Case& c : {Case{0, "Small Fonts", 2}, Case{5, "Small Fonts", 7}, Case{6, "Arial", 8},
                          Case{10, "Arial", 12}}) {
        editor->setFontSizeIndex(c.index);
        ASSERT_TRUE(editor->Command1_Click());
        EXPECT_EQ(editor->labelFontFamily(), QString::fromLatin1(c.family));
        EXPECT_EQ(editor->labelFontPointSize(), c.points);
    }
}
