#pragma once

#include "controls/dragCanvas.h"

#include <QImage>
#include <QString>

// A flat drop panel: a tinted icon from the theme with an optional caption inside it. It
// turns green while files are dragged over its inner area and it accepts drops.
//
// Ink: #D7D6D3 when disabled, #72BFA1 while a drag is over an active panel, else #535456.
// The caption may hold "\n" (backslash, n) for line breaks; each line is centred.
class omiPanel final : public dragCanvas {
    Q_OBJECT
public:
    explicit omiPanel(QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    // Shown instead of the caption while a drag is over the enabled, active panel.
    QString DragCaption() const { return m_dragCaption; }
    void setDragCaption(const QString &caption);
    // Name of the icon in the theme folder "Theme".
    QString iconName() const { return m_iconName; }
    void setIconName(const QString &name);
    // The icon last loaded (null before the first paint or when the icon is missing).
    QImage buttonMask() const { return m_buttonMask; }
    int picWidth() const { return m_picWidth; }
    int picHeight() const { return m_picHeight; }
    void setPicSize(int width, int height);
    // Draw the caption inside the icon area and centre the icon vertically. Set by the
    // first paint when the caption is empty.
    bool innerCaption() const { return m_innerCaption; }
    void setInnerCaption(bool inner);
    bool showIcon() const { return m_showIcon; }
    void setShowIcon(bool show) { m_showIcon = show; }
    QString TextFont() const { return m_textFont; }
    void setTextFont(const QString &family);
    // Caption size in pixels, bold.
    int TextSize() const { return m_textSize; }
    void setTextSize(int size);
    bool checkedFontSize() const { return m_checkedFontSize; }
    // 1 while the panel takes drops; drags over an inactive panel do not turn it green.
    int IAmActive() const { return m_active; }
    void setIAmActive(int active);

    // The rectangle of the icon area: centred in the panel.
    QRect iconRect() const;
    // The ink colour the panel paints with in its present state.
    QColor inkColour() const;
    // The caption's lines as they are drawn now (drag caption while a drag is over an
    // active panel), with their boxes in panel coordinates.
    QList<QPair<QString, QRect>> captionLayout() const;

Q_SIGNALS:
    // A press strictly inside the icon rectangle; other presses are swallowed.
    void mouseDown(const QPoint &position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString shownCaption() const;
    QFont captionFont(int size) const;

    QString m_caption;
    QString m_dragCaption;
    QString m_iconName;
    QImage m_buttonMask;
    int m_picWidth = 0;
    int m_picHeight = 0;
    bool m_innerCaption = false;
    bool m_showIcon = true;
    QString m_textFont;
    int m_textSize = 12;
    bool m_checkedFontSize = false;
    int m_active = 1;
};
