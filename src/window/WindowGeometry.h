#pragma once

#include <QRect>
#include <QSize>
#include <QString>

// Where windows open and how big they are, worked out from the values saved
// when they last closed. Everything here is arithmetic on plain values, so it
// needs no display; the windows read the values, call these and apply them.
namespace WindowGeometry {

// The geometry values saved for one window prefix; a missing or non-numeric
// value reads as 0.
struct Saved {
    double screen = 0;   // "<prefix>.screen"
    int screenCount = 0; // "screenCount"
    int left = 0;        // "<prefix>.Left"
    int top = 0;         // "<prefix>.top"
    int width = 0;       // "<prefix>.width"
    int height = 0;      // "<prefix>.height"
};

// The index of the screen to open on: the saved one while it exists and the
// number of screens has not changed since, otherwise the first.
int screenIndex(double savedScreen, int savedScreenCount, int screenCount);

// Download windows: the outer bounds from the saved values, no further left
// or up than the available area, no larger than it and no smaller than the
// minimum.
QRect placeVariantA(const Saved &saved, const QRect &screen, const QRect &available, QSize minimum);

// Home, upload and preview windows: position and content size from the saved
// values, no further left or up than where the window stands now (`current`),
// no smaller than the minimum, then pulled back onto the available area:
// moved to x = 3 (or 3 below the available top) when even the minimum size
// would not fit, shrunk to the area's edge otherwise.
QRect placeVariantB(const Saved &saved, QPoint current, const QRect &available, QSize minimum);

// The outer bounds `outer` moved (and, when larger than the area, shrunk,
// though never below `minimum`) so that the whole window lies inside the
// available area: title bar, frame and buttons.
QRect keepInside(const QRect &outer, const QRect &available, QSize minimum);

// The reset size: the minimum size in the top-left corner of the available area.
QRect zoomRect(const QRect &available, QSize minimum);

// Preference keys, spelled as they are stored.
QString screenKey(const QString &prefix);           // prefix + ".screen"
QString screenCountReadKey();                       // "screenCount"
QString screenCountWriteKey(const QString &prefix); // prefix + ".screencount"
QString leftKey(const QString &prefix);             // prefix + ".Left"
QString topKey(const QString &prefix);              // prefix + ".top"
QString widthKey(const QString &prefix);            // prefix + ".width"
QString heightKey(const QString &prefix);           // prefix + ".height"

} // namespace WindowGeometry
