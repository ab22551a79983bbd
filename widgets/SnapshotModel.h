#pragma once

#include "platform/Database.h"

#include <QAbstractTableModel>
#include <functional>

// A grid's rows straight from an open result: a cell is read from the
// snapshot only when the view asks for it, so that a hundred thousand rows
// open at once. The headers may stand in row 0 as an ordinary row that
// scrolls away with the rest.
class SnapshotModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString header;
        // The value of one role for one row of the snapshot.
        std::function<QVariant(const DbSnapshot& rows, int row, int role)> data;
    };

    explicit SnapshotModel(QList<Column> columns, QObject* parent = nullptr);

    void setSnapshot(DbSnapshotPtr rows); // resets the model; null empties it
    DbSnapshotPtr snapshot() const { return m_rows; }
    void setHeaderRow(bool on);
    // The snapshot's row of a model row; -1 for the header row.
    int snapshotRow(int modelRow) const { return modelRow - (m_headerRow ? 1 : 0); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QList<Column> m_columns;
    DbSnapshotPtr m_rows;
    bool m_headerRow = false;
};
