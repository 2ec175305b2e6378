#include "download/gui/GetSubtitlesWindow.h"

#include "app/App.h"
#include "app/BusyWheel.h"
#include "app/FileDropFilter.h"
#include "app/MainMenubar.h"
#include "app/WorkflowFrame.h"
#include "common/Ticks.h"
#include "controls/omiButton.h"
#include "controls/omiListbox.h"
#include "controls/omiPanel.h"
#include "download/gui/DownloadList.h"
#include "download/gui/DownloadListPainter.h"
#include "download/gui/DownloadListRows.h"
#include "media/FileTypes.h"
#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "platform/Platform.h"
#include "prefs/myPrefs.h"
#include "prefs/translationStrings.h"
#include "service/ClientIntake.h"
#include "service/FailureWords.h"
#include "service/GetSubsRun.h"
#include "service/OSClient.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QThread>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcDownloadWindow, "lumbra.download.window")

namespace {

bool sameText(const QString &a, QLatin1StringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A state whose name ends in "ing" is a busy one.
bool isBusy(const QString &mode)
{
    return mode.endsWith("ing"_L1, Qt::CaseInsensitive);
}

bool usable(const QString &path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.exists() && info.isReadable();
}

std::function<void()> &quitHandler()
{
    static std::function<void()> handler = [] {
        if (App *app = App::instance())
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
    , m_client(new OSClient(this))
    , m_intake(std::make_shared<ClientIntake>(*m_client))
    , m_frame(new WorkflowFrame(this))
    , m_mainList(new omiListbox)
    , m_list(new DownloadList(m_mainList, *m_client, this))
    , m_painter(std::make_unique<DownloadListPainter>(*m_list, *m_client))
{
    {
        const QMutexLocker guard(&m_client->stateLock());
        m_client->mode = u"GetSubs"_s;
        m_windowMode = u"Idle"_s;
    }
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
    DownloadListRows::install(*this);

    m_frame->setDropCaptions(translationStrings::DragVideosHere(), translationStrings::DragVideosHereDrag());
    connect(m_frame, &WorkflowFrame::mainAction, this, &GetSubtitlesWindow::doSearch);
    connect(m_frame, &WorkflowFrame::filesDropped, this, [this](const DragItem &item) {
        if (m_frame->DropFilesCanvas()->isEnabled())
            m_dropobjs.append(item);
    });
    connect(m_list, &DownloadList::refreshNeeded, this, &GetSubtitlesWindow::setUpdateUI);
    connect(m_list, &DownloadList::subtitleChecksChanged, this, [this] { setDocumentEdited(true); });

    m_timerProcess.setInterval(Ticks::scaled(Ticks::Process));
    connect(&m_timerProcess, &QTimer::timeout, this, &GetSubtitlesWindow::TimerProcess_Action);
    m_timerUIRefresh.setInterval(Ticks::scaled(Ticks::Refresh));
    connect(&m_timerUIRefresh, &QTimer::timeout, this, &GetSubtitlesWindow::TimerUIRefresh_Action);
    m_countDownTimer.setInterval(Ticks::scaled(Ticks::CountdownSecond));
    connect(&m_countDownTimer, &QTimer::timeout, this, &GetSubtitlesWindow::CountDownTimer_Action);
    m_timerProcess.start();

    // The application's menu bar, in this window as in every other.
    if (App *app = App::instance())
        app->menubar().attach(this);
}

GetSubtitlesWindow::~GetSubtitlesWindow()
{
    m_closing = true;
    m_timerProcess.stop();
    m_timerUIRefresh.stop();
    m_countDownTimer.stop();
    // The workers use the client, the records and this window: they end
    // before any of those go. A search waits for its request in flight.
    for (QThread *thread : {m_searchThread, m_downloadThread}) {
        if (thread) {
            thread->wait();
            delete thread;
        }
    }
    m_intake->waitUntilDone();
    m_listViewport->removeEventFilter(this);
    m_listViewport = nullptr;
    // The list's painting and handlers reach the client and the painter:
    // they go first.
    delete m_list;
    delete m_frame;
}

void GetSubtitlesWindow::registerWith(DocumentRouter &router)
{
    router.setCreator(WorkflowKind::Download, [] { return new GetSubtitlesWindow; });
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
    setWindowMode(u"Idle"_s);
    m_frame->mainButton()->setCaption(translationStrings::SearchSubsButtonTitle());
    m_extensionList = FileTypes::intakeExtensionList();
    setUpdateUI();
    m_timerUIRefresh.start();
    m_frame->DropFilesCanvas()->setFocus();
}

// --- State -------------------------------------------------------------------

QString GetSubtitlesWindow::windowMode() const
{
    const QMutexLocker guard(&m_client->stateLock());
    return m_windowMode;
}

bool GetSubtitlesWindow::isWindowMode(QLatin1StringView mode) const
{
    return sameText(windowMode(), mode);
}

void GetSubtitlesWindow::setWindowMode(const QString &mode)
{
    changeMode(mode);
}

void GetSubtitlesWindow::changeMode(const QString &mode)
{
    {
        const QMutexLocker guard(&m_client->stateLock());
        m_windowMode = mode;
    }
    if (m_closing)
        return;
    m_updateUI = true;
    if (QThread::currentThread() == thread())
        Q_EMIT windowModeChanged(mode);
    else
        QMetaObject::invokeMethod(
            this, [this, mode] { Q_EMIT windowModeChanged(mode); }, Qt::QueuedConnection);
}

void GetSubtitlesWindow::setUpdateUI()
{
    if (!m_closing)
        m_updateUI = true;
}

void GetSubtitlesWindow::setDocumentEdited(bool edited)
{
    m_edited = edited;
    setUpdateUI();
}

int GetSubtitlesWindow::Tcounter() const
{
    return m_intake->Tcounter();
}

QList<std::shared_ptr<movieFile>> GetSubtitlesWindow::queuedSubs() const
{
    const QMutexLocker guard(&m_client->stateLock());
    return m_queuedSubs.queuedSubs();
}

QString GetSubtitlesWindow::searchFailure() const
{
    const QMutexLocker guard(&m_client->stateLock());
    return m_searchFailure;
}

QString GetSubtitlesWindow::noticeFor(const QString &mode) const
{
    if (sameText(mode, "ErrorSearching"_L1) || sameText(mode, "RetrySearching"_L1) ||
        sameText(mode, "RetryingSearching"_L1))
        return searchFailure();
    const QList<ClientIntake::NotTakenIn> skipped = m_intake->notTakenIn();
    if (skipped.isEmpty())
        return {};
    QStringList names;
    for (const auto &[shown, reason] : skipped)
        names.append(QFileInfo(shown).fileName());
    return tr("Not listed: %1 (%2)").arg(names.join(u", "_s), skipped.first().reason);
}

bool GetSubtitlesWindow::searchRunning() const
{
    return m_searchThread && m_searchThread->isRunning();
}

bool GetSubtitlesWindow::downloadRunning() const
{
    return m_downloadThread && m_downloadThread->isRunning();
}

bool GetSubtitlesWindow::threadsBusy() const
{
    return searchRunning() || downloadRunning() || Tcounter() > 0;
}

void GetSubtitlesWindow::pressMain()
{
    m_frame->mainButton()->push();
}

// --- Files coming in ---------------------------------------------------------

void GetSubtitlesWindow::queueDrop(const DragItem &item)
{
    m_dropobjs.append(item);
}

void GetSubtitlesWindow::AAA_BuildFileList(const QString &item)
{
    if (!usable(item))
        return;
    const QString mode = windowMode();
    if (sameText(mode, "listed"_L1) || sameText(mode, "Idle"_L1))
        setWindowMode(u"adding"_s);
    m_state0checkdropped = true;
    m_intake->add(item, MovieFileParser::Mode::GetSubs);
}

void GetSubtitlesWindow::AAA_BuildFileList(const QStringList &items)
{
    for (const QString &item : items)
        AAA_BuildFileList(item);
}

void GetSubtitlesWindow::takeInDrops()
{
    if (m_dropobjs.isEmpty())
        return;
    m_gotDragged = true;
    while (!m_dropobjs.isEmpty()) {
        const DragItem item = m_dropobjs.takeFirst();
        AAA_BuildFileList(item.paths);
        ++m_objsProcessed;
    }
    m_list->setSingleDrop(m_objsProcessed == 1);
}

bool GetSubtitlesWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Compared by address only: the list may be going already.
    if (watched == m_listViewport &&
        handleFileDrop(event, m_frame->DropFilesCanvas()->isEnabled(),
                       [this](const DragItem &item) { m_dropobjs.append(item); }))
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
    if (sameText(name, "PreviewMenuItem"_L1))
        return true;
    return lumbraWindow::menuCommand(name);
}

bool GetSubtitlesWindow::canHandleMenuCommand(const QString &name) const
{
    if (sameText(name, "EditPaste"_L1))
        return m_frame->DropFilesCanvas()->isEnabled();
    return sameText(name, "EditSelectAll"_L1) || sameText(name, "FileClose"_L1) ||
           sameText(name, "zoomWindow"_L1);
}

// --- The process tick ----------------------------------------------------------

void GetSubtitlesWindow::TimerProcess_Action()
{
    if (m_closing) {
        // Closing waits for the workers; the window goes once they are done.
        if (!threadsBusy())
            close();
        return;
    }
    try {
        if (m_frame->DropFilesCanvas()->isEnabled()) {
            takeInDrops();
            // Read before listing: an intake item appends its records before
            // it stops counting, so with no item under way every record is
            // seen by the listing below.
            const int underWay = Tcounter();
            if (m_state0checkdropped &&
                m_list->listNewRecords(myPrefs::ListAllFiles(), myPrefs::refreshSubs()))
                setWindowMode(u"listing"_s);
            if (underWay == 0 && m_state0checkdropped &&
                (isWindowMode("listing"_L1) || isWindowMode("adding"_L1)))
                setWindowMode(u"listed"_s);
        }
        if (isWindowMode("listed"_L1) && myPrefs::autoSearchSubs())
            pressMain();

        const QString mode = windowMode();
        if (sameText(mode, "RetrySearching"_L1)) {
            // The countdown's first tick comes a second after the failure:
            // started once, not pushed back by every tick.
            if (!m_countDownTimer.isActive())
                m_countDownTimer.start();
        } else if (sameText(mode, "SuccessSearching"_L1)) {
            m_retries = 0;
            m_frame->moveStageMarker(1);
            m_list->listSearchResults(GetSubsRun::wantedLanguages(), myPrefs::refreshSubs());
            setWindowMode(u"Searched"_s);
            if (myPrefs::autoGetSubs())
                pressMain();
        } else if (sameText(mode, "Predownloading"_L1) || sameText(mode, "Redownloading"_L1)) {
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
    const QString mode = windowMode();
    if (sameText(mode, "ErrorSearching"_L1)) {
        // Tried again by hand.
        setWindowMode(u"WaitedSearching"_s);
        startSearchThread();
    } else if (sameText(mode, "listed"_L1) || sameText(mode, "WaitedSearching"_L1)) {
        m_frame->DropFilesCanvas()->setEnabled(false);
        m_frame->DropFilesCanvasSection()->setEnabled(false);
        m_list->removeUncheckedRows();
        startSearchThread();
    } else if (sameText(mode, "Searched"_L1)) {
        setWindowMode(u"Predownloading"_s);
    } else if (sameText(mode, "Downloaded"_L1)) {
        m_frame->CancelButton()->push();
    } else if (sameText(mode, "NotDownloaded"_L1)) {
        setWindowMode(u"Redownloading"_s);
    }
}

void GetSubtitlesWindow::startSearchThread()
{
    if (searchRunning())
        return;
    if (m_searchThread) {
        m_searchThread->wait();
        delete m_searchThread;
    }
    m_searchThread = QThread::create([this] { SearchSubs(); });
    m_searchThread->setObjectName(u"ThreadSearchSubs"_s);
    m_searchThread->start();
}

void GetSubtitlesWindow::SearchSubs()
{
    if (isWindowMode("listed"_L1)) {
        changeMode(u"Hashing"_s);
        {
            const MethodProfiler trace(u"Hashing Files"_s);
            QList<std::shared_ptr<movieFile>> videos;
            {
                const QMutexLocker guard(&m_client->stateLock());
                videos = m_client->movieFiles;
            }
            GetSubsRun::hashForSearch(*m_client, videos, {}, [this] { return m_closing.load(); });
        }
        changeMode(u"Readying"_s);
    } else if (isWindowMode("WaitedSearching"_L1)) {
        // A retry after a failed search: the hashes are known, search again.
        changeMode(u"Readying"_s);
    }
    if (!isWindowMode("Readying"_L1) || m_closing)
        return;
    changeMode(u"Searching"_s);
    bool found;
    {
        const MethodProfiler trace(u"Starting Search"_s);
        found = m_client->SearchSubs();
    }
    // The journal's wording goes to the log, plain words to the window.
    const ServiceError failure = found ? ServiceError{} : m_client->lastFailure();
    const FailureWords::Kind kind = FailureWords::classify(failure.code);
    if (!found)
        qCInfo(lcDownloadWindow) << "search failed:" << GetSubsRun::searchFailure(*m_client);
    {
        const QMutexLocker guard(&m_client->stateLock());
        m_searchFailure = found ? QString() : FailureWords::describe(kind, failure.reason);
    }
    // A rejected login fails again until the account is fixed: no retry.
    const bool retry = !found && myPrefs::AutoRetrySearch() && FailureWords::worthRetrying(kind);
    changeMode(found ? u"SuccessSearching"_s : retry ? u"RetrySearching"_s : u"ErrorSearching"_s);
}

// --- The countdown -------------------------------------------------------------

void GetSubtitlesWindow::CountDownTimer_Action()
{
    if (m_closing || !(isWindowMode("RetrySearching"_L1) || isWindowMode("RetryingSearching"_L1))) {
        m_countDownTimer.stop();
        return;
    }
    if (isWindowMode("RetrySearching"_L1)) {
        setWindowMode(u"RetryingSearching"_s);
        // One more than the wait, as this tick already counts one down.
        m_countDownTics = RetrySchedule::delaySeconds(m_retries++) + 1;
    }
    if (isWindowMode("RetryingSearching"_L1))
        --m_countDownTics;
    QString caption = translationStrings::RetryInSecsTitle();
    caption.replace(u"^secs^"_s, QString::number(m_countDownTics));
    m_frame->mainButton()->setCaption(caption);
    m_frame->mainButton()->update();
    if (m_countDownTics <= 0) {
        m_countDownTimer.stop();
        setWindowMode(u"WaitedSearching"_s);
        doSearch();
    }
}

// --- Downloads -----------------------------------------------------------------

void GetSubtitlesWindow::queueSubsAndDownload()
{
    if (downloadRunning())
        return; // the run that just ended is finishing; the next tick starts the new one
    if (isWindowMode("Predownloading"_L1)) {
        if (!m_queueBuilt) {
            m_queueBuilt = true;
            m_list->buildQueue(m_queuedSubs);
        }
    } else {
        const QMutexLocker guard(&m_client->stateLock());
        m_queuedSubs.removeDownloaded();
    }
    startDownloadThread();
}

void GetSubtitlesWindow::startDownloadThread()
{
    if (downloadRunning())
        return;
    if (m_downloadThread) {
        m_downloadThread->wait();
        delete m_downloadThread;
    }
    m_downloadThread = QThread::create([this] { GetSubs(); });
    m_downloadThread->setObjectName(u"ThreadGetSubs"_s);
    m_downloadThread->start();
}

void GetSubtitlesWindow::GetSubs()
{
    changeMode(u"Downloading"_s);
    m_edited = true;
    setUpdateUI();
    const bool placed = m_queuedSubs.downloadAll(
        &m_client->stateLock(), [this](int, bool) { setUpdateUI(); }, [this] { return m_closing.load(); });
    if (!placed) {
        m_quitAfterDownload = false;
        changeMode(u"NotDownloaded"_s);
        return;
    }
    changeMode(u"Downloaded"_s);
    m_edited = false;
    setUpdateUI();
    if (m_closing)
        return;
    if (myPrefs::AutoQuit() || m_quitAfterDownload)
        QMetaObject::invokeMethod(
            this, [] { quitHandler()(); }, Qt::QueuedConnection);
}

void GetSubtitlesWindow::updateUIChecks(int row, int)
{
    m_list->toggleResult(row);
    setDocumentEdited(true);
}

// --- The refresh tick ------------------------------------------------------------

void GetSubtitlesWindow::TimerUIRefresh_Action()
{
    if (m_closing)
        return;
    applyStateToControls();
    const bool edited = m_edited;
    if (edited != m_editedShown) {
        m_editedShown = edited;
        platform().setDocumentEdited(this, edited);
    }
    // Redrawn when something changed, and all along while work runs (the
    // downloads' marks move without telling).
    if (m_updateUI.exchange(false) || isBusy(windowMode())) {
        m_mainList->viewport()->update();
        m_frame->update();
    }
}

void GetSubtitlesWindow::applyStateToControls()
{
    const QString mode = windowMode();
    const bool failed = sameText(mode, "ErrorSearching"_L1);
    const bool busy = isBusy(mode) && !failed;
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
    if (sameText(mode, "Idle"_L1)) {
        setCaption(translationStrings::SearchSubsButtonTitle());
        setPanel(drop, true);
        setPanel(first, true);
        setPanel(second, false);
        setPanel(third, false);
    } else if (sameText(mode, "Hashing"_L1) || sameText(mode, "Readying"_L1) ||
               sameText(mode, "Searching"_L1)) {
        setCaption(translationStrings::FindingSubsButtonTitle());
    } else if (failed) {
        // The search ended: the button offers to try again, the notice says why.
        setCaption(tr("Try Again"));
    } else if (sameText(mode, "Searched"_L1)) {
        setCaption(translationStrings::SelectSubsButtonTitle());
        setActive(drop, false);
        drop->hide();
        setPanel(first, false);
        setPanel(second, true);
        setPanel(third, false);
    } else if (sameText(mode, "Downloading"_L1) || sameText(mode, "Redownloading"_L1) ||
               sameText(mode, "Downloaded"_L1)) {
        setCaption(sameText(mode, "Downloaded"_L1) ? translationStrings::DoneSubsButtonTitle()
                                                   : translationStrings::DownloadingSubsButtonTitle());
        drop->hide();
        drop->setEnabled(false);
        setPanel(first, false);
        setPanel(second, false);
        setPanel(third, true);
    } else if (sameText(mode, "NotDownloaded"_L1)) {
        setCaption(translationStrings::DownloadSubsButtonTitle());
        drop->hide();
        drop->setEnabled(false);
        setActive(first, false);
        setPanel(second, false);
        setPanel(third, true);
    }
    m_frame->setNotice(noticeFor(mode));
    const bool enabled =
        failed || (!isBusy(mode) && (!sameText(mode, "Searched"_L1) || m_list->gotResults()));
    if (main->isEnabled() != enabled)
        main->setEnabled(enabled);
}

// --- Closing ---------------------------------------------------------------------

bool GetSubtitlesWindow::CancelClose()
{
    if (m_closing) {
        // Still waiting for the workers, or now closing for good.
        if (threadsBusy())
            return true;
        m_timerProcess.stop();
        return false;
    }
    if (m_edited) {
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
    if (threadsBusy()) {
        // The process tick closes the window once the workers have ended.
        hide();
        return true;
    }
    m_timerProcess.stop();
    return false;
}
