#include "platform/LinuxPlatform.h"

#include "platform/ClipboardFiles.h"
#include "platform/MessageDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
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

void openFolderOf(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        qCWarning(lcPlatform) << "Could not open the folder" << folder;
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
