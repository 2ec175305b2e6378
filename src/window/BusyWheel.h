#pragma once

#include <QTimer>
#include <QWidget>

// A spinning wheel of twelve spokes that says "working" without a measure
// of progress. It turns only while it is visible.
class BusyWheel final : public QWidget {
    Q_OBJECT
public:
    explicit BusyWheel(QWidget *parent = nullptr);

    int step() const { return m_step; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QTimer m_timer;
    int m_step = 0;
};
