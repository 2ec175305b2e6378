#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Files for tests, made with their folders; a failure ends the test run, since
// nothing after it could mean anything. Both give back the path.

// A file of the given size that takes no disk space (all zero bytes).
QString makeSparseFile(const QString &path, qint64 size);
QString writeTestFile(const QString &path, const QByteArray &bytes);
// The file's bytes, or "<missing>" when it cannot be read.
QByteArray readTestFile(const QString &path);
// A subtitle of one cue that shows `text`.
QString oneCueSubtitle(const QString &text);
// A video made by ffmpeg from its test sources (`args` go between the inputs
// and the output name: maps, codecs, metadata), 3 s of 320x240 pictures at
// 25 fps, large enough to have a movie hash. An empty path when ffmpeg is
// missing or fails.
QString makeVideo(const QString &path, const QStringList &inputs, const QStringList &args);
