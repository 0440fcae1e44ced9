#pragma once

#include "DialogHost.h"
#include "FittingText.h"

#include "editing/Editor.h"

#include <QHash>
#include <QMainWindow>

#include <array>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QListWidget;
class QFrame;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QSplitter;
class QToolBar;
class QToolButton;
class QTimer;
class QTreeView;
class QTreeWidget;
class QVBoxLayout;

namespace starloom {

class MapView;
class ObjectListModel;
class OptionsWindow;
class PreferencesDialog;
class SettingsStore;
class SplashWindow;
class View3DDock;

// frmMain: the widgets show the editor's state and forward what the user does to its commands.
// After every command refresh() copies the state back into the widgets; nothing is kept twice.
// The two views fill the centre (top above front); the object list, the item panel, the checks,
// the undo history and the 3-D view are docks the user arranges, and the arrangement is kept.
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
    // View > Reset Layout: the docks, the tool bar and the views' splitter as at the first start.
    void resetLayout();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
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
    // The tool bar of the map's tools and the docks of the object list, the panel and the undo
    // history, with their entries in the View menu (MainWindowDocks.cpp).
    void buildToolBar();
    void buildDocks();
    void buildObjectList();
    // The window's place and size, the docks' arrangement and the splitter, kept in the settings.
    void saveLayout();
    void restoreLayout();
    void refreshTools();
    // Marks `field` as refused with `reason` (its tooltip), or clears the mark when `reason` is empty.
    void markField(QLineEdit* field, const QString& reason);
    void showPosition();
    // The panel's value fields: the panel's own for one item or none, the fields the selected
    // items share for several (MainWindowEditing.cpp).
    void showFields();
    // Hides the object list's rows that the filter box's text does not match.
    void filterObjects();
    // The hint over the top view of an empty level (MainWindowHint.cpp).
    void buildStartHint();
    void refreshStartHint();
    void placeStartHint();
    void showOptions();
    void showPreferences();
    // "Open from Game...": lists the game's maps and opens the one chosen.
    void openFromGame();
    void showAbout();
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
    // The Checks dock: the findings and the load problems grouped by code under a filter box; a
    // click on a line selects its items and frames them (MainWindowChecks.cpp).
    void buildChecksDock();
    void showChecks();
    void fillChecks();

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
    QToolButton* m_zoomIn = nullptr;
    QToolButton* m_zoomOut = nullptr;
    QSplitter* m_viewSplit = nullptr;
    QFrame* m_hint = nullptr;
    QLabel* m_hintRecentCaption = nullptr;
    std::vector<QPushButton*> m_hintRecent;
    QToolBar* m_toolBar = nullptr;
    std::array<QAction*, 5> m_toolActions{}; // by ToolKind
    QAction* m_stretch = nullptr;
    QDockWidget* m_objectsDock = nullptr;
    QLineEdit* m_objectFilter = nullptr;
    QString m_filteredText;                 // the filter the rows were last hidden by
    quint64 m_filteredSerial = ~quint64(0); // and the rows' change serial then
    QDockWidget* m_propertiesDock = nullptr;
    QDockWidget* m_historyDock = nullptr;
    SettingsStore& m_settings;
    QByteArray m_defaultLayout; // saveState() as built, for Reset Layout
    QTimer* m_timer = nullptr;
    QTimer* m_recoveryTimer = nullptr;

    QGroupBox* m_frame = nullptr;
    QVBoxLayout* m_panelLayout = nullptr;
    QScrollArea* m_panelScroll = nullptr;
    QGridLayout* m_kindGrid = nullptr;
    QLabel* m_itemType = nullptr;
    std::array<QRadioButton*, kindCount> m_kinds{};
    QComboBox* m_models = nullptr;
    std::array<QLabel*, 4> m_fieldCaptions{};
    std::array<QLineEdit*, 4> m_fields{};
    QPushButton* m_colour = nullptr;
    QPushButton* m_apply = nullptr;
    QLabel* m_customCaption = nullptr;
    QLineEdit* m_customName = nullptr;
    std::array<QLabel*, 3> m_positionCaptions{};
    std::array<QLineEdit*, 3> m_position{};   // X, Y, height of the selection
    quint64 m_positionMarkedAt = ~quint64(0); // the revision when a refused position was marked
    quint64 m_positionShownAt = ~quint64(0);  // the revision the position fields show
    std::vector<SharedField> m_sharedFields;  // of the selection at m_sharedFieldsAt
    quint64 m_sharedFieldsAt = ~quint64(0);
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
    QToolButton* m_select = nullptr;
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
    QLineEdit* m_checksFilter = nullptr;
    FittingButton* m_checksButton = nullptr;
    int m_shownLoadProblems = 0; // the editor's loadProblemsRevision when the panel was last opened for it
    // What the Checks list shows now, to fill it again only when that changes.
    struct ShownChecks {
        std::vector<Finding> findings;
        int loadProblems = -1; // the editor's loadProblemsRevision, and how many there are
        std::size_t problemCount = 0;
        quint64 rowSerial = ~quint64(0);
        QString filter;
    } m_shownChecks;
    std::vector<std::vector<int>> m_checkRows; // the rows of each line of the Checks list (its UserRole)
    QHash<QString, bool> m_checkGroupsOpen;    // by code: groups the user opened or closed
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
