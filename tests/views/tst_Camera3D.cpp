#include "views/Camera3D.h"
#include "views/Projection3D.h"
#include "views/ViewScale.h"

#include <gtest/gtest.h>

#include <random>

using namespace starloom;

namespace {

// 800 x 600 pixels: 600 pixels per world unit at depth 1, the target at pixel (400, 300).
const QSizeF view(800, 600);

Camera3D at(double yaw, double pitch, double distance = 10000, Vec3 target = {})
{
    return Camera3D{.target = target, .yaw = yaw, .pitch = pitch, .distance = distance};
}

TEST(Projection3D, KnownPointsLandOnKnownPixels)
{
    struct Case {
        Camera3D camera;
        Vec3 point;
        std::optional<QPointF> pixel;
    };
    const Case cases[] = {
        // Front: from +y, x to the right, height upwards.
        {at(0, 0), {1000, 0, 0}, QPointF(460, 300)},
        {at(0, 0), {0, 0, 1000}, QPointF(400, 240)},
        {at(0, 0), {1000, -10000, 0}, QPointF(430, 300)}, // twice as deep, half as far out
        {at(0, 0), {0, 5000, 500}, QPointF(400, 240)},
        // Top: from above, x to the right, y downwards.
        {at(0, 90), {1000, 0, 0}, QPointF(460, 300)},
        {at(0, 90), {0, 1000, 0}, QPointF(400, 360)},
        {at(0, 90), {1000, 1000, 5000}, QPointF(520, 420)},
        // Side: from +x, -y to the right.
        {at(90, 0), {0, -1000, 0}, QPointF(460, 300)},
        {at(90, 0), {0, 0, 1000}, QPointF(400, 240)},
        // From the front and 45 degrees up; the target moved.
        {at(0, 45), {0, -1000, 1000}, QPointF(400, 300 - 600 * 1000 * std::sqrt(2.0) / 10000)},
        {at(0, 90, 10000, {5000, 5000, 0}), {5000, 5000, 0}, QPointF(400, 300)},
        // Behind the eye, and closer than the near plane.
        {at(0, 0), {0, 20000, 0}, std::nullopt},
        {at(0, 0), {0, 9999.5, 0}, std::nullopt},
    };
    for (const Case& c : cases) {
        const Projection3D p(c.camera, view);
        const auto pixel = p.toPixel(c.point);
        ASSERT_EQ(pixel.has_value(), c.pixel.has_value()) << c.point.x << " " << c.point.y << " " << c.point.z;
        if (pixel) {
            EXPECT_NEAR(pixel->x(), c.pixel->x(), 1e-6) << c.camera.yaw << "/" << c.camera.pitch;
            EXPECT_NEAR(pixel->y(), c.pixel->y(), 1e-6) << c.camera.yaw << "/" << c.camera.pitch;
        }
    }
}

TEST(Projection3D, AxisViewsShowTheMapAsTheTwoDimensionalViewsDo)
{
    // Points of the plane the 2-D view shows, measured from the view's centre: the 3-D view is
    // the 2-D view with each axis scaled by a positive factor of its own.
    const MapSettings settings;
    struct Case {
        AxisView axis;
        ViewScale scale;
        bool heightUp;
    };
    for (const Case& c :
        {Case{AxisView::Top, topScaleFor(settings), false}, Case{AxisView::Front, frontScaleFor(settings), true}}) {
        const Projection3D p(Camera3D{}.alongAxis(c.axis), view);
        std::optional<QPointF> factors;
        for (const QPointF w :
            {QPointF(8000, 3000), QPointF(-5000, 7000), QPointF(2000, -9000), QPointF(-4000, -1000)}) {
            const Vec3 point = c.heightUp ? Vec3{w.x(), 0, w.y()} : Vec3{w.x(), w.y(), 0};
            const QPointF flat = c.scale.toPixel(w.x(), w.y(), view) - QPointF(400, 300);
            const QPointF deep = *p.toPixel(point) - QPointF(400, 300);
            const QPointF f(deep.x() / flat.x(), deep.y() / flat.y());
            EXPECT_GT(f.x(), 0) << int(c.axis) << " " << w.x() << " " << w.y();
            EXPECT_GT(f.y(), 0) << int(c.axis) << " " << w.x() << " " << w.y();
            if (factors) {
                EXPECT_NEAR(f.x(), factors->x(), 1e-9);
                EXPECT_NEAR(f.y(), factors->y(), 1e-9);
            }
            factors = f;
        }
    }
    // The side view looks from +x: north (-y) is to the right.
    const Projection3D side(Camera3D{}.alongAxis(AxisView::Side), view);
    EXPECT_GT(side.toPixel({0, -1000, 0})->x(), 400);
}

TEST(Projection3D, TheRayThroughAPointsPixelPassesThroughThePoint)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> angle(-180, 180), coord(-20000, 20000);
    for (int i = 0; i < 200; ++i) {
        const Camera3D camera = at(angle(rng), angle(rng) / 2, 30000, {coord(rng), coord(rng), coord(rng) / 4});
        const Projection3D p(camera, view);
        const Vec3 point = camera.target + Vec3{coord(rng), coord(rng), coord(rng)} * 0.5;
        const auto pixel = p.toPixel(point);
        if (!pixel)
            continue;
        const Projection3D::Ray ray = p.rayThrough(*pixel);
        const Vec3 along = ray.direction * (point - ray.origin).dot(ray.direction);
        EXPECT_LT((point - ray.origin - along).length(), 1e-6 * (point - ray.origin).length());
    }
}

TEST(Camera3D, OrbitZoomAndPanStayWithinTheirLimits)
{
    struct Case {
        Camera3D camera;
        Camera3D expected;
    };
    const Camera3D c = at(170, 80, 5000);
    const Case cases[] = {
        {c.orbited(20, 0), at(-170, 80, 5000)},
        {c.orbited(-350, 0), at(180, 80, 5000)},
        {c.orbited(0, 30), at(170, 90, 5000)},
        {c.orbited(0, -200), at(170, -90, 5000)},
        {c.zoomed(2), at(170, 80, 2500)},
        {c.zoomed(1e9), at(170, 80, Camera3D::minDistance)},
        {c.zoomed(1e-9), at(170, 80, Camera3D::maxDistance)},
        {c.zoomed(0), c},
        {c.alongAxis(AxisView::Top), at(0, 90, 5000)},
        {c.alongAxis(AxisView::Front), at(0, 0, 5000)},
        {c.alongAxis(AxisView::Side), at(90, 0, 5000)},
    };
    for (const Case& k : cases) {
        EXPECT_NEAR(k.camera.yaw, k.expected.yaw, 1e-9);
        EXPECT_EQ(k.camera.pitch, k.expected.pitch);
        EXPECT_EQ(k.camera.distance, k.expected.distance);
    }
    // A pan moves what lies at the target's depth by the pixels dragged.
    for (const Camera3D& camera : {at(0, 90), at(30, 20, 8000, {100, 200, 300}), at(-120, -60)}) {
        const Vec3 point = camera.target;
        const QPointF before = *Projection3D(camera, view).toPixel(point);
        const QPointF after = *Projection3D(camera.panned(25, -40, view), view).toPixel(point);
        EXPECT_NEAR(after.x() - before.x(), 25, 1e-6);
        EXPECT_NEAR(after.y() - before.y(), -40, 1e-6);
    }
}

TEST(Camera3D, FramingFitsEverySphereSnugly)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> coord(-30000, 30000), size(0, 3000);
    std::vector<Sphere> spheres;
    for (int i = 0; i < 300; ++i)
        spheres.push_back({{coord(rng) + 50000, coord(rng), coord(rng) / 3}, i % 10 == 0 ? size(rng) : 0});
    for (const QSizeF pixels : {QSizeF(800, 600), QSizeF(300, 900), QSizeF(1600, 1000)}) {
        for (const Camera3D& angles : {at(0, 35), at(0, 90), at(90, 0), at(-135, -50), at(10, -90)}) {
            const Camera3D framed = angles.framing(spheres, pixels);
            EXPECT_EQ(framed.yaw, angles.yaw);
            const Projection3D p(framed, pixels);
            double reach = 0; // the largest share of the half view any centre uses
            for (const Sphere& s : spheres) {
                const auto pixel = p.toPixel(s.centre);
                ASSERT_TRUE(pixel.has_value());
                const double r = s.radius * p.scaleAt(p.depthOf(s.centre));
                const auto where = [&] {
                    return std::to_string(pixel->x()) + "," + std::to_string(pixel->y()) + " radius "
                        + std::to_string(r) + " yaw " + std::to_string(angles.yaw) + " pitch "
                        + std::to_string(angles.pitch);
                };
                EXPECT_GE(pixel->x() - r, 0) << where();
                EXPECT_GE(pixel->y() - r, 0) << where();
                EXPECT_LE(pixel->x() + r, pixels.width()) << where();
                EXPECT_LE(pixel->y() + r, pixels.height()) << where();
                reach = std::max({reach, std::abs(pixel->x() - pixels.width() / 2) / (pixels.width() / 2),
                    std::abs(pixel->y() - pixels.height() / 2) / (pixels.height() / 2)});
            }
            EXPECT_GT(reach, 0.6) << "the items fill the view, not a corner of it";
        }
    }
    EXPECT_EQ(at(0, 35).framing({}, view), at(0, 35));
    EXPECT_GE(at(0, 35).framing({{{5, 5, 5}, 0}}, view).distance, 1000)
        << "a single point is shown with its surroundings";
}

} // namespace
