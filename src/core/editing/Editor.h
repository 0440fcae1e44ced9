#pragma once

#include "Checks.h"
#include "EditCommands.h"
#include "EditorHost.h"
#include "Panel.h"
#include "RowChangeLog.h"
#include "Selection.h"

#include "document/Catalogue.h"
#include "document/ItemKind.h"
#include "document/Level.h"
#include "levelfile/LevelReader.h"
#include "views/MapScene.h"
#include "views/ViewScale.h"

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUndoStack>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QLockFile;

namespace starloom {

class ModelLists;
enum class MirrorAxis : std::uint8_t;

class SettingsStore;

inline const QString levelFileFilter = QStringLiteral("LEVEL Files (*.level)");

// A uniform random number in [0, 1).
using RandomSource = std::function<double()>;
RandomSource defaultRandomSource();

// The text label of one object-list row on the top view. Labels are not stored: each row has
// exactly one, derived from the row and its record.
struct MapLabel {
    QString caption;
    QString key;  // the row's key, shown as the tooltip
    double x = 0; // world position of the top-left corner: the item's position + (100, 100)
    double y = 0;
    bool visible = false; // the row kind's "Show" check
};

// Everything the main window and the options window show, as plain data, and every handler of
// theirs under its own name. Each handler that changes the level builds the changed value and
// pushes it as one undoable command.
//
// The handlers are defined by concern: EditorFiles.cpp (new, open, load, save, recent levels,
// recovery), EditorPanel.cpp (kind, model, fields), EditorEdits.cpp (place, move, apply, delete,
// set player, the level's settings), EditorViews.cpp (scales, zoom, pointer, labels) and
// Editor.cpp (start-up, undo and redo).
class Editor {
public:
    // The model lists come from the game in `gameDir` (its Data folder and archives).
    Editor(EditorHost& host, SettingsStore& settingsStore, RandomSource random, QString gameDir);
    ~Editor();
    Editor(EditorHost& host, SettingsStore& settingsStore, RandomSource random, Catalogue catalogue);

    // --- start-up and level commands (EditorFiles.cpp)
    void Form_Load();
    void mnuFileNew_Click();
    // Returns true when the file was written.
    bool mnuFileSave_Click();
    // Returns true when a file was read.
    bool mnuFileLoad_Click();
    // Loads a level file into the level with the line reader (Load Level, a recovery copy).
    bool loadFile(const QString& path);
    // "Open Level": after the unsaved-changes question, replaces the level with what the file's
    // script builds when it runs in the sandbox. True when the level was replaced.
    bool mnuFileOpen_Click();
    bool openFile(const QString& path);
    // Appends what the file's script builds to the level (further files dropped or named with
    // the first one).
    bool appendFile(const QString& path);
    // Where the scripts' includes ("data:scripts/x.lua") are read from (ScriptOptions::readInclude);
    // unset, none are found.
    void setIncludeReader(
        std::function<std::optional<QByteArray>(const QString& path, qint64 maxBytes, QString* error)> reader)
    {
        m_includeReader = std::move(reader);
    }
    // "Exit" and closing the window: true when the program may end (nothing unsaved, or the user
    // saved or discarded it). Removes the recovery copy then.
    bool mnuFileExit_Click();
    bool Form_QueryUnload() { return mnuFileExit_Click(); }
    // Asks whether to save unsaved changes: true when the level may be dropped.
    bool confirmDiscard();

    // --- undo and redo; every change to the level is one step on the stack (Editor.cpp)
    QUndoStack& undoStack() { return m_undo; }
    void undo();
    void redo();
    // True when the level changed since it was started, loaded or last saved.
    bool isModified() const;

    // --- recent levels (the last 8, newest first) and recovery of unsaved work (EditorFiles.cpp)
    const QStringList& recentLevels() const { return m_recent; }
    bool openRecent(int index);
    const QString& lastFolder() const { return m_lastFolder; }
    // Keeps this editor's recovery copy in `folder`, as a file of its own ("recovery-*.level")
    // that a lock file ("<copy>.lock", QLockFile) marks as in use while the editor runs. False
    // when no copy of its own could be claimed there.
    bool setRecoveryFolder(const QString& folder);
    const QString& recoveryPath() const { return m_recoveryPath; }
    // Writes the recovery copy when the level has unsaved changes; true when one was written.
    bool writeRecoveryCopy();
    void removeRecoveryCopy();
    // At start: offers every copy in the recovery folder that no running editor holds (its editor
    // ended without removing it), newest first, with its time and item count
    // (EditorHost::askRecovery); true when one was restored.
    // A restored copy becomes this editor's own; copies not restored stay for the next start
    // unless the user discards them.
    bool offerRecovery();

    // --- kind and model selection, panel (EditorPanel.cpp)
    void Option1_Click() { selectKind(ItemKind::PlayerStart); }
    void Option2_Click() { selectKind(ItemKind::Asteroid); }
    void Option3_Click() { selectKind(ItemKind::Cloud); }
    void Option4_Click() { selectKind(ItemKind::DustCloud); }
    void Option5_Click() { selectKind(ItemKind::Megalith); }
    void Option6_Click() { selectKind(ItemKind::Nebula); }
    void Option7_Click() { selectKind(ItemKind::Pebble); }
    void Option8_Click() { selectKind(ItemKind::Salvage); }
    void Option9_Click() { selectKind(ItemKind::Ship); }
    void selectKind(ItemKind kind);
    // The user picks entry `index` of the model list (-1: none).
    void Combo1_Click(int index);
    void setVisible();
    void cmdColourSelect_Click();
    void lstObjects_Click();
    void setFieldText(int field, const QString& text);
    void setCustomName(const QString& text) { m_panel.customName = text; }
    void setSetHeightChecked(bool checked) { m_panel.setHeightChecked = checked; }
    void setSetHeightText(const QString& text) { m_panel.setHeightText = text; }
    void setRandomHeightChecked(bool checked) { m_panel.randomHeightChecked = checked; }
    void setRandomHeightText(const QString& text) { m_panel.randomHeightText = text; }

    // --- edits of the level (EditorEdits.cpp)
    void cmdApply_Click();
    void Picture1_Click();
    void picLeft_Click();
    void Timer1_Timer();
    std::int32_t calcRandomHeight();
    void mnuObjectsDelete_Click();
    void deleteItem(ItemKind objType, int arrayId);
    void mnuObjectsSetPlayer_Click();
    // "Done!" of the options window: false (and a message naming the field) when a world size, a
    // camera distance or the grid size breaks its rule (SettingsRules.h); the window then stays
    // open. An accepted "Done!" that changed level settings is one undo step ("Options"); the grid
    // and font sizes are the user's preferences, stored at once and not undone.
    bool Command1_Click();
    // Closing the options window by its close button or Escape: a value "Done!" would refuse gets
    // back the one it held when "Done!" last accepted it (the grid size: the stored one), said in
    // the status bar; then it is "Done!". True when the window may close.
    bool frmGlobals_QueryUnload();
    MapSettings& mapSettings() { return m_level.settings; } // the options window's map fields
    // The player count (an index of its list). Lowering it below placed start points asks first
    // and, when the user agrees, drops those start points as one step of the undo history. False
    // (and nothing changes) when the user declines.
    bool setPlayerIndex(int index);
    // A text of the level's settings as typed: the description, the background or the music. Text
    // outside Latin-1, which the game's files cannot hold, is refused with a message.
    enum class MapText : std::uint8_t { Description, Background, Music };
    bool setMapText(MapText which, const QString& text);
    // A field of a player's entry in the player table; refused with a message when the game
    // cannot take the text (resources that are not a number, text outside Latin-1).
    bool setPlayerField(int slot, PlayerTable::Field field, const QString& text);
    // The calls the level keeps as a file gave them, one text each: "NonDetermChunk: fogSetType(...)".
    QStringList keptCallTexts() const;
    void setGridSize(const QString& text) { m_gridSize = text; }
    void setFontSizeIndex(int index) { m_fontSizeIndex = index; }

    // --- views, pointer and labels (EditorViews.cpp)
    void setScales();
    void cmdZoomIn_Click();
    void cmdZoomOut_Click();
    // buttons: 1 = left button alone, 2 = right button.
    void Picture1_MouseMove(int buttons, int shift, double x, double y);
    void Picture1_MouseUp(int buttons, int shift, double x, double y);
    void picLeft_MouseMove(int buttons, int shift, double x, double y);
    // The mouse wheel over the top view: zooms in (steps > 0) or out around the pointer, within
    // the world; zooming out stops at the whole world.
    void Picture1_MouseWheel(int steps, double x, double y);
    // A middle-button drag: moves a zoomed top view by (dx, dy) world units, within the world.
    void panTopView(double dx, double dy);
    // Escape: an armed zoom is disarmed.
    void disarmZoom() { m_zoomArmed = false; }
    void selectRow(int row); // -1 clears the selection
    void lblObjects_Click(int labelIndex);
    void mnuLabelsHide_Click(int typeId);
    void mnuLabelsHideAll_Click();
    // "Draw Clouds as &Discs": clouds, dust clouds and nebulae as translucent discs of their size.
    void mnuLabelsCloudDiscs_Click() { m_views.cloudDiscs = !m_views.cloudDiscs, redraw(); }
    // "&Thin Out Labels": a label that would overlap an earlier one waits until the view is
    // zoomed in far enough or the pointer rests on its item.
    void mnuLabelsDeclutter_Click() { m_views.declutterLabels = !m_views.declutterLabels, redraw(); }
    void setLabelFont();

    // --- selection on the map and the work on it, each change one undo step (EditorSelection.cpp)
    // The rows selected, sorted. One selected row is also the row the panel edits (selectedRow());
    // with several the panel edits none and Apply does nothing.
    const std::vector<int>& selection() const { return m_selection; }
    bool isSelected(int row) const;
    // Selects `rows`; a single row is loaded into the panel as a click on its row does.
    void setSelection(std::vector<int> rows);
    void addToSelection(int row);
    void toggleSelected(int row);
    void selectAll();
    void clearSelection() { setSelection({}); }
    // The "Select" button and Escape: no kind is armed for placement, so that a click on the map
    // selects (and a drag moves the selection or draws a rubber band); an armed zoom is disarmed.
    // Choosing a kind (selectKind) arms placement again.
    void cmdSelect_Click();
    bool placementArmed() const { return m_placementArmed; }
    // The top view's size in pixels, for hit-testing the items' marks.
    void setTopViewSize(QSize pixels) { m_topPixels = pixels; }
    // A button pressed over the top view. shift: 1 = Shift (adds), 2 = Ctrl (toggles). With no
    // kind armed a press on an item selects it, one on a selected item starts moving the
    // selection, one elsewhere starts a rubber band; with the measure tool it starts a measure.
    void Picture1_MouseDown(int buttons, int shift, double x, double y);
    // The rubber band being drawn, in world units.
    std::optional<QRectF> rubberBand() const { return m_band; }
    // "Snap to grid": placing and moving land on the grid's points.
    void setSnapToGrid(bool on) { m_snapToGrid = on; }
    bool snapToGrid() const { return m_snapToGrid; }
    // Arrow keys: moves the selection by (dx, dy) grid steps.
    void nudgeSelection(int dx, int dy);
    void deleteSelection();
    // The selection as the text of a level file, for the clipboard.
    QByteArray copySelection() const;
    QByteArray cutSelection();
    // Adds the items of a level file's text, moved so that the first lands at the pointer; they
    // become the selection. False when the text holds no item.
    bool pasteText(const QByteArray& text);
    // Copies of the selection one grid step right of and below it.
    void duplicateSelection();
    // Mirror: mirrored copies of the selection; Flip: the selection mirrored in place.
    void mirrorSelection(MirrorAxis axis);
    void flipSelection(MirrorAxis axis);
    // Rotate copies: n - 1 copies of the selection turned by 360 k / n around the world centre
    // (n = 2 to 8); start points take the next free slots. The player count grows to cover them.
    void rotateCopies(int n);
    // Make symmetric: keeps the sector of the first start point (180 / n degrees either side of
    // it) and replaces everything else with its n - 1 turned copies; the player count becomes n.
    void makeSymmetric(int n);
    // "Measure": while on, a drag on the top view measures from where it started to the pointer.
    void setMeasuring(bool on);
    bool measuring() const { return m_measuring; }
    std::optional<QLineF> measureLine() const { return m_measure; }
    // The 3-D distance the measure shows: the dragged line or, with two items selected, between
    // them. An end of the line dragged from or to an item's mark stands at that item, height
    // included; other ends lie at height 0. Empty when there is nothing to measure.
    QString measureText() const;
    // The row whose mark is under the pointer in the top view, -1 when none.
    int hoveredRow() const { return m_hoveredRow; }

    // --- checks (EditorSelection.cpp)
    const std::vector<Finding>& findings();
    const CheckOptions& checkOptions() const { return m_checkOptions; }
    void setCheckOptions(const CheckOptions& options);
    // The problems the last load or open found, each with its line; they stay until the next
    // load. The revision grows with every load that found some (so that a window can show them).
    const std::vector<ReadProblem>& loadProblems() const { return m_loadProblems; }
    int loadProblemsRevision() const { return m_loadProblemsRevision; }
    // The file the level came from or was last saved to (or, for restored work, the file it was
    // on); empty for a new level.
    const QString& currentFile() const { return m_currentFile; }
    // "&Save": writes to currentFile() without a dialog and notes it in the status bar; asks for
    // a name (mnuFileSave_Click) only when there is none.
    bool mnuFileSaveCurrent_Click();

    // --- state
    const QString& caption() const { return m_caption; }
    const QString& gameDir() const { return m_catalogue.gameDir(); }
    const Level& level() const { return m_level; }
    const LevelDocument& document() const { return m_level.document; }
    const MapSettings& mapSettings() const { return m_level.settings; }
    const Catalogue& catalogue() const { return m_catalogue; }
    const QString& gridSize() const { return m_gridSize; }
    int fontSizeIndex() const { return m_fontSizeIndex; }

    const Panel& panel() const { return m_panel; }
    EditorMode mode() const { return m_panel.mode; }
    // What Label7 shows, which always tells what the next click on the map does: "Placement mode"
    // (it places the checked kind), "Editing mode" (it moves the item being edited), "Select mode"
    // (no kind is armed, as at the start: it selects).
    QString modeText() const;
    // The kind button shown checked: the kind a click places (or whose item it moves); none while
    // the select tool is on.
    std::optional<ItemKind> checkedKind() const { return m_placementArmed ? m_panel.kind : std::nullopt; }

    bool zoomArmed() const { return m_zoomArmed; } // also: the top view shows the crosshair
    bool buttonDown() const { return m_buttonDown; }
    bool timerEnabled() const { return m_timerEnabled; }
    // The world point last under the pointer over the top and the front view; nullopt until the
    // pointer has moved over that view.
    std::optional<QPointF> topPointer() const { return m_topPointer; }
    std::optional<QPointF> frontPointer() const { return m_frontPointer; }
    // The readouts above and below the views: the pointer's world coordinates rounded down, "X"
    // and "Y" until the pointer has moved over the view.
    QString lblX() const;
    QString lblY() const;
    QString lblLeftX() const;
    QString lblLeftY() const;
    const ViewSettings& views() const { return m_views; }
    const ViewScale& topScale() const { return m_views.top; }
    const ViewScale& frontScale() const { return m_views.front; }

    const std::vector<ObjectRow>& rows() const { return m_level.rows; }
    // How the rows changed, for the object list's view.
    const RowChangeLog& rowChanges() const { return m_rowChanges; }
    // Live items of a kind: the rows of that kind.
    int liveCount(ItemKind kind) const { return m_rowCounts.at(static_cast<std::size_t>(typeIdOf(kind))); }
    int selectedRow() const { return m_selectedRow; }
    int labelCount() const { return static_cast<int>(m_level.rows.size()); }
    MapLabel labelFor(int row) const;
    // The row a label key names, -1 when none.
    int rowForKey(QStringView key) const;
    bool labelShown(int typeId) const { return m_views.labelShown.at(static_cast<std::size_t>(typeId)); }
    bool hideAllChecked() const { return m_hideAll; }
    int labelFontPointSize() const { return m_views.labelPointSize; }

    std::int32_t lastColour() const { return m_lastColour; }
    // Increases whenever the views must be painted again.
    quint64 revision() const { return m_revision; }
    // Increases whenever another level replaces the one shown (New Level, Open Level).
    quint64 levelGeneration() const { return m_levelGeneration; }

private:
    // The checks a save makes before it writes: every start point, the settings the game can read,
    // and, when start points lie beyond the player count, the user's consent to leave them out.
    bool readyToSave();
    friend class EditCommand;
    friend class LevelSwapCommand;
    friend class SettingsCommand;

    // Undo support: the commands call these.
    void applyStep(const EditStep& step, bool forward);
    void afterUndoStep(int selection, bool reloadPanel = true);
    void restoreSelection(const std::vector<int>& rows);
    // Swaps the level with `other`; the first `sharedRows` rows of both are the same.
    void swapLevelState(LevelState& other, int sharedRows);
    void pushEdit(const QString& text, std::vector<EditStep> steps, int selectionAfter, bool partOfDrag);
    // Pushes the change of the record of `row` from `before` to `after` (nothing when they are equal).
    void pushRecord(
        const QString& verb, int row, const AnyRecord& before, const AnyRecord& after, bool partOfDrag = false);
    // Pushes the level of `after` in place of the one the editor holds: `text` names the step
    // ("Load x.level"), `sharedRows` counts the rows both levels begin with. The panel is left as
    // it is.
    void pushLevel(const QString& text, LevelState after, int sharedRows);
    LevelState currentLevelState() const;
    void countRows();
    void markClean();
    // Runs the file's script and builds what it records into the level, replacing it or adding
    // to it. True when the level changed.
    bool runScriptFile(const QString& path, bool replace);
    void rememberFile(const QString& path);
    void setCurrentFile(const QString& path)
    {
        m_currentFile = path;
        m_confirmReplace = false;
    }
    void readRecentLevels();
    void storeRecent();
    bool isRecoveryCopy(const QString& path) const;
    // After a new level or a load: no row is selected and the panel places the chosen kind, so
    // that the next click on the map never moves an item that is already there.
    void leaveEditing();
    // Sets the settings that differ between `from` and `to` to their values in `to` (the other
    // settings keep what was typed since) and shows the world size.
    void applySettingsChange(const MapSettings& from, const MapSettings& to);
    int mergeKey() const { return (m_buttonDown || m_clickEndsDrag) ? m_dragId : 0; }

    void message(const QString& text);
    void message(const QString& text, const QString& title);
    void redraw() { ++m_revision; }
    void pickRandomBackgroundAndMusic(MapSettings& settings);
    void placeItem();
    void moveSelected();
    void dragSelectionTo(double x, double y);
    void updateHover();
    // Keeps what a load found and notes it in the status bar.
    void setLoadProblems(std::vector<ReadProblem> problems, const QString& fileName);
    // The row whose mark in the top view is under the world point (x, y); -1 when none.
    int itemUnder(double x, double y) const;
    // Sets one end of the measured line: at the item under (x, y) when there is one.
    void setMeasureEnd(int end, double x, double y);
    void finishBand(int shift);
    // Pushes an edit of the selection: `steps` with `rowsAfter` selected afterwards; a player
    // count (2 to 8) is set with it in the same undo step.
    void pushSelectionEdit(const QString& text, std::vector<EditStep> steps, std::vector<int> rowsAfter,
        int playerCountAfter = -1, bool partOfDrag = false);
    double gridStep() const;
    std::int32_t snapped(double v, bool yAxis) const;
    ModelLists& modelLists() const;
    void zoomIn();
    // Shows `top` in the top view; the front view follows its horizontal range and keeps its height.
    void setTopView(const ViewScale& top);
    bool checkCustomName();
    void loadRecordIntoPanel(const ObjectRow& row);
    // The first entry of the start points' list, from `from` on and round, whose player has no
    // start point; `from` when every player has one.
    int freePlayerEntry(int from) const;
    // The top view's pointer as the placement and a move take it: rounded down, 0 before any move.
    std::int32_t pointerX() const;
    std::int32_t pointerY() const;

    EditorHost& m_host;
    SettingsStore& m_store;
    RandomSource m_random;

    QString m_caption;
    Level m_level;
    Catalogue m_catalogue;
    QString m_gridSize = QStringLiteral("2500");
    int m_fontSizeIndex = 4;

    Panel m_panel;

    bool m_zoomArmed = false;
    bool m_buttonDown = false;
    bool m_timerEnabled = true;
    std::optional<QPointF> m_topPointer;
    std::optional<QPointF> m_frontPointer;
    ViewSettings m_views;

    int m_selectedRow = -1;
    bool m_hideAll = false;

    std::int32_t m_lastColour = 0;
    quint64 m_revision = 0;
    quint64 m_levelGeneration = 0;

    QUndoStack m_undo;
    MapSettings m_cleanSettings;
    ByTypeId<int> m_rowCounts{};
    RowChangeLog m_rowChanges;
    int m_dragId = 0;
    bool m_clickEndsDrag = false;
    bool m_firstRedo = false;
    QStringList m_recent;
    QString m_lastFolder;
    QString m_recoveryPath;
    std::function<std::optional<QByteArray>(const QString& path, qint64 maxBytes, QString* error)> m_includeReader;
    QString m_openedScript; // the file whose script built the level, until its first save
    QString m_recoveryFolder;
    std::unique_ptr<QLockFile> m_recoveryLock;
    MapSettings m_doneSettings; // the level settings as of the last accepted "Done!", load or new level

    std::vector<int> m_selection; // sorted
    bool m_placementArmed = false;
    bool m_snapToGrid = false;
    bool m_measuring = false;
    QSize m_topPixels;
    enum class Drag { None, Move, Band, Measure } m_drag = Drag::None;
    QPointF m_dragStart;
    ItemPosition m_grabbed; // the grabbed item's position when the drag began
    QPoint m_dragApplied;   // the move the drag has made so far
    std::optional<QRectF> m_band;
    int m_bandShift = 0;
    std::optional<QLineF> m_measure;
    std::array<int, 2> m_measureRows{-1, -1}; // the items at the measured line's ends, or -1
    int m_hoveredRow = -1;
    // The top view's marks by where they lie, for the item under the pointer, and what they were
    // sorted for: the level's changes (m_levelChanges), the view and its size.
    struct MarkIndexKey {
        quint64 levelChanges = 0;
        ViewScale top;
        QSize pixels;
        bool operator==(const MarkIndexKey&) const = default;
    };
    mutable MarkIndex m_marks;
    mutable std::optional<MarkIndexKey> m_marksKey;
    CheckOptions m_checkOptions;
    std::vector<Finding> m_findings;
    quint64 m_levelChanges = 0; // every step applied, every level swapped
    quint64 m_findingsAt = 0;
    std::optional<MapSettings> m_findingsSettings;
    std::vector<ReadProblem> m_loadProblems;
    int m_loadProblemsRevision = 0;
    QString m_currentFile;
    bool m_confirmReplace = false; // restored work: "&Save" asks before it replaces m_currentFile
    mutable std::unique_ptr<ModelLists> m_models;
};

} // namespace starloom
