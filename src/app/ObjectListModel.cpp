#include "ObjectListModel.h"

#include "editing/Editor.h"

#include <QColor>

#include <algorithm>

#include <utility>

namespace starloom {

namespace {

ItemKind kindOfTypeId(quintptr typeId)
{
    return kindTable.at(static_cast<std::size_t>(typeId) - 1).kind;
}

quintptr idOf(ItemKind kind)
{
    return static_cast<quintptr>(typeIdOf(kind));
}

Qt::CheckState stateOf(int marked, int total)
{
    return marked == 0 ? Qt::Unchecked : marked == total ? Qt::Checked : Qt::PartiallyChecked;
}

Qt::CheckState flipped(Qt::CheckState state)
{
    return state == Qt::Checked ? Qt::Unchecked : state == Qt::Unchecked ? Qt::Checked : Qt::PartiallyChecked;
}

} // namespace

ObjectListModel::ObjectListModel(
    Editor& editor, std::function<void(const std::function<void()>&)> apply, QObject* parent)
    : QAbstractItemModel(parent),
      m_editor(editor),
      m_apply(std::move(apply)),
      m_serial(editor.rowChanges().serial()),
      m_marks(editor.markChanges()),
      m_revision(editor.revision())
{
    if (!m_apply)
        m_apply = [](const std::function<void()>& change) { change(); };
    rebuild();
}

QModelIndex ObjectListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount)
        return {};
    if (!parent.isValid())
        return row < static_cast<int>(m_shown.size()) ? createIndex(row, column, quintptr(0)) : QModelIndex();
    if (!isGroup(parent))
        return {};
    const ItemKind kind = kindOf(parent);
    return row < static_cast<int>(m_groups.rows(kind).size()) ? createIndex(row, column, idOf(kind)) : QModelIndex();
}

QModelIndex ObjectListModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || isGroup(child))
        return {};
    return createIndex(m_groupRow.at(static_cast<std::size_t>(child.internalId())), 0, quintptr(0));
}

int ObjectListModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return static_cast<int>(m_shown.size());
    if (parent.column() != 0 || !isGroup(parent))
        return 0;
    return static_cast<int>(m_groups.rows(kindOf(parent)).size());
}

int ObjectListModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

ItemKind ObjectListModel::kindOf(const QModelIndex& index) const
{
    if (isGroup(index))
        return m_shown.at(static_cast<std::size_t>(index.row()));
    return kindOfTypeId(index.internalId());
}

int ObjectListModel::rowOf(const QModelIndex& index) const
{
    if (!index.isValid() || isGroup(index) || index.model() != this)
        return -1;
    const std::vector<int>& rows = m_groups.rows(kindOf(index));
    return index.row() < static_cast<int>(rows.size()) ? rows[static_cast<std::size_t>(index.row())] : -1;
}

QModelIndex ObjectListModel::indexOfRow(int row, int column) const
{
    if (row < 0 || row >= static_cast<int>(m_editor.rows().size()))
        return {};
    const ItemKind kind = m_editor.rows()[static_cast<std::size_t>(row)].kind;
    const int position = m_groups.positionOf(kind, row);
    return position < 0 ? QModelIndex() : createIndex(position, column, idOf(kind));
}

QModelIndex ObjectListModel::indexOfKind(ItemKind kind, int column) const
{
    return m_groups.rows(kind).empty() ? QModelIndex() : createIndex(m_groups.groupPosition(kind), column, quintptr(0));
}

QString ObjectListModel::groupText(ItemKind kind) const
{
    const QString name = kind == ItemKind::PlayerStart ? QStringLiteral("Player Starts")
                                                       : QString::fromLatin1(kindInfo(kind).countCaption);
    const int all = m_editor.liveCount(kind);
    const int shown = static_cast<int>(m_groups.rows(kind).size());
    return shown == all ? QStringLiteral("%1 (%2)").arg(name).arg(all)
                        : QStringLiteral("%1 (%2 of %3)").arg(name).arg(shown).arg(all);
}

QVariant ObjectListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (isGroup(index)) {
        const ItemKind kind = kindOf(index);
        const int all = m_editor.liveCount(kind);
        if (role == Qt::DisplayRole && index.column() == NameColumn)
            return groupText(kind);
        if (role == Qt::CheckStateRole && index.column() == ShownColumn)
            return flipped(stateOf(m_editor.hiddenCount(kind), all));
        if (role == Qt::CheckStateRole && index.column() == LockedColumn)
            return stateOf(m_editor.lockedCount(kind), all);
        if (role == Qt::ToolTipRole && index.column() == ShownColumn)
            return QStringLiteral("Show or hide every item of the kind on the map");
        if (role == Qt::ToolTipRole && index.column() == LockedColumn)
            return QStringLiteral("Lock or unlock every item of the kind on the map");
        return {};
    }
    const int row = rowOf(index);
    const auto& rows = m_editor.rows();
    if (row < 0 || row >= static_cast<int>(rows.size()))
        return {};
    const ObjectRow& r = rows[static_cast<std::size_t>(row)];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case NameColumn:
            return r.text;
        case TypeColumn:
            return QString::number(typeIdOf(r.kind));
        case IndexColumn:
            return QString::number(r.arrayId);
        default:
            return {};
        }
    case Qt::CheckStateRole:
        if (index.column() == ShownColumn)
            return r.hidden ? Qt::Unchecked : Qt::Checked;
        if (index.column() == LockedColumn)
            return r.locked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ForegroundRole:
        return r.hidden && index.column() == NameColumn ? QVariant(QColor(Qt::gray)) : QVariant();
    case Qt::ToolTipRole:
        if (index.column() == ShownColumn)
            return r.hidden ? QStringLiteral("Hidden: not drawn, and not selectable on the map")
                            : QStringLiteral("Shown on the map");
        if (index.column() == LockedColumn)
            return r.locked ? QStringLiteral("Locked: not selectable on the map")
                            : QStringLiteral("Selectable on the map");
        return {};
    default:
        return {};
    }
}

bool ObjectListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid()
        || (index.column() != ShownColumn && index.column() != LockedColumn))
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    const bool shownColumn = index.column() == ShownColumn;
    if (isGroup(index)) {
        const ItemKind kind = kindOf(index);
        m_apply([this, kind, checked, shownColumn] {
            shownColumn ? m_editor.setKindHidden(kind, !checked) : m_editor.setKindLocked(kind, checked);
        });
    } else {
        const int row = rowOf(index);
        if (row < 0)
            return false;
        m_apply([this, row, checked, shownColumn] {
            shownColumn ? m_editor.setRowHidden(row, !checked) : m_editor.setRowLocked(row, checked);
        });
    }
    sync();
    return true;
}

Qt::ItemFlags ObjectListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled;
    if (index.column() == ShownColumn || index.column() == LockedColumn)
        f |= Qt::ItemIsUserCheckable;
    else if (!isGroup(index))
        f |= Qt::ItemIsSelectable;
    return f;
}

QVariant ObjectListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return QStringLiteral("Objects on Map");
    case TypeColumn:
        return QStringLiteral("Type");
    case IndexColumn:
        return QStringLiteral("Index");
    case ShownColumn:
        return QStringLiteral("Shown");
    case LockedColumn:
        return QStringLiteral("Locked");
    default:
        return {};
    }
}

void ObjectListModel::setFilter(const QString& filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    beginResetModel();
    rebuild();
    endResetModel();
}

void ObjectListModel::rebuild()
{
    const auto& rows = m_editor.rows();
    m_groups.rebuild(
        static_cast<int>(rows.size()), [&rows](int r) { return rows[static_cast<std::size_t>(r)].kind; },
        [this](int r) { return m_editor.rowMatches(r, m_filter); });
    setShown(m_groups.shownKinds());
}

void ObjectListModel::setShown(std::vector<ItemKind> shown)
{
    m_shown = std::move(shown);
    for (std::size_t i = 0; i < m_shown.size(); ++i)
        m_groupRow.at(static_cast<std::size_t>(typeIdOf(m_shown[i]))) = static_cast<int>(i);
}

void ObjectListModel::insertRows(int first, int count, const std::vector<int>& finalRows)
{
    m_groups.shift(first, count);
    const auto& rows = m_editor.rows();
    ByTypeId<std::vector<int>> added;
    for (int k = 0; k < count; ++k) {
        const int at = finalRows[static_cast<std::size_t>(k)];
        if (m_editor.rowMatches(at, m_filter))
            added.at(static_cast<std::size_t>(typeIdOf(rows[static_cast<std::size_t>(at)].kind))).push_back(first + k);
    }
    for (const ItemKind kind : allKinds) {
        const std::vector<int>& these = added.at(static_cast<std::size_t>(typeIdOf(kind)));
        if (these.empty())
            continue;
        const int at = m_groups.span(kind, first, 0).first;
        if (m_groups.rows(kind).empty()) {
            const int group = m_groups.groupPosition(kind);
            beginInsertRows({}, group, group);
            m_groups.insert(kind, at, these);
            setShown(m_groups.shownKinds());
            endInsertRows();
        } else {
            beginInsertRows(indexOfKind(kind), at, at + static_cast<int>(these.size()) - 1);
            m_groups.insert(kind, at, these);
            endInsertRows();
        }
    }
}

void ObjectListModel::removeRows(int first, int count)
{
    for (const ItemKind kind : allKinds) {
        const auto [from, to] = m_groups.span(kind, first, count);
        if (from == to)
            continue;
        if (to - from == static_cast<int>(m_groups.rows(kind).size())) {
            const int group = m_groups.groupPosition(kind);
            beginRemoveRows({}, group, group);
            m_groups.erase(kind, from, to - from);
            setShown(m_groups.shownKinds());
            endRemoveRows();
        } else {
            beginRemoveRows(indexOfKind(kind), from, to - 1);
            m_groups.erase(kind, from, to - from);
            endRemoveRows();
        }
    }
    m_groups.shift(first + count, -count);
}

bool ObjectListModel::removesRows() const
{
    const std::vector<RowChange> changes = m_editor.rowChanges().since(m_serial);
    return std::any_of(
        changes.begin(), changes.end(), [](const RowChange& c) { return c.type != RowChange::Type::Inserted; });
}

void ObjectListModel::sync()
{
    const RowChangeLog& log = m_editor.rowChanges();
    const std::vector<RowChange> changes = log.since(m_serial);
    m_serial = log.serial();
    const int rowCount = static_cast<int>(m_editor.rows().size());
    // Where the rows of each insertion stand once every change is made: their kinds and texts
    // are read there. A row inserted and removed again is not read: the tree is made again.
    bool remake = false;
    std::vector<std::vector<int>> finals(changes.size());
    for (std::size_t i = 0; i < changes.size() && !remake; ++i) {
        const RowChange& c = changes[i];
        if (c.type == RowChange::Type::Reset) {
            remake = true;
            break;
        }
        if (c.type != RowChange::Type::Inserted)
            continue;
        for (int k = 0; k < c.count && !remake; ++k) {
            int at = c.first + k;
            for (std::size_t j = i + 1; j < changes.size() && !remake; ++j) {
                const RowChange& later = changes[j];
                if (later.type == RowChange::Type::Reset)
                    remake = true;
                else if (later.type == RowChange::Type::Inserted && at >= later.first)
                    at += later.count;
                else if (later.type == RowChange::Type::Removed && at >= later.first + later.count)
                    at -= later.count;
                else if (later.type == RowChange::Type::Removed && at >= later.first)
                    remake = true;
            }
            remake = remake || at < 0 || at >= rowCount;
            finals[i].push_back(at);
        }
    }
    if (remake) {
        beginResetModel();
        rebuild();
        endResetModel();
    } else {
        for (std::size_t i = 0; i < changes.size(); ++i) {
            if (changes[i].type == RowChange::Type::Inserted)
                insertRows(changes[i].first, changes[i].count, finals[i]);
            else
                removeRows(changes[i].first, changes[i].count);
        }
        std::size_t listed = 0;
        for (const ItemKind kind : allKinds)
            listed += m_groups.rows(kind).size();
        // Only when the log and the rows disagree.
        if (m_filter.isEmpty() ? listed != std::size_t(rowCount) : listed > std::size_t(rowCount)) {
            beginResetModel();
            rebuild();
            endResetModel();
        }
    }

    // The groups' counts and boxes, and the boxes of their rows.
    const bool marksChanged = m_editor.markChanges() != m_marks;
    if (marksChanged || m_editor.revision() != m_revision) {
        m_marks = m_editor.markChanges();
        m_revision = m_editor.revision();
        if (!m_shown.empty())
            Q_EMIT dataChanged(index(0, 0), index(static_cast<int>(m_shown.size()) - 1, ColumnCount - 1));
        if (marksChanged) {
            for (const ItemKind kind : m_shown) {
                const int last = static_cast<int>(m_groups.rows(kind).size()) - 1;
                Q_EMIT dataChanged(
                    createIndex(0, ShownColumn, idOf(kind)), createIndex(last, LockedColumn, idOf(kind)));
            }
        }
    }
}

QItemSelectionModel::SelectionFlags ObjectListView::selectionCommand(
    const QModelIndex& index, const QEvent* event) const
{
    if (index.isValid()
        && (index.column() == ObjectListModel::ShownColumn || index.column() == ObjectListModel::LockedColumn))
        return QItemSelectionModel::NoUpdate;
    return QTreeView::selectionCommand(index, event);
}

} // namespace starloom
