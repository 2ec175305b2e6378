#pragma once

#include <QString>
#include <QStringList>

// One cue of a subtitle file.
struct subLine {
    QString startTime; // as written in the file's time line, trimmed
    QString endTime;
    QStringList subText; // the cue's text lines in file order, untrimmed
    int lineID = 0;      // the cue number read from the file
    double startSeconds = 0;
    double endSeconds = 0;
    double durationSeconds = 0;

    // The text lines joined with `separator`; an empty separator joins with
    // the platform's line ending.
    QString lines(const QString &separator = QString()) const;
};
