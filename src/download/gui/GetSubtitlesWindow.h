#pragma once

#include "download/DownloadJob.h"
#include "window/lumbraWindow.h"
#include "window/WorkflowWindow.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class DocumentRouter;
class DownloadList;
class DownloadListPainter;
class DownloadListRows;
class movieFile;
class omiListbox;
class openSubtitleItem;
class JobRecords;
class WorkflowFrame;

// The download window: videos come in (drops, pastes, opened documents), are
// taken in by the file intake in the background and listed, are searched on
// the service by the window's job, their results are shown for
// choosing, and the chosen subtitles are downloaded and placed beside them.
//
// `windowMode` holds the workflow state ("Idle", "adding", "listing",
// "listed", "Hashing", "Readying", "Searching", "SuccessSearching",
// "RetrySearching", "RetryingSearching", "WaitedSearching",
// "ErrorSearching", "Searched", "Predownloading", "Redownloading",
// "Downloading", "Downloaded", "NotDownloaded"; compared without regard to
// case). The job makes every change of state and announces it; the window
// redraws its controls on it. A process timer (200 ms) takes in drops, lists
// new records and results and starts the downloads, a refresh timer (100 ms)
// redraws the list, a countdown timer (1 s) counts down before a failed
// search is tried again.
//
// The workflow itself is the window's DownloadJob, which owns the state, the
// records and the workers (the search and the downloads each on a thread of
// their own, the intake on the work queue). The window drives it and shows
// it; controls are only touched on the main thread, by the timers. Closing
// hides the window at once and cancels the job; the window goes once the
// workers have ended, and never waits for them.
class GetSubtitlesWindow final : public lumbraWindow, public WorkflowWindow {
    Q_OBJECT
public:
    explicit GetSubtitlesWindow(QWidget *parent = nullptr);
    ~GetSubtitlesWindow() override;

    // Makes download windows for the application's documents, drops and pastes.
    static void registerWith(DocumentRouter &router);

    // At start-up: the downloads that waited for an earlier day's quota,
    // once it has renewed, offered again in a download window of their own
    // (searched at once; Download takes them, or the automatic-download
    // preference does). Null when nothing waits.
    static GetSubtitlesWindow *offerWaitingDownloads(DocumentRouter &router);

    // How the application quits when a download run asks it to (all
    // downloads placed with AutoQuit on, or "Download & Quit"); tests
    // replace it. Runs on the main thread.
    static void setQuitHandler(std::function<void()> handler);

    // WorkflowWindow
    WorkflowKind workflowKind() const override { return WorkflowKind::Download; }
    QWidget *asWidget() override { return this; }
    void queueDrop(const DragItem &item) override;
    void AAA_BuildFileList(const QString &item) override;
    void AAA_BuildFileList(const QStringList &items) override;
    void setWindowMode(const QString &mode) override;
    // Until the search starts, and not while closing.
    bool acceptsFiles() const override;

    // Menu commands: "EditPaste" (while files can still be added),
    // "EditSelectAll", "PreviewMenuItem" (the selected result over its
    // video, as the row's own menu item does), and those of the base window.
    bool menuCommand(const QString &name) override;
    bool canHandleMenuCommand(const QString &name) const override;

    QString windowMode() const;
    bool isWindowMode(QLatin1StringView mode) const;
    DownloadJob::State state() const { return m_job->state(); }

    JobRecords &records() const { return m_job->records(); }
    // The job the window drives; shared with its workers.
    std::shared_ptr<DownloadJob> job() const { return m_job; }
    WorkflowFrame *frame() const { return m_frame; }
    omiListbox *MainList() const { return m_mainList; }
    // The rows of the list and the records they show; actions on results
    // (context menu, keys, preview) reach them through this.
    DownloadList &list() const { return *m_list; }

    int Tcounter() const;
    bool state0checkdropped() const { return m_state0checkdropped; }
    bool gotDragged() const { return m_drops.gotDragged(); }
    int objsProcessed() const { return m_drops.processed(); }
    int pendingDrops() const { return m_drops.pending(); }
    int countDownTics() const { return m_countDownTics; }
    bool closing() const { return m_closing; }
    // The queue entries (a language group each, its chosen result first).
    QList<std::shared_ptr<movieFile>> queuedSubs() const;
    // Why the last search failed.
    QString searchFailure() const;

    bool searchRunning() const;
    bool downloadRunning() const;

    // The window's unsaved-changes mark, and whether closing asks first:
    // exactly when closing would drop ticked subtitles not downloaded yet,
    // or a download that runs or failed.
    bool documentEdited() const;

    // Asks for a redraw at the next refresh tick (the window's `updateUI`).
    void setUpdateUI();

    // The check operation of the results: toggles a result row's check
    // through its video and marks the window edited (for every row).
    void updateUIChecks(int row, int column);

public Q_SLOTS:
    // The main action: search, download, close or download again, by state.
    void doSearch();
    void TimerProcess_Action();
    void TimerUIRefresh_Action();
    void CountDownTimer_Action();

Q_SIGNALS:
    // The workflow state changed (on the main thread, also for changes a
    // worker made).
    void windowModeChanged(const QString &mode);
    // A right click on a row (-1 below the last), at a screen position.
    void rowContextMenuRequested(int row, const QPoint &globalPos);
    // The selection of the list changed.
    void listSelectionChanged();

protected:
    QString windowTitleText() const override;
    void Open() override;
    bool CancelClose() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void takeInDrops();
    // The one selected row that offers a preview, or -1.
    int previewRow() const;
    void queueSubsAndDownload();
    // The job's state changed (on the main thread).
    void jobStateChanged(DownloadJob::State state);
    // The desktop hears of the end of downloads: progress cleared, and a notification for an unattended run.
    void tellDesktopDownloadsEnded();
    bool isState(DownloadJob::State state) const { return m_job->isState(state); }
    void pressMain();
    void applyStateToControls();
    // What the notice line says in `mode` when no search failed: how long
    // the search has waited, how many downloads the service still allows,
    // or which files could not be listed; empty when nothing.
    QString noticeFor(const QString &mode) const;
    // The downloads the service still allows today, once it has said (REST).
    QString quotaNotice() const;
    // How many offered downloads waited for the quota, until they download.
    QString waitedNotice() const;

    // Declared first: the list and its painter reach the job's records.
    std::shared_ptr<DownloadJob> m_job;
    WorkflowFrame *m_frame;
    omiListbox *m_mainList;
    QWidget *m_listViewport = nullptr;
    DownloadList *m_list;
    std::unique_ptr<DownloadListPainter> m_painter;
    DownloadListRows *m_rows = nullptr;

    QTimer m_timerProcess;
    QTimer m_timerUIRefresh;
    QTimer m_countDownTimer;
    // Since the search began asking the service; counted in the countdown's
    // seconds, so a test's faster clock shows the same numbers.
    QElapsedTimer m_waitClock;

    // Main thread only.
    DropQueue m_drops;
    bool m_state0checkdropped = false;
    int m_countDownTics = 0;
    int m_retries = 0; // automatic retries since the last successful search
    bool m_queueBuilt = false;
    bool m_editedShown = false;
    QString m_extensionList;

    bool m_closing = false;
    bool m_updateUI = false;
    bool m_quitAfterDownload = false;
    bool m_offersWaiting = false; // takes no other files
};
