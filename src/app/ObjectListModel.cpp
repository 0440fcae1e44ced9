#include "ObjectListModel.h"

#include "editing/Editor.h"

namespace starloom {

ObjectListModel::ObjectListModel(const Editor& editor, QObject* parent)
    : QAbstractTableModel(parent),
      m_editor(editor),
      m_count(static_cast<int>(editor.rows().size())),
      m_serial(editor.rowChanges().serial())
{
}

int ObjectListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_count;
}

int ObjectListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant ObjectListModel::data(const QModelIndex& index, int role) const
{
    const auto& rows = m_editor.rows();
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= static_cast<int>(rows.size()))
        return {};
    const ObjectRow& row = rows[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case 0:
        return row.text;
    case 1:
        return QString::number(typeIdOf(row.kind));
    case 2:
        return QString::number(row.arrayId);
    default:
        return {};
    }
}

QVariant ObjectListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return QStringLiteral("Objects on Map");
    case 1:
        return QStringLiteral("Type");
    case 2:
        return QStringLiteral("Index");
    default:
        return {};
    }
}

void ObjectListModel::sync()
{
    const RowChangeLog& log = m_editor.rowChanges();
    const int count = static_cast<int>(m_editor.rows().size());
    for (const RowChange& change : log.since(m_serial)) {
        const int last = change.first + change.count - 1;
        if (change.type == RowChange::Type::Inserted && change.first >= 0 && change.first <= m_count) {
            beginInsertRows({}, change.first, last);
            m_count += change.count;
            endInsertRows();
        } else if (change.type == RowChange::Type::Removed && change.first >= 0 && last < m_count) {
            beginRemoveRows({}, change.first, last);
            m_count -= change.count;
            endRemoveRows();
        } else {
            beginResetModel();
            m_count = count;
            endResetModel();
        }
    }
    m_serial = log.serial();
    if (m_count != count) { // only when the log and the rows disagree
        beginResetModel();
        m_count = count;
        endResetModel();
    }
}

} // namespace starloom
