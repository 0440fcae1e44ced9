#pragma once

// Drawing straight into the pixels of a 32-bit image, for views that draw many thousand marks:
// squares, translucent discs, circle outlines and thick lines, each pixel written once.

#include <QImage>
#include <QLineF>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace starloom {

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

namespace mapdraw {

constexpr double maxRingPixels = 20000; // larger circles are not drawn

inline std::uint32_t argbOf(std::int32_t packed)
{
    const auto p = static_cast<std::uint32_t>(packed);
    return 0xff000000u | ((p & 0xffu) << 16) | (p & 0xff00u) | ((p >> 16) & 0xffu);
}

// The colour scaled by shade/256.
inline std::uint32_t shaded(std::uint32_t argb, std::uint32_t shade)
{
    const std::uint32_t rb = (((argb & 0xff00ffu) * shade) >> 8) & 0xff00ffu;
    const std::uint32_t g = (((argb & 0x00ff00u) * shade) >> 8) & 0x00ff00u;
    return 0xff000000u | rb | g;
}

// std::floor as an int, without a call; values beyond a billion are held at a billion.
inline int floorInt(double v)
{
    v = std::clamp(v, -1e9, 1e9);
    const int i = static_cast<int>(v);
    return i - (v < double(i) ? 1 : 0);
}

// The part of the line inside `rect` (Liang-Barsky); nullopt when none is.
inline std::optional<QLineF> clipped(const QLineF& line, const QRectF& rect)
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

} // namespace mapdraw

} // namespace starloom
