// The Editor's property panel: the kind and model chosen, the value fields, the custom name.

#include "Editor.h"
#include "Overloaded.h"
#include "Transforms.h"

#include "document/Numbers.h"

#include <algorithm>

namespace starloom {

namespace {

struct FieldChange {
    const ItemField* field;
    double value;
};

// The steps that give every item of `rows` the values of `changes`.
std::vector<EditStep> fieldSteps(
    const Level& level, const std::vector<int>& rows, const std::vector<FieldChange>& changes)
{
    return changeSteps(level, rows, [&](AnyRecord r) {
        for (const FieldChange& c : changes)
            c.field->set(r, c.value);
        return r;
    });
}

// The kind of the first of `rows` whose item exists.
std::optional<ItemKind> firstKind(const Level& level, const std::vector<int>& rows)
{
    for (const int row : rows) {
        const ObjectRow& r = level.rows.at(static_cast<std::size_t>(row));
        if (level.document.exists(r.kind, r.arrayId))
            return r.kind;
    }
    return std::nullopt;
}

} // namespace

void Editor::chooseKind(ItemKind kind)
{
    showKind(kind);
    chooseTool(ToolKind::Place);
}

void Editor::showKind(ItemKind kind)
{
    m_panel.kind = kind;
    m_panel.models = m_catalogue.modelList(kind, m_level.settings.playerIndex);
    m_panel.modelIndex = -1;
    m_panel.mode = EditorMode::Placement;
    showPanelFields();
    if (!m_panel.models.isEmpty())
        chooseModel(kind == ItemKind::PlayerStart ? freePlayerEntry(0) : 0);
    else
        m_panel.customVisible = false;
}

int Editor::freePlayerEntry(int from) const
{
    const int entries = static_cast<int>(m_panel.models.size());
    for (int i = 0; i < entries; ++i) {
        const int slot = (from + i) % entries;
        if (slot < playerSlots && m_level.document.player(slot).label.isEmpty())
            return slot;
    }
    return from >= 0 && from < entries ? from : 0;
}

QString Editor::modeText() const
{
    switch (m_tool) {
    case ToolKind::Place:
        break;
    case ToolKind::Select:
        return QStringLiteral("Select mode");
    case ToolKind::Measure:
        return QStringLiteral("Measure mode");
    case ToolKind::Zoom:
        return QStringLiteral("Zoom mode");
    case ToolKind::Pan:
        return QStringLiteral("Pan mode");
    }
    return modeCaption(m_panel.mode);
}

void Editor::chooseModel(int index)
{
    m_panel.modelIndex = index >= 0 && index < m_panel.models.size() ? index : -1;
    m_panel.mode = EditorMode::Placement;
    showPanelFields();
    m_panel.customVisible = m_panel.modelIsCustom();
    if (m_panel.customVisible)
        m_panel.customName.clear();
}

void Editor::showPanelFields()
{
    disarmZoom();
    showKindControls(m_panel);
}

void Editor::setFieldText(int field, const QString& text)
{
    if (field >= 0 && field < static_cast<int>(m_panel.fields.size()))
        m_panel.fields[static_cast<std::size_t>(field)].text = text;
}

std::vector<SharedField> Editor::selectionFields() const
{
    return sharedFields(m_level, m_selection.rows());
}

QString Editor::setSelectionField(int field, const QString& text)
{
    if (m_selection.empty())
        return {};
    const std::vector<SharedField> fields = selectionFields();
    const auto shared =
        std::find_if(fields.begin(), fields.end(), [field](const SharedField& f) { return f.index == field; });
    const std::optional<ItemKind> kind = firstKind(m_level, m_selection.rows());
    if (shared == fields.end() || !kind) {
        const QString name = field >= 0 && field < static_cast<int>(m_panel.fields.size()) ? m_panel.field(field).label
                                                                                           : QString::number(field);
        return QStringLiteral("Not every selected item has \"%1\".").arg(name);
    }
    const ItemField& f = kindLayout(*kind).fields.at(static_cast<std::size_t>(field));
    QString why;
    const std::optional<double> value = fieldValue(f, text, true, &why);
    if (!value)
        return QStringLiteral("\"%1\" %2.").arg(shared->label, why);
    const QString what = m_selection.size() == 1
        ? QStringLiteral("Set %1").arg(shared->label)
        : QStringLiteral("Set %1 of %2 Items").arg(shared->label).arg(m_selection.size());
    pushSelectionEdit(what, fieldSteps(m_level, m_selection.rows(), {{&f, *value}}), m_selection.rows());
    // The panel of the item being edited shows the value as stored; its other fields stay as typed.
    if (m_selection.editedRow() >= 0 && m_panel.mode == EditorMode::Editing && m_panel.kind == *kind)
        m_panel.fields.at(static_cast<std::size_t>(field)).text = fieldText(f, *value);
    return {};
}

QString Editor::placementFieldError(int field) const
{
    if (!m_panel.kind || field < 0 || field >= static_cast<int>(m_panel.fields.size()))
        return {};
    const KindLayout& layout = kindLayout(*m_panel.kind);
    if (field >= static_cast<int>(layout.fields.size()) || !layout.fields[std::size_t(field)].set)
        return {};
    const ItemField& f = layout.fields[std::size_t(field)];
    const PanelField& shown = m_panel.field(field);
    QString why;
    if (fieldValue(f, shown.text, m_panel.mode == EditorMode::Placement && f.strictWhenPlaced, &why))
        return {};
    return QStringLiteral("\"%1\" %2.").arg(shown.label, why);
}

bool Editor::checkCustomName()
{
    if (const QString error = customNameError(m_panel); !error.isEmpty()) {
        message(error);
        return false;
    }
    return true;
}

void Editor::pickColour()
{
    // The picker reports Cancel as the colour it started on.
    const std::int32_t c = m_host.askColour(m_lastColour).value_or(m_lastColour) & 0xFFFFFF;
    m_lastColour = c;
    if (m_selection.size() > 1) {
        // Several clouds: the colour of them all, as one step.
        const std::vector<SharedField> fields = selectionFields();
        const std::optional<ItemKind> kind = firstKind(m_level, m_selection.rows());
        std::vector<FieldChange> changes;
        for (const SharedField& shared : fields) {
            const ItemField& f = kindLayout(*kind).fields.at(static_cast<std::size_t>(shared.index));
            if (shared.colour && shared.index < 3)
                changes.push_back({&f, double((c >> (8 * shared.index)) & 0xFF)});
        }
        if (changes.size() == 3) {
            pushSelectionEdit(QStringLiteral("Set Colour of %1 Items").arg(m_selection.size()),
                fieldSteps(m_level, m_selection.rows(), changes), m_selection.rows());
            return;
        }
    }
    m_panel.fields[0].text = intText(c % 256);
    m_panel.fields[1].text = intText((c / 256) % 256);
    m_panel.fields[2].text = intText((c / 65536) % 256);
}

void Editor::editSelectedRow()
{
    if (m_selection.editedRow() < 0)
        return;
    loadRecordIntoPanel(m_level.rows.at(static_cast<std::size_t>(m_selection.editedRow())));
}

void Editor::loadRecordIntoPanel(const ObjectRow& row)
{
    const LevelDocument& document = m_level.document;
    if (!document.exists(row.kind, row.arrayId))
        return;
    showKind(row.kind);

    const AnyRecord record = document.record(row.kind, row.arrayId);
    int entry = -1;
    bool custom = false;
    std::visit(Overloaded{
                   [&](const PlayerStartRecord&) { entry = row.arrayId; },
                   [&](const auto& r) {
                       entry = r.modelIndex;
                       if (entry == -1 && kindInfo(row.kind).hasCustom) {
                           custom = true;
                           entry = static_cast<int>(m_panel.models.size()) - 1;
                       }
                   },
               },
        record);
    chooseModel(entry);

    // Every field with a record member, clouds' colours too: otherwise Apply would store the
    // panel's defaults over them.
    showRecordFields(m_panel, row.kind, record);
    if (custom) {
        std::visit(Overloaded{
                       [](const PlayerStartRecord&) {},
                       [this](const auto& r) { m_panel.customName = r.customName; },
                   },
            record);
    }
    m_panel.mode = EditorMode::Editing;
    showPanelFields();
    if (custom)
        m_panel.customVisible = true;
}

} // namespace starloom
