#include "controls/omiPanel.h"

#include "controls/Theme.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

using namespace Qt::Literals::StringLiterals;

namespace {
const QColor kBackground(0xF1, 0xF0, 0xEB);
const QColor kInkDisabled(0xD7, 0xD6, 0xD3);
const QColor kInkDragged(0x72, 0xBF, 0xA1);
const QColor kInkIdle(0x53, 0x54, 0x56);
constexpr int kCaptionInset = 3;
} // namespace

omiPanel::omiPanel(QWidget *parent)
    : dragCanvas(parent)
    , m_textFont(QApplication::font().family())
{
}

void omiPanel::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void omiPanel::setDragCaption(const QString &caption)
{
    m_dragCaption = caption;
    update();
}

void omiPanel::setIconName(const QString &name)
{
    m_iconName = name;
    update();
}

void omiPanel::setPicSize(int width, int height)
{
    m_picWidth = width;
    m_picHeight = height;
    update();
}

void omiPanel::setInnerCaption(bool inner)
{
    m_innerCaption = inner;
    update();
}

void omiPanel::setTextFont(const QString &family)
{
    m_textFont = family;
    update();
}

void omiPanel::setTextSize(int size)
{
    m_textSize = size;
    update();
}

void omiPanel::setIAmActive(int active)
{
    m_active = active;
    update();
}

QRect omiPanel::iconRect() const
{
    return {(width() - m_picWidth) / 2, (height() - m_picHeight) / 2, m_picWidth, m_picHeight};
}

QColor omiPanel::inkColour() const
{
    if (!isEnabled())
        return kInkDisabled;
    if (m_dragged && m_active > 0)
        return kInkDragged;
    return kInkIdle;
}

QString omiPanel::shownCaption() const
{
    const bool dropping = isEnabled() && m_dragged && m_active > 0;
    return dropping ? m_dragCaption : m_caption;
}

QFont omiPanel::captionFont(int size) const
{
    QFont font(m_textFont);
    font.setBold(true);
    font.setPixelSize(std::max(size, 1));
    return font;
}

QList<QPair<QString, QRect>> omiPanel::captionLayout() const
{
    QString text = shownCaption();
    text.replace("\\n"_L1, "\n"_L1);
    const QStringList lines = text.split(u'\n');
    const bool inner = m_innerCaption || m_caption.isEmpty();
    const int picTop = inner ? (height() - m_picHeight) / 2 : 0;
    const QRect area = QRect((width() - m_picWidth) / 2, picTop, m_picWidth, m_picHeight)
                           .adjusted(kCaptionInset, kCaptionInset, -kCaptionInset, -kCaptionInset);
    const int pitch = lines.size() == 1 ? m_textSize : m_textSize + 3;
    const int blockHeight = lines.size() == 1 ? m_textSize : pitch * int(lines.size());
    const int blockTop = area.top() + (area.height() - blockHeight) / 2;
    const QFontMetrics metrics(captionFont(m_textSize));
    QList<QPair<QString, QRect>> layout;
    for (int i = 0; i < lines.size(); ++i) {
        const int lineWidth = metrics.horizontalAdvance(lines.at(i));
        const QRect box(area.left() + (area.width() - lineWidth) / 2, blockTop + pitch * i, lineWidth, pitch);
        layout.append({lines.at(i), box});
    }
    return layout;
}

void omiPanel::paintEvent(QPaintEvent *)
{
    const QColor ink = inkColour();
    QPainter g(this);
    g.fillRect(rect(), kBackground);

    QImage picture(std::max(m_picWidth, 0), std::max(m_picHeight, 0), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    if (!m_iconName.isEmpty() && !picture.isNull()) {
        const QImage icon = Theme::getPic(m_iconName, u"Theme"_s);
        if (!icon.isNull()) {
            m_buttonMask = icon;
            Theme::IconAtColor(picture, icon, ink);
        }
    }
    if (m_caption.isEmpty())
        m_innerCaption = true;
    const int picLeft = (width() - m_picWidth) / 2;
    const int picTop = m_innerCaption ? (height() - m_picHeight) / 2 : 0;
    if (!picture.isNull())
        g.drawImage(picLeft, picTop, picture);

    if (m_caption.isEmpty() || !m_innerCaption)
        return;
    g.setRenderHint(QPainter::TextAntialiasing);
    g.setPen(ink);
    const auto layout = captionLayout();
    for (int i = 0; i < layout.size(); ++i) {
        const auto &[line, box] = layout.at(i);
        g.setFont(captionFont(m_textSize));
        if (i == 0 && !m_checkedFontSize) {
            // Fit the first line into its box once; a font that runs wider than its
            // metrics promise then still stays inside the icon.
            Theme::FindFontSize(g, line, box.width(), box.height());
            m_checkedFontSize = true;
        }
        const QFontMetrics metrics = g.fontMetrics();
        const int baseline = box.top() + (box.height() - metrics.height()) / 2 + metrics.ascent();
        g.drawText(box.left() + (box.width() - metrics.horizontalAdvance(line)) / 2, baseline, line);
    }
}

void omiPanel::mousePressEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    const QRect icon = iconRect();
    const bool inside = point.x() > icon.left() && point.x() < icon.left() + icon.width() &&
                        point.y() > icon.top() && point.y() < icon.top() + icon.height();
    event->accept();
    if (inside)
        Q_EMIT mouseDown(point);
}
