#include "window/WindowPlacement.h"

#include "platform/Platform.h"
#include "prefs/XPrefs.h"
#include "window/WindowHost.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace WindowPlacement {

namespace {

double number(const QString &key)
{
    bool ok = false;
    const double value = XPrefs::Value(key).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

int whole(const QString &key)
{
    const double value = std::trunc(number(key));
    // A hand-edited file may hold anything; keep it in a range the
    // arithmetic can add to without overflowing.
    constexpr double limit = 1e9;
    return int(std::clamp(value, -limit, limit));
}

ScreenArea screenFor(const WindowGeometry::Saved &saved)
{
    QList<ScreenArea> screens = platform().screens();
    if (screens.isEmpty())
        screens.append({QRect(0, 0, 1024, 768), QRect(0, 0, 1024, 768)});
    const int index = WindowGeometry::screenIndex(saved.screen, saved.screenCount, int(screens.size()));
    return screens.at(index);
}

// What the window manager's frame adds to a window, as last seen on any
// window: a window that has not been shown has no frame yet, and the one its
// neighbours wear is the best guess until its own arrives.
QSize &lastFrameExtra()
{
    static QSize extra(0, 0);
    return extra;
}

// The window's own frame, or none while the window manager has not told.
QSize ownFrameExtra(const QWidget *window)
{
    const QSize extra = window->frameGeometry().size() - window->size();
    if (!extra.isNull())
        lastFrameExtra() = extra;
    return extra;
}

QSize frameExtra(const QWidget *window)
{
    const QSize own = ownFrameExtra(window);
    return own.isNull() ? lastFrameExtra() : own;
}

void applyOuterBounds(QWidget *window, const QRect &outer, QSize extra)
{
    window->move(outer.topLeft());
    window->resize(outer.size() - extra);
}

constexpr char SettleTimerName[] = "WindowPlacementSettle";

// The window manager frames a window some time after it is shown. Until then
// the window was placed with a guessed frame (or none), so once the real one
// is known the outer bounds are set again if they came out different: the
// title bar inside the screen and the saved outer size kept exactly.
void settleOnceFramed(QWidget *window, const QRect &outer)
{
    constexpr int Interval = 50;
    constexpr int Tries = 40; // two seconds; a desktop without frames never tells
    auto *timer = new QTimer(window);
    timer->setObjectName(QString::fromLatin1(SettleTimerName));
    timer->setInterval(Interval);
    QObject::connect(timer, &QTimer::timeout, window, [window, timer, outer, tries = 0]() mutable {
        const QSize extra = ownFrameExtra(window);
        if (extra.isNull() && ++tries < Tries)
            return;
        timer->deleteLater();
        timer->stop();
        if (!extra.isNull() && window->frameGeometry() != outer)
            applyOuterBounds(window, outer, extra);
    });
    timer->start();
}

void setOuterBounds(QWidget *window, const QRect &outer)
{
    applyOuterBounds(window, outer, frameExtra(window));
    if (ownFrameExtra(window).isNull())
        settleOnceFramed(window, outer);
}

void store(const QString &prefix, const QRect &rect)
{
    XPrefs::setValue(WindowGeometry::leftKey(prefix), rect.x());
    XPrefs::setValue(WindowGeometry::topKey(prefix), rect.y());
    XPrefs::setValue(WindowGeometry::widthKey(prefix), rect.width());
    XPrefs::setValue(WindowGeometry::heightKey(prefix), rect.height());
    XPrefs::setValue(WindowGeometry::screenCountWriteKey(prefix), int(platform().screens().size()));
    XPrefs::Save();
}

// Whether another of the application's windows stands with its top-left
// corner at `corner`: a new window there would hide it exactly.
bool cornerTaken(const QWidget *window, QPoint corner)
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [&](const QWidget *other) {
        return other != window && other->isVisible() && other->windowType() == Qt::Window &&
               other->frameGeometry().topLeft() == corner;
    });
}

// New windows cascade: one that would open exactly on another moves down and
// right by a title bar's height until its corner is free, starting again at
// the area's corner when it would leave the area. A free place is kept as
// it is, so saved places win.
QRect cascaded(const QWidget *window, QRect outer, const QRect &available)
{
    const int step = std::max(24, frameExtra(window).height());
    for (int tries = 0; tries < 64 && cornerTaken(window, outer.topLeft()); ++tries) {
        outer.translate(step, step);
        if (!available.contains(outer))
            outer.moveTopLeft(available.topLeft());
    }
    return outer;
}

bool titleTaken(const QWidget *window, const QString &title)
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [&](const QWidget *other) {
        return other != window && other->isVisible() &&
               QString(other->windowTitle()).remove("[*]"_L1) == title;
    });
}

// "<display name> - <title>", numbered from 2 while an open window has the
// plain title ("Get Subtitles 2"), so the Window menu and the desktop's
// window list tell them apart.
QString numberedTitle(const QWidget *window, const QString &ownTitle)
{
    QString title = windowTitle(ownTitle);
    for (int number = 2; titleTaken(window, title); ++number)
        title = windowTitle(ownTitle + u' ' + QString::number(number));
    return title;
}

} // namespace

WindowGeometry::Saved readSaved(const QString &prefix)
{
    WindowGeometry::Saved saved;
    saved.screen = number(WindowGeometry::screenKey(prefix));
    saved.screenCount = whole(WindowGeometry::screenCountReadKey());
    saved.left = whole(WindowGeometry::leftKey(prefix));
    saved.top = whole(WindowGeometry::topKey(prefix));
    saved.width = whole(WindowGeometry::widthKey(prefix));
    saved.height = whole(WindowGeometry::heightKey(prefix));
    return saved;
}

QString windowTitle(const QString &ownTitle)
{
    return WindowHost::DisplayName() + " - "_L1 + ownTitle;
}

void placeVariantA(QWidget *window, const QString &prefix, const QString &ownTitle)
{
    window->setWindowTitle(numberedTitle(window, ownTitle));
    const WindowGeometry::Saved saved = readSaved(prefix);
    const ScreenArea screen = screenFor(saved);
    const QSize minimum = window->minimumSize() + frameExtra(window);
    const QRect outer = WindowGeometry::placeVariantA(saved, screen.geometry, screen.available, minimum);
    setOuterBounds(window, cascaded(window, WindowGeometry::keepInside(outer, screen.available, minimum),
                                    screen.available));
}

void placeVariantB(QWidget *window, const QString &prefix, const QString &ownTitle)
{
    window->setWindowTitle(numberedTitle(window, ownTitle));
    const WindowGeometry::Saved saved = readSaved(prefix);
    const ScreenArea screen = screenFor(saved);
    // Where a new window stands is ours to choose: the corner of the
    // available area, so that any saved place on the screen wins.
    if (!window->testAttribute(Qt::WA_Moved))
        window->move(screen.available.topLeft());
    const QRect rect =
        WindowGeometry::placeVariantB(saved, window->pos(), screen.available, window->minimumSize());
    // The rule fits the content; the frame must fit as well.
    const QSize extra = frameExtra(window);
    const QRect outer(rect.topLeft(), rect.size() + extra);
    const QRect inside = WindowGeometry::keepInside(outer, screen.available, window->minimumSize() + extra);
    setOuterBounds(window, cascaded(window, inside, screen.available));
}

void keepWhereItIs(QWidget *window)
{
    delete window->findChild<QTimer *>(QString::fromLatin1(SettleTimerName), Qt::FindDirectChildrenOnly);
}

void leaveVariantA(QWidget *window, const QString &prefix)
{
    ownFrameExtra(window); // remembered for the next window to open
    store(prefix, window->frameGeometry());
}

void leaveVariantB(QWidget *window, const QString &prefix)
{
    ownFrameExtra(window);
    store(prefix, QRect(window->pos(), window->size()));
}

void zoom(QWidget *window, const QString &prefix)
{
    const ScreenArea screen = screenFor(readSaved(prefix));
    const QSize minimum = window->minimumSize();
    setOuterBounds(window, WindowGeometry::zoomRect(screen.available, minimum + frameExtra(window)));
    window->resize(minimum);
}

} // namespace WindowPlacement
