#include "EditorFixture.h"

#include "TestSupport.h"

#include <QTemporaryDir>

using namespace starloom;
using namespace starloom::test;

TEST_F(EditorTest, StartsEmptyWithDefaultSettingsAndNoKind)
{
    EXPECT_EQ(editor->caption(), QStringLiteral("Star Loom Deluxe Edition v1.6"));
    EXPECT_TRUE(editor->gameDir().isEmpty());
    EXPECT_EQ(editor->gridSize(), QStringLiteral("2500"));
    EXPECT_EQ(editor->fontSizeIndex(), 4);
    EXPECT_EQ(editor->labelFontFamily(), QStringLiteral("Small Fonts"));
    EXPECT_EQ(editor->labelFontPointSize(), 6);
    EXPECT_EQ(editor->mode(), QString());
    EXPECT_FALSE(editor->selectedKind());
    EXPECT_FALSE(editor->heightControlsVisible());
    EXPECT_FALSE(editor->applyVisible());
    EXPECT_TRUE(editor->rows().empty());
    EXPECT_EQ(editor->mapSettings().playerIndex, 0);
    EXPECT_EQ(editor->lblX(), QStringLiteral("X"));
    EXPECT_EQ(editor->lblLeftY(), QStringLiteral("Y"));
    EXPECT_EQ(editor->topScale(), (ViewScale{-30000, -30000, 30000, 30000}));
    EXPECT_EQ(editor->frontScale(), (ViewScale{-30000, 20000, 30000, -20000}));
    for (int t = 1; t <= 9; ++t)
        EXPECT_EQ(editor->labelShown(t), t != 7) << t;
    EXPECT_FALSE(editor->hideAllChecked());
    EXPECT_EQ(doc().player(3).drawColour, rgb(255, 255, 0));
    EXPECT_TRUE(editor->timerEnabled());
}

TEST_F(EditorTest, BackgroundAndMusicComeFromTheRandomSource)
{
    struct Case {
        double r;
        const char* background;
        const char* music;
    };
    for (const Case& c : {Case{0.0, "m01", "Ambient/amb_01"}, Case{0.5, "m08", "Ambient/amb_12"},
                          Case{0.99999999, "m15", "Battle/bentus_arrival"}}) {
        random.push({c.r, c.r});
        makeEditor();
        EXPECT_EQ(editor->mapSettings().background, QString::fromLatin1(c.background)) << c.r;
        EXPECT_EQ(editor->mapSettings().music, QString::fromLatin1(c.music)) << c.r;
    }
}

TEST_F(EditorTest, StoredDisplaySettingsAreReadAndInvalidOnesReplacedByDefaults)
{
    struct Case {
        const char* grid;
        const char* font;
        const char* wantGrid;
        int wantFont;
        const char* family;
        int points;
    };
    const Case cases[] = {
        {"1000", "6", "1000", 6, "Arial", 8},  {"2500", "0", "2500", 0, "Small Fonts", 2},
        {"0", "11", "2500", 4, "Small Fonts", 6}, {"-5", "-1", "2500", 4, "Small Fonts", 6},
        {"abc", "x", "2500", 4, "Small Fonts", 6}, {"", "", "2500", 4, "Small Fonts", 6},
        {"12.5", "10", "12.5", 10, "Arial", 12},
    };
    for (const Case& c : cases) {
        store.values[QStringLiteral("GridSize")] = QString::fromLatin1(c.grid);
        store.values[QStringLiteral("FontSize")] = QString::fromLatin1(c.font);
        makeEditor();
        EXPECT_EQ(editor->gridSize(), QString::fromLatin1(c.wantGrid)) << c.grid;
        EXPECT_EQ(editor->fontSizeIndex(), c.wantFont) << c.font;
        EXPECT_EQ(editor->labelFontFamily(), QString::fromLatin1(c.family)) << c.font;
        EXPECT_EQ(editor->labelFontPointSize(), c.points) << c.font;
    }
}

namespace {

struct PanelCase {
    ItemKind kind;
    std::array<const char*, 4> captions; // nullptr: caption hidden
    std::array<const char*, 4> texts;    // nullptr: text box hidden
    bool colour;
    bool apply;
    int models;
    const char* entry0;
};

} // namespace

TEST_F(EditorTest, EachKindLaysOutItsPanelWithDefaultsInPlacementMode)
{
    const PanelCase cases[] = {
        {ItemKind::PlayerStart, {}, {}, false, false, 2, "Player 1"},
        {ItemKind::Asteroid, {"% RUs"}, {"100"}, false, true, 6, "asteroid_1"},
        {ItemKind::Cloud,
         {"Red [0-255]", "Green [0-255]", "Blue [0-255]", "Size"},
         {"128", "128", "128", "100"},
         true, true, 4, "cloud_0"},
        {ItemKind::DustCloud,
         {"Red [0-255]", "Green [0-255]", "Blue [0-255]", "Size"},
         {"128", "128", "128", "100"},
         true, true, 10, "dustcloud_0"},
        {ItemKind::Megalith, {"No Defined Properties"}, {}, false, true, 83, "meg_asteroid"},
        {ItemKind::Nebula,
         {"Red [0-255]", "Green [0-255]", "Blue [0-255]", "Size"},
         {"128", "128", "128", "100"},
         true, true, 15, "m05_dustcloud_nebula"},
        {ItemKind::Pebble, {"No Defined Properties"}, {}, false, true, 3, "pebble_0"},
        {ItemKind::Salvage, {"% RUs"}, {"100"}, false, true, 15, "slv_chunk_lrg01"},
        {ItemKind::Ship, {"Orientation", "Rotation?", "Rotation?", "Player"}, {"0", "0", "0", "0"}, false, true, 78,
         "hgn_assaultcorvette"},
    };
    for (const PanelCase& c : cases) {
        SCOPED_TRACE(kindInfo(c.kind).name);
        editor->cmdZoomIn_Click();
        editor->selectKind(c.kind);
        EXPECT_EQ(editor->mode(), placementMode);
        EXPECT_FALSE(editor->zoomArmed());
        EXPECT_EQ(editor->modelList().size(), c.models);
        EXPECT_EQ(editor->modelIndex(), 0);
        EXPECT_EQ(editor->modelText(), QString::fromLatin1(c.entry0));
        for (int i = 0; i < 4; ++i) {
            const PanelField& f = editor->field(i);
            const auto ci = static_cast<std::size_t>(i);
            EXPECT_EQ(f.captionVisible, c.captions[ci] != nullptr) << i;
            if (c.captions[ci])
                EXPECT_EQ(f.caption, QString::fromLatin1(c.captions[ci])) << i;
            EXPECT_EQ(f.textVisible, c.texts[ci] != nullptr) << i;
            if (c.texts[ci])
                EXPECT_EQ(f.text, QString::fromLatin1(c.texts[ci])) << i;
        }
        EXPECT_EQ(editor->colourVisible(), c.colour);
        EXPECT_EQ(editor->applyVisible(), c.apply);
        EXPECT_TRUE(editor->heightControlsVisible());
        EXPECT_FALSE(editor->customVisible());
    }
}

TEST_F(EditorTest, PlayerStartFieldsAreFilledButHiddenWhilePlacing)
{
    editor->Option1_Click();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(editor->field(i).text, QStringLiteral("0"));
        EXPECT_FALSE(editor->field(i).textVisible);
    }
    EXPECT_EQ(editor->field(3).text, QString());
}

TEST_F(EditorTest, PlayerStartListFollowsThePlayerCount)
{
    for (const auto& [index, entries] : {std::pair{2, 4}, std::pair{4, 6}, std::pair{-1, 1}}) {
        editor->mapSettings().playerIndex = index;
        editor->Option1_Click();
        ASSERT_EQ(editor->modelList().size(), entries) << index;
        EXPECT_EQ(editor->modelList().back(), QStringLiteral("Player %1").arg(entries));
    }
}

TEST_F(EditorTest, CustomEntryOpensAnEmptyNameBoxAndOtherEntriesCloseIt)
{
    editor->Option9_Click();
    editor->Combo1_Click(static_cast<int>(editor->modelList().size()) - 1);
    EXPECT_EQ(editor->modelText(), QStringLiteral("Custom"));
    EXPECT_TRUE(editor->customVisible());
    editor->setCustomName(QStringLiteral("kus_scout"));
    editor->Combo1_Click(static_cast<int>(editor->modelList().size()) - 1);
    EXPECT_EQ(editor->customName(), QString());
    editor->Combo1_Click(3);
    EXPECT_FALSE(editor->customVisible());
    editor->Combo1_Click(static_cast<int>(editor->modelList().size()) - 1);
    editor->Option2_Click();
    EXPECT_FALSE(editor->customVisible());
}

TEST_F(EditorTest, KindWhoseFolderIsEmptyStaysUsableAndRefusesPlacement)
{
    QTemporaryDir game;
    makeEntry(game.path(), QStringLiteral("Data/cloud"), true);
    makeEntry(game.path(), QStringLiteral("Data/dustcloud"), true);
    makeEditor(game.path());

    editor->Option4_Click(); // only "Custom" remains, and it opens the name box at once
    EXPECT_EQ(editor->modelList(), QStringList{QStringLiteral("Custom")});
    EXPECT_TRUE(editor->customVisible());

    editor->Option3_Click();
    EXPECT_TRUE(editor->modelList().isEmpty());
    EXPECT_EQ(editor->modelIndex(), -1);
    EXPECT_TRUE(editor->heightControlsVisible());
    clickTop(10, 10);
    EXPECT_EQ(host.lastMessage(), QStringLiteral("Select Type"));
    EXPECT_EQ(host.messages.back().title, programTitle());
    EXPECT_EQ(doc().itemCount(ItemKind::Cloud), 0);
}

TEST_F(EditorTest, ColourPickerFillsTheColourFieldsAndCancelKeepsTheStartingColour)
{
    editor->Option3_Click();
    host.colourAnswers = {rgb(10, 20, 30), std::nullopt};
    editor->cmdColourSelect_Click();
    EXPECT_EQ(host.lastInitialColour, 0);
    EXPECT_EQ(editor->field(0).text, QStringLiteral("10"));
    EXPECT_EQ(editor->field(1).text, QStringLiteral("20"));
    EXPECT_EQ(editor->field(2).text, QStringLiteral("30"));
    EXPECT_EQ(editor->field(3).text, QStringLiteral("100"));

    editor->setFieldText(0, QStringLiteral("200"));
    editor->cmdColourSelect_Click();
    EXPECT_EQ(host.lastInitialColour, rgb(10, 20, 30));
    EXPECT_EQ(editor->field(0).text, QStringLiteral("10"));
}
