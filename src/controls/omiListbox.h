#pragma once

#include "common/Types.h"

#include <QTableView>

#include <functional>

class omiListModel;

// The flat-styled list of the workflow windows. It paints nothing of its own: every cell's
// background and content are painted by the owner's callbacks, also for the empty rows
// below the last one (row index >= rowCount()), ten times a second if need be; only the
// visible cells are painted.
//
// Rows are 32 pixels high, there is no heading and no grid, several rows may be selected.
// Group (folder) rows open and close: opening raises `expandRow`, and rows added while
// it is handled go directly beneath the group, one level deeper; closing removes them
// and raises `collapseRow`. No disclosure triangles are drawn; the owner paints its own.
class omiListbox final : public QTableView {
    Q_OBJECT
public:
    // Paints one cell; the painter's origin is the cell's top-left corner and it is
    // clipped to the cell.
    using CellPaint = std::function<void(QPainter &g, int row, int column, const QSize &cell)>;
    // A left-button press in a cell, at a point in the cell's coordinates; returning true
    // keeps the selection as it is.
    using CellClick = std::function<bool(int row, int column, const QPoint &inCell)>;

    explicit omiListbox(QWidget *parent = nullptr);

    // Rows.
    int rowCount() const;
    int addRow(const QStringList &cells, const QVariant &tag = {});
    int addFolder(const QStringList &cells, const QVariant &tag = {});
    void insertRow(int row, const QStringList &cells, const QVariant &tag = {}, bool folder = false);
    void removeRow(int row);
    void deleteAllRows();
    QString cell(int row, int column) const;
    void setCell(int row, int column, const QString &text);
    QVariant rowTag(int row) const;
    void setRowTag(int row, const QVariant &tag);
    QVariant cellTag(int row, int column) const;
    void setCellTag(int row, int column, const QVariant &tag);

    // Groups.
    bool isFolder(int row) const;
    int rowDepth(int row) const;
    bool expanded(int row) const;
    void setExpanded(int row, bool open);

    // Columns: "*,32,32" gives the first column the room the fixed ones leave.
    int columnCount() const;
    void setColumnCount(int count);
    void setColumnWidths(const QString &widths);
    // Sets the column to its widest cell text (in the list's font) plus 5 pixels.
    void AutoColumnWidth(int column);
    int defaultRowHeight() const { return m_rowHeight; }
    void setDefaultRowHeight(int height);

    // Selection.
    bool isSelected(int row) const;
    void setSelected(int row, bool selected);
    QList<int> selectedRows() const;
    int selCount() const;
    // The first selected row, or -1.
    int listIndex() const;

    void setCellBackgroundPaint(CellPaint paint) { m_backgroundPaint = std::move(paint); }
    void setCellTextPaint(CellPaint paint) { m_textPaint = std::move(paint); }
    void setCellClick(CellClick click) { m_cellClick = std::move(click); }

    // Used by the delegate.
    void paintCell(QPainter &g, int row, int column, const QRect &cell) const;

    // The selected rows as of the last mouse release (the owner may clear it).
    QList<int> rows;
    // The owner's own storage; the list never reads or writes these.
    int selRow = -1;
    int selColumn = -1;
    QString mode;
    bool gotResults = false;
    QVariant moviefilesList;
    Dictionary TipAreas;

Q_SIGNALS:
    void expandRow(int row);
    void collapseRow(int row);
    void cellDoubleClick(int row, int column);
    // The selection changed.
    void change();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    bool validRow(int row) const;
    void paintBlankRows(QPainter &g);

    omiListModel *m_model;
    int m_rowHeight = 32;
    QString m_columnWidths;
    CellPaint m_backgroundPaint;
    CellPaint m_textPaint;
    CellClick m_cellClick;
    // While an opening group is handled: where its next child row goes, and its depth.
    int m_insertAt = -1;
    int m_insertDepth = 0;
};
