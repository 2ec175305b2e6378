#include "app/App.h"

#include "app/homeWindow.h"
#include "app/PrefsFileWatcher.h"
#include "app/SingleInstance.h"
#include "app/TextEditCommands.h"
#include "app/XPrefsSaving.h"
#include "common/translationStrings.h"
#include "common/WorkerThreads.h"
#include "controls/ResourcePaths.h"
#include "download/gui/GetSubtitlesWindow.h"
#include "keyring/KeyringSecretStore.h"
#include "media/DebugLog.h"
#include "media/ExceptionHelpers.h"
#include "media/FileTypes.h"
#include "media/MethodProfiler.h"
#include "platform/GuiDesktopHooks.h"
#include "platform/Platform.h"
#include "prefs/gui/PreferencesWindow.h"
#include "prefs/myPrefs.h"
#include "prefs/XPrefs.h"
#include "preview/PlayerDetection.h"
#include "upload/gui/PutSubtitles.h"
#include "window/MainMenubar.h"
#include "window/MenuCommandTarget.h"
#include "window/WindowOrder.h"

#include <algorithm>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcApp, "lumbra.app")

App::App(int &argc, char **argv)
    : WindowHost(argc, argv)
    , m_order(new WindowOrder(this))
    , m_router(new DocumentRouter(m_order, this))
    , m_menubar(new MainMenubar([this](const QString &name) { return dispatchMenuCommand(name); },
                                [this](const QString &name) { return menuCommandEnabled(name); }, this))
{
    setApplicationName(u"lumbra"_s);
    setApplicationVersion(QStringLiteral(LUMBRA_VERSION));
    // Ties the windows to lumbra.desktop (icon and name in the task bar).
    setDesktopFileName(u"lumbra"_s);
    // Before any worker runs or any preference is saved.
    installDesktopHooks(std::make_unique<GuiDesktopHooks>());
    XPrefsSaving::installHooks();
    // Any player the preview can run counts, the one shipped beside Lumbra
    // included; "copied" is that shipped one alone.
    m_testLocalPlayers = [] { return findPlayer(ResourcePaths::appF()).isValid(); };
    m_testCopiedPlayers = [] { return hasBundledPlayer(ResourcePaths::appF()); };
    GetSubtitlesWindow::registerWith(*m_router);
    PutSubtitles::registerWith(*m_router);
    m_preferencesCreator = [] { return new PreferencesWindow; };
    // The menus' shortcuts work in every window from the first one on.
    m_menubar->watchWindows();
}

App::~App()
{
    // The windows go before the objects they reach through the application.
    // Popups that belong to a window (a menu bar's overflow menu, say) are
    // listed too but go with their window: guard against deleting twice.
    const QList<QWidget *> all = topLevelWidgets();
    QList<QPointer<QWidget>> windows;
    for (QWidget *w : all) {
        if (!w->parentWidget())
            windows.append(w);
    }
    for (const QPointer<QWidget> &w : std::as_const(windows))
        delete w.data();
    // The windows cancelled their jobs as they went; what still runs drops its
    // transfer too. The process ends without waiting for long.
    WorkerThreads::requestStop();
    if (!WorkerThreads::waitForAll(std::chrono::milliseconds(1500)))
        qCWarning(lcApp) << WorkerThreads::running() << "worker routines still run at exit";
}

App *App::instance()
{
    return qobject_cast<App *>(QCoreApplication::instance());
}

int App::run()
{
    // The debug log (timing traces and debug lines) lies on the desktop; the
    // terminal keeps warnings and errors.
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty())
        MethodProfiler::setLogFolder(desktop);
    DebugLog::sendToLogFile();
    // Only the program itself: tests of the windows keep their secrets in their own files.
    installSecretStore(std::make_unique<KeyringSecretStore>());

    const QStringList documents = SingleInstance::documentPaths(arguments().mid(1), QDir::currentPath());
    m_instance = new SingleInstance(SingleInstance::defaultServerName(), this);
    if (!m_instance->listen()) {
        if (m_instance->handOver(documents))
            return 0;
        // The running instance does not answer; this one carries on alone.
        qCWarning(lcApp) << "Another Lumbra runs but does not answer; opening here";
    }
    connect(m_instance, &SingleInstance::documentsReceived, this, &App::takeDocuments);

    startUp();
    for (const QString &document : documents)
        openDocument(document);
    return exec();
}

void App::startUp()
{
    setQuitOnLastWindowClosed(true);
    myPrefs::prefsdir(); // creates the folder when it is missing
    myPrefs::loadAllPrefs();
    // Changes made to the file while Lumbra runs are taken in at once; an
    // open preferences window shows them and saves only its own edits.
    m_prefsWatcher = new PrefsFileWatcher(XPrefs::filePath(), this);
    connect(m_prefsWatcher, &PrefsFileWatcher::reloaded, this, &App::preferencesReloaded);
    translationStrings::installTranslator();
    m_rsrcsF = ResourcePaths::rsrcsF();
    m_fontsF = ResourcePaths::fontsF();
    ResourcePaths::registerBundledFonts();
    showHome();
    tellPreferenceFileProblem();
    // Downloads held back for an earlier day's quota, now that it renewed.
    GetSubtitlesWindow::offerWaitingDownloads(*m_router);
}

// Said once, over the home window: a damaged preference file was set aside.
void App::tellPreferenceFileProblem()
{
    const QString problem = XPrefs::TakeLoadProblem();
    if (problem.isEmpty())
        return;
    MessageDialogRequest note;
    note.kind = u"note"_s;
    note.actionCaption = u"OK"_s;
    note.message = tr("Your preferences could not be read as they were.");
    note.explanation = problem;
    platform().showMessageDialog(m_home, note);
}

void App::showHome()
{
    if (!m_home) {
        m_home = new homeWindow(*m_router);
        m_menubar->attach(m_home);
    }
    m_home->show();
    m_home->raise();
    m_home->activateWindow();
}

void App::showPreferences(bool atApiKey)
{
    if (!m_preferences) {
        if (!m_preferencesCreator) {
            qCWarning(lcApp) << "There is no preferences window yet";
            return;
        }
        m_preferences = m_preferencesCreator();
        if (!m_preferences)
            return;
    }
    m_preferences->show();
    m_preferences->raise();
    m_preferences->activateWindow();
    if (atApiKey)
        QMetaObject::invokeMethod(m_preferences, "focusApiKey");
}

void App::showAbout()
{
    MessageDialogRequest about;
    about.kind = u"note"_s;
    about.actionCaption = u"OK"_s;
    about.message = u"Lumbra %1"_s.arg(applicationVersion());
    about.explanation = u"Gets subtitles for your videos from OpenSubtitles."_s;
    platform().showMessageDialog(nullptr, about);
}

void App::setPreferencesWindowCreator(std::function<QWidget *()> creator)
{
    m_preferencesCreator = std::move(creator);
}

void App::setOpenChooser(std::function<QStringList()> chooser)
{
    m_openChooser = std::move(chooser);
}

namespace {
// A file dialog that opens folders as well as files: Open with a folder
// selected takes the folder instead of going into it (a double click still
// goes in).
class OpenDialog final : public QFileDialog {
public:
    OpenDialog()
        : QFileDialog(nullptr, u"Open Videos, Subtitles or Folders"_s)
    {
        setFileMode(QFileDialog::ExistingFiles);
        setOption(QFileDialog::DontUseNativeDialog);
        setNameFilters({u"Videos and subtitles (*%1)"_s.arg(
                            FileTypes::intakeExtensionList().split(u';', Qt::SkipEmptyParts).join(" *"_L1)),
                        u"All files (*)"_s});
    }

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        const bool folders =
            !chosen.isEmpty() && std::all_of(chosen.cbegin(), chosen.cend(),
                                             [](const QString &p) { return QFileInfo(p).isDir(); });
        if (folders && !selectedFolderIsCurrent(chosen)) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

private:
    // Nothing picked in the list leaves the folder shown: Open goes nowhere.
    bool selectedFolderIsCurrent(const QStringList &chosen) const
    {
        return chosen.size() == 1 && QDir(chosen.first()) == directory();
    }
};

QStringList chooseDocuments()
{
    OpenDialog dialog;
    dialog.setDirectory(QDir::home());
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}
} // namespace

void App::openFiles()
{
    const QStringList chosen = m_openChooser ? m_openChooser() : chooseDocuments();
    for (const QString &path : chosen)
        openDocument(path);
}

void App::takeDocuments(const QStringList &paths)
{
    bringAppToFront();
    for (const QString &path : paths)
        openDocument(path);
}

void App::openDocument(const QString &path)
{
    m_router->openDocument(path);
}

bool App::hasAPlayer()
{
    if (!m_hasAPlayer && m_testLocalPlayers)
        m_hasAPlayer = m_testLocalPlayers();
    return m_hasAPlayer;
}

bool App::gotAPlayer()
{
    if (!m_gotAPlayer && m_testCopiedPlayers)
        m_gotAPlayer = m_testCopiedPlayers();
    return m_gotAPlayer;
}

void App::setPlayerTests(std::function<bool()> localPlayers, std::function<bool()> copiedPlayers)
{
    m_testLocalPlayers = std::move(localPlayers);
    m_testCopiedPlayers = std::move(copiedPlayers);
    m_hasAPlayer = false;
    m_gotAPlayer = false;
}

void App::bringAppToFront()
{
    platform().bringToFront(nullptr);
}

QWidget *App::frontWindow() const
{
    if (QWidget *active = activeWindow())
        return active;
    const QList<QWidget *> windows = m_order->frontToBack();
    for (QWidget *w : windows) {
        if (w->isVisible())
            return w;
    }
    return nullptr;
}

namespace {
// The focused widget of `front`, where the Edit items work first.
QWidget *focusIn(const QWidget *front)
{
    QWidget *focus = QApplication::focusWidget();
    return focus && front && focus->window() == front ? focus : nullptr;
}
} // namespace

bool App::dispatchMenuCommand(const QString &name)
{
    QWidget *front = frontWindow();
    if (TextEditCommands::isEditCommand(name) && TextEditCommands::edit(focusIn(front), name))
        return true;
    if (auto *target = dynamic_cast<MenuCommandTarget *>(front)) {
        if (target->menuCommand(name))
            return true;
    }
    return menuCommand(name);
}

bool App::menuCommandEnabled(const QString &name)
{
    QWidget *front = frontWindow();
    if (TextEditCommands::isEditCommand(name) && TextEditCommands::canEdit(focusIn(front), name))
        return true;
    if (auto *target = dynamic_cast<MenuCommandTarget *>(front); target && target->canHandleMenuCommand(name))
        return true;
    return canHandleMenuCommand(name);
}

bool App::canHandleMenuCommand(const QString &name) const
{
    const auto is = [&name](QLatin1StringView command) {
        return name.compare(command, Qt::CaseInsensitive) == 0;
    };
    if (is("GetSubtitlesWindowMenuItem"_L1))
        return m_router->canCreate(WorkflowKind::Download) ||
               m_router->frontmostVisible(WorkflowKind::Download);
    if (is("PutSubtitlesWindowMenuItem"_L1))
        return m_router->canCreate(WorkflowKind::Upload) || m_router->frontmostVisible(WorkflowKind::Upload);
    if (is("ItemOptionsMenuItem"_L1) || is("WindowMenuPrefs"_L1))
        return m_preferences || m_preferencesCreator;
    return is("HomeWindowMenuItem"_L1) || is("FileQuit"_L1) || is("AboutMenuItem"_L1) || is("FileOpen"_L1);
}

bool App::menuCommand(const QString &name)
{
    const auto is = [&name](QLatin1StringView command) {
        return name.compare(command, Qt::CaseInsensitive) == 0;
    };
    if (is("GetSubtitlesWindowMenuItem"_L1)) {
        m_router->showDefault(WorkflowKind::Download);
        return true;
    }
    if (is("PutSubtitlesWindowMenuItem"_L1)) {
        m_router->showDefault(WorkflowKind::Upload);
        return true;
    }
    if (is("HomeWindowMenuItem"_L1)) {
        showHome();
        return true;
    }
    if (is("ItemOptionsMenuItem"_L1) || is("WindowMenuPrefs"_L1)) {
        showPreferences();
        return true;
    }
    if (is("AboutMenuItem"_L1)) {
        showAbout();
        return true;
    }
    if (is("FileOpen"_L1)) {
        openFiles();
        return true;
    }
    if (is("FileQuit"_L1)) {
        quitAfterClosingWindows();
        return true;
    }
    return false;
}

void App::quitAfterClosingWindows()
{
    // Every window runs its own close handling, front to back. A window
    // that is busy hides at once and goes when its work has stopped; only a
    // window the user keeps (by answering its question) stops the quit.
    QList<QPointer<QWidget>> shown;
    const QList<QWidget *> ordered = m_order->frontToBack();
    for (QWidget *w : ordered) {
        if (w->isVisible())
            shown.append(w);
    }
    for (QWidget *w : topLevelWidgets()) {
        if (w->isVisible() && !w->parentWidget() && !ordered.contains(w))
            shown.append(w);
    }
    for (const QPointer<QWidget> &w : std::as_const(shown)) {
        if (!w || !w->isVisible())
            continue;
        w->close();
        if (w && w->isVisible())
            return;
    }
    quit();
}

bool App::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return true;
    }
}

homeWindow *App::home() const
{
    return m_home.data();
}
