#pragma once

#include <QString>

#include <memory>

class QFileInfo;
class QObject;

// What the core needs from the front end it runs under. The core never shows
// anything itself: the desktop application installs hooks that show dialogs
// on the main thread and talk to the file manager; lumbra-cli keeps the
// defaults, which write messages to stderr and answer dialogs with 0.
class DesktopHooks {
public:
    virtual ~DesktopHooks() = default;

    // A message the user must see, such as a file that cannot be opened.
    // Called from any thread; must not block waiting for the user.
    virtual void showError(const QString &text);

    // A message dialog with up to three buttons. `kind` is "ask", "note" or
    // "stop"; a caption of one character or less keeps the button's default
    // caption, an empty cancel/alternate caption hides that button. `window`
    // is the window to attach to, or null for an application-modal dialog.
    // Returns 1 for the action button, 2 for cancel, 3 for the alternate
    // button, 0 otherwise.
    virtual int showMessageDialog(QObject *window, const QString &kind, const QString &actionCaption,
                                  const QString &cancelCaption, const QString &alternateCaption,
                                  const QString &message, const QString &explanation);

    // Shows the file selected in the file manager.
    virtual void revealFile(const QString &path);

    // The operating system's product version, e.g. "12" on Debian 12.
    virtual QString osVersion();
};

// The hooks in effect. Front ends install theirs once at start-up, before any
// worker thread runs.
DesktopHooks &desktopHooks();
void installDesktopHooks(std::unique_ptr<DesktopHooks> hooks);

// The hooks under the names the rest of the program calls them by.

// A message dialog with up to three buttons (see showMessageDialog).
// Returns 1 for the action button, 2 for cancel, 3 for the alternate, else 0.
int ShowMessageDialog(QObject *window, const QString &kind, const QString &actionCaption,
                      const QString &cancelCaption, const QString &alternateCaption, const QString &message,
                      const QString &explanation);

// Shows the file selected in the file manager. Does nothing when the file
// does not exist.
void RevealDT(const QFileInfo &file);

// The operating system's version, asked of the hooks once and cached.
QString OSXVersion();
