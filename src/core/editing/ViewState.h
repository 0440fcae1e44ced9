#pragma once

#include "Selection.h"

#include "document/ItemKind.h"
#include "document/Level.h"
#include "views/MapScene.h"
#include "views/ViewScale.h"

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>

#include <optional>

namespace starloom {

// What the two views show and where the pointer is over them: the top view's part of the world
// (its zoom), the front view following its horizontal range, the view's size in pixels, Stretch to
// Fill, the labels shown, and the last world points under the pointer. Plain state and its maths;
// the editor asks for a repaint when a call says that something changed.
class ViewState {
public:
    const ViewSettings& settings() const { return m_views; }
    const ViewScale& top() const { return m_views.top; }
    const ViewScale& front() const { return m_views.front; }

    // --- the views' shape and zoom
    // Both views showing the whole world of `settings`.
    void showWorld(const MapSettings& settings);
    // The rectangle of the world the top view shows at its size (ViewScale::shownAt), with the
    // view's own `fill`.
    ViewScale shownTop() const;
    // Shows `top` in the top view; the front view follows its horizontal range and keeps its height.
    void showTop(const ViewScale& top);
    // Swaps the views' scales with `top` and `front` (a level with its views comes back).
    void swapScales(ViewScale& top, ViewScale& front);
    // The top view's size in pixels; false when it was already that size.
    bool setTopSize(QSize pixels);
    QSize topSize() const { return m_topPixels; }
    // Stretch to Fill; false when it was already so.
    bool setStretchToFill(bool on);
    bool stretchToFill() const { return m_stretchToFill; }
    // Zooms in around `at` as "Zoom In" does; false when the view would be narrower than one unit.
    bool zoomIn(QPointF at, const MapSettings& settings);
    // The wheel: in (steps > 0) or out around `at`, within the world; false when nothing changed.
    bool zoomAround(int steps, QPointF at, const MapSettings& settings);
    // The top view showing the world rectangle `world`, at least one unit across and down.
    void zoomToRect(const QRectF& world, const MapSettings& settings);
    // Moves the top view by (dx, dy) world units, within the world; false when it could not move.
    bool pan(double dx, double dy, const MapSettings& settings);

    // --- the pointer
    std::optional<QPointF> topPointer() const { return m_topPointer; }
    std::optional<QPointF> frontPointer() const { return m_frontPointer; }
    void setTopPointer(QPointF at) { m_topPointer = at; }
    void setFrontPointer(QPointF at) { m_frontPointer = at; }
    // A readout above or below a view: the pointer's coordinate rounded down, or the axis' name
    // ("X", "Y") before the pointer has moved over that view.
    QString topReadout(bool yAxis) const;
    QString frontReadout(bool yAxis) const;
    // The row of `level` whose mark in the top view is under the world point `at`; -1 when none.
    // `levelChanges` tells when the level changed since the last question.
    int itemUnder(const Level& level, quint64 levelChanges, QPointF at) const;

    // --- labels and drawing
    bool labelShown(int typeId) const { return m_views.labelShown.at(static_cast<std::size_t>(typeId)); }
    void toggleLabels(int typeId);
    // "Hide All" and "Show All" in turn; the labels a new level hides (pebbles) keep their own entry.
    void toggleAllLabels();
    bool hideAllChecked() const { return m_hideAll; }
    void setLabelPointSize(int points) { m_views.labelPointSize = points; }
    void toggleCloudDiscs() { m_views.cloudDiscs = !m_views.cloudDiscs; }
    void toggleDeclutter() { m_views.declutterLabels = !m_views.declutterLabels; }
    // The labels, discs and Stretch to Fill of a new start.
    void resetDrawing(bool stretchToFill);

private:
    // The top view takes the Stretch to Fill setting and the front view the top view's horizontal
    // range at its size.
    void fitToShape();

    ViewSettings m_views;
    QSize m_topPixels;
    bool m_stretchToFill = false;
    bool m_hideAll = false;
    std::optional<QPointF> m_topPointer;
    std::optional<QPointF> m_frontPointer;
    // The top view's marks by where they lie, for the item under the pointer, and what they were
    // sorted for: the level's changes, the view and its size.
    struct MarkIndexKey {
        quint64 levelChanges = 0;
        ViewScale top;
        QSize pixels;
        bool operator==(const MarkIndexKey&) const = default;
    };
    mutable MarkIndex m_marks;
    mutable std::optional<MarkIndexKey> m_marksKey;
};

} // namespace starloom
