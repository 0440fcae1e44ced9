#pragma once

#include "gamedata/GameSetup.h"

#include <QDialog>

#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace starloom {

class Editor;
class SettingsStore;

// "Preferences": what the user chooses for every level: the grid size, the size of the labels'
// font, the game folder and the mods' data folders. OK stores them (the grid and font at once,
// the game from the next start); Cancel leaves them as they were. A grid size that is not a
// positive number is marked on its field and OK is refused until it is put right.
class PreferencesDialog final : public QDialog {
    Q_OBJECT
public:
    explicit PreferencesDialog(Editor& editor, QWidget* parent = nullptr);

    // Opens the dialog (window-modal) on the stored preferences.
    void showPreferences();

    // The "Game folder" row: the games `found`, the one `setup` uses selected, and the mod
    // folders. OK stores a changed choice in `store`; it is used from the next start.
    void showGames(const std::vector<GameInstall>& found, const GameSetup& setup, SettingsStore& store);
    // What "Browse..." does with the folder picked: adds and selects the games it holds, or says
    // why it holds none.
    void chooseGameFolder(const QString& folder);

    void accept() override;
    void reject() override;

Q_SIGNALS:
    // A handler of the editor ran; the main window shows its result.
    void handlerRan();

private:
    void addGame(const GameInstall& game);
    void describeGame();
    void validate();

    Editor& m_editor;
    QLineEdit* m_gridSize;
    QAction* m_gridMark;
    QComboBox* m_fontSize;
    QComboBox* m_gameFolder;
    QPushButton* m_browseGame;
    QLabel* m_gameNote;
    QLineEdit* m_modFolders;
    QPushButton* m_ok;
    std::vector<GameInstall> m_games; // the entries of m_gameFolder
    SettingsStore* m_store = nullptr;
    bool m_gameChanged = false;
    QString m_problem; // why the folder last picked holds no game
    // The game row as the dialog opened, which Cancel gives back.
    int m_openedGame = -1;
    QString m_openedMods;
    bool m_openedGameChanged = false;
};

} // namespace starloom
