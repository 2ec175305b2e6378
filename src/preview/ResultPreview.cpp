#include "preview/ResultPreview.h"

#include "common/JobSession.h"
#include "common/WorkerThreads.h"
#include "service/openSubtitleItem.h"

#include <QCoreApplication>
#include <QPointer>

#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>

#include <atomic>
#include <tuple>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcResultPreview, "lumbra.preview.fetch", QtInfoMsg)

namespace {

// Results whose preview copy is being fetched; guarded by its own lock,
// since the fetching thread takes a result off when it is done.
QMutex g_fetchingLock;
QSet<const openSubtitleItem *> g_fetching;

bool readable(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

} // namespace

namespace ResultPreview {

QString readyCopy(const openSubtitleItem &result, const JobSession *session)
{
    const auto [downloaded, placed, temporary] = underSessionLock(session, [&result] {
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

void prepare(const std::shared_ptr<openSubtitleItem> &result, const std::weak_ptr<JobSession> &session,
             QObject *context, std::function<void(const QString &path)> done)
{
    if (!result) {
        if (done)
            done({});
        return;
    }
    // A result of a job that has already gone is nobody's to preview.
    const bool ownedByAJob = namesAJob(session);
    const std::shared_ptr<JobSession> owner = session.lock();
    if (ownedByAJob && !owner) {
        if (done)
            done({});
        return;
    }
    const QString ready = readyCopy(*result, owner.get());
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

    // The transfer works on a copy of the record: nothing the worker does
    // needs the window's lock, which may be gone with its window before the
    // transfer ends, and the record's own download state stays as it was.
    // Only the preview copy is written back, on this thread. The fetch is
    // dropped when the context goes or the program ends, so nothing waits
    // for it.
    const auto job =
        std::make_shared<openSubtitleItem>(underSessionLock(owner.get(), [&result] { return *result; }));
    const auto dropped = std::make_shared<std::atomic<bool>>(false);
    QPointer<QObject> receiver(context);
    if (context) {
        QObject::connect(context, &QObject::destroyed, [dropped] { *dropped = true; });
    } else {
        *dropped = true; // nobody would hear of it
    }
    QCoreApplication *app = QCoreApplication::instance();
    WorkerThreads::start(u"PreviewFetch"_s, [job, dropped, result, session, ownedByAJob, receiver, app,
                                             done = std::move(done)] {
        const auto stop = [&dropped] { return dropped->load() || WorkerThreads::stopping(); };
        if (!job->Download(true, nullptr, stop))
            qCInfo(lcResultPreview) << "no preview copy of" << job->SubFileName;
        {
            const QMutexLocker guard(&g_fetchingLock);
            g_fetching.remove(result.get());
        }
        if (stop() || !app)
            return;
        // Back on the context's thread; a context gone by then hears nothing.
        QMetaObject::invokeMethod(
            app,
            [result, job, session, ownedByAJob, receiver, done] {
                if (!receiver)
                    return;
                // The job may have ended while the transfer ran: its
                // records are then left alone and nobody is told.
                const std::shared_ptr<JobSession> owner = session.lock();
                if (ownedByAJob && !owner)
                    return;
                const QString copy = job->localtempfile;
                if (readable(copy)) {
                    underSessionLock(owner.get(), [&] {
                        result->localtempfile = copy;
                        return 0;
                    });
                }
                if (done)
                    done(readyCopy(*result, owner.get()));
            },
            Qt::QueuedConnection);
    });
}

} // namespace ResultPreview
