#pragma once

#include "document/ObjectRow.h"

#include <QAbstractTableModel>

namespace starloom {

class Editor;

// The object list as a table over Editor::rows(): "Objects on Map", "Type" (the type id) and
// "Index" (the array index or player slot). The editor changes its rows on its own; sync() tells
// the views what changed since the last call. Cells are always read from the editor, so the
// text shown is right even when a change was announced coarsely.
class ObjectListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ObjectListModel(const Editor& editor, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Brings the model in line with the editor's rows. Rows are only ever appended, removed one
    // at a time (`removedRowHint`, the row that was selected) or cleared all together.
    void sync(int removedRowHint);

private:
    const Editor& m_editor;
    int m_count = 0;
    ObjectRow m_last; // the last row at the previous sync
};

} // namespace starloom
