#include "views/ViewScale.h"

#include <gtest/gtest.h>

#include <optional>

using namespace starloom;

namespace {

MapSettings world(const char* x, const char* y, const char* z = "20000")
{
    MapSettings s;
    s.sizeX = QString::fromLatin1(x);
    s.sizeY = QString::fromLatin1(y);
    s.sizeZ = QString::fromLatin1(z);
    return s;
}

void expectScale(const ViewScale& actual, const ViewScale& expected)
{
    EXPECT_FLOAT_EQ(actual.left, expected.left);
    EXPECT_FLOAT_EQ(actual.top, expected.top);
    EXPECT_FLOAT_EQ(actual.right, expected.right);
    EXPECT_FLOAT_EQ(actual.bottom, expected.bottom);
}

const ViewScale defaultTop{-30000, -30000, 30000, 30000};

} // namespace

struct CornerCase {
    const char* x;
    const char* y;
    const char* z;
    ViewScale top;
    ViewScale front;
};

class ViewScaleCorners : public ::testing::TestWithParam<CornerCase> {};

TEST_P(ViewScaleCorners, FullWorldFromSizes)
{
    const CornerCase& c = GetParam();
    const MapSettings s = world(c.x, c.y, c.z);
    expectScale(topScaleFor(s), c.top);
    expectScale(frontScaleFor(s), c.front);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ViewScaleCorners,
    ::testing::Values(CornerCase{"30000", "30000", "20000", {-30000, -30000, 30000, 30000}, {-30000, 20000, 30000, -20000}},
                      CornerCase{"40000", "20000", "5000", {-40000, -20000, 40000, 20000}, {-40000, 5000, 40000, -5000}},
                      CornerCase{"1000.9", "250.5abc", "99.99", {-1000, -250, 1000, 250}, {-1000, 99, 1000, -99}},
                      // A size that is not a positive number still gives a view of one unit.
                      CornerCase{"abc", "0", "-5", {-1, -1, 1, 1}, {-1, 1, 1, -1}}));

struct ZoomCase {
    const char* name;
    ViewScale from;
    double cx;
    double cy;
    std::optional<ViewScale> expected;
};

class ViewScaleZoomIn : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(ViewScaleZoomIn, NewView)
{
    const ZoomCase& c = GetParam();
    const std::optional<ViewScale> zoomed = zoomedIn(c.from, c.cx, c.cy, MapSettings{});
    ASSERT_EQ(zoomed.has_value(), c.expected.has_value());
    if (zoomed)
        expectScale(*zoomed, *c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ViewScaleZoomIn,
    ::testing::Values(
        ZoomCase{"AtCentre", defaultTop, 0, 0, ViewScale{-12000, -12000, 12000, 12000}},
        ZoomCase{"AgainAtCentre", {-12000, -12000, 12000, 12000}, 0, 0, ViewScale{-4800, -4800, 4800, 4800}},
        ZoomCase{"PushedInsideBothAxes", defaultTop, 29000, -29500, ViewScale{6000, -30000, 30000, -6000}},
        ZoomCase{"PushedInsideNegativeX", defaultTop, -29999, 100, ViewScale{-30000, -11900, -6000, 12100}},
        ZoomCase{"EdgeOnWorldEdgeKept", defaultTop, 18000, 18000, ViewScale{6000, 6000, 30000, 30000}},
        ZoomCase{"HalfSizesRoundDown", {0, 0, 99, 49}, 50, 25, ViewScale{31, 16, 69, 34}},
        ZoomCase{"NarrowerThanOneUnitRefused", {0, 0, 4, 100}, 2, 50, std::nullopt},
        ZoomCase{"LowerThanOneUnitRefused", {0, 0, 100, 4.9f}, 50, 2, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ViewScale, RepeatedZoomInStopsBeforeTheViewVanishes)
{
    const MapSettings s;
    ViewScale view = topScaleFor(s);
    int zooms = 0;
    while (const auto next = zoomedIn(view, 0, 0, s)) {
        view = *next;
        ++zooms;
        ASSERT_LT(zooms, 100);
    }
    // 60000 -> 24000 -> 9600 -> 3840 -> 1536 -> 614 -> 244 -> 96 -> 38 -> 14 -> 4, then refused.
    EXPECT_EQ(zooms, 10);
    expectScale(view, {-2, -2, 2, 2});
}

struct ZoomOutCase {
    const char* x;
    const char* y;
    ViewScale expected;
};

class ViewScaleZoomOut : public ::testing::TestWithParam<ZoomOutCase> {};

TEST_P(ViewScaleZoomOut, NegativeCornersRoundHalfEven)
{
    const ZoomOutCase& c = GetParam();
    expectScale(zoomedOut(world(c.x, c.y)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ViewScaleZoomOut,
                         ::testing::Values(ZoomOutCase{"30000", "30000", {-30000, -30000, 30000, 30000}},
                                           ZoomOutCase{"2.5", "3.5", {-2, -4, 2.5f, 3.5f}},
                                           ZoomOutCase{"1000.6", "1000.4", {-1001, -1000, 1000.6f, 1000.4f}}));

struct PixelCase {
    ViewScale scale;
    QSizeF pixels;
    QPointF world;
    QPointF pixel;
};

class ViewScalePixels : public ::testing::TestWithParam<PixelCase> {};

TEST_P(ViewScalePixels, MapsBothWays)
{
    const PixelCase& c = GetParam();
    const QPointF p = c.scale.toPixel(c.world.x(), c.world.y(), c.pixels);
    EXPECT_NEAR(p.x(), c.pixel.x(), 1e-9);
    EXPECT_NEAR(p.y(), c.pixel.y(), 1e-9);
    const QPointF back = c.scale.toWorld(p, c.pixels);
    EXPECT_NEAR(back.x(), c.world.x(), 1e-6);
    EXPECT_NEAR(back.y(), c.world.y(), 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Points, ViewScalePixels,
    ::testing::Values(PixelCase{defaultTop, {600, 400}, {-30000, -30000}, {0, 0}},
                      PixelCase{defaultTop, {600, 400}, {30000, 30000}, {600, 400}},
                      PixelCase{defaultTop, {600, 400}, {0, 0}, {300, 200}},
                      PixelCase{defaultTop, {600, 400}, {1000, 2000}, {310, 200 + 2000.0 / 150}},
                      // The front view: height grows upwards.
                      PixelCase{{-30000, 20000, 30000, -20000}, {600, 400}, {0, 20000}, {300, 0}},
                      PixelCase{{-30000, 20000, 30000, -20000}, {600, 400}, {0, -20000}, {300, 400}},
                      PixelCase{{-30000, 20000, 30000, -20000}, {600, 400}, {1000, 500}, {310, 195}},
                      PixelCase{{6000, -30000, 30000, -6000}, {240, 120}, {18000, -18000}, {120, 60}},
                      PixelCase{{6000, -30000, 30000, -6000}, {240, 120}, {-1234.5, 77.25},
                                {(-1234.5 - 6000) / 100, (77.25 + 30000) / 200}}));
