#pragma once

#include "views/Camera3D.h"

#include <QLineF>
#include <QPointF>
#include <QSizeF>

#include <optional>

namespace starloom {

// The perspective projection of a camera onto a view of some pixels: world points to pixels
// (x to the right, y downwards, the target at the view's centre) and pixels back to rays. What
// lies closer to the eye than the near plane does not show.
class Projection3D {
public:
    Projection3D(const Camera3D& camera, QSizeF viewSize);

    const CameraBasis& basis() const { return m_basis; }
    QSizeF viewSize() const { return m_size; }
    // Pixels per world unit at depth 1: the view's height.
    double focal() const { return m_focal; }
    double nearDepth() const { return m_near; }

    // Distance in front of the eye along the view direction.
    double depthOf(const Vec3& p) const { return (p - m_basis.eye).dot(m_basis.forward); }
    // Pixels per world unit at a depth.
    double scaleAt(double depth) const { return m_focal / depth; }

    // The pixel at which `p` shows; nullopt when it lies behind the near plane.
    std::optional<QPointF> toPixel(const Vec3& p) const;
    // The segment from a to b as it shows: the part behind the near plane cut off; nullopt when
    // nothing of it is in front.
    std::optional<QLineF> segment(const Vec3& a, const Vec3& b) const;

    // The ray from the eye through a pixel, its direction of unit length.
    struct Ray {
        Vec3 origin;
        Vec3 direction;
    };
    Ray rayThrough(QPointF pixel) const;

private:
    CameraBasis m_basis;
    QSizeF m_size;
    double m_focal = 1;
    double m_near = 1;
};

} // namespace starloom
