#pragma once

#include <QWidget>

// A flat progress bar with a centred caption: a rounded fill of width × value / maximum
// (#BDCEEB; nothing while disabled), the caption white over the fill and in the fill
// colour (#A6A6A6 when disabled) over the rest.
class omiProgress final : public QWidget {
    Q_OBJECT
public:
    explicit omiProgress(QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    int maximum() const { return m_maximum; }
    void setMaximum(int maximum);
    int value() const { return m_value; }
    void setValue(int value);

    // The filled width in pixels; 0 while disabled or with no maximum.
    int filledWidth() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_caption;
    int m_maximum = 100;
    int m_value = 0;
};
