#include "EditorFixture.h"

using namespace starloom;
using namespace starloom::test;

TEST_F(EditorTest, RowClickLoadsTheItemIntoThePanelInEditingMode)
{
    placeCustom(ItemKind::Nebula, QStringLiteral("my_nebula"));
    editor->chooseKind(ItemKind::Cloud);
    editor->setFieldText(0, QStringLiteral("7"));
    clickTop(0, 0);
    editor->chooseKind(ItemKind::Ship);
    editor->chooseModel(30);
    editor->setFieldText(0, QStringLiteral("-45"));
    clickTop(0, 0);
    const std::tuple<ItemKind, const char*, const char*, bool> cases[] = {{ItemKind::Nebula, "Custom", "128", true},
        {ItemKind::Cloud, "cloud_0", "7", false}, {ItemKind::Ship, "hgn_scout", "-45", false}};
    for (int row = 0; row < 3; ++row) {
        const auto& [kind, model, text, custom] = cases[row];
        edit(row);
        EXPECT_EQ(editor->mode(), EditorMode::Editing);
        EXPECT_EQ(editor->panel().kind, std::optional(kind));
        EXPECT_EQ(editor->panel().applyVisible, true);
        EXPECT_EQ(editor->panel().modelText() + u'|' + editor->panel().field(0).text,
            QString::fromLatin1(model) + u'|' + QString::fromLatin1(text));
        EXPECT_EQ(editor->panel().customVisible ? editor->panel().customName : QString(),
            custom ? QStringLiteral("my_nebula") : QString());
    }
}

TEST_F(EditorTest, ApplyWritesBackOnlyTheEditedFields)
{
    place(ItemKind::Ship, 0, 0);
    apply(0, {"45", "10.5", "-3", "2.5"});
    const ShipRecord& s = doc().ships()[0];
    EXPECT_EQ(s.orientation, 45);
    EXPECT_EQ(s.rotation1, 10);
    EXPECT_EQ(s.rotation2, -3);
    EXPECT_EQ(s.player, std::int16_t(2));
    EXPECT_EQ(editor->rows()[0].text, QStringLiteral("hgn_assaultcorvette"));
    place(ItemKind::Salvage, 0, 0);
    apply(1, {" 1 2"});
    EXPECT_EQ(doc().resources(ItemKind::Salvage)[0].resourcePercent, 12);
    editor->chooseKind(ItemKind::Cloud);
    editor->setFieldText(0, QStringLiteral("10"));
    clickTop(0, 0);
    apply(2, {nullptr, nullptr, nullptr, "555"});
    const CloudRecord& c = doc().clouds(ItemKind::Cloud)[0];
    EXPECT_EQ(c.red, 10);
    EXPECT_EQ(c.size, 555);
    EXPECT_TRUE(host.messages.empty());

    edit(1);
    editor->chooseModel(2); // picking another model returns to placement with the defaults
    editor->setFieldText(0, QStringLiteral("5"));
    editor->applyPanel();
    EXPECT_EQ(doc().resources(ItemKind::Salvage)[0].resourcePercent, 12);
    EXPECT_EQ(doc().resources(ItemKind::Salvage)[0].modelIndex, std::int16_t(0));
    EXPECT_EQ(editor->mode(), EditorMode::Placement);
}

TEST_F(EditorTest, ApplyRefusesBadValuesOrCustomNamesWithoutStoringAny)
{
    const std::tuple<ItemKind, int, const char*, const char*> cases[] = {{ItemKind::Cloud, 2, "40000", "Blue [0-255]"},
        {ItemKind::Ship, 3, "-32769", "Owner (player)"}, {ItemKind::Ship, 2, "2147483648", "Yaw (degrees)"},
        {ItemKind::PlayerStart, 0, "1e39", "Yaw (degrees)"}};
    for (const auto& [kind, field, text, named] : cases) {
        editor->newLevel();
        place(kind, 0, 0);
        const LevelDocument before = doc();
        edit(0);
        editor->setFieldText(0, QStringLiteral("1")); // a valid change beside the bad one
        editor->setFieldText(field, QString::fromLatin1(text));
        editor->applyPanel();
        EXPECT_EQ(doc(), before) << text;
        EXPECT_TRUE(host.lastNote().contains(QString::fromLatin1(named))) << text;
    }
    placeCustom(ItemKind::Asteroid, QStringLiteral("rock_1"));
    edit(1);
    for (const QString& name : {QStringLiteral("rock 2"), QStringLiteral("rock \u2603")}) { // the second is refused
        editor->setCustomName(name);
        editor->applyPanel();
    }
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].customName, QStringLiteral("rock 2"));
    EXPECT_TRUE(host.lastMessage().contains(QStringLiteral("custom model name")));
}

TEST_F(EditorTest, DeletingRenumbersKeysWithLabelsFollowingTheirRows)
{
    place(ItemKind::Asteroid, 0, 0);
    place(ItemKind::Cloud, 1000, 1000);
    place(ItemKind::Asteroid, 2000, 2000);
    editor->toggleLabels(typeIdOf(ItemKind::Asteroid));
    edit(0);
    editor->deleteObject();
    ASSERT_EQ(editor->mode(), EditorMode::Placement);
    ASSERT_EQ(editor->rows().size(), 2);
    EXPECT_EQ(editor->rows()[1], (ObjectRow{QStringLiteral("Asteroid #2"), ItemKind::Asteroid, 1}));
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].deleted, recordDeleted);
    const MapLabel cloud = editor->labelFor(0), asteroid = editor->labelFor(1);
    EXPECT_EQ(cloud.key, QStringLiteral("0o"));
    EXPECT_EQ(cloud.x, 1100);
    EXPECT_EQ(cloud.visible, true);
    EXPECT_EQ(asteroid.key, QStringLiteral("1o"));
    EXPECT_EQ(asteroid.x, 2100);
    EXPECT_EQ(asteroid.visible, false);
    EXPECT_EQ(editor->rowForKey(u"1o"), 1);
    EXPECT_EQ(editor->rowForKey(u"2o"), -1);

    place(ItemKind::Pebble, 0, 0);
    EXPECT_EQ(editor->labelFor(2).key, QStringLiteral("2o")) << "a new row's key does not repeat an existing one";
    editor->clickLabel(1); // a label click finds its own row
    EXPECT_EQ(editor->selectedRow(), 1);
    EXPECT_EQ(editor->panel().kind, std::optional(ItemKind::Asteroid));
    EXPECT_EQ(editor->mode(), EditorMode::Editing);

    editor->toggleAllLabels(); // the Labels menu: all hidden, then all shown but pebbles, which keep their own
                               // check
    EXPECT_TRUE(editor->hideAllChecked());
    EXPECT_FALSE(editor->labelFor(0).visible);
    EXPECT_FALSE(editor->labelShown(9));
    editor->toggleAllLabels();
    EXPECT_TRUE(editor->labelFor(0).visible);
    EXPECT_TRUE(editor->labelFor(1).visible);
    EXPECT_FALSE(editor->labelFor(2).visible);
    // A label click while the zoom is armed zooms instead.
    editor->armZoom();
    editor->clickLabel(0);
    EXPECT_EQ(editor->selectedRow(), 1);
    EXPECT_EQ(editor->topScale(), (ViewScale{-12000, -12000, 12000, 12000}));

    // Deleting a player start frees its slot; with nothing selected, delete does nothing.
    place(ItemKind::PlayerStart, 0, 0, 1);
    edit(3);
    editor->deleteObject();
    editor->deleteObject();
    EXPECT_EQ(editor->labelCount(), 3);
    place(ItemKind::PlayerStart, 5, 5, 1);
    EXPECT_EQ(doc().player(1).label, QStringLiteral("Player 2"));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EditorTest, SetPlayerStoresTheAnswerOnShipsOnly)
{
    // A number the 16-bit field cannot hold is refused as Apply refuses it, not echoed and dropped.
    const QString refused = QStringLiteral("\"Player\" must lie between -32768 and 32767.");
    const std::tuple<std::optional<QString>, QString, std::int16_t, EditorMode> cases[] = {
        {QStringLiteral("2.5"), QStringLiteral("2.5"), 2, EditorMode::Placement},
        {std::nullopt, QStringLiteral("0"), 0, EditorMode::Placement},
        {QStringLiteral("40000"), refused, 5, EditorMode::Editing},
        {QStringLiteral("-32769"), refused, 5, EditorMode::Editing}};
    place(ItemKind::Ship, 0, 0);
    for (const auto& [answer, shown, stored, mode] : cases) {
        apply(0, {"0", "0", "0", "5"});
        host.textAnswers = {answer};
        editor->setStartPlayer();
        EXPECT_EQ(host.lastPrompt + host.lastMessage() + host.messages.back().title,
            QStringLiteral("Set Player to:|Set Player|0") + shown + programTitle());
        EXPECT_EQ(doc().ships()[0].player, stored) << shown.toStdString();
        EXPECT_EQ(editor->mode(), mode) << shown.toStdString();
    }
    place(ItemKind::Asteroid, 0, 0);
    const LevelDocument before = doc();
    const int asked = static_cast<int>(host.messages.size());
    editor->selectRow(-1);
    editor->setStartPlayer(); // nothing selected: not even asked
    EXPECT_EQ(static_cast<int>(host.messages.size()), asked);
    edit(1);
    host.textAnswers = {QStringLiteral("4")};
    editor->setStartPlayer();
    EXPECT_EQ(host.lastMessage(), QStringLiteral("4"));
    EXPECT_TRUE(doc() == before);
}
