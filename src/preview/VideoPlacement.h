#pragma once

#include <QList>
#include <QRect>

// Where the video window goes relative to the preview window, so that
// neither covers the other and both stay on the screen: scaled to the
// preview window's width (never enlarged) and stacked above it, the preview
// window moving down to make room but never past the bottom of the available
// area. When the room above is still too small the video shrinks to fit; when
// even that would leave it tiny it goes beside the preview window instead.
struct VideoPlacement {
    // Room kept above a window for its title bar (the video's and the
    // preview's own, as `window` is the preview's inner area).
    static constexpr int TitleRoom = 32;
    // Room kept below the preview window for its frame.
    static constexpr int BottomRoom = 8;
    // Between the preview window and a video beside it.
    static constexpr int SideGap = 12;
    // A video shrunk below this height goes beside the preview instead.
    static constexpr int MinimumHeight = 120;

    int screen = -1;         // index of the screen holding the window's top-left corner
    int availableHeight = 0; // that screen's available height
    double ratio = 1;        // scale applied to the video, at most 1
    int scaledWidth = 0;     // video size after scaling, fraction dropped
    int scaledHeight = 0;
    bool moveWindow = false; // the preview window must move...
    int windowTop = 0;       // ...to this top (its current top otherwise)
    int videoX = 0;          // top-left of the video window, in screen
    int videoY = 0;          // coordinates measured from the top

    // Places the video for a preview window whose inner area is `window`
    // over screens with the available areas `screens` (in screen order). The
    // screen is the first whose available area holds the window's top-left
    // corner, edges included; the first screen when none does. A video of
    // unknown size (0) is not scaled.
    // The same place in device pixels, `scale` of them to a logical one: what
    // the player is told.
    VideoPlacement inDevicePixels(double scale) const;

    static VideoPlacement compute(const QRect &window, const QList<QRect> &screens, int videoWidth,
                                  int videoHeight);
};
