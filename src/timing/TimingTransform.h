#pragma once

#include <QString>

// How a subtitle's times map onto the video's: t' = t × ratio + offset.
// A ratio other than 1 undoes a frame-rate mismatch (25 against 23.976 fps
// stretches every time by 25/23.976).
struct TimingTransform {
    double ratio = 1.0;
    double offsetSeconds = 0.0;

    double apply(double seconds) const { return seconds * ratio + offsetSeconds; }
    bool changesRate() const;
    // What it does, for a person: "moved 2.3 s later", "stretched 25→23.976 fps",
    // both joined by ", ", or "no change".
    QString description() const;
};
