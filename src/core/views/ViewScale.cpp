#include "ViewScale.h"

#include "document/Numbers.h"

#include <algorithm>
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

namespace {

// The span [low, high] (high may lie below low) widened about its centre to `length`, keeping
// its direction.
void widen(float& low, float& high, double length)
{
    const double centre = (double(low) + double(high)) / 2;
    const double half = (double(high) < double(low) ? -length : length) / 2;
    low = float(centre - half);
    high = float(centre + half);
}

} // namespace

ViewScale ViewScale::shownAt(QSizeF pixels) const
{
    ViewScale shown = *this;
    shown.fill = true;
    const double w = std::abs(width());
    const double h = std::abs(height());
    if (fill || !(pixels.width() > 0) || !(pixels.height() > 0) || !(w > 0) || !(h > 0) || !std::isfinite(w)
        || !std::isfinite(h))
        return shown;
    const double across = pixels.width() / w;
    const double down = pixels.height() / h;
    // A rectangle already of the view's shape (as stored after a zoom) is shown as it is.
    if (std::abs(across / down - 1) < 1e-6)
        return shown;
    if (across > down)
        widen(shown.left, shown.right, pixels.width() / down);
    else
        widen(shown.top, shown.bottom, pixels.height() / across);
    return shown;
}

double ViewScale::pixelsPerUnitX(QSizeF pixels) const
{
    return pixels.width() / std::abs(shownAt(pixels).width());
}

double ViewScale::pixelsPerUnitY(QSizeF pixels) const
{
    return pixels.height() / std::abs(shownAt(pixels).height());
}

QPointF ViewScale::toPixel(double x, double y, QSizeF pixels) const
{
    const ViewScale s = shownAt(pixels);
    return {(x - double(s.left)) / s.width() * pixels.width(), (y - double(s.top)) / s.height() * pixels.height()};
}

QPointF ViewScale::toWorld(QPointF pixel, QSizeF pixels) const
{
    const ViewScale s = shownAt(pixels);
    return {double(s.left) + pixel.x() / pixels.width() * s.width(),
        double(s.top) + pixel.y() / pixels.height() * s.height()};
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
    return {float(-w.x), float(w.z), float(w.x), float(-w.z), true};
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
    // To scale, a view of a wide window may still be wider than the world: it keeps all of it.
    if (!current.fill && halfW > w.x)
        cx = std::clamp(cx, w.x - halfW, halfW - w.x);
    if (!current.fill && halfH > w.y)
        cy = std::clamp(cy, w.y - halfH, halfH - w.y);
    return ViewScale{float(cx - halfW), float(cy - halfH), float(cx + halfW), float(cy + halfH), current.fill};
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

// The span [low, high] kept inside [-limit, limit] when it fits; a longer one is moved no more
// than it takes to hold all of [-limit, limit].
void settle(double& low, double& high, double limit)
{
    if (high - low <= 2 * limit) {
        keepInside(low, high, limit);
        return;
    }
    if (low > -limit) {
        high -= low + limit;
        low = -limit;
    }
    if (high < limit) {
        low += limit - high;
        high = limit;
    }
}

} // namespace

ViewScale settledTop(const QRectF& wanted, QSizeF pixels, bool fill, const MapSettings& settings)
{
    const QRectF r = wanted.normalized();
    double left = r.left();
    double right = r.right();
    double top = r.top();
    double bottom = r.bottom();
    auto atLeastOne = [](double& low, double& high) {
        if (high - low < 1) {
            const double centre = (low + high) / 2;
            low = centre - 0.5;
            high = centre + 0.5;
        }
    };
    atLeastOne(left, right);
    atLeastOne(top, bottom);
    ViewScale shown = ViewScale{float(left), float(top), float(right), float(bottom), fill}.shownAt(pixels);
    left = double(shown.left);
    right = double(shown.right);
    top = double(shown.top);
    bottom = double(shown.bottom);
    const WorldSize w = worldSizeExact(settings);
    ViewScale whole = zoomedOut(settings);
    whole.fill = fill;
    if (fill) {
        if (right - left >= 2 * w.x || bottom - top >= 2 * w.y)
            return whole;
        keepInside(left, right, w.x);
        keepInside(top, bottom, w.y);
    } else {
        if (right - left >= 2 * w.x && bottom - top >= 2 * w.y)
            return whole;
        settle(left, right, w.x);
        settle(top, bottom, w.y);
    }
    return ViewScale{float(left), float(top), float(right), float(bottom), fill};
}

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
    if (current.fill ? (width >= 2 * w.x || height >= 2 * w.y) : (width >= 2 * w.x && height >= 2 * w.y)) {
        ViewScale whole = zoomedOut(settings);
        whole.fill = current.fill;
        return whole;
    }
    double left = x - (x - double(current.left)) / factor;
    double top = y - (y - double(current.top)) / factor;
    double right = left + width;
    double bottom = top + height;
    if (current.fill) {
        keepInside(left, right, w.x);
        keepInside(top, bottom, w.y);
    } else {
        settle(left, right, w.x);
        settle(top, bottom, w.y);
    }
    return ViewScale{float(left), float(top), float(right), float(bottom), current.fill};
}

ViewScale frontFollowing(const ViewScale& front, const ViewScale& top)
{
    return {top.left, front.top, top.right, front.bottom, front.fill};
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
    return ViewScale{float(left), float(top), float(right), float(bottom), current.fill};
}

double scaleBarLength(double pixelsPerUnit, double maxPixels)
{
    const double units = maxPixels / pixelsPerUnit;
    if (!(units >= 1e-9) || !std::isfinite(units))
        return 0;
    double power = std::pow(10.0, std::floor(std::log10(units)));
    if (power * 10 <= units)
        power *= 10; // log10 rounded down a whole power
    for (const double m : {5.0, 2.0, 1.0}) {
        if (m * power <= units)
            return m * power;
    }
    return power / 2;
}

} // namespace starloom
