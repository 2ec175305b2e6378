#pragma once

#include "timing/TimingTransform.h"

#include <QByteArray>
#include <QString>

// Rewrites a subtitle file's times and nothing else: the cue texts, line
// endings, byte-order mark and encoding stay byte for byte as they were.
namespace SubtitleRetimer {

struct Retimed {
    QByteArray content; // the new file; empty when `error` says why not
    QString error;
};

// Whether files named like `fileName` can be rewritten (SRT and SUB).
bool canRewrite(const QString &fileName);

// `original` (the bytes of `fileName`) with every time mapped through
// `transform`; times that would fall before the start become 0. SUB files
// count frames, so they need the `fps` their frames were read at.
Retimed retime(const QByteArray &original, const QString &fileName, const TimingTransform &transform,
               double fps);

} // namespace SubtitleRetimer
