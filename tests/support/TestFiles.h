#pragma once

#include <QByteArray>
#include <QString>

// Files for tests, made with their folders; a failure ends the test run, since
// nothing after it could mean anything. Both give back the path.

// A file of the given size that takes no disk space (all zero bytes).
QString makeSparseFile(const QString &path, qint64 size);
QString writeTestFile(const QString &path, const QByteArray &bytes);
// The file's bytes, or "<missing>" when it cannot be read.
QByteArray readTestFile(const QString &path);
// A subtitle of one cue that shows `text`.
QString oneCueSubtitle(const QString &text);
