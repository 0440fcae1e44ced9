#pragma once

#include "Checks.h"
#include "EditCommands.h"
#include "EditorHost.h"
#include "MapSelection.h"
#include "Panel.h"
#include "RecentLevels.h"
#include "RecoveryCopies.h"
#include "RowChangeLog.h"
#include "Selection.h"
#include "ShapeGenerator.h"
#include "Tools.h"
#include "ViewState.h"

#include "document/Catalogue.h"
#include "document/ItemKind.h"
#include "document/Level.h"
#include "gamedata/GameMaps.h"
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

// Everything the main window and the options window show, as plain data, and every command of
// theirs as a function named after what it does. Each command that changes the level builds the
// changed value and pushes it as one undoable command. The handler names of the original form
// (Option1_Click, Picture1_MouseDown, Command1_Click ...) remain as one-line entries to those
// functions.
//
// The parts: the level with its undo stack and files (EditorFiles.cpp, Editor.cpp), the recent
// levels (RecentLevels) and recovery copies (RecoveryCopies), the panel (EditorPanel.cpp), the
// edits (EditorEdits.cpp), the selection (MapSelection) and the work on it (EditorSelection.cpp),
// the views' state and the pointer (ViewState; EditorViews.cpp), and the tools of the top view
// (Tools.h: Place, Select, Measure, Zoom, Pan), to which the pointer's presses, drags, releases,
// clicks and keys go.
class Editor {
public:
    // The model lists come from the game in `gameDir` (its Data folder and archives).
    Editor(EditorHost& host, SettingsStore& settingsStore, RandomSource random, QString gameDir);
    ~Editor();
    Editor(EditorHost& host, SettingsStore& settingsStore, RandomSource random, Catalogue catalogue);

    // --- start-up and level commands (EditorFiles.cpp)
    // The first state of the window: a new level's settings, the stored preferences.
    void startUp();
    void Form_Load() { startUp(); }
    void newLevel();
    void mnuFileNew_Click() { newLevel(); }
    // A new level with start points for `players` (2 to 8) placed evenly round the world's
    // centre and the player count set to them; false when the user kept the level.
    bool newLevelWithStarts(int players);
    // "Save &As": asks for a name; true when the file was written.
    bool saveAs();
    bool mnuFileSave_Click() { return saveAs(); }
    // "Load Level": asks for a file and loads it (loadFile); true when a file was read.
    bool loadChosenFile();
    bool mnuFileLoad_Click() { return loadChosenFile(); }
    // Loads a level file into the level with the line reader (Load Level, a recovery copy); a
    // compiled level runs in the sandbox instead and adds what it builds.
    bool loadFile(const QString& path);
    // "Open Level": after the unsaved-changes question, replaces the level with what the file's
    // script builds when it runs in the sandbox. True when the level was replaced.
    bool openChosenFile();
    bool mnuFileOpen_Click() { return openChosenFile(); }
    bool openFile(const QString& path);
    // "Open from Game...": after the unsaved-changes question, replaces the level with what the
    // script of the game's map `dataPath` ("data:LevelData/Multiplayer/...", read through the
    // include reader) builds, as openFile does. The game's data is not written to: the level has
    // no current file, so Save asks for a new one; Recent Levels remembers the data: name.
    bool openGameMap(const QString& dataPath);
    // Lists the game's multiplayer maps for "Open from Game..." (listGameMaps over the game's data).
    using GameMapLister = std::function<GameMapList(const GameMapLimits& limits)>;
    void setGameMapLister(GameMapLister lister) { m_gameMapLister = std::move(lister); }
    // The game's maps, listed in the background (a Cancel stops the listing: what was listed is
    // returned, marked cancelled); with no lister, none, with a problem that says so.
    GameMapList gameMaps();
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
    bool prepareToExit();
    bool mnuFileExit_Click() { return prepareToExit(); }
    bool Form_QueryUnload() { return prepareToExit(); }
    // Asks whether to save unsaved changes: true when the level may be dropped.
    bool confirmDiscard();

    // --- undo and redo; every change to the level is one step on the stack (Editor.cpp)
    QUndoStack& undoStack() { return m_undo; }
    void undo();
    void redo();
    // True when the level changed since it was started, loaded or last saved.
    bool isModified() const;

    // --- recent levels (the last 8, newest first) and recovery of unsaved work (EditorFiles.cpp)
    const QStringList& recentLevels() const { return m_recent.paths(); }
    bool openRecent(int index);
    const QString& lastFolder() const { return m_recent.lastFolder(); }
    // Keeps this editor's recovery copy in `folder`, as a file of its own ("recovery-*.level")
    // that a lock file ("<copy>.lock", QLockFile) marks as in use while the editor runs. False
    // when no copy of its own could be claimed there.
    bool setRecoveryFolder(const QString& folder);
    const QString& recoveryPath() const { return m_recovery.path(); }
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
    // A kind button: the panel shows the kind's models and fields, and the Place tool places it.
    void chooseKind(ItemKind kind);
    void Option1_Click() { chooseKind(ItemKind::PlayerStart); }
    void Option2_Click() { chooseKind(ItemKind::Asteroid); }
    void Option3_Click() { chooseKind(ItemKind::Cloud); }
    void Option4_Click() { chooseKind(ItemKind::DustCloud); }
    void Option5_Click() { chooseKind(ItemKind::Megalith); }
    void Option6_Click() { chooseKind(ItemKind::Nebula); }
    void Option7_Click() { chooseKind(ItemKind::Pebble); }
    void Option8_Click() { chooseKind(ItemKind::Salvage); }
    void Option9_Click() { chooseKind(ItemKind::Ship); }
    // The user picks entry `index` of the model list (-1: none).
    void chooseModel(int index);
    void Combo1_Click(int index) { chooseModel(index); }
    // Shows the fields of the panel's kind (and disarms an armed zoom).
    void showPanelFields();
    void setVisible() { showPanelFields(); }
    // The colour picker: its colour goes into the panel's three colour fields.
    void pickColour();
    void cmdColourSelect_Click() { pickColour(); }
    // Loads the selected row's item into the panel for editing.
    void editSelectedRow();
    void lstObjects_Click() { editSelectedRow(); }
    void setFieldText(int field, const QString& text);
    // The value fields the selected items all have, with the values they share (sharedFields).
    std::vector<SharedField> selectionFields() const;
    // Field `field` (Text1(field)) of every selected item set to the number `text`, as one undo
    // step. The reason when the text is no number the field can hold, or when not every selected
    // item has the field (nothing changes then); empty when it was stored or nothing had to change.
    QString setSelectionField(int field, const QString& text);
    // Why placing would refuse field `field` as it stands, or empty.
    QString placementFieldError(int field) const;
    void setCustomName(const QString& text) { m_panel.customName = text; }
    void setSetHeightChecked(bool checked) { m_panel.setHeightChecked = checked; }
    void setSetHeightText(const QString& text) { m_panel.setHeightText = text; }
    void setRandomHeightChecked(bool checked) { m_panel.randomHeightChecked = checked; }
    void setRandomHeightText(const QString& text) { m_panel.randomHeightText = text; }

    // --- edits of the level (EditorEdits.cpp)
    // "Apply": stores the panel's fields in the item it edits.
    void applyPanel();
    void cmdApply_Click() { applyPanel(); }
    // A click on the front view: the item being edited takes the pointer's height.
    void setHeightAtFrontPointer();
    void picLeft_Click() { setHeightAtFrontPointer(); }
    std::int32_t calcRandomHeight();
    // "Delete Object": deletes the item the panel edits (several selected: the selection).
    void deleteObject();
    void mnuObjectsDelete_Click() { deleteObject(); }
    void deleteItem(ItemKind objType, int arrayId);
    // "Set Player": gives the start point being edited the player chosen in the panel.
    void setStartPlayer();
    void mnuObjectsSetPlayer_Click() { setStartPlayer(); }
    // "Done!" of the options window: false (and a message naming the field) when a world size, a
    // camera distance or the grid size breaks its rule (SettingsRules.h); the window then stays
    // open. An accepted "Done!" that changed level settings is one undo step ("Options"); the grid
    // and font sizes are the user's preferences, stored at once and not undone.
    bool acceptOptions();
    bool Command1_Click() { return acceptOptions(); }
    // Closing the options window by its close button or Escape: a value "Done!" would refuse gets
    // back the one it held when "Done!" last accepted it (the grid size: the stored one), said in
    // the status bar; then it is "Done!". True when the window may close.
    bool closeOptions();
    bool frmGlobals_QueryUnload() { return closeOptions(); }
    // The level settings dialog opens: what Cancel gives back is taken now.
    void beginOptions();
    // Cancel (or Escape) of the level settings dialog: the level's settings, and any step taken
    // while it was open (a lowered player count), come back as they were when it opened.
    void cancelOptions();
    // OK of the Preferences dialog: false (and a message) when the grid size breaks its rule;
    // else the grid and label font sizes are stored and applied (not an undo step).
    bool acceptPreferences();
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
    // "Zoom In" arms the Zoom tool: the next click on the top view zooms in around it.
    void armZoom() { chooseTool(ToolKind::Zoom); }
    void cmdZoomIn_Click() { armZoom(); }
    // "Zoom Out": the whole world in view.
    void zoomOutFully();
    void cmdZoomOut_Click() { zoomOutFully(); }
    // The mouse wheel over the top view: zooms in (steps > 0) or out around `at`, within the
    // world; zooming out stops at the whole world.
    void zoomAround(int steps, QPointF at);
    void Picture1_MouseWheel(int steps, double x, double y) { zoomAround(steps, QPointF(x, y)); }
    // A middle-button drag: moves a zoomed top view by (dx, dy) world units, within the world.
    void panTopView(double dx, double dy);
    // "Zoom to Fit": the whole world in view (as "Zoom Out").
    void zoomToFit() { zoomOutFully(); }
    // "Zoom to Selection": the selected items with a margin round them; nothing selected: nothing
    // happens.
    void zoomToSelection();
    // The top view showing the world rectangle `world` (corners in any order), at least one unit
    // across and down, within the world; what the Zoom tool's drag does.
    void zoomToRect(const QRectF& world);
    // "Stretch to Fill": each axis of the top view fills it on its own, as the first versions
    // drew it; off, one world unit is as many pixels across as down. Kept in the settings.
    void setStretchToFill(bool on);
    bool stretchToFill() const { return m_view.stretchToFill(); }
    // The rectangle of the world the top view shows at its size (ViewScale::shownAt), with the
    // view's own `fill`.
    ViewScale shownTop() const;
    // An armed zoom is disarmed: the tool before it is back.
    void disarmZoom();
    void selectRow(int row); // -1 clears the selection
    // A click on an item's label on the top view selects the item (with Zoom armed: zooms).
    void clickLabel(int labelIndex);
    void lblObjects_Click(int labelIndex) { clickLabel(labelIndex); }
    // The Labels menu: one kind's labels, all of them.
    void toggleLabels(int typeId);
    void mnuLabelsHide_Click(int typeId) { toggleLabels(typeId); }
    void toggleAllLabels();
    void mnuLabelsHideAll_Click() { toggleAllLabels(); }
    // "Draw Clouds as &Discs": clouds, dust clouds and nebulae as translucent discs of their size.
    void toggleCloudDiscs() { m_view.toggleCloudDiscs(), redraw(); }
    // "&Thin Out Labels": a label that would overlap an earlier one waits until the view is
    // zoomed in far enough or the pointer rests on its item.
    void toggleDeclutter() { m_view.toggleDeclutter(), redraw(); }

    // --- the tools of the top view and the pointer (EditorViews.cpp, Tools.cpp)
    // The active tool (Zoom while it is armed) and the tool chosen under an armed zoom.
    ToolKind activeTool() const { return m_tool; }
    ToolKind chosenTool() const;
    // Makes `kind` the active tool; Measure and Zoom remember the tool they replace. Zoom and
    // Pan leave the panel's kind and the selection as they are.
    void chooseTool(ToolKind kind);
    // Space held over the top view: the Pan tool is active while it is held, whatever the tool;
    // its release gives the tool back as it was (after the drag, when a pan is under way).
    void holdPan(bool held);
    bool panHeld() const { return m_heldPan; }
    // The left button pressed over the top view at `at` (world units): the active tool's press.
    void pressOnTopView(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at);
    void Picture1_MouseDown(int buttons, int shift, double x, double y)
    {
        pressOnTopView(vbButton(buttons), vbModifiers(shift), QPointF(x, y));
    }
    // The pointer over the top view with `buttons` held: the pointer, the hover, a tool's drag.
    void moveOnTopView(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPointF at);
    void Picture1_MouseMove(int buttons, int shift, double x, double y)
    {
        moveOnTopView(vbButton(buttons), vbModifiers(shift), QPointF(x, y));
    }
    void releaseOnTopView(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPointF at);
    void Picture1_MouseUp(int buttons, int shift, double x, double y)
    {
        releaseOnTopView(vbButton(buttons), vbModifiers(shift), QPointF(x, y));
    }
    // The click that follows a release on the map (not on a label): the active tool's click.
    void clickTopView();
    void Picture1_Click() { clickTopView(); }
    // The timer while the button is held on the map: the Place tool places again.
    void repeatWhileHeld();
    void Timer1_Timer() { repeatWhileHeld(); }
    // A key over the top view: the active tool's, else the arrows nudge the selection. True
    // when the key was used.
    bool keyOnMap(Qt::Key key, Qt::KeyboardModifiers modifiers);
    void moveOnFrontView(QPointF at);
    void picLeft_MouseMove(int, int, double x, double y) { moveOnFrontView(QPointF(x, y)); }
    void setLabelFont();

    // --- selection on the map and the work on it, each change one undo step (EditorSelection.cpp)
    // The rows selected, sorted. One selected row is also the row the panel edits (selectedRow());
    // with several the panel edits none and Apply does nothing.
    const std::vector<int>& selection() const { return m_selection.rows(); }
    bool isSelected(int row) const;
    // Selects `rows`; a single row is loaded into the panel as a click on its row does.
    void setSelection(std::vector<int> rows);
    void addToSelection(int row);
    void toggleSelected(int row);
    void selectAll();
    void clearSelection() { setSelection({}); }
    // The "Select" button and Escape: the Select tool, so that a click on the map selects (and a
    // drag moves the selection or draws a rubber band); an armed zoom is disarmed. Choosing a
    // kind (chooseKind) makes the Place tool active again.
    void chooseSelectTool();
    void cmdSelect_Click() { chooseSelectTool(); }
    bool placementArmed() const { return chosenTool() == ToolKind::Place; }
    // The top view's size in pixels, for hit-testing the items' marks and the views' shape: the
    // front view takes the horizontal range the top view shows at this size.
    void setTopViewSize(QSize pixels);
    QSize topViewSize() const { return m_view.topSize(); }
    // The rubber band being drawn (by the Select or the Zoom tool), in world units.
    std::optional<QRectF> rubberBand() const { return m_zoomTool.band() ? m_zoomTool.band() : m_selectTool.band(); }
    // "Snap to grid": placing and moving land on the grid's points.
    void setSnapToGrid(bool on) { m_snapToGrid = on; }
    bool snapToGrid() const { return m_snapToGrid; }
    // Arrow keys: moves the selection by (dx, dy) grid steps.
    void nudgeSelection(int dx, int dy);
    // The selection's position as numbers: on `axis`, the value every selected item shares, as
    // text; empty when they differ or nothing is selected.
    enum class Axis : std::uint8_t { X, Y, Height };
    QString selectionCoordinate(Axis axis) const;
    // Puts every selected item at the number `text` on `axis`, as one undo step. The reason
    // when `text` is no whole number a position can hold (nothing changes then); empty when it
    // was stored or nothing needed to change.
    QString setSelectionCoordinate(Axis axis, const QString& text);
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
    // Generate: the points of `shape` placed as items of the panel's kind and model (as the Place
    // tool places one), selected, as one undo step; with `players` of 2 to 8, the shape and its
    // copies turned round the world centre for each player (as Rotate Copies makes them). What a
    // kind cannot hold is left out, with a note. Returns the number of items placed.
    int generateShape(const ShapeParams& shape, int players = 1);
    // "Measure": while on, a drag on the top view measures from where it started to the pointer;
    // off, the tool before it is back.
    void setMeasuring(bool on);
    bool measuring() const { return chosenTool() == ToolKind::Measure; }
    std::optional<QLineF> measureLine() const { return m_measureTool.line(); }
    // The 3-D distance the measure shows: the dragged line or, with two items selected, between
    // them. An end of the line dragged from or to an item's mark stands at that item, height
    // included; other ends lie at height 0. Empty when there is nothing to measure.
    QString measureText() const;
    // The row whose mark is under the pointer in the top view, -1 when none.
    int hoveredRow() const { return m_selection.hoveredRow(); }

    // --- hidden and locked items (EditorVisibility.cpp): the user's view of the map, neither
    // part of the level nor an undo step. A hidden item is not drawn; neither a hidden nor a
    // locked one is hit, selected by a click, a rubber band or Select All on the map, though both
    // stay in the object list. Hiding an item takes it out of the selection.
    bool rowHidden(int row) const;
    bool rowLocked(int row) const;
    void setRowHidden(int row, bool hidden);
    void setRowLocked(int row, bool locked);
    // Every row of `kind` at once.
    void setKindHidden(ItemKind kind, bool hidden);
    void setKindLocked(ItemKind kind, bool locked);
    // How many rows of `kind` are hidden, locked.
    int hiddenCount(ItemKind kind) const { return m_hiddenCounts.at(static_cast<std::size_t>(typeIdOf(kind))); }
    int lockedCount(ItemKind kind) const { return m_lockedCounts.at(static_cast<std::size_t>(typeIdOf(kind))); }
    // Grows whenever a row is hidden, shown, locked or unlocked.
    quint64 markChanges() const { return m_markChanges; }
    // The object list's filter: true when `filter` is empty or found, in any case, in the row's
    // text, its item's model (or custom name) or its kind.
    bool rowMatches(int row, const QString& filter) const;

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
    bool save();
    bool mnuFileSaveCurrent_Click() { return save(); }

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
    // (no kind is armed, as at the start: it selects), "Measure mode" (a drag measures).
    QString modeText() const;
    // The kind button shown checked: the kind a click places (or whose item it moves); none while
    // the select tool is on.
    std::optional<ItemKind> checkedKind() const { return placementArmed() ? m_panel.kind : std::nullopt; }

    bool zoomArmed() const { return m_tool == ToolKind::Zoom; } // also: the top view shows the crosshair
    bool buttonDown() const { return m_buttonDown; }
    bool timerEnabled() const { return m_timerEnabled; }
    // The world point last under the pointer over the top and the front view; nullopt until the
    // pointer has moved over that view.
    std::optional<QPointF> topPointer() const { return m_view.topPointer(); }
    std::optional<QPointF> frontPointer() const { return m_view.frontPointer(); }
    // The readouts above and below the views: the pointer's world coordinates rounded down, "X"
    // and "Y" until the pointer has moved over the view.
    QString lblX() const;
    QString lblY() const;
    QString lblLeftX() const;
    QString lblLeftY() const;
    const ViewSettings& views() const { return m_view.settings(); }
    const ViewScale& topScale() const { return m_view.top(); }
    const ViewScale& frontScale() const { return m_view.front(); }

    const std::vector<ObjectRow>& rows() const { return m_level.rows; }
    // How the rows changed, for the object list's view.
    const RowChangeLog& rowChanges() const { return m_rowChanges; }
    // Live items of a kind: the rows of that kind.
    int liveCount(ItemKind kind) const { return m_rowCounts.at(static_cast<std::size_t>(typeIdOf(kind))); }
    int selectedRow() const { return m_selection.editedRow(); }
    int labelCount() const { return static_cast<int>(m_level.rows.size()); }
    MapLabel labelFor(int row) const;
    // The row a label key names, -1 when none.
    int rowForKey(QStringView key) const;
    bool labelShown(int typeId) const { return m_view.labelShown(typeId); }
    bool hideAllChecked() const { return m_view.hideAllChecked(); }
    int labelFontPointSize() const { return m_view.settings().labelPointSize; }

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
    friend class PlaceTool;
    friend class SelectTool;
    friend class MeasureTool;
    friend class ZoomTool;
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
    // Counts `row` in (`by` 1) or out (-1) of the per-kind counts.
    void countRow(const ObjectRow& row, int by);
    // Sets the `mark` (hidden or locked) of row `onlyRow`, or of every row of `kind` when
    // `onlyRow` is -1, to `on`.
    void markRows(bool ObjectRow::*mark, std::optional<ItemKind> kind, int onlyRow, bool on);
    void markClean();
    // Runs the file's script and builds what it records into the level, replacing it or adding
    // to it. True when the level changed.
    bool runScriptFile(const QString& path, bool replace);
    // The same with the file's bytes; `fromGame`: `path` is a map of the game's data (openGameMap).
    bool runScript(const QByteArray& source, const QString& path, bool replace, bool fromGame);
    // Reads `source` into `level` when it is a file of plain calls, with no script code and
    // nothing to report (what running it would build); false, the level untouched, otherwise.
    bool readPlainLevel(const QByteArray& source, Level& level, ModelLists& models, ReadResult& read) const;
    // New Level, with `players` start points when it is over 0; false when the user kept the level.
    bool startNewLevel(int players);
    void setCurrentFile(const QString& path)
    {
        m_currentFile = path;
        m_confirmReplace = false;
    }
    // After a new level or a load: no row is selected, the panel shows the chosen kind for
    // placing and the Select tool is active, so that the first click on the map neither places
    // nor moves anything.
    void leaveEditing();
    // Sets the settings that differ between `from` and `to` to their values in `to` (the other
    // settings keep what was typed since) and shows the world size.
    void applySettingsChange(const MapSettings& from, const MapSettings& to);
    int mergeKey() const { return (m_buttonDown || m_clickEndsDrag) ? m_dragId : 0; }

    void message(const QString& text);
    void message(const QString& text, const QString& title);
    // Says `text` without a message box: refusals and results the user need not answer. Like a
    // message, it ends a drag, so that a refused placement is not tried again at every tick.
    void note(const QString& text)
    {
        m_buttonDown = false;
        m_host.showNote(text);
    }
    void redraw() { ++m_revision; }
    void pickRandomBackgroundAndMusic(MapSettings& settings);
    // The Place tool's click: a new item of the panel's kind at the pointer.
    void placeItem();
    // The Place tool's click while the panel edits an item: the item moves to the pointer.
    void moveSelected();
    void updateHover();
    Tool& toolFor(ToolKind kind);
    // The kind's models and fields in the panel, for placing; the active tool stays.
    void showKind(ItemKind kind);
    static Qt::MouseButton vbButton(int buttons)
    {
        return buttons == 1 ? Qt::LeftButton
            : buttons == 2  ? Qt::RightButton
            : buttons == 4  ? Qt::MiddleButton
                            : Qt::NoButton;
    }
    static Qt::KeyboardModifiers vbModifiers(int shift)
    {
        return Qt::KeyboardModifiers((shift & 1 ? Qt::ShiftModifier : Qt::NoModifier)
            | (shift & 2 ? Qt::ControlModifier : Qt::NoModifier) | (shift & 4 ? Qt::AltModifier : Qt::NoModifier));
    }
    // Keeps what a load found and notes it in the status bar.
    void setLoadProblems(std::vector<ReadProblem> problems, const QString& fileName);
    // The row whose mark in the top view is under the world point (x, y); -1 when none.
    int itemUnder(double x, double y) const;
    // Pushes an edit of the selection: `steps` with `rowsAfter` selected afterwards; a player
    // count (2 to 8) is set with it in the same undo step.
    void pushSelectionEdit(const QString& text, std::vector<EditStep> steps, std::vector<int> rowsAfter,
        int playerCountAfter = -1, bool partOfDrag = false);
    double gridStep() const;
    std::int32_t snapped(double v, bool yAxis) const;
    ModelLists& modelLists() const;
    void zoomIn();
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

    bool m_buttonDown = false;
    bool m_timerEnabled = true;
    ViewState m_view;

    std::int32_t m_lastColour = 0;
    quint64 m_revision = 0;
    quint64 m_levelGeneration = 0;

    QUndoStack m_undo;
    MapSettings m_cleanSettings;
    ByTypeId<int> m_rowCounts{};
    ByTypeId<int> m_hiddenCounts{};
    ByTypeId<int> m_lockedCounts{};
    quint64 m_markChanges = 0; // rows hidden, shown, locked or unlocked
    RowChangeLog m_rowChanges;
    int m_dragId = 0;
    bool m_clickEndsDrag = false;
    bool m_firstRedo = false;
    RecentLevels m_recent;
    RecoveryCopies m_recovery;
    std::function<std::optional<QByteArray>(const QString& path, qint64 maxBytes, QString* error)> m_includeReader;
    GameMapLister m_gameMapLister;
    QString m_openedScript;      // the file whose script built the level, until its first save
    MapSettings m_optionsBefore; // the level settings as the level settings dialog opened
    int m_optionsUndoIndex = 0;  // the undo step then
    MapSettings m_doneSettings;  // the level settings as of the last accepted "Done!", load or new level

    MapSelection m_selection;
    bool m_snapToGrid = false;
    bool m_clickEndsZoom = false; // a Zoom drag or a pan Space held ended: the click of its release does nothing
    PlaceTool m_placeTool{*this};
    SelectTool m_selectTool{*this};
    MeasureTool m_measureTool{*this};
    ZoomTool m_zoomTool{*this};
    PanTool m_panTool{*this};
    ToolKind m_tool = ToolKind::Select;
    ToolKind m_beforeZoom = ToolKind::Select;    // the tool an armed zoom gives back
    ToolKind m_beforeMeasure = ToolKind::Select; // the tool Measure gives back
    bool m_heldPan = false;                      // Space is held: the Pan tool stands in
    ToolKind m_beforeHeldPan = ToolKind::Select; // the tool the release of Space gives back
    Tool* m_dragTool = nullptr;                  // the tool whose drag the held button makes
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
