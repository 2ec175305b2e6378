#include "media/MethodProfiler.h"

#include "common/AppIdentity.h"
#include "media/DebugLog.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcProfiler, "lumbra.profiler")

namespace {

thread_local MethodProfiler *t_innermost = nullptr;
thread_local int t_depth = 0;

QMutex &folderMutex()
{
    static QMutex mutex;
    return mutex;
}

QString &logFolder()
{
    static QString folder;
    return folder;
}

void writeLine(int depth, const QString &line)
{
    qCDebug(lcProfiler).noquote() << QString(2 * depth, u' ') + line;
    DebugLog::append(QString(depth, u'\t') + line);
}

QString millis(qint64 ns)
{
    return QString::number(double(ns) / 1e6, 'f', 3);
}

} // namespace

MethodProfiler::MethodProfiler(const QString &label)
    : m_label(label)
    , m_parent(t_innermost)
{
    writeLine(t_depth, u"<"_s + m_label + u"> Entered"_s);
    ++t_depth;
    t_innermost = this;
    m_timer.start();
}

MethodProfiler::~MethodProfiler()
{
    const qint64 elapsed = m_timer.nsecsElapsed();
    t_innermost = m_parent;
    --t_depth;
    if (m_parent)
        m_parent->m_nestedNs += elapsed;

    QString line = u"<"_s + m_label + u"> "_s + millis(elapsed) + u"ms"_s;
    const qint64 missing = elapsed - m_nestedNs;
    if (elapsed > 0 && missing * 10 > elapsed) {
        const double percent = 100.0 * double(missing) / double(elapsed);
        line += u" (missing "_s + millis(missing) + u"ms, "_s + QString::number(percent, 'f', 0) + u"%)"_s;
    }
    writeLine(t_depth, line);
}

void MethodProfiler::setLogFolder(const QString &folder)
{
    const QMutexLocker lock(&folderMutex());
    logFolder() = folder;
}

QString MethodProfiler::logFilePath()
{
    {
        const QMutexLocker lock(&folderMutex());
        if (!logFolder().isEmpty())
            return logFolder() + u"/methodprofiler.log"_s;
    }
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + AppName();
    return dir + u"/methodprofiler.log"_s;
}
