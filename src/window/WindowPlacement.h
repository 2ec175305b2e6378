#pragma once

#include "window/WindowGeometry.h"

#include <QString>

class QWidget;

// Applies the window placement rules to real windows: reads and writes the
// geometry keys in the preference store and takes the screens from the
// platform. Both rules exist once here; every window calls them with its own
// key prefix.
namespace WindowPlacement {

// The saved values of `prefix`; missing or non-numeric ones read as 0.
WindowGeometry::Saved readSaved(const QString &prefix);

// "<display name> - <title>".
QString windowTitle(const QString &ownTitle);

// Download windows: the saved outer bounds, fitted to the screen, set at
// once. Sets the title; does not show the window.
void placeVariantA(QWidget *window, const QString &prefix, const QString &ownTitle);

// Home, upload and preview windows: the saved position and content size,
// pulled back onto the screen. A window that has never been shown stands at
// the top-left corner of the available area before the rule applies. Sets
// the title; does not show the window.
void placeVariantB(QWidget *window, const QString &prefix, const QString &ownTitle);

// A window placed before the window manager framed it is placed again once
// the frame is known; a window the program moves on purpose meanwhile calls
// this first, so its new place stays.
void keepWhereItIs(QWidget *window);

// Stores the window's geometry (variant A: the outer bounds; variant B: the
// position and the content size) and the number of screens, then writes the
// preference file at once.
void leaveVariantA(QWidget *window, const QString &prefix);
void leaveVariantB(QWidget *window, const QString &prefix);

// Shrinks the window to its minimum size in the top-left corner of its
// screen's available area.
void zoom(QWidget *window, const QString &prefix);

} // namespace WindowPlacement
