#pragma once

#include "views/MapPainter.h"

#include <QWidget>

namespace starloom {

class Editor;

// One of the two map views, painted from the editor's state through MapPainter (retained: every
// paint event draws the whole view again, into an image that is then copied onto the widget). Mouse events are reported
// in world units, with the buttons and shift state as 1 = left, 2 = right, 4 = middle and 1 = shift, 2 = ctrl, 4 = alt.
class MapView final : public QWidget {
    Q_OBJECT
public:
    enum class Which { Top, Front };

    MapView(Which which, const Editor& editor, QWidget* parent = nullptr);

    Which which() const { return m_which; }
    // Draws from `other`'s cache of the level's items (the two views of one level share one).
    void shareItemsWith(const MapView& other) { m_painter.shareItemsWith(other.m_painter); }

    // Takes the grid size and world size the views paint with from the editor, and repaints:
    // typing into the options window does not reach the views until something redraws them.
    void redraw();

    MapScene scene() const;
    QPointF toWorld(QPointF pixel) const;
    // The object-list row whose label lies under `pixel` (top view only), or -1.
    int labelAt(QPointF pixel) const;

Q_SIGNALS:
    // The pointer at `world` with `buttons` held; a press or release of `button` there.
    void mouseMoved(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPointF world);
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF world);
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF world);
    // A key while the top view has the focus; a receiver that uses it sets `*used`.
    void keyPressed(Qt::Key key, Qt::KeyboardModifiers modifiers, bool* used);
    // A press and release inside the view: on the label of `labelRow`, or on the map (-1).
    void clicked(int labelRow);
    // The wheel turned by `steps` notches (positive: away from the user) at world (x, y).
    void wheelTurned(int steps, double x, double y);
    // A drag with the middle button: the map follows the pointer, so the view moves by (dx, dy)
    // world units.
    void panned(double dx, double dy);
    // Space pressed (true) or released (false) over the top view, or the view losing the focus
    // while it was held: while it is held a drag pans, whatever the tool.
    void panHeld(bool held);
    // The view's new size in pixels (the editor's views take their shape from the top view's).
    void resized(QSize pixels);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    const Which m_which;
    const Editor& m_editor;
    MapPainter m_painter;
    QImage m_frame; // what the last paint drew, in device pixels
    QString m_gridSizeText;
    WorldSize m_world;
    bool m_pressed = false;
    int m_pressedLabel = -1;
    QPointF m_panFrom;
    int m_wheelRemainder = 0;
    bool m_spaceHeld = false;
};

} // namespace starloom
