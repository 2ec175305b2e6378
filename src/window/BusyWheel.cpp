#include "window/BusyWheel.h"

#include <QPainter>
#include <QtMath>

namespace {
constexpr int Spokes = 12;
}

BusyWheel::BusyWheel(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer.setInterval(1000 / Spokes);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % Spokes;
        update();
    });
}

void BusyWheel::showEvent(QShowEvent *event)
{
    m_timer.start();
    QWidget::showEvent(event);
}

void BusyWheel::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void BusyWheel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    const qreal inner = side * 0.22;
    const qreal outer = side * 0.46;
    QPen pen(QColor(83, 84, 86));
    pen.setWidthF(qMax(1.5, side / 11.0));
    pen.setCapStyle(Qt::RoundCap);
    for (int i = 0; i < Spokes; ++i) {
        // The spoke at the current step is darkest; those behind it fade.
        const int age = (m_step - i + Spokes) % Spokes;
        QColor colour = pen.color();
        colour.setAlphaF(1.0 - 0.75 * age / (Spokes - 1));
        pen.setColor(colour);
        painter.setPen(pen);
        const qreal angle = qDegreesToRadians(360.0 * i / Spokes - 90.0);
        painter.drawLine(QPointF(inner * qCos(angle), inner * qSin(angle)),
                         QPointF(outer * qCos(angle), outer * qSin(angle)));
    }
}
