#pragma once

#include <QApplication>

class MainMenubar;

// The application as the windows see it. The application object (src/app)
// makes the windows, so it sits above them; the windows reach it through
// this base instead, which lives below them with their other base classes.
class WindowHost : public QApplication {
    Q_OBJECT
public:
    WindowHost(int &argc, char **argv);

    // The running application, or null (in programs that are not Lumbra).
    static WindowHost *instance();

    // The menus. Windows that show a menu bar get it with attach().
    virtual MainMenubar &menubar() = 0;

    // The application's own menu commands. True when handled.
    virtual bool menuCommand(const QString &name) = 0;

    // Whether a usable player is installed; the preview runs one.
    virtual bool hasAPlayer() = 0;

    // Shows the preferences window; `atApiKey` puts the cursor in the REST
    // API key's field (the windows offer it when no key is set yet).
    virtual void showPreferences(bool atApiKey = false) = 0;

    // The executable's name without ".exe" and what follows it, starting
    // with a capital letter: "Lumbra".
    static QString DisplayName();
    static QString displayNameOf(const QString &executableName);

Q_SIGNALS:
    // The preference file changed on disk and was read again.
    void preferencesReloaded();
};
