#pragma once

#include "upload/VerificationJob.h"
#include "window/MenuCommandTarget.h"
#include "window/WorkflowWindow.h"

#include <QElapsedTimer>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <memory>

class DocumentRouter;
class JobRecords;
class UploadList;
class WorkflowFrame;

// The upload window: subtitle files come in by drop, paste or the home
// window, each is paired with its video by name, the pairs are listed with a
// check mark, and the checked pairs are verified against the service: for
// each paired video and the subtitle's language, does the service already
// have subtitles for the video's hash?
//
// States (windowMode): "Idle", "adding", "listing", "listed", then
// "Hashing", "Readying", "Searching" while verifying, and "Searched" after a
// verification that reached the service, or "ErrorSearching" (or
// "RetrySearching" with the auto-retry preference) when it failed; from
// those two the main button verifies again, and the notice line says why
// the verification failed.
//
// The workflow is the window's VerificationJob, which owns the state, the
// records and the workers (the intake on the work queue, the verification
// on a thread of its own); the job makes every change of state and announces
// it, and the window redraws on it. The process timer (200 ms) takes in drops
// and the new records into the list, the refresh timer (100 ms) shows the state. Closing
// hides the window at once and cancels the job; the window goes once the
// workers have ended, without waiting for them.
class PutSubtitles final : public QWidget, public WorkflowWindow, public MenuCommandTarget {
    Q_OBJECT
public:
    static constexpr QLatin1StringView PlacementKey{"PutSubtitles"};

    explicit PutSubtitles(QWidget *parent = nullptr);
    ~PutSubtitles() override;

    // Lets the application make upload windows for drops on the home window.
    static void registerWith(DocumentRouter &router);

    WorkflowKind workflowKind() const override { return WorkflowKind::Upload; }
    QWidget *asWidget() override { return this; }
    void queueDrop(const DragItem &item) override;
    void AAA_BuildFileList(const QString &item) override;
    void AAA_BuildFileList(const QStringList &items) override;
    void setWindowMode(const QString &mode) override;
    // Until the verification starts, and not while closing.
    bool acceptsFiles() const override;
    QString windowMode() const;

    // "FileClose", "EditPaste"; "PreviewMenuItem" is not offered here.
    bool menuCommand(const QString &name) override;
    bool canHandleMenuCommand(const QString &name) const override;

    JobRecords &records() const { return m_job->records(); }
    std::shared_ptr<VerificationJob> job() const { return m_job; }
    WorkflowFrame *frame() const { return m_frame; }
    UploadList *list() const { return m_list; }
    bool verificationRunning() const;
    // What the last verification asked and what it found.
    QList<VerifyOutcome> outcomes() const;

    void setVisible(bool visible) override;

public Q_SLOTS:
    // The main action: verify the checked pairs (dropping the unchecked
    // rows first), or verify again after a failure.
    void doVerifySubs();
    void TimerProcess_Action();
    void TimerUIRefresh_Action();

    // Opens the preview window: the subtitle over its paired video, no
    // search result, the video's record. Null when the video is missing.
    QWidget *PlayPreview(const QString &subtitlePath, const QString &videoPath);

Q_SIGNALS:
    // A preview of a subtitle over its paired video was asked for (and opened).
    void previewRequested(const QString &subtitlePath, const QString &videoPath);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Open();
    void setUpdateUI(bool update);
    void processDropped();
    void processSubFiles();
    void startVerification();
    void listSearchResults();

    std::shared_ptr<VerificationJob> m_job;
    QStringList m_unpaired; // subtitles without a video, listed with the results
    WorkflowFrame *m_frame;
    UploadList *m_list;
    QTimer TimerProcess;
    QTimer TimerUIRefresh;

    // Main thread only.
    DropQueue m_drops;
    bool state0checkdropped = false;
    bool updateUI = false;
    bool closing = false;
    bool m_opened = false;
    bool m_failureShown = false;
    QElapsedTimer m_waitClock; // since the verification began asking the service
};
