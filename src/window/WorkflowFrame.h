#pragma once

#include "window/DragItem.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class BusyWheel;
class omiButton;
class omiPanel;
class QLabel;
class QPushButton;
class QPropertyAnimation;

// The frame the download and upload windows share: a stage column on the
// left (three stage panels, a stage marker, a busy wheel and a drop panel),
// the window's list on the right, a main action button and a cancel button
// below it, all on the windows' background colour. Each window fills in its
// captions, its list and its states.
//
// Sizes follow the window: the list takes every extra pixel, the drop panel
// stays at the bottom of the column, the main button at the bottom right and
// the cancel button at the bottom.
//
// Keys that reach the frame are all taken: Return presses the main button
// and Escape the cancel button, each only while enabled.
class WorkflowFrame final : public QWidget {
    Q_OBJECT
public:
    static constexpr int MinimumWidth = 760;
    static constexpr int MinimumHeight = 470;
    static constexpr int StageCount = 3;

    explicit WorkflowFrame(QWidget *parent = nullptr);

    QWidget *stageColumn() const { return m_column; }
    // The stage panels, top to bottom: add files, choose results, get subtitles.
    omiPanel *stagePanel(int index) const;
    omiPanel *DropFilesCanvasSection() const { return stagePanel(0); }
    omiPanel *ShowResultsCanvas() const { return stagePanel(1); }
    omiPanel *GetSubsCanvas() const { return stagePanel(2); }
    BusyWheel *DropFilesProgress() const { return m_wheel; }
    omiPanel *DropFilesCanvas() const { return m_drop; }
    QWidget *SelectedActionStrip() const { return m_marker; }
    omiButton *mainButton() const { return m_main; }
    omiButton *CancelButton() const { return m_cancel; }

    // The window's list, placed right of the column above the buttons.
    void setList(QWidget *list);
    QWidget *list() const { return m_list; }

    // A line for the user between the two buttons: why a search failed, what
    // a run could not take in. Empty hides it; the whole text is also its
    // tooltip. A longer text wraps, and the notice grows upwards (the list
    // gives way) until all of it shows.
    void setNotice(const QString &text);
    QString notice() const;
    QLabel *noticeLabel() const { return m_notice; }
    // A button beside the notice that leads to the fix ("Enter API Key…");
    // an empty caption hides it. `action` runs when it is pressed.
    void setNoticeAction(const QString &caption, std::function<void()> action);
    QPushButton *noticeButton() const { return m_noticeButton; }

    // What to do, shown over the list while it is empty ("Drop videos or
    // folders here…"); an empty text hides it.
    void setEmptyHint(const QString &text);
    QLabel *emptyHintLabel() const { return m_emptyHint; }
    // The tooltips of the three stage panels, top to bottom.
    void setStageTips(const QStringList &tips);

    // The drop panel's captions ("\n" breaks lines).
    void setDropCaptions(const QString &caption, const QString &dragCaption);

    // Marks `index` as the current stage: its panel becomes active and
    // enabled, the others inactive, and the marker moves next to it in one
    // second (ease-in-out sine) without the caller waiting.
    void setStage(int index);
    int stage() const { return m_stage; }
    // Moves the marker only; nothing happens when it is there already.
    void moveStageMarker(int index);
    QPropertyAnimation *markerAnimation() const { return m_markerMove; }

    // Return or Escape as the window received it; false for other keys.
    bool pressKey(int key);

Q_SIGNALS:
    // The main button was pressed: clicked, Return, or push().
    void mainAction();
    // Files were dropped on the enabled drop panel.
    void filesDropped(const DragItem &item);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void layOut();

    QWidget *m_column;
    omiPanel *m_stages[StageCount];
    BusyWheel *m_wheel;
    omiPanel *m_drop;
    QWidget *m_marker;
    QPointer<QWidget> m_list;
    omiButton *m_main;
    omiButton *m_cancel;
    QLabel *m_notice;
    QPushButton *m_noticeButton;
    QLabel *m_emptyHint;
    std::function<void()> m_noticeAction;
    QPropertyAnimation *m_markerMove;
    int m_stage = 0;
};
