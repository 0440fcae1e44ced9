#pragma once

#include "document/LevelDocument.h"
#include "document/ObjectRow.h"
#include "views/Camera3D.h"
#include "views/MapScene.h"
#include "views/ViewScale.h"

#include <QImage>
#include <QPointF>
#include <QSize>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class QPainter;

namespace starloom {

class RingPoints;

// What the 3-D view shows. The document and rows are only borrowed for the duration of a call;
// the rows decide which items are drawn, as in the 2-D views.
struct Scene3D {
    const LevelDocument* document = nullptr;
    const std::vector<ObjectRow>* rows = nullptr;
    WorldSize world; // half-extents of the world box (worldSize(settings))
    QString gridSizeText = QStringLiteral("2500");
    Camera3D camera;
    std::vector<int> highlighted; // rows drawn highlighted, in any order
    // The background, the grid, the origin's cross and the highlight rings, as the 2-D views
    // paint them.
    MapColours colours;
    // A number that changes whenever the document or the rows change (Editor::revision()). While
    // it stays the same, and is not 0, a painter reuses what it read of the items before.
    quint64 revision = 0;
};

// Past this many rows, or when the discs in the view would cover it more than
// mapdraw::maxCloudCoverage times over, clouds, dust clouds and nebulae are drawn more simply:
// instead of a filled translucent disc (a fill of its whole area), a cloud that shows at least
// simpleRingPixels round gets a thin translucent ring of its size, and a smaller one its mark alone.
inline constexpr std::size_t simpleCloudsAbove = 10000;
inline constexpr double simpleRingPixels = 32;

// The spheres every listed item (or only the rows in `only`) covers when drawn: the position,
// with a cloud's size or a start point's marker radius around it.
std::vector<Sphere> itemSpheres(
    const LevelDocument& document, const std::vector<ObjectRow>& rows, const std::vector<int>* only = nullptr);
// The eight corners of the world box.
std::vector<Sphere> worldBoxCorners(const WorldSize& world);
// `camera` turned to frame every listed item, or the world box when there is none.
Camera3D framedAll(const Camera3D& camera, const LevelDocument& document, const std::vector<ObjectRow>& rows,
    const WorldSize& world, QSizeF viewSize);

// Paints the level in perspective onto any QPainter, inside QRect(QPoint(0, 0), pixels), and
// finds the item under a pixel. The scene's background; the grid of the top view as a plane at
// height 0 with the origin's cross; the world box; then every row's item that is not hidden, from
// the farthest to the nearest: a square mark in the record's colour (smaller and darker further
// away), a cloud, dust cloud or nebula also as a translucent disc of its size, a start point as a
// ring of radius 1000 with its heading line and a line down to height 0; highlighted rows last,
// ringed in the colour of the scene's marks.
// The painter keeps its buffers, so one instance should live as long as its view.
class MapPainter3D {
public:
    MapPainter3D();
    ~MapPainter3D();

    void paint(QPainter& painter, QSize pixels, const Scene3D& scene) const;
    QImage render(const Scene3D& scene, QSize pixels) const;

    // The row whose mark lies nearest `pixel`, at most pickRadius pixels from the mark's edge;
    // of marks equally near (every mark under the pixel), the one nearest to the camera. -1 when
    // there is none.
    int rowAt(const Scene3D& scene, QSize pixels, QPointF pixel) const;
    static constexpr double pickRadius = 5;

    // A mark's side in pixels at `depth` when the camera's target lies at `targetDepth`.
    static int markSize(double depth, double targetDepth);

    struct Mark {
        float x;
        float y;
        float depth;
        float extent; // pixels: a cloud's disc radius, a start point's ring radius, else 0
        std::uint32_t row;
        std::int32_t colour;
        ItemKind kind;
    };

private:
    struct Item; // what drawing needs of a row's record, in a few bytes
    const std::vector<Item>& itemsOf(const Scene3D& scene) const;
    void draw(const Scene3D& scene) const;

    mutable QImage m_frame;
    mutable std::vector<Mark> m_marks;
    mutable std::vector<Mark> m_sorted;
    mutable std::vector<std::uint16_t> m_keys; // each mark's depth bucket
    mutable std::vector<std::uint32_t> m_buckets;
    std::unique_ptr<RingPoints> m_rings;
    mutable std::vector<Item> m_items;
    mutable quint64 m_itemsRevision = 0;
    mutable const LevelDocument* m_itemsDocument = nullptr;
    mutable const std::vector<ObjectRow>* m_itemsRows = nullptr;
    mutable std::size_t m_itemsRowCount = 0;
};

} // namespace starloom
