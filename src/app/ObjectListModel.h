#pragma once

#include "editing/ObjectGroups.h"

#include <QAbstractItemModel>
#include <QTreeView>

#include <functional>

namespace starloom {

class Editor;

// The object list as a tree over Editor::rows(): a group for each kind with items ("Asteroids
// (12)"), its rows under it in their order. Columns: "Objects on Map", "Type" (the type id),
// "Index" (the array index or player slot), "Shown" and "Locked" (check boxes: a kind's box sets
// all of its items, and is partly checked when they differ). The filter keeps the rows it finds
// (Editor::rowMatches) and the groups that hold any. The editor changes its rows on its own and
// logs how (Editor::rowChanges); sync() tells the views those changes, group by group, without
// making the tree again. Cells are always read from the editor.
class ObjectListModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { NameColumn, TypeColumn, IndexColumn, ShownColumn, LockedColumn, ColumnCount };

    // `apply` runs each change of a check box (the window wraps it as any other command).
    ObjectListModel(Editor& editor, std::function<void(const std::function<void()>&)> apply, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The editor's row at `index`, -1 for a group (or an invalid index).
    int rowOf(const QModelIndex& index) const;
    // The index of the editor's row `row` in `column`; invalid when the filter leaves it out.
    QModelIndex indexOfRow(int row, int column = NameColumn) const;
    // The group of `kind`; invalid when it shows no row.
    QModelIndex indexOfKind(ItemKind kind, int column = NameColumn) const;

    const QString& filter() const { return m_filter; }
    // Shows only the rows `filter` finds (all when it is empty).
    void setFilter(const QString& filter);

    // True when the changes sync() would tell take rows out (or make the tree again).
    bool removesRows() const;
    // Brings the model in line with the editor's rows and marks: tells the views the changes
    // logged since the last call.
    void sync();

private:
    bool isGroup(const QModelIndex& index) const { return index.isValid() && index.internalId() == 0; }
    ItemKind kindOf(const QModelIndex& index) const;
    void rebuild();
    void setShown(std::vector<ItemKind> shown);
    void insertRows(int first, int count, const std::vector<int>& finalRows);
    void removeRows(int first, int count);
    QString groupText(ItemKind kind) const;

    Editor& m_editor;
    std::function<void(const std::function<void()>&)> m_apply;
    ObjectGroups m_groups;
    std::vector<ItemKind> m_shown; // the groups shown, in order
    ByTypeId<int> m_groupRow{};    // each shown kind's row among them, asked for by every parent()
    QString m_filter;
    quint64 m_serial = 0; // the editor's row changes followed so far
    quint64 m_marks = 0;  // and its mark changes
    quint64 m_revision = 0;
};

// The tree of the object list: a click on a row's "Shown" or "Locked" box changes the box
// alone, not the selection.
class ObjectListView final : public QTreeView {
public:
    using QTreeView::QTreeView;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(
        const QModelIndex& index, const QEvent* event = nullptr) const override;
};

} // namespace starloom
