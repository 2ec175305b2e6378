#include "service/GetSubsRun.h"

#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "prefs/LangModule.h"
#include "prefs/myPrefs.h"
#include "service/ClientIntake.h"
#include "service/DownloadQueue.h"
#include "service/openSubtitleItem.h"
#include "service/OSClient.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>

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
} // namespace

bool GetSubsRun::hasLocalSubtitleIn(const movieFile &video, const QString &language)
{
    const QString three = LangModule::getLangThree(language);
    for (const auto &sub : video.subtitles()) {
        if (sub && !three.isEmpty() && sub->ISO639().compare(three, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void GetSubsRun::hashForSearch(OSClient &client, const QList<std::shared_ptr<movieFile>> &videos,
                               const std::function<void(int, const QString &)> &done,
                               const std::function<bool()> &stop)
{
    for (qsizetype i = 0; i < videos.size(); ++i) {
        if (stop && stop())
            return;
        const QString hash = videos[i]->movieHash(); // reads the file: outside the lock
        {
            const QMutexLocker guard(&client.stateLock());
            if (!hash.isEmpty())
                videos[i]->toSearch = videos[i]->isChecked;
        }
        if (done)
            done(int(i + 1), videos[i]->movieFileName());
    }
}

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
    }
    return QString();
}

GetSubsRun::GetSubsRun(Progress *progress)
    : m_progress(progress)
    , m_client(std::make_unique<OSClient>())
    , m_intake(std::make_shared<ClientIntake>(*m_client))
{
    const QMutexLocker guard(&m_client->stateLock());
    m_client->mode = u"GetSubs"_s;
}

GetSubsRun::~GetSubsRun()
{
    // Queued intake items use the client; it must not go before they end.
    m_intake->waitUntilDone();
}

bool GetSubsRun::addPath(const QString &path)
{
    return m_intake->add(path, MovieFileParser::Mode::GetSubs);
}

QStringList GetSubsRun::wantedLanguages()
{
    const QStringList list = myPrefs::languageList();
    return list.isEmpty() ? QStringList{u"en"_s} : list;
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

QString GetSubsRun::searchFailure(const OSClient &client)
{
    const QStringList journal = client.status();
    QString entry;
    for (const QString &line : journal) {
        if (line.section(u':', 0, 0).compare("ERROR"_L1, Qt::CaseInsensitive) == 0)
            entry = line;
    }
    const QString detail = client.lastErrorString();
    if (entry.isEmpty())
        return detail.isEmpty() ? u"the search failed"_s : detail;
    if (entry.compare("ERROR:CONN"_L1, Qt::CaseInsensitive) == 0 && !detail.isEmpty())
        return entry + u" "_s + detail;
    return detail.isEmpty() ? entry : entry + u" ("_s + detail + u')';
}

QList<GetSubsOutcome> GetSubsRun::run()
{
    report(u"Listing files"_s, 0);
    m_intake->waitUntilDone();

    const QStringList languages = wantedLanguages();
    const bool refreshSubs = myPrefs::refreshSubs();
    const bool listAllFiles = myPrefs::ListAllFiles();
    QList<GetSubsOutcome> outcomes;
    for (const auto &[shown, reason] : m_intake->notTakenIn()) {
        outcomes.append(outcomeFor(Status::Skipped, shown, {}, reason));
        outcomes.last().unhandled = true;
    }
    auto skipAll = [&](const movieFile &video, const QString &reason) {
        for (const QString &lang : languages)
            outcomes.append(outcomeFor(Status::Skipped, video.path(), lang, reason));
    };

    // The listing rules of the download window: a video that has a subtitle
    // for every wanted language is left out (or listed unchecked), the rest
    // is checked; only checked videos are searched.
    QList<std::shared_ptr<movieFile>> videos;
    {
        const QMutexLocker guard(&m_client->stateLock());
        std::stable_sort(m_client->movieFiles.begin(), m_client->movieFiles.end(),
                         [](const auto &a, const auto &b) { return a->path() < b->path(); });
        for (const auto &video : std::as_const(m_client->movieFiles)) {
            // Without ListAllFiles such a video is not even listed; with it,
            // it is listed and checked only when subtitles are refreshed.
            if (video->hasAllSubs && !listAllFiles) {
                skipAll(*video, u"a subtitle lies beside it for every language"_s);
                continue;
            }
            video->addedToList = true;
            video->isChecked = refreshSubs || !video->hasAllSubs;
            if (video->isChecked)
                videos.append(video);
            else
                skipAll(*video, u"a subtitle lies beside it for every language"_s);
        }
        m_client->movieFiles = videos;
    }
    if (videos.isEmpty()) {
        qCInfo(lcGetSubs) << "nothing to search";
        return outcomes;
    }

    {
        MethodProfiler trace(u"Hashing Files"_s);
        report(u"Hashing"_s, int(videos.size()));
        hashForSearch(*m_client, videos, [this](int done, const QString &name) { advance(done, name); });
    }

    bool searched = false;
    {
        MethodProfiler trace(u"Starting Search"_s);
        report(u"Searching"_s, 0);
        searched = m_client->SearchSubs();
    }

    // One group per video and wanted language, unless a subtitle beside the
    // video already covers that language.
    DownloadQueue queue;
    QList<std::pair<qsizetype, std::shared_ptr<movieFile>>> queued; // outcome index, entry
    const QString failure = searched ? QString() : searchFailure(*m_client);
    {
        const QMutexLocker guard(&m_client->stateLock());
        for (const auto &video : std::as_const(videos)) {
            for (const QString &lang : languages) {
                GetSubsOutcome outcome = outcomeFor(Status::None, video->path(), lang);
                if (!refreshSubs && hasLocalSubtitleIn(*video, lang)) {
                    outcome.status = Status::Skipped;
                    outcome.reason = u"a subtitle in this language lies beside it"_s;
                } else if (!searched) {
                    outcome.status = Status::Failed;
                    outcome.reason = failure;
                } else {
                    auto group = DownloadQueue::languageGroup(*video, lang);
                    if (queue.queueGroup(group)) {
                        queued.append({outcomes.size(), group});
                    } else if (group->subtitleResults().size() == 1) {
                        // The same movie in this language is already queued for another copy.
                        outcome.status = Status::Skipped;
                        outcome.reason = u"the same video is already being served"_s;
                    }
                }
                outcomes.append(outcome);
            }
        }
    }

    if (!queue.isEmpty()) {
        MethodProfiler trace(u"Starting Downloads"_s);
        report(u"Downloading"_s, int(queue.queuedSubs().size()));
        queue.downloadAll(&m_client->stateLock(), [&](int index, bool placed) {
            QString name;
            {
                const QMutexLocker guard(&m_client->stateLock());
                auto &[at, entry] = queued[index];
                GetSubsOutcome &outcome = outcomes[at];
                const auto result = DownloadQueue::chosen(*entry);
                outcome.matchedBy = result->MatchedBy;
                outcome.subFileName = result->SubFileName;
                if (placed) {
                    outcome.status = Status::Placed;
                    outcome.subtitle = result->localSubfile;
                    outcome.replaced = result->replacedNote;
                    outcome.previousKeptAt = result->replacedKeptAt;
                } else {
                    outcome.status = Status::Failed;
                    outcome.reason =
                        u"the download of %1 failed: %2"_s.arg(result->SubFileName, result->downloadError);
                }
                name = QFileInfo(outcome.video).fileName();
            }
            advance(index + 1, name);
        });
    }
    // By video path; the languages keep their order within a video.
    std::stable_sort(outcomes.begin(), outcomes.end(),
                     [](const GetSubsOutcome &a, const GetSubsOutcome &b) { return a.video < b.video; });
    return outcomes;
}
