#pragma once

#include "gamedata/GameSetup.h"

#include <QWidget>

#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QTableWidget;
class QLineEdit;
class QPushButton;

namespace starloom {

class Editor;
class SettingsStore;

// frmGlobals, "Globals": the level-wide settings and the two display settings. Its fields write
// into the editor as they are typed; "Done!" stores and applies the display settings and hides
// the window, and so does closing it, which first gives a value "Done!" would refuse its earlier
// value back.
class OptionsWindow final : public QWidget {
    Q_OBJECT
public:
    explicit OptionsWindow(Editor& editor, QWidget* parent = nullptr);

    // Shows the editor's values in the fields (after New Level or a load changed them).
    void refresh();

    // The "Game folder" row: the games `found`, the one `setup` uses selected, and the mod
    // folders. "Done!" stores a changed choice in `store`; it is used from the next start.
    void showGames(const std::vector<GameInstall>& found, const GameSetup& setup, SettingsStore& store);
    // What "Browse..." does with the folder picked: adds and selects the games it holds, or says
    // why it holds none.
    void chooseGameFolder(const QString& folder);

Q_SIGNALS:
    // A handler of the editor ran; the main window shows its result.
    void handlerRan();

protected:
    // Closing the window (its close button, Escape) is "Done!" for every value the game can read
    // and gives the others their earlier values back.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void done();
    // "Done!" (or, `closing`, the window's close): stores the game choice and the settings; false
    // when a value was refused and the window stays open.
    bool accept(bool closing);
    void addGame(const GameInstall& game);
    void describeGame();

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
    QTableWidget* m_playerTable;
    QLabel* m_keptCaption;
    QListWidget* m_keptCalls;
    QComboBox* m_gameFolder;
    QPushButton* m_browseGame;
    QLabel* m_gameNote;
    QLineEdit* m_modFolders;
    std::vector<GameInstall> m_games; // the entries of m_gameFolder
    SettingsStore* m_store = nullptr;
    bool m_gameChanged = false;
    QString m_problem; // why the folder last picked holds no game
};

} // namespace starloom
