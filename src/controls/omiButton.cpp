#include "controls/omiButton.h"

#include "controls/Theme.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {
const QColor kBackground(0xF1, 0xF0, 0xEB);
const QColor kTextDisabled(0xED, 0xEC, 0xE6);
const QColor kFaceDisabled(0xD7, 0xD7, 0xCF);
const QColor kTextDefault(0xF1, 0xF0, 0xEB);
const QColor kFaceDefault(0x72, 0xBF, 0xA1);
const QColor kFaceDefaultPressed(0x8E, 0xCC, 0xB4);
const QColor kTextOrdinary(0x6F, 0x70, 0x72);
const QColor kFaceOrdinary(0xD7, 0xD7, 0xCF);
const QColor kFaceOrdinaryPressed(0xDF, 0xDF, 0xD9);
constexpr qreal kCornerRadius = 10;
} // namespace

omiButton::omiButton(QWidget *parent)
    : QWidget(parent)
    , m_textFont(QApplication::font().family())
{
    setMouseTracking(true);
}

void omiButton::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void omiButton::setDefault(bool isDefault)
{
    m_default = isDefault;
    update();
}

void omiButton::setRounded(bool rounded)
{
    m_rounded = rounded;
    update();
}

void omiButton::setTextFont(const QString &family)
{
    m_textFont = family;
    update();
}

void omiButton::setTextSize(int size)
{
    m_textSize = size;
    update();
}

void omiButton::push()
{
    Q_EMIT action();
}

void omiButton::updateState(const QPoint &global, bool buttonDown)
{
    if (!isEnabled())
        return;
    const QPoint topLeft = mapToGlobal(QPoint(0, 0));
    const bool inside = global.x() - topLeft.x() > 2 && topLeft.x() + width() - global.x() > 2 &&
                        global.y() - topLeft.y() > 2 && topLeft.y() + height() - global.y() > 2;
    m_mouseInside = inside;
    m_clicking = inside && buttonDown;
}

void omiButton::updateStateLocal(const QPoint &local, bool buttonDown)
{
    if (!isEnabled())
        return;
    const bool inside =
        local.x() >= 3 && local.x() < width() - 4 && local.y() > 2 && local.y() < height() - 4;
    m_mouseInside = inside;
    m_clicking = inside && buttonDown;
    update();
    if (!inside)
        Q_EMIT MouseExit();
}

void omiButton::TimerUpdate()
{
    updateStateLocal(mapFromGlobal(QCursor::pos()), QApplication::mouseButtons() & Qt::LeftButton);
}

void omiButton::mousePressEvent(QMouseEvent *event)
{
    updateState(event->globalPosition().toPoint(), true);
    m_clicking = true;
    update();
    event->accept(); // the button keeps the mouse until release
}

void omiButton::mouseMoveEvent(QMouseEvent *event)
{
    updateState(event->globalPosition().toPoint(), event->buttons() & Qt::LeftButton);
    update();
}

void omiButton::mouseReleaseEvent(QMouseEvent *event)
{
    updateState(event->globalPosition().toPoint(), event->buttons() & Qt::LeftButton);
    const bool completed = m_mouseInside;
    m_clicking = false;
    update();
    if (completed)
        Q_EMIT action();
}

void omiButton::enterEvent(QEnterEvent *event)
{
    updateState(event->globalPosition().toPoint(), QApplication::mouseButtons() & Qt::LeftButton);
    update();
}

void omiButton::leaveEvent(QEvent *)
{
    if (isEnabled()) {
        m_mouseInside = false;
        m_clicking = false;
    }
    update();
    Q_EMIT MouseExit();
}

void omiButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        m_mouseInside = false;
        m_clicking = false;
    }
    QWidget::changeEvent(event);
}

QColor omiButton::faceColour() const
{
    if (!isEnabled())
        return kFaceDisabled;
    if (m_default)
        return m_clicking ? kFaceDefaultPressed : kFaceDefault;
    return m_clicking ? kFaceOrdinaryPressed : kFaceOrdinary;
}

QColor omiButton::textColour() const
{
    if (!isEnabled())
        return kTextDisabled;
    return m_default ? kTextDefault : kTextOrdinary;
}

QFont omiButton::labelFont(int size) const
{
    QFont font(m_textFont);
    font.setBold(true);
    font.setPixelSize(std::max(size, 1));
    return font;
}

void omiButton::paintEvent(QPaintEvent *)
{
    QPainter g(this);
    g.fillRect(rect(), kBackground);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::NoPen);
    g.setBrush(faceColour());
    if (m_rounded)
        g.drawRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    else
        g.drawRect(rect());

    if (m_caption.isEmpty())
        return;
    g.setFont(labelFont(m_textSize));
    const QFontMetricsF measured(g.font());
    const int boxWidth = int(std::ceil(measured.horizontalAdvance(m_caption)));
    const int textHeight = int(std::ceil(measured.height()));
    const int x = (width() - boxWidth) / 2;
    const int y = (height() - textHeight) / 2 + 2;
    if (!m_checkedFontSize) {
        Theme::FindFontSize(g, m_caption, boxWidth, textHeight);
        m_checkedFontSize = true;
    }
    g.setPen(textColour());
    const QFontMetrics metrics = g.fontMetrics();
    g.drawText(x + (boxWidth - metrics.horizontalAdvance(m_caption)) / 2,
               y + QFontMetrics(labelFont(m_textSize)).ascent(), m_caption);
}
