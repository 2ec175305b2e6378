#include "app/WindowPlacement.h"

#include "app/App.h"
#include "platform/Platform.h"
#include "prefs/XPrefs.h"

#include <QWidget>

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

// The outer frame's extra size; nothing before the window is first shown.
QSize frameExtra(const QWidget *window)
{
    return window->frameGeometry().size() - window->size();
}

void setOuterBounds(QWidget *window, const QRect &outer)
{
    const QSize extra = frameExtra(window);
    window->move(outer.topLeft());
    window->resize(outer.size() - extra);
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
    return App::DisplayName() + " - "_L1 + ownTitle;
}

void placeVariantA(QWidget *window, const QString &prefix, const QString &ownTitle)
{
    window->setWindowTitle(windowTitle(ownTitle));
    const WindowGeometry::Saved saved = readSaved(prefix);
    const ScreenArea screen = screenFor(saved);
    const QSize minimum = window->minimumSize() + frameExtra(window);
    setOuterBounds(window, WindowGeometry::placeVariantA(saved, screen.geometry, screen.available, minimum));
}

void placeVariantB(QWidget *window, const QString &prefix, const QString &ownTitle)
{
    window->setWindowTitle(windowTitle(ownTitle));
    const WindowGeometry::Saved saved = readSaved(prefix);
    const ScreenArea screen = screenFor(saved);
    // Where a new window stands is ours to choose: the corner of the
    // available area, so that any saved place on the screen wins.
    if (!window->testAttribute(Qt::WA_Moved))
        window->move(screen.available.topLeft());
    const QRect rect =
        WindowGeometry::placeVariantB(saved, window->pos(), screen.available, window->minimumSize());
    window->move(rect.x(), rect.y());
    window->resize(rect.width(), rect.height());
}

void leaveVariantA(QWidget *window, const QString &prefix)
{
    store(prefix, window->frameGeometry());
}

void leaveVariantB(QWidget *window, const QString &prefix)
{
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
