// The shapes the generator makes: where their points fall, how many there are, how they spread,
// and that a seed gives the same points everywhere.

#include "EditorFixture.h"

#include "editing/ShapeGenerator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

using namespace starloom;

namespace {

constexpr double pi = 3.14159265358979323846;

ShapeParams shape(ShapeKind kind)
{
    ShapeParams p;
    p.kind = kind;
    p.centreX = 5000;
    p.centreY = -3000;
    p.centreHeight = 700;
    p.count = 2000;
    p.seed = 42;
    return p;
}

double distance3(const ShapePoint& a, double x, double y, double h)
{
    return std::sqrt((a.x - x) * (a.x - x) + (a.y - y) * (a.y - y) + (a.height - h) * (a.height - h));
}

// The angle of a point round the shape's centre, 0 towards -y and 90 towards +x, in [0, 360).
double headingOf(const ShapePoint& point, const ShapeParams& p)
{
    const double a = std::atan2(point.x - p.centreX, -(point.y - p.centreY)) * 180 / pi;
    return a < 0 ? a + 360 : a;
}

} // namespace

// Every point lies inside its shape's bounds, for shapes of several sizes and seeds.
TEST(ShapeGenerator, EveryPointLiesInsideItsShape)
{
    struct Case {
        std::string name;
        ShapeParams params;
        std::function<bool(const ShapePoint&, const ShapeParams&)> inside;
    };
    ShapeParams belt = shape(ShapeKind::Ring);
    belt.radius = 20000;
    belt.width = 4000;
    belt.thickness = 1000;
    belt.startAngle = 30;
    belt.endAngle = 120;
    ShapeParams shell = shape(ShapeKind::Sphere);
    shell.radius = 15000;
    shell.thickness = 2000;
    ShapeParams ball = shell;
    ball.thickness = shell.radius;
    ShapeParams heap = shape(ShapeKind::Cluster);
    heap.spread = 8000;
    ShapeParams box = shape(ShapeKind::Scatter);
    box.minX = -100;
    box.maxX = 900;
    box.minY = 4000;
    box.maxY = 2000; // given the wrong way round
    box.thickness = 50;
    const std::vector<Case> cases{
        {"belt", belt,
            [](const ShapePoint& q, const ShapeParams& p) {
                const double r = std::hypot(q.x - p.centreX, q.y - p.centreY);
                const double a = headingOf(q, p);
                return r >= 18000 - 1e-6 && r <= 22000 + 1e-6 && a >= 30 - 1e-9 && a <= 120 + 1e-9
                    && std::abs(q.height - p.centreHeight) <= 500;
            }},
        {"shell", shell,
            [](const ShapePoint& q, const ShapeParams& p) {
                const double r = distance3(q, p.centreX, p.centreY, p.centreHeight);
                return r >= 13000 - 1e-6 && r <= 15000 + 1e-6;
            }},
        {"ball", ball,
            [](const ShapePoint& q, const ShapeParams& p) {
                return distance3(q, p.centreX, p.centreY, p.centreHeight) <= 15000 + 1e-6;
            }},
        {"cluster", heap,
            [](const ShapePoint& q, const ShapeParams& p) {
                return distance3(q, p.centreX, p.centreY, p.centreHeight) <= 8000 + 1e-6;
            }},
        {"scatter", box,
            [](const ShapePoint& q, const ShapeParams& p) {
                return q.x >= -100 && q.x < 900 && q.y >= 2000 && q.y < 4000
                    && std::abs(q.height - p.centreHeight) <= 25;
            }},
    };
    for (const Case& c : cases) {
        for (const std::uint64_t seed : {1ULL, 42ULL, 0xFFFFFFFFFFFFULL}) {
            ShapeParams p = c.params;
            p.seed = seed;
            const std::vector<ShapePoint> points = shapePoints(p);
            ASSERT_EQ(points.size(), static_cast<std::size_t>(p.count)) << c.name;
            for (const ShapePoint& q : points)
                ASSERT_TRUE(c.inside(q, p))
                    << c.name << " seed " << seed << ": " << q.x << ", " << q.y << ", " << q.height;
        }
    }
}

// The points spread as their shape says: a belt evenly over its area, a cluster round its
// centre and thinner outwards, a shell's items all on its surface.
TEST(ShapeGenerator, PointsSpreadAsTheirShapeSays)
{
    ShapeParams belt = shape(ShapeKind::Ring);
    belt.count = 20000;
    belt.radius = 10000;
    belt.width = 10000; // radii 5,000 to 15,000
    double meanRadius = 0;
    int quarters[4] = {};
    for (const ShapePoint& q : shapePoints(belt)) {
        meanRadius += std::hypot(q.x - belt.centreX, q.y - belt.centreY) / belt.count;
        ++quarters[static_cast<int>(headingOf(q, belt) / 90) % 4];
    }
    // Even over the area: the mean radius is 2/3 (R^3 - r^3) / (R^2 - r^2).
    const double expected =
        2.0 / 3.0 * (15000.0 * 15000 * 15000 - 5000.0 * 5000 * 5000) / (15000.0 * 15000 - 5000.0 * 5000);
    EXPECT_NEAR(meanRadius, expected, 100);
    for (const int n : quarters)
        EXPECT_NEAR(n, 5000, 300);

    ShapeParams heap = shape(ShapeKind::Cluster);
    heap.count = 20000;
    heap.spread = 10000;
    heap.falloff = 2;
    double mx = 0, my = 0, mh = 0;
    int near = 0;
    for (const ShapePoint& q : shapePoints(heap)) {
        mx += q.x / heap.count;
        my += q.y / heap.count;
        mh += q.height / heap.count;
        near += distance3(q, heap.centreX, heap.centreY, heap.centreHeight) < 2500 ? 1 : 0;
    }
    EXPECT_NEAR(mx, heap.centreX, 150);
    EXPECT_NEAR(my, heap.centreY, 150);
    EXPECT_NEAR(mh, heap.centreHeight, 150);
    // With a falloff of 2, a point is within a quarter of the spread half the time.
    EXPECT_NEAR(near, 10000, 400);

    ShapeParams shell = shape(ShapeKind::Sphere);
    shell.thickness = 0;
    for (const ShapePoint& q : shapePoints(shell))
        ASSERT_NEAR(distance3(q, shell.centreX, shell.centreY, shell.centreHeight), shell.radius, 1e-6);
}

// Lines, arcs and grids are placed evenly, without chance.
TEST(ShapeGenerator, LinesAndGridsAreEven)
{
    ShapeParams straight = shape(ShapeKind::Line);
    straight.count = 5;
    straight.toX = 9000;
    straight.toY = 1000;
    straight.toHeight = 1500;
    const std::vector<ShapePoint> line = shapePoints(straight);
    ASSERT_EQ(line.size(), 5u);
    EXPECT_DOUBLE_EQ(line.front().x, 5000);
    EXPECT_DOUBLE_EQ(line.front().y, -3000);
    EXPECT_DOUBLE_EQ(line.back().x, 9000);
    EXPECT_DOUBLE_EQ(line.back().y, 1000);
    EXPECT_DOUBLE_EQ(line.back().height, 1500);
    EXPECT_DOUBLE_EQ(line[2].x, 7000);
    EXPECT_DOUBLE_EQ(line[2].height, 1100);

    // An arc from (0, 0) to (10000, 0) bowed 2,000 to the right of the way: towards +y.
    ShapeParams arc = shape(ShapeKind::Line);
    arc.centreX = arc.centreY = arc.centreHeight = 0;
    arc.toX = 10000;
    arc.toY = 0;
    arc.bulge = 2000;
    arc.count = 3;
    const std::vector<ShapePoint> bowed = shapePoints(arc);
    EXPECT_DOUBLE_EQ(bowed[1].x, 5000);
    EXPECT_DOUBLE_EQ(bowed[1].y, 2000);
    EXPECT_DOUBLE_EQ(bowed[2].y, 0);

    ShapeParams rows = shape(ShapeKind::Grid);
    rows.rows = 3;
    rows.columns = 4;
    rows.spacing = 1000;
    const std::vector<ShapePoint> grid = shapePoints(rows);
    ASSERT_EQ(grid.size(), 12u);
    EXPECT_DOUBLE_EQ(grid.front().x, 3500);
    EXPECT_DOUBLE_EQ(grid.front().y, -4000);
    EXPECT_DOUBLE_EQ(grid.back().x, 6500);
    EXPECT_DOUBLE_EQ(grid.back().y, -2000);
}

// Counts: none below 1, at most a kind's worth of items however large the shape is asked.
TEST(ShapeGenerator, CountsStayWithinWhatAKindHolds)
{
    struct Case {
        const char* name;
        ShapeKind kind;
        int count;
        int rows;
        int columns;
        std::size_t expected;
    };
    const Case cases[] = {
        {"no ring", ShapeKind::Ring, 0, 0, 0, 0},
        {"a negative count", ShapeKind::Cluster, -5, 0, 0, 0},
        {"one point on a line", ShapeKind::Line, 1, 0, 0, 1},
        {"a huge count", ShapeKind::Scatter, 2000000000, 0, 0, std::size_t(maxShapePoints)},
        {"an empty grid", ShapeKind::Grid, 100, 0, 7, 0},
        {"a huge grid", ShapeKind::Grid, 0, 100000, 100000, std::size_t(maxShapePoints)},
        {"a wide grid", ShapeKind::Grid, 0, 3, 20000, 20000},
    };
    for (const Case& c : cases) {
        ShapeParams p = shape(c.kind);
        p.count = c.count;
        p.rows = c.rows;
        p.columns = c.columns;
        EXPECT_EQ(shapePoints(p).size(), c.expected) << c.name;
    }
}

// The same seed gives the same points, here and on every other platform (the numbers are the
// generator's own, not a standard library's); another seed gives others.
TEST(ShapeGenerator, ASeedGivesTheSamePointsEverywhere)
{
    ShapeRandom random(7);
    EXPECT_EQ(random.next(), 0x63CBE1E459320DD7ULL);
    ShapeParams p = shape(ShapeKind::Ring);
    p.count = 3;
    const std::vector<ShapePoint> once = shapePoints(p);
    const std::vector<ShapePoint> again = shapePoints(p);
    for (std::size_t i = 0; i < once.size(); ++i) {
        EXPECT_EQ(once[i].x, again[i].x);
        EXPECT_EQ(once[i].y, again[i].y);
        EXPECT_EQ(once[i].height, again[i].height);
    }
    p.seed = 43;
    EXPECT_NE(shapePoints(p).front().x, once.front().x);
}

namespace starloom::test {

// A shape placed from the panel: its items of the panel's kind and model, at the shape's points,
// selected, as one undo step; for several players with their turned copies; the kind's cap kept.
TEST_F(EditorTest, AGeneratedShapeIsOneUndoStepOfThePanelsItems)
{
    editor->chooseKind(ItemKind::Asteroid);
    editor->chooseModel(1);
    ShapeParams ring;
    ring.kind = ShapeKind::Ring;
    ring.count = 40;
    ring.radius = 10000;
    ring.width = 0;
    ring.thickness = 0;
    ring.centreHeight = 300;
    const std::vector<ShapePoint> points = shapePoints(ring);
    const int steps = editor->undoStack().count();
    EXPECT_EQ(editor->generateShape(ring), 40);
    EXPECT_EQ(editor->undoStack().count(), steps + 1);
    ASSERT_EQ(editor->document().itemCount(ItemKind::Asteroid), 40);
    const ResourceRecord& first = editor->document().resources(ItemKind::Asteroid)[0];
    EXPECT_EQ(first.posX, static_cast<std::int32_t>(std::nearbyint(points[0].x)));
    EXPECT_EQ(first.posY, static_cast<std::int32_t>(std::nearbyint(points[0].y)));
    EXPECT_EQ(first.posZ, 300);
    EXPECT_EQ(first.modelIndex, 1);
    EXPECT_EQ(editor->selection().size(), 40u);
    EXPECT_EQ(editor->rows().back().text, QStringLiteral("Asteroid #40")) << "numbered where they land";
    editor->undoStack().undo();
    EXPECT_EQ(editor->document().itemCount(ItemKind::Asteroid), 0);

    // For four players: the shape and three copies turned a quarter each, one undo step.
    EXPECT_EQ(editor->generateShape(ring, 4), 160);
    EXPECT_EQ(editor->undoStack().count(), steps + 1);
    const auto& rocks = editor->document().resources(ItemKind::Asteroid);
    const double turnedX = -points[0].y; // a quarter turn clockwise in the top view: (x, y) -> (-y, x)
    EXPECT_NEAR(rocks[40].posX, turnedX, 1.0);
    EXPECT_NEAR(rocks[40].posY, points[0].x, 1.0);

    // The kind's cap: what does not fit is left out and said.
    ShapeParams many = ring;
    many.count = maxShapePoints;
    EXPECT_EQ(editor->generateShape(many), maxShapePoints - 160);
    EXPECT_NE(host.lastNote().indexOf(QStringLiteral("160 of the 32767 items were left out")), -1)
        << host.lastNote().toStdString();

    // Start points are not made in shapes.
    editor->chooseKind(ItemKind::PlayerStart);
    EXPECT_EQ(editor->generateShape(ring), 0);
}

} // namespace starloom::test
