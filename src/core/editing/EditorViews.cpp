// The Editor's views: scales and zoom, the pointer and its readouts, the map labels.

#include "Editor.h"

#include "document/Numbers.h"
#include "gamedata/SettingsStore.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace starloom {

namespace {

// A readout: the coordinate rounded down, or the axis' name before the pointer has moved.
QString readoutText(const std::optional<QPointF>& pointer, bool yAxis)
{
    if (!pointer)
        return yAxis ? QStringLiteral("Y") : QStringLiteral("X");
    return intText(floorToInt32(yAxis ? pointer->y() : pointer->x()));
}

} // namespace

// ------------------------------------------------------------------ scales and zoom

void Editor::setScales()
{
    m_views.top = topScaleFor(m_level.settings);
    m_views.front = frontScaleFor(m_level.settings);
    fitViewsToShape();
    redraw();
}

void Editor::fitViewsToShape()
{
    m_views.top.fill = m_stretchToFill;
    m_views.front = frontFollowing(m_views.front, m_views.top.shownAt(QSizeF(m_topPixels)));
}

ViewScale Editor::shownTop() const
{
    ViewScale shown = m_views.top.shownAt(QSizeF(m_topPixels));
    shown.fill = m_views.top.fill;
    return shown;
}

void Editor::setTopViewSize(QSize pixels)
{
    if (pixels == m_topPixels)
        return;
    m_topPixels = pixels;
    fitViewsToShape();
    redraw();
}

void Editor::setStretchToFill(bool on)
{
    m_store.write(stretchToFillKey, on ? QStringLiteral("1") : QStringLiteral("0"));
    if (on == m_stretchToFill)
        return;
    m_stretchToFill = on;
    fitViewsToShape();
    redraw();
}

void Editor::zoomOutFully()
{
    setTopView(zoomedOut(m_level.settings));
}

void Editor::setTopView(const ViewScale& top)
{
    m_views.top = top;
    fitViewsToShape();
    redraw();
}

void Editor::zoomIn()
{
    disarmZoom();
    const QPointF at = m_topPointer.value_or(QPointF());
    // A view narrower than one world unit is refused: the view stays as it is.
    if (const auto zoomed = zoomedIn(shownTop(), at.x(), at.y(), m_level.settings))
        setTopView(*zoomed);
}

void Editor::zoomAround(int steps, QPointF at)
{
    if (steps == 0)
        return;
    const double factor = std::pow(1.25, steps);
    if (const auto zoomed = zoomedAround(shownTop(), at.x(), at.y(), factor, m_level.settings))
        setTopView(*zoomed);
}

void Editor::zoomToRect(const QRectF& world)
{
    setTopView(settledTop(world, QSizeF(m_topPixels), m_stretchToFill, m_level.settings));
}

void Editor::zoomToSelection()
{
    double left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;
    for (const int row : m_selection) {
        const ObjectRow& r = m_level.rows[static_cast<std::size_t>(row)];
        if (!m_level.document.exists(r.kind, r.arrayId))
            continue;
        const ItemPosition p = m_level.document.position(r.kind, r.arrayId);
        left = any ? std::min(left, double(p.x)) : double(p.x);
        right = any ? std::max(right, double(p.x)) : double(p.x);
        top = any ? std::min(top, double(p.y)) : double(p.y);
        bottom = any ? std::max(bottom, double(p.y)) : double(p.y);
        any = true;
    }
    if (!any)
        return;
    const double margin = std::max({(right - left) * 0.1, (bottom - top) * 0.1, gridStep()});
    zoomToRect(QRectF(QPointF(left - margin, top - margin), QPointF(right + margin, bottom + margin)));
}

void Editor::panTopView(double dx, double dy)
{
    const ViewScale shown = shownTop();
    const ViewScale moved = panned(shown, dx, dy, m_level.settings);
    if (moved != shown)
        setTopView(moved);
}

// ------------------------------------------------------------------ the pointer

// ------------------------------------------------------------------ tools

Tool& Editor::toolFor(ToolKind kind)
{
    switch (kind) {
    case ToolKind::Place:
        return m_placeTool;
    case ToolKind::Measure:
        return m_measureTool;
    case ToolKind::Zoom:
        return m_zoomTool;
    case ToolKind::Pan:
        return m_panTool;
    case ToolKind::Select:
        break;
    }
    return m_selectTool;
}

void Editor::chooseTool(ToolKind kind)
{
    if (kind == m_tool)
        return;
    if (kind == ToolKind::Zoom) {
        // Zoom is one click long: the tool it replaces keeps what it shows and comes back.
        m_beforeZoom = m_tool;
        m_tool = kind;
        return;
    }
    if (m_tool == ToolKind::Zoom)
        m_tool = m_beforeZoom;
    if (kind == m_tool)
        return;
    if (kind == ToolKind::Measure)
        m_beforeMeasure = m_tool;
    Tool& left = toolFor(m_tool);
    left.leave();
    if (m_dragTool == &left)
        m_dragTool = nullptr;
    m_tool = kind;
    redraw();
}

ToolKind Editor::chosenTool() const
{
    return m_tool == ToolKind::Zoom ? m_beforeZoom : m_tool;
}

void Editor::disarmZoom()
{
    if (m_tool == ToolKind::Zoom)
        m_tool = m_beforeZoom;
}

void Editor::chooseSelectTool()
{
    chooseTool(ToolKind::Select);
    m_buttonDown = false;
    redraw();
}

void Editor::setMeasuring(bool on)
{
    if (on)
        chooseTool(ToolKind::Measure);
    else if (measuring())
        chooseTool(m_beforeMeasure);
    redraw();
}

void Editor::pressOnTopView(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at)
{
    m_topPointer = at;
    if (button != Qt::LeftButton)
        return;
    m_clickEndsZoom = false;
    Tool& tool = toolFor(m_tool);
    if (tool.press(PointerEvent{button, modifiers, at}))
        m_dragTool = &tool;
}

void Editor::moveOnTopView(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPointF at)
{
    m_topPointer = at;
    const bool left = buttons == Qt::LeftButton;
    if (!(left && m_dragTool && m_dragTool->holdsHover()))
        updateHover(); // the item a drag moves stays the pointer's
    if (left && m_dragTool) {
        m_dragTool->drag(PointerEvent{buttons, modifiers, at});
        return;
    }
    if (left) {
        if (!m_buttonDown)
            ++m_dragId; // a new drag: its placements or moves become one undo step
        m_buttonDown = true;
    } else if (buttons == Qt::NoButton) {
        m_clickEndsDrag = false;
    }
}

void Editor::releaseOnTopView(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at)
{
    if (Tool* tool = std::exchange(m_dragTool, nullptr)) {
        tool->release(PointerEvent{button, modifiers, at});
        m_buttonDown = false;
        m_clickEndsDrag = false;
        redraw();
        return;
    }
    // The click that comes with the release still belongs to the drag.
    m_clickEndsDrag = m_buttonDown;
    m_buttonDown = false;
}

void Editor::clickTopView()
{
    if (std::exchange(m_clickEndsZoom, false))
        return;
    toolFor(m_tool).click();
    if (!m_buttonDown)
        m_clickEndsDrag = false;
}

void Editor::repeatWhileHeld()
{
    if (m_timerEnabled && m_buttonDown && !m_dragTool)
        toolFor(m_tool).repeat();
}

bool Editor::keyOnMap(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    if (toolFor(m_tool).key(key, modifiers))
        return true;
    const int dx = key == Qt::Key_Left ? -1 : key == Qt::Key_Right ? 1 : 0;
    const int dy = key == Qt::Key_Up ? -1 : key == Qt::Key_Down ? 1 : 0;
    if (dx == 0 && dy == 0)
        return false;
    nudgeSelection(dx, dy);
    return true;
}

void Editor::moveOnFrontView(QPointF at)
{
    m_frontPointer = at;
}

std::int32_t Editor::pointerX() const
{
    if (m_snapToGrid && m_topPointer)
        return snapped(m_topPointer->x(), false);
    return m_topPointer ? floorToInt32(m_topPointer->x()) : 0;
}

std::int32_t Editor::pointerY() const
{
    if (m_snapToGrid && m_topPointer)
        return snapped(m_topPointer->y(), true);
    return m_topPointer ? floorToInt32(m_topPointer->y()) : 0;
}

QString Editor::lblX() const
{
    return readoutText(m_topPointer, false);
}

QString Editor::lblY() const
{
    return readoutText(m_topPointer, true);
}

QString Editor::lblLeftX() const
{
    return readoutText(m_frontPointer, false);
}

QString Editor::lblLeftY() const
{
    return readoutText(m_frontPointer, true);
}

// ------------------------------------------------------------------ rows and labels

void Editor::selectRow(int row)
{
    m_selectedRow = row >= 0 && row < static_cast<int>(m_level.rows.size()) ? row : -1;
    m_selection.clear();
    if (m_selectedRow >= 0)
        m_selection.push_back(m_selectedRow);
}

void Editor::clickLabel(int labelIndex)
{
    if (zoomArmed()) {
        clickTopView();
        return;
    }
    const int row = rowForKey(labelFor(labelIndex).key);
    if (row < 0)
        return;
    selectRow(row);
    editSelectedRow();
}

MapLabel Editor::labelFor(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_level.rows.size()))
        return {};
    const ObjectRow& r = m_level.rows[static_cast<std::size_t>(row)];
    MapLabel label;
    label.caption = r.text;
    label.key = rowKey(row);
    if (m_level.document.exists(r.kind, r.arrayId)) {
        const ItemPosition p = m_level.document.position(r.kind, r.arrayId);
        label.x = double(p.x) + 100;
        label.y = double(p.y) + 100;
    }
    label.visible = labelShown(typeIdOf(r.kind));
    return label;
}

int Editor::rowForKey(QStringView key) const
{
    const qsizetype row = rowFromKey(key);
    return row >= 0 && row < static_cast<qsizetype>(m_level.rows.size()) ? static_cast<int>(row) : -1;
}

void Editor::toggleLabels(int typeId)
{
    if (!isTypeId(typeId))
        return;
    auto& shown = m_views.labelShown[static_cast<std::size_t>(typeId)];
    shown = !shown;
    redraw();
}

void Editor::toggleAllLabels()
{
    // The labels a new level hides (pebbles) follow their own entry alone.
    for (const KindInfo& info : kindTable) {
        if (info.labelShown)
            m_views.labelShown[static_cast<std::size_t>(typeIdOf(info.kind))] = m_hideAll;
    }
    m_hideAll = !m_hideAll;
    redraw();
}

void Editor::setLabelFont()
{
    const QStringList& sizes = fontSizeEntries();
    const double s = m_fontSizeIndex >= 0 && m_fontSizeIndex < sizes.size() ? val(sizes[m_fontSizeIndex]) : 6;
    m_views.labelPointSize = static_cast<int>(s);
    redraw();
}

} // namespace starloom
