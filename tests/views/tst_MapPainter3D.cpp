#include "views/ItemDrawing.h"
#include "views/MapPainter3D.h"
#include "views/Projection3D.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <random>

using namespace starloom;

namespace {

const QSize view(800, 600);

// A level with its object list. Seen from above (the default camera here) at a distance of
// 20000, height 0 lies 0.03 pixels per world unit around pixel (400, 300).
struct Level {
    LevelDocument document;
    std::vector<ObjectRow> rows;
    Scene3D scene;
    MapPainter3D painter;

    Level()
    {
        document.setPlayerColours();
        scene.document = &document;
        scene.rows = &rows;
        scene.world = worldSize(MapSettings{});
        scene.gridSizeText = QStringLiteral("0"); // no grid, but where a test asks for it
        scene.camera = Camera3D{.target = {}, .yaw = 0, .pitch = 90, .distance = 20000};
    }
    int add(ItemKind kind, Vec3 p, int size = 1000)
    {
        const auto x = static_cast<std::int32_t>(p.x), y = static_cast<std::int32_t>(p.y),
                   z = static_cast<std::int32_t>(p.z);
        const std::int32_t colour = kindInfo(kind).drawColour;
        std::int16_t id = 0;
        if (kind == ItemKind::PlayerStart) {
            id = static_cast<std::int16_t>(starts());
            PlayerStartRecord& start = document.player(id);
            start.label = QStringLiteral("Player %1").arg(id + 1), start.posX = x, start.posY = y, start.posZ = z;
            start.orientation = 90;
        } else if (kind == ItemKind::Asteroid || kind == ItemKind::Salvage) {
            id = *document.appendItem(kind, test::filled<ResourceRecord>([&](auto& r) {
                r.posX = x, r.posY = y, r.posZ = z, r.drawColour = colour;
            }));
        } else if (kind == ItemKind::Cloud || kind == ItemKind::DustCloud || kind == ItemKind::Nebula) {
            id = *document.appendItem(kind, test::filled<CloudRecord>([&](auto& r) {
                r.size = size, r.posX = x, r.posY = y, r.posZ = z, r.drawColour = colour;
            }));
        } else if (kind == ItemKind::Megalith || kind == ItemKind::Pebble) {
            id = *document.appendItem(kind,
                test::filled<PropRecord>([&](auto& r) { r.posX = x, r.posY = y, r.posZ = z, r.drawColour = colour; }));
        } else {
            id = *document.appendItem(kind,
                test::filled<ShipRecord>([&](auto& r) { r.posX = x, r.posY = y, r.posZ = z, r.drawColour = colour; }));
        }
        rows.push_back({QStringLiteral("item"), kind, id});
        return static_cast<int>(rows.size()) - 1;
    }
    QImage render() const { return painter.render(scene, view); }
    QPoint pixelOf(Vec3 p) const
    {
        const QPointF at = *Projection3D(scene.camera, QSizeF(view)).toPixel(p);
        return {static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y()))};
    }
    int pick(QPointF pixel) const { return painter.rowAt(scene, view, pixel); }
    int starts() const
    {
        return int(std::count_if(
            rows.begin(), rows.end(), [](const ObjectRow& r) { return r.kind == ItemKind::PlayerStart; }));
    }
};

QColor colourOf(std::int32_t packed)
{
    return QColor(packed & 0xff, (packed >> 8) & 0xff, (packed >> 16) & 0xff);
}

// The pixel is `colour` darkened by depth (to no less than `least` of it), give or take rounding.
bool shadeOf(QColor pixel, QColor colour, double least = 0.35)
{
    const int strongest = std::max({colour.red(), colour.green(), colour.blue()});
    const int seen = colour.red() == strongest ? pixel.red()
        : colour.green() == strongest          ? pixel.green()
                                               : pixel.blue();
    const double f = double(seen) / strongest;
    return f >= least && f <= 1.0 && std::abs(pixel.red() - colour.red() * f) <= 3
        && std::abs(pixel.green() - colour.green() * f) <= 3 && std::abs(pixel.blue() - colour.blue() * f) <= 3;
}

int brightPixels(const QImage& image, QRect area, int* brightest = nullptr)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const int v = qGray(image.pixel(x, y));
            n += v > 0;
            if (brightest)
                *brightest = std::max(*brightest, v);
        }
    return n;
}

TEST(MapPainter3D, EveryKindShowsInItsColourWhereItLies)
{
    Level level;
    const std::vector<std::pair<ItemKind, Vec3>> items = {
        {ItemKind::PlayerStart, {-8000, -6000, 4000}},
        {ItemKind::Asteroid, {0, -6000, -5000}},
        {ItemKind::Cloud, {8000, -6000, 0}},
        {ItemKind::DustCloud, {-8000, 0, 2000}},
        {ItemKind::Megalith, {0, 0, -2000}},
        {ItemKind::Nebula, {8000, 0, 3000}},
        {ItemKind::Pebble, {-8000, 6000, -4000}},
        {ItemKind::Salvage, {0, 6000, 1000}},
        {ItemKind::Ship, {8000, 6000, 0}},
    };
    for (const auto& [kind, p] : items)
        level.add(kind, p);
    const QImage image = level.render();
    for (const auto& [kind, p] : items) {
        const QColor expected =
            kind == ItemKind::PlayerStart ? colourOf(playerColour(0)) : colourOf(kindInfo(kind).drawColour);
        const QPoint at = level.pixelOf(p);
        EXPECT_TRUE(shadeOf(image.pixelColor(at), expected))
            << kindInfo(kind).name << " " << image.pixelColor(at).name().toStdString();
        if (kind == ItemKind::Cloud || kind == ItemKind::DustCloud || kind == ItemKind::Nebula) {
            // A translucent disc of the cloud's size (30 pixels here) around the mark.
            const QColor inside = image.pixelColor(at + QPoint(15, 0));
            EXPECT_GT(qGray(inside.rgb()), 0) << kindInfo(kind).name;
            EXPECT_LT(qGray(inside.rgb()), 80) << kindInfo(kind).name;
            EXPECT_TRUE(shadeOf(inside, expected, 0.05)) << kindInfo(kind).name;
            EXPECT_EQ(image.pixelColor(at + QPoint(40, 0)), QColor(Qt::black));
        }
    }
}

TEST(MapPainter3D, DepthShowsInTheMarksSizeShadeAndOverlap)
{
    Level level;
    level.scene.camera = Camera3D{.target = {}, .yaw = 0, .pitch = 0, .distance = 20000};
    level.add(ItemKind::Asteroid, {-3000, 10000, 0}); // 10000 from the eye
    level.add(ItemKind::Asteroid, {6000, -20000, 0}); // 40000 from the eye
    QImage image = level.render();
    int nearBrightest = 0, farBrightest = 0;
    const QPoint nearAt = level.pixelOf({-3000, 10000, 0}), farAt = level.pixelOf({6000, -20000, 0});
    const int nearSize = brightPixels(image, QRect(nearAt - QPoint(4, 4), QSize(9, 9)), &nearBrightest);
    const int farSize = brightPixels(image, QRect(farAt - QPoint(4, 4), QSize(9, 9)), &farBrightest);
    EXPECT_GT(nearSize, farSize);
    EXPECT_GT(nearBrightest, farBrightest + 40);

    // Two items on one line of sight: the nearer shows, whichever row comes first.
    for (const bool shipFirst : {true, false}) {
        Level stack;
        const Vec3 high{0, 0, 3000}, low{0, 0, -3000};
        stack.add(shipFirst ? ItemKind::Ship : ItemKind::Megalith, shipFirst ? low : high);
        stack.add(shipFirst ? ItemKind::Megalith : ItemKind::Ship, shipFirst ? high : low);
        image = stack.render();
        EXPECT_TRUE(shadeOf(image.pixelColor(400, 300), colourOf(kindInfo(ItemKind::Megalith).drawColour)))
            << shipFirst;
    }
}

TEST(MapPainter3D, StartPointsHighlightsGridAndWorldBox)
{
    struct Case {
        float orientation;
        QPoint onHeading;
        QPoint offHeading;
    };
    for (const Case& c :
        {Case{90, {426, 300}, {374, 300}}, Case{180, {400, 326}, {400, 274}}, Case{0, {400, 274}, {400, 326}}}) {
        Level level;
        level.add(ItemKind::PlayerStart, {0, 0, 0});
        level.document.player(0).orientation = c.orientation;
        const QImage image = level.render();
        EXPECT_EQ(image.pixelColor(c.onHeading), QColor(255, 0, 0)) << c.orientation;
        EXPECT_EQ(qRed(image.pixel(c.offHeading)), 0) << c.orientation;
        EXPECT_EQ(image.pixelColor(430, 300), QColor(255, 0, 0)) << "ring of 1000 units: 30 pixels";
    }

    Level level;
    const int row = level.add(ItemKind::Asteroid, {3000, 3000, 0});
    const QRect around(level.pixelOf({3000, 3000, 0}) - QPoint(12, 12), QSize(25, 25));
    auto whitePixels = [&](const QImage& image) {
        int n = 0;
        for (int y = around.top(); y <= around.bottom(); ++y)
            for (int x = around.left(); x <= around.right(); ++x)
                n += image.pixel(x, y) == qRgb(255, 255, 255);
        return n;
    };
    EXPECT_EQ(whitePixels(level.render()), 0);
    level.scene.highlighted = {row, 99};
    EXPECT_GT(whitePixels(level.render()), 20);

    // Seen from 100000 above: height 0 shows 0.006 pixels a unit, the box's top 0.0075, its bottom 0.005.
    level.scene.camera.distance = 100000;
    level.scene.gridSizeText = QStringLiteral("2500");
    level.scene.highlighted.clear();
    const QImage image = level.render();
    auto near = [&](int x, int y, auto&& is) {
        for (int dx = -1; dx <= 1; ++dx)
            if (is(image.pixelColor(x + dx, y)))
                return true;
        return false;
    };
    auto grey = [](QColor c) { return c.red() > 10 && c.red() == c.green() && c.green() == c.blue(); };
    auto blue = [](QColor c) { return c.blue() > c.red() + 20; };
    EXPECT_TRUE(near(415, 200, grey)) << "grid line at x = 2500";
    EXPECT_EQ(image.pixelColor(407, 200), QColor(Qt::black)) << "between grid lines";
    EXPECT_TRUE(near(625, 300, blue)) << "top of the box at x = 30000";
    EXPECT_TRUE(near(550, 300, blue)) << "bottom of the box at x = 30000";
    EXPECT_EQ(image.pixelColor(700, 300), QColor(Qt::black));
}

TEST(MapPainter3D, CloudsAreDrawnAsRingsPastTheItemCountOrWhenTheyWouldCoverTheView)
{
    enum class Extra { None, ManyRows, CoveringDiscs };
    for (const Extra extra : {Extra::None, Extra::ManyRows, Extra::CoveringDiscs}) {
        const bool many = extra != Extra::None;
        Level level;
        level.add(ItemKind::Nebula, {0, 0, 0}, 3000);    // 90 pixels
        level.add(ItemKind::Nebula, {-9000, 0, 0}, 600); // 18 pixels, around (130, 300)
        for (std::size_t i = 0; extra == Extra::ManyRows && i < simpleCloudsAbove; ++i)
            level.add(ItemKind::Asteroid, {29000, 29000, 0}); // out of the view
        // Discs of 450 pixels, each covering the whole view: as rings they pass outside the pixels tested.
        for (int i = 0; extra == Extra::CoveringDiscs && i <= int(mapdraw::maxCloudCoverage); ++i)
            level.add(ItemKind::Nebula, {0, 0, 0}, 15000);
        const QImage image = level.render();
        EXPECT_EQ(qGreen(image.pixel(445, 300)) > 0, !many) << "inside the disc";
        EXPECT_GT(qGreen(image.pixel(many ? 490 : 488, 300)), 0) << "at its edge";
        // A cloud smaller than simpleRingPixels keeps its disc, or else shows its mark alone.
        EXPECT_EQ(qGreen(image.pixel(142, 300)) > 0, !many) << "inside the small disc";
        EXPECT_EQ(qGreen(image.pixel(146, 300)) > 0, !many) << "near the small cloud's edge";
        EXPECT_GT(qGreen(image.pixel(130, 300)), 0) << "the small cloud's mark";
    }
}

TEST(MapPainter3D, RingsCutByTheViewsEdgeShowTheirVisiblePart)
{
    // A start point's ring of 30 pixels around each of these pixels, heading up.
    for (const QPoint centre :
        {QPoint(10, 300), QPoint(790, 300), QPoint(400, 5), QPoint(400, 590), QPoint(-20, 300)}) {
        Level level;
        const Vec3 at{(centre.x() - 400) / 0.03, (300 - centre.y()) / 0.03, 0};
        level.add(ItemKind::PlayerStart, at);
        level.document.player(0).orientation = 0;
        const QImage image = level.render();
        const QPoint c = level.pixelOf(at);
        int ringPixels = 0;
        for (const QPoint p : {c + QPoint(30, 0), c - QPoint(30, 0), c + QPoint(0, 30), c + QPoint(21, 21)})
            if (image.rect().contains(p)) {
                EXPECT_EQ(image.pixelColor(p), QColor(255, 0, 0))
                    << c.x() << "," << c.y() << " at " << p.x() << "," << p.y();
                ++ringPixels;
            }
        EXPECT_GE(ringPixels, 2);
        if (image.rect().contains(c + QPoint(0, 25))) {
            EXPECT_EQ(image.pixelColor(c + QPoint(0, 25)), QColor(Qt::black)) << "inside the ring";
        }
    }
}

TEST(MapPainter3D, APainterReadsTheItemsAgainWhenTheLevelChanges)
{
    struct Case {
        quint64 before;
        quint64 after;
        bool dropRow;
    };
    for (const Case& c : {Case{5, 6, false}, Case{0, 0, false}, Case{5, 5, true}}) {
        Level level;
        level.add(ItemKind::Asteroid, {0, 0, 0}); // at (400, 300)
        level.add(ItemKind::Ship, {-6000, 3000, 0});
        level.scene.revision = c.before;
        ASSERT_EQ(level.pick({400, 300}), 0);
        ASSERT_GT(qGray(level.render().pixel(400, 300)), 0);
        if (c.dropRow)
            level.rows.erase(level.rows.begin());
        else
            level.document.resources(ItemKind::Asteroid)[0].posX = 6000; // to (580, 300)
        level.scene.revision = c.after;
        const QImage image = level.render();
        EXPECT_EQ(qGray(image.pixel(400, 300)), 0) << c.before << " " << c.after;
        EXPECT_EQ(level.pick({400, 300}), -1) << c.before << " " << c.after;
        EXPECT_EQ(level.pick({580, 300}), c.dropRow ? -1 : 0);
        EXPECT_EQ(level.pick(level.pixelOf({-6000, 3000, 0})), c.dropRow ? 0 : 1);
    }
}

TEST(MapPainter3D, PicksTheNearestMarkThenTheNearestToTheCamera)
{
    Level level;
    level.add(ItemKind::Asteroid, {0, 0, 0});        // row 0 at (400, 300)
    level.add(ItemKind::Ship, {3000, 0, 0});         // row 1 at (490, 300)
    level.add(ItemKind::Salvage, {0, 0, 3000});      // row 2, over row 0 and nearer
    level.add(ItemKind::PlayerStart, {-6000, 0, 0}); // row 3 at (220, 300), ring of 30 pixels
    level.add(ItemKind::Asteroid, {0, 0, 25000});    // row 4 above the eye, out of sight
    struct Case {
        QPointF pixel;
        int row;
    };
    for (const Case& c : {Case{{400, 300}, 2}, Case{{402, 303}, 2}, Case{{490, 304}, 1}, Case{{490, 312}, -1},
             Case{{240, 300}, 3}, Case{{255, 300}, 3}, Case{{600, 100}, -1}, Case{{-5, -5}, -1}})
        EXPECT_EQ(level.pick(c.pixel), c.row) << c.pixel.x() << "," << c.pixel.y();
    level.rows.erase(level.rows.begin() + 2);
    EXPECT_EQ(level.pick({400, 300}), 0);
}

TEST(MapPainter3D, FrameAllShowsEveryItemOrTheWorldBox)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> coord(-29000, 29000), kind(1, 9);
    Level level;
    for (int i = 0; i < 150; ++i) {
        const ItemKind k = allKinds[static_cast<std::size_t>(kind(rng) - 1)];
        if (k != ItemKind::PlayerStart || level.starts() < playerSlots)
            level.add(k, {double(coord(rng) + 20000), double(coord(rng)), double(coord(rng) / 4)}, 500);
    }
    for (const QSize size : {QSize(800, 600), QSize(300, 700)}) {
        for (const Camera3D& angles : {Camera3D{}, Camera3D{.target = {}, .yaw = 120, .pitch = -30},
                 Camera3D{.target = {}, .yaw = 0, .pitch = 90}}) {
            const Camera3D framed = framedAll(angles, level.document, level.rows, level.scene.world, QSizeF(size));
            const Projection3D p(framed, QSizeF(size));
            for (const Sphere& s : itemSpheres(level.document, level.rows)) {
                const auto at = p.toPixel(s.centre);
                ASSERT_TRUE(at && QRectF(QPointF(0, 0), QSizeF(size)).contains(*at)) << framed.yaw;
            }
            const Level empty;
            const Camera3D box = framedAll(angles, empty.document, empty.rows, empty.scene.world, QSizeF(size));
            for (const Sphere& corner : worldBoxCorners(empty.scene.world))
                EXPECT_TRUE(QRectF(QPointF(0, 0), QSizeF(size))
                                .contains(*Projection3D(box, QSizeF(size)).toPixel(corner.centre)));
        }
    }
}

} // namespace

namespace {

TEST(MapPainter3D, AHiddenRowIsNeitherDrawnNorPicked)
{
    Level level;
    const int row = level.add(ItemKind::Asteroid, {3000, 3000, 0});
    const QPoint at = level.pixelOf({3000, 3000, 0});
    level.rows[static_cast<std::size_t>(row)].hidden = true;
    level.scene.highlighted = {row};
    const QImage image = level.render();
    EXPECT_EQ(brightPixels(image, QRect(at - QPoint(12, 12), QSize(25, 25))), 0);
    EXPECT_EQ(level.pick(at), -1);
}

TEST(MapPainter3D, TheBackgroundGridAndHighlightFollowTheScheme)
{
    Level level;
    const int row = level.add(ItemKind::Asteroid, {3000, 3000, 0});
    level.scene.colours = MapColours::light();
    level.scene.highlighted = {row};
    level.scene.camera.distance = 100000;
    level.scene.gridSizeText = QStringLiteral("2500");
    const QImage image = level.render();
    EXPECT_EQ(image.pixelColor(700, 300), MapColours::light().background);
    EXPECT_EQ(image.pixelColor(407, 200), MapColours::light().background) << "between grid lines";
    int gridPixels = 0, ringPixels = 0;
    for (int x = 410; x <= 420; ++x)
        gridPixels += image.pixelColor(x, 200) == MapColours::light().grid;
    const QPoint at = level.pixelOf({3000, 3000, 0});
    for (int y = at.y() - 12; y <= at.y() + 12; ++y)
        for (int x = at.x() - 12; x <= at.x() + 12; ++x)
            ringPixels += image.pixelColor(x, y) == MapColours::light().marks;
    EXPECT_GT(gridPixels, 0) << "the grid line at x = 2500";
    EXPECT_GT(ringPixels, 20) << "the highlight ring";
}

} // namespace
