#include "views/MapPainter.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <vector>

using namespace starloom;

namespace {

const QRgb black = qRgb(0, 0, 0);
const QRgb grey = qRgb(100, 100, 100);
const QRgb white = qRgb(255, 255, 255);
const QRgb red = qRgb(255, 0, 0);
const std::int32_t packedRed = rgb(255, 0, 0);
const std::int32_t asteroidColour = rgb(154, 110, 4);
const QRgb asteroidRgb = qRgb(154, 110, 4);

bool isYellowish(QRgb c)
{
    return qRed(c) > 128 && qGreen(c) > 128 && qBlue(c) < 64;
}

// A level with its object list, and the scene that shows it.
struct Map {
    LevelDocument document;
    std::vector<ObjectRow> rows;
    MapSettings settings;
    MapScene scene;
    MapPainter painter;

    Map()
    {
        setWorld("30000", "30000");
        scene.document = &document;
        scene.rows = &rows;
        scene.labelShown.fill(false);
    }

    void setWorld(const char* x, const char* y)
    {
        settings.sizeX = QString::fromLatin1(x);
        settings.sizeY = QString::fromLatin1(y);
        scene.world = worldSize(settings);
        scene.top = topScaleFor(settings);
        scene.front = frontScaleFor(settings);
    }

    void addPlayer(int slot, int x, int y, int z, float orientation, std::int32_t colour = packedRed)
    {
        PlayerStartRecord& p = document.player(slot);
        p.label = QStringLiteral("Player %1").arg(slot);
        p.posX = x;
        p.posY = y;
        p.posZ = z;
        p.orientation = orientation;
        p.drawColour = colour;
        rows.push_back({p.label, ItemKind::PlayerStart, static_cast<std::int16_t>(slot)});
    }

    void addAsteroid(int x, int y, int z, std::int32_t colour = asteroidColour, const QString& text = {})
    {
        ResourceRecord r;
        r.posX = x;
        r.posY = y;
        r.posZ = z;
        r.drawColour = colour;
        const auto id = document.appendItem(ItemKind::Asteroid, r);
        ASSERT_TRUE(id.has_value());
        rows.push_back({text.isEmpty() ? QStringLiteral("Asteroid #%1").arg(*id) : text, ItemKind::Asteroid, *id});
    }

    void addShip(int x, int y, int z, std::int32_t colour = packedRed)
    {
        ShipRecord r;
        r.posX = x;
        r.posY = y;
        r.posZ = z;
        r.drawColour = colour;
        const auto id = document.appendItem(ItemKind::Ship, r);
        ASSERT_TRUE(id.has_value());
        rows.push_back({QStringLiteral("hgn_scout"), ItemKind::Ship, *id});
    }

    QImage top(QSize size = {600, 600}) const
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter p(&image);
        painter.paintTopView(p, size, scene);
        return image;
    }

    QImage front(QSize size = {600, 400}) const
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter p(&image);
        painter.paintFrontView(p, size, scene);
        return image;
    }
};

QRgb at(const QImage& image, int x, int y)
{
    return (image.pixel(x, y) & 0xffffffu) | 0xff000000u;
}

// True when some pixel within `radius` of (x, y) has the colour.
bool near(const QImage& image, int x, int y, QRgb colour, int radius = 1)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (image.rect().contains(x + dx, y + dy) && at(image, x + dx, y + dy) == colour)
                return true;
    return false;
}

int countInColumn(const QImage& image, int x, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        n += at(image, x, y) == colour ? 1 : 0;
    return n;
}

int countInRow(const QImage& image, int y, QRgb colour)
{
    int n = 0;
    for (int x = 0; x < image.width(); ++x)
        n += at(image, x, y) == colour ? 1 : 0;
    return n;
}

int count(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        n += countInRow(image, y, colour);
    return n;
}

} // namespace

// With 600 x 600 pixels for the default world, one pixel is 100 world units: world x lies at
// column (x + 30000) / 100.
struct GridCase {
    const char* name;
    const char* gridSize;
    std::vector<int> lineColumns;   // columns that carry a vertical grid line
    std::vector<int> emptyColumns;  // columns that must not
};

class MapPainterGrid : public ::testing::TestWithParam<GridCase> {};

TEST_P(MapPainterGrid, VerticalLinesAnchoredAtTheNegativeEdge)
{
    const GridCase& c = GetParam();
    Map map;
    map.scene.gridSizeText = QString::fromLatin1(c.gridSize);
    const QImage image = map.top();
    // A dotted line shows grey on about every third pixel; crossings with the horizontal lines
    // give any column at most one grey pixel per horizontal line.
    for (const int x : c.lineColumns)
        EXPECT_GT(countInColumn(image, x, grey), 150) << "column " << x;
    for (const int x : c.emptyColumns)
        EXPECT_LT(countInColumn(image, x, grey), 40) << "column " << x;
    EXPECT_EQ(count(image, qRgb(255, 0, 255)), 0) << "the background is cleared";
}

INSTANTIATE_TEST_SUITE_P(
    Spacings, MapPainterGrid,
    ::testing::Values(
        // -27500 ... 30000 step 2500; none at -30000 (column 0).
        GridCase{"Default", "2500", {25, 50, 275, 575}, {0, 12, 37, 290}},
        // -23000, -16000, ..., 26000: none at 0.
        GridCase{"Spacing7000", "7000", {70, 140, 210, 280, 350, 420, 490, 560}, {0, 25, 250, 300, 575}},
        // 2500.5 rounds half to even to 2500.
        GridCase{"RoundedHalfEven", "2500.5", {25, 50, 575}, {37}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MapPainter, GridLinesSpanANonSquareWorld)
{
    Map map;
    map.setWorld("40000", "20000"); // 800 x 400 pixels: 100 units per pixel on both axes
    const QImage image = map.top({800, 400});
    // x = -37500 at column 25, running from the top edge to the bottom edge.
    EXPECT_GT(countInColumn(image, 25, grey), 120);
    EXPECT_TRUE(near(image, 25, 2, grey, 2));
    EXPECT_TRUE(near(image, 25, 397, grey, 2));
    // y = -17500 at row 25, from the left edge to the right edge.
    EXPECT_GT(countInRow(image, 25, grey), 250);
    EXPECT_TRUE(near(image, 2, 25, grey, 2));
    EXPECT_TRUE(near(image, 797, 25, grey, 2));
}

class MapPainterNoGrid : public ::testing::TestWithParam<const char*> {};

TEST_P(MapPainterNoGrid, UnusableSpacingDrawsNoGrid)
{
    Map map;
    map.scene.gridSizeText = QString::fromLatin1(GetParam());
    map.addAsteroid(5000, 5000, 0);
    const QImage image = map.top();
    EXPECT_EQ(count(image, grey), 0);
    EXPECT_TRUE(near(image, 350, 350, asteroidRgb)) << "items are still drawn";
}

INSTANTIATE_TEST_SUITE_P(Texts, MapPainterNoGrid, ::testing::Values("0", "abc", "-2500", "", "0.4", "-0.5"));

TEST(MapPainter, GridFinerThanAPixelIsThinned)
{
    Map map;
    map.scene.gridSizeText = QStringLiteral("1");
    const QImage image = map.top();
    int lineColumns = 0;
    for (int x = 0; x < image.width(); ++x)
        lineColumns += countInColumn(image, x, grey) > image.height() / 4 ? 1 : 0;
    EXPECT_GT(lineColumns, 50);
    EXPECT_LE(lineColumns, image.width() / 3);
}

struct CrossCase {
    const char* name;
    ViewScale view;
    std::vector<QPoint> whitePixels;
    std::vector<QPoint> notWhite;
};

class MapPainterCross : public ::testing::TestWithParam<CrossCase> {};

TEST_P(MapPainterCross, OriginCrossArmsAreHalfTheGridSize)
{
    const CrossCase& c = GetParam();
    Map map;
    map.scene.top = c.view;
    const QImage image = map.top();
    for (const QPoint& p : c.whitePixels)
        EXPECT_EQ(at(image, p.x(), p.y()), white) << p.x() << "," << p.y();
    for (const QPoint& p : c.notWhite)
        EXPECT_NE(at(image, p.x(), p.y()), white) << p.x() << "," << p.y();
}

INSTANTIATE_TEST_SUITE_P(
    Views, MapPainterCross,
    ::testing::Values(
        // Arms of 1250 units: 12.5 pixels at 100 units per pixel.
        CrossCase{"Default",
                  {-30000, -30000, 30000, 30000},
                  {{300, 300}, {290, 300}, {311, 300}, {300, 289}, {300, 311}},
                  {{316, 300}, {284, 300}, {300, 316}, {300, 284}, {305, 305}}},
        // Zoomed to (-12000, -12000)-(12000, 12000): 40 units per pixel, arms of 31.25 pixels.
        CrossCase{"Zoomed",
                  {-12000, -12000, 12000, 12000},
                  {{300, 300}, {270, 300}, {330, 300}, {300, 270}, {300, 330}},
                  {{335, 300}, {265, 300}, {300, 335}, {300, 265}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MapPainter, ZoomedGridKeepsItsSpacingInWorldUnits)
{
    Map map;
    map.scene.top = {-12000, -12000, 12000, 12000}; // 40 units per pixel
    const QImage image = map.top();
    // x = -10000 at column 50 and x = -7500 at column 112.5 -> 112; none at -12000 (column 0).
    EXPECT_GT(countInColumn(image, 50, grey), 150);
    EXPECT_GT(countInColumn(image, 112, grey), 150);
    EXPECT_LT(countInColumn(image, 80, grey), 40);
}

TEST(MapPainter, PlayerStartCircleAndHeadingInTheTopView)
{
    Map map;
    map.addPlayer(0, 1000, 2000, 500, 90);
    const QImage image = map.top();
    // Centre at (310, 320), radius 1000 units = 10 pixels, round on screen.
    EXPECT_TRUE(near(image, 320, 320, red));
    EXPECT_TRUE(near(image, 300, 320, red));
    EXPECT_TRUE(near(image, 310, 310, red));
    EXPECT_TRUE(near(image, 310, 330, red));
    EXPECT_FALSE(near(image, 310, 316, red)) << "the circle is not filled";
    // Heading 90: to (2200, 2000), pixel (322, 320), through the circle's right side.
    EXPECT_EQ(at(image, 315, 320), red);
    EXPECT_EQ(at(image, 305, 320), black);
}

TEST(MapPainter, PlayerStartCircleIsRoundOnANonSquareView)
{
    Map map;
    map.addPlayer(0, 0, 0, 0, 0);
    map.scene.gridSizeText = QStringLiteral("0");
    // 100 units per pixel across, 300 down: the radius is 10 pixels on both axes.
    const QImage image = map.top({600, 200});
    EXPECT_TRUE(near(image, 310, 100, red));
    EXPECT_TRUE(near(image, 290, 100, red));
    EXPECT_TRUE(near(image, 300, 110, red));
    EXPECT_FALSE(near(image, 300, 103, red, 0));
}

struct HeadingCase {
    float orientation;
    QPointF end;
};

class MapPainterHeading : public ::testing::TestWithParam<HeadingCase> {};

TEST_P(MapPainterHeading, EndPointClockwiseFromUp)
{
    const HeadingCase& c = GetParam();
    const QPointF end = playerHeadingEnd(1000, 2000, c.orientation);
    EXPECT_DOUBLE_EQ(end.x(), c.end.x());
    EXPECT_DOUBLE_EQ(end.y(), c.end.y());
}

INSTANTIATE_TEST_SUITE_P(Orientations, MapPainterHeading,
                         ::testing::Values(HeadingCase{0, {1000, 800}}, HeadingCase{90, {2200, 2000}},
                                           HeadingCase{180, {1000, 3200}}, HeadingCase{270, {-200, 2000}},
                                           HeadingCase{-90, {-200, 2000}}, HeadingCase{46, {1863, 1166}},
                                           HeadingCase{45.5f, {1863, 1166}}, HeadingCase{44.5f, {1834, 1137}},
                                           HeadingCase{44, {1834, 1137}}));

struct DrawnHeadingCase {
    float orientation;
    QPoint onLine;
    QPoint offLine;
};

class MapPainterDrawnHeading : public ::testing::TestWithParam<DrawnHeadingCase> {};

TEST_P(MapPainterDrawnHeading, LineLeavesTheCentreInTheHeading)
{
    const DrawnHeadingCase& c = GetParam();
    Map map;
    map.scene.gridSizeText = QStringLiteral("0");
    map.addPlayer(0, 1000, 2000, 0, c.orientation);
    // One unit per pixel: (0, 800) at the top-left corner, the centre at pixel (1000, 1200).
    map.scene.top = {0, 800, 2400, 3200};
    const QImage image = map.top({2400, 2400});
    EXPECT_TRUE(near(image, c.onLine.x(), c.onLine.y(), red)) << c.orientation;
    EXPECT_FALSE(near(image, c.offLine.x(), c.offLine.y(), red)) << c.orientation;
}

INSTANTIATE_TEST_SUITE_P(
    Orientations, MapPainterDrawnHeading,
    ::testing::Values(DrawnHeadingCase{0, {1000, 300}, {1000, 2100}}, DrawnHeadingCase{180, {1000, 2100}, {1000, 300}},
                      // 95% of the way to (1863, 1166), resp. (1834, 1137).
                      DrawnHeadingCase{45.5f, {1820, 408}, {1792, 380}},
                      DrawnHeadingCase{44.5f, {1792, 380}, {1820, 408}}));

TEST(MapPainter, FrontViewShowsHeightsAndTheZeroLine)
{
    Map map;
    map.addPlayer(0, 1000, 2000, 500, 90);
    map.addAsteroid(-10000, 0, -10000);
    const QImage image = map.front();
    // 100 units per pixel across, 100 down; height 0 at row 200, height 500 at row 195.
    EXPECT_GT(countInRow(image, 200, grey), 150);
    EXPECT_TRUE(near(image, 320, 195, red));
    EXPECT_TRUE(near(image, 300, 195, red));
    EXPECT_TRUE(near(image, 310, 185, red));
    EXPECT_FALSE(near(image, 316, 195, red, 0)) << "no heading line in the front view";
    EXPECT_TRUE(near(image, 200, 300, asteroidRgb));
    EXPECT_EQ(count(image, white), 0) << "no origin cross in the front view";
}

TEST(MapPainter, PointIsTwoPixelsAcross)
{
    Map map;
    map.scene.gridSizeText = QStringLiteral("0");
    map.addAsteroid(5000, 5000, 0);
    const QImage image = map.top();
    EXPECT_EQ(count(image, asteroidRgb), 4);
    EXPECT_TRUE(near(image, 350, 350, asteroidRgb, 1));
}

TEST(MapPainter, ItemOutsideAZoomedViewIsNotDrawn)
{
    Map map;
    map.scene.gridSizeText = QStringLiteral("0");
    map.addAsteroid(20000, 0, 0);
    map.addAsteroid(4000, 4000, 0, rgb(0, 192, 0));
    map.addPlayer(1, -20000, -20000, 0, 0);
    map.scene.top = {-12000, -12000, 12000, 12000};
    const QImage image = map.top();
    EXPECT_EQ(count(image, asteroidRgb), 0);
    EXPECT_EQ(count(image, red), 0);
    EXPECT_TRUE(near(image, 400, 400, qRgb(0, 192, 0)));
}

struct OrderCase {
    bool shipFirst;
    QRgb visible;
};

class MapPainterOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(MapPainterOrder, LaterRowPaintsOver)
{
    const OrderCase& c = GetParam();
    Map map;
    if (c.shipFirst) {
        map.addShip(5000, 5000, -3000);
        map.addAsteroid(5000, 5000, -3000);
    } else {
        map.addAsteroid(5000, 5000, -3000);
        map.addShip(5000, 5000, -3000);
    }
    const QImage top = map.top();
    const QImage front = map.front();
    for (const QPoint p : {QPoint(349, 349), QPoint(350, 350)})
        EXPECT_EQ(at(top, p.x(), p.y()), c.visible);
    EXPECT_EQ(at(front, 350, 230), c.visible);
}

INSTANTIATE_TEST_SUITE_P(Orders, MapPainterOrder,
                         ::testing::Values(OrderCase{true, asteroidRgb}, OrderCase{false, red}));

TEST(MapPainter, RowsWithoutARecordAreSkipped)
{
    Map map;
    map.rows.push_back({QStringLiteral("gone"), ItemKind::Asteroid, 500});
    map.rows.push_back({QStringLiteral("bad"), static_cast<ItemKind>(0), 0});
    map.rows.push_back({QStringLiteral("bad"), static_cast<ItemKind>(10), 0});
    map.addAsteroid(5000, 5000, 0);
    map.scene.labelShown.fill(true);
    const QImage image = map.top();
    EXPECT_TRUE(near(image, 350, 350, asteroidRgb));
    EXPECT_EQ(map.painter.labelAt(map.scene, {600, 600}, {352, 352}), 3);
}

// Labels: the asteroid at (0, 0) has its label's top-left corner at world (100, 100), pixel
// (301, 301); the grid line x = 2500 (column 325) runs under it.
struct LabelCase {
    const char* name;
    std::array<bool, 10> shown;
    bool expectLabel;
};

class MapPainterLabelKinds : public ::testing::TestWithParam<LabelCase> {};

TEST_P(MapPainterLabelKinds, OnlyShownKindsHaveLabels)
{
    const LabelCase& c = GetParam();
    Map map;
    map.addAsteroid(0, 0, 0);
    map.scene.labelShown = c.shown;
    const QImage image = map.top();
    int yellow = 0;
    for (int y = 300; y < 340; ++y)
        for (int x = 300; x < 420; ++x)
            yellow += isYellowish(at(image, x, y)) ? 1 : 0;
    EXPECT_EQ(yellow > 0, c.expectLabel);
    EXPECT_EQ(map.painter.labelAt(map.scene, image.size(), {303, 304}, &image), c.expectLabel ? 0 : -1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MapPainterLabelKinds,
    ::testing::Values(LabelCase{"AsteroidsShown", {false, false, true}, true},
                      LabelCase{"AsteroidsHidden", {true, true, false, true, true, true, true, true, true, true}, false},
                      LabelCase{"AllHidden", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MapPainter, LabelHitAreaIsThePaintedBox)
{
    Map map;
    map.addAsteroid(0, 0, 0, 0, QStringLiteral("Asteroid #12345"));
    map.scene.labelShown.fill(true);
    for (const int points : {4, 6, 8, 12}) {
        map.scene.labelPointSize = points;
        map.scene.labelFontFamily = labelFontFamilyFor(points);
        const QImage image = map.top();
        int hits = 0;
        for (int y = 290; y < 350; ++y) {
            for (int x = 290; x < 500; ++x) {
                const QRgb c = at(image, x, y);
                const int row = map.painter.labelAt(map.scene, image.size(), QPointF(x + 0.5, y + 0.5), &image);
                if (row == 0) {
                    ++hits;
                    // Black box, yellow text blended into black at the glyph edges.
                    EXPECT_TRUE(qBlue(c) == 0 && qRed(c) == qGreen(c))
                        << points << "pt at " << x << "," << y << ": " << std::hex << c;
                } else {
                    EXPECT_EQ(row, -1);
                    EXPECT_FALSE(isYellowish(c)) << points << "pt at " << x << "," << y;
                }
            }
        }
        EXPECT_GT(hits, 40) << points;
        EXPECT_EQ(map.painter.labelAt(map.scene, image.size(), {301.5, 301.5}, &image), 0) << "top-left corner";
        EXPECT_EQ(map.painter.labelAt(map.scene, image.size(), {300.5, 301.5}, &image), -1);
        EXPECT_EQ(map.painter.labelAt(map.scene, image.size(), {301.5, 300.5}, &image), -1);
    }
}

TEST(MapPainter, LabelAtPrefersTheLastRowAndMissesElsewhere)
{
    Map map;
    map.scene.labelShown.fill(true);
    map.addAsteroid(0, 0, 0);
    map.addShip(0, 0, 0);
    map.addAsteroid(-10000, -10000, 0);
    const QSize size(600, 600);
    EXPECT_EQ(map.painter.labelAt(map.scene, size, {303, 304}), 1);
    EXPECT_EQ(map.painter.labelAt(map.scene, size, {203, 204}), 2);
    EXPECT_EQ(map.painter.labelAt(map.scene, size, {100, 100}), -1);
    EXPECT_EQ(map.painter.labelAt(map.scene, size, {299, 304}), -1);
    EXPECT_EQ(map.painter.labelAt(map.scene, size, {-1, -1}), -1);
    map.scene.labelShown[typeIdOf(ItemKind::Ship)] = false;
    EXPECT_EQ(map.painter.labelAt(map.scene, size, {303, 304}), 0);
}

TEST(MapPainter, LabelsMoveWithTheZoomInWorldUnits)
{
    Map map;
    map.scene.labelShown.fill(true);
    map.addAsteroid(4000, 4000, 0);
    map.scene.top = {-12000, -12000, 12000, 12000}; // label corner (4100, 4100) at pixel (402.5, 402.5)
    const QSize size(600, 600);
    EXPECT_EQ(map.painter.labelAt(map.scene, size, {403, 404}), 0);
    EXPECT_EQ(map.painter.labelAt(map.scene, size, {401, 404}), -1);
}

TEST(MapPainter, CoveredLabelsLeaveTheSameImage)
{
    // Items in black draw nothing visible, so the images differ only by their labels.
    Map both;
    both.scene.labelShown.fill(true);
    both.addAsteroid(0, 0, 0, 0, QStringLiteral("Asteroid #1"));
    both.addAsteroid(0, 0, 0, 0, QStringLiteral("Asteroid #2"));
    Map topOnly;
    topOnly.scene.labelShown.fill(true);
    topOnly.addAsteroid(0, 0, 0, 0, QStringLiteral("Asteroid #2"));
    EXPECT_EQ(both.top(), topOnly.top());

    // A longer caption underneath still shows where the later box does not reach.
    Map longer;
    longer.scene.labelShown.fill(true);
    longer.addAsteroid(0, 0, 0, 0, QStringLiteral("Asteroid #1 with a much longer caption"));
    longer.addAsteroid(0, 0, 0, 0, QStringLiteral("Asteroid #2"));
    const QImage image = longer.top();
    EXPECT_NE(image, topOnly.top());
    EXPECT_EQ(longer.painter.labelAt(longer.scene, image.size(), {303, 304}, &image), 1);
    int tail = 0;
    for (int y = 300; y < 330; ++y)
        for (int x = 380; x < 599; ++x)
            tail += isYellowish(at(image, x, y)) ? 1 : 0;
    EXPECT_GT(tail, 0);
}

TEST(MapPainter, LabelFontFamilyBySize)
{
    EXPECT_EQ(labelFontFamilyFor(7), QStringLiteral("Small Fonts"));
    EXPECT_EQ(labelFontFamilyFor(8), QStringLiteral("Arial"));
    MapScene scene;
    scene.labelFontFamily = QStringLiteral("No Such Font Family");
    scene.labelPointSize = 9;
    const QFont font = labelFont(scene);
    EXPECT_EQ(font.pointSize(), 9);
    EXPECT_EQ(font.styleHint(), QFont::SansSerif);
}

TEST(MapPainter, RenderViewsStacksTopAboveFront)
{
    Map map;
    map.addPlayer(0, 1000, 2000, 500, 90);
    const QImage image = map.painter.renderViews(map.scene, {600, 600}, {600, 400});
    ASSERT_EQ(image.size(), QSize(600, 600 + viewGapPixels + 400));
    EXPECT_EQ(at(image, 315, 320), red);
    const int frontTop = 600 + viewGapPixels;
    EXPECT_TRUE(near(image, 320, frontTop + 195, red));
    EXPECT_GT(countInRow(image, frontTop + 200, grey), 150);
    // Nothing of the views leaks into the gap.
    for (int y = 600; y < frontTop; ++y)
        EXPECT_EQ(countInRow(image, y, black), 0) << y;
}

TEST(MapPainter, CircleAtTheEdgeStaysInsideItsView)
{
    Map map;
    map.addPlayer(0, 0, 29900, 0, 180); // circle and heading reach past the bottom edge
    const QImage image = map.painter.renderViews(map.scene, {600, 600}, {600, 400});
    for (int y = 600; y < 600 + viewGapPixels; ++y)
        EXPECT_EQ(countInRow(image, y, red), 0) << y;
    EXPECT_TRUE(near(image, 310, 597, red, 2));
}

TEST(MapPainter, EmptyOrDegenerateScenesPaintBlack)
{
    Map map;
    map.scene.document = nullptr;
    map.scene.rows = nullptr;
    QImage image = map.top();
    EXPECT_EQ(count(image, qRgb(255, 0, 255)), 0);
    EXPECT_EQ(map.painter.labelAt(map.scene, {600, 600}, {300, 300}), -1);

    Map flat;
    flat.scene.top = {5, 5, 5, 5};
    flat.addAsteroid(5, 5, 5);
    image = flat.top();
    EXPECT_EQ(count(image, black), 600 * 600);
    EXPECT_EQ(flat.painter.labelAt(flat.scene, {600, 600}, {300, 300}), -1);
}

TEST(MapPainter, DeepZoomOnFarItemsDrawsWithoutOverflow)
{
    Map map;
    map.setWorld("2147483647", "2147483647");
    map.scene.gridSizeText = QStringLiteral("1");
    map.scene.labelShown.fill(true);
    map.addPlayer(0, 2147483000, -2147483000, 0, 45);
    map.addAsteroid(-2147483000, 2147483000, 0);
    map.addPlayer(1, 0, 0, 0, 45);
    map.scene.top = {-1, -1, 1, 1};
    const QImage image = map.top();
    // The second player's circle is 1e6 pixels across: only its heading line shows.
    EXPECT_EQ(count(image, asteroidRgb), 0);
    EXPECT_GT(count(image, red), 0);
    EXPECT_EQ(map.painter.labelAt(map.scene, image.size(), {300, 300}), -1);
}

TEST(MapPainter, ManyItemsAndLabels)
{
    Map map;
    map.scene.labelShown.fill(true);
    for (int i = 0; i < 20000; ++i)
        map.addAsteroid((i * 7919) % 60000 - 30000, (i * 104729) % 60000 - 30000, 0,
                        i % 2 ? asteroidColour : rgb(0, 192, 0));
    const QImage image = map.top();
    EXPECT_GT(count(image, asteroidRgb), 100);
    EXPECT_GT(count(image, qRgb(0, 192, 0)), 100);
    // The last row's label is on top wherever it lies.
    const ObjectRow& last = map.rows.back();
    const ItemPosition p = map.document.position(last.kind, last.arrayId);
    const QPointF corner = map.scene.top.toPixel(p.x + 100, p.y + 100, QSizeF(image.size()));
    ASSERT_TRUE(QRectF(image.rect()).contains(corner + QPointF(1.5, 1.5)));
    EXPECT_EQ(map.painter.labelAt(map.scene, image.size(), corner + QPointF(1.5, 1.5), &image),
                  static_cast<int>(map.rows.size() - 1));
}
