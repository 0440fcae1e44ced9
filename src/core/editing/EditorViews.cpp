// The Editor's views: scales and zoom, the pointer and its readouts, the map labels.

#include "Editor.h"

#include "document/Numbers.h"
#include "gamedata/SettingsStore.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace starloom {

// ------------------------------------------------------------------ scales and zoom

void Editor::setScales()
{
    m_view.showWorld(m_level.settings);
    redraw();
}

ViewScale Editor::shownTop() const
{
    return m_view.shownTop();
}

void Editor::setTopViewSize(QSize pixels)
{
    if (m_view.setTopSize(pixels))
        redraw();
}

void Editor::setStretchToFill(bool on)
{
    m_store.write(stretchToFillKey, on ? QStringLiteral("1") : QStringLiteral("0"));
    if (m_view.setStretchToFill(on))
        redraw();
}

void Editor::zoomOutFully()
{
    m_view.showTop(zoomedOut(m_level.settings));
    redraw();
}

void Editor::zoomIn()
{
    disarmZoom();
    // A view narrower than one world unit is refused: the view stays as it is.
    if (m_view.zoomIn(m_view.topPointer().value_or(QPointF()), m_level.settings))
        redraw();
}

void Editor::zoomAround(int steps, QPointF at)
{
    if (m_view.zoomAround(steps, at, m_level.settings))
        redraw();
}

void Editor::zoomToRect(const QRectF& world)
{
    m_view.zoomToRect(world, m_level.settings);
    redraw();
}

void Editor::zoomToSelection()
{
    double left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;
    for (const int row : m_selection.rows()) {
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
    if (m_view.pan(dx, dy, m_level.settings))
        redraw();
}

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
    // A tool chosen while Space is held replaces the tool Space stood in for.
    if (std::exchange(m_heldPan, false) && m_tool == ToolKind::Pan)
        m_tool = m_beforeHeldPan;
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

void Editor::holdPan(bool held)
{
    if (held == m_heldPan)
        return;
    if (held) {
        if (m_dragTool)
            return; // a drag under way keeps its tool
        m_heldPan = true;
        m_beforeHeldPan = m_tool;
        m_tool = ToolKind::Pan;
        return;
    }
    m_heldPan = false;
    if (m_tool != ToolKind::Pan)
        return; // another tool was chosen meanwhile
    m_tool = m_beforeHeldPan;
    // A pan still being dragged ends with the button: its release, and the click that comes with
    // it, stay the pan's.
    if (m_dragTool == &m_panTool)
        m_clickEndsZoom = true;
}

void Editor::pressOnTopView(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at)
{
    m_view.setTopPointer(at);
    if (button != Qt::LeftButton)
        return;
    m_clickEndsZoom = false;
    Tool& tool = toolFor(m_tool);
    if (tool.press(PointerEvent{button, modifiers, at}))
        m_dragTool = &tool;
}

void Editor::moveOnTopView(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPointF at)
{
    m_view.setTopPointer(at);
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
    m_view.setFrontPointer(at);
}

std::int32_t Editor::pointerX() const
{
    const std::optional<QPointF> at = m_view.topPointer();
    if (m_snapToGrid && at)
        return snapped(at->x(), false);
    return at ? floorToInt32(at->x()) : 0;
}

std::int32_t Editor::pointerY() const
{
    const std::optional<QPointF> at = m_view.topPointer();
    if (m_snapToGrid && at)
        return snapped(at->y(), true);
    return at ? floorToInt32(at->y()) : 0;
}

QString Editor::lblX() const
{
    return m_view.topReadout(false);
}

QString Editor::lblY() const
{
    return m_view.topReadout(true);
}

QString Editor::lblLeftX() const
{
    return m_view.frontReadout(false);
}

QString Editor::lblLeftY() const
{
    return m_view.frontReadout(true);
}

// ------------------------------------------------------------------ rows and labels

void Editor::selectRow(int row)
{
    m_selection.selectOnly(row, static_cast<int>(m_level.rows.size()));
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
    m_view.toggleLabels(typeId);
    redraw();
}

void Editor::toggleAllLabels()
{
    m_view.toggleAllLabels();
    redraw();
}

void Editor::setLabelFont()
{
    const QStringList& sizes = fontSizeEntries();
    const double s = m_fontSizeIndex >= 0 && m_fontSizeIndex < sizes.size() ? val(sizes[m_fontSizeIndex]) : 6;
    m_view.setLabelPointSize(static_cast<int>(s));
    redraw();
}

} // namespace starloom
