#include "preview/gui/PreviewProgressWidget.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

PreviewProgressWidget::PreviewProgressWidget(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_Hover);
}

void PreviewProgressWidget::setValue(int value)
{
    value = std::clamp(value, 0, std::max(m_maximum, 0));
    if (value == m_value)
        return;
    m_value = value;
    update();
}

void PreviewProgressWidget::setMaximum(int maximum)
{
    maximum = std::max(maximum, 0);
    if (maximum == m_maximum)
        return;
    m_maximum = maximum;
    m_value = std::min(m_value, m_maximum);
    update();
}

int PreviewProgressWidget::knobX(const QSize &size, int value, int maximum)
{
    const int room = std::max(size.width() - size.height(), 0);
    if (maximum <= 0)
        return 0;
    // In proportion, not in whole pixels per step: with steps rounded down the
    // knob stopped short of the end on a narrow window.
    return int(qint64(room) * std::clamp(value, 0, maximum) / maximum);
}

void PreviewProgressWidget::paintEvent(QPaintEvent *)
{
    QPainter g(this);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::NoPen);
    const int c = height();
    const int w = width();
    const int x = knobX(size(), m_value, m_maximum);
    const double barHeight = c / 3.0;
    const double barTop = (c - barHeight) / 2;

    g.setBrush(QColor(114, 191, 161));
    g.drawRoundedRect(QRectF(c / 2.0, barTop, x + c / 2.0, barHeight), 5, 5);
    g.setBrush(QColor(218, 219, 215));
    g.drawRoundedRect(QRectF(x + c / 2.0, barTop, std::max(w - (x + c / 2.0), 0.0), barHeight), 5, 5);

    const QColor knob(89, 97, 103);
    if (m_hovered) {
        g.setPen(QPen(knob, 1));
        g.setBrush(Qt::NoBrush);
        g.drawEllipse(QRectF(x - 1 + 0.5, -1 + 0.5, c + 1, c + 1));
        g.setPen(Qt::NoPen);
        g.setBrush(knob);
        g.drawEllipse(QRectF(x + 1, 1, c - 2, c - 2));
    } else {
        g.setBrush(knob);
        g.drawEllipse(QRectF(x, 0, c, c));
    }
}

void PreviewProgressWidget::enterEvent(QEnterEvent *)
{
    m_hovered = true;
    update();
}

void PreviewProgressWidget::leaveEvent(QEvent *)
{
    m_hovered = false;
    update();
}
