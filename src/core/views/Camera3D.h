#pragma once

#include <QSizeF>

#include <cmath>
#include <vector>

namespace starloom {

// A point or direction in world units: x and y span the top view (y grows towards its bottom
// edge), z is the height.
struct Vec3 {
    double x = 0;
    double y = 0;
    double z = 0;

    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
    double dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    double length() const { return std::sqrt(dot(*this)); }
    bool operator==(const Vec3&) const = default;
};

// A point that must show, with the extent around it that is drawn (a cloud's size).
struct Sphere {
    Vec3 centre;
    double radius = 0;
};

// The views along the axes. Top looks down with x to the right and y downwards, as the top view
// does; Front looks from the top view's bottom edge (+y) with x to the right and the height
// upwards, as the front view does; Side looks from +x with the height upwards.
enum class AxisView { Top, Front, Side };

// An orbit camera: it looks at `target` from `distance` world units away, from the direction
// given by `yaw` and `pitch` in degrees. Yaw 0 and pitch 0 is the front view; pitch 90 looks
// straight down (the top view); yaw 90 looks from +x. The perspective is fixed: at the target's
// depth the view's height spans `distance` world units.
struct Camera3D {
    Vec3 target;
    double yaw = 0;
    double pitch = 35;
    double distance = 100000;

    static constexpr double minDistance = 10;
    static constexpr double maxDistance = 1e9;
    static constexpr double maxPitch = 90;

    // Turned by the given degrees; the pitch stays within -90 to 90 and the yaw within -180 to 180.
    Camera3D orbited(double dYaw, double dPitch) const;
    // Moved across the view so that the scene at the target's depth follows a drag of `pixels`
    // in a view of `viewSize` pixels.
    Camera3D panned(double dxPixels, double dyPixels, QSizeF viewSize) const;
    // The distance divided by `factor` (above 1 comes closer), kept within min and max.
    Camera3D zoomed(double factor) const;
    // The same target and distance, looking along an axis.
    Camera3D alongAxis(AxisView axis) const;
    // The same direction, with the target and distance that show every sphere in a view of
    // `viewSize` pixels, with a margin; unchanged when there is none.
    Camera3D framing(const std::vector<Sphere>& spheres, QSizeF viewSize) const;

    bool operator==(const Camera3D&) const = default;
};

// The camera's frame: where it stands and its unit axes. `right` and `up` are the directions of
// the view's x axis and of its upward direction; `forward` points into the view.
struct CameraBasis {
    Vec3 eye;
    Vec3 right;
    Vec3 up;
    Vec3 forward;
};
CameraBasis basisOf(const Camera3D& camera);

} // namespace starloom
