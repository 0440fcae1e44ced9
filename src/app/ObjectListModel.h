#pragma once

#include "document/ObjectRow.h"

#include <QAbstractTableModel>

namespace starloom {

class Editor;

// The object list as a table over Editor::rows(): "Objects on Map", "Type" (the type id) and
// "Index" (the array index or player slot). The editor changes its rows on its own and logs how
// (Editor::rowChanges); sync() tells the views those changes. Cells are always read from the
// editor.
class ObjectListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ObjectListModel(const Editor& editor, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Brings the model in line with the editor's rows: tells the views the changes logged since
    // the last call.
    void sync();

private:
    const Editor& m_editor;
    int m_count = 0;
    quint64 m_serial = 0; // the editor's row changes followed so far
};

} // namespace starloom
