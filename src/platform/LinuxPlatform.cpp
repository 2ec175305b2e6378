#include "platform/LinuxPlatform.h"

#include "platform/ClipboardFiles.h"
#include "platform/MessageDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSysInfo>
#include <QUrl>
#include <QWidget>
#include <QWindow>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcPlatform, "lumbra.platform")

namespace {

void raiseAndActivate(QWidget *window)
{
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}

// Nothing could show the file: say where it is, so the user can go there.
void tellCannotReveal(const QString &path)
{
    const QFileInfo info(path);
    MessageDialogRequest note;
    note.kind = u"note"_s;
    note.message =
        QCoreApplication::translate("LinuxPlatform", "No file manager could show %1.").arg(info.fileName());
    note.explanation =
        QCoreApplication::translate("LinuxPlatform", "It is in the folder %1.").arg(info.absolutePath());
    platform().showMessageDialog(nullptr, note);
}

// Opens the folder of `path` with the desktop's opener (xdg-open), and tells
// the user when it fails: xdg-open says so by its exit status, which Qt's own
// opening does not wait for.
void openFolderOf(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    // No parent: the application's end must not end a file manager that
    // xdg-open waits for. It deletes itself once xdg-open is done.
    auto *opener = new QProcess;
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, path](int code, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || code != 0) {
                             qCWarning(lcPlatform)
                                 << "Could not open the folder of" << path << "- xdg-open ended with" << code;
                             tellCannotReveal(path);
                         }
                         opener->deleteLater();
                     });
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, path](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        qCWarning(lcPlatform) << "Could not open the folder of" << path << "- no xdg-open";
        tellCannotReveal(path);
        opener->deleteLater();
    });
    opener->start(u"xdg-open"_s, {folder});
}

} // namespace

QStringList LinuxPlatform::clipboardFiles()
{
    return ClipboardFiles::existingFiles(QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard));
}

bool LinuxPlatform::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

void LinuxPlatform::revealFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return;
    const QString absolute = info.absoluteFilePath();

    // File managers that can select a file (Nautilus, Dolphin, Nemo, Caja,
    // Thunar...) offer org.freedesktop.FileManager1; the call is made without
    // waiting, and any error (no such service, no bus) opens the folder.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolderOf(absolute);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(u"org.freedesktop.FileManager1"_s, u"/org/freedesktop/FileManager1"_s,
                                       u"org.freedesktop.FileManager1"_s, u"ShowItems"_s);
    call << QStringList{QString::fromLatin1(QUrl::fromLocalFile(absolute).toEncoded())} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), qApp);
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, watcher, [absolute](QDBusPendingCallWatcher *w) {
            if (w->isError()) {
                qCInfo(lcPlatform) << "The file manager cannot select files:" << w->error().message();
                openFolderOf(absolute);
            }
            w->deleteLater();
        });
}

QList<ScreenArea> LinuxPlatform::screens()
{
    QList<ScreenArea> areas;
    const QList<QScreen *> all = QGuiApplication::screens();
    QScreen *primary = QGuiApplication::primaryScreen();
    if (primary)
        areas.append({primary->geometry(), primary->availableGeometry()});
    for (QScreen *screen : all) {
        if (screen != primary)
            areas.append({screen->geometry(), screen->availableGeometry()});
    }
    return areas;
}

void LinuxPlatform::setDocumentEdited(QWidget *window, bool edited)
{
    if (!window)
        return;
    // Qt shows the mark only where the title holds the placeholder.
    if (!window->windowTitle().contains("[*]"_L1))
        window->setWindowTitle(window->windowTitle() + "[*]"_L1);
    window->setWindowModified(edited);
}

void LinuxPlatform::bringToFront(QWidget *window)
{
    if (window) {
        raiseAndActivate(window);
        return;
    }
    // Raise every visible window, the active one last so it ends in front.
    QWidget *active = QApplication::activeWindow();
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w->isVisible() && w != active && !w->windowFlags().testFlag(Qt::Popup))
            w->raise();
    }
    if (active)
        raiseAndActivate(active);
    else {
        for (QWidget *w : windows) {
            if (w->isVisible() && !w->windowFlags().testFlag(Qt::Popup)) {
                raiseAndActivate(w);
                break;
            }
        }
    }
}

QString LinuxPlatform::osVersion()
{
    static const QString version = QSysInfo::productVersion();
    return version;
}

int LinuxPlatform::showMessageDialog(QWidget *window, const MessageDialogRequest &request)
{
    QWidget *parent = window ? window->window() : nullptr;
    if (parent)
        raiseAndActivate(parent);
    MessageDialog dialog(request, parent);
    dialog.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    dialog.exec();
    return dialog.answer();
}
