// The Editor's edits of the level: place, move, set height, apply, delete, set player, and the
// level's settings. Each builds the value it changes into and pushes it as one command.

#include "Editor.h"
#include "LevelEdits.h"

#include "document/ItemFields.h"
#include "document/Numbers.h"
#include "document/SettingsRules.h"
#include "gamedata/SettingsStore.h"
#include "levelfile/LevelWriter.h"

#include <cmath>

namespace starloom {

namespace {

const QString selectTypeMessage = QStringLiteral("Select Type");

template <class Rec> constexpr bool hasModel = !std::is_same_v<Rec, PlayerStartRecord>;

} // namespace

// ------------------------------------------------------------------ clicks on the map

std::int32_t Editor::calcRandomHeight()
{
    double h = 0;
    if (m_panel.randomHeightChecked) {
        const int sign = static_cast<int>(std::floor(2 * m_random())) + 1;
        float r = static_cast<float>(m_random());
        if (r >= 1.0f)
            r = std::nextafter(1.0f, 0.0f);
        const double span = 2 * val(m_panel.randomHeightText);
        h = floorToInt32(sign == 1 ? -span * double(r) : span * double(r));
    }
    if (m_panel.setHeightChecked)
        h += toInt32Clamped(val(m_panel.setHeightText));
    return toInt32Clamped(h);
}

void Editor::placeItem()
{
    const QString modelText = m_panel.modelText();
    if (modelText.isEmpty()) {
        note(selectTypeMessage);
        return;
    }
    if (!m_panel.kind)
        return;
    const ItemKind kind = *m_panel.kind;
    const KindInfo& info = kindInfo(kind);
    const bool custom = info.hasCustom && m_panel.modelIsCustom();
    const LevelDocument& document = m_level.document;
    const int slot = m_panel.modelIndex;
    if (kind == ItemKind::PlayerStart) {
        if (slot < 0 || slot >= playerSlots)
            return;
        if (!document.player(slot).label.isEmpty()) {
            note(QStringLiteral("You already have a Player %1 start point!").arg(slot + 1));
            return;
        }
    } else {
        if (custom && !checkCustomName())
            return;
        if (document.isFull(kind)) {
            note(QStringLiteral("No more %1 items can be placed: a level holds at most %2 of each kind.")
                     .arg(QString::fromLatin1(info.caption))
                     .arg(maxRecordsPerKind));
            return;
        }
    }
    AnyRecord placed = kind == ItemKind::PlayerStart ? AnyRecord(document.player(slot)) : blankRecord(kind);
    if (const QString error = storePanelFields(m_panel, kind, placed, true); !error.isEmpty()) {
        note(error);
        return;
    }
    const auto model = static_cast<std::int16_t>(custom ? -1 : slot);
    const auto index = static_cast<std::int16_t>(kind == ItemKind::PlayerStart ? slot : document.itemCount(kind));
    const QString customName = custom ? m_panel.customName : QString();
    placed = asModel(movedTo(placed, pointerX(), pointerY()), model, customName, info.drawColour);
    std::visit(
        [&](auto& r) {
            r.posZ = calcRandomHeight();
            if constexpr (!hasModel<std::decay_t<decltype(r)>>) {
                // A new start point: nothing of the one the slot held before.
                r.source = {};
                r.chunk = Chunk::Other;
                r.label = QStringLiteral("Player %1").arg(index + 1);
                // A checked set height replaces a start point's whole height, random part included.
                if (m_panel.setHeightChecked)
                    r.posZ = toInt32Clamped(val(m_panel.setHeightText));
            }
        },
        placed);
    const QString text = placedItemText(kind, modelText, customName, index);
    const RowInsertStep listed{static_cast<int>(m_level.rows.size()), ObjectRow{text, kind, index}};
    if (kind == ItemKind::PlayerStart) {
        pushEdit(QStringLiteral("Place ") + text, {RecordStep{kind, index, document.player(index), placed}, listed},
            m_selection.editedRow(), true);
        // The next click places the next player's start (a drag places one, as before).
        if (!m_buttonDown && m_panel.mode == EditorMode::Placement)
            m_panel.modelIndex = freePlayerEntry(slot);
    } else
        pushEdit(QStringLiteral("Place ") + text, {AppendStep{kind, placed}, listed}, m_selection.editedRow(), true);
}

void Editor::moveSelected()
{
    if (m_selection.editedRow() < 0)
        return;
    const ObjectRow& row = m_level.rows.at(static_cast<std::size_t>(m_selection.editedRow()));
    if (!m_level.document.exists(row.kind, row.arrayId))
        return;
    const AnyRecord before = m_level.document.record(row.kind, row.arrayId);
    pushRecord(QStringLiteral("Move"), m_selection.editedRow(), before, movedTo(before, pointerX(), pointerY()), true);
}

void Editor::setHeightAtFrontPointer()
{
    // Before the pointer has moved over the front view there is no height to take.
    if (m_panel.mode != EditorMode::Editing || m_selection.editedRow() < 0 || !m_view.frontPointer())
        return;
    const ObjectRow& row = m_level.rows.at(static_cast<std::size_t>(m_selection.editedRow()));
    if (!m_level.document.exists(row.kind, row.arrayId))
        return;
    const AnyRecord before = m_level.document.record(row.kind, row.arrayId);
    pushRecord(QStringLiteral("Set Height of"), m_selection.editedRow(), before,
        atHeight(before, floorToInt32(m_view.frontPointer()->y())));
}

// ------------------------------------------------------------------ the panel and the object list

void Editor::applyPanel()
{
    if (m_panel.mode != EditorMode::Editing || m_selection.editedRow() < 0 || m_selection.size() > 1)
        return;
    const ObjectRow row = m_level.rows.at(static_cast<std::size_t>(m_selection.editedRow()));
    if (m_panel.kind != row.kind || !m_level.document.exists(row.kind, row.arrayId))
        return;
    const bool custom = kindInfo(row.kind).hasCustom && m_panel.modelIsCustom();
    if (custom && !checkCustomName())
        return;
    const auto model = static_cast<std::int16_t>(custom ? -1 : m_panel.modelIndex);
    const AnyRecord before = m_level.document.record(row.kind, row.arrayId);
    AnyRecord after = before;
    // Everything is converted before anything is stored, so a refused field changes nothing.
    if (const QString error = storePanelFields(m_panel, row.kind, after, false); !error.isEmpty()) {
        note(error);
        return;
    }
    std::visit(
        [&](auto& r) {
            if constexpr (hasModel<std::decay_t<decltype(r)>>) {
                r.modelIndex = model;
                if (custom)
                    r.customName = m_panel.customName;
            }
        },
        after);
    pushRecord(QStringLiteral("Apply"), m_selection.editedRow(), before, after);
}

void Editor::deleteObject()
{
    if (m_selection.size() > 1) {
        deleteSelection();
        return;
    }
    if (m_selection.editedRow() < 0)
        return;
    const ObjectRow& row = m_level.rows.at(static_cast<std::size_t>(m_selection.editedRow()));
    deleteItem(row.kind, row.arrayId);
    m_panel.mode = EditorMode::Placement;
}

void Editor::deleteItem(ItemKind objType, int arrayId)
{
    if (m_selection.editedRow() < 0)
        return;
    std::vector<EditStep> steps;
    if (m_level.document.exists(objType, arrayId)) {
        const AnyRecord before = m_level.document.record(objType, arrayId);
        steps.push_back(RecordStep{objType, static_cast<std::int16_t>(arrayId), before, deletedRecord(before)});
    }
    // Keys are row positions, so the rows after this one and their labels are renumbered with it.
    const ObjectRow row = m_level.rows.at(static_cast<std::size_t>(m_selection.editedRow()));
    steps.push_back(RowRemoveStep{m_selection.editedRow(), row});
    pushEdit(QStringLiteral("Delete ") + row.text, std::move(steps), -1, false);
}

void Editor::setStartPlayer()
{
    if (m_selection.editedRow() < 0)
        return;
    const QString answer =
        m_host.askText(QStringLiteral("Set Player to:"), QStringLiteral("Set Player"), QStringLiteral("0"))
            .value_or(QString());
    const QString s = doubleText(val(answer));
    const ObjectRow& row = m_level.rows.at(static_cast<std::size_t>(m_selection.editedRow()));
    const std::optional<std::int16_t> player = toInt16(val(s));
    if (row.kind == ItemKind::Ship && !player) {
        message(QStringLiteral("\"Player\" must lie between -32768 and 32767."));
        return;
    }
    message(s);
    if (row.kind == ItemKind::Ship && m_level.document.exists(row.kind, row.arrayId)) {
        const AnyRecord before = m_level.document.record(row.kind, row.arrayId);
        pushRecord(QStringLiteral("Set Player of"), m_selection.editedRow(), before, ofPlayer(before, *player));
    }
    m_panel.mode = EditorMode::Placement;
}

// ------------------------------------------------------------------ the level's settings

bool Editor::acceptOptions()
{
    QString error = levelSettingsError(m_level.settings);
    if (error.isEmpty())
        error = gridSizeError(m_gridSize);
    if (!error.isEmpty()) {
        message(error);
        return false;
    }
    if (m_level.settings != m_doneSettings) {
        m_undo.push(new SettingsCommand(*this, m_doneSettings, m_level.settings));
        m_doneSettings = m_level.settings;
    }
    return acceptPreferences();
}

bool Editor::acceptPreferences()
{
    if (const QString error = gridSizeError(m_gridSize); !error.isEmpty()) {
        message(error);
        return false;
    }
    m_store.write(gridSizeKey, m_gridSize);
    m_store.write(fontSizeKey, intText(m_fontSizeIndex));
    setScales();
    setLabelFont();
    redraw();
    return true;
}

void Editor::beginOptions()
{
    m_optionsBefore = m_level.settings;
    m_optionsUndoIndex = m_undo.index();
}

void Editor::cancelOptions()
{
    if (m_undo.index() > m_optionsUndoIndex)
        m_undo.setIndex(m_optionsUndoIndex);
    m_level.settings = m_optionsBefore;
    redraw();
}

bool Editor::closeOptions()
{
    // What "Done!" would refuse gets back the value "Done!" last accepted; the rest is accepted.
    QStringList restored;
    MapSettings& settings = m_level.settings;
    for (const RuledSetting& setting : ruledSettings()) {
        QString& text = settings.*setting.field;
        if (settingError(setting, text).isEmpty())
            continue;
        text = m_doneSettings.*setting.field;
        restored << QStringLiteral("%1 (%2)").arg(QLatin1String(setting.caption), text);
    }
    if (!gridSizeError(m_gridSize).isEmpty()) {
        m_gridSize = validGridSize(m_store.read(gridSizeKey, defaultGridSize));
        restored << QStringLiteral("Grid Size (%1)").arg(m_gridSize);
    }
    if (!restored.isEmpty())
        m_host.showStatus(QStringLiteral("The options window was closed with values the game cannot read; these "
                                         "keep their earlier values: %1")
                              .arg(restored.join(QStringLiteral(", "))));
    return acceptOptions();
}

bool Editor::setPlayerIndex(int index)
{
    MapSettings& settings = m_level.settings;
    if (index < 0 || index >= playerCountEntries().size() || index == settings.playerIndex)
        return index == settings.playerIndex;
    const std::vector<int> dropped = startsBeyondPlayerCount(m_level.document, index + 2);
    if (!dropped.empty()) {
        if (!m_host.askYesNo(QStringLiteral("With %1 players the start points of %2 are not part of the level. "
                                            "Lower the player count and delete them?")
                                 .arg(index + 2)
                                 .arg(playerNames(dropped)),
                programTitle()))
            return false;
        std::vector<EditStep> steps = dropStartsSteps(m_level, dropped);
        settings.playerIndex = index;
        pushEdit(QStringLiteral("Lower to %1 players").arg(index + 2), std::move(steps), -1, false);
    }
    settings.playerIndex = index;
    if (m_panel.kind == ItemKind::PlayerStart && m_panel.mode == EditorMode::Placement)
        showKind(ItemKind::PlayerStart); // the list of players follows the count
    return true;
}

bool Editor::setMapText(MapText which, const QString& text)
{
    static constexpr std::pair<QString MapSettings::*, const char*> fields[] = {
        {&MapSettings::levelDesc, "The level description"},
        {&MapSettings::background, "The background"},
        {&MapSettings::music, "The music"},
    };
    const auto& [field, caption] = fields[static_cast<std::size_t>(which)];
    if (const auto c = firstNotLatin1(text)) {
        message(notLatin1Message(QLatin1String(caption), *c));
        return false;
    }
    m_level.settings.*field = text;
    return true;
}

bool Editor::setPlayerField(int slot, PlayerTable::Field field, const QString& text)
{
    if (const auto c = firstNotLatin1(text)) {
        message(notLatin1Message(QStringLiteral("A player's entry"), *c));
        return false;
    }
    if (!m_level.settings.players.setText(slot, field, text)) {
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
    for (const KeptCall& call : m_level.settings.keptCalls) {
        QString line = QLatin1String(call.chunk == Chunk::NonDeterm ? "NonDetermChunk: " : "DetermChunk: ")
            + QString::fromStdString(call.name) + QLatin1Char('(');
        for (std::size_t i = 0; i < call.args.size(); ++i) {
            const std::string text = luaText(call.args[i]);
            line +=
                (i > 0 ? QStringLiteral(", ") : QString()) + QString::fromLatin1(text.data(), qsizetype(text.size()));
        }
        texts << line + QLatin1Char(')');
    }
    return texts;
}

} // namespace starloom
