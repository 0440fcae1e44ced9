#include "MapView.h"

#include "editing/Editor.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QResizeEvent>
#include <QToolTip>
#include <QWheelEvent>

#include <cmath>
#include <utility>

namespace starloom {

namespace {

// The buttons the map reads: the three of a mouse, whatever else the device reports.
Qt::MouseButtons mapButtons(Qt::MouseButtons buttons)
{
    return buttons & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton);
}

} // namespace

MapView::MapView(Which which, const Editor& editor, QWidget* parent) : QWidget(parent), m_which(which), m_editor(editor)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    redraw();
}

void MapView::redraw()
{
    m_gridSizeText = m_editor.gridSize();
    m_world = worldSize(m_editor.mapSettings());
    update();
}

MapScene MapView::scene() const
{
    MapScene scene = sceneOf(m_editor.level(), m_editor.views(), m_gridSizeText, m_world);
    scene.revision = m_editor.revision();
    scene.selection = &m_editor.selection();
    scene.hoveredRow = m_editor.hoveredRow();
    scene.rubberBand = m_editor.rubberBand();
    scene.measure = m_editor.measureLine();
    scene.colours = mapColoursFor(palette().color(QPalette::Window), palette().color(QPalette::WindowText));
    return scene;
}

QPointF MapView::toWorld(QPointF pixel) const
{
    const ViewScale& scale = m_which == Which::Top ? m_editor.topScale() : m_editor.frontScale();
    return scale.toWorld(pixel, QSizeF(size()));
}

int MapView::labelAt(QPointF pixel) const
{
    if (m_which != Which::Top)
        return -1;
    return m_painter.labelAt(scene(), size(), pixel, this);
}

void MapView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Q_EMIT resized(size());
}

bool MapView::event(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        update(); // the map follows the desktop's colour scheme
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int row = labelAt(help->pos());
        const int hovered = m_which == Which::Top ? m_editor.hoveredRow() : -1;
        if (row >= 0)
            QToolTip::showText(help->globalPos(), rowKey(row), this);
        else if (hovered >= 0 && hovered < static_cast<int>(m_editor.rows().size()))
            // The item's caption, whose label may be left out where labels crowd.
            QToolTip::showText(help->globalPos(),
                m_editor.rows()[static_cast<std::size_t>(hovered)].text + QStringLiteral(" (") + rowKey(hovered)
                    + QLatin1Char(')'),
                this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void MapView::paintEvent(QPaintEvent*)
{
    // The view is drawn into an image of the window's pixels and then copied: drawn into a 32-bit
    // image, the items' squares are written straight into its pixels. The image keeps the widget's
    // resolution so that labels are laid out as they would be on the widget.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels(static_cast<int>(std::ceil(width() * ratio)), static_cast<int>(std::ceil(height() * ratio)));
    if (m_frame.size() != pixels || m_frame.devicePixelRatio() != ratio) {
        m_frame = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_frame.setDevicePixelRatio(ratio);
    }
    const int dotsX = static_cast<int>(std::lround(logicalDpiX() / 0.0254));
    const int dotsY = static_cast<int>(std::lround(logicalDpiY() / 0.0254));
    if (m_frame.dotsPerMeterX() != dotsX)
        m_frame.setDotsPerMeterX(dotsX);
    if (m_frame.dotsPerMeterY() != dotsY)
        m_frame.setDotsPerMeterY(dotsY);
    {
        QPainter frame(&m_frame);
        const MapScene s = scene();
        if (m_which == Which::Top) {
            m_painter.paintTopView(frame, size(), s);
            if (s.measure)
                drawMeasureLength(frame, size(), s.top, *s.measure, m_editor.measureText(), s.colours);
        } else
            m_painter.paintFrontView(frame, size(), s);
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), m_frame);
}

void MapView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_which == Which::Top && event->buttons().testFlag(Qt::MiddleButton)) {
        const QPointF from = toWorld(m_panFrom);
        const QPointF to = toWorld(event->position());
        m_panFrom = event->position();
        Q_EMIT panned(from.x() - to.x(), from.y() - to.y());
    }
    const QPointF w = toWorld(event->position());
    // A press on a label belongs to the label: dragging from it does not start a drag on the map.
    const Qt::MouseButtons buttons = m_pressed && m_pressedLabel >= 0 ? Qt::NoButton : mapButtons(event->buttons());
    Q_EMIT mouseMoved(buttons, event->modifiers(), w);
}

void MapView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        m_panFrom = event->position();
        return;
    }
    m_pressed = true;
    m_pressedLabel = labelAt(event->position());
    const QPointF w = toWorld(event->position());
    Q_EMIT mousePressed(event->button(), event->modifiers(), w);
}

void MapView::mouseReleaseEvent(QMouseEvent* event)
{
    // The position of the release first, then the release, then the click, as the toolkit the
    // handlers were written for reports them.
    const QPointF w = toWorld(event->position());
    Q_EMIT mouseMoved(mapButtons(event->buttons()), event->modifiers(), w);
    Q_EMIT mouseReleased(event->button(), event->modifiers(), w);
    if (event->button() == Qt::MiddleButton)
        return;
    const bool wasPressed = m_pressed;
    m_pressed = false;
    if (!wasPressed || event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    if (m_pressedLabel < 0)
        Q_EMIT clicked(-1);
    else if (labelAt(event->position()) == m_pressedLabel)
        Q_EMIT clicked(m_pressedLabel);
}

void MapView::keyPressEvent(QKeyEvent* event)
{
    if (m_which == Which::Top && event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat() && !m_spaceHeld) {
            m_spaceHeld = true;
            Q_EMIT panHeld(true);
        }
        event->accept();
        return;
    }
    bool used = false;
    if (m_which == Which::Top)
        Q_EMIT keyPressed(Qt::Key(event->key()), event->modifiers(), &used);
    if (used)
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

void MapView::keyReleaseEvent(QKeyEvent* event)
{
    if (m_which == Which::Top && event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat() && m_spaceHeld) {
            m_spaceHeld = false;
            Q_EMIT panHeld(false);
        }
        event->accept();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void MapView::focusOutEvent(QFocusEvent* event)
{
    if (std::exchange(m_spaceHeld, false))
        Q_EMIT panHeld(false); // the release will not reach this view
    QWidget::focusOutEvent(event);
}

void MapView::wheelEvent(QWheelEvent* event)
{
    if (m_which != Which::Top) {
        event->ignore();
        return;
    }
    // High-resolution wheels send fractions of a notch; they add up to whole steps.
    m_wheelRemainder += event->angleDelta().y();
    const int steps = m_wheelRemainder / 120;
    m_wheelRemainder -= steps * 120;
    if (steps != 0) {
        const QPointF w = toWorld(event->position());
        Q_EMIT wheelTurned(steps, w.x(), w.y());
    }
    event->accept();
}

} // namespace starloom
