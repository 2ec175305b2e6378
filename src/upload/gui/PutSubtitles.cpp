#include "upload/gui/PutSubtitles.h"

#include "common/Ticks.h"
#include "common/translationStrings.h"
#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "controls/omiPanel.h"
#include "media/subtitleFile.h"
#include "platform/Platform.h"
#include "prefs/myPrefs.h"
#include "preview/gui/PreviewWindow.h"
#include "service/JobRecords.h"
#include "upload/gui/UploadList.h"
#include "window/BusyWheel.h"
#include "window/DocumentRouter.h"
#include "window/MainMenubar.h"
#include "window/ServiceNotice.h"
#include "window/WindowHost.h"
#include "window/WindowPlacement.h"
#include "window/WorkflowFrame.h"

#include <QCloseEvent>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcUpload, "lumbra.upload")

using State = VerificationJob::State;

void setPanel(omiPanel *panel, bool on)
{
    panel->setIAmActive(on ? 1 : 0);
    panel->setEnabled(on);
}
} // namespace

PutSubtitles::PutSubtitles(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_job(VerificationJob::create())
    , m_frame(new WorkflowFrame(this))
    , m_list(new UploadList(m_job->records().session(), m_frame))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(u"PutSubtitles"_s);
    connect(m_job.get(), &VerificationJob::stateChanged, this, [this](VerificationJob::State state) {
        if (state == VerificationJob::State::Searching)
            m_waitClock.start();
        setUpdateUI(true);
    });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_frame);
    m_frame->setList(m_list->view());
    m_frame->DropFilesCanvasSection()->setIconName(u"iconobajar"_s);
    m_frame->GetSubsCanvas()->setIconName(u"iconosubir"_s);
    m_frame->setDropCaptions(translationStrings::DragSubsHere(), translationStrings::DragSubsHereDrag());

    connect(m_frame, &WorkflowFrame::mainAction, this, &PutSubtitles::doVerifySubs);
    connect(m_frame, &WorkflowFrame::filesDropped, this, &PutSubtitles::queueDrop);
    connect(m_list, &UploadList::filesDropped, this, [this](const DragItem &item) {
        if (m_frame->DropFilesCanvas()->isEnabled())
            queueDrop(item);
    });
    connect(m_list, &UploadList::changed, this, [this] { setUpdateUI(true); });
    connect(m_list, &UploadList::previewRequested, this,
            [this](const QString &subtitle, const QString &video) {
                PlayPreview(subtitle, video);
                Q_EMIT previewRequested(subtitle, video);
            });

    TimerProcess.setInterval(Ticks::scaled(Ticks::Process));
    connect(&TimerProcess, &QTimer::timeout, this, &PutSubtitles::TimerProcess_Action);
    TimerProcess.start();
    TimerUIRefresh.setInterval(Ticks::scaled(Ticks::Refresh));
    connect(&TimerUIRefresh, &QTimer::timeout, this, &PutSubtitles::TimerUIRefresh_Action);

    // The application's menu bar, as in every other window.
    if (WindowHost *app = WindowHost::instance())
        app->menubar().attach(this);
}

PutSubtitles::~PutSubtitles()
{
    // The worker holds the job itself: stop it and let go.
    m_job->cancel();
}

void PutSubtitles::registerWith(DocumentRouter &router)
{
    router.setCreator(WorkflowKind::Upload, [] { return new PutSubtitles(); });
}

void PutSubtitles::setVisible(bool visible)
{
    if (!visible || m_opened) {
        QWidget::setVisible(visible);
        return;
    }
    m_opened = true;
    WindowPlacement::placeVariantB(this, PlacementKey, translationStrings::PutSubtitlesWindowTitle());
    QWidget::setVisible(true);
    Open();
}

void PutSubtitles::Open()
{
    closing = false;
    m_frame->mainButton()->setCaption(translationStrings::VerifySubsButtonTitle());
    setUpdateUI(true);
    m_list->view()->setFocus();
}

QString PutSubtitles::windowMode() const
{
    return VerificationJob::stateName(m_job->state());
}

void PutSubtitles::setWindowMode(const QString &mode)
{
    if (const auto state = VerificationJob::stateNamed(mode))
        m_job->setState(*state);
    else
        qCWarning(lcUpload) << "no such state:" << mode;
}

bool PutSubtitles::acceptsFiles() const
{
    if (closing || !m_frame->DropFilesCanvas()->isEnabled())
        return false;
    const State state = m_job->state();
    return state == State::Idle || state == State::Adding || state == State::Listing ||
           state == State::Listed;
}

void PutSubtitles::setUpdateUI(bool update)
{
    if (closing)
        return;
    updateUI = update;
    if (update && !TimerUIRefresh.isActive())
        TimerUIRefresh.start();
}

bool PutSubtitles::verificationRunning() const
{
    return m_job->verificationRunning();
}

QList<VerifyOutcome> PutSubtitles::outcomes() const
{
    return m_job->outcomes();
}

// --- Intake -------------------------------------------------------------------

void PutSubtitles::queueDrop(const DragItem &item)
{
    m_drops.add(item);
}

void PutSubtitles::processDropped()
{
    m_drops.takeIn([this](const QStringList &paths) { AAA_BuildFileList(paths); });
}

void PutSubtitles::AAA_BuildFileList(const QStringList &items)
{
    for (const QString &item : items)
        AAA_BuildFileList(item);
}

void PutSubtitles::AAA_BuildFileList(const QString &item)
{
    // The application hands files only to a window that takes them; items
    // that cannot be read are passed over without a word.
    if (!acceptsFiles())
        return;
    if (m_job->addPath(item)) {
        state0checkdropped = true;
        setUpdateUI(true);
    }
}

void PutSubtitles::processSubFiles()
{
    if (!state0checkdropped)
        return;
    // The job moves on to "listing" and "listed" as it hands them over.
    const auto fresh = m_job->takeNewSubtitles();
    if (!fresh.isEmpty())
        m_list->listSubtitleFiles(fresh);
}

bool PutSubtitles::menuCommand(const QString &name)
{
    if (name.compare("FileClose"_L1, Qt::CaseInsensitive) == 0) {
        close();
        return true;
    }
    if (name.compare("EditPaste"_L1, Qt::CaseInsensitive) == 0) {
        if (m_frame->DropFilesCanvas()->isEnabled()) {
            const QStringList files = platform().clipboardFiles();
            if (!files.isEmpty())
                queueDrop(DragItem{files});
        }
        return true;
    }
    // The preview command acts on download rows only.
    return name.compare("PreviewMenuItem"_L1, Qt::CaseInsensitive) == 0;
}

bool PutSubtitles::canHandleMenuCommand(const QString &name) const
{
    if (name.compare("FileClose"_L1, Qt::CaseInsensitive) == 0)
        return true;
    if (name.compare("EditPaste"_L1, Qt::CaseInsensitive) == 0)
        return m_frame->DropFilesCanvas()->isEnabled();
    return false;
}

QWidget *PutSubtitles::PlayPreview(const QString &subtitlePath, const QString &videoPath)
{
    PreviewWindow::Request request;
    request.video = videoPath;
    request.subtitle = subtitlePath;
    request.title = QFileInfo(subtitlePath).fileName();
    request.opener = PreviewWindow::Opener::Upload;
    // The preview may outlive this window; it takes the lock while the job lives.
    request.session = records().session();
    {
        const QMutexLocker guard(&records().stateLock());
        for (const auto &sub : std::as_const(records().subfiles)) {
            if (sub->path() == subtitlePath && sub->hasMovie)
                request.movie = sub->thisMovie();
        }
    }
    PreviewWindow *preview = PreviewWindow::open(request);
    if (preview)
        preview->closeWith(this);
    return preview;
}

// --- Timers -------------------------------------------------------------------

void PutSubtitles::TimerProcess_Action()
{
    try {
        if (m_frame->DropFilesCanvas()->isEnabled()) {
            processDropped();
            processSubFiles();
        }
        const State mode = m_job->state();
        if (mode == State::SuccessSearching) {
            m_frame->moveStageMarker(1);
            listSearchResults();
            m_job->resultsListed();
        } else if (VerificationJob::isFailed(mode) && !m_failureShown) {
            // Each pair shows why it was not verified.
            m_failureShown = true;
            listSearchResults();
            setUpdateUI(true);
        }
    } catch (const std::exception &error) {
        qCWarning(lcUpload) << "process tick:" << error.what();
    }
}

void PutSubtitles::TimerUIRefresh_Action()
{
    const State mode = m_job->state();
    const bool busy = VerificationJob::isBusy(mode);
    BusyWheel *wheel = m_frame->DropFilesProgress();
    if (wheel->isVisible() != busy)
        wheel->setVisible(busy);

    omiButton *button = m_frame->mainButton();
    // Files listed but not verified yet: the same caption as before the drop,
    // whether or not a refresh came while the window was still empty. The
    // button verifies (nothing is uploaded from here yet), and says so.
    if (mode == State::Listed)
        button->setCaption(translationStrings::VerifySubsButtonTitle());
    if (mode == State::Idle) {
        button->setCaption(translationStrings::VerifySubsButtonTitle());
        setPanel(m_frame->DropFilesCanvas(), true);
        setPanel(m_frame->DropFilesCanvasSection(), true);
        setPanel(m_frame->ShowResultsCanvas(), false);
        setPanel(m_frame->GetSubsCanvas(), false);
    } else if (mode == State::Hashing || mode == State::Readying || mode == State::Searching) {
        button->setCaption(translationStrings::VerifyingSubs());
    } else if (mode == State::Searched) {
        button->setCaption(translationStrings::ConfirmSubMetadataButtonTitle());
        m_frame->DropFilesCanvas()->setIAmActive(0);
        m_frame->DropFilesCanvas()->hide();
        setPanel(m_frame->DropFilesCanvasSection(), false);
        setPanel(m_frame->ShowResultsCanvas(), true);
        setPanel(m_frame->GetSubsCanvas(), false);
    } else if (VerificationJob::isFailed(mode)) {
        button->setCaption(translationStrings::VerifySubsButtonTitle());
    }
    // Why the verification failed, in the download window's words; gone once
    // a new one starts.
    ServiceNotice::show(*m_frame, VerificationJob::isFailed(mode) ? m_job->searchFailure() : ServiceError{});
    if (mode == State::Searching)
        m_frame->setNotice(ServiceNotice::waiting(m_waitClock));
    // Nothing is uploaded from here yet: after a verification there is
    // nothing to confirm, so the button waits for results it never gets.
    bool enabled = !busy;
    if (mode == State::Searched)
        enabled = m_list->view()->gotResults;
    button->setEnabled(enabled);
    updateUI = false;
    update();
}

// --- Verification ----------------------------------------------------------------

void PutSubtitles::doVerifySubs()
{
    m_list->view()->setFocus();
    const State mode = m_job->state();
    if (mode == State::Listed) {
        setPanel(m_frame->DropFilesCanvas(), false);
        setPanel(m_frame->DropFilesCanvasSection(), false);
        // Unchecked pairs leave the list and the job for good; a subtitle
        // without a video stays in the results, saying so.
        m_unpaired = m_list->unpairedSubtitles();
        const QStringList dropped = m_job->dropUnchecked();
        for (int row = m_list->rowCount() - 1; row >= 0; --row) {
            const auto sub = m_list->record(row);
            if (sub && dropped.contains(sub->path()))
                m_list->removeRow(row);
        }
        startVerification();
    } else if (VerificationJob::isFailed(mode)) {
        // The job lists the pairs again before it verifies them.
        m_failureShown = false;
        startVerification();
    }
}

void PutSubtitles::startVerification()
{
    qCInfo(lcUpload) << "Start Search Thread";
    m_job->startVerification(myPrefs::AutoRetrySearch());
}

void PutSubtitles::listSearchResults()
{
    QList<VerifyPairing> pairings = m_job->pairings();
    for (const QString &subtitle : std::as_const(m_unpaired)) {
        if (std::none_of(pairings.cbegin(), pairings.cend(),
                         [&](const VerifyPairing &p) { return p.subtitle == subtitle; }))
            pairings.append({subtitle, {}, {}, false, {}});
    }
    m_list->listSearchResults(pairings, m_job->outcomes());
}

// --- Closing ----------------------------------------------------------------------

void PutSubtitles::closeEvent(QCloseEvent *event)
{
    if (!closing) {
        closing = true;
        TimerProcess.stop();
        TimerUIRefresh.stop();
        // Whatever runs stops now: the request, the intake, the hashing.
        m_job->cancel();
        if (m_opened)
            WindowPlacement::leaveVariantB(this, PlacementKey);
    }
    if (m_job->busy()) {
        // Gone from the screen at once; the window itself goes once the
        // cancelled workers have ended.
        hide();
        event->ignore();
        QTimer::singleShot(100, this, &QWidget::close);
        return;
    }
    QWidget::closeEvent(event);
}
