#include "EditorFixture.h"

using namespace starloom;
using namespace starloom::test;

TEST_F(EditorTest, EveryKindPlacesAWholeItemAtTheRoundedDownPointer)
{
    struct Case {
        ItemKind kind;
        int entry;
        const char* text;
        std::int32_t colour;
    } const cases[] = {
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
        place(c.kind, 500.7, -700.2, c.entry);
        const int id = c.kind == ItemKind::PlayerStart ? 1 : 0;
        EXPECT_EQ(
            editor->rows().back(), (ObjectRow{QString::fromLatin1(c.text), c.kind, static_cast<std::int16_t>(id)}));
        const ItemPosition p = doc().position(c.kind, id);
        EXPECT_EQ(doc().drawColour(c.kind, id), c.colour);
        EXPECT_EQ(p.x, 500);
        EXPECT_EQ(p.y, -701);
        EXPECT_EQ(p.z, 0);
        doc().visit(c.kind, id, [&](const auto& rec) {
            if constexpr (requires { rec.modelIndex; }) {
                EXPECT_EQ(rec.modelIndex, c.entry);
            }
        });
        const MapLabel label = editor->labelFor(row);
        EXPECT_EQ(label.caption, QString::fromLatin1(c.text));
        EXPECT_EQ(label.key, rowKey(row++));
        EXPECT_EQ(label.x, 600.0);
        EXPECT_EQ(label.y, -601.0);
        EXPECT_EQ(label.visible, c.kind != ItemKind::Pebble);
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(EditorTest, CustomModelsAreNamedByTheirNameUnlessUnreadable)
{
    placeCustom(ItemKind::Ship, QStringLiteral("kus_scout"));
    placeCustom(ItemKind::Asteroid, QStringLiteral("rock_9"));
    EXPECT_EQ(editor->rows()[0].text + u'|' + editor->rows()[1].text + u'|'
            + doc().resources(ItemKind::Asteroid)[0].customName,
        QStringLiteral("kus_scout|rock_9 #1|rock_9"));
    EXPECT_EQ(doc().ships()[0].modelIndex, std::int16_t(-1));
    EXPECT_EQ(doc().ships()[0].customName, QStringLiteral("kus_scout"));
    // A name is one quoted argument in the file, whatever it holds; text outside Latin-1 cannot be written.
    for (const char* name : {"two words, (and) {more}", "quo\"te\\slash\ttab"}) {
        placeCustom(ItemKind::Ship, QString::fromLatin1(name));
        EXPECT_EQ(
            doc().ships().at(std::size_t(doc().itemCount(ItemKind::Ship) - 1)).customName, QString::fromLatin1(name));
    }
    for (const QString& name : {QString(), QStringLiteral("sh\u20acp"), QStringLiteral("meg_like")}) {
        placeCustom(ItemKind::Ship, name);
        EXPECT_TRUE(host.lastMessage().contains(QStringLiteral("custom model name"))) << name.toStdString();
    }
    EXPECT_EQ(doc().itemCount(ItemKind::Ship), 3);
    EXPECT_EQ(editor->rows().size(), std::size_t(4));
    host.messages.clear();
    // So are number fields that cannot be stored, naming the field.
    const std::tuple<ItemKind, int, const char*, const char*> cases[] = {
        {ItemKind::Asteroid, 0, "12x", "Resources (%)"}, {ItemKind::Salvage, 0, "9e99", "Resources (%)"},
        {ItemKind::Ship, 0, "", "Pitch (degrees)"}, {ItemKind::Ship, 1, "north", "Roll (degrees)"},
        {ItemKind::Ship, 3, "40000", "Owner (player)"}, {ItemKind::Cloud, 0, "70000", "Red [0-255]"},
        {ItemKind::Nebula, 3, "-1e12", "Size (world units)"}};
    for (const auto& [kind, field, text, named] : cases) {
        editor->chooseKind(kind);
        editor->setFieldText(field, QString::fromLatin1(text));
        clickTop(1, 1);
        EXPECT_EQ(editor->rows().size(), std::size_t(4)) << text;
        EXPECT_TRUE(host.lastNote().contains(QStringLiteral("\"%1\"").arg(QString::fromLatin1(named)))) << text;
    }

    editor->chooseKind(ItemKind::Cloud); // colour and size fields read their leading number instead
    for (const auto& [field, text] :
        {std::pair{0, "abc"}, std::pair{1, " 1 2"}, std::pair{2, "2.5"}, std::pair{3, "77 units"}})
        editor->setFieldText(field, QString::fromLatin1(text));
    clickTop(0, 0);
    const CloudRecord& c = doc().clouds(ItemKind::Cloud)[0];
    EXPECT_EQ(c.red, 0);
    EXPECT_EQ(c.green, 12);
    EXPECT_EQ(c.blue, 2);
    EXPECT_EQ(c.size, 77);
}

TEST_F(EditorTest, ClicksThatMustDoNothing)
{
    clickTop(5, 5); // no mode yet
    place(ItemKind::PlayerStart, 100, 100, 1);
    place(ItemKind::PlayerStart, 900, 900, 1);
    EXPECT_EQ(host.lastNote(), QStringLiteral("You already have a Player 2 start point!"));

    place(ItemKind::Asteroid, 5, 5);
    editor->armZoom();
    editor->zoomOutFully(); // zoom out keeps the zoom armed
    clickTop(50, 50);       // zooms instead of placing
    edit(1);
    editor->selectRow(-1);
    clickTop(700, 700); // editing with no row selected
    editor->applyPanel();
    editor->setHeightAtFrontPointer();
    EXPECT_EQ(doc().player(1).posX, 100);
    EXPECT_EQ(doc().position(ItemKind::Asteroid, 0).x, 5);
    EXPECT_EQ(editor->rows().size(), std::size_t(2));
    EXPECT_EQ(host.notes.size(), std::size_t(1));

    editor->mapSettings().sizeY =
        QStringLiteral("2"); // a zoom to less than one unit is refused and disarms, changing nothing
    ASSERT_TRUE(editor->acceptOptions());
    const ViewScale before = editor->topScale();
    editor->armZoom();
    const quint64 revision = editor->revision();
    clickTop(0, 0);
    EXPECT_EQ(editor->topScale(), before);
    EXPECT_EQ(editor->zoomArmed(), false);
    EXPECT_EQ(editor->revision(), revision);
}

TEST_F(EditorTest, EditingClicksMoveTheSelectedItemWithItsLabelOrSetItsHeight)
{
    editor->setSetHeightChecked(true);
    editor->setSetHeightText(QStringLiteral("750"));
    place(ItemKind::Ship, 10, 10);
    place(ItemKind::Pebble, 20, 20);
    edit(0);
    editor->setHeightAtFrontPointer(); // the pointer has not been over the front view yet
    EXPECT_EQ(doc().ships()[0].posZ, 750);
    clickTop(-3000.5, 4000.9);
    const ItemPosition p = doc().position(ItemKind::Ship, 0);
    EXPECT_EQ(p.x, -3001) << "a move keeps the height";
    EXPECT_EQ(p.y, 4000) << "a move keeps the height";
    EXPECT_EQ(p.z, 750) << "a move keeps the height";
    EXPECT_EQ(editor->labelFor(0).x, -2901.0) << "a move keeps the height";
    EXPECT_EQ(editor->labelFor(0).y, 4100.0) << "a move keeps the height";
    EXPECT_EQ(doc().position(ItemKind::Pebble, 0).x, 20) << "a move keeps the height";

    for (const bool editing : {true, false}) {
        if (!editing)
            editor->chooseKind(ItemKind::Ship); // placement mode: the front view only shows
        editor->moveOnFrontView(QPointF(999, editing ? 2345.7 : -500));
        editor->setHeightAtFrontPointer();
        EXPECT_EQ(doc().ships()[0].posX, -3001);
        EXPECT_EQ(doc().ships()[0].posZ, 2345);
    }
}

TEST_F(EditorTest, ThePointerReadoutsRoundDown)
{
    for (const auto& [x, y, shown] : {std::tuple{-0.4, 12.7, "-1 12"}, std::tuple{2.999, -2.001, "2 -3"},
             std::tuple{-30000.0, 29999.99, "-30000 29999"}}) {
        editor->moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(x, y));
        editor->moveOnFrontView(QPointF(x, y));
        EXPECT_EQ(editor->lblX() + u' ' + editor->lblY() + u' ' + editor->lblLeftX() + u' ' + editor->lblLeftY(),
            QString::fromLatin1(shown) + u' ' + QString::fromLatin1(shown));
    }
    EXPECT_FALSE(editor->buttonDown()); // front-view moves never start a drag
}

TEST_F(EditorTest, ADragPlacesOneItemPerTimerTickUntilReleasedOrRefused)
{
    editor->chooseKind(ItemKind::Pebble);
    for (int i = 0; i <= 3; ++i) { // no button at first: no drag
        editor->moveOnTopView(i > 0 ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier, QPointF(i * 100.0, 0));
        editor->repeatWhileHeld();
    }
    editor->releaseOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(300, 0));
    editor->repeatWhileHeld();
    EXPECT_EQ(editor->rows().size(), std::size_t(3));
    EXPECT_EQ(doc().position(ItemKind::Pebble, 2).x, 300);

    place(ItemKind::PlayerStart, 0, 0);
    editor->moveOnTopView(Qt::LeftButton, Qt::NoModifier, QPointF(50, 50));
    editor->repeatWhileHeld(); // a second start for player 1: the refusal ends the drag
    editor->repeatWhileHeld();
    EXPECT_EQ(host.notes.size(), std::size_t(1));
    EXPECT_EQ(editor->buttonDown(), false);
}

TEST_F(EditorTest, RandomHeightUsesTheInjectedSource)
{
    // Set height (empty: off), variance (empty: off), the two random numbers, the height.
    const std::tuple<const char*, const char*, double, double, int> cases[] = {{"", "", 0.9, 0.9, 0},
        {"2.5", "", 0, 0, 2}, {"3.5", "", 0, 0, 4}, {"", "300", 0.25, 0.5, -300}, {"", "300", 0.49, 0.999999, -600},
        {"", "300", 0.5, 0.999999, 599}, {"1000", "300", 0.9, 0.999999, 1599}, {"abc", "x", 0.9, 0.7, 0}};
    for (const auto& [set, variance, u1, r, want] : cases) {
        editor->setSetHeightChecked(*set);
        editor->setSetHeightText(QString::fromLatin1(set));
        editor->setRandomHeightChecked(*variance);
        editor->setRandomHeightText(QString::fromLatin1(variance));
        random.push({u1, r});
        EXPECT_EQ(editor->calcRandomHeight(), want) << set << " " << variance << " " << u1 << " " << r;
    }
    // Heights drawn within a second differ (a drag places ten a second); a player start takes the set height.
    editor->setRandomHeightText(QStringLiteral("300"));
    editor->setSetHeightText(QStringLiteral("1000"));
    random.push({0.75, 0.1, 0.75, 0.2, 0.75, 0.5});
    for (const ItemKind kind : {ItemKind::Asteroid, ItemKind::Asteroid, ItemKind::PlayerStart})
        place(kind, 0, 0);
    EXPECT_EQ(doc().position(ItemKind::Asteroid, 0).z, 1060);
    EXPECT_EQ(doc().position(ItemKind::Asteroid, 1).z, 1120);
    EXPECT_EQ(doc().player(0).posZ, 1000);
}

TEST_F(EditorTest, TheFrontViewFollowsOnlyTheTopViewsHorizontalRange)
{
    const ViewScale front = editor->frontScale();
    auto lined = [&] {
        const ViewScale& t = editor->topScale();
        const ViewScale& f = editor->frontScale();
        return f.left == t.left && f.right == t.right && f.top == front.top && f.bottom == front.bottom;
    };
    editor->zoomAround(3, QPointF(10000, 5000)); // zoomed around a point off the centre
    ASSERT_LT(editor->topScale().width(), 60000.0);
    EXPECT_TRUE(lined());
    editor->panTopView(-4000, 1000);
    EXPECT_TRUE(lined());
    editor->armZoom();
    clickTop(-20000, 20000);
    EXPECT_TRUE(lined());
    EXPECT_LT(editor->frontScale().width(), 15000.0);
    editor->zoomOutFully();
    EXPECT_TRUE(lined());
    EXPECT_EQ(editor->frontScale(), front);
}
