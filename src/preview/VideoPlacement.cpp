#include "preview/VideoPlacement.h"

#include <algorithm>
#include <cmath>

VideoPlacement VideoPlacement::compute(const QRect &window, const QList<QRect> &screens, int videoWidth,
                                       int videoHeight)
{
    VideoPlacement p;
    const int left = window.x();
    const int top = window.y();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const QRect &s = screens[i];
        if (left >= s.x() && left <= s.x() + s.width() && top >= s.y() && top <= s.y() + s.height()) {
            p.screen = int(i);
            break;
        }
    }
    if (p.screen < 0 && !screens.isEmpty())
        p.screen = 0;
    const QRect area = p.screen >= 0 ? screens[p.screen] : QRect();
    p.availableHeight = area.height();

    if (videoWidth > 0)
        p.ratio = std::min(1.0, double(window.width()) / double(videoWidth));
    p.scaledWidth = int(std::trunc(double(std::max(videoWidth, 0)) * p.ratio));
    p.scaledHeight = int(std::trunc(double(std::max(videoHeight, 0)) * p.ratio));

    p.windowTop = top;
    if (top < p.scaledHeight + 60) {
        p.moveWindow = true;
        p.windowTop = p.scaledHeight + 80;
    }
    // The video sits straight above the (possibly moved) preview window,
    // kept on the screen's available area.
    p.videoX = left;
    p.videoY = p.windowTop - p.scaledHeight;
    if (p.screen >= 0)
        p.videoY = std::max(p.videoY, area.y());
    return p;
}
