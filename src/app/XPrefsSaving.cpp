#include "app/XPrefsSaving.h"

#include "prefs/XPrefs.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QThread>

using namespace Qt::Literals::StringLiterals;

namespace {
QPointer<XPrefsSaving> &shown()
{
    static QPointer<XPrefsSaving> window;
    return window;
}

bool onMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs `step` on the main thread: at once there, queued from a worker (a
// save never waits for the window).
template<typename F> void onMain(F step)
{
    if (onMainThread())
        step();
    else if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, step, Qt::QueuedConnection);
}
} // namespace

XPrefsSaving::XPrefsSaving(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_label(new QLabel(u"Saving Preferences..."_s, this))
    , m_bar(new QProgressBar(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"Saving Preferences..."_s);

    QFont bold = QApplication::font();
    bold.setPointSizeF(bold.pointSizeF() * 11.0 / 13.0); // the small system font
    bold.setBold(true);
    m_label->setFont(bold);
    m_label->setGeometry(20, 14, 150, 20);
    // The text is built in one go, so the bar can only say "busy".
    m_bar->setRange(0, 0);
    m_bar->setTextVisible(false);
    m_bar->setGeometry(20, 38, 150, 16);
    setFixedSize(190, 68);
}

XPrefsSaving *XPrefsSaving::current()
{
    return shown().data();
}

void XPrefsSaving::showWindow()
{
    onMain([] {
        if (shown())
            return;
        auto *window = new XPrefsSaving;
        shown() = window;
        window->show();
        // The save keeps the main thread busy: draw the window now.
        window->repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
}

void XPrefsSaving::closeWindow()
{
    onMain([] {
        if (XPrefsSaving *window = shown().data()) {
            shown() = nullptr;
            window->close();
        }
    });
}

void XPrefsSaving::installHooks()
{
    XPrefs::setSavingWindowHooks(&XPrefsSaving::showWindow, &XPrefsSaving::closeWindow);
}
