#pragma once

#include <QWidget>

// The preview's progress bar: a thin rounded track, green up to the knob
// and grey after it, with a round knob that grows a ring while the mouse is
// over it. It shows how far playback has come; it does not seek.
class PreviewProgressWidget final : public QWidget {
    Q_OBJECT
public:
    explicit PreviewProgressWidget(QWidget *parent = nullptr);

    int value() const { return m_value; }
    int maximum() const { return m_maximum; }
    // A value outside 0..maximum is held at the nearer end.
    void setValue(int value);
    void setMaximum(int maximum);
    bool hovered() const { return m_hovered; }

    // The knob's left edge for a canvas of `size`: in proportion to the
    // value, the knob kept at the start when there is no maximum.
    static int knobX(const QSize &size, int value, int maximum);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    int m_value = 0;
    int m_maximum = 100;
    bool m_hovered = false;
};
