#pragma once

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace starloom {

class Editor;

// frmGlobals, "Globals": the level-wide settings and the two display settings. Its fields write
// into the editor as they are typed; "Done!" stores and applies the display settings and hides
// the window. Closing the window only hides it.
class OptionsWindow final : public QWidget {
    Q_OBJECT
public:
    explicit OptionsWindow(Editor& editor, QWidget* parent = nullptr);

    // Shows the editor's values in the fields (after New Level or a load changed them).
    void refresh();

Q_SIGNALS:
    // A handler of the editor ran; the main window shows its result.
    void handlerRan();

private:
    void done();

    Editor& m_editor;
    bool m_refreshing = false;
    QLineEdit* m_levelDesc;
    QComboBox* m_players;
    QLineEdit* m_sizeX;
    QLineEdit* m_sizeY;
    QLineEdit* m_sizeZ;
    QComboBox* m_background;
    QLineEdit* m_cameraMin;
    QLineEdit* m_cameraMax;
    QComboBox* m_music;
    QLineEdit* m_gridSize;
    QComboBox* m_fontSize;
    QPushButton* m_done;
};

} // namespace starloom
