#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

void openForWriting(QFile &file)
{
    QDir().mkpath(QFileInfo(file.fileName()).absolutePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot make %s: %s", qPrintable(file.fileName()), qPrintable(file.errorString()));
}

} // namespace

QString makeSparseFile(const QString &path, qint64 size)
{
    QFile file(path);
    openForWriting(file);
    if (!file.resize(size))
        qFatal("cannot size %s: %s", qPrintable(path), qPrintable(file.errorString()));
    return path;
}

QString writeTestFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    openForWriting(file);
    if (file.write(bytes) != bytes.size())
        qFatal("cannot write %s: %s", qPrintable(path), qPrintable(file.errorString()));
    return path;
}

QByteArray readTestFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString oneCueSubtitle(const QString &text)
{
    return QStringLiteral("1\n00:00:01,000 --> 00:00:02,000\n") + text + u'\n';
}
