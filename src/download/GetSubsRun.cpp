#include "download/GetSubsRun.h"

#include "download/DownloadJob.h"
#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "service/ClientIntake.h"
#include "service/DownloadQueue.h"
#include "service/FailureWords.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QSet>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcGetSubs, "lumbra.getsubs")

using Status = GetSubsOutcome::Status;

GetSubsOutcome outcomeFor(Status status, const QString &video, const QString &lang,
                          const QString &reason = {})
{
    GetSubsOutcome outcome;
    outcome.status = status;
    outcome.video = video;
    outcome.lang = lang;
    outcome.reason = reason;
    return outcome;
}
// A video that needs nothing in `lang`: a subtitle beside it, or one inside it.
GetSubsOutcome covered(const movieFile &video, const QString &lang, const QString &beside)
{
    GetSubsOutcome outcome = outcomeFor(Status::Skipped, video.path(), lang, beside);
    if (!DownloadJob::hasLocalSubtitleIn(video, lang) && video.carriesSubtitleIn(lang)) {
        outcome.reason = u"the video carries a subtitle in this language"_s;
        outcome.insideVideo = true;
    }
    return outcome;
}
} // namespace

QString GetSubsOutcome::statusName(Status status)
{
    switch (status) {
    case Status::Placed:
        return u"placed"_s;
    case Status::None:
        return u"none"_s;
    case Status::Skipped:
        return u"skipped"_s;
    case Status::Failed:
        return u"failed"_s;
    case Status::Waiting:
        return u"waiting"_s;
    }
    return QString();
}

GetSubsRun::GetSubsRun(const RunSettings &settings, Progress *progress)
    : m_settings(settings)
    , m_progress(progress)
    , m_job(DownloadJob::create())
{
    m_job->fixSettings(m_settings);
}

GetSubsRun::~GetSubsRun()
{
    m_job->cancel();
    // A command-line run may wait for its own intake items to notice.
    m_job->intake().waitUntilDone(std::chrono::seconds(5));
}

bool GetSubsRun::addPath(const QString &path)
{
    return m_job->addPath(path);
}

QString GetSubsRun::providerName() const
{
    return m_job->providerName();
}

void GetSubsRun::report(const QString &label, int total)
{
    if (m_progress)
        m_progress->step(label, total);
}

void GetSubsRun::advance(int done, const QString &detail)
{
    if (m_progress)
        m_progress->advance(done, detail);
}

void GetSubsRun::markWaiting(const QList<std::pair<qsizetype, std::shared_ptr<movieFile>>> &queued,
                             QList<GetSubsOutcome> &outcomes) const
{
    const QMutexLocker guard(&m_job->records().stateLock());
    for (const auto &held : m_job->heldForQuota()) {
        const auto at = std::find_if(queued.cbegin(), queued.cend(),
                                     [&](const auto &entry) { return entry.second == held; });
        if (at == queued.cend())
            continue;
        GetSubsOutcome &outcome = outcomes[at->first];
        const auto result = DownloadQueue::chosen(*held);
        outcome.status = Status::Waiting;
        outcome.reason = result->downloadError;
        outcome.matchedBy = result->MatchedBy;
        outcome.subFileName = result->SubFileName;
    }
}

QList<GetSubsOutcome> GetSubsRun::run()
{
    report(u"Listing files"_s, 0);
    m_job->intake().waitUntilDone();
    JobRecords &records = m_job->records();

    const QStringList &languages = m_settings.languages;
    const bool refreshSubs = m_settings.refreshSubs();
    QList<GetSubsOutcome> outcomes;
    for (const auto &[shown, reason] : m_job->intake().notTakenIn()) {
        outcomes.append(outcomeFor(Status::Skipped, shown, {}, reason));
        outcomes.last().unhandled = true;
    }
    auto skipAll = [&](const movieFile &video) {
        for (const QString &lang : languages)
            outcomes.append(covered(video, lang, u"a subtitle lies beside it for every language"_s));
    };

    // The window's listing rule; only checked videos are searched.
    QList<std::shared_ptr<movieFile>> all;
    {
        const QMutexLocker guard(&records.stateLock());
        std::stable_sort(records.movieFiles.begin(), records.movieFiles.end(),
                         [](const auto &a, const auto &b) { return a->path() < b->path(); });
        all = records.movieFiles;
    }
    QSet<const movieFile *> listed;
    for (const auto &video : m_job->takeNewRecords(m_settings.prefs.ListAllFiles, refreshSubs))
        listed.insert(video.get());
    QList<std::shared_ptr<movieFile>> videos;
    {
        const QMutexLocker guard(&records.stateLock());
        for (const auto &video : std::as_const(all)) {
            if (listed.contains(video.get()) && video->isChecked)
                videos.append(video);
            else
                skipAll(*video);
        }
        records.movieFiles = videos;
    }
    if (videos.isEmpty()) {
        qCInfo(lcGetSubs) << "nothing to search";
        return outcomes;
    }

    report(u"Hashing"_s, int(videos.size()));
    bool searchReported = false;
    m_job->runSearch(false, [&](int done, const QString &name) {
        advance(done, name);
        if (done == int(videos.size()) && !searchReported) {
            searchReported = true;
            report(u"Searching"_s, 0);
        }
    });
    const bool searched = m_job->isState(DownloadJob::State::SuccessSearching);
    const QString failure = searched ? QString() : FailureWords::describe(m_job->searchFailure());
    const ServiceError stepFailure = m_job->searchStepFailure();

    QList<std::pair<qsizetype, std::shared_ptr<movieFile>>> queued; // outcome index, entry
    const auto groups = m_job->languageGroups(languages, refreshSubs);
    {
        const QMutexLocker guard(&records.stateLock());
        for (const DownloadJob::LanguageGroup &entry : groups) {
            GetSubsOutcome outcome = outcomeFor(Status::None, entry.video->path(), entry.language);
            if (!entry.group) {
                outcome =
                    covered(*entry.video, entry.language, u"a subtitle in this language lies beside it"_s);
            } else if (!searched) {
                outcome.status = Status::Failed;
                outcome.reason = failure;
                outcome.searchFailed = true;
            } else if (m_job->queue().queueGroup(entry.group)) {
                queued.append({outcomes.size(), entry.group});
            } else if (entry.group->subtitleResults().size() == 1) {
                // The same movie in this language is already queued for another copy.
                outcome.status = Status::Skipped;
                outcome.reason = u"the same video is already being served"_s;
            } else if (!stepFailure.ok()) {
                // Nothing found may only mean that the search that failed would have.
                outcome.status = Status::Failed;
                outcome.reason = u"the search by hash failed (%1) and the other searches found nothing"_s.arg(
                    stepFailure.text());
            }
            outcomes.append(outcome);
        }
    }

    if (!queued.isEmpty() && m_progress && m_job->remainingDownloads() >= 0)
        m_progress->quota(m_job->remainingDownloads(), int(queued.size()));
    if (!queued.isEmpty()) {
        MethodProfiler trace(u"Starting Downloads"_s);
        report(u"Downloading"_s, int(queued.size()));
        // The service's count as each download came: placements end later,
        // when the next download may have counted down already.
        QHash<int, int> quotaAfter;
        const auto noteQuota = [&](int index) { quotaAfter.insert(index, m_job->remainingDownloads()); };
        int settled = 0; // entries end out of order
        m_job->runDownloads(
            [&](int index, bool placed) {
                QString name;
                const int quotaRemaining = quotaAfter.value(index, m_job->remainingDownloads());
                {
                    const QMutexLocker guard(&records.stateLock());
                    auto &[at, entry] = queued[index];
                    GetSubsOutcome &outcome = outcomes[at];
                    const auto result = DownloadQueue::chosen(*entry);
                    outcome.matchedBy = result->MatchedBy;
                    outcome.subFileName = result->SubFileName;
                    outcome.quotaRemaining = quotaRemaining;
                    if (placed) {
                        outcome.status = Status::Placed;
                        outcome.subtitle = result->localSubfile;
                        outcome.replaced = result->replacedNote;
                        outcome.previousKeptAt = result->replacedKeptAt;
                        outcome.encodingNote = result->encodingNote;
                    } else {
                        outcome.status = Status::Failed;
                        outcome.reason = u"the download of %1 failed: %2"_s.arg(result->SubFileName,
                                                                                result->downloadError);
                    }
                    name = QFileInfo(outcome.video).fileName();
                }
                advance(++settled, name);
            },
            noteQuota);
        markWaiting(queued, outcomes);
    }
    // By video path; the languages keep their order within a video.
    std::stable_sort(outcomes.begin(), outcomes.end(),
                     [](const GetSubsOutcome &a, const GetSubsOutcome &b) { return a.video < b.video; });
    return outcomes;
}
