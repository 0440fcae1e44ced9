#include "MapPainter3D.h"

#include "document/Numbers.h"
#include "views/ItemDrawing.h"
#include "views/MapPainter.h"
#include "views/PixelRaster.h"
#include "views/Projection3D.h"

#include <QLineF>
#include <QPainter>
#include <QPen>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace starloom {

using namespace mapdraw;

namespace {

const QColor boxColour(80, 110, 160);

constexpr double minRingPixels = 6; // a start point's ring never shrinks below this
constexpr int maxGridLines = 120;   // per direction; a finer grid is thinned to every m-th line
constexpr int discShift = 3;        // clouds' filled discs: 1/8 of their colour
constexpr int ringShift = 2;        // clouds' rings past simpleCloudsAbove rows: 1/4
constexpr int farthestShade = 102;  // of 256: the brightness of the farthest marks
constexpr std::size_t depthBuckets = 4096;

// What drawing needs of an item's record.
struct Record {
    ItemKind kind = ItemKind::PlayerStart;
    Vec3 position;
    std::int32_t colour = 0;
    float orientation = 0;
    double size = 0; // clouds: their radius in world units, never below 0
};

bool fetch(const ItemReader& items, const ObjectRow& row, Record& out)
{
    ItemView item;
    if (!items.read(row, item))
        return false;
    out = {item.kind, {item.x, item.y, item.z}, item.colour, item.orientation, std::max(0.0, item.size)};
    return true;
}

// Draws a world segment with the painter, cut to what shows.
void drawSegment(QPainter& painter, const Projection3D& projection, const Vec3& a, const Vec3& b)
{
    const auto l = projection.segment(a, b);
    if (!l)
        return;
    const QSizeF s = projection.viewSize();
    if (const auto c = clipped(*l, QRectF(-8, -8, s.width() + 16, s.height() + 16)))
        painter.drawLine(*c);
}

void drawGridAndBox(QPainter& painter, const Projection3D& projection, const Scene3D& scene)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    const double X = scene.world.x;
    const double Y = scene.world.y;
    const double Z = scene.world.z;

    const double g = val(scene.gridSizeText);
    const double spacing = std::isfinite(g) ? double(toInt32Clamped(g)) : 0.0;
    if (spacing > 0) {
        QPen pen(scene.colours.grid, 1);
        pen.setCosmetic(true);
        painter.setPen(pen);
        // Anchored at the negative world edge, as the top view's grid.
        auto family = [&](double edge, auto&& line) {
            const double count = std::floor(2 * edge / spacing);
            const double m = std::max(1.0, std::ceil(count / maxGridLines));
            for (double k = m; k <= count; k += m)
                line(-edge + k * spacing);
        };
        family(X, [&](double x) { drawSegment(painter, projection, {x, -Y, 0}, {x, Y, 0}); });
        family(Y, [&](double y) { drawSegment(painter, projection, {-X, y, 0}, {X, y, 0}); });
    }

    QPen box(boxColour, 1);
    box.setCosmetic(true);
    painter.setPen(box);
    for (const double z : {-Z, Z}) {
        drawSegment(painter, projection, {-X, -Y, z}, {X, -Y, z});
        drawSegment(painter, projection, {X, -Y, z}, {X, Y, z});
        drawSegment(painter, projection, {X, Y, z}, {-X, Y, z});
        drawSegment(painter, projection, {-X, Y, z}, {-X, -Y, z});
    }
    for (const double x : {-X, X})
        for (const double y : {-Y, Y})
            drawSegment(painter, projection, {x, y, -Z}, {x, y, Z});

    if (std::isfinite(g) && g != 0) {
        QPen cross(scene.colours.cross, 1);
        cross.setCosmetic(true);
        painter.setPen(cross);
        drawSegment(painter, projection, {-g / 2, 0, 0}, {g / 2, 0, 0});
        drawSegment(painter, projection, {0, -g / 2, 0}, {0, g / 2, 0});
    }
}

// Where an item shows, as drawn and as picked.
struct Placed {
    QPointF pixel;
    double depth = 0;
    double extent = 0; // see MapPainter3D::Mark
};

// The camera's frame and scale, unpacked for the loops over every item.
struct FastProjection {
    explicit FastProjection(const Projection3D& p)
        : eye(p.basis().eye),
          right(p.basis().right),
          up(p.basis().up),
          forward(p.basis().forward),
          focal(p.focal()),
          nearDepth(p.nearDepth()),
          cx(p.viewSize().width() / 2),
          cy(p.viewSize().height() / 2)
    {
    }

    // False when the item lies behind the near plane.
    bool place(const Vec3& position, ItemKind kind, double size, Placed& out) const
    {
        const Vec3 d = position - eye;
        const double depth = d.dot(forward);
        if (!(depth >= nearDepth))
            return false;
        const double s = focal / depth;
        out.pixel = QPointF(cx + d.dot(right) * s, cy - d.dot(up) * s);
        out.depth = depth;
        if (kind == ItemKind::PlayerStart)
            out.extent = std::max(playerRadius * s, minRingPixels);
        else if (isCloudKind(kind) && size > depth)
            out.extent = 0; // the eye is inside the cloud
        else
            out.extent = size * s;
        return true;
    }
    bool place(const Record& r, Placed& out) const { return place(r.position, r.kind, r.size, out); }

    Vec3 eye, right, up, forward;
    double focal, nearDepth, cx, cy;
};

Vec3 headingEnd(const Record& item)
{
    const QPointF end = playerHeadingEnd(item.position.x, item.position.y, item.orientation);
    return {end.x(), end.y(), item.position.z};
}

} // namespace

std::vector<Sphere> itemSpheres(
    const LevelDocument& document, const std::vector<ObjectRow>& rows, const std::vector<int>* only)
{
    std::vector<Sphere> spheres;
    const ItemReader items(document);
    auto add = [&](std::size_t r) {
        Record item;
        if (r >= rows.size() || !fetch(items, rows[r], item))
            return;
        spheres.push_back({item.position, item.kind == ItemKind::PlayerStart ? playerRadius : item.size});
    };
    if (only) {
        for (const int r : *only)
            if (r >= 0)
                add(static_cast<std::size_t>(r));
    } else {
        spheres.reserve(rows.size());
        for (std::size_t r = 0; r < rows.size(); ++r)
            add(r);
    }
    return spheres;
}

std::vector<Sphere> worldBoxCorners(const WorldSize& world)
{
    std::vector<Sphere> corners;
    for (const double x : {-world.x, world.x})
        for (const double y : {-world.y, world.y})
            for (const double z : {-world.z, world.z})
                corners.push_back({{x, y, z}, 0});
    return corners;
}

Camera3D framedAll(const Camera3D& camera, const LevelDocument& document, const std::vector<ObjectRow>& rows,
    const WorldSize& world, QSizeF viewSize)
{
    std::vector<Sphere> spheres = itemSpheres(document, rows);
    if (spheres.empty())
        spheres = worldBoxCorners(world);
    return camera.framing(spheres, viewSize);
}

struct MapPainter3D::Item {
    std::int32_t x;
    std::int32_t y;
    std::int32_t z;
    std::int32_t colour;
    float size; // clouds: their radius in world units, else 0
    std::uint32_t row;
    ItemKind kind;
};

const std::vector<MapPainter3D::Item>& MapPainter3D::itemsOf(const Scene3D& scene) const
{
    if (scene.revision != 0 && scene.revision == m_itemsRevision && scene.document == m_itemsDocument
        && scene.rows == m_itemsRows && scene.rows->size() == m_itemsRowCount)
        return m_items;
    m_items.clear();
    m_items.reserve(scene.rows->size());
    Record record;
    const ItemReader items(*scene.document);
    for (std::size_t r = 0; r < scene.rows->size(); ++r) {
        if ((*scene.rows)[r].hidden || !fetch(items, (*scene.rows)[r], record))
            continue;
        m_items.push_back({std::int32_t(record.position.x), std::int32_t(record.position.y),
            std::int32_t(record.position.z), record.colour, float(record.size), std::uint32_t(r), record.kind});
    }
    m_itemsRevision = scene.revision;
    m_itemsDocument = scene.document;
    m_itemsRows = scene.rows;
    m_itemsRowCount = scene.rows->size();
    return m_items;
}

MapPainter3D::MapPainter3D() : m_rings(std::make_unique<RingPoints>())
{
}

MapPainter3D::~MapPainter3D() = default;

int MapPainter3D::markSize(double depth, double targetDepth)
{
    const double s = 3 * targetDepth / depth;
    return std::isfinite(s) ? std::clamp(static_cast<int>(s), 1, 5) : 1;
}

void MapPainter3D::draw(const Scene3D& scene) const
{
    m_frame.fill(scene.colours.background);
    const QSize pixels = m_frame.size();
    const Projection3D projection(scene.camera, QSizeF(pixels));
    {
        QPainter painter(&m_frame);
        drawGridAndBox(painter, projection, scene);
    }
    if (!scene.document || !scene.rows)
        return;
    const ItemReader items(*scene.document);
    const std::vector<ObjectRow>& rows = *scene.rows;
    const FastProjection fast(projection);
    const double w = pixels.width();
    const double h = pixels.height();
    const double targetDepth = scene.camera.distance;
    bool simpleClouds = rows.size() > simpleCloudsAbove;
    double discArea = 0; // of the cloud discs in the view, in pixels

    // Every item in front of the eye whose drawing can reach into the view.
    m_marks.clear();
    double nearest = std::numeric_limits<double>::infinity();
    double farthest = 0;
    Placed placed;
    for (const Item& item : itemsOf(scene)) {
        if (!fast.place({double(item.x), double(item.y), double(item.z)}, item.kind, item.size, placed))
            continue;
        // A start point's heading line reaches 1.2 times its ring radius.
        const double reach = std::max(placed.extent * 1.25, 4.0) + 2;
        const double x = placed.pixel.x();
        const double y = placed.pixel.y();
        if (x < -reach || x > w + reach || y < -reach || y > h + reach)
            continue;
        m_marks.push_back(
            {float(x), float(y), float(placed.depth), float(placed.extent), item.row, item.colour, item.kind});
        if (isCloudKind(item.kind)) {
            const double r = placed.extent;
            discArea += std::max(0.0, std::min(x + r, w) - std::max(x - r, 0.0))
                * std::max(0.0, std::min(y + r, h) - std::max(y - r, 0.0));
        }
        nearest = std::min(nearest, placed.depth);
        farthest = std::max(farthest, placed.depth);
    }

    simpleClouds = simpleClouds || discArea > maxCloudCoverage * w * h;

    // Farthest first: a counting sort on the depth, stable within a bucket (row order).
    m_sorted.resize(m_marks.size());
    m_buckets.assign(depthBuckets + 1, 0);
    const double span = farthest - nearest;
    const double toBucket = span > 0 ? double(depthBuckets - 1) / span : 0.0;
    auto bucketOf = [&](const Mark& m) {
        return std::min(depthBuckets - 1, static_cast<std::size_t>((farthest - double(m.depth)) * toBucket));
    };
    m_keys.resize(m_marks.size());
    for (std::size_t i = 0; i < m_marks.size(); ++i) {
        const auto key = static_cast<std::uint16_t>(bucketOf(m_marks[i]));
        m_keys[i] = key;
        ++m_buckets[key + 1u];
    }
    for (std::size_t b = 1; b <= depthBuckets; ++b)
        m_buckets[b] += m_buckets[b - 1];
    for (std::size_t i = 0; i < m_marks.size(); ++i)
        m_sorted[m_buckets[m_keys[i]]++] = m_marks[i];

    // Brightness falls off over the depth of what shows, but never faster than over the
    // distance to the target, so that a shallow scene keeps its colours.
    const double shadeSpan = std::max(span, targetDepth);
    Raster raster(m_frame, *m_rings);
    auto drawMark = [&](const Mark& m, std::uint32_t shade, int grow) {
        const std::uint32_t colour = shaded(argbOf(m.colour), shade);
        const int side = markSize(m.depth, targetDepth) + grow;
        if (isCloudKind(m.kind) && m.extent >= 1.5) {
            if (simpleClouds) {
                if (m.extent >= simpleRingPixels)
                    raster.ring(m.x, m.y, m.extent, 1, Ink(colour, ringShift));
            } else {
                raster.disc(m.x, m.y, m.extent, Ink(colour, discShift));
            }
        } else if (m.kind == ItemKind::PlayerStart) {
            Record start;
            if (fetch(items, rows[m.row], start)) {
                const int wide = 2 + grow / 2;
                if (start.position.z != 0)
                    if (const auto stem = projection.segment(start.position, {start.position.x, start.position.y, 0}))
                        raster.segment(*stem, 1, shaded(colour, 160));
                raster.ring(m.x, m.y, m.extent, wide, Ink(colour, 0));
                if (const auto heading = projection.segment(start.position, headingEnd(start)))
                    raster.segment(*heading, wide, colour);
            }
        }
        raster.mark(m.x, m.y, side, colour);
    };
    for (const Mark& m : m_sorted) {
        const double t = (double(m.depth) - nearest) / shadeSpan;
        drawMark(m, static_cast<std::uint32_t>(256 - int((256 - farthestShade) * std::clamp(t, 0.0, 1.0) + 0.5)), 0);
    }

    // Highlighted rows over everything, at full brightness and ringed.
    Record item;
    for (const int r : scene.highlighted) {
        if (r < 0 || std::size_t(r) >= rows.size() || rows[std::size_t(r)].hidden
            || !fetch(items, rows[std::size_t(r)], item) || !fast.place(item, placed))
            continue;
        const Mark m{float(placed.pixel.x()), float(placed.pixel.y()), float(placed.depth), float(placed.extent),
            std::uint32_t(r), item.colour, item.kind};
        if (isCloudKind(m.kind) && m.extent >= 1.5)
            raster.ring(m.x, m.y, m.extent, 1, Ink(argbOf(m.colour), 0));
        drawMark(m, 256, 2);
        const double around = m.kind == ItemKind::PlayerStart ? m.extent + 5 : markSize(m.depth, targetDepth) / 2.0 + 6;
        raster.ring(m.x, m.y, around, 2, Ink(scene.colours.marks.rgba(), 0));
    }
}

void MapPainter3D::paint(QPainter& painter, QSize pixels, const Scene3D& scene) const
{
    if (pixels.isEmpty())
        return;
    if (m_frame.size() != pixels)
        m_frame = QImage(pixels, QImage::Format_RGB32);
    draw(scene);
    painter.drawImage(QPoint(0, 0), m_frame);
}

QImage MapPainter3D::render(const Scene3D& scene, QSize pixels) const
{
    QImage image(pixels.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    QPainter painter(&image);
    paint(painter, image.size(), scene);
    return image;
}

int MapPainter3D::rowAt(const Scene3D& scene, QSize pixels, QPointF pixel) const
{
    if (!scene.document || !scene.rows || pixels.isEmpty())
        return -1;
    const Projection3D projection(scene.camera, QSizeF(pixels));
    const FastProjection fast(projection);
    int best = -1;
    double bestGap = pickRadius;
    double bestDepth = 0;
    const double reach = pickRadius + 3; // the largest square mark's half side
    const double px = pixel.x() - fast.cx;
    const double py = fast.cy - pixel.y();
    for (const Item& item : itemsOf(scene)) {
        const Vec3 d = Vec3{double(item.x), double(item.y), double(item.z)} - fast.eye;
        const double depth = d.dot(fast.forward);
        if (!(depth >= fast.nearDepth))
            continue;
        // Far from the pixel, without a division: |x * focal / depth - px| > reach.
        const bool start = item.kind == ItemKind::PlayerStart;
        if (!start
            && (std::abs(d.dot(fast.right) * fast.focal - px * depth) > reach * depth
                || std::abs(d.dot(fast.up) * fast.focal - py * depth) > reach * depth))
            continue;
        Placed placed;
        fast.place({double(item.x), double(item.y), double(item.z)}, item.kind, item.size, placed);
        const double dx = placed.pixel.x() - pixel.x();
        const double dy = placed.pixel.y() - pixel.y();
        // A start point is picked anywhere on or inside its ring; others by their square mark.
        const double edge = start ? placed.extent : markSize(placed.depth, scene.camera.distance) / 2.0;
        const double gap = std::max(0.0, std::hypot(dx, dy) - edge);
        if (gap > bestGap || (gap == bestGap && best >= 0 && placed.depth >= bestDepth))
            continue;
        best = static_cast<int>(item.row);
        bestGap = gap;
        bestDepth = placed.depth;
    }
    return best;
}

} // namespace starloom
