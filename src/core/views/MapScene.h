#pragma once

#include "document/Level.h"
#include "views/ViewScale.h"

#include <QColor>
#include <QLineF>
#include <QRectF>
#include <QSize>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace starloom {

// The kinds whose labels a new level shows, by typeId.
inline constexpr ByTypeId<bool> defaultLabelsShown()
{
    ByTypeId<bool> shown{};
    for (const KindInfo& info : kindTable)
        shown[static_cast<std::size_t>(typeIdOf(info.kind))] = info.labelShown;
    return shown;
}

// The colours the map views paint with: a dark map (the first versions' black) or a light one,
// following the desktop's colour scheme.
struct MapColours {
    QColor background{0, 0, 0};
    QColor margin{28, 28, 32};   // the view outside the world's box
    QColor grid{100, 100, 100};  // the dotted grid and the front view's zero line
    QColor cross{255, 255, 255}; // the origin's cross
    QColor marks{255, 255, 255}; // selection squares, the rubber band, the measured line
    QColor labelText{235, 235, 235};
    QColor labelPlate{0, 0, 0, 150}; // translucent, under each label
    bool operator==(const MapColours&) const = default;

    static MapColours dark() { return {}; }
    static MapColours light();
};

// The map's colours for a desktop whose windows are `window` with text in `text`: dark when the
// window colour is dark, light otherwise; the labels in the text colour.
MapColours mapColoursFor(const QColor& window, const QColor& text);

// How the map views show a level, besides the level itself: the view scales, the kinds whose
// labels show, and the labels' font size.
struct ViewSettings {
    ViewScale top;                                    // topScaleFor / zoomedIn / zoomedOut
    ViewScale front;                                  // frontScaleFor
    ByTypeId<bool> labelShown = defaultLabelsShown(); // by typeId
    int labelPointSize = 6;
    bool cloudDiscs = false;      // clouds, dust clouds and nebulae as translucent discs of their size
    bool declutterLabels = false; // a label that would overlap an earlier one is left out
};

// Everything the two views show. The document and rows are only borrowed for the duration of a
// call; the rows decide what is drawn and in which order.
struct MapScene {
    const LevelDocument* document = nullptr;
    const std::vector<ObjectRow>* rows = nullptr;
    QString gridSizeText = QStringLiteral("2500");
    WorldSize world; // half-extents, rounded down (worldSize(settings))
    ViewScale top;
    ViewScale front;
    ByTypeId<bool> labelShown = defaultLabelsShown();
    int labelPointSize = 6;
    bool cloudDiscs = false;
    bool declutterLabels = false;
    MapColours colours;
    bool scaleBar = true; // the top view's scale bar in its bottom-left corner
    // What the editor marks over the items: the selected rows (sorted; highlighted in both views),
    // the row under the pointer (highlighted; its label, as those of the selected rows, always
    // shown), the rubber band and the
    // measured line of the top view, in world units.
    const std::vector<int>* selection = nullptr;
    int hoveredRow = -1;
    std::optional<QRectF> rubberBand;
    std::optional<QLineF> measure;
    // A number that changes whenever the document or the rows change (Editor::revision()). While
    // it stays the same, a painter keeps what it read of the items for its next paint; 0 reads
    // them afresh every time.
    quint64 revision = 0;
};

// The scene of `level` as shown with `views`. The grid size and the world size are passed apart:
// the views take them from the settings only when they redraw.
MapScene sceneOf(const Level& level, const ViewSettings& views, const QString& gridSizeText, const WorldSize& world);

// The views of a level shown whole, as the editor first shows it, for a top view of `topPixels`:
// to scale, the front view across the top view's range, crowded labels thinned out.
ViewSettings wholeLevelViews(const MapSettings& settings, QSize topPixels);

// The label font's family: "Arial" above 7 points, "Small Fonts" up to 7.
QString labelFontFamilyFor(int pointSize);

} // namespace starloom
