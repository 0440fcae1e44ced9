#include "views/ViewScale.h"

#include <gtest/gtest.h>

#include <optional>

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
    for (const Case& c : {Case{"40000", "20000", "5000", {-40000, -20000, 40000, 20000}, {-40000, 5000, 40000, -5000}},
             Case{"1000.9", "250.5abc", "99.99", {-1000, -250, 1000, 250}, {-1000, 99, 1000, -99}},
             // A size that is not a positive number still gives a view of one unit.
             Case{"abc", "0", "-5", {-1, -1, 1, 1}, {-1, 1, 1, -1}}}) {
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

} // namespace
