#include "controls/omiListModel.h"

omiListModel::omiListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

int omiListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int omiListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant omiListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    const Row &r = m_rows[size_t(index.row())];
    return index.column() < r.cells.size() ? r.cells.at(index.column()) : QString();
}

void omiListModel::setColumns(int count)
{
    count = std::max(count, 1);
    if (count == m_columns)
        return;
    beginResetModel();
    m_columns = count;
    endResetModel();
}

void omiListModel::cellChanged(int row, int column)
{
    const QModelIndex changed = index(row, column);
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
}

void omiListModel::insertRowAt(int index, Row row)
{
    index = std::clamp(index, 0, int(m_rows.size()));
    beginInsertRows({}, index, index);
    m_rows.insert(m_rows.begin() + index, std::move(row));
    endInsertRows();
}

void omiListModel::removeRowsAt(int first, int count)
{
    if (first < 0 || count <= 0 || first + count > int(m_rows.size()))
        return;
    beginRemoveRows({}, first, first + count - 1);
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + first + count);
    endRemoveRows();
}

void omiListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
