#include "widgets/SnapshotModel.h"

SnapshotModel::SnapshotModel(QList<Column> columns, QObject* parent)
    : QAbstractTableModel(parent)
    , m_columns(std::move(columns))
{}

void SnapshotModel::setSnapshot(DbSnapshotPtr rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void SnapshotModel::setHeaderRow(bool on)
{
    beginResetModel();
    m_headerRow = on;
    endResetModel();
}

int SnapshotModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return (m_rows ? m_rows->rowCount() : 0) + (m_headerRow ? 1 : 0);
}

int SnapshotModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant SnapshotModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() >= m_columns.size())
        return QVariant();
    const int row = snapshotRow(index.row());
    if (row < 0)
        return role == Qt::DisplayRole ? QVariant(m_columns[index.column()].header) : QVariant();
    if (!m_rows || row >= m_rows->rowCount() || !m_columns[index.column()].data)
        return QVariant();
    return m_columns[index.column()].data(*m_rows, row, role);
}

QVariant SnapshotModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_columns.size())
        return m_columns[section].header;
    return QAbstractTableModel::headerData(section, orientation, role);
}
