#include "EditorFixture.h"

#include "TestSupport.h"

#include <QTemporaryDir>

using namespace starloom;
using namespace starloom::test;

TEST_F(EditorTest, StartsEmptyWithNoKindWithTheStoredDisplaySettings)
{
    EXPECT_EQ(editor->caption() + modeCaption(editor->mode()),
        QStringLiteral("Star Loom Deluxe Edition v") + QLatin1String(versionText));
    EXPECT_FALSE(editor->panel().kind || editor->panel().heightControlsVisible || editor->panel().applyVisible);
    EXPECT_EQ(editor->lblX() + editor->lblLeftY(), QStringLiteral("XY"));
    EXPECT_EQ(doc().player(3).drawColour, rgb(255, 255, 0));
    EXPECT_TRUE(editor->timerEnabled());
    // Grid size and font size index as stored, invalid ones replaced by the defaults.
    for (const auto& [grid, font, shown] :
        {std::tuple{"", "", "2500 4 Small Fonts 6"}, std::tuple{"2500", "0", "2500 0 Small Fonts 2"},
            std::tuple{"0", "11", "2500 4 Small Fonts 6"}, std::tuple{"12.5", "10", "12.5 10 Arial 12"}}) {
        store.values[QStringLiteral("GridSize")] = QString::fromLatin1(grid),
        store.values[QStringLiteral("FontSize")] = QString::fromLatin1(font);
        makeEditor();
        EXPECT_EQ(QStringLiteral("%1 %2 %3 %4")
                      .arg(editor->gridSize())
                      .arg(editor->fontSizeIndex())
                      .arg(labelFontFamilyFor(editor->labelFontPointSize()))
                      .arg(editor->labelFontPointSize()),
            QString::fromLatin1(shown));
    }
}

TEST_F(EditorTest, EachKindLaysOutItsPanelWithDefaultsInPlacementMode)
{
    // Shown captions; shown texts; colour button; Apply button; model count and first model.
    const char* const colours = "Red [0-255]|Green [0-255]|Blue [0-255]|Size;128|128|128|100;colour;apply;";
    const std::pair<ItemKind, QString> cases[] = {
        {ItemKind::PlayerStart, QStringLiteral(";;;;2 Player 1")},
        {ItemKind::Asteroid, QStringLiteral("% RUs;100;;apply;6 asteroid_1")},
        {ItemKind::Cloud, QString::fromLatin1(colours) + QStringLiteral("4 cloud_0")},
        {ItemKind::DustCloud, QString::fromLatin1(colours) + QStringLiteral("10 dustcloud_0")},
        {ItemKind::Megalith, QStringLiteral("No Defined Properties;;;apply;83 meg_asteroid")},
        {ItemKind::Nebula, QString::fromLatin1(colours) + QStringLiteral("15 m05_dustcloud_nebula")},
        {ItemKind::Pebble, QStringLiteral("No Defined Properties;;;apply;3 pebble_0")},
        {ItemKind::Salvage, QStringLiteral("% RUs;100;;apply;15 slv_chunk_lrg01")},
        {ItemKind::Ship,
            QStringLiteral("Orientation|Rotation?|Rotation?|Player;0|0|0|0;;apply;78 hgn_assaultcorvette")},
    };
    for (const auto& [kind, layout] : cases) {
        editor->armZoom();
        editor->chooseKind(kind);
        QStringList captions, texts;
        for (int i = 0; i < 4; ++i) {
            if (editor->panel().field(i).captionVisible)
                captions << editor->panel().field(i).caption;
            if (editor->panel().field(i).textVisible)
                texts << editor->panel().field(i).text;
        }
        EXPECT_EQ(QStringList(
                      {captions.join(u'|'), texts.join(u'|'),
                          editor->panel().colourVisible ? QStringLiteral("colour") : QString(),
                          editor->panel().applyVisible ? QStringLiteral("apply") : QString(),
                          QStringLiteral("%1 %2").arg(editor->panel().models.size()).arg(editor->panel().modelText())})
                      .join(u';'),
            layout);
        EXPECT_EQ(editor->mode(), EditorMode::Placement);
        EXPECT_EQ(editor->panel().modelIndex, 0);
        EXPECT_TRUE(editor->panel().heightControlsVisible);
        EXPECT_FALSE(editor->zoomArmed() || editor->panel().customVisible) << kindInfo(kind).name;
    }
}

TEST_F(EditorTest, PlayerStartListFollowsThePlayerCount)
{
    for (const auto& [index, entries] : {std::pair{2, 4}, std::pair{4, 6}, std::pair{-1, 1}}) {
        editor->mapSettings().playerIndex = index;
        editor->chooseKind(ItemKind::PlayerStart);
        EXPECT_EQ(editor->panel().models.size(), entries) << index;
        EXPECT_EQ(editor->panel().models.back(), QStringLiteral("Player %1").arg(entries)) << index;
    }
}

TEST_F(EditorTest, OnlyTheCustomEntryOpensTheNameBox)
{
    editor->chooseKind(ItemKind::Ship);
    const int custom = static_cast<int>(editor->panel().models.size()) - 1;
    editor->chooseModel(custom);
    editor->setCustomName(QStringLiteral("kus_scout"));
    editor->chooseModel(custom);
    EXPECT_EQ(editor->panel().modelText(), QStringLiteral("Custom"));
    EXPECT_TRUE(editor->panel().customVisible);
    EXPECT_TRUE(editor->panel().customName.isEmpty());
    editor->chooseModel(3);
    EXPECT_FALSE(editor->panel().customVisible);
}

TEST_F(EditorTest, AKindWhoseFolderIsEmptyStaysChosenButRefusesPlacement)
{
    QTemporaryDir game;
    makeEntry(game.path(), QStringLiteral("Data/cloud"), true),
        makeEntry(game.path(), QStringLiteral("Data/dustcloud"), true);
    makeEditor(game.path());
    editor->chooseKind(ItemKind::DustCloud); // only "Custom" remains, and it opens the name box at once
    EXPECT_EQ(editor->panel().models, QStringList{QStringLiteral("Custom")});
    EXPECT_TRUE(editor->panel().customVisible);
    editor->chooseKind(ItemKind::Cloud);
    EXPECT_TRUE(editor->panel().models.isEmpty());
    EXPECT_EQ(editor->panel().modelIndex, -1);
    clickTop(10, 10);
    EXPECT_EQ(host.lastNote(), QStringLiteral("Select Type"));
    EXPECT_EQ(doc().itemCount(ItemKind::Cloud), 0);
}

TEST_F(EditorTest, TheColourPickerFillsTheColourFieldsUnlessCancelled)
{
    editor->chooseKind(ItemKind::Cloud);
    host.colourAnswers = {rgb(10, 20, 30), std::nullopt};
    editor->pickColour();
    EXPECT_EQ(
        QStringList({QString::number(*host.lastInitialColour), editor->panel().field(0).text,
                        editor->panel().field(1).text, editor->panel().field(2).text, editor->panel().field(3).text})
            .join(u' '),
        QStringLiteral("0 10 20 30 100"));
    editor->setFieldText(0, QStringLiteral("200"));
    editor->pickColour(); // cancelled
    EXPECT_EQ(host.lastInitialColour, rgb(10, 20, 30));
    EXPECT_EQ(editor->panel().field(0).text, QStringLiteral("10"));
}
