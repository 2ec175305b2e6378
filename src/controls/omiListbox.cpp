#include "controls/omiListbox.h"

#include "controls/omiListDelegate.h"
#include "controls/omiListModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>

using namespace Qt::Literals::StringLiterals;

omiListbox::omiListbox(QWidget *parent)
    : QTableView(parent)
    , m_model(new omiListModel(this))
{
    setModel(m_model);
    setItemDelegate(new omiListDelegate(this));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(m_rowHeight);
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    setShowGrid(false);
    setWordWrap(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The owner paints every background, the empty area included.
    viewport()->setAutoFillBackground(false);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { Q_EMIT change(); });
}

bool omiListbox::validRow(int row) const
{
    return row >= 0 && row < m_model->rowCount();
}

int omiListbox::rowCount() const
{
    return m_model->rowCount();
}

int omiListbox::addRow(const QStringList &cells, const QVariant &tag)
{
    omiListModel::Row row{cells, tag, {}, false, false, 0};
    if (m_insertAt >= 0) {
        row.depth = m_insertDepth;
        const int at = m_insertAt++;
        m_model->insertRowAt(at, std::move(row));
        return at;
    }
    m_model->insertRowAt(m_model->rowCount(), std::move(row));
    return m_model->rowCount() - 1;
}

int omiListbox::addFolder(const QStringList &cells, const QVariant &tag)
{
    const int at = addRow(cells, tag);
    m_model->rowForUpdate(at).folder = true;
    return at;
}

void omiListbox::insertRow(int row, const QStringList &cells, const QVariant &tag, bool folder)
{
    m_model->insertRowAt(row, {cells, tag, {}, folder, false, 0});
}

void omiListbox::removeRow(int row)
{
    if (!validRow(row))
        return;
    // A group goes with the rows it holds open.
    int count = 1;
    const int depth = m_model->row(row).depth;
    while (row + count < m_model->rowCount() && m_model->row(row + count).depth > depth)
        ++count;
    m_model->removeRowsAt(row, count);
}

void omiListbox::deleteAllRows()
{
    m_model->clear();
}

QString omiListbox::cell(int row, int column) const
{
    if (!validRow(row))
        return {};
    const QStringList &cells = m_model->row(row).cells;
    return column >= 0 && column < cells.size() ? cells.at(column) : QString();
}

void omiListbox::setCell(int row, int column, const QString &text)
{
    if (!validRow(row) || column < 0)
        return;
    QStringList &cells = m_model->rowForUpdate(row).cells;
    while (cells.size() <= column)
        cells.append(QString());
    cells[column] = text;
    m_model->cellChanged(row, std::min(column, columnCount() - 1));
}

QVariant omiListbox::rowTag(int row) const
{
    return validRow(row) ? m_model->row(row).tag : QVariant();
}

void omiListbox::setRowTag(int row, const QVariant &tag)
{
    if (validRow(row))
        m_model->rowForUpdate(row).tag = tag;
}

QVariant omiListbox::cellTag(int row, int column) const
{
    if (!validRow(row))
        return {};
    const QList<QVariant> &tags = m_model->row(row).cellTags;
    return column >= 0 && column < tags.size() ? tags.at(column) : QVariant();
}

void omiListbox::setCellTag(int row, int column, const QVariant &tag)
{
    if (!validRow(row) || column < 0)
        return;
    QList<QVariant> &tags = m_model->rowForUpdate(row).cellTags;
    while (tags.size() <= column)
        tags.append(QVariant());
    tags[column] = tag;
}

bool omiListbox::isFolder(int row) const
{
    return validRow(row) && m_model->row(row).folder;
}

int omiListbox::rowDepth(int row) const
{
    return validRow(row) ? m_model->row(row).depth : 0;
}

bool omiListbox::expanded(int row) const
{
    return validRow(row) && m_model->row(row).expanded;
}

void omiListbox::setExpanded(int row, bool open)
{
    if (!isFolder(row) || expanded(row) == open)
        return;
    const int depth = m_model->row(row).depth;
    m_model->rowForUpdate(row).expanded = open;
    if (open) {
        // Children added by the handler go beneath the group, in the order added.
        const int savedAt = m_insertAt;
        const int savedDepth = m_insertDepth;
        m_insertAt = row + 1;
        m_insertDepth = depth + 1;
        Q_EMIT expandRow(row);
        m_insertAt = savedAt;
        m_insertDepth = savedDepth;
    } else {
        int count = 0;
        while (row + 1 + count < m_model->rowCount() && m_model->row(row + 1 + count).depth > depth)
            ++count;
        m_model->removeRowsAt(row + 1, count);
        Q_EMIT collapseRow(row);
    }
    m_model->cellChanged(row, 0);
}

int omiListbox::columnCount() const
{
    return m_model->columnCount();
}

void omiListbox::setColumnCount(int count)
{
    m_model->setColumns(count);
    // New columns take the widths given before, or share the room.
    setColumnWidths(m_columnWidths);
}

void omiListbox::setColumnWidths(const QString &widths)
{
    m_columnWidths = widths;
    const QStringList parts = widths.split(u',');
    QHeaderView *header = horizontalHeader();
    for (int column = 0; column < columnCount(); ++column) {
        const QString part = column < parts.size() ? parts.at(column).trimmed() : u"*"_s;
        bool isNumber = false;
        const int pixels = part.toInt(&isNumber);
        if (isNumber) {
            header->setSectionResizeMode(column, QHeaderView::Fixed);
            header->resizeSection(column, pixels);
        } else {
            header->setSectionResizeMode(column, QHeaderView::Stretch);
        }
    }
}

void omiListbox::AutoColumnWidth(int column)
{
    if (column < 0 || column >= columnCount())
        return;
    const QFontMetrics metrics(font());
    int widest = 0;
    for (int row = 0; row < rowCount(); ++row)
        widest = std::max(widest, metrics.horizontalAdvance(cell(row, column)));
    horizontalHeader()->setSectionResizeMode(column, QHeaderView::Fixed);
    horizontalHeader()->resizeSection(column, widest + 5);
}

void omiListbox::setDefaultRowHeight(int height)
{
    m_rowHeight = std::max(height, 1);
    verticalHeader()->setDefaultSectionSize(m_rowHeight);
}

bool omiListbox::isSelected(int row) const
{
    return validRow(row) && selectionModel()->isSelected(m_model->index(row, 0));
}

void omiListbox::setSelected(int row, bool selected)
{
    if (!validRow(row))
        return;
    selectionModel()->select(m_model->index(row, 0),
                             (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                 QItemSelectionModel::Rows);
}

QList<int> omiListbox::selectedRows() const
{
    QList<int> result;
    for (const QItemSelectionRange &range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            result.append(row);
    }
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}

int omiListbox::selCount() const
{
    return int(selectedRows().size());
}

int omiListbox::listIndex() const
{
    const QList<int> selected = selectedRows();
    return selected.isEmpty() ? -1 : selected.first();
}

void omiListbox::paintCell(QPainter &g, int row, int column, const QRect &cell) const
{
    g.save();
    g.translate(cell.topLeft());
    g.setClipRect(QRect(QPoint(0, 0), cell.size()));
    if (m_backgroundPaint)
        m_backgroundPaint(g, row, column, cell.size());
    if (m_textPaint) {
        m_textPaint(g, row, column, cell.size());
    } else if (row < rowCount()) {
        const QString text =
            g.fontMetrics().elidedText(this->cell(row, column), Qt::ElideRight, cell.width());
        g.drawText(QRect(QPoint(0, 0), cell.size()), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    g.restore();
}

void omiListbox::paintBlankRows(QPainter &g)
{
    if (!m_backgroundPaint)
        return;
    const int count = rowCount();
    int top = count == 0 ? 0 : rowViewportPosition(count - 1) + rowHeight(count - 1);
    int row = count;
    const int bottom = viewport()->height();
    while (top < bottom) {
        for (int column = 0; column < columnCount(); ++column) {
            const QRect cell(columnViewportPosition(column), top, columnWidth(column), m_rowHeight);
            paintCell(g, row, column, cell);
        }
        top += m_rowHeight;
        ++row;
    }
}

void omiListbox::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    QPainter g(viewport());
    paintBlankRows(g);
}

void omiListbox::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex hit = indexAt(event->position().toPoint());
    // Only the left button clicks a cell: a right click opens a menu and a
    // middle click does nothing, and neither may change a check box.
    if (event->button() == Qt::LeftButton && hit.isValid() && m_cellClick) {
        const QPoint inCell = event->position().toPoint() - visualRect(hit).topLeft();
        if (m_cellClick(hit.row(), hit.column(), inCell)) {
            event->accept();
            return;
        }
    }
    QTableView::mousePressEvent(event);
}

void omiListbox::mouseReleaseEvent(QMouseEvent *event)
{
    QTableView::mouseReleaseEvent(event);
    rows = selectedRows();
}

void omiListbox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    const QModelIndex hit = indexAt(event->position().toPoint());
    if (hit.isValid())
        Q_EMIT cellDoubleClick(hit.row(), hit.column());
}
