#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVariant>

#include <vector>

// The rows of an omiListbox: a flat list in display order. A group (folder) row that is
// open has its child rows directly beneath it, one level deeper.
class omiListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Row {
        QStringList cells;
        QVariant tag;
        QList<QVariant> cellTags;
        bool folder = false;
        bool expanded = false;
        int depth = 0;
    };

    explicit omiListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void setColumns(int count);
    const Row &row(int index) const { return m_rows[size_t(index)]; }
    // Changes that do not move rows; the caller asks the view to repaint.
    Row &rowForUpdate(int index) { return m_rows[size_t(index)]; }
    void cellChanged(int row, int column);

    void insertRowAt(int index, Row row);
    void removeRowsAt(int first, int count);
    void clear();

private:
    std::vector<Row> m_rows;
    int m_columns = 1;
};
