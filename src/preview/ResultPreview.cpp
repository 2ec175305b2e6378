#include "preview/ResultPreview.h"

#include "service/openSubtitleItem.h"

#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QThread>

#include <tuple>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcResultPreview, "lumbra.preview.fetch", QtInfoMsg)

namespace {

// Results whose preview copy is being fetched; guarded by its own lock,
// since the fetching thread takes a result off when it is done.
QMutex g_fetchingLock;
QSet<const openSubtitleItem *> g_fetching;

template<typename F> auto underLock(QMutex *lock, F &&f)
{
    if (lock) {
        const QMutexLocker guard(lock);
        return f();
    }
    return f();
}

bool readable(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

} // namespace

namespace ResultPreview {

QString readyCopy(const openSubtitleItem &result, QMutex *stateLock)
{
    const auto [downloaded, placed, temporary] = underLock(stateLock, [&result] {
        return std::tuple{result.Downloaded, result.localSubfile, result.localtempfile};
    });
    // A subtitle already placed beside the video is the one to look at.
    if (downloaded && readable(placed))
        return placed;
    return readable(temporary) ? temporary : QString();
}

QString title(const openSubtitleItem &result)
{
    const QString date = result.SubAddDate.isValid()
                             ? QLocale().toString(result.SubAddDate.date(), QLocale::ShortFormat)
                             : QString();
    return result.SubFileName + " ("_L1 + QString::number(result.SubDownloadsCnt) + u' ' + date + u')';
}

bool isFetching(const openSubtitleItem *result)
{
    const QMutexLocker guard(&g_fetchingLock);
    return g_fetching.contains(result);
}

void prepare(const std::shared_ptr<openSubtitleItem> &result, QMutex *stateLock, QObject *context,
             std::function<void(const QString &path)> done)
{
    if (!result) {
        if (done)
            done({});
        return;
    }
    const QString ready = readyCopy(*result, stateLock);
    if (!ready.isEmpty()) {
        if (done)
            done(ready);
        return;
    }
    {
        const QMutexLocker guard(&g_fetchingLock);
        if (g_fetching.contains(result.get()))
            return;
        g_fetching.insert(result.get());
    }

    QThread *thread = QThread::create([result, stateLock] {
        const auto [status, placed] = underLock(stateLock, [&result] {
            return std::pair{result->status, result->localSubfile};
        });
        const bool ok = result->Download(true, stateLock);
        underLock(stateLock, [&] {
            // The preview copy is all a preview leaves behind: the record's
            // download state goes back to what it was, unless its real
            // download finished meanwhile.
            if (!result->Downloaded) {
                result->status = status;
                result->localSubfile = placed;
            }
            return 0;
        });
        if (!ok)
            qCInfo(lcResultPreview) << "no preview copy of" << result->SubFileName;
        const QMutexLocker guard(&g_fetchingLock);
        g_fetching.remove(result.get());
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    if (context) {
        QObject::connect(thread, &QThread::finished, context, [result, stateLock, done = std::move(done)] {
            if (done)
                done(readyCopy(*result, stateLock));
        });
    }
    thread->start();
}

} // namespace ResultPreview
