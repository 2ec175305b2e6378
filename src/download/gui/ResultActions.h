#pragma once

#include "download/gui/ResultRows.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class PreviewWindow;
class QMenu;
class TimingProbe;
class openSubtitleItem;
struct TimingMeasurement;
class QWidget;
class omiListbox;

// What the user does with single rows of the download window's list besides
// checking them: the context menu (reveal the video, filter a video's
// results by one of the movies the service matched, search outside subtitle
// sites for the video's name, open a subtitle's web page, preview a
// subtitle over its video), the list's keys and double clicks.
//
// Works on the rows through ResultRows; runs on the main thread. Every
// menu item carries a tag and the action is chosen by the tag. The actions
// live and die with the window whose lock ResultRows hands out: previews
// they opened stop taking that lock when they go.
class ResultActions final : public QObject {
    Q_OBJECT
public:
    // One item of the context menu.
    struct MenuEntry {
        QString text;
        QString tag;
        bool enabled = true;
        bool separatorAfter = false;
        QList<MenuEntry> submenu;
    };

    explicit ResultActions(ResultRows &rows, QObject *parent = nullptr);

    // Context menu requests, keys and double clicks of `list` come here from
    // now on (the list's context menu policy is replaced).
    void attach(omiListbox *list);
    // Only the keys pressed in `list`, for a window that routes the context
    // menu and the double clicks itself.
    void handleKeysOf(omiListbox *list);

    // The context menu of a row; empty for queue rows and rows that show no
    // record.
    QList<MenuEntry> menuFor(int row) const;
    // The menu as a QMenu; each action's data is its tag.
    QMenu *buildMenu(int row, QWidget *parent) const;
    // Shows the row's menu at a screen position and carries out the choice.
    void showMenu(int row, const QPoint &globalPos);

    // Carries out the menu item `tag` on a row.
    void act(int row, const QString &tag);

    // A key pressed while the list has the focus; true when it was handled
    // (and so must not reach the list or the window).
    bool keyPressed(int key, const QString &text);

    // A double click on a row opens or closes a group.
    void doubleClicked(int row);

    // The address of an outside site's search for a video name: 1
    // Addic7ed, 2 SubScene, 3 SubtitleSeeker; empty for another number.
    static QString externalSearchUrl(int site, const QString &videoName);
    // The web page of a movie by its IMDB number; empty for 0.
    static QString moviePageUrl(int imdbId);

Q_SIGNALS:
    // A preview window opened from this list.
    void previewOpened(PreviewWindow *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void closeGroupsOf(const QList<int> &selected);
    void openGroups(const QList<int> &selected);
    void selectGroups(const QList<std::shared_ptr<movieFile>> &records);
    // A placed or local subtitle that "Check Timing" measures, and its video.
    struct TimingTarget {
        QString video;
        QString subtitle;
        std::shared_ptr<openSubtitleItem> result; // the row's result, when it is one
        bool valid() const { return !video.isEmpty() && !subtitle.isEmpty(); }
    };
    TimingTarget timingTargetOf(int row) const;
    void checkTiming(int row);
    void offerTimingFix(const TimingMeasurement &measurement);
    void fixTiming(const TimingTarget &target, const TimingMeasurement &measurement);
    void showTimingBox(const QString &text);

    void previewResult(int row);
    void previewLocal(int row, const QString &language);
    void previewIdle(int row);
    void watch(PreviewWindow *window);
    void reopen(int row);

    ResultRows &m_rows;
    // A plain widget pointer: the filter also sees the list while it is
    // being destroyed, when it is no longer an omiListbox.
    QPointer<QWidget> m_list;
    // The "Check Timing" under way: one at a time, cancelled with the window.
    TimingProbe *m_timingProbe = nullptr;
    TimingTarget m_timingTarget;
};
