#include "MapView3D.h"

#include "editing/Editor.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <cmath>

namespace starloom {

namespace {

constexpr double degreesPerPixel = 0.4;
constexpr double zoomPerNotch = 1.2;
constexpr double clickSlop = 3; // pixels a press may move and still be a click

} // namespace

MapView3D::MapView3D(const Editor& editor, QWidget* parent)
    : QWidget(parent),
      m_editor(editor),
      m_generation(editor.levelGeneration()),
      m_paintedRevision(editor.revision()),
      m_paintedSelection(editor.selection())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(160, 120);
}

void MapView3D::settle() const
{
    if (!m_framePending || size().isEmpty())
        return;
    m_framePending = false;
    m_autoFramed = true;
    m_camera =
        framedAll(Camera3D{}, m_editor.document(), m_editor.rows(), worldSize(m_editor.mapSettings()), QSizeF(size()));
}

Camera3D MapView3D::camera() const
{
    settle();
    return m_camera;
}

void MapView3D::setCamera(const Camera3D& camera)
{
    m_framePending = false;
    m_autoFramed = false;
    m_camera = camera;
    update();
}

std::vector<int> MapView3D::highlightedRows() const
{
    // The selection the 2-D views and the object list share.
    if (!m_editor.selection().empty())
        return m_editor.selection();
    const int row = m_editor.selectedRow();
    return row >= 0 ? std::vector<int>{row} : std::vector<int>{};
}

Scene3D MapView3D::scene() const
{
    Scene3D scene;
    scene.document = &m_editor.document();
    scene.rows = &m_editor.rows();
    scene.world = worldSize(m_editor.mapSettings());
    scene.gridSizeText = m_editor.gridSize();
    scene.camera = camera();
    scene.highlighted = highlightedRows();
    scene.colours = mapColoursFor(palette().color(QPalette::Window), palette().color(QPalette::WindowText));
    scene.revision = m_editor.revision();
    return scene;
}

int MapView3D::rowAt(QPointF pixel) const
{
    return m_painter.rowAt(scene(), size(), pixel);
}

void MapView3D::sync()
{
    if (m_editor.levelGeneration() != m_generation) {
        m_generation = m_editor.levelGeneration();
        m_framePending = true;
    }
    if (m_framePending || m_editor.revision() != m_paintedRevision || m_editor.selection() != m_paintedSelection)
        update();
}

void MapView3D::frame(const std::vector<Sphere>& spheres)
{
    if (spheres.empty())
        return;
    setCamera(camera().framing(spheres, QSizeF(size())));
}

void MapView3D::frameAll()
{
    setCamera(
        framedAll(camera(), m_editor.document(), m_editor.rows(), worldSize(m_editor.mapSettings()), QSizeF(size())));
}

void MapView3D::frameSelection()
{
    const std::vector<int> rows = highlightedRows();
    frame(itemSpheres(m_editor.document(), m_editor.rows(), &rows));
}

void MapView3D::viewAlong(AxisView axis)
{
    setCamera(camera().alongAxis(axis));
}

bool MapView3D::event(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        update(); // the view follows the desktop's colour scheme, as the map views do
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int row = rowAt(help->pos());
        if (row >= 0)
            QToolTip::showText(help->globalPos(), m_editor.rows()[std::size_t(row)].text, this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void MapView3D::paintEvent(QPaintEvent*)
{
    m_paintedRevision = m_editor.revision();
    m_paintedSelection = m_editor.selection();
    QPainter painter(this);
    m_painter.paint(painter, size(), scene());
}

void MapView3D::mousePressEvent(QMouseEvent* event)
{
    m_pressAt = m_last = event->position();
    m_dragged = false;
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    if (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && shift))
        m_drag = Drag::Pan;
    else if (event->button() == Qt::LeftButton)
        m_drag = Drag::Orbit;
    else
        m_drag = Drag::None;
}

void MapView3D::mouseMoveEvent(QMouseEvent* event)
{
    if (m_drag == Drag::None)
        return;
    const QPointF at = event->position();
    if (!m_dragged && QLineF(m_pressAt, at).length() <= clickSlop)
        return;
    m_dragged = true;
    const QPointF d = at - m_last;
    m_last = at;
    // The scene follows the pointer: dragging to the right turns its front to the right,
    // dragging down tilts its top towards the viewer.
    if (m_drag == Drag::Orbit)
        setCamera(camera().orbited(-d.x() * degreesPerPixel, d.y() * degreesPerPixel));
    else
        setCamera(camera().panned(d.x(), d.y(), QSizeF(size())));
}

void MapView3D::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_drag == Drag::Orbit && !m_dragged && event->button() == Qt::LeftButton
        && !event->modifiers().testFlag(Qt::AltModifier);
    if (event->buttons() == Qt::NoButton)
        m_drag = Drag::None;
    if (!click)
        return;
    const int row = rowAt(event->position());
    if (row >= 0)
        Q_EMIT rowClicked(row);
}

void MapView3D::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    const int row = rowAt(event->position());
    if (row < 0)
        return;
    Q_EMIT rowClicked(row);
    const std::vector<int> rows{row};
    frame(itemSpheres(m_editor.document(), m_editor.rows(), &rows));
}

void MapView3D::resizeEvent(QResizeEvent*)
{
    // A level framed for another shape of the view is framed again, until the camera is moved.
    if (m_autoFramed)
        m_framePending = true;
}

void MapView3D::wheelEvent(QWheelEvent* event)
{
    m_wheelRemainder += event->angleDelta().y();
    const int steps = m_wheelRemainder / 120;
    m_wheelRemainder -= steps * 120;
    if (steps != 0)
        setCamera(camera().zoomed(std::pow(zoomPerNotch, steps)));
    event->accept();
}

} // namespace starloom
