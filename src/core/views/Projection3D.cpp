#include "Projection3D.h"

#include <algorithm>

namespace starloom {

Projection3D::Projection3D(const Camera3D& camera, QSizeF viewSize)
    : m_basis(basisOf(camera)),
      m_size(viewSize),
      m_focal(std::max(viewSize.height(), 1.0)),
      m_near(std::max(camera.distance * 1e-3, 1.0))
{
}

std::optional<QPointF> Projection3D::toPixel(const Vec3& p) const
{
    const Vec3 d = p - m_basis.eye;
    const double depth = d.dot(m_basis.forward);
    if (!(depth >= m_near))
        return std::nullopt;
    const double s = m_focal / depth;
    return QPointF(m_size.width() / 2 + d.dot(m_basis.right) * s, m_size.height() / 2 - d.dot(m_basis.up) * s);
}

std::optional<QLineF> Projection3D::segment(const Vec3& a, const Vec3& b) const
{
    const double da = depthOf(a);
    const double db = depthOf(b);
    if (!(da >= m_near) && !(db >= m_near))
        return std::nullopt;
    Vec3 from = a;
    Vec3 to = b;
    if (da < m_near)
        from = a + (b - a) * ((m_near - da) / (db - da));
    else if (db < m_near)
        to = b + (a - b) * ((m_near - db) / (da - db));
    const auto p = toPixel(from);
    const auto q = toPixel(to);
    if (!p || !q)
        return std::nullopt;
    return QLineF(*p, *q);
}

Projection3D::Ray Projection3D::rayThrough(QPointF pixel) const
{
    const double sx = (pixel.x() - m_size.width() / 2) / m_focal;
    const double sy = (pixel.y() - m_size.height() / 2) / m_focal;
    const Vec3 d = m_basis.forward + m_basis.right * sx - m_basis.up * sy;
    return {m_basis.eye, d * (1.0 / d.length())};
}

} // namespace starloom
