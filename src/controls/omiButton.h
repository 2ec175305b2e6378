#pragma once

#include <QWidget>

// A flat push button with a rounded face, drawn by itself.
//
// Faces: default #72BFA1 (pressed #8ECCB4) with text #F1F0EB; ordinary #D7D7CF (pressed
// #DFDFD9) with text #6F7072; disabled #D7D7CF with text #EDECE6.
class omiButton final : public QWidget {
    Q_OBJECT
public:
    explicit omiButton(QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    // Styled as the window's default button.
    bool isDefault() const { return m_default; }
    void setDefault(bool isDefault);
    // Marks the cancel button (the owner decides what Escape does with it).
    bool cancel() const { return m_cancel; }
    void setCancel(bool cancel) { m_cancel = cancel; }
    bool rounded() const { return m_rounded; }
    void setRounded(bool rounded);
    QString TextFont() const { return m_textFont; }
    void setTextFont(const QString &family);
    // Label size in pixels, bold.
    int TextSize() const { return m_textSize; }
    void setTextSize(int size);
    bool checkedFontSize() const { return m_checkedFontSize; }
    // Pressed with the mouse still inside.
    bool clicking() const { return m_clicking; }
    bool mouseInside() const { return m_mouseInside; }

    // Raises `action` as if the button had been clicked.
    void push();

    // The polling form of the state update, for owners that watch the mouse on a timer:
    // inside when x >= 3, x < width - 4, 2 < y < height - 4 in local coordinates; outside
    // it also raises `MouseExit`. TimerUpdate() reads the cursor itself.
    void updateStateLocal(const QPoint &local, bool buttonDown);
    void TimerUpdate();

    QColor faceColour() const;
    QColor textColour() const;

Q_SIGNALS:
    // A completed click: pressed, and released with the mouse inside.
    void action();
    void MouseExit();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Inside when the mouse lies more than 2 pixels within the button on every side.
    void updateState(const QPoint &global, bool buttonDown);
    QFont labelFont(int size) const;

    QString m_caption;
    bool m_default = false;
    bool m_cancel = false;
    bool m_rounded = true;
    QString m_textFont;
    int m_textSize = 12;
    bool m_checkedFontSize = false;
    bool m_clicking = false;
    bool m_mouseInside = false;
};
