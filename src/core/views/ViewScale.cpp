#include "ViewScale.h"

#include "document/Numbers.h"

#include <cmath>

namespace starloom {

namespace {

double positiveSize(const QString& text, bool roundDown)
{
    double v = val(text);
    if (!std::isfinite(v))
        v = 2147483647.0;
    if (roundDown)
        v = std::floor(v);
    v = std::min(v, 2147483647.0);
    return v < 1 ? 1 : v;
}

} // namespace

QPointF ViewScale::toPixel(double x, double y, QSizeF pixels) const
{
    return {(x - double(left)) / width() * pixels.width(), (y - double(top)) / height() * pixels.height()};
}

QPointF ViewScale::toWorld(QPointF pixel, QSizeF pixels) const
{
    return {double(left) + pixel.x() / pixels.width() * width(), double(top) + pixel.y() / pixels.height() * height()};
}

WorldSize worldSize(const MapSettings& s)
{
    return {positiveSize(s.sizeX, true), positiveSize(s.sizeY, true), positiveSize(s.sizeZ, true)};
}

WorldSize worldSizeExact(const MapSettings& s)
{
    return {positiveSize(s.sizeX, false), positiveSize(s.sizeY, false), positiveSize(s.sizeZ, false)};
}

ViewScale topScaleFor(const MapSettings& settings)
{
    const WorldSize w = worldSize(settings);
    return {float(-w.x), float(-w.y), float(w.x), float(w.y)};
}

ViewScale frontScaleFor(const MapSettings& settings)
{
    const WorldSize w = worldSize(settings);
    return {float(-w.x), float(w.z), float(w.x), float(-w.z)};
}

std::optional<ViewScale> zoomedIn(const ViewScale& current, double cx, double cy, const MapSettings& settings)
{
    const double halfW = std::floor(current.width() / 5);
    const double halfH = std::floor(current.height() / 5);
    if (halfW < 1 || halfH < 1)
        return std::nullopt;
    const WorldSize w = worldSizeExact(settings);
    if (cx - halfW < -w.x)
        cx = -w.x + halfW;
    if (cx + halfW > w.x)
        cx = w.x - halfW;
    if (cy - halfH < -w.y)
        cy = -w.y + halfH;
    if (cy + halfH > w.y)
        cy = w.y - halfH;
    return ViewScale{float(cx - halfW), float(cy - halfH), float(cx + halfW), float(cy + halfH)};
}

ViewScale zoomedOut(const MapSettings& settings)
{
    const WorldSize w = worldSizeExact(settings);
    return {float(roundHalfEven(-w.x)), float(roundHalfEven(-w.y)), float(w.x), float(w.y)};
}

} // namespace starloom
