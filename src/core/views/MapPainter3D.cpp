#include "MapPainter3D.h"

#include "document/Numbers.h"
#include "views/MapPainter.h"
#include "views/Projection3D.h"

#include <QLineF>
#include <QPainter>
#include <QPen>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace starloom {

namespace {

const QColor gridColour(64, 64, 64);
const QColor boxColour(80, 110, 160);
const QColor crossColour(255, 255, 255);
constexpr std::uint32_t highlightColour = 0xffffffff;

constexpr double playerRadius = 1000; // world units, as in the 2-D views
constexpr double minRingPixels = 6;   // a start point's ring never shrinks below this
constexpr double maxRingPixels = 20000;
constexpr int maxGridLines = 120;  // per direction; a finer grid is thinned to every m-th line
constexpr int discShift = 3;       // clouds' filled discs: 1/8 of their colour
constexpr int ringShift = 2;       // clouds' rings past simpleCloudsAbove rows: 1/4
constexpr int farthestShade = 102; // of 256: the brightness of the farthest marks
constexpr std::size_t depthBuckets = 4096;

bool isCloud(ItemKind kind)
{
    return kind == ItemKind::Cloud || kind == ItemKind::DustCloud || kind == ItemKind::Nebula;
}

// What drawing needs of an item's record.
struct Record {
    ItemKind kind = ItemKind::PlayerStart;
    Vec3 position;
    std::int32_t colour = 0;
    float orientation = 0;
    double size = 0; // clouds: their radius in world units
};

bool fetch(const LevelDocument& document, const ObjectRow& row, Record& out)
{
    if (row.arrayId < 0)
        return false;
    const auto i = static_cast<std::size_t>(row.arrayId);
    auto take = [&out](const auto& record) {
        out.position = {double(record.posX), double(record.posY), double(record.posZ)};
        out.colour = record.drawColour;
    };
    out.kind = row.kind;
    out.orientation = 0;
    out.size = 0;
    switch (row.kind) {
    case ItemKind::PlayerStart: {
        if (i >= document.players().size())
            return false;
        const PlayerStartRecord& p = document.players()[i];
        take(p);
        out.orientation = p.orientation;
        return true;
    }
    case ItemKind::Asteroid:
    case ItemKind::Salvage: {
        const auto& records = document.resources(row.kind);
        if (i + 1 >= records.size())
            return false;
        take(records[i]);
        return true;
    }
    case ItemKind::Cloud:
    case ItemKind::DustCloud:
    case ItemKind::Nebula: {
        const auto& records = document.clouds(row.kind);
        if (i + 1 >= records.size())
            return false;
        take(records[i]);
        out.size = std::max(0.0, double(records[i].size));
        return true;
    }
    case ItemKind::Megalith:
    case ItemKind::Pebble: {
        const auto& records = document.props(row.kind);
        if (i + 1 >= records.size())
            return false;
        take(records[i]);
        return true;
    }
    case ItemKind::Ship: {
        const auto& records = document.ships();
        if (i + 1 >= records.size())
            return false;
        take(records[i]);
        return true;
    }
    }
    return false;
}

std::uint32_t argbOf(std::int32_t packed)
{
    const auto p = static_cast<std::uint32_t>(packed);
    return 0xff000000u | ((p & 0xffu) << 16) | (p & 0xff00u) | ((p >> 16) & 0xffu);
}

// The colour scaled by shade/256.
std::uint32_t shaded(std::uint32_t argb, std::uint32_t shade)
{
    const std::uint32_t rb = (((argb & 0xff00ffu) * shade) >> 8) & 0xff00ffu;
    const std::uint32_t g = (((argb & 0x00ff00u) * shade) >> 8) & 0x00ff00u;
    return 0xff000000u | rb | g;
}

// std::floor as an int, without a call; values beyond a billion are held at a billion.
int floorInt(double v)
{
    v = std::clamp(v, -1e9, 1e9);
    const int i = static_cast<int>(v);
    return i - (v < double(i) ? 1 : 0);
}

// The part of the line inside `rect` (Liang-Barsky); nullopt when none is.
std::optional<QLineF> clipped(const QLineF& line, const QRectF& rect)
{
    double t0 = 0;
    double t1 = 1;
    const double dx = line.dx();
    const double dy = line.dy();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {
        line.x1() - rect.left(), rect.right() - line.x1(), line.y1() - rect.top(), rect.bottom() - line.y1()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return std::nullopt;
    }
    return QLineF(line.pointAt(t0), line.pointAt(t1));
}

} // namespace

// The pixels of circle outlines, each once, by whole radius, as offsets from the centre in an
// image of a given stride. Small radii are kept for the next circle of the same radius.
class RingPoints {
public:
    struct Point {
        int dx;
        int dy;
        bool operator<(const Point& o) const { return dy != o.dy ? dy < o.dy : dx < o.dx; }
        bool operator==(const Point&) const = default;
    };

    const std::vector<Point>& points(int radius)
    {
        if (radius >= keptRadii) {
            fill(m_scratch, radius);
            return m_scratch;
        }
        Ring& ring = kept(radius);
        if (ring.points.empty())
            fill(ring.points, radius);
        return ring.points;
    }

    const std::vector<std::ptrdiff_t>& offsets(int radius, std::ptrdiff_t stride)
    {
        if (radius >= keptRadii) {
            toOffsets(points(radius), stride, m_scratchOffsets);
            return m_scratchOffsets;
        }
        Ring& ring = kept(radius);
        if (ring.stride != stride || ring.offsets.empty()) {
            toOffsets(points(radius), stride, ring.offsets);
            ring.stride = stride;
        }
        return ring.offsets;
    }

private:
    static constexpr int keptRadii = 1024;
    struct Ring {
        std::vector<Point> points;
        std::vector<std::ptrdiff_t> offsets;
        std::ptrdiff_t stride = 0;
    };

    Ring& kept(int radius)
    {
        const auto r = static_cast<std::size_t>(radius);
        if (m_kept.size() <= r)
            m_kept.resize(r + 1);
        return m_kept[r];
    }

    static void toOffsets(const std::vector<Point>& points, std::ptrdiff_t stride, std::vector<std::ptrdiff_t>& out)
    {
        out.clear();
        for (const Point p : points)
            out.push_back(p.dy * stride + p.dx);
    }

    static void fill(std::vector<Point>& points, int r)
    {
        points.clear();
        int x = r;
        int y = 0;
        int err = 1 - r;
        while (x >= y) {
            for (const Point p : {Point{x, y}, Point{-x, y}, Point{x, -y}, Point{-x, -y}, Point{y, x}, Point{-y, x},
                     Point{y, -x}, Point{-y, -x}})
                points.push_back(p);
            ++y;
            if (err < 0) {
                err += 2 * y + 1;
            } else {
                --x;
                err += 2 * (y - x) + 1;
            }
        }
        std::sort(points.begin(), points.end());
        points.erase(std::unique(points.begin(), points.end()), points.end());
    }

    std::vector<Ring> m_kept;
    std::vector<Point> m_scratch;
    std::vector<std::ptrdiff_t> m_scratchOffsets;
};

namespace {

// A colour laid over a pixel: opaque, or translucent at 1/2, 1/4, 1/8, ... (a shift of 1, 2, 3),
// which costs a shift, a mask and two additions per pixel.
class Ink {
public:
    Ink(std::uint32_t colour, int shift)
        : m_shift(shift),
          m_mask((0xffu >> shift) * 0x010101u),
          m_part(shift == 0 ? colour : 0xff000000u | ((colour >> shift) & m_mask))
    {
    }
    std::uint32_t over(std::uint32_t dst) const
    {
        return m_shift == 0 ? m_part : dst - ((dst >> m_shift) & m_mask) + m_part - 0xff000000u;
    }

private:
    int m_shift;
    std::uint32_t m_mask;
    std::uint32_t m_part;
};

// Direct drawing into an RGB32 image: squares, translucent discs and rings, thick lines.
class Raster {
public:
    Raster(QImage& image, RingPoints& rings)
        : m_rings(rings),
          m_bits(reinterpret_cast<std::uint32_t*>(image.bits())),
          m_width(image.width()),
          m_height(image.height()),
          m_stride(static_cast<std::ptrdiff_t>(image.bytesPerLine() / 4))
    {
    }

    void square(int x0, int y0, int side, std::uint32_t colour)
    {
        const int x1 = std::min(x0 + side, m_width);
        const int y1 = std::min(y0 + side, m_height);
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        for (int y = y0; y < y1; ++y) {
            std::uint32_t* row = line(y);
            for (int x = x0; x < x1; ++x)
                row[x] = colour;
        }
    }

    // A square of `side` pixels centred on (cx, cy).
    void mark(double cx, double cy, int side, std::uint32_t colour)
    {
        square(floorInt(cx - side * 0.5 + 0.5), floorInt(cy - side * 0.5 + 0.5), side, colour);
    }

    void disc(double cx, double cy, double radius, const Ink& ink)
    {
        const int y0 = std::max(0, static_cast<int>(std::ceil(cy - radius - 0.5)));
        const int y1 = std::min(m_height - 1, floorInt(cy + radius - 0.5));
        const double r2 = radius * radius;
        for (int y = y0; y <= y1; ++y) {
            const double dy = y + 0.5 - cy;
            const double half2 = r2 - dy * dy;
            if (half2 < 0)
                continue;
            const double half = std::sqrt(half2);
            const int x0 = std::max(0, static_cast<int>(std::ceil(cx - half - 0.5)));
            const int x1 = std::min(m_width - 1, floorInt(cx + half - 0.5));
            std::uint32_t* row = line(y);
            for (int x = x0; x <= x1; ++x)
                row[x] = ink.over(row[x]);
        }
    }

    // The outline of a circle, `thickness` pixels inwards.
    void ring(double cx, double cy, double radius, int thickness, const Ink& ink)
    {
        if (!(radius >= 0.5) || radius > maxRingPixels)
            return;
        const double w = m_width;
        const double h = m_height;
        if (cx + radius < -1 || cx - radius > w + 1 || cy + radius < -1 || cy - radius > h + 1)
            return;
        const double fx = std::max(std::abs(cx), std::abs(cx - w));
        const double fy = std::max(std::abs(cy), std::abs(cy - h));
        if (std::hypot(fx, fy) < radius - thickness - 1)
            return; // the view lies wholly inside the ring
        const int icx = floorInt(cx);
        const int icy = floorInt(cy);
        for (int k = 0; k < thickness; ++k) {
            const int r = static_cast<int>(std::lround(radius)) - k;
            if (r < 1)
                break;
            if (icx - r >= 0 && icy - r >= 0 && icx + r < m_width && icy + r < m_height) {
                std::uint32_t* centre = line(icy) + icx;
                for (const std::ptrdiff_t offset : m_rings.offsets(r, m_stride))
                    centre[offset] = ink.over(centre[offset]);
            } else {
                for (const RingPoints::Point p : m_rings.points(r))
                    if (icx + p.dx >= 0 && icy + p.dy >= 0 && icx + p.dx < m_width && icy + p.dy < m_height)
                        line(icy + p.dy)[icx + p.dx] = ink.over(line(icy + p.dy)[icx + p.dx]);
            }
        }
    }

    // A line `thickness` pixels wide, opaque.
    void segment(QLineF l, int thickness, std::uint32_t colour)
    {
        const auto c = clipped(l, QRectF(-4, -4, m_width + 8, m_height + 8));
        if (!c)
            return;
        int x0 = floorInt(c->x1());
        int y0 = floorInt(c->y1());
        const int x1 = floorInt(c->x2());
        const int y1 = floorInt(c->y2());
        const int dx = std::abs(x1 - x0);
        const int dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1;
        const int sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        const int shift = thickness / 2;
        for (;;) {
            square(x0 - shift, y0 - shift, thickness, colour);
            if (x0 == x1 && y0 == y1)
                break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }

private:
    std::uint32_t* line(int y) { return m_bits + y * m_stride; }

    RingPoints& m_rings;
    std::uint32_t* m_bits;
    int m_width;
    int m_height;
    std::ptrdiff_t m_stride;
};

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
        QPen pen(gridColour, 1);
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
        QPen cross(crossColour, 1);
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
        else if (isCloud(kind) && size > depth)
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
    auto add = [&](std::size_t r) {
        Record item;
        if (r >= rows.size() || !fetch(document, rows[r], item))
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
    for (std::size_t r = 0; r < scene.rows->size(); ++r) {
        if (!fetch(*scene.document, (*scene.rows)[r], record))
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
    m_frame.fill(QColor(0, 0, 0));
    const QSize pixels = m_frame.size();
    const Projection3D projection(scene.camera, QSizeF(pixels));
    {
        QPainter painter(&m_frame);
        drawGridAndBox(painter, projection, scene);
    }
    if (!scene.document || !scene.rows)
        return;
    const LevelDocument& document = *scene.document;
    const std::vector<ObjectRow>& rows = *scene.rows;
    const FastProjection fast(projection);
    const double w = pixels.width();
    const double h = pixels.height();
    const double targetDepth = scene.camera.distance;
    const bool simpleClouds = rows.size() > simpleCloudsAbove;

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
        nearest = std::min(nearest, placed.depth);
        farthest = std::max(farthest, placed.depth);
    }

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
        if (isCloud(m.kind) && m.extent >= 1.5) {
            if (simpleClouds) {
                if (m.extent >= simpleRingPixels)
                    raster.ring(m.x, m.y, m.extent, 1, Ink(colour, ringShift));
            } else {
                raster.disc(m.x, m.y, m.extent, Ink(colour, discShift));
            }
        } else if (m.kind == ItemKind::PlayerStart) {
            Record start;
            if (fetch(document, rows[m.row], start)) {
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
        if (r < 0 || std::size_t(r) >= rows.size() || !fetch(document, rows[std::size_t(r)], item)
            || !fast.place(item, placed))
            continue;
        const Mark m{float(placed.pixel.x()), float(placed.pixel.y()), float(placed.depth), float(placed.extent),
            std::uint32_t(r), item.colour, item.kind};
        if (isCloud(m.kind) && m.extent >= 1.5)
            raster.ring(m.x, m.y, m.extent, 1, Ink(argbOf(m.colour), 0));
        drawMark(m, 256, 2);
        const double around = m.kind == ItemKind::PlayerStart ? m.extent + 5 : markSize(m.depth, targetDepth) / 2.0 + 6;
        raster.ring(m.x, m.y, around, 2, Ink(highlightColour, 0));
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
