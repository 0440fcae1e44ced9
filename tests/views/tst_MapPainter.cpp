#include "views/MapPainter.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <random>
#include <vector>

using namespace starloom;

namespace {

const QRgb black = qRgb(0, 0, 0), grey = qRgb(100, 100, 100), white = qRgb(255, 255, 255), red = qRgb(255, 0, 0);
const QRgb magenta = qRgb(255, 0, 255), green = qRgb(0, 192, 0), asteroidRgb = qRgb(154, 110, 4);
const std::int32_t asteroidColour = rgb(154, 110, 4);
const ViewScale fullTop{-30000, -30000, 30000, 30000}, zoomedTop{-12000, -12000, 12000, 12000};

// A level with its object list, and the scene that shows it. With 600 x 600 pixels for the
// default world, one pixel is 100 world units: world x lies at column (x + 30000) / 100.
struct Map {
    LevelDocument document;
    std::vector<ObjectRow> rows;
    MapScene scene;
    MapPainter painter;

    Map(const char* grid = "2500", const char* x = "30000", const char* y = "30000")
    {
        scene.document = &document;
        scene.rows = &rows;
        scene.gridSizeText = QString::fromLatin1(grid);
        scene.labelShown = {};
        // The first versions' colours, in which labels are yellow on black boxes; no scale bar.
        scene.colours.margin = scene.colours.background;
        scene.colours.labelText = QColor(255, 255, 0);
        scene.colours.labelPlate = QColor(0, 0, 0);
        scene.scaleBar = false;
        MapSettings settings;
        settings.sizeX = QString::fromLatin1(x);
        settings.sizeY = QString::fromLatin1(y);
        scene.world = worldSize(settings);
        scene.top = topScaleFor(settings);
        scene.front = frontScaleFor(settings);
    }
    void addPlayer(int slot, int x, int y, int z, float orientation)
    {
        document.player(slot) = {
            QStringLiteral("Player %1").arg(slot), x, y, z, orientation, rgb(255, 0, 0), Chunk::Other, {}};
        rows.push_back({document.player(slot).label, ItemKind::PlayerStart, static_cast<std::int16_t>(slot)});
    }
    // An asteroid, or with the colour red a ship.
    void add(int x, int y, int z, std::int32_t colour = asteroidColour, const QString& text = {})
    {
        const bool ship = colour == rgb(255, 0, 0);
        const auto id = ship
            ? document.appendItem(ItemKind::Ship,
                test::filled<ShipRecord>([&](auto& r) { r.posX = x, r.posY = y, r.posZ = z, r.drawColour = colour; }))
            : document.appendItem(ItemKind::Asteroid, test::filled<ResourceRecord>([&](auto& r) {
                  r.posX = x, r.posY = y, r.posZ = z, r.drawColour = colour;
              }));
        rows.push_back({text.isEmpty() ? QStringLiteral("Asteroid #%1").arg(*id) : text,
            ship ? ItemKind::Ship : ItemKind::Asteroid, *id});
    }
    QImage top(QSize size = {600, 600}, bool frontView = false) const
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter p(&image);
        frontView ? painter.paintFrontView(p, size, scene) : painter.paintTopView(p, size, scene);
        return image;
    }
    int labelAt(QPointF p, const QImage* image = nullptr) const
    {
        return painter.labelAt(scene, image ? image->size() : QSize(600, 600), p, image);
    }
};

// Pixels of the colour (with none: of yellowish label text) in the area, by default the whole image.
int count(const QImage& image, std::optional<QRgb> colour, QRect area = {})
{
    area = area.isNull() ? image.rect() : area & image.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            n += colour ? c == *colour : qRed(c) > 128 && qGreen(c) > 128 && qBlue(c) < 64;
        }
    return n;
}
// True when some pixel within `radius` of (x, y) has the colour.
bool near(const QImage& image, int x, int y, QRgb colour, int radius = 1)
{
    return count(image, colour, {x - radius, y - radius, 2 * radius + 1, 2 * radius + 1}) > 0;
}

TEST(MapPainter, TheGridIsDrawnToItsSizeFromTheNegativeEdge)
{
    struct Case {
        const char* grid;
        ViewScale view;
        std::vector<int> lineColumns, emptyColumns;
        QList<QPoint> white, notWhite;
    };
    // Cross arms of 1250 units: 12.5 pixels in the full view, 31.25 zoomed.
    for (const Case& c : {Case{"2500", fullTop, {25, 50, 275, 575}, {0, 12, 37, 290},
                              {{300, 300}, {290, 300}, {311, 300}, {300, 289}, {300, 311}},
                              {{316, 300}, {284, 300}, {300, 316}, {300, 284}, {305, 305}}},
             Case{"7000", fullTop, {70, 140, 280, 560}, {0, 25, 300, 575}, {}, {}},
             Case{"2500.5", fullTop, {25, 50, 575}, {37}, {}, {}}, // rounds half to even
             Case{"2500", zoomedTop, {50, 112}, {0, 80}, {{300, 300}, {270, 300}, {330, 300}, {300, 270}, {300, 330}},
                 {{335, 300}, {265, 300}, {300, 335}, {300, 265}}}}) {
        Map map(c.grid);
        map.scene.top = c.view;
        const QImage image = map.top();
        // A dotted line is grey on about every third pixel; crossings alone give a few dozen.
        for (const int x : c.lineColumns)
            EXPECT_GT(count(image, grey, {x, 0, 1, 600}), 150) << c.grid << " column " << x;
        for (const int x : c.emptyColumns)
            EXPECT_LT(count(image, grey, {x, 0, 1, 600}), 40) << c.grid << " column " << x;
        for (const QPoint& p : c.white + c.notWhite)
            EXPECT_EQ(image.pixel(p) == white, c.white.contains(p)) << p.x() << "," << p.y();
        EXPECT_EQ(count(image, magenta), 0) << "the background is cleared";
    }
    const QImage wide = Map("2500", "40000", "20000").top({800, 400}); // lines run from edge to edge
    EXPECT_GT(count(wide, grey, {25, 0, 1, 400}), 120);
    EXPECT_TRUE(near(wide, 25, 2, grey, 2));
    EXPECT_TRUE(near(wide, 25, 397, grey, 2));
    EXPECT_GT(count(wide, grey, {0, 25, 800, 1}), 250);
    EXPECT_TRUE(near(wide, 2, 25, grey, 2));
    EXPECT_TRUE(near(wide, 797, 25, grey, 2));
}

TEST(MapPainter, UnusableSpacingDrawsNoGrid)
{
    for (const char* text : {"0", "abc", "-2500", "", "0.4"}) {
        Map map(text);
        map.add(5000, 5000, 0);
        const QImage image = map.top();
        EXPECT_EQ(count(image, grey), 0) << text;
        EXPECT_TRUE(near(image, 350, 350, asteroidRgb)) << "items are still drawn";
    }
}

TEST(MapPainter, PlayerStartCircleStaysRoundWhenTheAxesScaleDifferently)
{
    Map flat("0"); // 100 units per pixel across, 300 down: still 10 pixels on both axes
    flat.scene.top.fill = true;
    flat.addPlayer(0, 0, 0, 0, 0);
    const QImage image = flat.top({600, 200});
    EXPECT_TRUE(near(image, 310, 100, red));
    EXPECT_TRUE(near(image, 290, 100, red));
    EXPECT_TRUE(near(image, 300, 110, red));
    EXPECT_FALSE(near(image, 300, 103, red, 0));
}

TEST(MapPainter, HeadingRunsClockwiseFromUpToAWholeUnit)
{
    EXPECT_EQ(playerHeadingEnd(1000, 2000, -90), QPointF(-200, 2000));
    // One unit per pixel, the centre at pixel (1000, 1200); 95% of the way to (1863, 1166), resp. (1834, 1137).
    for (const auto& [orientation, on, off] : {std::tuple{0.f, QPoint(1000, 300), QPoint(1000, 2100)},
             std::tuple{45.5f, QPoint(1820, 408), QPoint(1792, 380)},
             std::tuple{44.5f, QPoint(1792, 380), QPoint(1820, 408)}}) {
        Map map("0");
        map.addPlayer(0, 1000, 2000, 0, orientation);
        map.scene.top = {0, 800, 2400, 3200};
        const QImage image = map.top({2400, 2400});
        EXPECT_TRUE(near(image, on.x(), on.y(), red)) << orientation;
        EXPECT_FALSE(near(image, off.x(), off.y(), red)) << orientation;
    }
}

TEST(MapPainter, PointsAreTwoPixelsAcrossOnlyInsideTheView)
{
    Map map("0");
    map.add(20000, 0, 0);
    map.add(4000, 4000, 0, rgb(0, 192, 0));
    map.addPlayer(1, -20000, -20000, 0, 0);
    QImage image = map.top();
    EXPECT_EQ(count(image, asteroidRgb), 4);
    EXPECT_TRUE(near(image, 500, 300, asteroidRgb));
    map.scene.top = zoomedTop;
    image = map.top();
    EXPECT_EQ(count(image, asteroidRgb) + count(image, red), 0);
    EXPECT_TRUE(near(image, 400, 400, green));
}

TEST(MapPainter, LaterRowsPaintOverEarlierOnes)
{
    for (const bool shipFirst : {true, false}) {
        Map both;
        both.add(5000, 5000, -3000, shipFirst ? rgb(255, 0, 0) : asteroidColour);
        both.add(5000, 5000, -3000, shipFirst ? asteroidColour : rgb(255, 0, 0));
        const QRgb visible = shipFirst ? asteroidRgb : red;
        const QImage top = both.top();
        EXPECT_EQ((std::vector{top.pixel(349, 349), top.pixel(350, 350), both.top({600, 400}, true).pixel(350, 230)}),
            std::vector(3, visible));
    }
}

TEST(MapPainter, RenderViewsStacksTopAboveAFrontViewOfHeights)
{
    Map map;
    map.addPlayer(0, 1000, 2000, 500, 90);
    map.addPlayer(1, 0, 29900, 0, 180); // circle and heading reach past the bottom edge
    map.add(-10000, 0, -10000);
    const QImage image = map.painter.renderViews(map.scene, {600, 600}, {600, 400});
    ASSERT_EQ(image.size(), QSize(600, 600 + viewGapPixels + 400));
    EXPECT_EQ(image.pixel(315, 320), red);
    EXPECT_TRUE(near(image, 310, 597, red, 2));
    const QRect gap(0, 600, 600, viewGapPixels);
    EXPECT_EQ(count(image, black, gap) + count(image, red, gap), 0) << "nothing leaks into the gap";
    // In the front view height 0 lies at row 200, height 500 at row 195.
    const int front = 600 + viewGapPixels;
    EXPECT_GT(count(image, grey, {0, front + 200, 600, 1}), 150);
    EXPECT_TRUE(near(image, 320, front + 195, red));
    EXPECT_TRUE(near(image, 300, front + 195, red));
    EXPECT_FALSE(near(image, 316, front + 195, red, 0)) << "no heading line in the front view";
    EXPECT_TRUE(near(image, 200, front + 300, asteroidRgb));
    EXPECT_EQ(count(image, white, {0, front, 600, 400}), 0) << "no origin cross in the front view";
}

// The front view draws from the top view's cache of the items. Whichever paints first after a
// change makes it again for both, and the top view's labels then measure their new captions.
TEST(MapPainter, TwoViewsSharingTheirItemsDrawEachChangeWhicheverPaintsFirst)
{
    Map map;
    map.scene.revision = 1;
    map.scene.labelShown.fill(true);
    map.add(0, 0, 0, asteroidColour, QStringLiteral("A"));
    MapPainter front;
    front.shareItemsWith(map.painter);
    const auto frontImage = [&] {
        QImage image(600, 600, QImage::Format_RGB32);
        QPainter p(&image);
        front.paintFrontView(p, image.size(), map.scene);
        return image;
    };
    QImage top = map.top();
    const int shortHits = map.labelAt({330.5, 305.5}, &top);
    EXPECT_EQ(shortHits, -1) << "a one-letter caption ends before x 330";
    EXPECT_TRUE(near(frontImage(), 300, 300, asteroidRgb)) << "front: (0, height 0) at column 300";

    // The item moves and its caption grows: a new revision, which the front view paints first.
    map.document.resources(ItemKind::Asteroid)[0].posX = 10000;
    map.document.resources(ItemKind::Asteroid)[0].posZ = 5000;
    map.rows[0].text = QStringLiteral("A much longer caption");
    map.scene.revision = 2;
    const QImage moved = frontImage();
    EXPECT_FALSE(near(moved, 300, 300, asteroidRgb));
    top = map.top();
    EXPECT_TRUE(near(top, 400, 300, asteroidRgb)) << "top: x 10000 at column 400";
    EXPECT_EQ(map.labelAt({430.5, 305.5}, &top), 0) << "the longer caption is measured anew";
}

// Labels: the asteroid at (0, 0) has its label's top-left corner at world (100, 100), pixel (301, 301).
TEST(MapPainter, LabelHitAreaIsThePaintedBoxOfShownKindsOnly)
{
    for (const quint64 revision : {quint64(0), quint64(9)}) {
        Map map;
        // With a revision the painter keeps what it read, label widths too, until the font changes.
        map.scene.revision = revision;
        map.add(0, 0, 0, 0, QStringLiteral("Asteroid #12345"));
        map.scene.labelShown.fill(true);
        map.scene.labelShown[typeIdOf(ItemKind::Asteroid)] = false;
        QImage image = map.top();
        EXPECT_EQ(count(image, std::nullopt), 0);
        EXPECT_EQ(map.labelAt({303, 304}, &image), -1);
        map.scene.labelShown[typeIdOf(ItemKind::Asteroid)] = true;
        for (const int points : {4, 8, 12}) {
            map.scene.labelPointSize = points;
            image = map.top();
            int hits = 0;
            for (int y = 290; y < 350; ++y)
                for (int x = 290; x < 500; ++x) {
                    const QRgb c = image.pixel(x, y);
                    const int row = map.labelAt(QPointF(x + 0.5, y + 0.5), &image);
                    hits += row == 0;
                    // Inside: a black box with yellow text blended into black; outside: no text.
                    if (row == 0) {
                        EXPECT_EQ(qBlue(c), 0) << points << "pt at " << x << "," << y;
                        EXPECT_EQ(qRed(c), qGreen(c)) << points << "pt at " << x << "," << y;
                    } else {
                        EXPECT_EQ(row, -1) << points << "pt at " << x << "," << y;
                        EXPECT_EQ(count(image, std::nullopt, {x, y, 1, 1}), 0) << points << "pt at " << x << "," << y;
                    }
                }
            EXPECT_GT(hits, 40) << points;
            EXPECT_EQ((std::vector{map.labelAt({301.5, 301.5}, &image), map.labelAt({300.5, 301.5}, &image),
                          map.labelAt({301.5, 300.5}, &image)}),
                (std::vector{0, -1, -1}))
                << "from the top-left corner on";
        }
        map.scene.top = zoomedTop; // the corner (100, 100) is now at pixel (302.5, 302.5)
        {
            EXPECT_EQ(map.labelAt({303, 304}), 0);
            EXPECT_EQ(map.labelAt({301, 304}), -1);
        }
    }
}

TEST(MapPainter, LaterLabelsCoverEarlierOnes)
{
    // Items in black draw nothing visible, so the images differ only by their labels.
    Map one, two, longer;
    two.add(0, 0, 0, 0, QStringLiteral("Asteroid #1"));
    longer.add(0, 0, 0, 0, QStringLiteral("Asteroid #1 with a much longer caption"));
    for (Map* m : {&one, &two, &longer}) {
        m->add(0, 0, 0, 0, QStringLiteral("Asteroid #2"));
        m->scene.labelShown.fill(true);
    }
    EXPECT_EQ(two.top(), one.top());
    // A longer caption underneath still shows where the later box does not reach.
    EXPECT_GT(count(longer.top(), std::nullopt, {380, 300, 219, 30}), 0);
}

TEST(MapPainter, TheLaterOfOverlappingLabelsWinsTheHitTest)
{
    Map map;
    map.add(0, 0, 0, 0, QStringLiteral("Asteroid #1"));
    map.add(0, 0, 0, 0, QStringLiteral("Asteroid #2"));
    map.scene.labelShown.fill(true);
    EXPECT_EQ(map.labelAt({303, 304}), 1);
}

// The hit-test answers from the labels the last paint of the same view showed: what is on the
// screen. Another resolution, another row count or a changed caption asks every row instead.
TEST(MapPainter, HitTestAnswersFromTheLastPaintOfTheSameView)
{
    Map map;
    map.scene.labelShown.fill(true);
    map.add(0, 0, 0, 0, QStringLiteral("Asteroid #1"));
    const QImage painted = map.top();
    map.document.visit(ItemKind::Asteroid, 0, [](auto& r) {
        r.posX = 5000;
        r.posY = 0;
        r.posZ = 0;
    }); // 50 pixels right, not painted yet
    EXPECT_EQ(std::pair(map.labelAt({303, 304}, &painted), map.labelAt({353, 304}, &painted)), std::pair(0, -1));
    EXPECT_EQ(std::pair(map.labelAt({303, 304}), map.labelAt({353, 304})), std::pair(-1, 0)) << "another resolution";
    const QImage repainted = map.top();
    EXPECT_EQ(std::pair(map.labelAt({303, 304}, &repainted), map.labelAt({353, 304}, &repainted)), std::pair(-1, 0));
    map.document.visit(ItemKind::Asteroid, 0, [](auto& r) {
        r.posX = 0;
        r.posY = 0;
        r.posZ = 0;
    });
    map.rows[0].text = QStringLiteral("A");
    EXPECT_EQ(map.labelAt({353, 304}, &repainted), -1) << "a changed caption";
    map.add(0, 0, 0, 0, QStringLiteral("Asteroid #2"));
    EXPECT_EQ(map.labelAt({303, 304}, &repainted), 1) << "a row more";
}

TEST(MapPainter, CloudsAreDiscsOfTheirSizeWhenAskedFor)
{
    Map map;
    const auto id = map.document.appendItem(ItemKind::Nebula, test::filled<CloudRecord>([](auto& r) {
        r.size = 5000, r.red = r.green = 0, r.blue = 255, r.posX = r.posY = -20000;
    }));
    map.rows.push_back({QStringLiteral("Nebula #1"), ItemKind::Nebula, *id});
    // A disc 50 pixels in radius around column and row 100, in the cloud's colour, only when asked for.
    EXPECT_EQ(qBlue(map.top().pixel(140, 100)), 0);
    map.scene.cloudDiscs = true;
    const QImage discs = map.top();
    EXPECT_GT(qBlue(discs.pixel(140, 100)), 0);
    EXPECT_EQ(qBlue(discs.pixel(160, 100)), 0);
    // Thousands of discs in the view are left out: a generated level of many clouds must paint fast.
    for (int i = 0; i < 2000; ++i) {
        const auto more = map.document.appendItem(ItemKind::Nebula, test::filled<CloudRecord>([](auto& r) {
            r.size = 5000, r.red = r.green = 0, r.blue = 255, r.posX = r.posY = -20000;
        }));
        map.rows.push_back({QStringLiteral("Nebula"), ItemKind::Nebula, *more});
    }
    EXPECT_EQ(qBlue(map.top().pixel(140, 100)), 0);
}

TEST(MapPainter, CrowdedLabelsAreThinnedOut)
{
    // Two labels over one another: thinned out, only the first shows, unless the pointer rests on
    // the second item; a label further off always shows.
    Map labels;
    labels.add(1000, 1000, 0, 0, QStringLiteral("AAAAAAAA"));
    labels.add(1000, 1200, 0, 0, QStringLiteral("BBBBBBBB"));
    labels.add(10000, 10000, 0, 0, QStringLiteral("CCCCCCCC"));
    labels.scene.labelShown.fill(true);
    labels.scene.declutterLabels = true;
    const QImage thinned = labels.top();
    Map first;
    first.add(1000, 1000, 0, 0, QStringLiteral("AAAAAAAA"));
    first.add(10000, 10000, 0, 0, QStringLiteral("CCCCCCCC"));
    first.scene.labelShown.fill(true);
    EXPECT_TRUE(thinned == first.top());
    labels.scene.hoveredRow = 1;
    EXPECT_FALSE(labels.top() == thinned);
}

TEST(MapPainter, ASelectedItemIsFramedInBothViews)
{
    // A selected item is framed in white in both views.
    Map selected;
    selected.add(0, 0, 0);
    const std::vector<int> rows{0};
    selected.scene.selection = &rows;
    EXPECT_TRUE(near(selected.top(), 295, 300, white, 1));
    EXPECT_TRUE(near(selected.top({600, 600}, true), 295, 300, white, 1));
}

TEST(MapPainter, DegenerateScenesPaintWithoutFault)
{
    Map map;
    map.scene.labelShown.fill(true);
    map.rows.insert(map.rows.end(),
        {{QStringLiteral("gone"), ItemKind::Asteroid, 500}, {QStringLiteral("bad"), static_cast<ItemKind>(10), 0}});
    map.add(5000, 5000, 0);
    EXPECT_TRUE(near(map.top(), 350, 350, asteroidRgb)) << "rows without a record are skipped";
    EXPECT_EQ(map.labelAt({352, 352}), 2) << "rows without a record are skipped";
    map.scene.top = {5, 5, 5, 5};
    EXPECT_EQ(count(map.top(), black), 600 * 600);
    EXPECT_EQ(map.labelAt({300, 300}), -1);
    map.scene.document = nullptr;
    map.scene.rows = nullptr;
    EXPECT_EQ(count(map.top(), magenta), 0);
}

TEST(MapPainter, ADeepZoomShowsOnlyWhatReachesTheView)
{
    Map deep("1", "2147483647", "2147483647");
    deep.scene.labelShown.fill(true);
    deep.addPlayer(0, 2147483000, -2147483000, 0, 45);
    deep.add(-2147483000, 2147483000, 0);
    deep.addPlayer(1, 0, 0, 0, 45);
    deep.scene.top = {-1, -1, 1, 1};
    const QImage image = deep.top();
    // The second player's circle is 1e6 pixels across: only its heading line shows.
    EXPECT_EQ(count(image, asteroidRgb), 0);
    EXPECT_GT(count(image, red), 0);
    EXPECT_EQ(deep.labelAt({300, 300}), -1);
}

} // namespace

namespace {

// What the painter read of the items is kept only while the scene's revision, document, rows and
// row count stay the same; revision 0 reads them afresh on every paint.
TEST(MapPainter, ItemsAreReadAfreshWheneverTheRevisionOrTheRowsChange)
{
    struct Case {
        const char* what;
        quint64 before;
        quint64 after;
        bool addRow;       // a row is added between the paints
        bool showsTheMove; // the second paint shows the asteroid where it was moved to
    };
    const Case cases[] = {
        {"no revision", 0, 0, false, true},
        {"a new revision", 7, 8, false, true},
        {"the same revision and rows", 7, 7, false, false},
        {"the same revision, one row more", 7, 7, true, true},
    };
    for (const Case& c : cases) {
        Map map("0");
        map.add(0, 0, 0);
        map.scene.revision = c.before;
        EXPECT_TRUE(near(map.top(), 300, 300, asteroidRgb)) << c.what;
        const QImage firstFront = map.top({600, 600}, true);
        // Moved 10,000 units right and 5,000 up (and 5,000 higher).
        auto moved = std::get<ResourceRecord>(map.document.record(ItemKind::Asteroid, 0));
        moved.posX = 10000;
        moved.posY = -5000;
        moved.posZ = 5000;
        map.document.setRecord(ItemKind::Asteroid, 0, moved);
        if (c.addRow)
            map.add(-20000, -20000, 0, rgb(0, 192, 0));
        map.scene.revision = c.after;
        const QImage top = map.top();
        const QImage front = map.top({600, 600}, true);
        EXPECT_EQ(near(top, 400, 250, asteroidRgb), c.showsTheMove) << c.what;
        EXPECT_EQ(near(top, 300, 300, asteroidRgb), !c.showsTheMove) << c.what;
        EXPECT_EQ(front != firstFront, c.showsTheMove) << c.what;
    }
}

} // namespace

namespace {

// Rows far outside the view are skipped before their pixels are worked out; a point half out of
// the view and a long label whose item lies well left of the view still show.
// Hundreds of overlapping labels, some cut by the view's top and bottom edges: every pixel answers
// the label drawn topmost there. Without decluttering, that is the label whose box is topmost
// there: none that shows a pixel is left out. With it, labels are kept from the first row on while
// their boxes touch none kept before.
TEST(MapPainter, CrowdedLabelsShowAsTheirBoxesSay)
{
    for (const bool declutter : {false, true}) {
        Map map;
        map.scene.labelShown.fill(true);
        map.scene.declutterLabels = declutter;
        std::mt19937 random(7);
        std::uniform_int_distribution<int> x(-3000, 17000), y(-31000, 30500), length(1, 14);
        for (int i = 0; i < 400; ++i) {
            QString text = QStringLiteral("Rock ") + QString(length(random), QLatin1Char(char('a' + i % 26)));
            if (i % 17 == 0)
                text += QChar(0x3a9); // not Latin-1: measured, not summed from advances
            map.add(x(random), y(random), 0, 0, text);
        }
        const QImage image = map.top();
        const QRect view = image.rect();
        std::vector<std::pair<int, QRect>> kept; // with decluttering
        for (std::size_t r = 0; r < map.rows.size() && declutter; ++r) {
            const QRect box = map.painter.labelBox(map.scene, view.size(), r, &image);
            if (!(box & view).isEmpty()
                && std::none_of(kept.begin(), kept.end(), [&](const auto& k) { return k.second.intersects(box); }))
                kept.emplace_back(int(r), box);
        }
        std::vector<int> painted;
        for (int py = 0; py < 600; ++py)
            for (int px = 270; px < 600; px += 2)
                painted.push_back(map.labelAt(QPointF(px + 0.5, py + 0.5), &image));
        map.add(2000000, 0, 0, 0, QStringLiteral("far away")); // another row count: every row is asked
        std::size_t i = 0, labelled = 0;
        for (int py = 0; py < 600; ++py)
            for (int px = 270; px < 600; px += 2, ++i) {
                int expected = -1;
                if (declutter) {
                    for (const auto& [row, box] : kept)
                        expected = box.contains(px, py) ? row : expected;
                } else {
                    expected = map.labelAt(QPointF(px + 0.5, py + 0.5), &image);
                }
                labelled += expected >= 0;
                ASSERT_EQ(painted[i], expected) << "at " << px << "," << py << (declutter ? " decluttered" : "");
            }
        EXPECT_GT(labelled, i / (declutter ? 4 : 2)) << declutter;
    }
}

TEST(MapPainter, DrawingsFromJustOutsideStillReachIntoTheView)
{
    for (const bool labels : {false, true}) {
        Map map("0");
        map.scene.labelShown[static_cast<std::size_t>(typeIdOf(ItemKind::Asteroid))] = labels;
        map.add(-30050, 0, 0); // column -0.5: its 2 x 2 point covers column 0
        map.add(0, 30040, 0);  // row 600.4: its point covers row 599
        map.add(-60000, -10000, 0, asteroidColour, QString(120, QLatin1Char('W'))); // 300 columns left
        map.add(0, -90000, 0);                                                      // far above: nothing of it shows
        const QImage image = map.top();
        EXPECT_TRUE(near(image, 0, 300, asteroidRgb, 0)) << labels;
        EXPECT_TRUE(near(image, 300, 599, asteroidRgb, 0)) << labels;
        EXPECT_EQ(count(image, std::nullopt, {0, 190, 60, 30}) > 0, labels) << labels;
    }
}

} // namespace

namespace {

// The selection's squares written into the image's pixels are the ones the painter draws.
TEST(MapPainter, ASelectionOfThousandsIsFramedAsThePainterFramesIt)
{
    Map map;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> at(-31000, 31000);
    std::vector<int> rows;
    for (int i = 0; i < 3000; ++i) {
        map.add(at(rng), at(rng), at(rng) / 2);
        rows.push_back(i);
    }
    map.scene.selection = &rows;
    for (const bool front : {false, true}) {
        const QImage direct = map.top({600, 400}, front);
        // An image of another format is painted through QPainter alone.
        QImage painted({600, 400}, QImage::Format_RGB888);
        painted.fill(Qt::magenta);
        {
            QPainter p(&painted);
            front ? map.painter.paintFrontView(p, painted.size(), map.scene)
                  : map.painter.paintTopView(p, painted.size(), map.scene);
        }
        EXPECT_TRUE(direct == painted.convertToFormat(QImage::Format_RGB32)) << front;
        EXPECT_GT(count(direct, white), 10000) << front;
    }
}

} // namespace

namespace {

// A column of labelled asteroids 300 units apart: three pixels apart in the whole world.
Map crowdedColumn(int count)
{
    Map map;
    map.scene.labelShown[static_cast<std::size_t>(typeIdOf(ItemKind::Asteroid))] = true;
    map.scene.declutterLabels = true;
    for (int i = 0; i < count; ++i)
        map.add(0, i * 300, 0, asteroidColour, QStringLiteral("Asteroid %1").arg(i));
    return map;
}

std::vector<int> labelledRows(const MapPainter& painter)
{
    std::vector<int> rows;
    for (const auto& [row, box] : painter.shownLabels())
        rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    return rows;
}

TEST(MapPainter, CrowdedLabelsAreThinnedOnlyFarOut)
{
    Map map = crowdedColumn(20);
    map.top();
    EXPECT_LT(map.painter.shownLabels().size(), 10u);
    map.scene.top = ViewScale{-1000, -500, 6500, 7000}; // 8 pixels a hundred units
    map.top();
    EXPECT_EQ(map.painter.shownLabels().size(), 20u);
}

TEST(MapPainter, HoveredAndSelectedLabelsAlwaysShow)
{
    Map map = crowdedColumn(20);
    const std::vector<int> selection{5, 6, 13};
    map.scene.selection = &selection;
    map.scene.hoveredRow = 9;
    map.top();
    const std::vector<int> shown = labelledRows(map.painter);
    for (const int row : {5, 6, 9, 13})
        EXPECT_TRUE(std::binary_search(shown.begin(), shown.end(), row)) << row;
    // The hovered label is topmost; no other label is kept over one that always shows.
    EXPECT_EQ(map.painter.shownLabels().front().first, 9);
    for (const auto& [row, box] : map.painter.shownLabels()) {
        const bool pinned = row == 9 || std::binary_search(selection.begin(), selection.end(), row);
        for (const auto& [other, otherBox] : map.painter.shownLabels()) {
            if (!pinned && row != other) {
                EXPECT_FALSE(box.intersects(otherBox)) << row << " over " << other;
            }
        }
    }
}

// Every label of a selection of thousands shows where it can be seen; those wholly under others
// are not drawn (a whole-level selection would otherwise draw every label on top of the others).
TEST(MapPainter, ASelectionOfThousandsDrawsOnlyTheLabelsThatCanBeSeen)
{
    Map map = crowdedColumn(3000);
    std::vector<int> selection(3000);
    for (int i = 0; i < 3000; ++i)
        selection[static_cast<std::size_t>(i)] = i;
    map.scene.selection = &selection;
    map.scene.hoveredRow = 10; // in the view
    const QImage image = map.top();
    const auto shown = map.painter.shownLabels();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front().first, 10) << "the hovered label is topmost";
    EXPECT_LT(shown.size(), 1000u);
    // Each label kept shows a part that no label above it covers.
    for (std::size_t i = 0; i < shown.size(); ++i) {
        QRegion visible(shown[i].second & image.rect());
        for (std::size_t above = 0; above < i; ++above)
            visible -= shown[above].second;
        EXPECT_FALSE(visible.isEmpty()) << shown[i].first;
    }
}

TEST(MapPainter, LabelsInTheTextColourOnATranslucentPlate)
{
    Map map("0");
    map.scene.colours = MapColours::light();
    map.scene.labelShown.fill(true);
    map.scene.labelPointSize = 12;
    map.add(0, 0, 0, 0, QStringLiteral("WWWW"));
    const QImage image = map.top();
    const auto shown = map.painter.shownLabels();
    ASSERT_EQ(shown.size(), 1u);
    const QRect box = shown.front().second;
    const MapColours& c = map.scene.colours;
    int text = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            text += image.pixel(x, y) == c.labelText.rgb();
    EXPECT_GT(text, 10);
    // The plate's corner: the background seen through the plate.
    const QRgb corner = image.pixel(box.topLeft());
    EXPECT_NE(corner, c.background.rgb());
    EXPECT_NE(corner, QColor(c.labelPlate.rgb()).rgb()) << "blended, not painted opaque";
}

TEST(MapPainter, MapColoursFollowTheWindowColour)
{
    const MapColours dark = mapColoursFor(QColor(40, 40, 40), QColor(230, 230, 230));
    EXPECT_LT(dark.background.lightness(), 64);
    EXPECT_EQ(dark.labelText, QColor(230, 230, 230));
    const MapColours light = mapColoursFor(QColor(239, 239, 239), QColor(10, 10, 10));
    EXPECT_GT(light.background.lightness(), 192);
    EXPECT_EQ(light.labelText, QColor(10, 10, 10));
    EXPECT_LT(light.marks.lightness(), 128) << "marks show on the light map";
    EXPECT_LT(light.labelPlate.alpha(), 255);
    EXPECT_LT(dark.labelPlate.alpha(), 255);
}

// The level drawn whole, as `starloom-level render` draws it: no label plate over another.
TEST(MapPainter, AWholeCrowdedLevelShowsNoLabelOverAnother)
{
    Map map;
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> at(-8000, 8000);
    for (int i = 0; i < 400; ++i)
        map.add(at(rng), at(rng), 0, asteroidColour, QStringLiteral("BigProduction %1").arg(i));
    MapSettings settings;
    settings.sizeX = QStringLiteral("30000");
    settings.sizeY = QStringLiteral("30000");
    const auto [topSize, frontSize] = viewSizesFor(QSize(900, 800));
    const Level empty;
    map.scene = sceneOf(empty, wholeLevelViews(settings, topSize), QStringLiteral("2500"), worldSize(settings));
    map.scene.document = &map.document;
    map.scene.rows = &map.rows;
    map.scene.labelShown[static_cast<std::size_t>(typeIdOf(ItemKind::Asteroid))] = true;
    map.painter.renderViews(map.scene, topSize, frontSize);
    const auto shown = map.painter.shownLabels();
    ASSERT_GT(shown.size(), 10u);
    EXPECT_LT(shown.size(), 400u);
    for (std::size_t i = 0; i < shown.size(); ++i)
        for (std::size_t j = i + 1; j < shown.size(); ++j)
            ASSERT_FALSE(shown[i].second.intersects(shown[j].second)) << shown[i].first << " and " << shown[j].first;
}

TEST(MapPainter, ACloudIsDrawnRoundAtEveryViewShape)
{
    // The blue disc of a nebula 1000 units in radius at the origin, measured along the view's
    // middle row and column.
    auto extents = [](const QImage& image) {
        const QPoint centre(image.width() / 2, image.height() / 2);
        int across = 0, down = 0;
        for (int x = 0; x < image.width(); ++x)
            across += qBlue(image.pixel(x, centre.y())) > 0;
        for (int y = 0; y < image.height(); ++y)
            down += qBlue(image.pixel(centre.x(), y)) > 0;
        return std::pair(across, down);
    };
    for (const QSize size : {QSize(800, 400), QSize(400, 800), QSize(600, 600)}) {
        for (const bool stretch : {false, true}) {
            Map map("0");
            map.scene.cloudDiscs = true;
            map.scene.top = ViewScale{-3000, -3000, 3000, 3000, stretch};
            const auto id = map.document.appendItem(ItemKind::Nebula, test::filled<CloudRecord>([](auto& r) {
                r.size = 1000, r.red = r.green = 0, r.blue = 255, r.posX = r.posY = 0;
            }));
            map.rows.push_back({QStringLiteral("Nebula #1"), ItemKind::Nebula, *id});
            const auto [across, down] = extents(map.top(size));
            const QString shape = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
            // To scale: a third of the shorter side both ways; stretched: a third of each side.
            if (stretch) {
                EXPECT_NEAR(across, size.width() / 3, 4) << shape.toStdString();
                EXPECT_NEAR(down, size.height() / 3, 4) << shape.toStdString();
            } else {
                EXPECT_NEAR(across, std::min(size.width(), size.height()) / 3, 4) << shape.toStdString();
                EXPECT_NEAR(down, across, 1) << shape.toStdString();
            }
        }
    }
}

TEST(MapPainter, ScaleBarShowsARoundLengthInTheBottomLeftCorner)
{
    EXPECT_EQ(scaleBarText(5000), QStringLiteral("5000 units"));
    EXPECT_EQ(scaleBarText(0.5), QStringLiteral("0.5 units"));
    Map map("0");
    map.scene.colours = MapColours::dark();
    map.scene.scaleBar = true;
    const QImage image = map.top();
    // 100 units a pixel, at most 150 pixels: 10000 units, 100 pixels from column 10.
    const QRgb text = map.scene.colours.labelText.rgb();
    EXPECT_EQ(image.pixel(10, 590), text);
    EXPECT_EQ(image.pixel(110, 590), text);
    EXPECT_NE(image.pixel(112, 590), text);
    EXPECT_NE(image.pixel(300, 590), text);
}

TEST(MapPainter, TheMeasuredLengthStandsOnAPlateBesideTheLinesMiddleInsideTheView)
{
    const MapColours colours = MapColours::light(); // a light plate on the black image
    const QSize pixels(600, 600);                   // 100 world units a pixel
    auto plateAt = [&](const QLineF& line, const QString& text) {
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        {
            QPainter painter(&image);
            drawMeasureLength(painter, pixels, fullTop, line, text, colours);
        }
        QRect found;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != qRgb(0, 0, 0))
                    found |= QRect(x, y, 1, 1);
        return found;
    };
    // The middle at world (0, 0) is pixel (300, 300): the plate stands above and right of it.
    const QRect beside = plateAt(QLineF(-10000, 0, 10000, 0), QStringLiteral("Distance: 20000"));
    ASSERT_FALSE(beside.isEmpty());
    EXPECT_GT(beside.left(), 300);
    EXPECT_LT(beside.bottom(), 300);
    EXPECT_LT(beside.left(), 320);
    // A middle at the view's right edge moves the plate back inside.
    const QRect edge = plateAt(QLineF(29000, 0, 30000, 0), QStringLiteral("Distance: 1000"));
    ASSERT_FALSE(edge.isEmpty());
    EXPECT_EQ(edge.right(), pixels.width() - 1);
    EXPECT_TRUE(plateAt(QLineF(0, 0, 1000, 0), QString()).isEmpty()) << "nothing measured, nothing drawn";
}

} // namespace

namespace {

TEST(MapPainter, AHiddenRowIsDrawnInNeitherViewNorHighlighted)
{
    Map map("0");
    map.add(20000, 0, 0);
    map.add(4000, 4000, 0, rgb(0, 192, 0));
    map.rows[0].hidden = true;
    const QImage plain = map.top();
    const std::vector<int> selected{0};
    map.scene.selection = &selected;
    map.scene.hoveredRow = 0;
    const QImage top = map.top();
    EXPECT_EQ(count(top, asteroidRgb), 0);
    EXPECT_TRUE(top == plain) << "no selection square, no highlight";
    EXPECT_TRUE(near(top, 340, 340, green));
    EXPECT_EQ(count(map.top({600, 400}, true), asteroidRgb), 0);
}

} // namespace
