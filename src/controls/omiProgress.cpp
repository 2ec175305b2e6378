#include "controls/omiProgress.h"

#include <QPainter>

using namespace Qt::Literals::StringLiterals;

namespace {
const QColor kBackground(0xF1, 0xF0, 0xEB);
const QColor kFill(0xBD, 0xCE, 0xEB);
const QColor kFillDisabled(0xA6, 0xA6, 0xA6);
constexpr int kLead = 10;
constexpr qreal kCornerRadius = 10;
} // namespace

omiProgress::omiProgress(QWidget *parent)
    : QWidget(parent)
{
}

void omiProgress::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void omiProgress::setMaximum(int maximum)
{
    m_maximum = maximum;
    update();
}

void omiProgress::setValue(int value)
{
    m_value = value;
    update();
}

int omiProgress::filledWidth() const
{
    // A maximum of 0 (nothing to do yet) shows an empty bar rather than dividing by zero.
    if (!isEnabled() || m_maximum <= 0)
        return 0;
    const qint64 filled = qint64(width()) * std::clamp(m_value, 0, m_maximum) / m_maximum;
    return int(filled);
}

void omiProgress::paintEvent(QPaintEvent *)
{
    const QColor fill = isEnabled() ? kFill : kFillDisabled;
    const int filled = filledWidth();
    QPainter g(this);
    g.fillRect(rect(), kBackground);
    g.setRenderHint(QPainter::Antialiasing);
    const QRect bar(0, 0, filled + kLead, height());
    g.setPen(Qt::NoPen);
    g.setBrush(fill);
    if (filled > 0)
        g.drawRoundedRect(QRectF(bar), kCornerRadius, kCornerRadius);

    if (m_caption.isEmpty())
        return;
    QFont font(u"Lucida Grande"_s);
    font.setBold(true);
    font.setPixelSize(12);
    g.setFont(font);
    // White where the caption crosses the fill, the fill colour elsewhere.
    g.save();
    g.setClipRect(bar.intersected(rect()));
    g.setPen(Qt::white);
    g.drawText(rect(), Qt::AlignCenter, m_caption);
    g.restore();
    g.setClipRegion(QRegion(rect()).subtracted(filled > 0 ? bar : QRect()));
    g.setPen(fill);
    g.drawText(rect(), Qt::AlignCenter, m_caption);
}
