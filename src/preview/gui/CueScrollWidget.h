#pragma once

#include <QWidget>

class QAbstractItemView;

// The slim scroll indicator beside the cue list: a light track with a
// rounded thumb sized by the share of the rows in view and placed by the
// list's scroll position. It follows the list and takes no input.
class CueScrollWidget final : public QWidget {
    Q_OBJECT
public:
    explicit CueScrollWidget(QWidget *parent = nullptr);

    // Follows `list` from now on.
    void follow(QAbstractItemView *list);

    // The thumb for a track of `track` size: as wide as the track; as high
    // as the rows in view are of all rows, at least as high as it is wide;
    // moved from the top to the bottom of the track as the scroll position
    // goes from 0 to its maximum. Empty when there are no rows.
    static QRect thumbRect(const QSize &track, int rows, int rowsInView, int position, int maximum);

    QRect thumb() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QAbstractItemView *m_list = nullptr;
};
