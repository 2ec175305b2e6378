#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

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

QString makeVideo(const QString &path, const QStringList &inputs, const QStringList &args)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        return QString();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QProcess make;
    make.start(ffmpeg, QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                                   QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                   QStringLiteral("testsrc=duration=3:size=320x240:rate=25")} +
                           inputs +
                           QStringList{QStringLiteral("-c:v"), QStringLiteral("mpeg4"),
                                       QStringLiteral("-b:v"), QStringLiteral("2M")} +
                           args + QStringList{path});
    if (!make.waitForFinished(60000) || make.exitStatus() != QProcess::NormalExit || make.exitCode() != 0)
        return QString();
    return path;
}
