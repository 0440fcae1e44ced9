#include "ShapeGenerator.h"

#include <algorithm>
#include <cmath>

namespace starloom {

std::uint64_t ShapeRandom::next()
{
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double ShapeRandom::unit()
{
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

namespace {

constexpr double pi = 3.14159265358979323846;

double radians(double degrees)
{
    return degrees * pi / 180.0;
}

// A direction spread evenly over the sphere.
void direction(ShapeRandom& random, double& dx, double& dy, double& dz)
{
    dz = random.between(-1.0, 1.0);
    const double around = random.between(0.0, 2.0 * pi);
    const double flat = std::sqrt(std::max(0.0, 1.0 - dz * dz));
    dx = flat * std::cos(around);
    dy = flat * std::sin(around);
}

void ring(const ShapeParams& p, ShapeRandom& random, std::vector<ShapePoint>& out)
{
    const double inner = std::max(0.0, p.radius - p.width / 2);
    const double outer = std::max(inner, p.radius + p.width / 2);
    for (int i = 0; i < p.count; ++i) {
        const double angle = radians(random.between(p.startAngle, p.endAngle));
        // Even over the belt's area: more items further out.
        const double r = std::sqrt(random.between(inner * inner, outer * outer));
        const double h = random.between(-p.thickness / 2, p.thickness / 2);
        out.push_back({p.centreX + r * std::sin(angle), p.centreY - r * std::cos(angle), p.centreHeight + h});
    }
}

void sphere(const ShapeParams& p, ShapeRandom& random, std::vector<ShapePoint>& out)
{
    const double outer = std::max(0.0, p.radius);
    const double inner = std::clamp(outer - p.thickness, 0.0, outer);
    for (int i = 0; i < p.count; ++i) {
        double dx = 0, dy = 0, dz = 0;
        direction(random, dx, dy, dz);
        // Even over the shell's volume.
        const double r = std::cbrt(random.between(inner * inner * inner, outer * outer * outer));
        out.push_back({p.centreX + r * dx, p.centreY + r * dy, p.centreHeight + r * dz});
    }
}

void cluster(const ShapeParams& p, ShapeRandom& random, std::vector<ShapePoint>& out)
{
    const double falloff = std::max(0.01, p.falloff);
    for (int i = 0; i < p.count; ++i) {
        double dx = 0, dy = 0, dz = 0;
        direction(random, dx, dy, dz);
        const double r = std::max(0.0, p.spread) * std::pow(random.unit(), falloff);
        out.push_back({p.centreX + r * dx, p.centreY + r * dy, p.centreHeight + r * dz});
    }
}

void line(const ShapeParams& p, std::vector<ShapePoint>& out)
{
    const double lx = p.toX - p.centreX;
    const double ly = p.toY - p.centreY;
    const double length = std::hypot(lx, ly);
    // To the right of the way along, in the top view (y grows downwards).
    const double sideX = length > 0 ? -ly / length : 0;
    const double sideY = length > 0 ? lx / length : 0;
    for (int i = 0; i < p.count; ++i) {
        const double t = p.count == 1 ? 0.5 : static_cast<double>(i) / (p.count - 1);
        const double bow = p.bulge * 4 * t * (1 - t);
        out.push_back({p.centreX + lx * t + sideX * bow, p.centreY + ly * t + sideY * bow,
            p.centreHeight + (p.toHeight - p.centreHeight) * t});
    }
}

void grid(const ShapeParams& p, std::vector<ShapePoint>& out)
{
    const double left = p.centreX - p.spacing * (p.columns - 1) / 2;
    const double top = p.centreY - p.spacing * (p.rows - 1) / 2;
    for (int row = 0; row < p.rows; ++row)
        for (int column = 0; column < p.columns; ++column)
            out.push_back({left + p.spacing * column, top + p.spacing * row, p.centreHeight});
}

void scatter(const ShapeParams& p, ShapeRandom& random, std::vector<ShapePoint>& out)
{
    for (int i = 0; i < p.count; ++i) {
        const double x = random.between(std::min(p.minX, p.maxX), std::max(p.minX, p.maxX));
        const double y = random.between(std::min(p.minY, p.maxY), std::max(p.minY, p.maxY));
        out.push_back({x, y, p.centreHeight + random.between(-p.thickness / 2, p.thickness / 2)});
    }
}

} // namespace

std::vector<ShapePoint> shapePoints(const ShapeParams& asGiven)
{
    ShapeParams params = asGiven;
    std::vector<ShapePoint> points;
    ShapeRandom random(params.seed);
    if (params.kind == ShapeKind::Grid) {
        if (params.rows > 0 && params.columns > 0) {
            params.columns = std::min(params.columns, maxShapePoints);
            params.rows = std::min(params.rows, maxShapePoints / params.columns);
            points.reserve(static_cast<std::size_t>(params.rows) * static_cast<std::size_t>(params.columns));
            grid(params, points);
        }
        return points;
    }
    if (params.count < 1)
        return points;
    params.count = std::min(params.count, maxShapePoints);
    points.reserve(static_cast<std::size_t>(params.count));
    switch (params.kind) {
    case ShapeKind::Ring:
        ring(params, random, points);
        break;
    case ShapeKind::Sphere:
        sphere(params, random, points);
        break;
    case ShapeKind::Cluster:
        cluster(params, random, points);
        break;
    case ShapeKind::Line:
        line(params, points);
        break;
    case ShapeKind::Scatter:
        scatter(params, random, points);
        break;
    case ShapeKind::Grid:
        break;
    }
    return points;
}

} // namespace starloom
