#include "preview/gui/CueScrollWidget.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

CueScrollWidget::CueScrollWidget(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CueScrollWidget::follow(QAbstractItemView *list)
{
    m_list = list;
    QScrollBar *bar = list->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this] { update(); });
    connect(bar, &QScrollBar::rangeChanged, this, [this] { update(); });
}

QRect CueScrollWidget::thumbRect(const QSize &track, int rows, int rowsInView, int position, int maximum)
{
    if (rows <= 0 || track.isEmpty())
        return {};
    const int height = track.height();
    const int wanted = int(double(height) / rows * std::clamp(rowsInView, 0, rows));
    const int thumbHeight = std::clamp(std::max(track.width(), wanted), 1, height);
    const int room = height - thumbHeight;
    const int top = maximum > 0 ? int(double(room) * std::clamp(position, 0, maximum) / maximum) : 0;
    return QRect(0, top, track.width(), thumbHeight);
}

QRect CueScrollWidget::thumb() const
{
    if (!m_list || !m_list->model())
        return {};
    const int rows = m_list->model()->rowCount();
    const QScrollBar *bar = m_list->verticalScrollBar();
    // Rows in view: the visible height over the whole height, in rows.
    const int total = bar->maximum() + bar->pageStep();
    const int inView = total > 0 ? int(double(rows) * bar->pageStep() / total + 0.5) : rows;
    return thumbRect(size(), rows, bar->maximum() > 0 ? inView : rows, bar->value(), bar->maximum());
}

void CueScrollWidget::paintEvent(QPaintEvent *)
{
    QPainter g(this);
    g.fillRect(rect(), QColor(215, 215, 207));
    const QRect t = thumb();
    if (t.isEmpty())
        return;
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(170, 172, 166));
    const double radius = t.width() / 2.0;
    g.drawRoundedRect(QRectF(t), radius, radius);
}
