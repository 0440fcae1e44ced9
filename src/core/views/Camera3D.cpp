#include "Camera3D.h"

#include <algorithm>
#include <limits>
#include <numbers>

namespace starloom {

namespace {

constexpr double degree = std::numbers::pi / 180;
// Framing leaves this share of the view's half-width and half-height free at the edges.
constexpr double framingMargin = 0.1;
// Framing comes no closer than this, so that a single point still shows its surroundings.
constexpr double minFramingDistance = 3000;

Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double wrappedYaw(double yaw)
{
    if (!std::isfinite(yaw))
        return 0;
    yaw = std::fmod(yaw, 360.0);
    if (yaw > 180)
        yaw -= 360;
    if (yaw <= -180)
        yaw += 360;
    return yaw;
}

} // namespace

CameraBasis basisOf(const Camera3D& camera)
{
    const double yaw = camera.yaw * degree;
    const double pitch = std::clamp(camera.pitch, -Camera3D::maxPitch, Camera3D::maxPitch) * degree;
    // From the target towards the eye.
    const Vec3 back{std::sin(yaw) * std::cos(pitch), std::cos(yaw) * std::cos(pitch), std::sin(pitch)};
    CameraBasis b;
    b.forward = back * -1.0;
    // Taken from the yaw alone, so that it stays defined when looking straight down or up.
    b.right = {std::cos(yaw), -std::sin(yaw), 0};
    b.up = cross(b.forward, b.right);
    b.eye = camera.target + back * camera.distance;
    return b;
}

Camera3D Camera3D::orbited(double dYaw, double dPitch) const
{
    Camera3D c = *this;
    c.yaw = wrappedYaw(yaw + dYaw);
    const double p = pitch + dPitch;
    c.pitch = std::isfinite(p) ? std::clamp(p, -maxPitch, maxPitch) : pitch;
    return c;
}

Camera3D Camera3D::panned(double dxPixels, double dyPixels, QSizeF viewSize) const
{
    if (!(viewSize.height() > 0) || !std::isfinite(dxPixels) || !std::isfinite(dyPixels))
        return *this;
    const CameraBasis b = basisOf(*this);
    const double unitsPerPixel = distance / viewSize.height();
    Camera3D c = *this;
    c.target = target - b.right * (dxPixels * unitsPerPixel) + b.up * (dyPixels * unitsPerPixel);
    return c;
}

Camera3D Camera3D::zoomed(double factor) const
{
    if (!(factor > 0) || !std::isfinite(factor))
        return *this;
    Camera3D c = *this;
    c.distance = std::clamp(distance / factor, minDistance, maxDistance);
    return c;
}

Camera3D Camera3D::alongAxis(AxisView axis) const
{
    Camera3D c = *this;
    switch (axis) {
    case AxisView::Top:
        c.yaw = 0, c.pitch = 90;
        break;
    case AxisView::Front:
        c.yaw = 0, c.pitch = 0;
        break;
    case AxisView::Side:
        c.yaw = 90, c.pitch = 0;
        break;
    }
    return c;
}

Camera3D Camera3D::framing(const std::vector<Sphere>& spheres, QSizeF viewSize) const
{
    if (spheres.empty() || !(viewSize.width() > 0) || !(viewSize.height() > 0))
        return *this;
    constexpr double inf = std::numeric_limits<double>::infinity();
    Vec3 lo{inf, inf, inf};
    Vec3 hi{-inf, -inf, -inf};
    for (const Sphere& s : spheres) {
        const double r = std::max(s.radius, 0.0);
        lo = {std::min(lo.x, s.centre.x - r), std::min(lo.y, s.centre.y - r), std::min(lo.z, s.centre.z - r)};
        hi = {std::max(hi.x, s.centre.x + r), std::max(hi.y, s.centre.y + r), std::max(hi.z, s.centre.z + r)};
    }
    if (!std::isfinite(lo.x + lo.y + lo.z + hi.x + hi.y + hi.z))
        return *this;
    Camera3D c = *this;
    c.target = (lo + hi) * 0.5;
    const CameraBasis b = basisOf(c);
    // Half the view's extent per unit of depth, less the margin (the perspective of Projection3D).
    const double ty = 0.5 * (1 - framingMargin);
    const double tx = 0.5 * viewSize.width() / viewSize.height() * (1 - framingMargin);
    double d = minFramingDistance;
    for (const Sphere& s : spheres) {
        const double r = std::max(s.radius, 0.0);
        const Vec3 q = s.centre - c.target;
        const double across = (std::abs(q.dot(b.right)) + r) / tx;
        const double upwards = (std::abs(q.dot(b.up)) + r) / ty;
        const double along = q.dot(b.forward);
        // In the view, and wholly in front of the eye.
        d = std::max({d, std::max(across, upwards) - along, r - along + minFramingDistance / 10});
    }
    c.distance = std::clamp(d, minDistance, maxDistance);
    return c;
}

} // namespace starloom
