// The Editor's files: new level, open by script, load, save, recent levels and recovery copies.

#include "Editor.h"

#include "document/Numbers.h"
#include "document/SettingsRules.h"
#include "gamedata/GameMaps.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"
#include "levelfile/SafeFile.h"
#include "script/LevelScript.h"

#include "LevelEdits.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace starloom {

namespace {

bool sameLevel(const Level& a, const Level& b)
{
    return a.rows.size() == b.rows.size() && a.settings == b.settings && a.document == b.document;
}

} // namespace

// ------------------------------------------------------------------ new and save

void Editor::newLevel()
{
    startNewLevel(0);
}

bool Editor::newLevelWithStarts(int players)
{
    return startNewLevel(std::clamp(players, 2, playerSlots));
}

bool Editor::startNewLevel(int players)
{
    if (!confirmDiscard())
        return false;
    // A level of its own, as the first start makes it: the standard settings and player table,
    // the whole world in view; nothing of the level it replaces.
    LevelState after;
    pickRandomBackgroundAndMusic(after.level.settings);
    after.level.document.setPlayerColours();
    after.top = topScaleFor(after.level.settings);
    after.front = frontScaleFor(after.level.settings);
    if (players > 0) {
        // The start points evenly round the world's centre, the first one straight up, at 70 %
        // of the distance to the nearer edge.
        after.level.settings.playerIndex = players - 2;
        const WorldSize world = worldSize(after.level.settings);
        const double radius = 0.7 * std::min(world.x, world.y);
        const QStringList entries = m_catalogue.modelList(ItemKind::PlayerStart, after.level.settings.playerIndex);
        for (int slot = 0; slot < players; ++slot) {
            const double angle = 2 * std::numbers::pi * slot / players;
            PlayerStartRecord& start = after.level.document.player(slot);
            start.label = QStringLiteral("Player %1").arg(slot + 1);
            start.posX = toInt32Clamped(std::round(radius * std::sin(angle)));
            start.posY = toInt32Clamped(std::round(-radius * std::cos(angle)));
            const QString entry = slot < entries.size() ? entries[slot] : start.label;
            after.level.rows.push_back(ObjectRow{placedItemText(ItemKind::PlayerStart, entry, {}, slot),
                ItemKind::PlayerStart, static_cast<std::int16_t>(slot)});
        }
    }
    pushLevel(players > 0 ? QStringLiteral("New Level for %1 Players").arg(players) : QStringLiteral("New Level"),
        std::move(after), 0);
    setCurrentFile({});
    m_openedScript.clear();
    m_loadProblems.clear();
    showPanelFields();
    leaveEditing();
    markClean();
    removeRecoveryCopy();
    ++m_levelGeneration;
    redraw();
    return true;
}

bool Editor::readyToSave()
{
    const SaveBlockers blockers = saveBlockers(m_level);
    if (!blockers.refusal.isEmpty()) {
        note(blockers.refusal);
        return false;
    }
    return blockers.startsLeftOut.empty()
        || m_host.askYesNo(blockers.leftOutMessage + QStringLiteral(". Save the level without them?"), programTitle());
}

bool Editor::saveAs()
{
    if (!readyToSave())
        return false;
    const MapSettings& settings = m_level.settings;
    QString initialName = plainDescription(settings.levelDesc) + QStringLiteral(".level");
    if (!m_openedScript.isEmpty()) {
        // Until the first save: the script's code does not survive it.
        const QFileInfo script(m_openedScript);
        const QString plain = script.completeBaseName() + QStringLiteral(" (plain).level");
        const int choice = m_host.askChoice(
            QStringLiteral("This level was built by running the script of %1. Saving writes every item as a plain "
                           "call: the script's loops, helper functions and random placement are not saved. Save it "
                           "under another name, so that the script stays as it is?")
                .arg(script.fileName()),
            programTitle(),
            {QStringLiteral("Save as %1\u2026").arg(plain), QStringLiteral("Replace %1\u2026").arg(script.fileName())});
        if (choice < 0)
            return false;
        initialName = script.dir().filePath(choice == 0 ? plain : script.fileName());
    }
    const QString path = m_host.askSaveFileName(levelFileFilter,
        m_recent.lastFolder().isEmpty() ? initialName : QDir(m_recent.lastFolder()).filePath(initialName));
    if (path.isEmpty())
        return false;
    if (isReadOnlyFile(path)
        && !m_host.askYesNo(QStringLiteral("%1 is read-only. Replace it all the same?").arg(path), programTitle()))
        return false;
    ModelLists models(m_catalogue);
    SaveOptions options;
    options.replaceReadOnly = true;
    if (const QString error = saveLevel(path, m_level, models, options); !error.isEmpty()) {
        note(QStringLiteral("The level could not be saved as %1.\n%2").arg(path, error));
        return false;
    }
    markClean();
    m_recent.remember(path);
    setCurrentFile(path);
    m_openedScript.clear();
    removeRecoveryCopy();
    m_host.showStatus(plainDescription(settings.levelDesc) + QStringLiteral(" saved"));
    return true;
}

// ------------------------------------------------------------------ open by script

namespace {

// True when the file begins as a Lua 4.0 compiled chunk does.
bool isCompiledLevel(const QString& path)
{
    QFile file;
    return openForReading(path, file).isEmpty() && file.peek(4) == QByteArrayLiteral("\x1bLua");
}

} // namespace

bool Editor::openChosenFile()
{
    const QString path = m_host.askOpenFileNameIn(levelFileFilter, m_recent.lastFolder(), QStringLiteral("Open Level"));
    return !path.isEmpty() && openFile(path);
}

bool Editor::openFile(const QString& path)
{
    if (path.isEmpty() || !confirmDiscard())
        return false;
    return runScriptFile(path, true);
}

bool Editor::appendFile(const QString& path)
{
    return !path.isEmpty() && runScriptFile(path, false);
}

bool Editor::openGameMap(const QString& dataPath)
{
    if (dataPath.isEmpty() || !confirmDiscard())
        return false;
    QString reason;
    std::optional<QByteArray> source =
        m_includeReader ? m_includeReader(dataPath, maxReadableFileBytes, &reason) : std::nullopt;
    if (!source) {
        note(reason.isEmpty() ? QStringLiteral("The level %1 is not in the game's data.").arg(dataPath)
                              : QStringLiteral("The level %1 could not be read.\n%2").arg(dataPath, reason));
        return false;
    }
    return runScript(*source, dataPath, true, true);
}

GameMapList Editor::gameMaps()
{
    GameMapList list;
    if (!m_gameMapLister) {
        list.problems << QStringLiteral("No game is in use: choose its folder in the Preferences dialog.");
        return list;
    }
    m_host.runInBackground(
        QStringLiteral("Reading the game's maps"), [&](const std::atomic<bool>& cancel, const auto&) {
            GameMapLimits limits;
            limits.cancel = &cancel;
            list = m_gameMapLister(limits);
        });
    return list;
}

bool Editor::runScriptFile(const QString& path, bool replace)
{
    QFile file;
    if (const QString reason = openForReading(path, file); !reason.isEmpty()) {
        note(QStringLiteral("The level %1 could not be read.\n%2").arg(path, reason));
        return false;
    }
    const QByteArray source = file.readAll();
    file.close();
    return runScript(source, path, replace, false);
}

bool Editor::runScript(const QByteArray& source, const QString& path, bool replace, bool fromGame)
{
    const QString fileName = fromGame ? path.section(QLatin1Char('/'), -1) : QFileInfo(path).fileName();
    m_buttonDown = false;
    LevelState after;
    if (replace) {
        // A level of its own: what the script builds, on a fresh level as New Level makes it.
        after.level.document.setPlayerColours();
        pickRandomBackgroundAndMusic(after.level.settings);
        after.top = m_view.top();
        after.front = m_view.front();
    } else {
        after = currentLevelState();
    }
    ModelLists models(m_catalogue);
    ReadResult read;
    qint64 randomCalls = 0;
    m_timerEnabled = false;
    const bool plain = readPlainLevel(source, after.level, models, read); // untouched when not plain
    m_timerEnabled = true;
    if (!plain) {
        RecordedScript recorded;
        m_host.runInBackground(QStringLiteral("Running the script of %1").arg(fileName),
            [&](const std::atomic<bool>& cancel, const std::function<void(qint64)>& progress) {
                ScriptOptions options;
                options.readInclude = m_includeReader;
                options.cancel = &cancel;
                options.progress = progress;
                recorded = recordLevelScript(source, path, options);
            });
        const ScriptResult& run = recorded.result;
        if (run.cancelled) {
            m_host.showStatus(QStringLiteral("Opening %1 was cancelled; the level is as it was.").arg(fileName));
            return false;
        }
        if (!recorded.builtAnything() && !run.ok && source.startsWith("\x1bLua")) {
            note(QStringLiteral("The level %1 could not be opened.\n%2").arg(path, run.error));
            return false;
        }
        if (!recorded.builtAnything()) {
            Level scratch;
            const ScriptRead scratchRead = buildRecordedScript(recorded, scratch, models); // its problems only
            const QString said = scratchRead.read.problems.empty()
                ? QString()
                : QLatin1Char('\n') + problemsText(scratchRead.read.problems);
            note(QStringLiteral("Nothing was read from %1: its script builds no item or setting of a level.%2")
                     .arg(path, said));
            return false;
        }
        if (!run.ok && !run.error.isEmpty()) {
            const QString where = run.errorLine > 0 ? QStringLiteral(" at line %1").arg(run.errorLine) : QString();
            if (!m_host.askYesNo(QStringLiteral("The script of %1 stopped%2: %3\n\nOpen what it built until then?")
                                     .arg(fileName, where, run.error),
                    programTitle()))
                return false;
        }
        m_timerEnabled = false;
        read = buildRecordedScript(recorded, after.level, models).read;
        m_timerEnabled = true;
        randomCalls = run.randomCalls;
    }
    if (!replace && sameLevel(after.level, m_level)) {
        note(QStringLiteral("Nothing was added from %1: its script builds no item or setting of a level.").arg(path));
        return false;
    }
    if (replace || read.worldBoundsRead) {
        after.top = topScaleFor(after.level.settings);
        after.front = frontScaleFor(after.level.settings);
    }
    const QString verb = replace ? QStringLiteral("Open") : QStringLiteral("Add");
    pushLevel(QStringLiteral("%1 %2").arg(verb, fileName), std::move(after),
        replace ? 0 : static_cast<int>(m_level.rows.size()));
    if (read.lastKind)
        showKind(*read.lastKind);
    leaveEditing();
    setLoadProblems(read.problems, fileName);
    if (replace) {
        markClean(); // the level is what the file builds
        ++m_levelGeneration;
        // The game's data is not written to: the level has no file until Save As names one. A
        // script's code is lost by a save, which its first save says; plain calls lose nothing.
        m_openedScript = fromGame || plain ? QString() : path;
        setCurrentFile(fromGame ? QString() : path);
    }
    m_recent.remember(path);
    redraw();
    if (randomCalls > 0)
        note(randomLayoutMessage(randomCalls));
    return true;
}

bool Editor::readPlainLevel(const QByteArray& source, Level& level, ModelLists& models, ReadResult& read) const
{
    // Running a file of plain calls builds what reading its lines builds; the reader also keeps
    // the calls as the file writes them, in a fraction of the time and memory. A file with any
    // script code, or anything the reader reports, is run.
    if (source.startsWith("\x1bLua"))
        return false;
    QBuffer buffer;
    buffer.setData(source);
    buffer.open(QIODevice::ReadOnly);
    Level attempt = level;
    ReadResult result = readLevel(buffer, attempt, models);
    if (!result.problems.empty() || result.callsSkipped > 0 || result.scriptInChunks > 0)
        return false;
    level = std::move(attempt);
    read = std::move(result);
    return true;
}

// ------------------------------------------------------------------ load

void Editor::setLoadProblems(std::vector<ReadProblem> problems, const QString& fileName)
{
    m_loadProblems = std::move(problems);
    if (m_loadProblems.empty())
        return;
    ++m_loadProblemsRevision;
    m_host.showStatus(m_loadProblems.size() == 1
            ? QStringLiteral("1 problem was found reading %1; the Checks panel shows it").arg(fileName)
            : QStringLiteral("%1 problems were found reading %2; the Checks panel lists them")
                  .arg(m_loadProblems.size())
                  .arg(fileName));
}

bool Editor::loadChosenFile()
{
    return loadFile(m_host.askOpenFileNameIn(levelFileFilter, m_recent.lastFolder(), QStringLiteral("Load Level")));
}

bool Editor::loadFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    const bool replacesNothing = !isModified() && m_level.rows.empty();
    // A compiled level has no lines to read: its instructions run in the sandbox instead, adding
    // what they build (or, into an empty level, making the level as Open does).
    if (isCompiledLevel(path))
        return runScriptFile(path, replacesNothing);
    LevelState after = currentLevelState();
    m_timerEnabled = false;
    m_buttonDown = false;
    ModelLists models(m_catalogue);
    QString error;
    const std::optional<ReadResult> result = loadLevel(path, after.level, models, &error);
    m_timerEnabled = true;
    if (!result) {
        note(QStringLiteral("The level %1 could not be read.\n%2").arg(path, error));
        return false;
    }
    if (sameLevel(after.level, m_level)) {
        const QString problems =
            result->problems.empty() ? QString() : QLatin1Char('\n') + problemsText(result->problems);
        note(QStringLiteral("Nothing was read from %1: it holds no item or setting of a level.%2").arg(path, problems));
        return false;
    }
    if (result->worldBoundsRead) {
        after.top = topScaleFor(after.level.settings);
        after.front = frontScaleFor(after.level.settings);
    }
    pushLevel(QStringLiteral("Load %1").arg(QFileInfo(path).fileName()), std::move(after),
        static_cast<int>(m_level.rows.size()));
    // The list of the last kind read is left in the panel under its own kind's button, so that
    // the next placement takes a model of that kind.
    if (result->lastKind)
        showKind(*result->lastKind);
    leaveEditing();
    // A level loaded into an empty, unchanged one is just the file.
    setLoadProblems(result->problems, QFileInfo(path).fileName());
    if (replacesNothing) {
        markClean();
        if (!m_recovery.isCopy(path))
            setCurrentFile(path);
        m_openedScript.clear();
    }
    if (!m_recovery.isCopy(path))
        m_recent.remember(path);
    redraw();
    return true;
}

// ------------------------------------------------------------------ unsaved changes

bool Editor::save()
{
    // A level a script built asks once, in the dialog's path, whether to keep the script.
    if (m_currentFile.isEmpty() || !m_openedScript.isEmpty())
        return saveAs();
    if (!readyToSave())
        return false;
    if (m_confirmReplace
        && !m_host.askYesNo(
            QStringLiteral("The restored work was last saved as %1. Replace that file with it?").arg(m_currentFile),
            programTitle()))
        return false;
    if (isReadOnlyFile(m_currentFile)
        && !m_host.askYesNo(
            QStringLiteral("%1 is read-only. Replace it all the same?").arg(m_currentFile), programTitle()))
        return false;
    ModelLists models(m_catalogue);
    SaveOptions options;
    options.replaceReadOnly = true;
    if (const QString error = saveLevel(m_currentFile, m_level, models, options); !error.isEmpty()) {
        note(QStringLiteral("The level could not be saved as %1.\n%2").arg(m_currentFile, error));
        return false;
    }
    markClean();
    m_confirmReplace = false;
    m_recent.remember(m_currentFile);
    removeRecoveryCopy();
    m_host.showStatus(QStringLiteral("Saved %1").arg(QFileInfo(m_currentFile).fileName()));
    return true;
}

bool Editor::confirmDiscard()
{
    if (!isModified())
        return true;
    m_buttonDown = false;
    switch (m_host.askSaveChanges(plainDescription(m_level.settings.levelDesc))) {
    case SaveChoice::Save:
        return saveAs();
    case SaveChoice::Discard:
        return true;
    case SaveChoice::Cancel:
        break;
    }
    return false;
}

bool Editor::prepareToExit()
{
    if (!confirmDiscard())
        return false;
    removeRecoveryCopy();
    return true;
}

void Editor::leaveEditing()
{
    m_selection.clear();
    chooseTool(ToolKind::Select);
    if (m_panel.mode != EditorMode::Editing)
        return;
    m_panel.mode = EditorMode::Placement;
    if (m_panel.kind)
        showKind(*m_panel.kind);
    else
        showPanelFields();
}

// ------------------------------------------------------------------ recent levels

bool Editor::openRecent(int index)
{
    if (index < 0 || index >= m_recent.paths().size())
        return false;
    const QString path = m_recent.paths().at(index);
    if (isDataPath(path))
        return openGameMap(path);
    if (!QFileInfo(path).isFile()) {
        m_recent.remove(index);
        note(QStringLiteral("The level %1 no longer exists; it was removed from the recent levels.").arg(path));
        return false;
    }
    return openFile(path);
}

// ------------------------------------------------------------------ recovery copies

bool Editor::writeRecoveryCopy()
{
    if (m_recovery.path().isEmpty() || !isModified())
        return false;
    ModelLists models(m_catalogue);
    return m_recovery.write(writeLevel(m_level, models, true), m_currentFile);
}

void Editor::removeRecoveryCopy()
{
    m_recovery.remove();
}

bool Editor::setRecoveryFolder(const QString& folder)
{
    return m_recovery.claim(folder);
}

bool Editor::offerRecovery()
{
    RecoveryCopies::Left left = m_recovery.leftBehind([this](RecoveryCopy& copy) {
        Level level;
        ModelLists models(m_catalogue);
        const std::optional<ReadResult> read = loadLevel(copy.path, level, models, nullptr);
        copy.items = read ? read->itemsRead : 0;
        copy.levelDesc = plainDescription(level.settings.levelDesc);
    });
    const std::vector<RecoveryCopy>& copies = left.copies;
    if (copies.empty())
        return false;
    const RecoveryAnswer answer = m_host.askRecovery(copies);
    if (answer.choice == RecoveryAnswer::Choice::Discard) {
        for (const RecoveryCopy& copy : copies)
            QFile::remove(copy.path);
        return false;
    }
    if (answer.choice != RecoveryAnswer::Choice::Restore || answer.index < 0
        || answer.index >= static_cast<int>(copies.size()))
        return false;
    const RecoveryCopy& chosen = copies[static_cast<std::size_t>(answer.index)];
    const QString restored = chosen.path;
    if (!loadFile(restored))
        return false;
    m_undo.resetClean(); // restored work is unsaved work
    // The work goes on in its file; the first Save asks before it replaces what the file holds now.
    if (!chosen.file.isEmpty()) {
        m_currentFile = chosen.file;
        m_confirmReplace = true;
    }
    // The work is this editor's own from now on; the old copy goes once the new one is written.
    if (writeRecoveryCopy())
        QFile::remove(restored);
    return true;
}

} // namespace starloom
