// The Editor's selection on the map and the work on it: selecting, moving, nudging, deleting,
// the clipboard, mirrors and turns, measuring, and the checks.

#include "Editor.h"
#include "Selection.h"
#include "Transforms.h"

#include "document/Numbers.h"
#include "gamedata/SettingsStore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace starloom {

namespace {

std::vector<int> rowRange(int first, int count)
{
    std::vector<int> rows(static_cast<std::size_t>(std::max(0, count)));
    for (int i = 0; i < count; ++i)
        rows[static_cast<std::size_t>(i)] = first + i;
    return rows;
}

QString axisText(MirrorAxis axis)
{
    return axis == MirrorAxis::X ? QStringLiteral("X Axis")
        : axis == MirrorAxis::Y  ? QStringLiteral("Y Axis")
                                 : QStringLiteral("World Centre");
}

} // namespace

// ------------------------------------------------------------------ the selection

bool Editor::isSelected(int row) const
{
    return m_selection.contains(row);
}

void Editor::setSelection(std::vector<int> rows)
{
    rows = normalisedRows(m_level, std::move(rows));
    if (rows.size() == 1) {
        selectRow(rows.front());
        editSelectedRow();
    } else {
        m_selection.setRows(std::move(rows));
        if (m_panel.mode == EditorMode::Editing) {
            m_panel.mode = EditorMode::Placement;
            showPanelFields();
        }
    }
    redraw();
}

void Editor::addToSelection(int row)
{
    std::vector<int> rows = m_selection.rows();
    rows.push_back(row);
    setSelection(std::move(rows));
}

void Editor::toggleSelected(int row)
{
    std::vector<int> rows = m_selection.rows();
    if (const auto it = std::find(rows.begin(), rows.end(), row); it != rows.end())
        rows.erase(it);
    else
        rows.push_back(row);
    setSelection(std::move(rows));
}

void Editor::selectAll()
{
    std::vector<int> rows = rowRange(0, static_cast<int>(m_level.rows.size()));
    const bool anyMarked = std::any_of(m_hiddenCounts.begin(), m_hiddenCounts.end(), [](int n) { return n > 0; })
        || std::any_of(m_lockedCounts.begin(), m_lockedCounts.end(), [](int n) { return n > 0; });
    if (anyMarked)
        std::erase_if(rows, [this](int r) { return !pickable(m_level.rows[static_cast<std::size_t>(r)]); });
    setSelection(std::move(rows));
}

// ------------------------------------------------------------------ the pointer on the map

int Editor::itemUnder(double x, double y) const
{
    // Both counters only grow: their sum changes whenever either does.
    return m_view.itemUnder(m_level, m_levelChanges + m_markChanges, QPointF(x, y));
}

void Editor::updateHover()
{
    const int row = m_view.topPointer() ? itemUnder(m_view.topPointer()->x(), m_view.topPointer()->y()) : -1;
    if (m_selection.hover(row))
        redraw();
}

double Editor::gridStep() const
{
    const double g = std::nearbyint(val(m_gridSize));
    return g >= 1 ? g : 1;
}

std::int32_t Editor::snapped(double v, bool yAxis) const
{
    // The grid's lines start at the world's negative edge.
    const WorldSize world = worldSize(m_level.settings);
    const double edge = -(yAxis ? world.y : world.x);
    const double g = gridStep();
    return toInt32Clamped(edge + std::nearbyint((v - edge) / g) * g);
}

// ------------------------------------------------------------------ edits of the selection

void Editor::pushSelectionEdit(
    const QString& text, std::vector<EditStep> steps, std::vector<int> rowsAfter, int playerCountAfter, bool partOfDrag)
{
    const bool players = playerCountAfter >= 2 && playerCountAfter - 2 != m_level.settings.playerIndex;
    if (steps.empty() && !players)
        return;
    if (players)
        m_undo.beginMacro(text);
    const int single = rowsAfter.size() == 1 ? rowsAfter.front() : -1;
    auto* command =
        new EditCommand(*this, text, std::move(steps), m_selection.editedRow(), single, partOfDrag ? mergeKey() : 0);
    command->setSelections(m_selection.rows(), rowsAfter);
    m_firstRedo = true;
    m_undo.push(command);
    m_firstRedo = false;
    if (players) {
        m_level.settings.playerIndex = playerCountAfter - 2;
        m_undo.push(new SettingsCommand(*this, m_doneSettings, m_level.settings));
        m_doneSettings = m_level.settings;
        m_undo.endMacro();
    }
}

void Editor::nudgeSelection(int dx, int dy)
{
    const auto g = static_cast<std::int64_t>(gridStep());
    pushSelectionEdit(QStringLiteral("Nudge %1 Items").arg(m_selection.size()),
        changeSteps(
            m_level, m_selection.rows(), [=](AnyRecord r) { return shiftedRecord(std::move(r), dx * g, dy * g); }),
        m_selection.rows());
}

QString Editor::selectionCoordinate(Axis axis) const
{
    std::optional<std::int32_t> shared;
    for (const int row : m_selection.rows()) {
        const std::optional<ItemPosition> at = rowPosition(m_level, row);
        if (!at)
            continue;
        const std::int32_t v = axis == Axis::X ? at->x : axis == Axis::Y ? at->y : at->z;
        if (shared && *shared != v)
            return {};
        shared = v;
    }
    return shared ? intText(*shared) : QString();
}

QString Editor::setSelectionCoordinate(Axis axis, const QString& text)
{
    const char* name = axis == Axis::X ? "X" : axis == Axis::Y ? "Y" : "Height";
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok || v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        return QStringLiteral("%1 must be a whole number from -2147483648 to 2147483647 (world units)")
            .arg(QLatin1String(name));
    const auto to = static_cast<std::int32_t>(v);
    std::vector<EditStep> steps = changeSteps(m_level, m_selection.rows(), [=](AnyRecord r) {
        std::visit(
            [=](auto& record) {
                (axis == Axis::X ? record.posX : axis == Axis::Y ? record.posY : record.posZ) = to;
            },
            r);
        return r;
    });
    const QString what = m_selection.size() == 1
        ? QStringLiteral("Set %1").arg(QLatin1String(name))
        : QStringLiteral("Set %1 of %2 Items").arg(QLatin1String(name)).arg(m_selection.size());
    pushSelectionEdit(what, std::move(steps), m_selection.rows());
    if (m_selection.editedRow() >= 0 && m_panel.mode == EditorMode::Editing)
        editSelectedRow(); // the panel shows the record as it now is
    return {};
}

void Editor::deleteSelection()
{
    if (m_selection.empty())
        return;
    pushSelectionEdit(
        QStringLiteral("Delete %1 Items").arg(m_selection.size()), deletionSteps(m_level, m_selection.rows()), {});
    m_selection.clear();
    m_panel.mode = EditorMode::Placement;
    showPanelFields();
}

ModelLists& Editor::modelLists() const
{
    if (!m_models)
        m_models = std::make_unique<ModelLists>(m_catalogue);
    return *m_models;
}

QByteArray Editor::copySelection() const
{
    if (m_selection.empty())
        return {};
    ModelLists models(m_catalogue);
    return levelTextOf(m_level, m_selection.rows(), models);
}

QByteArray Editor::cutSelection()
{
    const QByteArray text = copySelection();
    deleteSelection();
    return text;
}

bool Editor::pasteText(const QByteArray& text)
{
    ModelLists models(m_catalogue);
    std::vector<NewItem> items = itemsFromLevelText(text, models);
    if (items.empty())
        return false;
    // The first item lands at the pointer; the others keep their places around it.
    const ItemPosition first = std::visit(
        [](const auto& r) {
            return ItemPosition{r.posX, r.posY, r.posZ};
        },
        items.front().record);
    const std::int64_t dx = std::int64_t(pointerX()) - first.x;
    const std::int64_t dy = std::int64_t(pointerY()) - first.y;
    for (NewItem& item : items)
        item.record = shiftedRecord(std::move(item.record), dx, dy);
    Additions added =
        additionSteps(m_level.document, takenSlots(m_level.document), static_cast<int>(m_level.rows.size()), items);
    pushSelectionEdit(QStringLiteral("Paste %1 Items").arg(added.rows.size()), std::move(added.steps), added.rows);
    return !added.rows.empty();
}

void Editor::duplicateSelection()
{
    const auto g = static_cast<std::int64_t>(gridStep());
    const std::vector<NewItem> items =
        itemsOf(m_level, m_selection.rows(), [g](AnyRecord r) { return shiftedRecord(std::move(r), g, g); });
    Additions added =
        additionSteps(m_level.document, takenSlots(m_level.document), static_cast<int>(m_level.rows.size()), items);
    pushSelectionEdit(QStringLiteral("Duplicate %1 Items").arg(items.size()), std::move(added.steps), added.rows);
}

void Editor::mirrorSelection(MirrorAxis axis)
{
    const std::vector<NewItem> items =
        itemsOf(m_level, m_selection.rows(), [axis](AnyRecord r) { return mirroredRecord(std::move(r), axis); });
    Additions added =
        additionSteps(m_level.document, takenSlots(m_level.document), static_cast<int>(m_level.rows.size()), items);
    int players = m_level.settings.playerCount();
    for (const int slot : added.slots)
        players = std::max(players, slot + 1);
    pushSelectionEdit(
        QStringLiteral("Mirror across the %1").arg(axisText(axis)), std::move(added.steps), added.rows, players);
}

void Editor::flipSelection(MirrorAxis axis)
{
    pushSelectionEdit(QStringLiteral("Flip across the %1").arg(axisText(axis)),
        changeSteps(m_level, m_selection.rows(), [axis](AnyRecord r) { return mirroredRecord(std::move(r), axis); }),
        m_selection.rows());
}

void Editor::rotateCopies(int n)
{
    if (n < 2 || n > 8 || m_selection.empty())
        return;
    const std::vector<NewItem> copies =
        rotatedCopies(itemsOf(m_level, m_selection.rows(), [](AnyRecord r) { return r; }), n);
    Additions added =
        additionSteps(m_level.document, takenSlots(m_level.document), static_cast<int>(m_level.rows.size()), copies);
    int players = m_level.settings.playerCount();
    for (const int slot : added.slots)
        players = std::max(players, slot + 1);
    std::vector<int> after = m_selection.rows();
    after.insert(after.end(), added.rows.begin(), added.rows.end());
    pushSelectionEdit(QStringLiteral("Rotate %1 Copies").arg(n - 1), std::move(added.steps), after, players);
    if (added.leftOut > 0)
        note(QStringLiteral("%1 copies were left out: no player slot or room of their kind was left for them.")
                 .arg(added.leftOut));
}

void Editor::makeSymmetric(int n)
{
    if (n < 2 || n > 8)
        return;
    const SectorSplit split = sectorOfFirstStart(m_level, n);
    if (split.firstStartRow < 0) {
        note(QStringLiteral("Make symmetric needs a start point: its sector is what is copied."));
        return;
    }
    std::vector<EditStep> steps = deletionSteps(m_level, split.removed);
    std::array<bool, playerSlots> taken = takenSlots(m_level.document);
    for (const int row : split.removed) {
        const ObjectRow& r = m_level.rows[static_cast<std::size_t>(row)];
        if (r.kind == ItemKind::PlayerStart)
            taken[static_cast<std::size_t>(r.arrayId)] = false;
    }
    // Rows kept move up past the removed ones.
    std::vector<int> kept;
    for (const int row : split.kept)
        kept.push_back(row
            - static_cast<int>(
                std::lower_bound(split.removed.begin(), split.removed.end(), row) - split.removed.begin()));
    const int remaining = static_cast<int>(m_level.rows.size() - split.removed.size());
    Additions added = additionSteps(m_level.document, taken, remaining,
        rotatedCopies(itemsOf(m_level, split.kept, [](AnyRecord r) { return r; }), n));
    steps.insert(steps.end(), std::make_move_iterator(added.steps.begin()), std::make_move_iterator(added.steps.end()));
    kept.insert(kept.end(), added.rows.begin(), added.rows.end());
    int players = n;
    for (const int slot : added.slots)
        players = std::max(players, slot + 1);
    pushSelectionEdit(QStringLiteral("Make Symmetric for %1 Players").arg(n), std::move(steps), kept, players);
    if (added.leftOut > 0)
        note(QStringLiteral("%1 copies were left out: no player slot or room of their kind was left for them.")
                 .arg(added.leftOut));
}

QString Editor::measureText() const
{
    std::optional<double> d;
    if (const std::optional<QLineF> line = m_measureTool.line()) {
        auto end = [this](int i, QPointF point) {
            const int row = m_measureTool.endRow(i);
            const std::optional<ItemPosition> at = row >= 0 ? rowPosition(m_level, row) : std::nullopt;
            return std::array<double, 3>{point.x(), point.y(), at ? double(at->z) : 0.0};
        };
        const auto a = end(0, line->p1());
        const auto b = end(1, line->p2());
        d = std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
    } else if (m_selection.size() == 2) {
        const auto a = rowPosition(m_level, m_selection.rows()[0]);
        const auto b = rowPosition(m_level, m_selection.rows()[1]);
        if (a && b)
            d = distance3D(*a, *b);
    }
    if (!d)
        return {};
    return QStringLiteral("Distance: %1").arg(QString::number(std::llround(*d)));
}

// ------------------------------------------------------------------ checks

const std::vector<Finding>& Editor::findings()
{
    if (m_findingsAt != m_levelChanges || !m_findingsSettings || *m_findingsSettings != m_level.settings) {
        m_findings = checkLevel(m_level, m_checkOptions, &modelLists());
        m_findingsAt = m_levelChanges;
        m_findingsSettings = m_level.settings;
    }
    return m_findings;
}

void Editor::setCheckOptions(const CheckOptions& options)
{
    m_checkOptions = options;
    m_store.write(minStartDistanceKey, doubleText(options.minStartDistance));
    m_store.write(fairSharePercentKey, doubleText(options.fairShare * 100));
    m_findingsSettings.reset();
    redraw();
}

} // namespace starloom
