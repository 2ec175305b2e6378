#pragma once

#include "preview/subLine.h"

#include <QList>
#include <QString>

#include <vector>

// A cue's time span in seconds.
struct CueSpan {
    double start = 0;
    double end = 0;
};

namespace SpokenCues {

// True for a cue that marks a sound rather than words: "[MUSIC]", "(door
// slams)", "♪ la la ♪", or nothing once formatting tags are taken off.
// Such cues are not speech and would only mislead a match with the audio.
bool isSoundTag(const QStringList &lines);

// The spans of the cues that carry words, in start order; cues with no
// positive length are left out.
std::vector<CueSpan> spans(const QList<subLine> &cues);

} // namespace SpokenCues
