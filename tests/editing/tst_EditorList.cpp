#include "EditorFixture.h"

using namespace starloom;
using namespace starloom::test;

TEST_F(EditorTest, RowClickLoadsTheItemIntoThePanelInEditingMode)
{
    placeCustom(ItemKind::Nebula, QStringLiteral("my_nebula"));
    editor->Option3_Click(), editor->setFieldText(0, QStringLiteral("7")), clickTop(0, 0);
    editor->Option9_Click(), editor->Combo1_Click(30), editor->setFieldText(0, QStringLiteral("-45")), clickTop(0, 0);
    const std::tuple<ItemKind, const char*, const char*, bool> cases[] = {{ItemKind::Nebula, "Custom", "128", true},
        {ItemKind::Cloud, "cloud_0", "7", false}, {ItemKind::Ship, "hgn_scout", "-45", false}};
    for (int row = 0; row < 3; ++row) {
        const auto& [kind, model, text, custom] = cases[row];
        edit(row);
        EXPECT_EQ(std::tuple(editor->mode(), editor->panel().kind, editor->panel().applyVisible),
            std::tuple(EditorMode::Editing, std::optional(kind), true));
        EXPECT_EQ(editor->panel().modelText() + u'|' + editor->panel().field(0).text,
            QString::fromLatin1(model) + u'|' + QString::fromLatin1(text));
        EXPECT_EQ(editor->panel().customVisible ? editor->panel().customName : QString(),
            custom ? QStringLiteral("my_nebula") : QString());
    }
}

TEST_F(EditorTest, ApplyWritesTheFieldsBackAndKeepsWhatWasNotEdited)
{
    place(ItemKind::Ship, 0, 0);
    apply(0, {"45", "10.5", "-3", "2.5"});
    const ShipRecord& s = doc().ships()[0];
    EXPECT_EQ(std::tuple(s.orientation, s.rotation1, s.rotation2, s.player, editor->rows()[0].text),
        std::tuple(45, 10, -3, std::int16_t(2), QStringLiteral("hgn_assaultcorvette")));
    place(ItemKind::Salvage, 0, 0);
    apply(1, {" 1 2"});
    EXPECT_EQ(doc().resources(ItemKind::Salvage)[0].resourcePercent, 12);
    editor->Option3_Click(), editor->setFieldText(0, QStringLiteral("10")), clickTop(0, 0);
    apply(2, {nullptr, nullptr, nullptr, "555"});
    const CloudRecord& c = doc().clouds(ItemKind::Cloud)[0];
    EXPECT_TRUE(c.red == 10 && c.size == 555 && host.messages.empty());

    edit(1);
    editor->Combo1_Click(2); // picking another model returns to placement with the defaults
    editor->setFieldText(0, QStringLiteral("5")), editor->cmdApply_Click();
    EXPECT_EQ(std::tuple(doc().resources(ItemKind::Salvage)[0].resourcePercent,
                  doc().resources(ItemKind::Salvage)[0].modelIndex, editor->mode()),
        std::tuple(12, std::int16_t(0), EditorMode::Placement));
}

TEST_F(EditorTest, ApplyRefusesBadValuesAndCustomNamesAndStoresNothing)
{
    const std::tuple<ItemKind, int, const char*, const char*> cases[] = {{ItemKind::Cloud, 2, "40000", "Blue [0-255]"},
        {ItemKind::Ship, 3, "-32769", "Player"}, {ItemKind::Ship, 1, "2147483648", "Rotation?"},
        {ItemKind::PlayerStart, 0, "1e39", "Orientation"}};
    for (const auto& [kind, field, text, named] : cases) {
        editor->mnuFileNew_Click();
        place(kind, 0, 0);
        const LevelDocument before = doc();
        edit(0);
        editor->setFieldText(0, QStringLiteral("1")); // a valid change beside the bad one
        editor->setFieldText(field, QString::fromLatin1(text));
        editor->cmdApply_Click();
        EXPECT_TRUE(doc() == before && host.lastMessage().contains(QString::fromLatin1(named))) << text;
    }
    placeCustom(ItemKind::Asteroid, QStringLiteral("rock_1"));
    edit(1);
    for (const QString& name : {QStringLiteral("rock 2"), QStringLiteral("rock \u2603")}) { // the second is refused
        editor->setCustomName(name);
        editor->cmdApply_Click();
    }
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].customName, QStringLiteral("rock 2"));
    EXPECT_TRUE(host.lastMessage().contains(QStringLiteral("custom model name")));
}

TEST_F(EditorTest, DeletingRenumbersKeysAndKeepsLabelsWithTheirRows)
{
    place(ItemKind::Asteroid, 0, 0), place(ItemKind::Cloud, 1000, 1000), place(ItemKind::Asteroid, 2000, 2000);
    editor->mnuLabelsHide_Click(typeIdOf(ItemKind::Asteroid));
    edit(0), editor->mnuObjectsDelete_Click();
    ASSERT_TRUE(editor->mode() == EditorMode::Placement && editor->rows().size() == 2);
    EXPECT_EQ(editor->rows()[1], (ObjectRow{QStringLiteral("Asteroid #2"), ItemKind::Asteroid, 1}));
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].deleted, recordDeleted);
    const MapLabel cloud = editor->labelFor(0), asteroid = editor->labelFor(1);
    EXPECT_EQ(std::tuple(cloud.key, cloud.x, cloud.visible), std::tuple(QStringLiteral("0o"), 1100, true));
    EXPECT_EQ(std::tuple(asteroid.key, asteroid.x, asteroid.visible), std::tuple(QStringLiteral("1o"), 2100, false));
    EXPECT_EQ(std::pair(editor->rowForKey(u"1o"), editor->rowForKey(u"2o")), std::pair(1, -1));

    place(ItemKind::Pebble, 0, 0);
    EXPECT_EQ(editor->labelFor(2).key, QStringLiteral("2o")) << "a new row's key does not repeat an existing one";
    editor->lblObjects_Click(1); // a label click finds its own row
    EXPECT_EQ(std::tuple(editor->selectedRow(), editor->panel().kind, editor->mode()),
        std::tuple(1, std::optional(ItemKind::Asteroid), EditorMode::Editing));

    editor->mnuLabelsHideAll_Click(); // the Labels menu: all hidden, then all shown but pebbles, which keep their own
                                      // check
    EXPECT_TRUE(editor->hideAllChecked() && !editor->labelFor(0).visible && !editor->labelShown(9));
    editor->mnuLabelsHideAll_Click();
    EXPECT_TRUE(editor->labelFor(0).visible && editor->labelFor(1).visible && !editor->labelFor(2).visible);
    editor->cmdZoomIn_Click(), editor->lblObjects_Click(0); // a label click while the zoom is armed zooms instead
    EXPECT_EQ(
        std::pair(editor->selectedRow(), editor->topScale()), std::pair(1, ViewScale{-12000, -12000, 12000, 12000}));

    // Deleting a player start frees its slot; with nothing selected, delete does nothing.
    place(ItemKind::PlayerStart, 0, 0, 1);
    edit(3), editor->mnuObjectsDelete_Click(), editor->mnuObjectsDelete_Click();
    EXPECT_EQ(editor->labelCount(), 3);
    place(ItemKind::PlayerStart, 5, 5, 1);
    EXPECT_TRUE(doc().player(1).label == QStringLiteral("Player 2") && host.messages.empty());
}

TEST_F(EditorTest, SetPlayerShowsTheAnswerAndStoresItOnShipsOnly)
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
        host.textAnswers = {answer}, editor->mnuObjectsSetPlayer_Click();
        EXPECT_EQ(host.lastPrompt + host.lastMessage() + host.messages.back().title,
            QStringLiteral("Set Player to:|Set Player|0") + shown + programTitle());
        EXPECT_EQ(std::pair(doc().ships()[0].player, editor->mode()), std::pair(stored, mode)) << shown.toStdString();
    }
    place(ItemKind::Asteroid, 0, 0);
    const LevelDocument before = doc();
    const int asked = static_cast<int>(host.messages.size());
    editor->selectRow(-1);
    editor->mnuObjectsSetPlayer_Click(); // nothing selected: not even asked
    EXPECT_EQ(static_cast<int>(host.messages.size()), asked);
    edit(1);
    host.textAnswers = {QStringLiteral("4")};
    editor->mnuObjectsSetPlayer_Click();
    EXPECT_EQ(host.lastMessage(), QStringLiteral("4"));
    EXPECT_TRUE(doc() == before);
}
