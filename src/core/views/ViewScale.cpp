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

namespace {

// Moves a span [low, high] inside [-limit, limit] without changing its length, when it fits.
void keepInside(double& low, double& high, double limit)
{
    if (low < -limit) {
        high += -limit - low;
        low = -limit;
    }
    if (high > limit) {
        low -= high - limit;
        high = limit;
    }
}

} // namespace

std::optional<ViewScale> zoomedAround(
    const ViewScale& current, double x, double y, double factor, const MapSettings& settings)
{
    if (!(factor > 0))
        return std::nullopt;
    const WorldSize w = worldSizeExact(settings);
    const double width = current.width() / factor;
    const double height = current.height() / factor;
    if (width < 1 || height < 1)
        return std::nullopt;
    if (width >= 2 * w.x || height >= 2 * w.y)
        return zoomedOut(settings);
    double left = x - (x - double(current.left)) / factor;
    double top = y - (y - double(current.top)) / factor;
    double right = left + width;
    double bottom = top + height;
    keepInside(left, right, w.x);
    keepInside(top, bottom, w.y);
    return ViewScale{float(left), float(top), float(right), float(bottom)};
}

ViewScale frontFollowing(const ViewScale& front, const ViewScale& top)
{
    return {top.left, front.top, top.right, front.bottom};
}

ViewScale panned(const ViewScale& current, double dx, double dy, const MapSettings& settings)
{
    const WorldSize w = worldSizeExact(settings);
    double left = double(current.left) + dx;
    double right = double(current.right) + dx;
    double top = double(current.top) + dy;
    double bottom = double(current.bottom) + dy;
    if (right - left <= 2 * w.x)
        keepInside(left, right, w.x);
    else {
        left = double(current.left);
        right = double(current.right);
    }
    if (bottom - top <= 2 * w.y)
        keepInside(top, bottom, w.y);
    else {
        top = double(current.top);
        bottom = double(current.bottom);
    }
    return ViewScale{float(left), float(top), float(right), float(bottom)};
}

} // namespace starloom
