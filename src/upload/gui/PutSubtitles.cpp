#include "upload/gui/PutSubtitles.h"

#include "app/App.h"
#include "app/BusyWheel.h"
#include "app/DocumentRouter.h"
#include "app/MainMenubar.h"
#include "app/WindowPlacement.h"
#include "app/WorkflowFrame.h"
#include "common/Ticks.h"
#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "controls/omiPanel.h"
#include "media/subtitleFile.h"
#include "platform/Platform.h"
#include "prefs/myPrefs.h"
#include "prefs/translationStrings.h"
#include "preview/gui/PreviewWindow.h"
#include "service/ClientIntake.h"
#include "service/OSClient.h"
#include "upload/gui/UploadList.h"

#include <QCloseEvent>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcUpload, "lumbra.upload")

bool is(const QString &mode, QLatin1StringView name)
{
    return mode.compare(name, Qt::CaseInsensitive) == 0;
}

bool isFailed(const QString &mode)
{
    return is(mode, "ErrorSearching"_L1) || is(mode, "RetrySearching"_L1);
}

// "Busy" states end in "ing"; a failed verification is over, whatever its name.
bool isBusy(const QString &mode)
{
    return mode.endsWith("ing"_L1, Qt::CaseInsensitive) && !isFailed(mode);
}

void setPanel(omiPanel *panel, bool on)
{
    panel->setIAmActive(on ? 1 : 0);
    panel->setEnabled(on);
}
} // namespace

PutSubtitles::PutSubtitles(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_client(std::make_unique<OSClient>(this))
    , m_intake(std::make_shared<ClientIntake>(*m_client))
    , m_frame(new WorkflowFrame(this))
    , m_list(new UploadList(m_client->stateLock(), m_frame))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(u"PutSubtitles"_s);
    {
        const QMutexLocker guard(&m_client->stateLock());
        // The client's upload mode: the intake turns subtitles into records
        // and pairs each with the video of its name.
        m_client->mode = u"PutSubs"_s;
    }

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
    if (App *app = App::instance())
        app->menubar().attach(this);
}

PutSubtitles::~PutSubtitles()
{
    stopThreads();
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
    setWindowMode(u"Idle"_s);
    m_frame->mainButton()->setCaption(translationStrings::VerifySubsButtonTitle());
    setUpdateUI(true);
    m_list->view()->setFocus();
}

QString PutSubtitles::windowMode() const
{
    const QMutexLocker guard(&m_client->stateLock());
    return m_windowMode;
}

void PutSubtitles::changeMode(const QString &mode)
{
    const QMutexLocker guard(&m_client->stateLock());
    m_windowMode = mode;
}

void PutSubtitles::setWindowMode(const QString &mode)
{
    changeMode(mode);
    setUpdateUI(true);
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
    return ThreadVerifySubs && ThreadVerifySubs->isRunning();
}

QList<VerifyOutcome> PutSubtitles::outcomes() const
{
    const QMutexLocker guard(&m_client->stateLock());
    return m_outcomes;
}

// --- Intake -------------------------------------------------------------------

void PutSubtitles::queueDrop(const DragItem &item)
{
    if (!item.isEmpty())
        dropobjs.append(item);
}

void PutSubtitles::processDropped()
{
    while (!dropobjs.isEmpty()) {
        const DragItem item = dropobjs.takeFirst();
        gotDragged = true;
        AAA_BuildFileList(item.paths);
        ++objsProcessed;
    }
}

void PutSubtitles::AAA_BuildFileList(const QStringList &items)
{
    for (const QString &item : items)
        AAA_BuildFileList(item);
}

void PutSubtitles::AAA_BuildFileList(const QString &item)
{
    const QFileInfo info(item);
    // Items that cannot be read are passed over without a word.
    if (!info.exists() || !info.isReadable())
        return;
    const QString mode = windowMode();
    if (is(mode, "listed"_L1) || is(mode, "Idle"_L1))
        setWindowMode(u"adding"_s);
    state0checkdropped = true;
    m_intake->add(item, MovieFileParser::Mode::PutSubs);
}

void PutSubtitles::processSubFiles()
{
    QList<std::shared_ptr<subtitleFile>> records;
    {
        const QMutexLocker guard(&m_client->stateLock());
        if (m_client->subfiles.isEmpty() || !state0checkdropped)
            return;
        const bool fresh = std::any_of(m_client->subfiles.cbegin(), m_client->subfiles.cend(),
                                       [](const auto &sub) { return !sub->addedToList; });
        if (!fresh)
            return;
        m_windowMode = u"listing"_s;
        records = m_client->subfiles;
    }
    setUpdateUI(true);
    m_list->listSubtitleFiles(records);
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
    // The preview may outlive this window; it takes the lock while the window lives.
    request.stateLock = &m_client->stateLock();
    request.lockOwner = this;
    {
        const QMutexLocker guard(&m_client->stateLock());
        for (const auto &sub : std::as_const(m_client->subfiles)) {
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
            // Read before listing: when no intake item was left then, every
            // record is in the client's list by the time it is listed.
            const bool intakeOver = m_intake->Tcounter() == 0;
            processSubFiles();
            const QString mode = windowMode();
            if (intakeOver && state0checkdropped && (is(mode, "listing"_L1) || is(mode, "adding"_L1)))
                setWindowMode(u"listed"_s);
        }
        const QString mode = windowMode();
        if (is(mode, "SuccessSearching"_L1)) {
            m_frame->moveStageMarker(1);
            listSearchResults();
            setWindowMode(u"Searched"_s);
        } else if (isFailed(mode) && !m_failureShown) {
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
    const QString mode = windowMode();
    const bool busy = isBusy(mode);
    BusyWheel *wheel = m_frame->DropFilesProgress();
    if (wheel->isVisible() != busy)
        wheel->setVisible(busy);

    omiButton *button = m_frame->mainButton();
    // Files listed but not verified yet: the same caption as before the drop,
    // whether or not a refresh came while the window was still empty.
    if (is(mode, "listed"_L1))
        button->setCaption(translationStrings::UploadSubtitlesButtonTitle());
    if (is(mode, "Idle"_L1)) {
        button->setCaption(translationStrings::UploadSubtitlesButtonTitle());
        setPanel(m_frame->DropFilesCanvas(), true);
        setPanel(m_frame->DropFilesCanvasSection(), true);
        setPanel(m_frame->ShowResultsCanvas(), false);
        setPanel(m_frame->GetSubsCanvas(), false);
    } else if (is(mode, "Hashing"_L1) || is(mode, "Readying"_L1) || is(mode, "Searching"_L1)) {
        button->setCaption(translationStrings::VerifyingSubs());
    } else if (is(mode, "Searched"_L1)) {
        button->setCaption(translationStrings::ConfirmSubMetadataButtonTitle());
        m_frame->DropFilesCanvas()->setIAmActive(0);
        m_frame->DropFilesCanvas()->hide();
        setPanel(m_frame->DropFilesCanvasSection(), false);
        setPanel(m_frame->ShowResultsCanvas(), true);
        setPanel(m_frame->GetSubsCanvas(), false);
    } else if (isFailed(mode)) {
        button->setCaption(translationStrings::VerifySubsButtonTitle());
    }
    // Nothing is uploaded from here yet: after a verification there is
    // nothing to confirm, so the button waits for results it never gets.
    bool enabled = !busy;
    if (is(mode, "Searched"_L1))
        enabled = m_list->view()->gotResults;
    button->setEnabled(enabled);
    updateUI = false;
    update();
}

// --- Verification ----------------------------------------------------------------

void PutSubtitles::doVerifySubs()
{
    m_list->view()->setFocus();
    const QString mode = windowMode();
    if (is(mode, "listed"_L1)) {
        setPanel(m_frame->DropFilesCanvas(), false);
        setPanel(m_frame->DropFilesCanvasSection(), false);
        // Unchecked pairs leave the list and the client for good.
        for (int row = m_list->rowCount() - 1; row >= 0; --row) {
            const auto sub = m_list->record(row);
            if (!sub)
                continue;
            {
                const QMutexLocker guard(&m_client->stateLock());
                if (sub->isChecked)
                    continue;
                auto &subs = m_client->subfiles;
                for (qsizetype at = subs.size() - 1; at >= 0; --at) {
                    if (subs.at(at)->path() == sub->path())
                        subs.removeAt(at);
                }
            }
            m_list->removeRow(row);
        }
        startVerification();
    } else if (isFailed(mode)) {
        m_failureShown = false;
        setWindowMode(u"listed"_s);
        startVerification();
    }
}

void PutSubtitles::startVerification()
{
    qCInfo(lcUpload) << "Start Search Thread";
    if (verificationRunning())
        return;
    delete ThreadVerifySubs;
    ThreadVerifySubs = QThread::create([this] { VerifySubs(); });
    ThreadVerifySubs->setObjectName(u"ThreadVerifySubs"_s);
    ThreadVerifySubs->start();
}

void PutSubtitles::VerifySubs()
{
    QList<VerifyPairing> pairings;
    {
        const QMutexLocker guard(&m_client->stateLock());
        if (!is(m_windowMode, "listed"_L1))
            return;
        m_windowMode = u"Hashing"_s;
        for (const auto &sub : std::as_const(m_client->subfiles)) {
            if (sub->isChecked)
                pairings.append(VerifyRun::pairingOf(*sub));
        }
    }
    const auto outcomes = VerifyRun::verify(*m_client, pairings, [this](VerifyRun::Stage stage) {
        switch (stage) {
        case VerifyRun::Stage::Hashing:
            changeMode(u"Hashing"_s);
            break;
        case VerifyRun::Stage::Readying:
            changeMode(u"Readying"_s);
            break;
        case VerifyRun::Stage::Searching:
            changeMode(u"Searching"_s);
            break;
        }
    });
    const bool failed = std::any_of(outcomes.cbegin(), outcomes.cend(), [](const VerifyOutcome &o) {
        return o.status == VerifyOutcome::Status::Failed;
    });
    const bool retry = myPrefs::AutoRetrySearch();
    {
        const QMutexLocker guard(&m_client->stateLock());
        m_pairings = pairings;
        m_outcomes = outcomes;
        m_windowMode = !failed ? u"SuccessSearching"_s : retry ? u"RetrySearching"_s : u"ErrorSearching"_s;
    }
    // The window hears of it on its own thread; the event is dropped if the
    // window is gone by then.
    QMetaObject::invokeMethod(
        this, [this] { setUpdateUI(true); }, Qt::QueuedConnection);
}

void PutSubtitles::listSearchResults()
{
    QList<VerifyPairing> pairings;
    QList<VerifyOutcome> outcomes;
    {
        const QMutexLocker guard(&m_client->stateLock());
        pairings = m_pairings;
        outcomes = m_outcomes;
    }
    m_list->listSearchResults(pairings, outcomes);
}

// --- Closing ----------------------------------------------------------------------

void PutSubtitles::stopThreads()
{
    // A worker waiting on the service gives up at once; then wait for it and
    // for the intake items, which use the client.
    m_client->cancel();
    if (ThreadVerifySubs) {
        ThreadVerifySubs->wait();
        delete ThreadVerifySubs;
        ThreadVerifySubs = nullptr;
    }
    m_intake->waitUntilDone();
}

void PutSubtitles::closeEvent(QCloseEvent *event)
{
    closing = true;
    TimerProcess.stop();
    TimerUIRefresh.stop();
    stopThreads();
    if (m_opened)
        WindowPlacement::leaveVariantB(this, PlacementKey);
    QWidget::closeEvent(event);
}
