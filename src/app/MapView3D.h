#pragma once

#include "views/Camera3D.h"
#include "views/MapPainter3D.h"

#include <QWidget>

#include <vector>

namespace starloom {

class Editor;

// The level in perspective, painted from the editor's state through MapPainter3D. The left
// button (or Alt with it) orbits the camera around its target, the middle button (or Shift with
// the left) pans, the wheel zooms; a click on an item reports its row, a double-click also
// frames it. The camera is kept while the level is open and frames the whole level again when
// another level replaces it (New Level, Open Level).
class MapView3D final : public QWidget {
    Q_OBJECT
public:
    explicit MapView3D(const Editor& editor, QWidget* parent = nullptr);

    Camera3D camera() const;
    void setCamera(const Camera3D& camera);
    // The rows drawn highlighted: the editor's selection.
    std::vector<int> highlightedRows() const;
    Scene3D scene() const;
    // The row of the item drawn at `pixel`, or -1.
    int rowAt(QPointF pixel) const;

    // Follows the editor: a replaced level resets the camera, any change repaints.
    void sync();
    void frameAll();
    void frameSelection();
    void viewAlong(AxisView axis);

    QSize sizeHint() const override { return {480, 400}; }

Q_SIGNALS:
    // A click (or the first click of a double-click) on an item.
    void rowClicked(int row);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Drag { None, Orbit, Pan };
    // Frames the level if it was replaced since the camera was last set.
    void settle() const;
    void frame(const std::vector<Sphere>& spheres);

    const Editor& m_editor;
    MapPainter3D m_painter;
    mutable Camera3D m_camera;
    mutable bool m_framePending = true;
    mutable bool m_autoFramed = false; // nobody moved the camera since it framed the level
    quint64 m_generation = 0;
    quint64 m_paintedRevision = 0;
    std::vector<int> m_paintedSelection;

    Drag m_drag = Drag::None;
    bool m_dragged = false;
    QPointF m_pressAt;
    QPointF m_last;
    int m_wheelRemainder = 0;
};

} // namespace starloom
