#pragma once

#include "document/MapSettings.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

namespace starloom {

// A view's user scale: the world coordinates of its left, top, right and bottom edges. With
// `fill`, each axis maps linearly onto the view's pixels, independently of the other. Without it
// (the top view unless "Stretch to Fill" is on) one world unit takes as many pixels across as
// down: the rectangle is centred in the view and widened across or down to the view's shape.
struct ViewScale {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
    bool fill = false;

    double width() const { return double(right) - double(left); }
    double height() const { return double(bottom) - double(top); }

    // The rectangle the view shows at `pixels`, with `fill` set: this one when it fills, else this
    // one widened about its centre to the shape of `pixels`. Every mapping goes through it, so the
    // painter, the hit-tests and the pointer agree to the pixel.
    ViewScale shownAt(QSizeF pixels) const;
    // Pixels per world unit across and down at `pixels` (positive).
    double pixelsPerUnitX(QSizeF pixels) const;
    double pixelsPerUnitY(QSizeF pixels) const;

    QPointF toPixel(double x, double y, QSizeF pixels) const;
    QPointF toWorld(QPointF pixel, QSizeF pixels) const;
    bool operator==(const ViewScale&) const = default;
};

// World half-extents read from the settings' texts, rounded down; never below 1, so a view
// never gets a zero or negative extent.
struct WorldSize {
    double x = 1;
    double y = 1;
    double z = 1;
};
WorldSize worldSize(const MapSettings& settings);
// The same without rounding down (the zoom's clamping uses these).
WorldSize worldSizeExact(const MapSettings& settings);

// The top view showing the whole world: (-X, -Y)-(X, Y), y growing downwards.
ViewScale topScaleFor(const MapSettings& settings);
// The front view: (-X, +Z)-(X, -Z), height growing upwards.
ViewScale frontScaleFor(const MapSettings& settings);

// The rectangle `wanted` (two corners in any order) made a top view: at least one world unit
// across and down, widened to the shape of `pixels` unless `fill`, and moved inside the world
// along each axis it fits in (along one it does not fit in, moved no more than it takes to show
// the whole world across it).
ViewScale settledTop(const QRectF& wanted, QSizeF pixels, bool fill, const MapSettings& settings);

// The top view zoomed in around (cx, cy): two fifths of the current width and height, pushed back
// inside the world. nullopt when the new view would be narrower or lower than one world unit.
std::optional<ViewScale> zoomedIn(const ViewScale& current, double cx, double cy, const MapSettings& settings);

// "Zoom Out": the whole world, the negative corners rounded half to even, the positive ones as read.
ViewScale zoomedOut(const MapSettings& settings);

// The top view scaled by `factor` (above 1 zooms in) around the world point (x, y), which stays
// where it is on the screen, and then pushed back inside the world. A view wider or higher than
// the world becomes the whole world; nullopt when it would be under one world unit. Without
// `fill`, the view becomes the whole world only when it is wider and higher than the world; along
// an axis longer than the world, the view keeps all of the world.
std::optional<ViewScale> zoomedAround(
    const ViewScale& current, double x, double y, double factor, const MapSettings& settings);

// The front view lined up with the top view: the horizontal range of `top` (its zoom and pan),
// the height range of `front`.
ViewScale frontFollowing(const ViewScale& front, const ViewScale& top);

// A round length for a scale bar: the longest of 1, 2 or 5 times a power of ten world units that
// takes at most `maxPixels` at `pixelsPerUnit`; 0 when none fits.
double scaleBarLength(double pixelsPerUnit, double maxPixels);

// The top view moved by (dx, dy) world units and kept inside the world.
ViewScale panned(const ViewScale& current, double dx, double dy, const MapSettings& settings);

} // namespace starloom
