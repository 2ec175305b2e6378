#pragma once

#include <QAbstractItemDelegate>

class omiListbox;

// Paints an omiListbox cell by handing it to the list's owner: no selection highlight,
// focus frame or background of its own.
class omiListDelegate final : public QAbstractItemDelegate {
    Q_OBJECT
public:
    explicit omiListDelegate(omiListbox *list);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    omiListbox *m_list;
};
