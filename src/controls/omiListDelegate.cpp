#include "controls/omiListDelegate.h"

#include "controls/omiListbox.h"

omiListDelegate::omiListDelegate(omiListbox *list)
    : QAbstractItemDelegate(list)
    , m_list(list)
{
}

void omiListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const
{
    m_list->paintCell(*painter, index.row(), index.column(), option.rect);
}

QSize omiListDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return {0, m_list->defaultRowHeight()};
}
