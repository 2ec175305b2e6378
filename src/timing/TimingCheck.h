#pragma once

#include "service/SubtitleDownload.h"
#include "timing/TimingTransform.h"

#include <QByteArray>
#include <QString>

#include <functional>

// What measuring a subtitle against its video's speech found.
struct TimingMeasurement {
    // Why there is no measurement (no audio track, no cues, cancelled…);
    // empty when the audio and cues were compared.
    QString error;
    TimingTransform transform;
    double confidence = 0; // 0 to 1
    double videoFrameRate = 0;
    int spokenCues = 0;
    // The subtitle's bytes as they were measured: a fix applies only to these.
    QByteArray subtitleContent;

    bool measured() const { return error.isEmpty(); }
    // Confident enough to act on.
    bool sure() const;
    // Sure, and the subtitle is out of step by enough to be worth rewriting:
    // a correct subtitle is never moved by a measuring error.
    bool fixAdvised() const;
    // Why nothing should change (error, low confidence, already in step).
    QString reasonToLeave() const;
};

// Measures a subtitle against the speech of its video and rewrites it to
// match. Runs on the caller's thread; meant for a worker or the command line.
namespace TimingCheck {

using CancelCheck = std::function<bool()>;

// Below this confidence nothing is changed.
constexpr double sureConfidence = 0.5;
// Offsets smaller than this are left alone (seconds).
constexpr double negligibleOffset = 0.1;

// Reads the subtitle's cues and the video's speech and aligns them. The
// audio track in the subtitle's language (from its name, "film.en.srt") is
// preferred. `cancelled` is checked while decoding, so a measurement stops
// within a second of being asked to.
TimingMeasurement measure(const QString &video, const QString &subtitle, const CancelCheck &cancelled = {});

struct FixResult {
    QString error;                               // empty when the fixed file is in place
    SubtitleDownload::PlacementResult placement; // where the file it replaced went
};

// What becomes of the subtitle a fix replaces.
enum class Previous {
    Keep,   // to the trash (or a backup beside it), as a replaced subtitle does
    Discard // a subtitle this run just placed: the fixed one simply takes its place
};

// Rewrites `subtitle` with the measured transform, only when a fix is
// advised; a file that changed since it was measured is left alone.
FixResult applyFix(const QString &subtitle, const TimingMeasurement &measurement,
                   Previous previous = Previous::Keep);

// What became of a subtitle a download just placed.
struct PlacedFix {
    TimingMeasurement measurement;
    bool fixed = false;
    QString note; // what was done ("moved 2.3 s later"), or why nothing was
};

// Measures a subtitle a download just placed and fixes it when sure: the
// rule of the preference "Fix timing after download", for the window and
// the command line alike. The unfixed download is not kept: it is the
// service's file, and the subtitle it replaced is already in the trash.
PlacedFix fixPlaced(const QString &video, const QString &subtitle, const CancelCheck &cancelled = {});

} // namespace TimingCheck
