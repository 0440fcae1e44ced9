#pragma once

#include <QDialog>

#include <array>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace starloom {

class Editor;

// frmGlobals, "Level Settings": the level-wide settings, the player table and the calls the level
// keeps. Its fields write into the editor as they are typed; a size or camera distance the game
// cannot read is marked on its field with the reason, and OK is refused until it is put right.
// OK ("Done!") stores the settings as one undo step; Cancel, Escape and the close button give the
// level its settings back as they were when the dialog opened.
class OptionsWindow final : public QDialog {
    Q_OBJECT
public:
    explicit OptionsWindow(Editor& editor, QWidget* parent = nullptr);

    // Shows the editor's values in the fields (after New Level or a load changed them).
    void refresh();
    // Opens the dialog (window-modal) on the level's present settings.
    void showForLevel();

    void accept() override;
    void reject() override;

Q_SIGNALS:
    // A handler of the editor ran; the main window shows its result.
    void handlerRan();

private:
    // Marks the fields whose text breaks its rule and allows OK when none does.
    void validate();

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
    std::array<QLineEdit*, 5> m_ruled{}; // the fields with a rule, as ruledSettings() lists them
    std::array<QAction*, 5> m_marks{};   // the mark of each on its field
    QLabel* m_problems;
    QPushButton* m_ok;
    QTableWidget* m_playerTable;
    QLabel* m_keptCaption;
    QListWidget* m_keptCalls;
};

} // namespace starloom
