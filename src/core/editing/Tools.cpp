// The tools of the top view: what a press, drag, release and click of the left button do.

#include "Tools.h"

#include "Editor.h"
#include "Selection.h"
#include "Transforms.h"

#include "document/Numbers.h"

#include <algorithm>

namespace starloom {

// ------------------------------------------------------------------ place

void PlaceTool::click()
{
    if (m_editor.m_panel.mode == EditorMode::Editing)
        m_editor.moveSelected();
    else if (m_editor.m_panel.mode == EditorMode::Placement)
        m_editor.placeItem();
}

void PlaceTool::repeat()
{
    click();
}

// ------------------------------------------------------------------ select

bool SelectTool::press(const PointerEvent& event)
{
    Editor& e = m_editor;
    m_start = event.world;
    const int hit = e.itemUnder(event.world.x(), event.world.y());
    if (hit < 0) {
        m_drag = Drag::Band;
        m_bandModifiers = event.modifiers;
        m_band = QRectF(m_start, m_start);
        e.redraw();
        return true;
    }
    if (event.modifiers.testFlag(Qt::ControlModifier))
        e.toggleSelected(hit);
    else if (event.modifiers.testFlag(Qt::ShiftModifier))
        e.addToSelection(hit);
    else if (!e.isSelected(hit))
        e.setSelection({hit});
    if (!e.isSelected(hit))
        return false;
    m_drag = Drag::Move;
    m_grabbed = rowPosition(e.m_level, hit).value_or(ItemPosition{});
    m_applied = QPoint();
    ++e.m_dragId; // the moves of this drag become one undo step
    e.m_buttonDown = true;
    return true;
}

void SelectTool::drag(const PointerEvent& event)
{
    switch (m_drag) {
    case Drag::None:
        return;
    case Drag::Band:
        m_band = QRectF(m_start, event.world).normalized();
        m_editor.redraw();
        return;
    case Drag::Move:
        moveSelectionTo(event.world);
        return;
    }
}

void SelectTool::moveSelectionTo(QPointF world)
{
    Editor& e = m_editor;
    // The grabbed item follows the pointer (onto the grid's points when snapping).
    const double tx = double(m_grabbed.x) + (world.x() - m_start.x());
    const double ty = double(m_grabbed.y) + (world.y() - m_start.y());
    const qint64 dx = qint64(e.m_snapToGrid ? e.snapped(tx, false) : floorToInt32(tx)) - m_grabbed.x - m_applied.x();
    const qint64 dy = qint64(e.m_snapToGrid ? e.snapped(ty, true) : floorToInt32(ty)) - m_grabbed.y - m_applied.y();
    if (dx == 0 && dy == 0)
        return;
    m_applied += QPoint(int(dx), int(dy));
    e.pushSelectionEdit(QStringLiteral("Move %1 Items").arg(e.m_selection.size()),
        changeSteps(e.m_level, e.m_selection.rows(), [=](AnyRecord r) { return shiftedRecord(std::move(r), dx, dy); }),
        e.m_selection.rows(), -1, true);
}

void SelectTool::release(const PointerEvent&)
{
    if (m_drag == Drag::Band)
        finishBand(m_bandModifiers);
    m_drag = Drag::None;
}

void SelectTool::leave()
{
    m_drag = Drag::None;
    m_band.reset();
}

void SelectTool::finishBand(Qt::KeyboardModifiers modifiers)
{
    if (!m_band)
        return;
    Editor& e = m_editor;
    std::vector<int> inside = rowsInRect(e.m_level, *m_band);
    m_band.reset();
    if (modifiers.testFlag(Qt::ControlModifier)) {
        std::vector<int> rows = e.m_selection.rows();
        for (const int row : inside) {
            if (const auto it = std::find(rows.begin(), rows.end(), row); it != rows.end())
                rows.erase(it);
            else
                rows.push_back(row);
        }
        e.setSelection(std::move(rows));
    } else if (modifiers.testFlag(Qt::ShiftModifier)) {
        inside.insert(inside.end(), e.m_selection.rows().begin(), e.m_selection.rows().end());
        e.setSelection(std::move(inside));
    } else {
        e.setSelection(std::move(inside));
    }
}

// ------------------------------------------------------------------ measure

bool MeasureTool::press(const PointerEvent& event)
{
    m_line.reset();
    setEnd(0, event.world);
    m_rows[1] = m_rows[0];
    m_editor.redraw();
    return true;
}

void MeasureTool::drag(const PointerEvent& event)
{
    setEnd(1, event.world);
    m_editor.redraw();
}

void MeasureTool::leave()
{
    m_line.reset();
}

void MeasureTool::setEnd(int end, QPointF world)
{
    const int row = m_editor.itemUnder(world.x(), world.y());
    const std::optional<ItemPosition> at = row >= 0 ? rowPosition(m_editor.m_level, row) : std::nullopt;
    const QPointF point = at ? QPointF(at->x, at->y) : world;
    m_rows[std::size_t(end)] = at ? row : -1;
    if (!m_line)
        m_line = QLineF(point, point);
    if (end == 0)
        m_line->setP1(point);
    m_line->setP2(point);
}

// ------------------------------------------------------------------ zoom

bool ZoomTool::press(const PointerEvent& event)
{
    m_start = event.world;
    m_band.reset();
    return true;
}

void ZoomTool::drag(const PointerEvent& event)
{
    m_band = QRectF(m_start, event.world).normalized();
    m_editor.redraw();
}

void ZoomTool::release(const PointerEvent& event)
{
    const QRectF band = QRectF(m_start, event.world).normalized();
    m_band.reset();
    const QSizeF pixels(m_editor.topViewSize());
    const ViewScale shown = m_editor.shownTop();
    const bool dragged = pixels.isEmpty() ? band.width() > 0 && band.height() > 0
                                          : band.width() * shown.pixelsPerUnitX(pixels) >= minDragPixels
            && band.height() * shown.pixelsPerUnitY(pixels) >= minDragPixels;
    if (!dragged)
        return; // the click that follows zooms in
    m_editor.m_clickEndsZoom = true;
    m_editor.disarmZoom();
    m_editor.zoomToRect(band);
}

void ZoomTool::click()
{
    m_editor.zoomIn();
}

bool ZoomTool::key(Qt::Key key, Qt::KeyboardModifiers)
{
    if (key != Qt::Key_Escape)
        return false;
    m_editor.disarmZoom();
    return true;
}

// ------------------------------------------------------------------ pan

bool PanTool::press(const PointerEvent& event)
{
    m_grabbed = event.world;
    return true;
}

void PanTool::drag(const PointerEvent& event)
{
    // The view moves so that the grabbed point comes back under the pointer.
    m_editor.panTopView(m_grabbed.x() - event.world.x(), m_grabbed.y() - event.world.y());
}

} // namespace starloom
