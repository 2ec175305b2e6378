#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>

class QUrl;
class QWidget;

// One screen as the window placement sees it: its whole rectangle and the
// part that windows may use (without panels and docks). Global coordinates.
struct ScreenArea {
    QRect geometry;
    QRect available;

    friend bool operator==(const ScreenArea &, const ScreenArea &) = default;
};

// The buttons and icon of a message dialog and what it answers.
struct MessageDialogRequest {
    QString kind; // "ask", "note" or "stop"; anything else keeps the default icon
    QString actionCaption;
    QString cancelCaption;
    QString alternateCaption;
    QString message;
    QString explanation;
};

// Everything Lumbra needs from the desktop it runs on. Windows and helpers
// call these instead of reaching for the desktop themselves, so a test can
// install a stand-in and the rest of the program stays portable.
class Platform {
public:
    // Answers of showMessageDialog.
    enum DialogResult { NoButton = 0, ActionButton = 1, CancelButton = 2, AlternateButton = 3 };

    virtual ~Platform() = default;

    // The files and folders copied to the clipboard, as absolute paths in
    // clipboard order; only those that exist.
    virtual QStringList clipboardFiles() = 0;

    // Opens a web address in the default browser. False when nothing took it.
    virtual bool openUrl(const QUrl &url) = 0;

    // Shows the file selected in the file manager; opens its folder when the
    // file manager cannot select it. Does not wait for the file manager.
    virtual void revealFile(const QString &path) = 0;

    // The screens, the first being the main one.
    virtual QList<ScreenArea> screens() = 0;

    // The window's unsaved-changes mark, shown in its title.
    virtual void setDocumentEdited(QWidget *window, bool edited) = 0;

    // Raises and activates `window`, or every visible window of the
    // application when it is null, in front of other applications.
    virtual void bringToFront(QWidget *window) = 0;

    // The operating system's product version, e.g. "12" on Debian 12.
    virtual QString osVersion() = 0;

    // A modal message dialog; attached to `window` (which is brought to the
    // front first) or application-modal when it is null. Main thread only.
    virtual int showMessageDialog(QWidget *window, const MessageDialogRequest &request) = 0;
};

// The platform in effect: the Linux desktop unless another one was installed.
Platform &platform();

// Replaces the platform in effect (tests install stand-ins); null restores
// the Linux desktop.
void installPlatform(std::unique_ptr<Platform> replacement);
