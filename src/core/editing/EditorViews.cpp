// The Editor's views: scales and zoom, the pointer and its readouts, the map labels.

#include "Editor.h"

#include "document/Numbers.h"

#include <cmath>

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
    redraw();
}

void Editor::cmdZoomIn_Click()
{
    m_zoomArmed = true;
}

void Editor::cmdZoomOut_Click()
{
    setTopView(zoomedOut(m_level.settings));
}

void Editor::setTopView(const ViewScale& top)
{
    m_views.top = top;
    m_views.front = frontFollowing(m_views.front, top);
    redraw();
}

void Editor::zoomIn()
{
    m_zoomArmed = false;
    const QPointF at = m_topPointer.value_or(QPointF());
    // A view narrower than one world unit is refused: the view stays as it is.
    if (const auto zoomed = zoomedIn(m_views.top, at.x(), at.y(), m_level.settings))
        setTopView(*zoomed);
}

void Editor::Picture1_MouseWheel(int steps, double x, double y)
{
    if (steps == 0)
        return;
    const double factor = std::pow(1.25, steps);
    if (const auto zoomed = zoomedAround(m_views.top, x, y, factor, m_level.settings))
        setTopView(*zoomed);
}

void Editor::panTopView(double dx, double dy)
{
    const ViewScale moved = panned(m_views.top, dx, dy, m_level.settings);
    if (moved != m_views.top)
        setTopView(moved);
}

// ------------------------------------------------------------------ the pointer

void Editor::Picture1_MouseMove(int buttons, int, double x, double y)
{
    m_topPointer = QPointF(x, y);
    if (!(buttons == 1 && m_drag == Drag::Move))
        updateHover(); // the item a drag moves stays the pointer's
    if (buttons == 1 && m_drag != Drag::None) {
        dragSelectionTo(x, y);
        return;
    }
    if (buttons == 1) {
        if (!m_buttonDown)
            ++m_dragId; // a new drag: its placements or moves become one undo step
        m_buttonDown = true;
    } else if (buttons == 0) {
        m_clickEndsDrag = false;
    }
}

void Editor::Picture1_MouseUp(int, int, double, double)
{
    if (m_drag == Drag::Band)
        finishBand(m_bandShift);
    if (m_drag != Drag::None) {
        m_drag = Drag::None;
        m_buttonDown = false;
        m_clickEndsDrag = false;
        redraw();
        return;
    }
    // The click that comes with the release still belongs to the drag.
    m_clickEndsDrag = m_buttonDown;
    m_buttonDown = false;
}

void Editor::picLeft_MouseMove(int, int, double x, double y)
{
    m_frontPointer = QPointF(x, y);
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

void Editor::lblObjects_Click(int labelIndex)
{
    if (m_zoomArmed) {
        Picture1_Click();
        return;
    }
    const int row = rowForKey(labelFor(labelIndex).key);
    if (row < 0)
        return;
    selectRow(row);
    lstObjects_Click();
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

void Editor::mnuLabelsHide_Click(int typeId)
{
    if (!isTypeId(typeId))
        return;
    auto& shown = m_views.labelShown[static_cast<std::size_t>(typeId)];
    shown = !shown;
    redraw();
}

void Editor::mnuLabelsHideAll_Click()
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
