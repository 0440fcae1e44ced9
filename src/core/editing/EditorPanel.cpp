// The Editor's property panel: the kind and model chosen, the value fields, the custom name.

#include "Editor.h"
#include "Overloaded.h"

#include "document/Numbers.h"

namespace starloom {

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
