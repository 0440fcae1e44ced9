#pragma once

#include <QDockWidget>

class QMenu;

namespace starloom {

class Editor;
class MapView3D;

// The dock that holds the 3-D view ("dock3D", its view "view3D"), and the "&View" menu that
// shows or hides it and moves its camera. The camera keys (Home frames all, F frames the
// selection, 7, 1 and 3 look from the top, the front and the side) act while the view has the
// focus; F3 shows or hides the dock anywhere in the window.
class View3DDock final : public QDockWidget {
    Q_OBJECT
public:
    View3DDock(const Editor& editor, QWidget* parent);

    MapView3D* view() const { return m_view; }
    QMenu* menu() const { return m_menu; }

private:
    MapView3D* m_view = nullptr;
    QMenu* m_menu = nullptr;
};

} // namespace starloom
