#pragma once

#include "app/lumbraWindow.h"
#include "app/WorkflowWindow.h"
#include "service/DownloadQueue.h"

#include <QList>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class ClientIntake;
class DocumentRouter;
class DownloadList;
class DownloadListPainter;
class movieFile;
class omiListbox;
class openSubtitleItem;
class OSClient;
class QThread;
class WorkflowFrame;

// The download window: videos come in (drops, pastes, opened documents), are
// taken in by the file intake in the background and listed, are searched on
// the service by the window's own client, their results are shown for
// choosing, and the chosen subtitles are downloaded and placed beside them.
//
// `windowMode` holds the workflow state ("Idle", "adding", "listing",
// "listed", "Hashing", "Readying", "Searching", "SuccessSearching",
// "RetrySearching", "RetryingSearching", "WaitedSearching",
// "ErrorSearching", "Searched", "Predownloading", "Redownloading",
// "Downloading", "Downloaded", "NotDownloaded"; compared without regard to
// case). A process timer (200 ms) moves the window from state to state, a
// refresh timer (100 ms) shows the state, a countdown timer (1 s) counts
// down before a failed search is tried again.
//
// Threads: the search and the downloads each run on a worker thread of
// their own (one of each at a time); the file intake runs on the work queue.
// The window's state, its lists and its client's records are guarded by the
// client's state lock. Workers change the state under it and ask for a
// refresh; controls are only touched on the main thread, by the timers.
// Closing tells the workers to stop and lets the window go once they have.
class GetSubtitlesWindow final : public lumbraWindow, public WorkflowWindow {
    Q_OBJECT
public:
    explicit GetSubtitlesWindow(QWidget *parent = nullptr);
    ~GetSubtitlesWindow() override;

    // Makes download windows for the application's documents, drops and pastes.
    static void registerWith(DocumentRouter &router);

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

    // Menu commands: "EditPaste" (while files can still be added),
    // "EditSelectAll", "PreviewMenuItem" (handled, no effect), and those of
    // the base window.
    bool menuCommand(const QString &name) override;
    // The Preview item stays disabled here: previews are reached from the
    // list's rows.
    bool canHandleMenuCommand(const QString &name) const override;

    QString windowMode() const;
    bool isWindowMode(QLatin1StringView mode) const;

    OSClient &client() const { return *m_client; }
    WorkflowFrame *frame() const { return m_frame; }
    omiListbox *MainList() const { return m_mainList; }
    // The rows of the list and the records they show; actions on results
    // (context menu, keys, preview) reach them through this.
    DownloadList &list() const { return *m_list; }

    int Tcounter() const;
    bool state0checkdropped() const { return m_state0checkdropped; }
    bool gotDragged() const { return m_gotDragged; }
    int objsProcessed() const { return m_objsProcessed; }
    int pendingDrops() const { return int(m_dropobjs.size()); }
    int countDownTics() const { return m_countDownTics; }
    bool closing() const { return m_closing; }
    // The queue entries (a language group each, its chosen result first).
    QList<std::shared_ptr<movieFile>> queuedSubs() const;
    // The failure of the last search, as the client's journal tells it.
    QString searchFailure() const;

    bool searchRunning() const;
    bool downloadRunning() const;

    // The window's unsaved-changes mark: subtitles checked for download, or
    // a download running or failed.
    bool documentEdited() const { return m_edited; }
    void setDocumentEdited(bool edited);

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
    void queueSubsAndDownload();
    void startSearchThread();
    void startDownloadThread();
    // Worker routines.
    void SearchSubs();
    void GetSubs();
    // State changes from any thread: under the lock, then the refresh flag
    // and the change signal on the main thread.
    void changeMode(const QString &mode);
    bool threadsBusy() const;
    void pressMain();
    void applyStateToControls();
    // What the notice line says in `mode`: why the search failed, or which
    // files could not be listed; empty when nothing.
    QString noticeFor(const QString &mode) const;

    OSClient *m_client; // a child of the window, as its parent window
    std::shared_ptr<ClientIntake> m_intake;
    WorkflowFrame *m_frame;
    omiListbox *m_mainList;
    QWidget *m_listViewport = nullptr;
    DownloadList *m_list;
    std::unique_ptr<DownloadListPainter> m_painter;

    QTimer m_timerProcess;
    QTimer m_timerUIRefresh;
    QTimer m_countDownTimer;
    QThread *m_searchThread = nullptr;
    QThread *m_downloadThread = nullptr;

    // Guarded by the client's state lock.
    QString m_windowMode;
    QString m_searchFailure;
    DownloadQueue m_queuedSubs; // built on the main thread, run by the download thread

    // Main thread only.
    QList<DragItem> m_dropobjs;
    bool m_state0checkdropped = false;
    bool m_gotDragged = false;
    int m_objsProcessed = 0;
    int m_countDownTics = 0;
    int m_retries = 0; // automatic retries since the last successful search
    bool m_queueBuilt = false;
    bool m_editedShown = false;
    QString m_extensionList;

    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_updateUI{false};
    std::atomic<bool> m_edited{false};
    std::atomic<bool> m_quitAfterDownload{false};
};
