#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Test videos whose speech is known, made by speech_case.py (espeak-ng and
// ffmpeg) in a folder of the test's own.
struct SpeechCue {
    double start = 0;
    double end = 0;
    bool spoken = true;
};

struct SpeechMedia {
    QString video;
    QList<SpeechCue> cues; // the true cues, in time order

    // Runs speech_case.py with `arguments` (see its help) writing into
    // `folder`; fails the test run when the tools are missing or fail.
    static SpeechMedia make(const QString &folder, const QStringList &arguments);
    // A copy of the video as `folder`/Film.mkv, the folder made; its path.
    QString copyAsFilm(const QString &folder) const;
};

// The service stand-in's catalogue of one film: `video` (its hash and
// size) with one English subtitle, "Film.en.srt", holding `subtitle`'s bytes.
QByteArray catalogueOfOneFilm(const QString &video, const QString &subtitle);

// The start times of an SRT file's cues, in file order.
QList<double> srtCueStarts(const QString &path);
