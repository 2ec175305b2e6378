#pragma once

#include "window/DocumentRouter.h"
#include "window/WindowHost.h"

#include <QPointer>

#include <functional>

class homeWindow;
class MainMenubar;
class PrefsFileWatcher;
class SingleInstance;
class WindowOrder;

// The application object: what exists once per process. Start-up, the first
// window, documents handed to Lumbra from outside (launch arguments, the
// desktop, later launches), the application's own menu commands, the report
// of errors nobody handled, the name in window titles and bringing Lumbra to
// the front.
class App final : public WindowHost {
    Q_OBJECT
public:
    App(int &argc, char **argv);
    ~App() override;

    // The running application, or null (in programs that are not Lumbra).
    static App *instance();

    // The whole program: hands the launch's documents to an instance that
    // already runs and returns 0, or starts up, opens the documents and runs
    // the event loop.
    int run();

    // The start-up sequence: quit with the last window, load the
    // preferences, find the resource folders, show the home window.
    void startUp();

    // Resource folders: pictures under rsrcsF, fonts under fontsF.
    QString rsrcsF() const { return m_rsrcsF; }
    QString fontsF() const { return m_fontsF; }
    // The preview's subtitle font.
    QString playerfont;

    // Whether a usable player is installed, and whether one ships next to
    // Lumbra. Tested on first read; a negative answer is tested again on
    // the next read, a positive one is kept.
    bool hasAPlayer() override;
    bool gotAPlayer();
    // Replaces the two player tests (tests use stand-ins).
    void setPlayerTests(std::function<bool()> localPlayers, std::function<bool()> copiedPlayers);

    // Raises and activates Lumbra's windows in front of other applications.
    void bringAppToFront();

    // A document opened with Lumbra (see DocumentRouter::openDocument).
    void openDocument(const QString &path);

    // A menu command: the focused text field's standard editing for the
    // Edit items, else the front window's handler, else the application's.
    bool dispatchMenuCommand(const QString &name);
    // Whether dispatchMenuCommand could carry out `name` now; the menu items
    // are enabled by it.
    bool menuCommandEnabled(const QString &name);
    // The application's own menu commands. True when handled.
    bool menuCommand(const QString &name) override;
    // Whether the application itself can carry out `name` now.
    bool canHandleMenuCommand(const QString &name) const;
    // The window menu commands go to: the active window, else the front-most
    // visible one; null when no window is shown.
    QWidget *frontWindow() const;

    // The menus. Windows that show a menu bar get it with attach().
    MainMenubar &menubar() override { return *m_menubar; }

    DocumentRouter &router() { return *m_router; }
    WindowOrder &windowOrder() { return *m_order; }
    homeWindow *home() const;

    // The preferences window: made on the first request by `creator`, shown
    // again on later ones while it exists.
    void setPreferencesWindowCreator(std::function<QWidget *()> creator);
    // Shows the preferences window; `atApiKey` puts the cursor in the REST
    // API key's field (the windows offer it when no key is set yet).
    void showPreferences(bool atApiKey = false) override;

    // File > Open: asks for videos, subtitles and folders (`chooser` replaces
    // the file dialog; tests use it) and opens each as a document.
    void setOpenChooser(std::function<QStringList()> chooser);

    // Errors that escape an event handler are reported in a message box and
    // the program goes on.
    bool notify(QObject *receiver, QEvent *event) override;

private:
    void showHome();
    void tellPreferenceFileProblem();
    void showAbout();
    void openFiles();
    void takeDocuments(const QStringList &paths);
    // "FileQuit": closes every window its own way, then quits unless the
    // user kept one open.
    void quitAfterClosingWindows();

    WindowOrder *m_order;
    DocumentRouter *m_router;
    MainMenubar *m_menubar;
    SingleInstance *m_instance = nullptr;
    PrefsFileWatcher *m_prefsWatcher = nullptr;
    QPointer<homeWindow> m_home;
    QPointer<QWidget> m_preferences;
    std::function<QWidget *()> m_preferencesCreator;
    std::function<QStringList()> m_openChooser;

    QString m_rsrcsF;
    QString m_fontsF;

    std::function<bool()> m_testLocalPlayers;
    std::function<bool()> m_testCopiedPlayers;
    bool m_hasAPlayer = false;
    bool m_gotAPlayer = false;
};
