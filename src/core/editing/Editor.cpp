#include "Editor.h"
#include "Overloaded.h"
#include "Selection.h"

#include "document/Numbers.h"
#include "gamedata/GameSetup.h"
#include "gamedata/SettingsStore.h"

#include <QLockFile>
#include <QRandomGenerator>

#include <algorithm>
#include <utility>

namespace starloom {

namespace {

int randomIndex(qsizetype count, double r)
{
    const float product = static_cast<float>(count) * static_cast<float>(r);
    const auto index = static_cast<qsizetype>(product);
    return static_cast<int>(std::clamp<qsizetype>(index, 0, count - 1));
}

} // namespace

RandomSource defaultRandomSource()
{
    return [] { return QRandomGenerator::global()->generateDouble(); };
}

Editor::Editor(EditorHost& host, SettingsStore& settingsStore, RandomSource random, QString gameDir)
    : Editor(host, settingsStore, std::move(random), gameCatalogue(gameDir))
{
}

Editor::Editor(EditorHost& host, SettingsStore& settingsStore, RandomSource random, Catalogue catalogue)
    : m_host(host),
      m_store(settingsStore),
      m_random(random ? std::move(random) : defaultRandomSource()),
      m_catalogue(std::move(catalogue)),
      m_recent(settingsStore)
{
    startUp();
    setScales();
    markClean();
    m_doneSettings = m_level.settings;
}

Editor::~Editor() = default;

void Editor::startUp()
{
    m_caption = programTitle();
    m_level.document.resetDocument();
    m_gridSize = validGridSize(m_store.read(gridSizeKey, defaultGridSize));
    m_fontSizeIndex = validFontSizeIndex(m_store.read(fontSizeKey, defaultFontSize));
    const CheckOptions defaults;
    m_checkOptions.minStartDistance =
        validStoredNumber(m_store.read(minStartDistanceKey, QString()), 1e9, defaults.minStartDistance);
    m_checkOptions.fairShare =
        validStoredNumber(m_store.read(fairSharePercentKey, QString()), 1000, defaults.fairShare * 100) / 100;
    setLabelFont();
    m_view.resetDrawing(m_store.read(stretchToFillKey, QStringLiteral("0")) == QStringLiteral("1"));
    m_level.document.setPlayerColours();
    m_level.settings.playerIndex = 0;
    pickRandomBackgroundAndMusic(m_level.settings);
    showPanelFields();
}

void Editor::pickRandomBackgroundAndMusic(MapSettings& settings)
{
    settings.background = backgroundEntries().at(randomIndex(backgroundEntries().size(), m_random()));
    settings.music = musicEntries().at(randomIndex(musicEntries().size(), m_random()));
}

// ------------------------------------------------------------------ messages

void Editor::message(const QString& text)
{
    message(text, programTitle());
}

void Editor::message(const QString& text, const QString& title)
{
    // The message box takes the mouse, so the mouse-up that would end a drag never reaches the view.
    m_buttonDown = false;
    m_host.showMessage(text, title);
}

// ------------------------------------------------------------------ undo and redo

void Editor::pushEdit(const QString& text, std::vector<EditStep> steps, int selectionAfter, bool partOfDrag)
{
    m_firstRedo = true;
    auto* command = new EditCommand(
        *this, text, std::move(steps), m_selection.editedRow(), selectionAfter, partOfDrag ? mergeKey() : 0);
    if (m_selection.size() > 1)
        command->setSelections(m_selection.rows(), {});
    m_undo.push(command);
    m_firstRedo = false;
}

void Editor::pushRecord(const QString& verb, int row, const AnyRecord& before, const AnyRecord& after, bool partOfDrag)
{
    if (after == before)
        return;
    const ObjectRow& r = m_level.rows.at(static_cast<std::size_t>(row));
    pushEdit(verb + QLatin1Char(' ') + r.text, {RecordStep{r.kind, r.arrayId, before, after}}, m_selection.editedRow(),
        partOfDrag);
}

void Editor::pushLevel(const QString& text, LevelState after, int sharedRows)
{
    m_firstRedo = true;
    m_undo.push(new LevelSwapCommand(*this, text, std::move(after), sharedRows));
    m_firstRedo = false;
}

void Editor::applyStep(const EditStep& step, bool forward)
{
    ++m_levelChanges;
    std::vector<ObjectRow>& rows = m_level.rows;
    auto insertRow = [&](int position, const ObjectRow& row) {
        rows.insert(rows.begin() + position, row);
        countRow(row, 1);
        m_rowChanges.inserted(position, 1);
    };
    auto removeRow = [&](int position) {
        countRow(rows[static_cast<std::size_t>(position)], -1);
        rows.erase(rows.begin() + position);
        m_rowChanges.removed(position, 1);
    };
    std::visit(
        Overloaded{
            [&](const RecordStep& s) { m_level.document.setRecord(s.kind, s.arrayId, forward ? s.after : s.before); },
            [&](const AppendStep& s) {
                if (forward)
                    m_level.document.appendRecord(s.kind, s.record);
                else
                    m_level.document.removeLastItem(s.kind);
            },
            [&](const RowInsertStep& s) {
                if (forward)
                    insertRow(s.position, s.row);
                else
                    removeRow(s.position);
            },
            [&](const RowRemoveStep& s) {
                if (forward)
                    removeRow(s.position);
                else
                    insertRow(s.position, s.row);
            },
        },
        step);
}

void Editor::afterUndoStep(int selection, bool reloadPanel)
{
    m_selection.selectOnly(selection, static_cast<int>(m_level.rows.size()));
    // The first run of a new command keeps the panel as the user left it.
    if (reloadPanel && !m_firstRedo && m_panel.mode == EditorMode::Editing) {
        if (m_selection.editedRow() >= 0) {
            loadRecordIntoPanel(m_level.rows[static_cast<std::size_t>(m_selection.editedRow())]);
        } else {
            m_panel.mode = EditorMode::Placement;
            showPanelFields();
        }
    }
    redraw();
}

void Editor::restoreSelection(const std::vector<int>& rows)
{
    m_selection.setRows(normalisedRows(m_level, rows));
}

void Editor::swapLevelState(LevelState& other, int sharedRows)
{
    ++m_levelChanges;
    const int oldRows = static_cast<int>(m_level.rows.size());
    std::swap(m_level, other.level);
    const int edited = std::exchange(other.selectedRow, m_selection.editedRow());
    m_view.swapScales(other.top, other.front);
    const int newRows = static_cast<int>(m_level.rows.size());
    if (sharedRows <= 0)
        m_rowChanges.reset();
    else if (newRows > oldRows)
        m_rowChanges.inserted(oldRows, newRows - oldRows);
    else
        m_rowChanges.removed(newRows, oldRows - newRows);
    countRows();
    m_doneSettings = m_level.settings;
    afterUndoStep(edited);
}

LevelState Editor::currentLevelState() const
{
    return LevelState{m_level, m_selection.editedRow(), m_view.top(), m_view.front()};
}

void Editor::countRows()
{
    m_rowCounts.fill(0);
    m_hiddenCounts.fill(0);
    m_lockedCounts.fill(0);
    for (const ObjectRow& row : m_level.rows)
        countRow(row, 1);
}

void Editor::countRow(const ObjectRow& row, int by)
{
    const auto kind = static_cast<std::size_t>(typeIdOf(row.kind));
    m_rowCounts.at(kind) += by;
    if (row.hidden)
        m_hiddenCounts.at(kind) += by;
    if (row.locked)
        m_lockedCounts.at(kind) += by;
}

void Editor::undo()
{
    m_buttonDown = false;
    m_undo.undo();
}

void Editor::redo()
{
    m_buttonDown = false;
    m_undo.redo();
}

bool Editor::isModified() const
{
    return !m_undo.isClean() || m_level.settings != m_cleanSettings;
}

void Editor::markClean()
{
    m_undo.setClean();
    m_cleanSettings = m_level.settings;
}

void Editor::applySettingsChange(const MapSettings& from, const MapSettings& to)
{
    MapSettings& settings = m_level.settings;
    for (QString MapSettings::*field :
        {&MapSettings::levelDesc, &MapSettings::sizeX, &MapSettings::sizeY, &MapSettings::sizeZ,
            &MapSettings::cameraMin, &MapSettings::cameraMax, &MapSettings::background, &MapSettings::music}) {
        if (from.*field != to.*field)
            settings.*field = m_doneSettings.*field = to.*field;
    }
    if (from.playerIndex != to.playerIndex)
        settings.playerIndex = m_doneSettings.playerIndex = to.playerIndex;
    setScales();
}

} // namespace starloom
