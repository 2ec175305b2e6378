#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

class QPainter;

// The application's pictures and the picture operations its painted controls share.
//
// Pictures are QImages; an absent picture is a null QImage. Alpha stands in for a mask:
// an opaque pixel is a black mask pixel, a transparent one a white mask pixel. Icons are
// drawn as dark shapes on transparent ground and painted in a colour chosen at paint time.
// Font sizes handled here are pixel sizes, the unit of every control's geometry.
namespace Theme {

// The picture <rsrcsF>/Images/<folder>/<name>.png, read once and then served from a cache
// shared by all threads. Folder and name ignore letter case. A missing or unreadable
// picture gives a null image and is looked for again at the next request.
QImage getPic(const QString &name, const QString &folder);

// A new picture of the icon's size: the icon's shape in the flat colour. Where the icon is
// dark the colour shows; where it is light or transparent nothing does.
QImage IconAtColor(const QImage &icon, const QColor &colour);

// Tints the icon into the target: the target becomes transparent except for the icon's
// shape in the colour, scaled down to fit (never up) and centred (see TintPlacement).
// Returns the target, or a null image when the icon is null.
QImage IconAtColor(QImage &target, const QImage &icon, const QColor &colour);

// Where IconAtColor(target, icon, …) puts the icon: scaled by
// min(target w / icon w, target h / icon h, 1), truncated to whole pixels, centred.
QRect TintPlacement(const QSize &target, const QSize &icon);

// The picture cut to the shape of the mask icon (dark = kept), both drawn at (0, 0);
// used for the round language flags. Null when the picture is null.
QImage Masked(const QImage &picture, const QImage &maskIcon);

// Fits the painter's font to the box: starts at min(width, height) and lowers the size
// by one until the text's width is at most `width` and its ascent at most `height`, or
// the size reaches 0. A width or height of -1 means the painter's device's. The fitted
// size is left on the painter's font (at least 1, which Qt needs) and written to
// *fittedSize when given (0 when nothing fits). Always returns true.
bool FindFontSize(QPainter &g, const QString &text, int width, int height, int *fittedSize = nullptr);

// A lighter copy: `amount` 0 keeps the picture, 1 makes it white; the alpha is kept.
// Null for a null picture.
QImage Lighten(const QImage &picture, double amount);

// A copy with every pixel's colour (also where transparent), the alpha, the resolution and
// the text keys; 32 bits per pixel when `force32` is set, else the source's depth.
QImage Copy(const QImage &picture, bool force32);

// Whether the picture carries a mask (an alpha channel).
bool HasMask(const QImage &picture);

// RGB(level, level, level).
QColor Gray(int level);

} // namespace Theme
