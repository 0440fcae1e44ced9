#pragma once

#include "DialogHost.h"
#include "FittingText.h"

#include "editing/Editor.h"

#include <QMainWindow>

#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QListWidget;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class QTreeView;
class QTreeWidget;

namespace starloom {

class MapView;
class ObjectListModel;
class OptionsWindow;
class PreferencesDialog;
class SettingsStore;
class SplashWindow;
class View3DDock;

// frmMain: the widgets show the editor's state and forward what the user does to its handlers.
// After every handler refresh() copies the state back into the widgets; nothing is kept twice.
// The layout follows the window's size by the design's twip rules.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    // `host` answers the editor's questions; nullptr uses the platform's dialogs.
    MainWindow(SettingsStore& settings, const QString& gameDir, EditorHost* host = nullptr, QWidget* parent = nullptr);
    // The model lists come from `catalogue` (gamedata/'s catalogueFor).
    MainWindow(SettingsStore& settings, Catalogue catalogue, EditorHost* host = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    Editor& editor() { return m_editor; }
    const Editor& editor() const { return m_editor; }
    OptionsWindow* optionsWindow() const { return m_options; }
    PreferencesDialog* preferencesDialog() const { return m_preferences; }
    // Created by the first "About".

    // Loads a level as "Load Level" does, without asking for the file. True when it was read.
    bool loadFile(const QString& path);
    // Opens the first file as "Open Level" does and adds the others to it (the command line, a
    // drop of several files).
    void openFiles(const QStringList& files);
    // At start: keeps a recovery copy of this window's unsaved work in `folder`, and offers the
    // copies there that editors which did not exit normally left behind.
    void useRecoveryFolder(const QString& folder);

    // Shows where the model names come from (GameSetup::statusText) in the status bar.
    void showGameStatus(const QString& text);

    // Copies the editor's state into the widgets.
    void refresh();
    // Form_Resize: lays the window out for its current size, resets the view scales and redraws.
    void layoutWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Dropped .level files are loaded, one after the other.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Runs one handler of the editor and shows its result; ignored while refreshing, so that
    // widgets changed by refresh() do not call back into the editor.
    template <class F> void handle(F&& handler);

    void buildMenus();
    void buildPanel();
    void buildViews();
    void build3DView();
    void showOptions();
    void showPreferences();
    void showAbout();
    // False when the window is minimised or too narrow to lay out; then nothing moves.
    bool placeWidgets();
    // The smallest window in which every control is usable and none covers another.
    QSize minimumWindowSize() const;
    // Keeps the controls usable beside the docked 3-D view: widens the window's minimum by the
    // view's, and the window itself when the view is shown docked, as far as the screen allows.
    void fitDock3D(bool shown);
    // The window's least size for the docks shown (fitDock3D widens the window for the 3-D view too).
    void fitDocks();
    // Shrinks a docked dock that leaves the controls less than their least room.
    void shrinkDocksToFit();
    // The least height of the client area: every control of the panel inside it.
    int minimumClientHeight() const;
    void showGridSpacing();
    // "Exit": asks about unsaved work once, then closes the window.
    void exitProgram();
    // Exit while a script runs: stops it and ends the program.
    void quitWhileRunning();
    void showPointer(double x, double y);
    // A note of the editor's in the counts' place for a few seconds; an empty one shows the counts again.
    void showNote(const QString& text);
    void rebuildRecentMenu();

    // Selection on the map, the Edit menu's work on it, the Checks dock, "&Save" and the drawing
    // toggles (MainWindowEditing.cpp).
    void buildEditingUi();
    void refreshEditing();
    // Puts the editor's selection into the object list.
    void showListSelection();
    void showChecks();

    DialogHost m_dialogs;
    Editor m_editor;

    bool m_refreshing = false;
    int m_handlerDepth = 0;
    quint64 m_paintedRevision = ~quint64(0);
    bool m_exitConfirmed = false;
    bool m_quitting = false; // Exit while a script ran: the program is ending
    std::array<int, kindCount> m_shownCounts{};
    QStringList m_countForms; // the counts' texts, longest first
    QString m_note;           // the note shown in their place, if any
    QTimer* m_noteTimer = nullptr;
    QStringList m_shownRecent;

    QWidget* m_central = nullptr;
    QTreeView* m_list = nullptr;
    ObjectListModel* m_listModel = nullptr;
    MapView* m_top = nullptr;
    MapView* m_front = nullptr;
    QLabel* m_frontCaption = nullptr;
    QLabel* m_lblX = nullptr;
    QLabel* m_lblY = nullptr;
    QLabel* m_lblLeftX = nullptr;
    QLabel* m_lblLeftY = nullptr;
    QLabel* m_mode = nullptr;
    QPushButton* m_zoomIn = nullptr;
    QPushButton* m_zoomOut = nullptr;
    QTimer* m_timer = nullptr;
    QTimer* m_recoveryTimer = nullptr;

    QGroupBox* m_frame = nullptr;
    QLabel* m_itemType = nullptr;
    std::array<QRadioButton*, kindCount> m_kinds{};
    QComboBox* m_models = nullptr;
    std::array<QLabel*, 4> m_fieldCaptions{};
    std::array<QLineEdit*, 4> m_fields{};
    QPushButton* m_colour = nullptr;
    QPushButton* m_apply = nullptr;
    QLabel* m_customCaption = nullptr;
    QLineEdit* m_customName = nullptr;
    QCheckBox* m_setHeight = nullptr;
    QLineEdit* m_setHeightText = nullptr;
    QCheckBox* m_randomHeight = nullptr;
    QLineEdit* m_randomHeightText = nullptr;

    QMenu* m_objectsMenu = nullptr;
    QMenu* m_recentMenu = nullptr;
    QAction* m_undoAction = nullptr;
    QAction* m_redoAction = nullptr;
    FittingLabel* m_counts = nullptr;
    QLabel* m_pointer = nullptr;
    FittingLabel* m_gridSpacing = nullptr;
    FittingLabel* m_gameStatus = nullptr;
    QPushButton* m_select = nullptr;
    QLabel* m_selectionCount = nullptr;
    QLabel* m_measure = nullptr;
    QAction* m_snap = nullptr;
    QAction* m_measureAction = nullptr;
    QAction* m_cloudDiscs = nullptr;
    QAction* m_declutter = nullptr;
    QDockWidget* m_checksDock = nullptr;
    QSpinBox* m_minStartDistance = nullptr;
    QSpinBox* m_fairShare = nullptr;
    QTreeWidget* m_checks = nullptr;
    FittingButton* m_checksButton = nullptr;
    QStringList m_shownChecks;
    bool m_checksDockSized = false;
    int m_shownLoadProblems = 0; // the editor's loadProblemsRevision when the panel was last opened for it
    std::vector<std::vector<int>> m_checkRows; // the rows of each line of the Checks list (its UserRole)
    bool m_listSelecting = false;
    std::vector<int> m_listedSelection;   // the several rows the list last showed selected
    quint64 m_listedSerial = ~quint64(0); // the rows' change serial then
    QAction* m_hideAll = nullptr;
    std::array<QAction*, kindCount> m_showKinds{};

    OptionsWindow* m_options = nullptr;
    PreferencesDialog* m_preferences = nullptr;
    SplashWindow* m_splash = nullptr;
    View3DDock* m_dock3D = nullptr;
};

} // namespace starloom
