#pragma once

#include "document/Level.h"
#include "views/ViewScale.h"

#include <QUndoCommand>

#include <variant>
#include <vector>

namespace starloom {

class Editor;

// The whole level as the editor holds it, with the selected row and the view scales: what a load
// or a new level replaces.
struct LevelState {
    Level level;
    int selectedRow = -1;
    ViewScale top;
    ViewScale front;
};

// The small steps an edit is made of; each can be applied and reverted.
struct RecordStep { // a record's fields change
    ItemKind kind;
    std::int16_t arrayId;
    AnyRecord before;
    AnyRecord after;
};
struct AppendStep { // a record is appended to its kind's array
    ItemKind kind;
    AnyRecord record;
};
struct RowInsertStep { // a row is inserted into the object list
    int position;
    ObjectRow row;
};
struct RowRemoveStep { // a row is removed from the object list
    int position;
    ObjectRow row;
};
using EditStep = std::variant<RecordStep, AppendStep, RowInsertStep, RowRemoveStep>;

// One undoable edit of the level: steps applied in order, reverted in reverse order, and the
// object-list selection before and after. Edits with the same non-zero merge key (the items
// placed or the moves made by one drag) become one step.
class EditCommand final : public QUndoCommand {
public:
    EditCommand(Editor& editor, const QString& text, std::vector<EditStep> steps, int selectionBefore,
        int selectionAfter, int mergeKey);
    // The rows selected before and after, when more than the selected row (a multi-selection).
    void setSelections(std::vector<int> before, std::vector<int> after)
    {
        m_rowsBefore = std::move(before);
        m_rowsAfter = std::move(after);
    }

    void redo() override;
    void undo() override;
    int id() const override { return m_mergeKey != 0 ? 1 : -1; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    Editor& m_editor;
    std::vector<EditStep> m_steps;
    int m_selectionBefore;
    int m_selectionAfter;
    int m_mergeKey;
    int m_count = 1;
    QString m_firstText;
    std::vector<int> m_rowsBefore;
    std::vector<int> m_rowsAfter;
};

// A load, an opened script or a new level: redo puts `other` in place of the editor's level and
// keeps the level it replaced; undo swaps them back. Both begin with the same `sharedRows` rows
// (a load appends to the level), so that the object list is told which rows came or went.
class LevelSwapCommand final : public QUndoCommand {
public:
    LevelSwapCommand(Editor& editor, const QString& text, LevelState other, int sharedRows);

    void redo() override;
    void undo() override;

private:
    Editor& m_editor;
    LevelState m_other;
    int m_sharedRows;
};

// An accepted "Done!" of the options window: the level settings it changed. The editor already
// holds `after` when this is pushed.
class SettingsCommand final : public QUndoCommand {
public:
    SettingsCommand(Editor& editor, MapSettings before, MapSettings after);

    void redo() override;
    void undo() override;

private:
    Editor& m_editor;
    MapSettings m_before;
    MapSettings m_after;
    bool m_firstRedo = true;
};

} // namespace starloom
