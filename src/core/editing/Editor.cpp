#include "Editor.h"

#include "gamedata/GameSetup.h"
#include "gamedata/SettingsStore.h"
#include "document/ItemFields.h"
#include "document/Numbers.h"
#include "document/SettingsRules.h"
#include "levelfile/LevelReader.h"
#include "levelfile/LevelWriter.h"
#include "levelfile/SafeFile.h"
#include "script/LevelScript.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QStringTokenizer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace starloom {

namespace {

const QString selectTypeMessage = QStringLiteral("Select Type");
const QString recentLevelsKey = QStringLiteral("RecentLevels");
constexpr int maxRecentLevels = 8;

template <class... Fs>
struct Overloaded : Fs... {
    using Fs::operator()...;
};
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

// Converts the panel's field texts into record values through the kind's field table; remembers
// the first field that cannot be stored.
class FieldReader {
public:
    explicit FieldReader(const std::array<PanelField, 4>& fields)
        : m_fields(fields)
    {
    }

    // Stores every field of `layout` that has a record member into `record`. `placing` takes the
    // fields marked strict as whole numbers; otherwise a field's leading number counts (0 if none).
    // Nothing is stored when a field is refused.
    bool store(const KindLayout& layout, AnyRecord& record, bool placing)
    {
        std::vector<double> values(layout.fields.size(), 0.0);
        for (std::size_t i = 0; i < layout.fields.size(); ++i) {
            const ItemField& f = layout.fields[i];
            if (f.set)
                values[i] = value(int(i), f, placing && f.strictWhenPlaced);
        }
        if (!ok())
            return false;
        for (std::size_t i = 0; i < layout.fields.size(); ++i) {
            if (layout.fields[i].set)
                layout.fields[i].set(record, values[i]);
        }
        return true;
    }

    const QString& error() const { return m_error; }
    bool ok() const { return m_error.isEmpty(); }

private:
    double value(int i, const ItemField& f, bool strict)
    {
        const QString& text = m_fields.at(static_cast<std::size_t>(i)).text;
        if (strict && !isStrictNumber(text)) {
            fail(i, QStringLiteral("must be a number"));
            return 0;
        }
        const double v = val(text);
        switch (f.type) {
        case FieldType::Float32:
            if (!std::isfinite(v) || std::abs(v) > double(std::numeric_limits<float>::max())) {
                fail(i, QStringLiteral("is too large"));
                return 0;
            }
            return double(static_cast<float>(v));
        case FieldType::Int16:
            if (const auto n = toInt16(v))
                return *n;
            fail(i, QStringLiteral("must lie between -32768 and 32767"));
            return 0;
        case FieldType::Int32: break;
        }
        if (const auto n = toInt32(v))
            return *n;
        fail(i, QStringLiteral("must lie between -2147483648 and 2147483647"));
        return 0;
    }

    void fail(int i, const QString& what)
    {
        if (m_error.isEmpty())
            m_error = QStringLiteral("\"%1\" %2.").arg(m_fields.at(static_cast<std::size_t>(i)).caption, what);
    }

    const std::array<PanelField, 4>& m_fields;
    QString m_error;
};

// The first character of `text` that the game's 8-bit text cannot hold, or nullopt.
std::optional<QChar> firstNotLatin1(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return c;
    }
    return std::nullopt;
}

// "Player 7", "Player 7 and Player 8", "Player 6, Player 7 and Player 8".
QString playerNames(const std::vector<int>& slots)
{
    QStringList names;
    for (const int slot : slots)
        names << QStringLiteral("Player %1").arg(slot + 1);
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

QString notLatin1Message(const QString& what, QChar c)
{
    return QStringLiteral("%1 cannot hold the character \"%2\": the game reads 8-bit (Latin-1) text only.").arg(what, c);
}

template <class Rec>
constexpr bool hasModel = !std::is_same_v<Rec, PlayerStartRecord>;

class RowSink final : public ItemSink {
public:
    explicit RowSink(Editor& editor)
        : m_editor(editor)
    {
    }
    void itemRead(ItemKind kind, std::int16_t arrayId, const QString& text, std::int32_t, std::int32_t) override
    {
        m_editor.appendRow(ObjectRow{text, kind, arrayId});
    }

private:
    Editor& m_editor;
};

// Counts the items a level file holds.
class CountingSink final : public ItemSink {
public:
    void itemRead(ItemKind, std::int16_t, const QString&, std::int32_t, std::int32_t) override { ++items; }
    int items = 0;
};

// The recent levels the settings hold, at most as many as the menu shows however many are stored.
QStringList firstRecentLevels(const QString& stored)
{
    QStringList levels;
    for (const QStringView level : QStringTokenizer(stored, u'\n', Qt::SkipEmptyParts)) {
        if (levels.size() == maxRecentLevels)
            break;
        levels << level.toString();
    }
    return levels;
}

const QString recoveryCopyPattern = QStringLiteral("recovery*.level");

// The lock of a recovery copy, or nullptr while the editor that holds it is running. A lock whose
// process has ended is taken over, however old it is.
std::unique_ptr<QLockFile> takeRecoveryLock(const QString& copy)
{
    auto lock = std::make_unique<QLockFile>(copy + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}

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
    : m_host(host)
    , m_store(settingsStore)
    , m_random(random ? std::move(random) : defaultRandomSource())
    , m_catalogue(std::move(catalogue))
{
    Form_Load();
    setScales();
    m_recent = firstRecentLevels(m_store.read(recentLevelsKey, QString()));
    markClean();
    m_doneSettings = m_settings;
}

Editor::~Editor() = default;

// ------------------------------------------------------------------ start-up and level commands

void Editor::Form_Load()
{
    m_caption = programTitle();
    m_document.resetDocument();
    m_gridSize = validGridSize(m_store.read(gridSizeKey, defaultGridSize));
    m_fontSizeIndex = validFontSizeIndex(m_store.read(fontSizeKey, defaultFontSize));
    setLabelFont();
    m_labelShow.fill(true);
    m_labelShow[static_cast<std::size_t>(typeIdOf(ItemKind::Pebble))] = false;
    m_hideAll = false;
    m_document.setPlayerColours();
    m_settings.playerIndex = 0;
    pickRandomBackgroundAndMusic();
    setVisible();
}

void Editor::pickRandomBackgroundAndMusic()
{
    m_settings.background = backgroundEntries().at(randomIndex(backgroundEntries().size(), m_random()));
    m_settings.music = musicEntries().at(randomIndex(musicEntries().size(), m_random()));
}

void Editor::mnuFileNew_Click()
{
    if (!confirmDiscard())
        return;
    LevelState before = takeLevelState();
    m_document.resetDocument();
    m_settings.playerIndex = 0;
    pickRandomBackgroundAndMusic();
    setVisible();
    m_rows.clear();
    m_selectedRow = -1;
    m_document.setPlayerColours();
    countRows();
    leaveEditing();
    m_doneSettings = m_settings;
    m_undo.push(new LevelSwapCommand(*this, QStringLiteral("New Level"), std::move(before)));
    markClean();
    removeRecoveryCopy();
    redraw();
}

bool Editor::mnuFileSave_Click()
{
    if (!hasAllPlayerStarts(m_document, m_settings)) {
        message(missingStartsMessage(), QStringLiteral("Error"));
        return false;
    }
    if (const QString error = levelSettingsError(m_settings); !error.isEmpty()) {
        message(error, QStringLiteral("Error"));
        return false;
    }
    if (const std::vector<int> beyond = startsBeyondPlayerCount(m_document, m_settings.playerCount()); !beyond.empty()) {
        if (!m_host.askYesNo(QStringLiteral("The start points of %1 lie beyond the level's %2 players and are not "
                                            "saved. Save the level without them?")
                                 .arg(playerNames(beyond))
                                 .arg(m_settings.playerCount()),
                             programTitle()))
            return false;
    }
    QString initialName = m_settings.levelDesc + QStringLiteral(".level");
    if (!m_openedScript.isEmpty()) {
        // Once: the script's code does not survive a save.
        const QFileInfo script(m_openedScript);
        m_openedScript.clear();
        if (m_host.askYesNo(QStringLiteral("This level was built by running the script of %1. Saving writes every item "
                                           "as a plain call: the script's loops, helper functions and random placement "
                                           "are not saved. Save it under another name, so that the script stays as it is?")
                                .arg(script.fileName()),
                            programTitle()))
            initialName = script.completeBaseName() + QStringLiteral(" (plain).level");
    }
    const QString path = m_host.askSaveFileName(
        levelFileFilter, m_lastFolder.isEmpty() ? initialName : QDir(m_lastFolder).filePath(initialName));
    if (path.isEmpty())
        return false;
    if (isReadOnlyFile(path)
        && !m_host.askYesNo(QStringLiteral("%1 is read-only. Replace it all the same?").arg(path), programTitle()))
        return false;
    ModelLists models(m_catalogue);
    const QString error = saveFileAtomically(path, writeLevel(m_document, m_settings, models), true);
    if (!error.isEmpty()) {
        message(QStringLiteral("The level could not be saved as %1.\n%2").arg(path, error));
        return false;
    }
    markClean();
    rememberFile(path);
    removeRecoveryCopy();
    message(m_settings.levelDesc + QStringLiteral(" saved"));
    return true;
}

bool Editor::setPlayerIndex(int index)
{
    if (index < 0 || index >= playerCountEntries().size() || index == m_settings.playerIndex)
        return index == m_settings.playerIndex;
    const std::vector<int> dropped = startsBeyondPlayerCount(m_document, index + 2);
    if (!dropped.empty()) {
        if (!m_host.askYesNo(QStringLiteral("With %1 players the start points of %2 are not part of the level. "
                                            "Lower the player count and delete them?")
                                 .arg(index + 2)
                                 .arg(playerNames(dropped)),
                             programTitle()))
            return false;
        std::vector<EditStep> steps;
        for (const int slot : dropped) {
            const AnyRecord before = m_document.player(slot);
            PlayerStartRecord after = m_document.player(slot);
            after.label.clear();
            steps.push_back(RecordStep{ItemKind::PlayerStart, static_cast<std::int16_t>(slot), before, after});
        }
        // Every row of the dropped slots, from the last, so that each position still holds when it is removed.
        for (int r = static_cast<int>(m_rows.size()) - 1; r >= 0; --r) {
            const ObjectRow& row = m_rows[static_cast<std::size_t>(r)];
            if (row.kind == ItemKind::PlayerStart && std::find(dropped.begin(), dropped.end(), row.arrayId) != dropped.end())
                steps.push_back(RowRemoveStep{r, row});
        }
        m_settings.playerIndex = index;
        pushEdit(QStringLiteral("Lower to %1 players").arg(index + 2), std::move(steps), -1, false);
    }
    m_settings.playerIndex = index;
    if (m_selectedKind == ItemKind::PlayerStart && m_mode == placementMode)
        selectKind(ItemKind::PlayerStart); // the list of players follows the count
    return true;
}

bool Editor::setLevelDescription(const QString& text)
{
    if (const auto c = firstNotLatin1(text)) {
        message(notLatin1Message(QStringLiteral("The level description"), *c));
        return false;
    }
    m_settings.levelDesc = text;
    return true;
}

bool Editor::setPlayerField(int slot, PlayerTable::Field field, const QString& text)
{
    if (const auto c = firstNotLatin1(text)) {
        message(notLatin1Message(QStringLiteral("A player's entry"), *c));
        return false;
    }
    if (!m_settings.players.setText(slot, field, text)) {
        message(field == PlayerTable::Field::Resources
                    ? QStringLiteral("A player's resources must be a number, written as the game reads numbers.")
                    : QStringLiteral("The player entry of Player %1 is not a table and cannot be changed.").arg(slot + 1));
        return false;
    }
    return true;
}

QStringList Editor::keptCallTexts() const
{
    QStringList texts;
    for (const KeptCall& call : m_settings.keptCalls) {
        QString line = QLatin1String(call.chunk == Chunk::NonDeterm ? "NonDetermChunk: " : "DetermChunk: ")
            + QString::fromStdString(call.name) + QLatin1Char('(');
        for (std::size_t i = 0; i < call.args.size(); ++i) {
            const std::string text = luaText(call.args[i]);
            line += (i > 0 ? QStringLiteral(", ") : QString()) + QString::fromLatin1(text.data(), qsizetype(text.size()));
        }
        texts << line + QLatin1Char(')');
    }
    return texts;
}

bool Editor::mnuFileOpen_Click()
{
    const QString path = m_host.askOpenFileNameIn(levelFileFilter, m_lastFolder);
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

bool Editor::runScriptFile(const QString& path, bool replace)
{
    const QString fileName = QFileInfo(path).fileName();
    QFile file;
    if (const QString reason = openForReading(path, file); !reason.isEmpty()) {
        message(QStringLiteral("The level %1 could not be read.\n%2").arg(path, reason));
        return false;
    }
    const QByteArray source = file.readAll();
    file.close();
    if (source.startsWith("\x1bLua")) {
        message(QStringLiteral("%1 is a compiled level (Lua bytecode), not a script: it cannot be opened. The game's "
                               "own maps ship compiled; open a map's script instead.").arg(fileName));
        return false;
    }
    m_buttonDown = false;
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
        message(QStringLiteral("Opening %1 was cancelled; the level is as it was.").arg(fileName));
        return false;
    }
    if (!recorded.builtAnything()) {
        LevelDocument document;
        MapSettings settings;
        ModelLists models(m_catalogue);
        const ScriptRead read = buildRecordedScript(recorded, document, settings, models); // its problems only
        const QString said = read.read.problems.empty() ? QString() : QLatin1Char('\n') + problemsText(read.read.problems);
        message(QStringLiteral("Nothing was read from %1: its script builds no item or setting of a level.%2").arg(path, said));
        return false;
    }
    if (!run.ok && !run.error.isEmpty()) {
        const QString where = run.errorLine > 0 ? QStringLiteral(" at line %1").arg(run.errorLine) : QString();
        if (!m_host.askYesNo(QStringLiteral("The script of %1 stopped%2: %3\n\nOpen what it built until then?")
                                 .arg(fileName, where, run.error),
                             programTitle()))
            return false;
    }

    LevelState before = replace ? takeLevelState() : copyLevelState();
    if (replace) {
        // A level of its own: what the script builds, on a fresh level as New Level makes it.
        m_document.resetDocument();
        m_document.setPlayerColours();
        m_settings = MapSettings{};
        pickRandomBackgroundAndMusic();
        m_rows.clear();
        m_selectedRow = -1;
    }
    m_timerEnabled = false;
    ModelLists models(m_catalogue);
    RowSink sink(*this);
    const ScriptRead read = buildRecordedScript(recorded, m_document, m_settings, models, &sink);
    m_timerEnabled = true;
    if (!replace && m_rows.size() == before.rows.size() && m_settings == before.settings && m_document == before.document) {
        message(QStringLiteral("Nothing was added from %1: its script builds no item or setting of a level.").arg(path));
        return false;
    }
    if (replace || read.read.worldBoundsRead)
        setScales();
    if (read.read.lastKind)
        selectKind(*read.read.lastKind);
    countRows();
    leaveEditing();
    m_doneSettings = m_settings;
    m_undo.push(new LevelSwapCommand(*this, QStringLiteral("%1 %2").arg(replace ? QStringLiteral("Open") : QStringLiteral("Add"), fileName),
                                     std::move(before)));
    if (replace) {
        markClean(); // the level is what the file builds
        m_openedScript = path;
    }
    rememberFile(path);
    redraw();
    QStringList told;
    if (!read.read.problems.empty())
        told << problemsText(read.read.problems);
    if (run.randomCalls > 0)
        told << randomLayoutMessage(run.randomCalls);
    if (!told.isEmpty())
        message(told.join(QStringLiteral("\n\n")));
    return true;
}

bool Editor::mnuFileLoad_Click()
{
    return loadFile(m_host.askOpenFileNameIn(levelFileFilter, m_lastFolder));
}

bool Editor::loadFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    const bool replacesNothing = !isModified() && m_rows.empty();
    LevelState before = copyLevelState();
    m_timerEnabled = false;
    m_buttonDown = false;
    ModelLists models(m_catalogue);
    RowSink sink(*this);
    QString error;
    const std::optional<ReadResult> result = readLevelFile(path, m_document, m_settings, models, &sink, &error);
    m_timerEnabled = true;
    if (!result) {
        message(QStringLiteral("The level %1 could not be read.\n%2").arg(path, error));
        return false;
    }
    if (m_rows.size() == before.rows.size() && m_settings == before.settings && m_document == before.document) {
        const QString problems = result->problems.empty() ? QString() : QLatin1Char('\n') + problemsText(result->problems);
        message(QStringLiteral("Nothing was read from %1: it holds no item or setting of a level.%2").arg(path, problems));
        return false;
    }
    if (result->worldBoundsRead)
        setScales();
    // The list of the last kind read is left in the panel under its own kind's button, so that
    // the next placement takes a model of that kind.
    if (result->lastKind)
        selectKind(*result->lastKind);
    countRows();
    leaveEditing();
    m_doneSettings = m_settings;
    m_undo.push(new LevelSwapCommand(*this, QStringLiteral("Load %1").arg(QFileInfo(path).fileName()), std::move(before)));
    // A level loaded into an empty, unchanged one is just the file.
    if (replacesNothing)
        markClean();
    if (!isRecoveryCopy(path))
        rememberFile(path);
    redraw();
    if (!result->problems.empty())
        message(problemsText(result->problems));
    return true;
}

bool Editor::Command1_Click()
{
    QString error = levelSettingsError(m_settings);
    if (error.isEmpty())
        error = gridSizeError(m_gridSize);
    if (!error.isEmpty()) {
        message(error);
        return false;
    }
    m_store.write(gridSizeKey, m_gridSize);
    m_store.write(fontSizeKey, intText(m_fontSizeIndex));
    if (m_settings != m_doneSettings) {
        m_undo.push(new SettingsCommand(*this, m_doneSettings, m_settings));
        m_doneSettings = m_settings;
    }
    setScales();
    setLabelFont();
    redraw();
    return true;
}

// ------------------------------------------------------------------ kind and model selection

void Editor::selectKind(ItemKind kind)
{
    m_selectedKind = kind;
    m_models = m_catalogue.modelList(kind, m_settings.playerIndex);
    m_modelIndex = -1;
    m_mode = placementMode;
    setVisible();
    if (!m_models.isEmpty())
        Combo1_Click(0);
    else
        m_customVisible = false;
}

void Editor::Combo1_Click(int index)
{
    m_modelIndex = index >= 0 && index < m_models.size() ? index : -1;
    m_mode = placementMode;
    setVisible();
    m_zoomArmed = false;
    if (modelText() == customEntry) {
        m_customVisible = true;
        m_customName.clear();
    } else {
        m_customVisible = false;
    }
}

QString Editor::modelText() const
{
    return m_modelIndex >= 0 && m_modelIndex < m_models.size() ? m_models[m_modelIndex] : QString();
}

bool Editor::modelIsCustom() const
{
    return modelText() == customEntry;
}

void Editor::setVisible()
{
    m_zoomArmed = false;
    const bool placing = m_mode == placementMode;
    for (PanelField& f : m_fields) {
        f.captionVisible = false;
        f.textVisible = false;
        if (placing)
            f.text.clear();
    }
    m_colourVisible = false;
    m_heightControlsVisible = false;
    m_applyVisible = false;
    m_customVisible = false;
    if (!m_selectedKind)
        return;

    const KindLayout& layout = kindLayout(*m_selectedKind);
    const bool fieldsShown = !(placing && layout.fieldsOnlyWhenEditing);
    for (std::size_t i = 0; i < layout.fields.size() && i < m_fields.size(); ++i) {
        const ItemField& spec = layout.fields[i];
        PanelField& f = m_fields[i];
        f.caption = QString::fromLatin1(spec.caption);
        f.captionVisible = fieldsShown;
        f.textVisible = fieldsShown;
        if (placing)
            f.text = QString::fromLatin1(spec.defaultText);
        m_colourVisible = m_colourVisible || spec.colour;
    }
    if (layout.noFieldsCaption) {
        m_fields[0].caption = QString::fromLatin1(layout.noFieldsCaption);
        m_fields[0].captionVisible = true;
    }
    m_applyVisible = fieldsShown;
    m_heightControlsVisible = true;
}

void Editor::setFieldText(int field, const QString& text)
{
    if (field >= 0 && field < 4)
        m_fields[static_cast<std::size_t>(field)].text = text;
}

bool Editor::checkCustomName()
{
    // A ship whose type is "meg_..." would come back from the file as a megalith.
    const bool megalithName = m_selectedKind == ItemKind::Ship
        && m_customName.startsWith(QLatin1String("meg_"), Qt::CaseInsensitive);
    if (megalithName) {
        message(QStringLiteral("A ship's custom model name must not begin with \"meg_\": it would load as a megalith."));
        return false;
    }
    if (m_customName.isEmpty()) {
        message(QStringLiteral("The custom model name must not be empty."));
        return false;
    }
    if (const auto c = firstNotLatin1(m_customName)) {
        message(notLatin1Message(QStringLiteral("The custom model name"), *c));
        return false;
    }
    return true;
}

void Editor::cmdApply_Click()
{
    if (m_mode != editingMode || m_selectedRow < 0)
        return;
    const ObjectRow row = m_rows.at(static_cast<std::size_t>(m_selectedRow));
    if (m_selectedKind != row.kind || !m_document.exists(row.kind, row.arrayId))
        return;
    const bool custom = kindInfo(row.kind).hasCustom && modelIsCustom();
    if (custom && !checkCustomName())
        return;
    const auto model = static_cast<std::int16_t>(custom ? -1 : m_modelIndex);
    const AnyRecord before = m_document.record(row.kind, row.arrayId);
    AnyRecord after = before;
    // Everything is converted before anything is stored, so a refused field changes nothing.
    FieldReader in(m_fields);
    if (!in.store(kindLayout(row.kind), after, false)) {
        message(in.error());
        return;
    }
    std::visit(
        [&](auto& r) {
            if constexpr (hasModel<std::decay_t<decltype(r)>>) {
                r.modelIndex = model;
                if (custom)
                    r.customName = m_customName;
            }
        },
        after);
    pushRecord(QStringLiteral("Apply"), m_selectedRow, before, after);
}

void Editor::cmdColourSelect_Click()
{
    // The picker reports Cancel as the colour it started on.
    const std::int32_t c = m_host.askColour(m_lastColour).value_or(m_lastColour) & 0xFFFFFF;
    m_lastColour = c;
    m_fields[0].text = intText(c % 256);
    m_fields[1].text = intText((c / 256) % 256);
    m_fields[2].text = intText((c / 65536) % 256);
}

// ------------------------------------------------------------------ views

void Editor::setScales()
{
    m_topScale = topScaleFor(m_settings);
    m_frontScale = frontScaleFor(m_settings);
    redraw();
}

void Editor::cmdZoomIn_Click()
{
    m_zoomArmed = true;
}

void Editor::cmdZoomOut_Click()
{
    m_topScale = zoomedOut(m_settings);
    redraw();
}

void Editor::Picture1_MouseMove(int buttons, int, double x, double y)
{
    m_lblX = intText(floorToInt32(x));
    m_lastTopX = x;
    m_lblY = intText(floorToInt32(y));
    m_lastTopY = y;
    if (buttons == 1) {
        if (!m_buttonDown)
            ++m_dragId; // a new drag: its placements or moves become one undo step
        m_buttonDown = true;
    } else if (buttons == 0) {
        m_clickEndsDrag = false;
    }
}

void Editor::Picture1_MouseUp(int, int, double, double)
{
    // The click that comes with the release still belongs to the drag.
    m_clickEndsDrag = m_buttonDown;
    m_buttonDown = false;
}

void Editor::Picture1_MouseWheel(int steps, double x, double y)
{
    if (steps == 0)
        return;
    const double factor = std::pow(1.25, steps);
    if (const auto zoomed = zoomedAround(m_topScale, x, y, factor, m_settings)) {
        m_topScale = *zoomed;
        redraw();
    }
}

void Editor::panTopView(double dx, double dy)
{
    const ViewScale moved = panned(m_topScale, dx, dy, m_settings);
    if (moved != m_topScale) {
        m_topScale = moved;
        redraw();
    }
}

void Editor::picLeft_MouseMove(int, int, double x, double y)
{
    m_lblLeftX = intText(floorToInt32(x));
    m_lastFrontX = x;
    m_lblLeftY = intText(floorToInt32(y));
    m_lastFrontY = y;
}

void Editor::Timer1_Timer()
{
    if (m_timerEnabled && m_buttonDown)
        Picture1_Click();
}

void Editor::Picture1_Click()
{
    if (m_zoomArmed)
        zoomIn();
    else if (m_mode == editingMode)
        moveSelected();
    else if (m_mode == placementMode)
        placeItem();
    if (!m_buttonDown)
        m_clickEndsDrag = false;
}

void Editor::zoomIn()
{
    m_zoomArmed = false;
    // A view narrower than one world unit is refused: the view stays as it is.
    if (const auto zoomed = zoomedIn(m_topScale, m_lastTopX, m_lastTopY, m_settings)) {
        m_topScale = *zoomed;
        redraw();
    }
}

void Editor::moveSelected()
{
    if (m_selectedRow < 0)
        return;
    const ObjectRow& row = m_rows.at(static_cast<std::size_t>(m_selectedRow));
    if (!m_document.exists(row.kind, row.arrayId))
        return;
    const AnyRecord before = m_document.record(row.kind, row.arrayId);
    ItemPosition p = m_document.position(row.kind, row.arrayId);
    p.x = toInt32Clamped(val(m_lblX));
    p.y = toInt32Clamped(val(m_lblY));
    m_document.setPosition(row.kind, row.arrayId, p);
    pushRecordChange(QStringLiteral("Move"), m_selectedRow, before, true);
}

std::int32_t Editor::calcRandomHeight()
{
    double h = 0;
    if (m_randomHeightChecked) {
        const int sign = static_cast<int>(std::floor(2 * m_random())) + 1;
        float r = static_cast<float>(m_random());
        if (r >= 1.0f)
            r = std::nextafter(1.0f, 0.0f);
        const double span = 2 * val(m_randomHeightText);
        h = floorToInt32(sign == 1 ? -span * double(r) : span * double(r));
    }
    if (m_setHeightChecked)
        h += toInt32Clamped(val(m_setHeightText));
    return toInt32Clamped(h);
}

void Editor::placeItem()
{
    if (modelText().isEmpty()) {
        message(selectTypeMessage);
        return;
    }
    if (!m_selectedKind)
        return;
    const ItemKind kind = *m_selectedKind;
    const KindInfo& info = kindInfo(kind);
    const bool custom = info.hasCustom && modelIsCustom();
    if (kind == ItemKind::PlayerStart) {
        const int slot = m_modelIndex;
        if (slot < 0 || slot >= playerSlots)
            return;
        if (!m_document.player(slot).label.isEmpty()) {
            message(QStringLiteral("You already have a Player %1 start point!").arg(slot + 1));
            return;
        }
    } else {
        if (custom && !checkCustomName())
            return;
        if (m_document.isFull(kind)) {
            message(QStringLiteral("No more %1 items can be placed: a level holds at most %2 of each kind.")
                        .arg(QString::fromLatin1(info.caption))
                        .arg(maxRecordsPerKind));
            return;
        }
    }
    AnyRecord placed = kind == ItemKind::PlayerStart ? AnyRecord(m_document.player(m_modelIndex)) : blankRecord(kind);
    FieldReader in(m_fields);
    if (!in.store(kindLayout(kind), placed, true)) {
        message(in.error());
        return;
    }
    const std::int32_t x = toInt32Clamped(val(m_lblX));
    const std::int32_t y = toInt32Clamped(val(m_lblY));
    const auto model = static_cast<std::int16_t>(custom ? -1 : m_modelIndex);
    const auto index = static_cast<std::int16_t>(kind == ItemKind::PlayerStart ? m_modelIndex : m_document.itemCount(kind));
    std::visit(
        [&](auto& r) {
            r.posX = x;
            r.posY = y;
            r.posZ = calcRandomHeight();
            if constexpr (hasModel<std::decay_t<decltype(r)>>) {
                r.modelIndex = model;
                r.customName = custom ? m_customName : QString();
                r.drawColour = info.drawColour;
            } else {
                // A new start point: nothing of the one the slot held before.
                r.source = {};
                r.chunk = Chunk::Other;
                // A checked set height replaces a start point's whole height, random part included.
                r.label = QStringLiteral("Player %1").arg(index + 1);
                if (m_setHeightChecked)
                    r.posZ = toInt32Clamped(val(m_setHeightText));
            }
        },
        placed);
    const QString number = QString::number(index + 1);
    QString text;
    if (kind == ItemKind::PlayerStart)
        text = modelText() + QStringLiteral(" start");
    else if (kind == ItemKind::Megalith)
        text = modelText();
    else if (kind == ItemKind::Ship)
        text = custom ? m_customName : modelText();
    else if (custom)
        text = m_customName + QStringLiteral(" #") + number;
    else
        text = QString::fromLatin1(info.itemText) + number;
    const ObjectRow row{text, kind, index};
    const RowInsertStep listed{static_cast<int>(m_rows.size()), row};
    if (kind == ItemKind::PlayerStart)
        pushEdit(QStringLiteral("Place ") + text, {RecordStep{kind, index, m_document.player(index), placed}, listed},
                 m_selectedRow, true);
    else
        pushEdit(QStringLiteral("Place ") + text, {AppendStep{kind, placed}, listed}, m_selectedRow, true);
}

void Editor::picLeft_Click()
{
    // Before the pointer has moved over the front view its readout holds "Y", not a height.
    if (m_mode != editingMode || m_selectedRow < 0 || !isStrictNumber(m_lblLeftY))
        return;
    const ObjectRow& row = m_rows.at(static_cast<std::size_t>(m_selectedRow));
    const auto z = toInt32(val(m_lblLeftY));
    if (!z || !m_document.exists(row.kind, row.arrayId))
        return;
    const AnyRecord before = m_document.record(row.kind, row.arrayId);
    ItemPosition p = m_document.position(row.kind, row.arrayId);
    p.z = *z;
    m_document.setPosition(row.kind, row.arrayId, p);
    pushRecordChange(QStringLiteral("Set Height of"), m_selectedRow, before);
}

// ------------------------------------------------------------------ object list and labels

QString Editor::addToList(const QString& listText, ItemKind kind, std::int16_t arrayId)
{
    const QString key = rowKey(static_cast<qsizetype>(m_rows.size()));
    appendRow(ObjectRow{listText, kind, arrayId});
    return key;
}

void Editor::appendRow(ObjectRow row)
{
    ++m_rowCounts.at(static_cast<std::size_t>(typeIdOf(row.kind)));
    m_rows.push_back(std::move(row));
}

void Editor::selectRow(int row)
{
    m_selectedRow = row >= 0 && row < static_cast<int>(m_rows.size()) ? row : -1;
}

void Editor::lstObjects_Click()
{
    if (m_selectedRow < 0)
        return;
    loadRecordIntoPanel(m_rows.at(static_cast<std::size_t>(m_selectedRow)));
}

void Editor::loadRecordIntoPanel(const ObjectRow& row)
{
    if (!m_document.exists(row.kind, row.arrayId))
        return;
    selectKind(row.kind);

    int entry = -1;
    bool custom = false;
    m_document.visit(row.kind, row.arrayId, Overloaded{
        [&](const PlayerStartRecord&) { entry = row.arrayId; },
        [&](const auto& r) {
            entry = r.modelIndex;
            if (entry == -1 && kindInfo(row.kind).hasCustom) {
                custom = true;
                entry = static_cast<int>(m_models.size()) - 1;
            }
        },
    });
    Combo1_Click(entry);

    // Every field with a record member, clouds' colours too: otherwise Apply would store the
    // panel's defaults over them.
    const KindLayout& layout = kindLayout(row.kind);
    const AnyRecord record = m_document.record(row.kind, row.arrayId);
    for (std::size_t i = 0; i < layout.fields.size() && i < m_fields.size(); ++i) {
        const ItemField& f = layout.fields[i];
        if (!f.get)
            continue;
        const double v = f.get(record);
        m_fields[i].text = f.type == FieldType::Float32 ? floatText(static_cast<float>(v))
                                                        : intText(static_cast<long long>(v));
    }
    if (custom) {
        m_document.visit(row.kind, row.arrayId, Overloaded{
            [](const PlayerStartRecord&) {},
            [this](const auto& r) { m_customName = r.customName; },
        });
    }
    m_mode = editingMode;
    setVisible();
    if (custom)
        m_customVisible = true;
}

void Editor::lblObjects_Click(int labelIndex)
{
    if (m_zoomArmed) {
        Picture1_Click();
        return;
    }
    const int row = rowForKey(labelFor(labelIndex).key);
    if (row < 0)
        return;
    selectRow(row);
    lstObjects_Click();
}

void Editor::mnuObjectsDelete_Click()
{
    if (m_selectedRow < 0)
        return;
    const ObjectRow& row = m_rows.at(static_cast<std::size_t>(m_selectedRow));
    deleteItem(row.kind, row.arrayId);
    m_mode = placementMode;
}

void Editor::deleteItem(ItemKind objType, int arrayId)
{
    if (m_selectedRow < 0)
        return;
    std::vector<EditStep> steps;
    if (m_document.exists(objType, arrayId)) {
        const AnyRecord before = m_document.record(objType, arrayId);
        m_document.markDeleted(objType, arrayId);
        const AnyRecord after = m_document.record(objType, arrayId);
        m_document.setRecord(objType, arrayId, before);
        steps.push_back(RecordStep{objType, static_cast<std::int16_t>(arrayId), before, after});
    }
    // Keys are row positions, so the rows after this one and their labels are renumbered with it.
    const ObjectRow row = m_rows.at(static_cast<std::size_t>(m_selectedRow));
    steps.push_back(RowRemoveStep{m_selectedRow, row});
    pushEdit(QStringLiteral("Delete ") + row.text, std::move(steps), -1, false);
}

void Editor::mnuObjectsSetPlayer_Click()
{
    if (m_selectedRow < 0)
        return;
    const QString answer = m_host.askText(QStringLiteral("Set Player to:"), QStringLiteral("Set Player"),
                                          QStringLiteral("0")).value_or(QString());
    const QString s = doubleText(val(answer));
    const ObjectRow& row = m_rows.at(static_cast<std::size_t>(m_selectedRow));
    if (row.kind == ItemKind::Ship && !toInt16(val(s))) {
        message(QStringLiteral("\"Player\" must lie between -32768 and 32767."));
        return;
    }
    message(s);
    if (row.kind == ItemKind::Ship && m_document.exists(row.kind, row.arrayId)) {
        // A number outside the 16-bit field is not stored.
        if (const auto player = toInt16(val(s))) {
            const AnyRecord before = m_document.record(row.kind, row.arrayId);
            m_document.ships().at(static_cast<std::size_t>(row.arrayId)).player = *player;
            pushRecordChange(QStringLiteral("Set Player of"), m_selectedRow, before);
        }
    }
    m_mode = placementMode;
}

MapLabel Editor::labelFor(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return {};
    const ObjectRow& r = m_rows[static_cast<std::size_t>(row)];
    MapLabel label;
    label.caption = r.text;
    label.key = rowKey(row);
    if (m_document.exists(r.kind, r.arrayId)) {
        const ItemPosition p = m_document.position(r.kind, r.arrayId);
        label.x = double(p.x) + 100;
        label.y = double(p.y) + 100;
    }
    label.visible = labelShown(typeIdOf(r.kind));
    return label;
}

int Editor::rowForKey(QStringView key) const
{
    const qsizetype row = rowFromKey(key);
    return row >= 0 && row < static_cast<qsizetype>(m_rows.size()) ? static_cast<int>(row) : -1;
}

void Editor::mnuLabelsHide_Click(int typeId)
{
    if (typeId < 1 || typeId > 9)
        return;
    auto& shown = m_labelShow[static_cast<std::size_t>(typeId)];
    shown = !shown;
    redraw();
}

void Editor::mnuLabelsHideAll_Click()
{
    // Pebble labels follow "Show Pebbles" alone.
    for (int i = 1; i <= 9; ++i) {
        if (i != typeIdOf(ItemKind::Pebble))
            m_labelShow[static_cast<std::size_t>(i)] = m_hideAll;
    }
    m_hideAll = !m_hideAll;
    redraw();
}

void Editor::setLabelFont()
{
    const QStringList& sizes = fontSizeEntries();
    const double s = m_fontSizeIndex >= 0 && m_fontSizeIndex < sizes.size() ? val(sizes[m_fontSizeIndex]) : 6;
    m_labelFontFamily = s > 7 ? QStringLiteral("Arial") : QStringLiteral("Small Fonts");
    m_labelFontPointSize = static_cast<int>(s);
    redraw();
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
    m_undo.push(new EditCommand(*this, text, std::move(steps), m_selectedRow, selectionAfter, partOfDrag ? mergeKey() : 0));
    m_firstRedo = false;
}

void Editor::pushRecord(const QString& verb, int row, const AnyRecord& before, const AnyRecord& after, bool partOfDrag)
{
    if (after == before)
        return;
    const ObjectRow& r = m_rows.at(static_cast<std::size_t>(row));
    pushEdit(verb + QLatin1Char(' ') + r.text, {RecordStep{r.kind, r.arrayId, before, after}}, m_selectedRow, partOfDrag);
}

void Editor::pushRecordChange(const QString& verb, int row, const AnyRecord& before, bool partOfDrag)
{
    const ObjectRow& r = m_rows.at(static_cast<std::size_t>(row));
    const AnyRecord after = m_document.record(r.kind, r.arrayId);
    if (after == before)
        return;
    m_document.setRecord(r.kind, r.arrayId, before);
    pushEdit(verb + QLatin1Char(' ') + r.text, {RecordStep{r.kind, r.arrayId, before, after}}, m_selectedRow, partOfDrag);
}

void Editor::applyStep(const EditStep& step, bool forward)
{
    std::visit(Overloaded{
                   [&](const RecordStep& s) { m_document.setRecord(s.kind, s.arrayId, forward ? s.after : s.before); },
                   [&](const AppendStep& s) {
                       if (forward)
                           m_document.appendRecord(s.kind, s.record);
                       else
                           m_document.removeLastItem(s.kind);
                   },
                   [&](const RowInsertStep& s) {
                       auto& count = m_rowCounts.at(static_cast<std::size_t>(typeIdOf(s.row.kind)));
                       if (forward) {
                           m_rows.insert(m_rows.begin() + s.position, s.row);
                           ++count;
                       } else {
                           m_rows.erase(m_rows.begin() + s.position);
                           --count;
                       }
                   },
                   [&](const RowRemoveStep& s) {
                       auto& count = m_rowCounts.at(static_cast<std::size_t>(typeIdOf(s.row.kind)));
                       if (forward) {
                           m_rows.erase(m_rows.begin() + s.position);
                           --count;
                       } else {
                           m_rows.insert(m_rows.begin() + s.position, s.row);
                           ++count;
                       }
                   },
               },
               step);
}

void Editor::afterUndoStep(int selection, bool reloadPanel)
{
    m_selectedRow = selection >= 0 && selection < static_cast<int>(m_rows.size()) ? selection : -1;
    // The first run of a new command keeps the panel as the user left it.
    if (reloadPanel && !m_firstRedo && m_mode == editingMode) {
        if (m_selectedRow >= 0) {
            loadRecordIntoPanel(m_rows[static_cast<std::size_t>(m_selectedRow)]);
        } else {
            m_mode = placementMode;
            setVisible();
        }
    }
    redraw();
}

void Editor::swapLevelState(LevelState& other)
{
    std::swap(m_document, other.document);
    std::swap(m_settings, other.settings);
    std::swap(m_rows, other.rows);
    std::swap(m_selectedRow, other.selectedRow);
    std::swap(m_topScale, other.top);
    std::swap(m_frontScale, other.front);
    countRows();
    m_doneSettings = m_settings;
    afterUndoStep(m_selectedRow);
}

LevelState Editor::takeLevelState()
{
    LevelState state;
    std::swap(state.document, m_document);
    state.settings = m_settings;
    std::swap(state.rows, m_rows);
    state.selectedRow = m_selectedRow;
    state.top = m_topScale;
    state.front = m_frontScale;
    return state;
}

LevelState Editor::copyLevelState() const
{
    return LevelState{m_document, m_settings, m_rows, m_selectedRow, m_topScale, m_frontScale};
}

void Editor::countRows()
{
    m_rowCounts.fill(0);
    for (const ObjectRow& row : m_rows)
        ++m_rowCounts.at(static_cast<std::size_t>(typeIdOf(row.kind)));
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
    return !m_undo.isClean() || m_settings != m_cleanSettings;
}

void Editor::markClean()
{
    m_undo.setClean();
    m_cleanSettings = m_settings;
}

bool Editor::confirmDiscard()
{
    if (!isModified())
        return true;
    m_buttonDown = false;
    switch (m_host.askSaveChanges(m_settings.levelDesc)) {
    case SaveChoice::Save: return mnuFileSave_Click();
    case SaveChoice::Discard: return true;
    case SaveChoice::Cancel: break;
    }
    return false;
}

bool Editor::mnuFileExit_Click()
{
    if (!confirmDiscard())
        return false;
    removeRecoveryCopy();
    return true;
}

// ------------------------------------------------------------------ recent levels and recovery

void Editor::rememberFile(const QString& path)
{
    const QFileInfo info(path);
    const QString absolute = info.absoluteFilePath();
    m_lastFolder = info.absolutePath();
    m_recent.removeAll(absolute);
    m_recent.prepend(absolute);
    while (m_recent.size() > maxRecentLevels)
        m_recent.removeLast();
    storeRecent();
}

void Editor::storeRecent()
{
    m_store.write(recentLevelsKey, m_recent.join(QLatin1Char('\n')));
}

bool Editor::openRecent(int index)
{
    if (index < 0 || index >= m_recent.size())
        return false;
    const QString path = m_recent.at(index);
    if (!QFileInfo(path).isFile()) {
        m_recent.removeAt(index);
        storeRecent();
        message(QStringLiteral("The level %1 no longer exists; it was removed from the recent levels.").arg(path));
        return false;
    }
    return openFile(path);
}

bool Editor::writeRecoveryCopy()
{
    if (m_recoveryPath.isEmpty() || !isModified())
        return false;
    QDir().mkpath(QFileInfo(m_recoveryPath).absolutePath());
    ModelLists models(m_catalogue);
    return saveFileAtomically(m_recoveryPath, writeLevel(m_document, m_settings, models, true)).isEmpty();
}

void Editor::removeRecoveryCopy()
{
    if (!m_recoveryPath.isEmpty())
        QFile::remove(m_recoveryPath);
}

bool Editor::setRecoveryFolder(const QString& folder)
{
    m_recoveryLock.reset();
    m_recoveryPath.clear();
    m_recoveryFolder = QDir(folder).absolutePath();
    if (!QDir().mkpath(m_recoveryFolder))
        return false;
    // A name no copy has yet: a copy of an earlier editor that ran under the same process number
    // may still wait to be offered.
    const QString pid = QString::number(QCoreApplication::applicationPid());
    for (int n = 1; n <= 1000; ++n) {
        const QString copy = QDir(m_recoveryFolder).filePath(QStringLiteral("recovery-%1-%2.level").arg(pid).arg(n));
        if (QFileInfo::exists(copy))
            continue;
        if (auto lock = takeRecoveryLock(copy); lock && !QFileInfo::exists(copy)) {
            m_recoveryLock = std::move(lock);
            m_recoveryPath = copy;
            return true;
        }
    }
    return false;
}

bool Editor::isRecoveryCopy(const QString& path) const
{
    const QFileInfo info(path);
    return !m_recoveryFolder.isEmpty() && info.absolutePath() == m_recoveryFolder
        && QDir::match(recoveryCopyPattern, info.fileName());
}

bool Editor::offerRecovery()
{
    if (m_recoveryFolder.isEmpty())
        return false;
    std::vector<RecoveryCopy> copies;
    // Held while the user decides, so that an editor starting meanwhile does not offer them too.
    std::vector<std::unique_ptr<QLockFile>> locks;
    const QFileInfoList files = QDir(m_recoveryFolder).entryInfoList({recoveryCopyPattern}, QDir::Files, QDir::Time);
    for (const QFileInfo& file : files) {
        const QString path = file.absoluteFilePath();
        if (path == m_recoveryPath)
            continue;
        auto lock = takeRecoveryLock(path);
        if (!lock)
            continue; // its editor is running
        LevelDocument document;
        MapSettings settings;
        ModelLists models(m_catalogue);
        CountingSink sink;
        readLevelFile(path, document, settings, models, &sink, nullptr);
        copies.push_back(RecoveryCopy{path, file.lastModified(), sink.items, settings.levelDesc});
        locks.push_back(std::move(lock));
    }
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
    const QString restored = copies[static_cast<std::size_t>(answer.index)].path;
    if (!loadFile(restored))
        return false;
    m_undo.resetClean(); // restored work is unsaved work
    // The work is this editor's own from now on; the old copy goes once the new one is written.
    if (writeRecoveryCopy())
        QFile::remove(restored);
    return true;
}

void Editor::leaveEditing()
{
    m_selectedRow = -1;
    if (m_mode != editingMode)
        return;
    m_mode = placementMode;
    if (m_selectedKind)
        selectKind(*m_selectedKind);
    else
        setVisible();
}

void Editor::applySettingsChange(const MapSettings& from, const MapSettings& to)
{
    for (QString MapSettings::*field : {&MapSettings::levelDesc, &MapSettings::sizeX, &MapSettings::sizeY, &MapSettings::sizeZ,
                                        &MapSettings::cameraMin, &MapSettings::cameraMax, &MapSettings::background,
                                        &MapSettings::music}) {
        if (from.*field != to.*field)
            m_settings.*field = m_doneSettings.*field = to.*field;
    }
    if (from.playerIndex != to.playerIndex)
        m_settings.playerIndex = m_doneSettings.playerIndex = to.playerIndex;
    setScales();
}

} // namespace starloom
