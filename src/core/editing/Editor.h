#pragma once

#include "EditCommands.h"
#include "EditorHost.h"

#include "document/Catalogue.h"
#include "document/ItemKind.h"
#include "document/LevelDocument.h"
#include "document/MapSettings.h"
#include "document/ObjectRow.h"
#include "views/ViewScale.h"

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

class SettingsStore;

inline const QString placementMode = QStringLiteral("Placement mode");
inline const QString editingMode = QStringLiteral("Editing mode");
inline const QString levelFileFilter = QStringLiteral("LEVEL Files (*.level)");

// A uniform random number in [0, 1).
using RandomSource = std::function<double()>;
RandomSource defaultRandomSource();

// One of the four labelled value fields of the property panel (Label1(i) and Text1(i)).
struct PanelField {
    QString caption;
    QString text;
    bool captionVisible = false;
    bool textVisible = false;
};

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
// theirs under its own name. Each handler that changes the level does so inside one method, so
// that it can be undone as one step.
class Editor {
public:
    // The model lists come from the game in `gameDir` (its Data folder and archives).
    Editor(EditorHost& host, SettingsStore& settingsStore, RandomSource random, QString gameDir);
    ~Editor();
    Editor(EditorHost& host, SettingsStore& settingsStore, RandomSource random, Catalogue catalogue);

    // --- start-up and level commands
    void Form_Load();
    void mnuFileNew_Click();
    // Returns true when the file was written.
    bool mnuFileSave_Click();
    // Returns true when a file was read.
    bool mnuFileLoad_Click();
    // "Done!" of the options window: false (and a message naming the field) when a world size, a
    // camera distance or the grid size breaks its rule (SettingsRules.h); the window then stays
    // open. An accepted "Done!" that changed level settings is one undo step ("Options"); the grid
    // and font sizes are the user's preferences, stored at once and not undone.
    bool Command1_Click();
    // Loads a level file into the level with the line reader (Load Level, a recovery copy).
    bool loadFile(const QString& path);
    // "Open Level": after the unsaved-changes question, replaces the level with what the file's
    // script builds when it runs in the sandbox. True when the level was replaced.
    bool mnuFileOpen_Click();
    bool openFile(const QString& path);
    // Appends what the file's script builds to the level (further files dropped or named with
    // the first one).
    bool appendFile(const QString& path);
    // Where the scripts' includes ("data:scripts/x.lua") are read from; unset, none are found.
    void setIncludeReader(std::function<std::optional<QByteArray>(const QString& path)> reader)
    {
        m_includeReader = std::move(reader);
    }
    // "Exit" and closing the window: true when the program may end (nothing unsaved, or the user
    // saved or discarded it). Removes the recovery copy then.
    bool mnuFileExit_Click();
    bool Form_QueryUnload() { return mnuFileExit_Click(); }
    // Asks whether to save unsaved changes: true when the level may be dropped.
    bool confirmDiscard();

    // --- undo and redo; every change to the level is one step on the stack
    QUndoStack& undoStack() { return m_undo; }
    void undo();
    void redo();
    // True when the level changed since it was started, loaded or last saved.
    bool isModified() const;

    // --- recent levels (the last 8, newest first) and recovery of unsaved work
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

    // --- kind and model selection, panel
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
    void cmdApply_Click();
    void cmdColourSelect_Click();

    // --- views
    void setScales();
    void cmdZoomIn_Click();
    void cmdZoomOut_Click();
    // buttons: 1 = left button alone, 2 = right button.
    void Picture1_MouseMove(int buttons, int shift, double x, double y);
    void Picture1_MouseUp(int buttons, int shift, double x, double y);
    void picLeft_MouseMove(int buttons, int shift, double x, double y);
    void Picture1_Click();
    void picLeft_Click();
    // The mouse wheel over the top view: zooms in (steps > 0) or out around the pointer, within
    // the world; zooming out stops at the whole world.
    void Picture1_MouseWheel(int steps, double x, double y);
    // A middle-button drag: moves a zoomed top view by (dx, dy) world units, within the world.
    void panTopView(double dx, double dy);
    // Escape: an armed zoom is disarmed.
    void disarmZoom() { m_zoomArmed = false; }
    void Timer1_Timer();
    std::int32_t calcRandomHeight();

    // --- object list and labels
    QString addToList(const QString& listText, ItemKind kind, std::int16_t arrayId);
    // addToList without making the row's key (a load lists many rows).
    void appendRow(ObjectRow row);
    void selectRow(int row); // -1 clears the selection
    void lstObjects_Click();
    void lblObjects_Click(int labelIndex);
    void mnuObjectsDelete_Click();
    void deleteItem(ItemKind objType, int arrayId);
    void mnuObjectsSetPlayer_Click();
    void mnuLabelsHide_Click(int typeId);
    void mnuLabelsHideAll_Click();
    void setLabelFont();

    // --- what the user types into the panel and the options window
    void setFieldText(int field, const QString& text);
    void setCustomName(const QString& text) { m_customName = text; }
    void setSetHeightChecked(bool checked) { m_setHeightChecked = checked; }
    void setSetHeightText(const QString& text) { m_setHeightText = text; }
    void setRandomHeightChecked(bool checked) { m_randomHeightChecked = checked; }
    void setRandomHeightText(const QString& text) { m_randomHeightText = text; }
    MapSettings& mapSettings() { return m_settings; } // the options window's map fields
    // The player count (an index of its list). Lowering it below placed start points asks first
    // and, when the user agrees, drops those start points as one step of the undo history. False
    // (and nothing changes) when the user declines.
    bool setPlayerIndex(int index);
    // The level description; text outside Latin-1, which the game's files cannot hold, is refused
    // with a message.
    bool setLevelDescription(const QString& text);
    // A field of a player's entry in the player table; refused with a message when the game
    // cannot take the text (resources that are not a number, text outside Latin-1).
    bool setPlayerField(int slot, PlayerTable::Field field, const QString& text);
    // The calls the level keeps as a file gave them, one text each: "NonDetermChunk: fogSetType(...)".
    QStringList keptCallTexts() const;
    void setGridSize(const QString& text) { m_gridSize = text; }
    void setFontSizeIndex(int index) { m_fontSizeIndex = index; }

    // --- state
    const QString& caption() const { return m_caption; }
    const QString& gameDir() const { return m_catalogue.gameDir(); }
    const LevelDocument& document() const { return m_document; }
    const MapSettings& mapSettings() const { return m_settings; }
    const Catalogue& catalogue() const { return m_catalogue; }
    const QString& gridSize() const { return m_gridSize; }
    int fontSizeIndex() const { return m_fontSizeIndex; }

    std::optional<ItemKind> selectedKind() const { return m_selectedKind; }
    const QStringList& modelList() const { return m_models; }
    int modelIndex() const { return m_modelIndex; }
    QString modelText() const; // the selected entry, empty when none
    const std::array<PanelField, 4>& fields() const { return m_fields; }
    const PanelField& field(int i) const { return m_fields.at(static_cast<std::size_t>(i)); }
    const QString& customName() const { return m_customName; }
    bool customVisible() const { return m_customVisible; }
    bool colourVisible() const { return m_colourVisible; }
    bool applyVisible() const { return m_applyVisible; }
    bool heightControlsVisible() const { return m_heightControlsVisible; }
    bool setHeightChecked() const { return m_setHeightChecked; }
    const QString& setHeightText() const { return m_setHeightText; }
    bool randomHeightChecked() const { return m_randomHeightChecked; }
    const QString& randomHeightText() const { return m_randomHeightText; }
    const QString& mode() const { return m_mode; } // Label7

    bool zoomArmed() const { return m_zoomArmed; } // also: the top view shows the crosshair
    bool buttonDown() const { return m_buttonDown; }
    bool timerEnabled() const { return m_timerEnabled; }
    const QString& lblX() const { return m_lblX; }
    const QString& lblY() const { return m_lblY; }
    const QString& lblLeftX() const { return m_lblLeftX; }
    const QString& lblLeftY() const { return m_lblLeftY; }
    const ViewScale& topScale() const { return m_topScale; }
    const ViewScale& frontScale() const { return m_frontScale; }

    const std::vector<ObjectRow>& rows() const { return m_rows; }
    // Live items of a kind: the rows of that kind.
    int liveCount(ItemKind kind) const { return m_rowCounts.at(static_cast<std::size_t>(typeIdOf(kind))); }
    int selectedRow() const { return m_selectedRow; }
    int labelCount() const { return static_cast<int>(m_rows.size()); }
    MapLabel labelFor(int row) const;
    // The row a label key names, -1 when none.
    int rowForKey(QStringView key) const;
    bool labelShown(int typeId) const { return m_labelShow.at(static_cast<std::size_t>(typeId)); }
    bool hideAllChecked() const { return m_hideAll; }
    const QString& labelFontFamily() const { return m_labelFontFamily; }
    int labelFontPointSize() const { return m_labelFontPointSize; }

    std::int32_t lastColour() const { return m_lastColour; }
    // Increases whenever the views must be painted again.
    quint64 revision() const { return m_revision; }
    // Increases whenever another level replaces the one shown (New Level, Open Level).
    quint64 levelGeneration() const { return m_levelGeneration; }

private:
    friend class EditCommand;
    friend class LevelSwapCommand;
    friend class SettingsCommand;

    // Undo support: the commands call these.
    void applyStep(const EditStep& step, bool forward);
    void afterUndoStep(int selection, bool reloadPanel = true);
    void swapLevelState(LevelState& other);
    void pushEdit(const QString& text, std::vector<EditStep> steps, int selectionAfter, bool partOfDrag);
    // Pushes the change of one record made in place: the record is put back as `before` first, so
    // that the command applies it.
    void pushRecordChange(const QString& verb, int row, const AnyRecord& before, bool partOfDrag = false);
    // Pushes the change of the record of `row` from `before` to `after` (nothing when they are equal).
    void pushRecord(
        const QString& verb, int row, const AnyRecord& before, const AnyRecord& after, bool partOfDrag = false);
    LevelState takeLevelState();
    LevelState copyLevelState() const;
    void countRows();
    void markClean();
    // Runs the file's script and builds what it records into the level, replacing it or adding
    // to it. True when the level changed.
    bool runScriptFile(const QString& path, bool replace);
    void rememberFile(const QString& path);
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
    void pickRandomBackgroundAndMusic();
    void selectModelEntry(int index);
    void placeItem();
    void moveSelected();
    void zoomIn();
    bool modelIsCustom() const;
    bool checkCustomName();
    void loadRecordIntoPanel(const ObjectRow& row);

    EditorHost& m_host;
    SettingsStore& m_store;
    RandomSource m_random;

    QString m_caption;
    LevelDocument m_document;
    MapSettings m_settings;
    Catalogue m_catalogue;
    QString m_gridSize = QStringLiteral("2500");
    int m_fontSizeIndex = 4;

    std::optional<ItemKind> m_selectedKind;
    QStringList m_models;
    int m_modelIndex = -1;
    std::array<PanelField, 4> m_fields;
    QString m_customName;
    bool m_customVisible = false;
    bool m_colourVisible = false;
    bool m_applyVisible = false;
    bool m_heightControlsVisible = false;
    bool m_setHeightChecked = false;
    QString m_setHeightText = QStringLiteral("0");
    bool m_randomHeightChecked = false;
    QString m_randomHeightText = QStringLiteral("300");
    QString m_mode;

    bool m_zoomArmed = false;
    bool m_buttonDown = false;
    bool m_timerEnabled = true;
    QString m_lblX = QStringLiteral("X");
    QString m_lblY = QStringLiteral("Y");
    QString m_lblLeftX = QStringLiteral("X");
    QString m_lblLeftY = QStringLiteral("Y");
    double m_lastTopX = 0;
    double m_lastTopY = 0;
    double m_lastFrontX = 0;
    double m_lastFrontY = 0;
    ViewScale m_topScale;
    ViewScale m_frontScale;

    std::vector<ObjectRow> m_rows;
    int m_selectedRow = -1;
    std::array<bool, 10> m_labelShow{}; // index = typeId
    bool m_hideAll = false;
    QString m_labelFontFamily = QStringLiteral("Small Fonts");
    int m_labelFontPointSize = 6;

    std::int32_t m_lastColour = 0;
    quint64 m_revision = 0;
    quint64 m_levelGeneration = 0;

    QUndoStack m_undo;
    MapSettings m_cleanSettings;
    std::array<int, 10> m_rowCounts{};
    int m_dragId = 0;
    bool m_clickEndsDrag = false;
    bool m_firstRedo = false;
    QStringList m_recent;
    QString m_lastFolder;
    QString m_recoveryPath;
    std::function<std::optional<QByteArray>(const QString& path)> m_includeReader;
    QString m_openedScript; // the file whose script built the level, until its first save
    QString m_recoveryFolder;
    std::unique_ptr<QLockFile> m_recoveryLock;
    MapSettings m_doneSettings; // the level settings as of the last accepted "Done!", load or new level
};

} // namespace starloom
