#include "download/DownloadJob.h"

#include "download/QuotaWaitList.h"

#include "common/LangModule.h"
#include "common/StateNames.h"
#include "common/WorkerThreads.h"
#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "prefs/myPrefs.h"
#include "service/FailureWords.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "service/ProviderChoice.h"
#include "service/ProviderSearch.h"
#include "service/SubtitleProvider.h"
#include "timing/TimingCheck.h"

#include <QLoggingCategory>
#include <QMutexLocker>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcDownloadJob, "lumbra.download.job")

namespace {

using State = DownloadJob::State;

constexpr StateWork Busy = StateWork::Busy;

// The names the windows and the logs show, as the states were always called.
// A search that failed for good rests until the user tries again; one that
// is tried again by itself counts as busy while it waits.
constexpr StateName<State> StateNames[] = {
    {State::Idle, "Idle"_L1},
    {State::Adding, "adding"_L1, Busy},
    {State::Listing, "listing"_L1, Busy},
    {State::Listed, "listed"_L1},
    {State::Hashing, "Hashing"_L1, Busy},
    {State::Readying, "Readying"_L1, Busy},
    {State::Searching, "Searching"_L1, Busy},
    {State::SuccessSearching, "SuccessSearching"_L1, Busy},
    {State::RetrySearching, "RetrySearching"_L1, Busy},
    {State::RetryingSearching, "RetryingSearching"_L1, Busy},
    {State::WaitedSearching, "WaitedSearching"_L1, Busy},
    {State::ErrorSearching, "ErrorSearching"_L1},
    {State::Searched, "Searched"_L1},
    {State::Predownloading, "Predownloading"_L1, Busy},
    {State::Redownloading, "Redownloading"_L1, Busy},
    {State::Downloading, "Downloading"_L1, Busy},
    {State::Downloaded, "Downloaded"_L1},
    {State::NotDownloaded, "NotDownloaded"_L1},
};

} // namespace

QString DownloadJob::stateName(State state)
{
    return nameOfState<State>(StateNames, state);
}

std::optional<DownloadJob::State> DownloadJob::stateNamed(const QString &name)
{
    return stateOfName<State>(StateNames, name);
}

bool DownloadJob::isBusy(State state)
{
    return isBusyState<State>(StateNames, state);
}

std::shared_ptr<DownloadJob> DownloadJob::create()
{
    return own(new DownloadJob);
}

DownloadJob::DownloadJob()
    : WorkflowJob(u"GetSubs"_s, MovieFileParser::Mode::GetSubs)
    , m_state(records().stateLock(), [this](State state) { Q_EMIT stateChanged(state); })
{
}

ServiceError DownloadJob::searchFailure() const
{
    const QMutexLocker guard(&records().stateLock());
    return m_searchFailure;
}

ServiceError DownloadJob::searchStepFailure() const
{
    const QMutexLocker guard(&records().stateLock());
    return m_stepFailure;
}

// --- Intake ---------------------------------------------------------------------

bool DownloadJob::addPath(const QString &path)
{
    if (!canTakeIn(path))
        return false;
    m_state.intakeStarted();
    return takeIn(path);
}

QList<std::shared_ptr<movieFile>> DownloadJob::takeNewRecords(bool listAllFiles, bool refreshSubs)
{
    const bool intakeIdle = Tcounter() == 0;
    const QList<std::shared_ptr<movieFile>> fresh = takeUnlistedRecords(listAllFiles, refreshSubs);
    m_state.listingStep(!fresh.isEmpty(), intakeIdle);
    return fresh;
}

QList<std::shared_ptr<movieFile>> DownloadJob::takeUnlistedRecords(bool listAllFiles, bool refreshSubs)
{
    QList<std::shared_ptr<movieFile>> fresh;
    const QMutexLocker guard(&records().stateLock());
    auto &videos = records().movieFiles;
    for (qsizetype i = 0; i < videos.size();) {
        movieFile &record = *videos[i];
        if (record.addedToList) {
            ++i;
            continue;
        }
        // An offered download's video counts whatever the wanted languages are now.
        const bool offered = !m_offeredWaiting.isEmpty();
        if (record.hasAllSubs && !listAllFiles && !offered) {
            videos.removeAt(i);
            continue;
        }
        record.isChecked = offered || refreshSubs || !record.hasAllSubs;
        record.addedToList = true;
        fresh.append(videos[i]);
        ++i;
    }
    return fresh;
}

// --- Search ---------------------------------------------------------------------

void DownloadJob::hashVideos(const std::function<void(int, const QString &)> &hashed)
{
    QList<std::shared_ptr<movieFile>> videos;
    {
        const QMutexLocker guard(&records().stateLock());
        videos = records().movieFiles;
    }
    const MethodProfiler trace(u"Hashing Files"_s);
    for (qsizetype i = 0; i < videos.size(); ++i) {
        if (cancelled())
            return;
        movieFile &video = *videos[i];
        JobRecords::hashForSearch(video); // reads the files: outside the lock
        if (!video.movieHash().isEmpty()) {
            const QMutexLocker guard(&records().stateLock());
            video.toSearch = video.isChecked;
        }
        if (hashed)
            hashed(int(i + 1), video.movieFileName());
    }
}

void DownloadJob::runSearch(bool autoRetry, const std::function<void(int, const QString &)> &hashed)
{
    if (m_state.change({State::Listed}, State::Hashing)) {
        hashVideos(hashed);
        m_state.set(State::Readying);
    } else {
        // A retry after a failed search: the hashes are known.
        m_state.change({State::WaitedSearching}, State::Readying);
    }
    if (cancelled() || !m_state.change({State::Readying}, State::Searching))
        return;
    // Taken once: the whole run, and the results it lists, follow these even
    // if the preferences change meanwhile.
    const RunSettings settings = runSettings();
    {
        const QMutexLocker guard(&records().stateLock());
        m_searchSettings = settings;
    }
    ServiceError failure;
    {
        const MethodProfiler trace(u"Starting Search"_s);
        failure = searchThroughProvider(settings);
    }
    const bool found = failure.ok();
    {
        const QMutexLocker guard(&records().stateLock());
        m_searchFailure = failure;
    }
    if (!found)
        qCInfo(lcDownloadJob) << "search failed:" << failure.text();
    // A rejected login fails again until the account is fixed: no retry.
    const bool retry =
        !found && autoRetry && FailureWords::worthRetrying(FailureWords::classify(failure.code));
    if (found)
        tickOfferedWaiting();
    m_state.set(found ? State::SuccessSearching : retry ? State::RetrySearching : State::ErrorSearching);
}

ServiceError DownloadJob::searchThroughProvider(const RunSettings &settings)
{
    // Before the provider is there: a cancel from now on reaches it.
    m_providerSearching = true;
    // A fresh sign-in for every run, with the run's settings.
    const std::shared_ptr<SubtitleProvider> provider = openProvider(settings.prefs);
    qCInfo(lcDownloadJob) << "searching through" << ProviderChoice::nameOf(settings.prefs);
    ServiceError stepFailure;
    const ServiceError failure = ProviderSearch::run(records(), provider, settings, &stepFailure);
    {
        const QMutexLocker guard(&records().stateLock());
        m_stepFailure = stepFailure;
    }
    m_providerSearching = false;
    return failure;
}

void DownloadJob::setProviderName(const QString &name)
{
    const QMutexLocker guard(&m_providerNameLock);
    m_providerName = myPrefs::providerNamed(name);
}

QString DownloadJob::providerName() const
{
    return ProviderChoice::nameOf(runSettings().prefs);
}

void DownloadJob::fixSettings(const RunSettings &settings)
{
    records().fixIntakeSettings(settings.intake());
    const QMutexLocker guard(&records().stateLock());
    m_fixedSettings = settings;
    records().session()->placement = settings.placement();
}

RunSettings DownloadJob::runSettings() const
{
    std::optional<RunSettings> settings;
    QStringList offered;
    {
        const QMutexLocker guard(&records().stateLock());
        settings = m_fixedSettings;
        offered = m_offeredLanguages;
    }
    if (!settings)
        settings = RunSettings::fromPreferences();
    {
        const QMutexLocker guard(&m_providerNameLock);
        if (!m_providerName.isEmpty())
            settings->prefs.ServiceProvider = m_providerName;
    }
    if (!offered.isEmpty())
        settings->languages = offered;
    return *settings;
}

int DownloadJob::remainingDownloads() const
{
    const auto current = provider();
    return current ? current->remainingDownloads() : -1;
}

bool DownloadJob::startSearch(bool autoRetry)
{
    return startWorker(
        m_searching, u"ThreadSearchSubs"_s, [this, autoRetry] { runSearch(autoRetry); },
        [this] {
            m_state.change({State::ErrorSearching, State::RetrySearching, State::RetryingSearching},
                           State::WaitedSearching);
        });
}

void DownloadJob::countDownToRetry()
{
    m_state.change({State::RetrySearching}, State::RetryingSearching);
}

void DownloadJob::resultsListed()
{
    m_state.resultsListed();
}

// --- Results --------------------------------------------------------------------

bool DownloadJob::hasLocalSubtitleIn(const movieFile &video, const QString &language)
{
    const QString three = LangModule::getLangThree(language);
    for (const auto &sub : video.subtitles()) {
        if (sub && !three.isEmpty() && sub->ISO639().compare(three, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList DownloadJob::wantedLanguages()
{
    return wantedLanguages(myPrefs::values());
}

QStringList DownloadJob::wantedLanguages(const myPrefs::Values &prefs)
{
    return RunSettings::wantedLanguages(prefs);
}

QList<DownloadJob::LanguageGroup> DownloadJob::languageGroups(const QStringList &languages,
                                                              bool refreshSubs) const
{
    QList<LanguageGroup> groups;
    const QMutexLocker guard(&records().stateLock());
    for (const auto &video : std::as_const(records().movieFiles)) {
        for (const QString &language : languages) {
            LanguageGroup entry{video, language, nullptr};
            if (refreshSubs || !(hasLocalSubtitleIn(*video, language) || video->carriesSubtitleIn(language)))
                entry.group = DownloadQueue::languageGroup(*video, language);
            groups.append(entry);
        }
    }
    return groups;
}

// --- Downloads ------------------------------------------------------------------

QList<std::shared_ptr<movieFile>> DownloadJob::queuedSubs() const
{
    const QMutexLocker guard(&records().stateLock());
    return m_queue.queuedSubs();
}

void DownloadJob::removeDownloaded()
{
    const QMutexLocker guard(&records().stateLock());
    m_queue.removeDownloaded();
}

void DownloadJob::holdBackOverQuota()
{
    const int remaining = remainingDownloads();
    const QDateTime renews = QuotaWaitList::nextRenewal(QDateTime::currentDateTimeUtc());
    QList<WaitingDownload> waiting;
    {
        const QMutexLocker guard(&records().stateLock());
        m_heldForQuota = m_queue.holdBack(remaining, QuotaWaitList::waitingText(renews));
        for (const auto &entry : std::as_const(m_heldForQuota)) {
            const auto result = DownloadQueue::chosen(*entry);
            waiting.append({entry->path(), result->ISO639, result->IDSubtitleFile, renews});
        }
    }
    if (!waiting.isEmpty()) {
        qCInfo(lcDownloadJob) << waiting.size() << "downloads wait for tomorrow's quota";
        QuotaWaitList().add(waiting);
    }
}

// A download that waited for the quota and has now been placed waits no more.
void DownloadJob::forgetWaiting(int index)
{
    QString video, lang;
    {
        const QMutexLocker guard(&records().stateLock());
        const auto &entries = m_queue.queuedSubs();
        if (index < 0 || index >= entries.size())
            return;
        video = entries[index]->path();
        if (const auto result = DownloadQueue::chosen(*entries[index]))
            lang = result->ISO639;
    }
    QuotaWaitList().remove(video, lang);
}

void DownloadJob::runDownloads(const std::function<void(int, bool)> &done,
                               const std::function<void(int)> &arrived)
{
    m_state.set(State::Downloading);
    {
        // Where and how the files are placed, taken once for the whole run.
        const PlacementOptions placement = runSettings().placement();
        const QMutexLocker guard(&records().stateLock());
        records().session()->placement = placement;
    }
    holdBackOverQuota();
    m_placedCount = 0;
    m_failedCount = 0;
    m_queuedCount = int(queuedSubs().size());
    const bool placed = m_queue.downloadAll(
        records().session(),
        [&](int index, bool ok) {
            ++(ok ? m_placedCount : m_failedCount);
            if (ok)
                forgetWaiting(index);
            if (done)
                done(index, ok);
            Q_EMIT progressed();
        },
        [this] { return cancelled(); }, [this] { return m_aborted || WorkerThreads::stopping(); }, arrived);
    if (m_fixTiming)
        fixPlacedTimings();
    m_state.set(placed ? State::Downloaded : State::NotDownloaded);
}

void DownloadJob::fixPlacedTimings()
{
    struct Placed {
        QString video;
        QString subtitle;
        std::shared_ptr<openSubtitleItem> result;
    };
    QList<Placed> placed;
    {
        const QMutexLocker guard(&records().stateLock());
        for (const auto &entry : m_queue.queuedSubs()) {
            const auto result = DownloadQueue::chosen(*entry);
            if (result && result->Downloaded && !result->localSubfile.isEmpty() &&
                result->timingNote.isEmpty())
                placed.append({entry->path(), result->localSubfile, result});
        }
    }
    // Measured outside the lock: decoding a film's audio takes seconds.
    const auto stop = [this] { return cancelled() || WorkerThreads::stopping(); };
    for (const Placed &each : std::as_const(placed)) {
        if (stop())
            return;
        const TimingCheck::PlacedFix fix = TimingCheck::fixPlaced(each.video, each.subtitle, stop);
        {
            const QMutexLocker guard(&records().stateLock());
            each.result->timingNote = fix.note;
        }
        Q_EMIT progressed();
    }
}

bool DownloadJob::startDownloads()
{
    return startWorker(m_downloading, u"ThreadGetSubs"_s, [this] { runDownloads(); });
}

void DownloadJob::requestDownloads()
{
    if (!m_state.change({State::Searched}, State::Predownloading))
        m_state.change({State::NotDownloaded}, State::Redownloading);
}

// --- Offered again after the quota renewed ----------------------------------------

void DownloadJob::offerWaiting(const QList<WaitingDownload> &entries)
{
    QStringList languages, videos;
    for (const WaitingDownload &entry : entries) {
        if (!languages.contains(entry.lang))
            languages.append(entry.lang);
        if (!videos.contains(entry.video))
            videos.append(entry.video);
    }
    {
        const QMutexLocker guard(&records().stateLock());
        m_offeredWaiting = entries;
        m_offeredLanguages = languages;
    }
    for (const QString &video : std::as_const(videos))
        addPath(video);
}

int DownloadJob::waitingOffered() const
{
    const QMutexLocker guard(&records().stateLock());
    return int(m_offeredWaiting.size());
}

RunSettings DownloadJob::searchSettings() const
{
    {
        const QMutexLocker guard(&records().stateLock());
        if (m_searchSettings)
            return *m_searchSettings;
    }
    return runSettings();
}

namespace {
bool sameLanguage(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Ticks the result with the remembered file id among the video's results in
// the entry's language; false when the service no longer lists it (the best
// choice stays ticked then).
bool tickRemembered(const movieFile &video, const WaitingDownload &entry)
{
    const auto results = video.subtitleResults();
    const bool listed = std::any_of(results.cbegin(), results.cend(), [&](const auto &result) {
        return result && result->IDSubtitleFile == entry.fileId;
    });
    if (!listed)
        return false;
    for (const auto &result : results) {
        if (result && sameLanguage(result->ISO639, entry.lang))
            result->isChecked = result->IDSubtitleFile == entry.fileId;
    }
    return true;
}
} // namespace

void DownloadJob::tickOfferedWaiting()
{
    QList<WaitingDownload> ended;
    {
        const QMutexLocker guard(&records().stateLock());
        if (m_offeredWaiting.isEmpty())
            return;
        // A search step that failed may have left results out: nothing found
        // then says nothing.
        const bool complete = m_stepFailure.ok();
        for (const auto &video : std::as_const(records().movieFiles)) {
            QList<WaitingDownload> mine;
            for (const WaitingDownload &entry : std::as_const(m_offeredWaiting)) {
                if (entry.video == video->path())
                    mine.append(entry);
            }
            // Only what waited is ticked again: the video's other languages
            // were placed, left or never wanted the day before.
            for (const auto &result : video->subtitleResults()) {
                if (result && std::none_of(mine.cbegin(), mine.cend(), [&](const WaitingDownload &entry) {
                        return sameLanguage(entry.lang, result->ISO639);
                    }))
                    result->isChecked = false;
            }
            for (const WaitingDownload &entry : std::as_const(mine)) {
                const auto results = video->subtitleResults();
                const bool found = std::any_of(results.cbegin(), results.cend(), [&](const auto &result) {
                    return result && sameLanguage(result->ISO639, entry.lang);
                });
                if (hasLocalSubtitleIn(*video, entry.lang) || video->carriesSubtitleIn(entry.lang) ||
                    (!found && complete))
                    ended.append(entry);
                else if (found && !tickRemembered(*video, entry))
                    qCInfo(lcDownloadJob).noquote() << "the subtitle chosen for" << entry.video << "in"
                                                    << entry.lang << "is gone; the best choice is ticked";
            }
        }
        m_offeredWaiting.removeIf([&](const WaitingDownload &entry) {
            return std::any_of(ended.cbegin(), ended.cend(), [&](const WaitingDownload &e) {
                return e.video == entry.video && e.lang == entry.lang;
            });
        });
    }
    // The file is written outside the state lock.
    for (const WaitingDownload &entry : std::as_const(ended)) {
        qCInfo(lcDownloadJob).noquote() << "no longer waiting:" << entry.video << "in" << entry.lang;
        QuotaWaitList().remove(entry.video, entry.lang);
    }
}

bool DownloadJob::busy() const
{
    return m_searching || m_downloading || Tcounter() > 0;
}

bool DownloadJob::cancelStopsProvider() const
{
    // The download under way (which uses the same provider) may finish;
    // abort() drops it too.
    return m_providerSearching || m_aborted;
}

void DownloadJob::abort()
{
    m_aborted = true;
    cancel();
}
