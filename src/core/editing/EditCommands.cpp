#include "EditCommands.h"

#include "Editor.h"

namespace starloom {

EditCommand::EditCommand(Editor& editor, const QString& text, std::vector<EditStep> steps, int selectionBefore,
    int selectionAfter, int mergeKey)
    : QUndoCommand(text),
      m_editor(editor),
      m_steps(std::move(steps)),
      m_selectionBefore(selectionBefore),
      m_selectionAfter(selectionAfter),
      m_mergeKey(mergeKey),
      m_firstText(text)
{
}

void EditCommand::redo()
{
    for (const EditStep& step : m_steps)
        m_editor.applyStep(step, true);
    m_editor.afterUndoStep(m_selectionAfter);
    if (!m_rowsAfter.empty())
        m_editor.restoreSelection(m_rowsAfter);
}

void EditCommand::undo()
{
    for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it)
        m_editor.applyStep(*it, false);
    m_editor.afterUndoStep(m_selectionBefore);
    if (!m_rowsBefore.empty())
        m_editor.restoreSelection(m_rowsBefore);
}

bool EditCommand::mergeWith(const QUndoCommand* other)
{
    const auto* edit = dynamic_cast<const EditCommand*>(other);
    if (!edit || edit->m_mergeKey != m_mergeKey || m_mergeKey == 0)
        return false;
    m_steps.insert(m_steps.end(), edit->m_steps.begin(), edit->m_steps.end());
    m_selectionAfter = edit->m_selectionAfter;
    m_rowsAfter = edit->m_rowsAfter;
    ++m_count;
    // "Place Asteroid #3" for one item, "Place 4 Items" for a drag.
    const QString verb = m_firstText.section(QLatin1Char(' '), 0, 0);
    setText(QStringLiteral("%1 %2 Items").arg(verb).arg(m_count));
    if (verb == QLatin1String("Move"))
        setText(m_firstText);
    return true;
}

LevelSwapCommand::LevelSwapCommand(Editor& editor, const QString& text, LevelState other, int sharedRows)
    : QUndoCommand(text),
      m_editor(editor),
      m_other(std::move(other)),
      m_sharedRows(sharedRows)
{
}

void LevelSwapCommand::redo()
{
    m_editor.swapLevelState(m_other, m_sharedRows);
}

void LevelSwapCommand::undo()
{
    m_editor.swapLevelState(m_other, m_sharedRows);
}

SettingsCommand::SettingsCommand(Editor& editor, MapSettings before, MapSettings after)
    : QUndoCommand(QStringLiteral("Options")),
      m_editor(editor),
      m_before(std::move(before)),
      m_after(std::move(after))
{
}

void SettingsCommand::redo()
{
    if (m_firstRedo) {
        m_firstRedo = false;
        return;
    }
    m_editor.applySettingsChange(m_before, m_after);
}

void SettingsCommand::undo()
{
    m_editor.applySettingsChange(m_after, m_before);
}

} // namespace starloom
