#include "views/ViewScale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <utility>

using namespace starloom;

namespace {

MapSettings world(const char* x, const char* y, const char* z = "20000")
{
    MapSettings settings;
    settings.sizeX = QString::fromLatin1(x);
    settings.sizeY = QString::fromLatin1(y);
    settings.sizeZ = QString::fromLatin1(z);
    return settings;
}

const ViewScale defaultTop{-30000, -30000, 30000, 30000};

TEST(ViewScale, FullWorldFromSizes)
{
    struct Case {
        const char *x, *y, *z;
        ViewScale top, front;
    };
    // The front view's axes fill it each on its own.
    for (const Case& c :
        {Case{"40000", "20000", "5000", {-40000, -20000, 40000, 20000}, {-40000, 5000, 40000, -5000, true}},
            Case{"1000.9", "250.5abc", "99.99", {-1000, -250, 1000, 250}, {-1000, 99, 1000, -99, true}},
            // A size that is not a positive number still gives a view of one unit.
            Case{"abc", "0", "-5", {-1, -1, 1, 1}, {-1, 1, 1, -1, true}}}) {
        EXPECT_EQ(topScaleFor(world(c.x, c.y, c.z)), c.top) << c.x;
        EXPECT_EQ(frontScaleFor(world(c.x, c.y, c.z)), c.front) << c.x;
    }
    // Zooming out rounds the negative corners half to even.
    EXPECT_EQ(zoomedOut(world("2.5", "3.5")), (ViewScale{-2, -4, 2.5f, 3.5f}));
    EXPECT_EQ(zoomedOut(world("1000.6", "1000.4")), (ViewScale{-1001, -1000, 1000.6f, 1000.4f}));
}

TEST(ViewScale, ZoomInKeepsTheViewInsideTheWorld)
{
    struct Case {
        const char* name;
        ViewScale from;
        double cx, cy;
        std::optional<ViewScale> expected;
    };
    const Case cases[] = {
        {"centre", defaultTop, 0, 0, ViewScale{-12000, -12000, 12000, 12000}},
        {"again", {-12000, -12000, 12000, 12000}, 0, 0, ViewScale{-4800, -4800, 4800, 4800}},
        {"pushed inside", defaultTop, 29000, -29500, ViewScale{6000, -30000, 30000, -6000}},
        {"pushed inside -x", defaultTop, -29999, 100, ViewScale{-30000, -11900, -6000, 12100}},
        {"edge on the world edge", defaultTop, 18000, 18000, ViewScale{6000, 6000, 30000, 30000}},
        {"half sizes round down", {0, 0, 99, 49}, 50, 25, ViewScale{31, 16, 69, 34}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(zoomedIn(c.from, c.cx, c.cy, MapSettings{}), c.expected) << c.name;
}

TEST(ViewScale, ZoomInRefusesAViewBelowOneUnit)
{
    EXPECT_EQ(zoomedIn({0, 0, 4, 100}, 2, 50, MapSettings{}), std::nullopt) << "too narrow";
    EXPECT_EQ(zoomedIn({0, 0, 100, 4.9f}, 50, 2, MapSettings{}), std::nullopt) << "too low";

    ViewScale view = defaultTop;
    int zooms = 0;
    while (const auto next = zoomedIn(view, 0, 0, MapSettings{})) {
        view = *next;
        ASSERT_LT(++zooms, 100);
    }
    // 60000 -> 24000 -> 9600 -> 3840 -> 1536 -> 614 -> 244 -> 96 -> 38 -> 14 -> 4, then refused.
    EXPECT_EQ(zooms, 10);
    EXPECT_EQ(view, (ViewScale{-2, -2, 2, 2}));
}

// The pixel extents of a circle of radius r about (cx, cy): across and down.
std::pair<double, double> circleExtents(const ViewScale& s, QSizeF pixels, double cx, double cy, double r)
{
    return {s.toPixel(cx + r, cy, pixels).x() - s.toPixel(cx - r, cy, pixels).x(),
        s.toPixel(cx, cy + r, pixels).y() - s.toPixel(cx, cy - r, pixels).y()};
}

const QSizeF viewShapes[] = {{800, 400}, {400, 800}, {600, 600}, {1000, 300}, {333, 777}};

TEST(ViewScale, CircleIsRoundAtEveryViewShape)
{
    for (const QSizeF pixels : viewShapes) {
        for (const ViewScale& s : {defaultTop, ViewScale{-40000, -10000, 40000, 10000}, ViewScale{5, 7, 905, 207}}) {
            const auto [across, down] = circleExtents(s, pixels, 1000, -500, 3000);
            EXPECT_NEAR(across, down, 1e-6 * across) << pixels.width() << "x" << pixels.height();
        }
    }
}

TEST(ViewScale, StretchToFillScalesEachAxisToTheView)
{
    for (const QSizeF pixels : viewShapes) {
        const ViewScale s{-40000, -10000, 40000, 10000, true};
        const auto [across, down] = circleExtents(s, pixels, 0, 0, 1000);
        EXPECT_NEAR(across, pixels.width() * 2000 / 80000, 1e-9);
        EXPECT_NEAR(down, pixels.height() * 2000 / 20000, 1e-9);
    }
}

TEST(ViewScale, ToScaleTheRectangleIsCentredWholeInTheView)
{
    for (const QSizeF pixels : viewShapes) {
        const ViewScale s{-40000, -10000, 40000, 10000};
        const QPointF a = s.toPixel(-40000, -10000, pixels);
        const QPointF b = s.toPixel(40000, 10000, pixels);
        EXPECT_GE(a.x(), -1e-6);
        EXPECT_GE(a.y(), -1e-6);
        EXPECT_LE(b.x(), pixels.width() + 1e-6);
        EXPECT_LE(b.y(), pixels.height() + 1e-6);
        // Centred, and touching two opposite edges.
        EXPECT_NEAR(a.x(), pixels.width() - b.x(), 1e-3);
        EXPECT_NEAR(a.y(), pixels.height() - b.y(), 1e-3);
        EXPECT_TRUE(std::abs(a.x()) < 1e-3 || std::abs(a.y()) < 1e-3);
    }
}

TEST(ViewScale, ToWorldUndoesToPixelInBothModes)
{
    for (const bool fill : {false, true}) {
        const ViewScale s{-30000, 20000, 30000, -20000, fill}; // a front view: height grows upwards
        for (const QSizeF pixels : viewShapes) {
            const QPointF world = s.toWorld(s.toPixel(12345, -6789, pixels), pixels);
            EXPECT_NEAR(world.x(), 12345, 1e-6);
            EXPECT_NEAR(world.y(), -6789, 1e-6);
        }
    }
}

TEST(ViewScale, LetterboxMarginsLieOutsideTheWorld)
{
    const QSizeF wide(900, 300);
    const QPointF leftMargin = defaultTop.toWorld(QPointF(10, 150), wide);
    EXPECT_LT(leftMargin.x(), -30000);
    EXPECT_NEAR(leftMargin.y(), 0, 1e-6);
    const QSizeF tall(300, 900);
    EXPECT_GT(defaultTop.toWorld(QPointF(150, 890), tall).y(), 30000);
}

TEST(ViewScale, ZoomToRectangleWidensToTheViewWithinTheWorld)
{
    struct Case {
        const char* name;
        QRectF wanted;
        bool fill;
        ViewScale expected;
    };
    const QSizeF pixels(600, 300);
    const Case cases[] = {
        {"widened across", QRectF(QPointF(-1000, -1000), QPointF(1000, 1000)), false, {-2000, -1000, 2000, 1000}},
        {"corners in any order", QRectF(QPointF(1000, 1000), QPointF(-1000, -1000)), false, {-2000, -1000, 2000, 1000}},
        {"pushed inside", QRectF(QPointF(29000, 0), QPointF(31000, 1000)), false, {28000, 0, 30000, 1000}},
        {"one unit at least", QRectF(QPointF(10, 10), QPointF(10, 10)), false, {9, 9.5f, 11, 10.5f}},
        {"higher than the world: centred down", QRectF(QPointF(-40000, -40000), QPointF(40000, 40000)), false,
            {-30000, -30000, 30000, 30000}},
        {"stretched: as dragged", QRectF(QPointF(-1000, -1000), QPointF(1000, 1000)), true,
            {-1000, -1000, 1000, 1000, true}},
        {"stretched: wider than the world: the whole world", QRectF(QPointF(-40000, 0), QPointF(40000, 10)), true,
            {-30000, -30000, 30000, 30000, true}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(settledTop(c.wanted, pixels, c.fill, MapSettings{}), c.expected) << c.name;
    // In a view ten times wider than high: widened about its centre, then pushed inside the world
    // along an axis it fits in; along one it does not fit in, moved just enough to hold the world.
    const MapSettings small = world("1000", "1000");
    const QRectF wanted(QPointF(500, 0), QPointF(700, 100));
    EXPECT_EQ(settledTop(wanted, QSizeF(1000, 100), false, small), (ViewScale{0, 0, 1000, 100}));
    EXPECT_EQ(settledTop(wanted, QSizeF(3000, 100), false, small), (ViewScale{-1000, 0, 2000, 100}));
}

TEST(ViewScale, WheelZoomToScaleWorksFromALetterboxedWholeWorld)
{
    // The whole world in a wide view: zooming in by the wheel narrows the view at once.
    const QSizeF wide(900, 300);
    ViewScale shown = defaultTop.shownAt(wide);
    shown.fill = false;
    const auto zoomed = zoomedAround(shown, 0, 0, 1.25, MapSettings{});
    ASSERT_TRUE(zoomed);
    EXPECT_LT(zoomed->height(), 60000);
    EXPECT_NEAR(zoomed->width() / zoomed->height(), 3, 1e-3);
    // Wider than the world still: all of the world across, here centred as the zoom's point is.
    EXPECT_NEAR(double(zoomed->left) + double(zoomed->right), 0, 1e-2);
    // Around a point off centre, that point stays where it is on the screen.
    const auto aside = zoomedAround(shown, -20000, 0, 1.25, MapSettings{});
    ASSERT_TRUE(aside);
    EXPECT_NEAR(aside->toPixel(-20000, 0, wide).x(), shown.toPixel(-20000, 0, wide).x(), 1e-3);
    // Zooming back out past the whole world gives the whole world.
    const auto out = zoomedAround(*zoomed, 0, 0, 0.5, MapSettings{});
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, zoomedOut(MapSettings{}));
}

TEST(ViewScale, FrontViewFollowsTheRangeTheTopViewShows)
{
    const QSizeF top(800, 400);
    const QSizeF front(800, 170);
    const ViewScale shownTop = defaultTop.shownAt(top);
    const ViewScale f = frontFollowing(frontScaleFor(MapSettings{}), shownTop);
    for (const double x : {-45000.0, -30000.0, 0.0, 12345.0, 30000.0})
        EXPECT_DOUBLE_EQ(f.toPixel(x, 0, front).x(), defaultTop.toPixel(x, 0, top).x()) << x;
    // The front view keeps its own height range.
    EXPECT_DOUBLE_EQ(f.toPixel(0, frontScaleFor(MapSettings{}).top, front).y(), 0);
}

TEST(ViewScale, ScaleBarLengthIsRound)
{
    struct Case {
        double pixelsPerUnit, maxPixels, expected;
    };
    for (const Case& c : {Case{0.01, 200, 20000}, Case{0.01, 100, 10000}, Case{0.01, 99, 5000}, Case{0.01, 40, 2000},
             Case{0.01, 19.9, 1000}, Case{1, 7, 5}, Case{100, 50, 0.5}, Case{0, 100, 0}, Case{0.01, 0, 0}})
        EXPECT_DOUBLE_EQ(scaleBarLength(c.pixelsPerUnit, c.maxPixels), c.expected)
            << c.pixelsPerUnit << " " << c.maxPixels;
}

} // namespace
