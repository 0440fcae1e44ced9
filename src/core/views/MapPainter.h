#pragma once

#include "views/MapScene.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QPointF>
#include <QRawFont>
#include <QSize>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QPainter;
class QPaintDevice;

namespace starloom {

// End of a player start's heading line in world units: 1200 units from (posX, posY) in the
// direction of the orientation rounded to whole degrees (halves to even), clockwise from -y;
// each coordinate rounded to a whole number, halves to even.
QPointF playerHeadingEnd(double posX, double posY, float orientation);

// The spacing in world units between the grid lines the top view draws along each axis: the grid
// size, or a multiple of it where lines closer than a few pixels are thinned out; 0 when no
// lines are drawn.
struct GridSpacing {
    double x = 0; // between the lines of constant x
    double y = 0;
    bool operator==(const GridSpacing&) const = default;
};
GridSpacing drawnGridSpacing(const MapScene& scene, QSize pixels);

// The scene's label font (labelFontFamilyFor its size), with a sans-serif fallback when the family
// is not installed.
QFont labelFont(const MapScene& scene);

// The text of the top view's scale bar for a bar of `length` world units: "5000 units".
QString scaleBarText(double length);

// The measured line's length written beside the middle of `line` (world units, in the top view
// `top` at `pixels`), on a plate in the colours of the labels: "Distance: 12345". Nothing when
// `text` is empty.
void drawMeasureLength(QPainter& painter, QSize pixels, const ViewScale& top, const QLineF& line, const QString& text,
    const MapColours& colours);

inline constexpr int viewGapPixels = 13; // between the top and the front view in renderViews

// The sizes of the top and the front view when both share `total` as in the main window: the
// front view is 1635 twips high under a 3855-twip top view, viewGapPixels apart.
std::pair<QSize, QSize> viewSizesFor(QSize total);

// Paints the map views from a scene onto any QPainter (a widget, a QImage). Everything is drawn
// inside QRect(QPoint(0, 0), pixels) of the painter's coordinates; what lies outside is culled.
// The painter keeps a cache of label widths, so one instance should live as long as its view.
class MapPainter {
public:
    // Makes this painter draw from `other`'s cache of the rows' items (the top and front views of
    // one level: one cache of an item's position and colour, not one a view).
    void shareItemsWith(const MapPainter& other) { m_items = other.m_items; }

    // Black background, dotted grid anchored at the negative world edge, white origin cross,
    // every row's item in row order, then the labels of the shown kinds.
    void paintTopView(QPainter& painter, QSize pixels, const MapScene& scene) const;
    // Black background, dotted zero-height line, every row's item at (posX, posZ).
    void paintFrontView(QPainter& painter, QSize pixels, const MapScene& scene) const;

    // The row whose label lies under `pixel` of the top view (the last drawn wins), or -1.
    // `device` gives the font resolution the view paints with; nullptr means the screen's.
    // When the last paintTopView painted this view (the same document, rows and row count, size,
    // scale, shown kinds, font and resolution), the answer comes from the labels that paint
    // showed, which is what is on the screen; otherwise every row is walked.
    int labelAt(const MapScene& scene, QSize pixels, QPointF pixel, const QPaintDevice* device = nullptr) const;

    // The box the row's label takes in the top view, whether it shows there or not; a null
    // rectangle for rows of hidden kinds or without an item.
    QRect labelBox(const MapScene& scene, QSize pixels, std::size_t row, const QPaintDevice* device = nullptr) const;

    // The labels the last paintTopView showed, topmost first: each row with its label's box.
    std::vector<std::pair<int, QRect>> shownLabels() const;

    // The top view above the front view, viewGapPixels apart, as in the main window.
    QImage renderViews(const MapScene& scene, QSize topSize, QSize frontSize) const;

private:
    struct LabelMetrics;
    // The metrics of the scene's label font, made once per font and resolution.
    const LabelMetrics& metricsFor(const MapScene& scene, const QPaintDevice* device) const;
    double textWidth(const LabelMetrics& metrics, const QString& text) const;

    // A row whose label may show in the view, with the label's top-left corner in pixels.
    struct LabelCandidate {
        std::uint32_t row;
        QPointF anchor;
    };
    // Labels whose anchor lies further left of the view than this cannot reach into it.
    static constexpr double maxLabelReach = 8192;
    void paintLabels(
        QPainter& painter, QSize pixels, const MapScene& scene, const std::vector<LabelCandidate>& candidates) const;

    // What a label hit-test needs to know to trust the labels of the last paint.
    struct LabelView {
        const LevelDocument* document = nullptr;
        const std::vector<ObjectRow>* rows = nullptr;
        std::size_t rowCount = 0;
        QSize pixels;
        ViewScale top;
        ByTypeId<bool> labelShown{};
        QString fontFamily;
        int pointSize = 0;
        int dpi = 0;
        bool operator==(const LabelView&) const = default;
    };
    static LabelView labelViewOf(const MapScene& scene, QSize pixels, const QPaintDevice* device);
    // A label the last paint showed (at least one pixel of it), with its caption then.
    struct ShownLabel {
        std::uint32_t row;
        QRect box;
        QString text;
    };
    int walkLabelsAt(const MapScene& scene, QSize pixels, QPointF pixel, const QPaintDevice* device) const;

    mutable std::optional<LabelView> m_shownView; // unset when the last paint showed no labels' layout
    mutable std::vector<ShownLabel> m_shown;      // topmost first
    mutable QFont m_cachedFont;
    mutable int m_cachedDpi = 0;
    mutable QHash<QString, double> m_widths;
    mutable std::shared_ptr<const LabelMetrics> m_metrics;
    mutable std::vector<LabelCandidate> m_candidates;

    // What the views draw of each row's item, in row order: read from the records once per
    // revision of the scene, then walked as one flat array.
    struct FlatItem {
        std::int32_t x = 0;
        std::int32_t y = 0;
        std::int32_t z = 0;
        std::int32_t colour = 0;
        float orientation = 0;
        ItemKind kind = ItemKind::PlayerStart;
        bool exists = false; // the row names a record
    };
    // The rows' items as the views draw them, made again when the scene's revision, document or
    // rows change; painters that show the same level can share one (shareItemsWith).
    struct ItemCache {
        std::vector<FlatItem> items;
        quint64 revision = 0;
        const LevelDocument* document = nullptr;
        const std::vector<ObjectRow>* rows = nullptr;
        std::size_t rowCount = 0;
        quint64 made = 0; // how many times the items were made
    };
    const std::vector<FlatItem>& flatItems(const MapScene& scene) const;
    std::shared_ptr<ItemCache> m_items = std::make_shared<ItemCache>();
    // The width of each row's caption when it is simple, found once while the item cache and the
    // label metrics hold; below 0 while not yet found. Sized by the labels' first paint.
    mutable std::vector<double> m_rowWidths;
    mutable quint64 m_widthsMade = 0; // the item cache's `made` they were sized for
    void syncRowWidths() const;
};

} // namespace starloom
