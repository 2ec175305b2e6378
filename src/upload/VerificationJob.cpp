#include "upload/VerificationJob.h"

#include "common/LangModule.h"
#include "common/StateNames.h"
#include "common/WorkerThreads.h"
#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "prefs/myPrefs.h"
#include "preview/SubtitleCheck.h"
#include "service/FailureWords.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "service/ProviderChoice.h"
#include "service/ProviderSearch.h"
#include "service/SubtitleProvider.h"

#include <QMutexLocker>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

using State = VerificationJob::State;

constexpr StateWork Busy = StateWork::Busy;

// A failed run is over, whether or not it may be tried again: the window
// has no countdown.
constexpr StateName<State> StateNames[] = {
    {State::Idle, "Idle"_L1},
    {State::Adding, "adding"_L1, Busy},
    {State::Listing, "listing"_L1, Busy},
    {State::Listed, "listed"_L1},
    {State::Hashing, "Hashing"_L1, Busy},
    {State::Readying, "Readying"_L1, Busy},
    {State::Searching, "Searching"_L1, Busy},
    {State::SuccessSearching, "SuccessSearching"_L1, Busy},
    {State::RetrySearching, "RetrySearching"_L1},
    {State::ErrorSearching, "ErrorSearching"_L1},
    {State::Searched, "Searched"_L1},
};

} // namespace

QString VerifyOutcome::statusName(Status status)
{
    switch (status) {
    case Status::Has:
        return u"has"_s;
    case Status::Lacks:
        return u"lacks"_s;
    case Status::Failed:
        return u"failed"_s;
    }
    return QString();
}

QString VerificationJob::stateName(State state)
{
    return nameOfState<State>(StateNames, state);
}

std::optional<VerificationJob::State> VerificationJob::stateNamed(const QString &name)
{
    return stateOfName<State>(StateNames, name);
}

bool VerificationJob::isBusy(State state)
{
    return isBusyState<State>(StateNames, state);
}

std::shared_ptr<VerificationJob> VerificationJob::create()
{
    return own(new VerificationJob);
}

// The records' upload mode: the intake turns subtitles into records and pairs
// each with the video of its name.
VerificationJob::VerificationJob()
    : WorkflowJob(u"PutSubs"_s, MovieFileParser::Mode::PutSubs)
    , m_state(records().stateLock(), [this](State state) { Q_EMIT stateChanged(state); })
{
}

bool VerificationJob::addPath(const QString &path)
{
    if (!canTakeIn(path))
        return false;
    m_state.intakeStarted();
    return takeIn(path);
}

QList<std::shared_ptr<subtitleFile>> VerificationJob::takeNewSubtitles()
{
    const bool intakeIdle = Tcounter() == 0;
    const QList<std::shared_ptr<subtitleFile>> fresh = takeUnlistedSubtitles();
    m_state.listingStep(!fresh.isEmpty(), intakeIdle);
    return fresh;
}

QList<std::shared_ptr<subtitleFile>> VerificationJob::takeUnlistedSubtitles()
{
    QList<std::shared_ptr<subtitleFile>> fresh;
    {
        const QMutexLocker guard(&records().stateLock());
        for (const auto &sub : std::as_const(records().subfiles)) {
            if (!sub->addedToList) {
                sub->addedToList = true;
                fresh.append(sub);
            }
        }
    }
    // A file that is not a subtitle is listed unchecked; reading it happens
    // outside the lock.
    for (const auto &sub : std::as_const(fresh)) {
        const bool refused = !SubtitleCheck::refusal(sub->path()).isEmpty();
        const QMutexLocker guard(&records().stateLock());
        sub->isChecked = sub->hasMovie && !refused;
    }
    return fresh;
}

QStringList VerificationJob::dropUnchecked()
{
    QStringList dropped;
    const QMutexLocker guard(&records().stateLock());
    auto &subs = records().subfiles;
    for (qsizetype at = subs.size() - 1; at >= 0; --at) {
        if (!subs.at(at)->isChecked) {
            dropped.prepend(subs.at(at)->path());
            subs.removeAt(at);
        }
    }
    return dropped;
}

VerifyPairing VerificationJob::pairingOf(const subtitleFile &subtitle)
{
    VerifyPairing pairing;
    pairing.subtitle = subtitle.path();
    // A subtitle whose name gives no language is taken to be in the default language.
    const QString lang = LangModule::getLangTwo(subtitle.ISO639());
    pairing.lang = lang.isEmpty() ? myPrefs::defaultLanguage() : lang;
    pairing.languageFromName = !lang.isEmpty();
    if (subtitle.hasMovie && subtitle.thisMovie())
        pairing.video = subtitle.thisMovie()->path();
    return pairing;
}

QList<VerifyPairing> VerificationJob::allPairings() const
{
    QList<VerifyPairing> all;
    {
        const QMutexLocker guard(&records().stateLock());
        for (const auto &sub : std::as_const(records().subfiles))
            all.append(pairingOf(*sub));
    }
    // The files are read outside the lock.
    for (VerifyPairing &pairing : all) {
        pairing.refused = SubtitleCheck::refusal(pairing.subtitle);
        if (!pairing.refused.isEmpty())
            pairing.video.clear();
    }
    std::sort(all.begin(), all.end(),
              [](const VerifyPairing &a, const VerifyPairing &b) { return a.subtitle < b.subtitle; });
    return all;
}

QList<VerifyPairing> VerificationJob::pairings() const
{
    const QMutexLocker guard(&records().stateLock());
    return m_pairings;
}

QList<VerifyOutcome> VerificationJob::outcomes() const
{
    const QMutexLocker guard(&records().stateLock());
    return m_outcomes;
}

ServiceError VerificationJob::searchFailure() const
{
    const QMutexLocker guard(&records().stateLock());
    return m_searchFailure;
}

void VerificationJob::runVerification(bool autoRetry)
{
    if (const State state = m_state.get(); state != State::Listed && !isFailed(state))
        return;
    QList<VerifyPairing> checked;
    {
        const QMutexLocker guard(&records().stateLock());
        for (const auto &sub : std::as_const(records().subfiles)) {
            if (sub->isChecked)
                checked.append(pairingOf(*sub));
        }
    }
    ServiceError failure;
    const QList<VerifyOutcome> found = verify(checked, RunSettings::fromPreferences(), failure);
    const bool failed = !failure.ok();
    {
        const QMutexLocker guard(&records().stateLock());
        m_pairings = checked;
        m_outcomes = found;
        m_searchFailure = failure;
    }
    // A rejected login or a cancelled run fails again: no retry, as in the download job.
    const bool retry =
        failed && autoRetry && FailureWords::worthRetrying(FailureWords::classify(failure.code));
    m_state.set(!failed ? State::SuccessSearching : retry ? State::RetrySearching : State::ErrorSearching);
}

bool VerificationJob::startVerification(bool autoRetry)
{
    return startWorker(
        m_running, u"ThreadVerifySubs"_s, [this, autoRetry] { runVerification(autoRetry); },
        [this] {
            m_state.change({State::RetrySearching, State::ErrorSearching}, State::Listed);
        });
}

void VerificationJob::resultsListed()
{
    m_state.resultsListed();
}

QList<VerifyOutcome> VerificationJob::verify(const QList<VerifyPairing> &pairings,
                                             const RunSettings &settings, ServiceError &failure)
{
    JobRecords &records = this->records();
    // The paired videos, one record each, and the languages to ask about.
    QList<std::shared_ptr<movieFile>> videos;
    QStringList languages;
    QList<VerifyOutcome> outcomes;
    for (const VerifyPairing &pairing : pairings) {
        if (pairing.video.isEmpty())
            continue;
        const bool known = std::any_of(videos.cbegin(), videos.cend(),
                                       [&](const auto &v) { return v->path() == pairing.video; });
        if (!known) {
            auto video = movieFile::create(pairing.video);
            video->isChecked = true;
            video->addedToList = true;
            videos.append(video);
        }
        if (!languages.contains(pairing.lang))
            languages.append(pairing.lang);
        const bool asked = std::any_of(outcomes.cbegin(), outcomes.cend(), [&](const VerifyOutcome &o) {
            return o.video == pairing.video && o.lang == pairing.lang;
        });
        if (!asked)
            outcomes.append(
                {VerifyOutcome::Status::Lacks, pairing.video, pairing.lang, pairing.subtitle, {}});
    }
    if (videos.isEmpty())
        return outcomes;

    m_state.set(State::Hashing);
    {
        MethodProfiler trace(u"Hashing Files"_s);
        for (const auto &video : std::as_const(videos)) {
            if (cancelled())
                break;
            const bool hashed = !video->computeMovieHash().isEmpty(); // outside the lock
            const QMutexLocker guard(&records.stateLock());
            video->toSearch = hashed;
        }
    }
    {
        const QMutexLocker guard(&records.stateLock());
        records.movieFiles = videos;
    }
    m_state.set(State::Readying);

    // The run searches at most three languages at a time. Ask in the
    // subtitles' languages, through the run's settings rather than the
    // preferences, which every window reads. The videos were made without the
    // subtitles beside them, so a local subtitle never keeps a language from
    // being asked.
    m_state.set(State::Searching);
    for (qsizetype at = 0; at < languages.size(); at += 3) {
        const QStringList batch = languages.mid(at, 3);
        RunSettings batchSettings = settings;
        batchSettings.languages = batch;
        MethodProfiler trace(u"Starting Search"_s);
        if (const ServiceError error = searchThroughProvider(batchSettings); !error.ok()) {
            if (failure.ok())
                failure = error;
            for (VerifyOutcome &o : outcomes) {
                if (batch.contains(o.lang)) {
                    o.status = VerifyOutcome::Status::Failed;
                    o.reason = error.text();
                }
            }
        }
    }

    const QMutexLocker guard(&records.stateLock());
    for (VerifyOutcome &o : outcomes) {
        if (o.status == VerifyOutcome::Status::Failed)
            continue;
        for (const auto &video : std::as_const(videos)) {
            if (video->path() != o.video)
                continue;
            for (const auto &result : video->subtitleResults()) {
                if (result->ISO639.compare(o.lang, Qt::CaseInsensitive) == 0 &&
                    result->MatchedBy.compare("moviehash"_L1, Qt::CaseInsensitive) == 0)
                    o.status = VerifyOutcome::Status::Has;
            }
        }
    }
    return outcomes;
}

bool VerificationJob::busy() const
{
    return m_running || Tcounter() > 0;
}

ServiceError VerificationJob::searchThroughProvider(const RunSettings &settings)
{
    // Whether the service has subtitles for a hash is a plain search, which
    // every interface answers: ask the one the preferences choose, so a
    // default install (REST) verifies without an XML-RPC account.
    const std::shared_ptr<SubtitleProvider> provider = openProvider(settings.prefs);
    return ProviderSearch::runByHash(records(), provider, settings);
}
