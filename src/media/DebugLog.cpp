#include "media/DebugLog.h"

#include "media/MethodProfiler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutex>

using namespace Qt::Literals::StringLiterals;

namespace DebugLog {

namespace {

QtMessageHandler g_previous = nullptr;

QMutex &fileMutex()
{
    static QMutex mutex;
    return mutex;
}

void toLogFile(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg) {
        // The timing traces write the file themselves.
        if (qstrcmp(context.category, "lumbra.profiler") != 0)
            append(QString::fromLatin1(context.category ? context.category : "default") + u": "_s + message);
        return;
    }
    if (g_previous)
        g_previous(type, context, message);
}

} // namespace

void quietUnlessVerbose(bool verbose)
{
    if (!verbose)
        QLoggingCategory::setFilterRules(u"lumbra.*=false\nqt.*=false"_s);
}

void sendToLogFile()
{
    QtMessageHandler previous = qInstallMessageHandler(toLogFile);
    if (previous != toLogFile)
        g_previous = previous;
}

void append(const QString &line)
{
    const QMutexLocker lock(&fileMutex());
    const QString path = MethodProfiler::logFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        file.write((line + u'\n').toUtf8());
}

} // namespace DebugLog
