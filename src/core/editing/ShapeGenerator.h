#pragma once

#include <cstdint>
#include <vector>

namespace starloom {

// The shapes real maps are made of (belts, rings, shells, clusters, lines, grids, scatters) as
// positions in world units: x and y in the top view (y grows downwards), height up. The same
// parameters and seed give the same points on every platform.

// A random sequence that depends on its seed alone (SplitMix64): the standard library's
// distributions differ from one library to another, so the shapes draw their numbers from this.
class ShapeRandom {
public:
    explicit ShapeRandom(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next();
    // In [0, 1).
    double unit();
    // In [low, high).
    double between(double low, double high) { return low + (high - low) * unit(); }

private:
    std::uint64_t m_state;
};

enum class ShapeKind : std::uint8_t {
    Ring,    // a belt round the centre: between two radii, from one angle to another
    Sphere,  // a shell or a ball round the centre
    Cluster, // a heap round the centre, thinning out towards its edge
    Line,    // evenly along a line from the centre to an end point, or an arc bowed sideways
    Grid,    // rows and columns round the centre
    Scatter, // anywhere in a box
};

struct ShapeParams {
    ShapeKind kind = ShapeKind::Ring;
    double centreX = 0;
    double centreY = 0;
    double centreHeight = 0;
    int count = 100; // every shape but the grid (rows x columns)
    // Ring: the middle radius and the width across it; Sphere: the outer radius.
    double radius = 20000;
    double width = 4000;
    // Ring, Scatter: the height spread (half above the centre, half below). Sphere: the depth of
    // the shell from its outside (0: on the surface, the radius: a full ball).
    double thickness = 1000;
    // Ring: the angles it runs between, in degrees, 0 towards -y and 90 towards +x.
    double startAngle = 0;
    double endAngle = 360;
    // Cluster: how far from the centre its items go; a falloff above 1 packs them towards the
    // centre, below 1 towards the edge.
    double spread = 10000;
    double falloff = 2;
    // Line: its end; the bow of the arc at its middle, to the right of the way from the centre
    // to the end (0: straight, negative: to the left).
    double toX = 10000;
    double toY = 0;
    double toHeight = 0;
    double bulge = 0;
    // Grid.
    int rows = 5;
    int columns = 5;
    double spacing = 2500;
    // Scatter: the box in the top view.
    double minX = -10000;
    double maxX = 10000;
    double minY = -10000;
    double maxY = 10000;
    std::uint64_t seed = 1;
};

struct ShapePoint {
    double x = 0;
    double y = 0;
    double height = 0;
};

// The most points a shape makes: as many as a level holds of one kind.
inline constexpr int maxShapePoints = 32767;

// The points of the shape, in a fixed order; none for a count below 1 (or an empty grid), at most
// maxShapePoints (a grid's last rows and a count beyond it are left out).
std::vector<ShapePoint> shapePoints(const ShapeParams& params);

} // namespace starloom
