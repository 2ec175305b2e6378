#include "preview/VideoPlacement.h"

#include <algorithm>
#include <cmath>

namespace {

int scaled(int length, double ratio)
{
    // A ratio made to fit a length exactly must give that length back.
    return int(std::trunc(double(std::max(length, 0)) * ratio + 1e-9));
}

void scaleBy(VideoPlacement &p, double ratio, int videoWidth, int videoHeight)
{
    p.ratio = ratio;
    p.scaledWidth = scaled(videoWidth, ratio);
    p.scaledHeight = scaled(videoHeight, ratio);
}

// The video beside the window, on the side with more room, as large as that
// room allows.
void placeBeside(VideoPlacement &p, const QRect &window, const QRect &area, int videoWidth, int videoHeight)
{
    const int right = area.x() + area.width() - (window.x() + window.width()) - 2 * VideoPlacement::SideGap;
    const int left = window.x() - area.x() - 2 * VideoPlacement::SideGap;
    const int side = std::max({right, left, 1});
    const int height = std::max(area.height() - VideoPlacement::TitleRoom, 1);
    scaleBy(p, std::min({1.0, double(side) / videoWidth, double(height) / videoHeight}), videoWidth,
            videoHeight);
    p.moveWindow = false;
    p.windowTop = window.y();
    p.videoX = right >= left ? window.x() + window.width() + VideoPlacement::SideGap
                             : window.x() - VideoPlacement::SideGap - p.scaledWidth;
    p.videoY = std::min(window.y(), area.y() + area.height() - p.scaledHeight);
    p.videoY = std::max(p.videoY, area.y() + VideoPlacement::TitleRoom);
}

} // namespace

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
    const int areaTop = p.screen >= 0 ? area.y() : 0;

    if (videoWidth > 0)
        scaleBy(p, std::min(1.0, double(window.width()) / double(videoWidth)), videoWidth, videoHeight);
    else
        scaleBy(p, 1.0, videoWidth, videoHeight);

    // Above the window: the video and two title bars.
    const int needed = areaTop + p.scaledHeight + 2 * TitleRoom;
    p.windowTop = std::max(top, needed);
    if (p.screen >= 0) {
        // ...but the whole window stays on the screen.
        const int lowest = area.y() + area.height() - window.height() - BottomRoom;
        p.windowTop = std::max(std::min(p.windowTop, lowest), area.y() + TitleRoom);
        const int room = p.windowTop - areaTop - 2 * TitleRoom;
        if (videoHeight > 0 && room < p.scaledHeight) {
            if (room < MinimumHeight) {
                placeBeside(p, window, area, std::max(videoWidth, 1), videoHeight);
                return p;
            }
            scaleBy(p, double(room) / double(videoHeight), videoWidth, videoHeight);
        }
    }
    p.moveWindow = p.windowTop != top;
    p.videoX = left;
    p.videoY = p.windowTop - TitleRoom - p.scaledHeight;
    return p;
}

VideoPlacement VideoPlacement::inDevicePixels(double scale) const
{
    VideoPlacement p = *this;
    const auto device = [scale](int length) { return int(std::lround(length * scale)); };
    p.availableHeight = device(availableHeight);
    p.scaledWidth = device(scaledWidth);
    p.scaledHeight = device(scaledHeight);
    p.windowTop = device(windowTop);
    p.videoX = device(videoX);
    p.videoY = device(videoY);
    return p;
}
