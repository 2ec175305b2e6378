#include "window/WindowGeometry.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace WindowGeometry {

int screenIndex(double savedScreen, int savedScreenCount, int screenCount)
{
    // A hand-edited value can be anything; an index past every screen falls
    // back to the first one below anyway.
    const double clamped = std::isfinite(savedScreen) ? std::max(savedScreen, 0.0) : 0.0;
    int index = clamped >= double(screenCount) ? screenCount : int(std::trunc(clamped));
    const int count = std::max(savedScreenCount, screenCount);
    if (count != screenCount)
        index = 0;
    if (index >= screenCount)
        index = 0;
    return index;
}

QRect placeVariantA(const Saved &saved, const QRect &screen, const QRect &available, QSize minimum)
{
    const int left = std::max(saved.left, available.left() - screen.left());
    const int top = std::max(saved.top, available.top() - screen.top());
    const int width = std::max(std::min(saved.width, available.width()), minimum.width());
    const int height = std::max(std::min(saved.height, available.height()), minimum.height());
    return {left, top, width, height};
}

QRect placeVariantB(const Saved &saved, QPoint current, const QRect &available, QSize minimum)
{
    int left = std::max(saved.left, current.x());
    int top = std::max(saved.top, current.y());
    int width = std::max(saved.width, minimum.width());
    int height = std::max(saved.height, minimum.height());

    // Sums in 64 bits: saved values come from a file a user may have edited.
    const qint64 availableWidth = available.width();
    if (qint64(left) + width > availableWidth) {
        if (qint64(left) + minimum.width() > availableWidth) {
            left = 3;
            if (availableWidth < qint64(width) + 3)
                width = minimum.width();
        } else {
            width = int(availableWidth - left);
        }
    }

    const qint64 availableHeight = available.height();
    if (qint64(top) + height > availableHeight) {
        if (qint64(top) + minimum.height() > availableHeight) {
            top = available.top();
            if (availableHeight < qint64(height) + top + 3)
                height = minimum.height();
            top += 3;
        } else {
            height = int(availableHeight - top);
        }
    }
    return {left, top, width, height};
}

QRect keepInside(const QRect &outer, const QRect &available, QSize minimum)
{
    QRect r = outer;
    r.setWidth(std::max(std::min(r.width(), available.width()), minimum.width()));
    r.setHeight(std::max(std::min(r.height(), available.height()), minimum.height()));
    // Right and bottom first: a window larger than the area keeps its top-left
    // corner (and so its title bar) in sight.
    if (r.right() > available.right())
        r.moveRight(available.right());
    if (r.bottom() > available.bottom())
        r.moveBottom(available.bottom());
    if (r.left() < available.left())
        r.moveLeft(available.left());
    if (r.top() < available.top())
        r.moveTop(available.top());
    return r;
}

QRect zoomRect(const QRect &available, QSize minimum)
{
    return {available.topLeft(), minimum};
}

QString screenKey(const QString &prefix)
{
    return prefix + ".screen"_L1;
}

QString screenCountReadKey()
{
    return u"screenCount"_s;
}

QString screenCountWriteKey(const QString &prefix)
{
    return prefix + ".screencount"_L1;
}

QString leftKey(const QString &prefix)
{
    return prefix + ".Left"_L1;
}

QString topKey(const QString &prefix)
{
    return prefix + ".top"_L1;
}

QString widthKey(const QString &prefix)
{
    return prefix + ".width"_L1;
}

QString heightKey(const QString &prefix)
{
    return prefix + ".height"_L1;
}

} // namespace WindowGeometry
