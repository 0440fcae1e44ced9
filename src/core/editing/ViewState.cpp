#include "ViewState.h"

#include "document/Numbers.h"

#include <cmath>
#include <utility>

namespace starloom {

namespace {

// How near the pointer must be to an item's mark to be over it.
constexpr double hitTolerancePixels = 5;

QString readoutText(const std::optional<QPointF>& pointer, bool yAxis)
{
    if (!pointer)
        return yAxis ? QStringLiteral("Y") : QStringLiteral("X");
    return intText(floorToInt32(yAxis ? pointer->y() : pointer->x()));
}

} // namespace

void ViewState::showWorld(const MapSettings& settings)
{
    m_views.top = topScaleFor(settings);
    m_views.front = frontScaleFor(settings);
    fitToShape();
}

void ViewState::fitToShape()
{
    m_views.top.fill = m_stretchToFill;
    m_views.front = frontFollowing(m_views.front, m_views.top.shownAt(QSizeF(m_topPixels)));
}

ViewScale ViewState::shownTop() const
{
    ViewScale shown = m_views.top.shownAt(QSizeF(m_topPixels));
    shown.fill = m_views.top.fill;
    return shown;
}

void ViewState::showTop(const ViewScale& top)
{
    m_views.top = top;
    fitToShape();
}

void ViewState::swapScales(ViewScale& top, ViewScale& front)
{
    std::swap(m_views.top, top);
    std::swap(m_views.front, front);
    fitToShape();
}

bool ViewState::setTopSize(QSize pixels)
{
    if (pixels == m_topPixels)
        return false;
    m_topPixels = pixels;
    fitToShape();
    return true;
}

bool ViewState::setStretchToFill(bool on)
{
    if (on == m_stretchToFill)
        return false;
    m_stretchToFill = on;
    fitToShape();
    return true;
}

bool ViewState::zoomIn(QPointF at, const MapSettings& settings)
{
    const auto zoomed = zoomedIn(shownTop(), at.x(), at.y(), settings);
    if (zoomed)
        showTop(*zoomed);
    return zoomed.has_value();
}

bool ViewState::zoomAround(int steps, QPointF at, const MapSettings& settings)
{
    if (steps == 0)
        return false;
    const double factor = std::pow(1.25, steps);
    const auto zoomed = zoomedAround(shownTop(), at.x(), at.y(), factor, settings);
    if (zoomed)
        showTop(*zoomed);
    return zoomed.has_value();
}

void ViewState::zoomToRect(const QRectF& world, const MapSettings& settings)
{
    showTop(settledTop(world, QSizeF(m_topPixels), m_stretchToFill, settings));
}

bool ViewState::pan(double dx, double dy, const MapSettings& settings)
{
    const ViewScale shown = shownTop();
    const ViewScale moved = panned(shown, dx, dy, settings);
    if (moved == shown)
        return false;
    showTop(moved);
    return true;
}

QString ViewState::topReadout(bool yAxis) const
{
    return readoutText(m_topPointer, yAxis);
}

QString ViewState::frontReadout(bool yAxis) const
{
    return readoutText(m_frontPointer, yAxis);
}

int ViewState::itemUnder(const Level& level, quint64 levelChanges, QPointF at) const
{
    if (m_topPixels.isEmpty())
        return -1;
    const QPointF pixel = m_views.top.toPixel(at.x(), at.y(), m_topPixels);
    const MarkIndexKey key{levelChanges, m_views.top, m_topPixels};
    if (m_marksKey != key) {
        m_marks.build(level, m_views.top, m_topPixels, hitTolerancePixels);
        m_marksKey = key;
    }
    if (const std::optional<int> row = m_marks.at(pixel, hitTolerancePixels))
        return *row;
    return itemAt(level, m_views.top, m_topPixels, pixel, hitTolerancePixels);
}

void ViewState::toggleLabels(int typeId)
{
    if (!isTypeId(typeId))
        return;
    auto& shown = m_views.labelShown[static_cast<std::size_t>(typeId)];
    shown = !shown;
}

void ViewState::toggleAllLabels()
{
    for (const KindInfo& info : kindTable) {
        if (info.labelShown)
            m_views.labelShown[static_cast<std::size_t>(typeIdOf(info.kind))] = m_hideAll;
    }
    m_hideAll = !m_hideAll;
}

void ViewState::resetDrawing(bool stretchToFill)
{
    m_views.labelShown = ViewSettings{}.labelShown;
    m_views.cloudDiscs = true;
    m_views.declutterLabels = true;
    m_stretchToFill = stretchToFill;
    m_hideAll = false;
}

} // namespace starloom
