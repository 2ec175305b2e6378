#include "download/gui/GetSubtitlesWindow.h"

#include "common/Ticks.h"
#include "common/translationStrings.h"
#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "controls/omiPanel.h"
#include "download/gui/DownloadList.h"
#include "download/gui/DownloadListPainter.h"
#include "download/gui/DownloadListRows.h"
#include "download/gui/ResultActions.h"
#include "download/QuotaWaitList.h"
#include "media/FileTypes.h"
#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "platform/DesktopNotifier.h"
#include "platform/Platform.h"
#include "prefs/myPrefs.h"
#include "service/ClientIntake.h"
#include "service/FailureWords.h"
#include "service/JobRecords.h"
#include "window/BusyWheel.h"
#include "window/DocumentRouter.h"
#include "window/FileDropFilter.h"
#include "window/MainMenubar.h"
#include "window/ServiceNotice.h"
#include "window/WindowHost.h"
#include "window/WorkflowFrame.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QToolTip>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcDownloadWindow, "lumbra.download.window")

namespace {

using State = DownloadJob::State;

// The row menu's item that previews a result over its video.
const QString PreviewTag = QStringLiteral("menuPreviewSub");

bool sameText(const QString &a, QLatin1StringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

std::function<void()> &quitHandler()
{
    static std::function<void()> handler = [] {
        if (WindowHost *app = WindowHost::instance())
            app->menuCommand(u"FileQuit"_s);
        else
            QCoreApplication::quit();
    };
    return handler;
}

// A stage panel "on" (active and enabled) or "off" (inactive and disabled);
// changed only where it differs, as every change redraws the panel.
void setPanel(omiPanel *panel, bool on)
{
    if (panel->IAmActive() != (on ? 1 : 0))
        panel->setIAmActive(on ? 1 : 0);
    if (panel->isEnabled() != on)
        panel->setEnabled(on);
}

void setActive(omiPanel *panel, bool active)
{
    if (panel->IAmActive() != (active ? 1 : 0))
        panel->setIAmActive(active ? 1 : 0);
}

} // namespace

GetSubtitlesWindow::GetSubtitlesWindow(QWidget *parent)
    : lumbraWindow(parent)
    , m_job(DownloadJob::create())
    , m_frame(new WorkflowFrame(this))
    , m_mainList(new omiListbox)
    , m_list(new DownloadList(m_mainList, m_job->records(), this))
    , m_painter(std::make_unique<DownloadListPainter>(*m_list, m_job->records()))
{
    // Changes a worker makes arrive queued, in order, on the main thread.
    connect(m_job.get(), &DownloadJob::stateChanged, this, &GetSubtitlesWindow::jobStateChanged);
    connect(m_job.get(), &DownloadJob::progressed, this, &GetSubtitlesWindow::setUpdateUI);
    connect(m_job.get(), &DownloadJob::progressed, this, [this] {
        const DownloadJob::DownloadTally tally = m_job->downloadTally();
        if (tally.total > 0)
            DesktopNotifier::instance().setProgress(double(tally.placed + tally.failed) / tally.total);
    });
    setMinimumSize(WorkflowFrame::MinimumWidth, WorkflowFrame::MinimumHeight);
    resize(WorkflowFrame::MinimumWidth, WorkflowFrame::MinimumHeight);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_frame);

    m_mainList->setObjectName(u"MainList"_s);
    QFont font(u"Helvetica"_s);
    font.setPixelSize(13);
    m_mainList->setFont(font);
    m_mainList->setCellBackgroundPaint([this](QPainter &g, int row, int column, const QSize &cell) {
        m_painter->paintBackground(g, row, column, cell);
    });
    m_mainList->setCellTextPaint([this](QPainter &g, int row, int column, const QSize &cell) {
        m_painter->paintContent(g, row, column, cell);
    });
    m_mainList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_mainList, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        const QModelIndex hit = m_mainList->indexAt(at);
        Q_EMIT rowContextMenuRequested(hit.isValid() ? hit.row() : -1,
                                       m_mainList->viewport()->mapToGlobal(at));
    });
    connect(m_mainList, &omiListbox::change, this, &GetSubtitlesWindow::listSelectionChanged);
    // The list takes file drags too: a drop there counts as one on the drop panel.
    m_mainList->setAcceptDrops(true);
    m_mainList->viewport()->setAcceptDrops(true);
    m_listViewport = m_mainList->viewport();
    m_listViewport->installEventFilter(this);
    m_frame->setList(m_mainList);
    m_list->showFiles();
    // Context menu, keys and previews of the rows.
    m_rows = DownloadListRows::install(*this);

    m_frame->setDropCaptions(translationStrings::DragVideosHere(), translationStrings::DragVideosHereDrag());
    m_frame->setStageTips({tr("1. Add videos: drop them, paste them or use File → Open…"),
                           tr("2. Choose subtitles: the best one per video and language is ticked"),
                           tr("3. Download: each subtitle is placed beside its video")});
    connect(m_frame, &WorkflowFrame::mainAction, this, &GetSubtitlesWindow::doSearch);
    connect(m_frame, &WorkflowFrame::filesDropped, this, [this](const DragItem &item) {
        if (m_frame->DropFilesCanvas()->isEnabled())
            m_drops.add(item);
    });
    connect(m_list, &DownloadList::refreshNeeded, this, &GetSubtitlesWindow::setUpdateUI);
    connect(m_list, &DownloadList::subtitleChecksChanged, this, &GetSubtitlesWindow::setUpdateUI);

    m_timerProcess.setInterval(Ticks::scaled(Ticks::Process));
    connect(&m_timerProcess, &QTimer::timeout, this, &GetSubtitlesWindow::TimerProcess_Action);
    m_timerUIRefresh.setInterval(Ticks::scaled(Ticks::Refresh));
    connect(&m_timerUIRefresh, &QTimer::timeout, this, &GetSubtitlesWindow::TimerUIRefresh_Action);
    m_countDownTimer.setInterval(Ticks::scaled(Ticks::CountdownSecond));
    connect(&m_countDownTimer, &QTimer::timeout, this, &GetSubtitlesWindow::CountDownTimer_Action);
    m_timerProcess.start();

    // The application's menu bar, in this window as in every other.
    if (WindowHost *app = WindowHost::instance())
        app->menubar().attach(this);
}

GetSubtitlesWindow::~GetSubtitlesWindow()
{
    m_closing = true;
    m_timerProcess.stop();
    m_timerUIRefresh.stop();
    m_countDownTimer.stop();
    // The workers hold the job themselves: stop them, including a download
    // under way, and let go without waiting.
    disconnect(m_job.get(), nullptr, this, nullptr);
    m_job->abort();
    m_listViewport->removeEventFilter(this);
    m_listViewport = nullptr;
    // The list's painting and handlers reach the records and the painter:
    // they go first.
    delete m_list;
    delete m_frame;
}

void GetSubtitlesWindow::registerWith(DocumentRouter &router)
{
    router.setCreator(WorkflowKind::Download, [] { return new GetSubtitlesWindow; });
}

GetSubtitlesWindow *GetSubtitlesWindow::offerWaitingDownloads(DocumentRouter &router)
{
    const QList<WaitingDownload> due = QuotaWaitList().offerable(QDateTime::currentDateTimeUtc());
    if (due.isEmpty())
        return nullptr;
    // A window of their own: a default one may already hold other files.
    auto *window = new GetSubtitlesWindow;
    window->m_offersWaiting = true;
    window->m_job->offerWaiting(due);
    window->m_state0checkdropped = true;
    router.present(window);
    return window;
}

void GetSubtitlesWindow::setQuitHandler(std::function<void()> handler)
{
    quitHandler() = std::move(handler);
}

QString GetSubtitlesWindow::windowTitleText() const
{
    return translationStrings::GetSubtitlesWindowTitle();
}

void GetSubtitlesWindow::Open()
{
    m_closing = false;
    m_frame->mainButton()->setCaption(translationStrings::SearchSubsButtonTitle());
    m_extensionList = FileTypes::intakeExtensionList();
    setUpdateUI();
    m_timerUIRefresh.start();
    m_frame->DropFilesCanvas()->setFocus();
}

// --- State -------------------------------------------------------------------

QString GetSubtitlesWindow::windowMode() const
{
    return DownloadJob::stateName(m_job->state());
}

bool GetSubtitlesWindow::isWindowMode(QLatin1StringView mode) const
{
    return sameText(windowMode(), mode);
}

void GetSubtitlesWindow::setWindowMode(const QString &mode)
{
    if (const auto state = DownloadJob::stateNamed(mode))
        m_job->setState(*state);
    else
        qCWarning(lcDownloadWindow) << "no such state:" << mode;
}

void GetSubtitlesWindow::jobStateChanged(DownloadJob::State state)
{
    if (m_closing)
        return;
    // Shown at once, once the window is open; the list redraws on the next refresh.
    m_updateUI = true;
    if (m_timerUIRefresh.isActive())
        applyStateToControls();
    if (state == State::Downloaded || state == State::NotDownloaded)
        tellDesktopDownloadsEnded();
    switch (state) {
    case State::Searching:
        m_waitClock.start();
        break;
    case State::NotDownloaded:
        m_quitAfterDownload = false;
        break;
    case State::Downloaded:
        if (myPrefs::AutoQuit() || m_quitAfterDownload)
            QMetaObject::invokeMethod(
                this, [] { quitHandler()(); }, Qt::QueuedConnection);
        break;
    default:
        break;
    }
    Q_EMIT windowModeChanged(DownloadJob::stateName(state));
}

void GetSubtitlesWindow::tellDesktopDownloadsEnded()
{
    DesktopNotifier &desktop = DesktopNotifier::instance();
    desktop.clearProgress();
    // Only a run nobody started by hand, or one the user left to quit by itself.
    if (!myPrefs::autoGetSubs() && !myPrefs::AutoQuit() && !m_quitAfterDownload)
        return;
    const DownloadJob::DownloadTally tally = m_job->downloadTally();
    QString body = tally.placed == 1 ? tr("1 subtitle placed") : tr("%1 subtitles placed").arg(tally.placed);
    if (tally.failed > 0)
        body += u", "_s + tr("%1 not placed").arg(tally.failed);
    desktop.notifyRunEnded(this, tr("Subtitles downloaded"), body);
}

bool GetSubtitlesWindow::acceptsFiles() const
{
    if (m_closing || m_offersWaiting || !m_frame->DropFilesCanvas()->isEnabled())
        return false;
    const State state = m_job->state();
    return state == State::Idle || state == State::Adding || state == State::Listing ||
           state == State::Listed;
}

void GetSubtitlesWindow::setUpdateUI()
{
    if (!m_closing)
        m_updateUI = true;
}

bool GetSubtitlesWindow::documentEdited() const
{
    // Read from the job and the rows each time, never remembered: a mark
    // that missed a change would ask for nothing or let ticks go unasked.
    switch (m_job->state()) {
    case State::Predownloading:
    case State::Redownloading:
    case State::Downloading:
    case State::NotDownloaded:
        return true;
    case State::Searched:
        return m_list->hasCheckedResults();
    default:
        return false;
    }
}

int GetSubtitlesWindow::Tcounter() const
{
    return m_job->Tcounter();
}

QList<std::shared_ptr<movieFile>> GetSubtitlesWindow::queuedSubs() const
{
    return m_job->queuedSubs();
}

QString GetSubtitlesWindow::searchFailure() const
{
    return ServiceNotice::words(m_job->searchFailure());
}

QString GetSubtitlesWindow::noticeFor(const QString &mode) const
{
    if (sameText(mode, "Searching"_L1))
        return ServiceNotice::waiting(m_waitClock);
    const QString waited = waitedNotice();
    if (const QString quota = quotaNotice(); !quota.isEmpty())
        return waited.isEmpty() ? quota : waited + u' ' + quota;
    if (!waited.isEmpty())
        return waited;
    const QList<ClientIntake::NotTakenIn> skipped = m_job->intake().notTakenIn();
    if (skipped.isEmpty())
        return {};
    QStringList names;
    for (const auto &[shown, reason] : skipped)
        names.append(QFileInfo(shown).fileName());
    return tr("Not listed: %1 (%2)").arg(names.join(u", "_s), skipped.first().reason);
}

namespace {
// English words for the count, whatever translation is installed ("1 ticked
// result", never "1 ticked result(s)").
QString waitingForQuota(qsizetype waiting, bool pressed, const QString &renewal)
{
    if (waiting == 1)
        return (pressed ? GetSubtitlesWindow::tr("1 ticked result beyond it waits for tomorrow's quota (%1).")
                        : GetSubtitlesWindow::tr(
                              "1 ticked result beyond it will wait for tomorrow's quota (%1)."))
            .arg(renewal);
    return (pressed
                ? GetSubtitlesWindow::tr("%1 ticked results beyond it wait for tomorrow's quota (%2).")
                : GetSubtitlesWindow::tr("%1 ticked results beyond it will wait for tomorrow's quota (%2)."))
        .arg(waiting)
        .arg(renewal);
}
} // namespace

QString GetSubtitlesWindow::quotaNotice() const
{
    switch (m_job->state()) {
    case State::SuccessSearching:
    case State::Searched:
    case State::Predownloading:
    case State::Downloading:
    case State::Redownloading:
    case State::Downloaded:
    case State::NotDownloaded:
        break;
    default:
        return {};
    }
    // Known after signing in (the REST API keeps a daily count), so it shows
    // before Download is pressed; each download then updates it.
    const int remaining = m_job->remainingDownloads();
    if (remaining < 0)
        return {};
    QString notice = remaining == 1 ? tr("The service allows 1 more download today.")
                                    : tr("The service allows %1 more downloads today.").arg(remaining);
    // Before Download is pressed, what the ticks ask for beyond the count;
    // after, what the run held back.
    const bool pressed = m_job->state() >= State::Predownloading;
    qsizetype waiting = 0;
    if (pressed) {
        const QMutexLocker guard(&m_job->records().stateLock());
        waiting = m_job->heldForQuota().size();
    } else {
        waiting = std::max(0, m_list->tickedDownloads() - remaining);
    }
    if (waiting > 0)
        notice += u' ' + waitingForQuota(waiting, pressed,
                                         QuotaWaitList::renewsAt(
                                             QuotaWaitList::nextRenewal(QDateTime::currentDateTimeUtc())));
    return notice;
}

QString GetSubtitlesWindow::waitedNotice() const
{
    // Until Download is pressed; then the rows tell how each one went.
    if (!m_offersWaiting || m_job->state() >= State::Predownloading)
        return {};
    const int waited = m_job->waitingOffered();
    if (waited == 0)
        return {};
    return waited == 1 ? tr("1 subtitle waited for today's quota.")
                       : tr("%1 subtitles waited for today's quota.").arg(waited);
}

bool GetSubtitlesWindow::searchRunning() const
{
    return m_job->searchRunning();
}

bool GetSubtitlesWindow::downloadRunning() const
{
    return m_job->downloadRunning();
}

void GetSubtitlesWindow::pressMain()
{
    m_frame->mainButton()->push();
}

// --- Files coming in ---------------------------------------------------------

void GetSubtitlesWindow::queueDrop(const DragItem &item)
{
    m_drops.add(item);
}

void GetSubtitlesWindow::AAA_BuildFileList(const QString &item)
{
    // The application hands files only to a window that takes them.
    if (!acceptsFiles()) {
        qCWarning(lcDownloadWindow) << "files came after the search started; not taken:" << item;
        return;
    }
    if (m_job->addPath(item))
        m_state0checkdropped = true;
}

void GetSubtitlesWindow::AAA_BuildFileList(const QStringList &items)
{
    for (const QString &item : items)
        AAA_BuildFileList(item);
}

void GetSubtitlesWindow::takeInDrops()
{
    if (m_drops.takeIn([this](const QStringList &paths) { AAA_BuildFileList(paths); }))
        m_list->setSingleDrop(m_drops.processed() == 1);
}

bool GetSubtitlesWindow::eventFilter(QObject *watched, QEvent *event)
{
    // A row's whole text (a failure's reason runs past any width) as its tooltip.
    if (watched == m_listViewport && event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex hit = m_mainList->indexAt(help->pos());
        const QString text = hit.isValid() ? m_list->rowText(hit.row()) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, m_listViewport);
        return true;
    }
    // Compared by address only: the list may be going already.
    if (watched == m_listViewport && handleFileDrop(event, m_frame->DropFilesCanvas()->isEnabled(),
                                                    [this](const DragItem &item) { m_drops.add(item); }))
        return true;
    return lumbraWindow::eventFilter(watched, event);
}

bool GetSubtitlesWindow::menuCommand(const QString &name)
{
    if (sameText(name, "EditPaste"_L1)) {
        if (!m_frame->DropFilesCanvas()->isEnabled())
            return false;
        const QStringList files = platform().clipboardFiles();
        if (!files.isEmpty())
            AAA_BuildFileList(files);
        return true;
    }
    if (sameText(name, "EditSelectAll"_L1)) {
        m_mainList->selectAll();
        return true;
    }
    if (sameText(name, "PreviewMenuItem"_L1)) {
        if (const int row = previewRow(); row >= 0)
            m_rows->actions().act(row, PreviewTag);
        return true;
    }
    return lumbraWindow::menuCommand(name);
}

int GetSubtitlesWindow::previewRow() const
{
    const QList<int> selected = m_mainList->selectedRows();
    if (selected.size() != 1)
        return -1;
    const auto entries = m_rows->actions().menuFor(selected.first());
    const bool offered = std::any_of(entries.cbegin(), entries.cend(), [](const ResultActions::MenuEntry &e) {
        return e.tag == PreviewTag && e.enabled;
    });
    return offered ? selected.first() : -1;
}

bool GetSubtitlesWindow::canHandleMenuCommand(const QString &name) const
{
    if (sameText(name, "EditPaste"_L1))
        return m_frame->DropFilesCanvas()->isEnabled();
    if (sameText(name, "PreviewMenuItem"_L1))
        return previewRow() >= 0;
    return sameText(name, "EditSelectAll"_L1) || sameText(name, "FileClose"_L1) ||
           sameText(name, "zoomWindow"_L1);
}

// --- The process tick ----------------------------------------------------------

void GetSubtitlesWindow::TimerProcess_Action()
{
    if (m_closing) {
        // The window goes once the cancelled workers have ended.
        if (!m_job->busy())
            close();
        return;
    }
    try {
        if (m_frame->DropFilesCanvas()->isEnabled()) {
            takeInDrops();
            // The job moves on to "listing" and "listed" as it hands them over.
            if (m_state0checkdropped)
                m_list->showNewRecords(
                    m_job->takeNewRecords(myPrefs::ListAllFiles(), myPrefs::refreshSubs()));
        }
        // Offered downloads are searched at once: the one click is Download.
        if (isState(State::Listed) && (myPrefs::autoSearchSubs() || m_offersWaiting))
            pressMain();

        const State mode = m_job->state();
        if (mode == State::RetrySearching) {
            // The countdown's first tick comes a second after the failure:
            // started once, not pushed back by every tick.
            if (!m_countDownTimer.isActive())
                m_countDownTimer.start();
        } else if (mode == State::SuccessSearching) {
            m_retries = 0;
            m_frame->moveStageMarker(1);
            const RunSettings searched = m_job->searchSettings();
            m_list->listSearchResults(m_job->languageGroups(searched.languages, searched.refreshSubs()));
            m_job->resultsListed();
            if (myPrefs::autoGetSubs())
                pressMain();
        } else if (mode == State::Predownloading || mode == State::Redownloading) {
            m_frame->moveStageMarker(2);
            const MethodProfiler trace(u"Starting Downloads"_s);
            queueSubsAndDownload();
            setUpdateUI();
        }
    } catch (const std::exception &error) {
        qCWarning(lcDownloadWindow) << "process tick:" << error.what();
    } catch (...) {
        qCWarning(lcDownloadWindow) << "process tick failed";
    }
}

// --- The main action -----------------------------------------------------------

void GetSubtitlesWindow::doSearch()
{
    m_mainList->setFocus();
    const State mode = m_job->state();
    if (mode == State::ErrorSearching) {
        // Tried again by hand.
        m_job->startSearch(myPrefs::AutoRetrySearch());
        return;
    }
    if (mode == State::Listed && m_drops.pending() > 0) {
        // Files dropped since the last tick come in first; the search waits
        // for them to be listed.
        takeInDrops();
        return;
    }
    if (mode == State::Listed && !m_list->hasCheckedVideos())
        return; // nothing to search for: the list stays as it is
    if (mode == State::Listed || mode == State::WaitedSearching) {
        m_frame->DropFilesCanvas()->setEnabled(false);
        m_frame->DropFilesCanvasSection()->setEnabled(false);
        m_list->removeUncheckedRows();
        m_job->startSearch(myPrefs::AutoRetrySearch());
    } else if (mode == State::Searched || mode == State::NotDownloaded) {
        m_job->requestDownloads();
    } else if (mode == State::Downloaded) {
        m_frame->CancelButton()->push();
    }
}

// --- The countdown -------------------------------------------------------------

void GetSubtitlesWindow::CountDownTimer_Action()
{
    if (m_closing || !(isState(State::RetrySearching) || isState(State::RetryingSearching))) {
        m_countDownTimer.stop();
        return;
    }
    if (isState(State::RetrySearching)) {
        m_job->countDownToRetry();
        // One more than the wait, as this tick already counts one down.
        m_countDownTics = RetrySchedule::delaySeconds(m_retries++) + 1;
    }
    if (isState(State::RetryingSearching))
        --m_countDownTics;
    QString caption = translationStrings::RetryInSecsTitle();
    caption.replace(u"^secs^"_s, QString::number(m_countDownTics));
    m_frame->mainButton()->setCaption(caption);
    m_frame->mainButton()->update();
    if (m_countDownTics <= 0) {
        m_countDownTimer.stop();
        m_job->startSearch(myPrefs::AutoRetrySearch());
    }
}

// --- Downloads -----------------------------------------------------------------

void GetSubtitlesWindow::queueSubsAndDownload()
{
    if (downloadRunning())
        return; // the run that just ended is finishing; the next tick starts the new one
    if (isState(State::Predownloading)) {
        if (!m_queueBuilt) {
            m_queueBuilt = true;
            m_list->buildQueue(m_job->queue());
        }
    } else {
        m_job->removeDownloaded();
    }
    m_job->setFixTiming(myPrefs::values().fixTimingAfterDownload);
    m_job->startDownloads();
}

void GetSubtitlesWindow::updateUIChecks(int row, int)
{
    m_list->toggleResult(row);
    setUpdateUI();
}

// --- The refresh tick ------------------------------------------------------------

void GetSubtitlesWindow::TimerUIRefresh_Action()
{
    if (m_closing)
        return;
    applyStateToControls();
    const bool edited = documentEdited();
    if (edited != m_editedShown) {
        m_editedShown = edited;
        platform().setDocumentEdited(this, edited);
    }
    // Redrawn when something changed, and all along while work runs (the
    // downloads' marks move without telling).
    const bool changed = std::exchange(m_updateUI, false);
    if (changed || DownloadJob::isBusy(m_job->state())) {
        m_mainList->viewport()->update();
        m_frame->update();
    }
}

void GetSubtitlesWindow::applyStateToControls()
{
    const State mode = m_job->state();
    const bool failed = mode == State::ErrorSearching;
    const bool busy = DownloadJob::isBusy(mode);
    BusyWheel *wheel = m_frame->DropFilesProgress();
    if (wheel->isVisible() != busy)
        wheel->setVisible(busy);

    omiButton *main = m_frame->mainButton();
    omiPanel *drop = m_frame->DropFilesCanvas();
    omiPanel *first = m_frame->DropFilesCanvasSection();
    omiPanel *second = m_frame->ShowResultsCanvas();
    omiPanel *third = m_frame->GetSubsCanvas();
    auto setCaption = [main](const QString &caption) {
        if (main->caption() != caption)
            main->setCaption(caption);
    };
    switch (mode) {
    case State::Idle:
        setCaption(translationStrings::SearchSubsButtonTitle());
        setPanel(drop, true);
        setPanel(first, true);
        setPanel(second, false);
        setPanel(third, false);
        break;
    case State::Hashing:
    case State::Readying:
    case State::Searching:
        setCaption(translationStrings::FindingSubsButtonTitle());
        break;
    case State::ErrorSearching:
        // The search ended: the button offers to try again, the notice says why.
        setCaption(tr("Try Again"));
        break;
    case State::Searched:
        setCaption(translationStrings::SelectSubsButtonTitle());
        setActive(drop, false);
        drop->hide();
        setPanel(first, false);
        setPanel(second, true);
        setPanel(third, false);
        break;
    case State::Downloading:
    case State::Redownloading:
    case State::Downloaded:
        setCaption(mode == State::Downloaded ? translationStrings::DoneSubsButtonTitle()
                                             : translationStrings::DownloadingSubsButtonTitle());
        drop->hide();
        drop->setEnabled(false);
        setPanel(first, false);
        setPanel(second, false);
        setPanel(third, true);
        break;
    case State::NotDownloaded:
        setCaption(translationStrings::DownloadSubsButtonTitle());
        drop->hide();
        drop->setEnabled(false);
        setActive(first, false);
        setPanel(second, false);
        setPanel(third, true);
        break;
    default:
        break;
    }
    // Why the search failed, with the way to the fix; each video row says
    // it too, for as long as the failure stands.
    const bool searchFailed = failed || mode == State::RetrySearching || mode == State::RetryingSearching;
    if (searchFailed) {
        ServiceNotice::show(*m_frame, m_job->searchFailure());
    } else {
        m_frame->setNotice(noticeFor(windowMode()));
        m_frame->setNoticeAction({}, {});
    }
    m_frame->setEmptyHint(mode == State::Idle && m_mainList->rowCount() == 0
                              ? tr("drop videos or folders here, or File → Open…")
                              : QString());
    m_list->setSearchFailure(searchFailed ? searchFailure() : QString());
    // Searching needs a ticked video.
    const bool nothingTicked = mode == State::Listed && !m_list->hasCheckedVideos();
    if (mode == State::Listed)
        setCaption(nothingTicked ? tr("Tick a Video First") : translationStrings::SearchSubsButtonTitle());
    const bool enabled = !busy && !nothingTicked && (mode != State::Searched || m_list->gotResults());
    if (main->isEnabled() != enabled)
        main->setEnabled(enabled);
}

// --- Closing ---------------------------------------------------------------------

bool GetSubtitlesWindow::CancelClose()
{
    if (m_closing) {
        // Still waiting for the workers, or now closing for good.
        if (m_job->busy())
            return true;
        m_timerProcess.stop();
        return false;
    }
    if (documentEdited()) {
        MessageDialogRequest question;
        question.kind = u"ask"_s;
        question.message = u"Subtitles marked for download"_s;
        question.explanation =
            u"You have specified for the window to be closed but you have subtitles checked for download. "
            "You can download them and quit the application, quit without downloading or go back to the listing."_s;
        question.actionCaption = u"Download & Quit"_s;
        question.cancelCaption = u"Go back to window"_s;
        question.alternateCaption = u"Quit without downloading"_s;
        switch (platform().showMessageDialog(this, question)) {
        case Platform::AlternateButton:
            break;
        case Platform::ActionButton:
            // The window stays until the downloads end; a run that places
            // every subtitle then quits the application, one with failures
            // stays open to show them.
            m_quitAfterDownload = true;
            pressMain();
            return true;
        default:
            return true;
        }
    }
    m_closing = true;
    m_countDownTimer.stop();
    // Whatever runs stops now: the request, the intake, the hashing, and the
    // downloads after the one under way.
    m_job->cancel();
    if (m_job->busy()) {
        // The process tick closes the window once the workers have ended.
        hide();
        return true;
    }
    m_timerProcess.stop();
    return false;
}
