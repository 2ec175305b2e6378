#include "platform/GuiDesktopHooks.h"

#include "platform/Platform.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

namespace {
bool onMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}
} // namespace

void GuiDesktopHooks::showErrorBox(const QString &text)
{
    auto *box =
        new QMessageBox(QMessageBox::Warning, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

void GuiDesktopHooks::showError(const QString &text)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) {
        DesktopHooks::showError(text);
        return;
    }
    QMetaObject::invokeMethod(
        app, [text] { showErrorBox(text); }, Qt::QueuedConnection);
}

int GuiDesktopHooks::showMessageDialog(QObject *window, const QString &kind, const QString &actionCaption,
                                       const QString &cancelCaption, const QString &alternateCaption,
                                       const QString &message, const QString &explanation)
{
    const MessageDialogRequest request{kind,    actionCaption, cancelCaption, alternateCaption,
                                       message, explanation};
    QPointer<QWidget> parent = qobject_cast<QWidget *>(window);
    if (onMainThread())
        return platform().showMessageDialog(parent, request);
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return DesktopHooks::showMessageDialog(window, kind, actionCaption, cancelCaption, alternateCaption,
                                               message, explanation);
    int answer = Platform::NoButton;
    QMetaObject::invokeMethod(
        app, [&] { answer = platform().showMessageDialog(parent, request); }, Qt::BlockingQueuedConnection);
    return answer;
}

void GuiDesktopHooks::revealFile(const QString &path)
{
    if (onMainThread()) {
        platform().revealFile(path);
        return;
    }
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [path] { platform().revealFile(path); }, Qt::QueuedConnection);
}

QString GuiDesktopHooks::osVersion()
{
    return platform().osVersion();
}
