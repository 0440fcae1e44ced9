#include "ObjectListModel.h"

#include "editing/Editor.h"

namespace starloom {

ObjectListModel::ObjectListModel(const Editor& editor, QObject* parent)
    : QAbstractTableModel(parent)
    , m_editor(editor)
{
    sync(-1);
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

void ObjectListModel::sync(int removedRowHint)
{
    const auto& rows = m_editor.rows();
    const int count = static_cast<int>(rows.size());
    auto lastRow = [&rows] { return rows.empty() ? ObjectRow{} : rows.back(); };

    if (count == m_count && (count == 0 || rows.back() == m_last))
        return;
    const bool appended = count > m_count && (m_count == 0 || rows[static_cast<std::size_t>(m_count - 1)] == m_last);
    if (appended) {
        beginInsertRows({}, m_count, count - 1);
        m_count = count;
        m_last = lastRow();
        endInsertRows();
    } else if (count == m_count - 1 && removedRowHint >= 0 && removedRowHint < m_count) {
        beginRemoveRows({}, removedRowHint, removedRowHint);
        m_count = count;
        m_last = lastRow();
        endRemoveRows();
    } else {
        beginResetModel();
        m_count = count;
        m_last = lastRow();
        endResetModel();
    }
}

} // namespace starloom
