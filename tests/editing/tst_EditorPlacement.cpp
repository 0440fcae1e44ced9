#include "EditorFixture.h"

using namespace starloom;
using namespace starloom::test;

TEST_F(EditorTest, PlacingTakesTheRoundedDownPointerAndNumbersItems)
{
    place(ItemKind::Asteroid, 1234.7, -50.2);
    clickTop(-10, 20);
    ASSERT_EQ(editor->rows().size(), 2u);
    const ResourceRecord& r = doc().resources(ItemKind::Asteroid)[0];
    EXPECT_EQ(r.posX, 1234);
    EXPECT_EQ(r.posY, -51);
    EXPECT_EQ(r.posZ, 0);
    EXPECT_EQ(r.resourcePercent, 100);
    EXPECT_EQ(r.drawColour, rgb(154, 110, 4));
    EXPECT_EQ(editor->rows()[0], (ObjectRow{QStringLiteral("Asteroid #1"), ItemKind::Asteroid, 0}));
    EXPECT_EQ(editor->rows()[1].text, QStringLiteral("Asteroid #2"));

    const MapLabel label = editor->labelFor(0);
    EXPECT_EQ(label.caption, QStringLiteral("Asteroid #1"));
    EXPECT_EQ(label.key, QStringLiteral("0o"));
    EXPECT_EQ(label.x, 1334);
    EXPECT_EQ(label.y, 49);
    EXPECT_TRUE(label.visible);
    EXPECT_EQ(editor->labelFor(1).key, QStringLiteral("1o"));
}

TEST_F(EditorTest, EveryKindPlacesWithItsTextColourAndModel)
{
    struct Case {
        ItemKind kind;
        int entry;
        const char* text;
        std::int32_t colour;
    };
    const Case cases[] = {
        {ItemKind::PlayerStart, 1, "Player 2 start", rgb(0, 255, 0)},
        {ItemKind::Asteroid, 2, "Asteroid #1", rgb(154, 110, 4)},
        {ItemKind::Cloud, 1, "Cloud #1", rgb(192, 192, 255)},
        {ItemKind::DustCloud, 0, "Dust Cloud #1", rgb(192, 192, 255)},
        {ItemKind::Megalith, 4, "meg_bentus", rgb(192, 126, 0)},
        {ItemKind::Nebula, 0, "Nebula #1", rgb(64, 255, 64)},
        {ItemKind::Pebble, 2, "Pebble #1", rgb(218, 181, 100)},
        {ItemKind::Salvage, 0, "Salvage #1", rgb(0, 192, 0)},
        {ItemKind::Ship, 30, "hgn_scout", rgb(255, 0, 0)},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(kindInfo(c.kind).name);
        place(c.kind, 500, -700, c.entry);
        ASSERT_EQ(editor->rows().size(), static_cast<std::size_t>(row + 1));
        const ObjectRow& r = editor->rows().back();
        EXPECT_EQ(r.text, QString::fromLatin1(c.text));
        EXPECT_EQ(r.kind, c.kind);
        const int id = c.kind == ItemKind::PlayerStart ? 1 : 0;
        EXPECT_EQ(r.arrayId, id);
        EXPECT_EQ(doc().drawColour(c.kind, id), c.colour);
        EXPECT_EQ(doc().position(c.kind, id).x, 500);
        EXPECT_EQ(doc().position(c.kind, id).y, -700);
        if (c.kind != ItemKind::PlayerStart)
            doc().visit(c.kind, id, [&](const auto& rec) {
                if constexpr (requires { rec.modelIndex; })
                    EXPECT_EQ(rec.modelIndex, c.entry);
            });
        EXPECT_EQ(editor->labelFor(row).key, rowKey(row));
        EXPECT_EQ(editor->labelFor(row).visible, c.kind != ItemKind::Pebble);
        ++row;
    }
    EXPECT_EQ(doc().player(1).label, QStringLiteral("Player 2"));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EditorTest, CustomModelsAreNamedByTheirCustomName)
{
    placeCustom(ItemKind::Ship, QStringLiteral("kus_scout"));
    placeCustom(ItemKind::Asteroid, QStringLiteral("rock_9"));
    EXPECT_EQ(editor->rows()[0].text, QStringLiteral("kus_scout"));
    EXPECT_EQ(editor->rows()[1].text, QStringLiteral("rock_9 #1"));
    EXPECT_EQ(doc().ships()[0].modelIndex, -1);
    EXPECT_EQ(doc().ships()[0].customName, QStringLiteral("kus_scout"));
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].customName, QStringLiteral("rock_9"));
}

TEST_F(EditorTest, CustomNamesThatCannotBeReadBackAreRefused)
{
    for (const char* name : {"", "two words", "tab\there", "quo\"te", "com,ma", "br(acket", "sq]uare", "{curly"}) {
        placeCustom(ItemKind::Ship, QString::fromLatin1(name));
        EXPECT_TRUE(host.lastMessage().contains(QStringLiteral("custom model name"))) << name;
    }
    EXPECT_EQ(doc().itemCount(ItemKind::Ship), 0);
    EXPECT_TRUE(editor->rows().empty());
}

TEST_F(EditorTest, FieldsThatCannotBeStoredRefuseThePlacementNamingTheField)
{
    struct Case {
        ItemKind kind;
        int field;
        const char* text;
        const char* named;
    };
    const Case cases[] = {
        {ItemKind::Asteroid, 0, "abc", "% RUs"},      {ItemKind::Asteroid, 0, "12x", "% RUs"},
        {ItemKind::Asteroid, 0, "3e9", "% RUs"},      {ItemKind::Ship, 0, "", "Orientation"},
        {ItemKind::Ship, 1, "north", "Rotation?"},    {ItemKind::Ship, 3, "40000", "Player"},
        {ItemKind::Ship, 3, "1.5.2", "Player"},       {ItemKind::Cloud, 0, "70000", "Red [0-255]"},
        {ItemKind::Nebula, 3, "-1e12", "Size"},       {ItemKind::Salvage, 0, "9e99", "% RUs"},
    };
    for (const Case& c : cases) {
        editor->selectKind(c.kind);
        editor->setFieldText(c.field, QString::fromLatin1(c.text));
        clickTop(1, 1);
        EXPECT_EQ(doc().itemCount(c.kind), 0) << c.text;
        EXPECT_TRUE(host.lastMessage().contains(QStringLiteral("\"%1\"").arg(QString::fromLatin1(c.named))))
            << c.text << " -> " << host.lastMessage().toStdString();
    }
    EXPECT_TRUE(editor->rows().empty());
    EXPECT_EQ(host.messages.size(), std::size(cases));
}

TEST_F(EditorTest, LooseFieldsReadTheirLeadingNumber)
{
    editor->Option3_Click();
    editor->setFieldText(0, QStringLiteral("abc"));
    editor->setFieldText(1, QStringLiteral(" 1 2"));
    editor->setFieldText(2, QStringLiteral("2.5"));
    editor->setFieldText(3, QStringLiteral("77 units"));
    clickTop(0, 0);
    const CloudRecord& c = doc().clouds(ItemKind::Cloud)[0];
    EXPECT_EQ(c.red, 0);
    EXPECT_EQ(c.green, 12);
    EXPECT_EQ(c.blue, 2);
    EXPECT_EQ(c.size, 77);
}

TEST_F(EditorTest, SecondStartForOnePlayerIsRefused)
{
    place(ItemKind::PlayerStart, 100, 100, 1);
    place(ItemKind::PlayerStart, 900, 900, 1);
    EXPECT_EQ(host.lastMessage(), QStringLiteral("You already have a Player 2 start point!"));
    EXPECT_EQ(doc().player(1).posX, 100);
    EXPECT_EQ(editor->rows().size(), 1u);
}

TEST_F(EditorTest, ClicksThatMustDoNothing)
{
    clickTop(5, 5); // no mode yet
    place(ItemKind::Asteroid, 5, 5);
    editor->cmdZoomIn_Click();
    editor->cmdZoomOut_Click(); // zoom out keeps the zoom armed
    clickTop(50, 50);           // zooms instead of placing
    EXPECT_EQ(editor->rows().size(), 1u);
    EXPECT_FALSE(editor->zoomArmed());

    edit(0);
    editor->selectRow(-1);
    clickTop(700, 700); // editing with no row selected
    editor->cmdApply_Click();
    editor->picLeft_Click();
    EXPECT_EQ(doc().position(ItemKind::Asteroid, 0).x, 5);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EditorTest, EditingClickMovesTheSelectedItemAndItsLabelButNotItsHeight)
{
    editor->setSetHeightChecked(true);
    editor->setSetHeightText(QStringLiteral("750"));
    place(ItemKind::Ship, 10, 10);
    place(ItemKind::Pebble, 20, 20);
    edit(0);
    clickTop(-3000.5, 4000.9);
    EXPECT_EQ(doc().position(ItemKind::Ship, 0).x, -3001);
    EXPECT_EQ(doc().position(ItemKind::Ship, 0).y, 4000);
    EXPECT_EQ(doc().position(ItemKind::Ship, 0).z, 750);
    EXPECT_EQ(editor->labelFor(0).x, -2901);
    EXPECT_EQ(editor->labelFor(0).y, 4100);
    EXPECT_EQ(doc().position(ItemKind::Pebble, 0).x, 20);
    EXPECT_EQ(editor->rows().size(), 2u);
}

TEST_F(EditorTest, ReadoutsRoundDown)
{
    struct Case {
        double x, y;
        const char* sx;
        const char* sy;
    };
    for (const Case& c : {Case{-0.4, 12.7, "-1", "12"}, Case{-0.5, 0, "-1", "0"}, Case{2.999, -2.001, "2", "-3"},
                          Case{-30000, 29999.99, "-30000", "29999"}}) {
        editor->Picture1_MouseMove(0, 0, c.x, c.y);
        EXPECT_EQ(editor->lblX(), QString::fromLatin1(c.sx));
        EXPECT_EQ(editor->lblY(), QString::fromLatin1(c.sy));
        editor->picLeft_MouseMove(1, 0, c.x, c.y);
        EXPECT_EQ(editor->lblLeftX(), QString::fromLatin1(c.sx));
        EXPECT_EQ(editor->lblLeftY(), QString::fromLatin1(c.sy));
    }
    EXPECT_FALSE(editor->buttonDown()); // front-view moves never start a drag
}

TEST_F(EditorTest, ZoomInShrinksAroundThePointerInsideTheWorld)
{
    struct Case {
        double x, y;
        ViewScale first;
        ViewScale second;
    };
    const Case cases[] = {
        {0, 0, {-12000, -12000, 12000, 12000}, {-4800, -4800, 4800, 4800}},
        {29000, -29500, {6000, -30000, 30000, -6000}, {20400, -30000, 30000, -20400}},
        {-30000, 30000, {-30000, 6000, -6000, 30000}, {-30000, 20400, -20400, 30000}},
    };
    for (const Case& c : cases) {
        editor->cmdZoomOut_Click();
        for (const ViewScale& want : {c.first, c.second}) {
            editor->cmdZoomIn_Click();
            EXPECT_TRUE(editor->zoomArmed());
            clickTop(c.x, c.y);
            EXPECT_EQ(editor->topScale(), want) << c.x << "," << c.y;
            EXPECT_FALSE(editor->zoomArmed());
        }
        EXPECT_EQ(editor->frontScale(), (ViewScale{-30000, 20000, 30000, -20000}));
    }
    editor->cmdZoomOut_Click();
    EXPECT_EQ(editor->topScale(), (ViewScale{-30000, -30000, 30000, 30000}));
}

TEST_F(EditorTest, ZoomNarrowerThanOneUnitIsRefusedAndDisarmed)
{
    editor->mapSettings().sizeX = QStringLiteral("30000");
    editor->mapSettings().sizeY = QStringLiteral("2");
    ASSERT_TRUE(editor->Command1_Click());
    const ViewScale before = editor->topScale();
    ASSERT_EQ(before.height(), 4.0);
    editor->cmdZoomIn_Click();
    const quint64 revision = editor->revision();
    clickTop(0, 0);
    EXPECT_EQ(editor->topScale(), before);
    EXPECT_FALSE(editor->zoomArmed());
    EXPECT_EQ(editor->revision(), revision);

    // Eleven zooms of the default world would reach zero width; the view stops at its last size.
    makeEditor();
    for (int i = 0; i < 12; ++i) {
        editor->cmdZoomIn_Click();
        clickTop(0, 0);
    }
    EXPECT_GE(editor->topScale().width(), 2.0);
}

TEST_F(EditorTest, DragPlacesOneItemPerTimerTickUntilTheButtonIsReleased)
{
    editor->Option7_Click();
    editor->Timer1_Timer();
    EXPECT_TRUE(editor->rows().empty());
    editor->Picture1_MouseMove(0, 0, 0, 0); // no button: no drag
    editor->Timer1_Timer();
    EXPECT_TRUE(editor->rows().empty());
    for (int i = 1; i <= 3; ++i) {
        editor->Picture1_MouseMove(1, 0, i * 100.0, 0);
        editor->Timer1_Timer();
    }
    editor->Picture1_MouseUp(1, 0, 300, 0);
    editor->Timer1_Timer();
    ASSERT_EQ(editor->rows().size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(doc().position(ItemKind::Pebble, i).x, (i + 1) * 100);
}

TEST_F(EditorTest, MessageDuringADragEndsTheDrag)
{
    place(ItemKind::PlayerStart, 0, 0);
    editor->Picture1_MouseMove(1, 0, 50, 50);
    editor->Timer1_Timer();
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_FALSE(editor->buttonDown());
    editor->Timer1_Timer();
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(EditorTest, RandomHeightUsesTheInjectedSource)
{
    struct Case {
        bool setOn;
        const char* set;
        bool randomOn;
        const char* variance;
        double u1, r;
        std::int32_t want;
    };
    const Case cases[] = {
        {false, "1500", false, "300", 0.9, 0.9, 0},       {true, "1500", false, "300", 0, 0, 1500},
        {true, "2.5", false, "300", 0, 0, 2},             {true, "3.5", false, "300", 0, 0, 4},
        {false, "0", true, "300", 0.25, 0.5, -300},       {false, "0", true, "300", 0.75, 0.5, 300},
        {false, "0", true, "300", 0.49, 0.999999, -600},  {false, "0", true, "300", 0.5, 0.999999, 599},
        {false, "0", true, "300", 0.75, 0.0, 0},          {true, "1000", true, "300", 0.1, 0.999999, 400},
        {true, "1000", true, "300", 0.9, 0.999999, 1599}, {false, "0", true, "0", 0.9, 0.7, 0},
        {true, "abc", true, "x", 0.9, 0.7, 0},
    };
    for (const Case& c : cases) {
        editor->setSetHeightChecked(c.setOn);
        editor->setSetHeightText(QString::fromLatin1(c.set));
        editor->setRandomHeightChecked(c.randomOn);
        editor->setRandomHeightText(QString::fromLatin1(c.variance));
        random.push({c.u1, c.r});
        EXPECT_EQ(editor->calcRandomHeight(), c.want) << c.set << " " << c.variance << " " << c.u1 << " " << c.r;
        random.values->clear();
    }
}

TEST_F(EditorTest, SuccessiveRandomHeightsDiffer)
{
    // Heights drawn within one second must not repeat, as a drag places ten items a second.
    editor->setRandomHeightChecked(true);
    random.push({0.75, 0.1, 0.75, 0.2, 0.75, 0.3});
    EXPECT_EQ(editor->calcRandomHeight(), 60);
    EXPECT_EQ(editor->calcRandomHeight(), 120);
    EXPECT_EQ(editor->calcRandomHeight(), 180);
}

TEST_F(EditorTest, SetHeightReplacesTheWholeHeightOfAPlayerStartOnly)
{
    editor->setSetHeightChecked(true);
    editor->setSetHeightText(QStringLiteral("1000"));
    editor->setRandomHeightChecked(true);
    random.push({0.75, 0.5});
    place(ItemKind::PlayerStart, 0, 0);
    EXPECT_EQ(doc().player(0).posZ, 1000);
    random.push({0.75, 0.5});
    place(ItemKind::Asteroid, 0, 0);
    EXPECT_EQ(doc().resources(ItemKind::Asteroid)[0].posZ, 1300);
}

TEST_F(EditorTest, FrontClickSetsTheEditedItemsHeight)
{
    place(ItemKind::Ship, 10, 20);
    edit(0);
    editor->picLeft_Click(); // the pointer has not been over the front view yet
    EXPECT_EQ(doc().ships()[0].posZ, 0);
    editor->picLeft_MouseMove(0, 0, 999, 2345.7);
    editor->picLeft_Click();
    EXPECT_EQ(doc().ships()[0].posZ, 2345);
    EXPECT_EQ(doc().ships()[0].posX, 10);

    editor->Option9_Click(); // placement mode: the front view only shows
    editor->picLeft_MouseMove(0, 0, 0, -500);
    editor->picLeft_Click();
    EXPECT_EQ(doc().ships()[0].posZ, 2345);
}
