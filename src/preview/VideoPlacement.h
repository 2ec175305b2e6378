#pragma once

#include <QList>
#include <QRect>

// Where the video window goes relative to the preview window: scaled to the
// preview window's width (never enlarged), above the preview window, which
// moves down when there is not room for the video above it.
struct VideoPlacement {
    int screen = -1;         // index of the screen holding the window's top-left corner
    int availableHeight = 0; // that screen's available height
    double ratio = 1;        // scale applied to the video, at most 1
    int scaledWidth = 0;     // video size after scaling, fraction dropped
    int scaledHeight = 0;
    bool moveWindow = false; // the preview window must move down...
    int windowTop = 0;       // ...to this top (its current top otherwise)
    int videoX = 0;          // top-left of the video window, in screen
    int videoY = 0;          // coordinates measured from the top

    // Places the video for a preview window with outer rectangle `window`
    // over screens with the available areas `screens` (in screen order). The
    // screen is the first whose available area holds the window's top-left
    // corner, edges included; the first screen when none does. A video of
    // unknown size (0) is not scaled.
    static VideoPlacement compute(const QRect &window, const QList<QRect> &screens, int videoWidth,
                                  int videoHeight);
};
