#include "upload/VerificationJob.h"

#include "common/LangModule.h"
#include "common/StateNames.h"
#include "common/WorkerThreads.h"
#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "prefs/myPrefs.h"
#include "preview/SubtitleCheck.h"
#include "service/ClientIntake.h"
#include "service/JobRecords.h"
#include "service/openSubtitleItem.h"
#include "service/ProviderChoice.h"
#include "service/ProviderSearch.h"
#include "service/SubtitleProvider.h"

#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

using State = VerificationJob::State;

constexpr StateName<State> StateNames[] = {
    {State::Idle, "Idle"_L1},
    {State::Adding, "adding"_L1},
    {State::Listing, "listing"_L1},
    {State::Listed, "listed"_L1},
    {State::Hashing, "Hashing"_L1},
    {State::Readying, "Readying"_L1},
    {State::Searching, "Searching"_L1},
    {State::SuccessSearching, "SuccessSearching"_L1},
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
    return stateName(state).endsWith("ing"_L1) && !isFailed(state);
}

std::shared_ptr<VerificationJob> VerificationJob::create()
{
    return std::shared_ptr<VerificationJob>(
        new VerificationJob, [](VerificationJob *job) { WorkerThreads::deleteOnOwnThread(job); });
}

VerificationJob::VerificationJob()
    : m_records(std::make_shared<JobRecords>())
    , m_intake(std::make_shared<ClientIntake>(m_records))
{
    const QMutexLocker guard(&m_records->stateLock());
    // The upload mode: the intake turns subtitles into records and pairs
    // each with the video of its name.
    m_records->mode = u"PutSubs"_s;
}

VerificationJob::~VerificationJob()
{
    m_intake->cancel();
}

VerificationJob::State VerificationJob::state() const
{
    const QMutexLocker guard(&m_records->stateLock());
    return m_state;
}

void VerificationJob::setState(State state)
{
    {
        const QMutexLocker guard(&m_records->stateLock());
        m_state = state;
    }
    Q_EMIT stateChanged(state);
}

bool VerificationJob::addPath(const QString &path)
{
    const QFileInfo info(path);
    if (m_cancelled || path.isEmpty() || !info.exists() || !info.isReadable())
        return false;
    if (isState(State::Listed) || isState(State::Idle))
        setState(State::Adding);
    return m_intake->add(path, MovieFileParser::Mode::PutSubs);
}

int VerificationJob::Tcounter() const
{
    return m_intake->Tcounter();
}

QList<std::shared_ptr<subtitleFile>> VerificationJob::takeNewSubtitles()
{
    QList<std::shared_ptr<subtitleFile>> fresh;
    {
        const QMutexLocker guard(&m_records->stateLock());
        for (const auto &sub : std::as_const(m_records->subfiles)) {
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
        const QMutexLocker guard(&m_records->stateLock());
        sub->isChecked = sub->hasMovie && !refused;
    }
    return fresh;
}

QStringList VerificationJob::dropUnchecked()
{
    QStringList dropped;
    const QMutexLocker guard(&m_records->stateLock());
    auto &subs = m_records->subfiles;
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
        const QMutexLocker guard(&m_records->stateLock());
        for (const auto &sub : std::as_const(m_records->subfiles))
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
    const QMutexLocker guard(&m_records->stateLock());
    return m_pairings;
}

QList<VerifyOutcome> VerificationJob::outcomes() const
{
    const QMutexLocker guard(&m_records->stateLock());
    return m_outcomes;
}

ServiceError VerificationJob::searchFailure() const
{
    const QMutexLocker guard(&m_records->stateLock());
    return m_searchFailure;
}

void VerificationJob::runVerification(bool autoRetry)
{
    QList<VerifyPairing> checked;
    {
        const QMutexLocker guard(&m_records->stateLock());
        if (m_state != State::Listed && !isFailed(m_state))
            return;
        for (const auto &sub : std::as_const(m_records->subfiles)) {
            if (sub->isChecked)
                checked.append(pairingOf(*sub));
        }
    }
    ServiceError failure;
    const QList<VerifyOutcome> found = verify(checked, RunSettings::fromPreferences(), failure);
    const bool failed = !failure.ok();
    {
        const QMutexLocker guard(&m_records->stateLock());
        m_pairings = checked;
        m_outcomes = found;
        m_searchFailure = failure;
    }
    setState(!failed ? State::SuccessSearching : autoRetry ? State::RetrySearching : State::ErrorSearching);
}

bool VerificationJob::startVerification(bool autoRetry)
{
    if (m_cancelled || m_running.exchange(true))
        return false;
    WorkerThreads::start(u"ThreadVerifySubs"_s, [job = shared_from_this(), autoRetry] {
        job->runVerification(autoRetry);
        job->m_running = false;
    });
    return true;
}

QList<VerifyOutcome> VerificationJob::verify(const QList<VerifyPairing> &pairings,
                                             const RunSettings &settings, ServiceError &failure)
{
    JobRecords &records = *m_records;
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

    setState(State::Hashing);
    {
        MethodProfiler trace(u"Hashing Files"_s);
        for (const auto &video : std::as_const(videos)) {
            if (m_cancelled)
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
    setState(State::Readying);

    // The run searches at most three languages at a time. Ask in the
    // subtitles' languages, through the run's settings rather than the
    // preferences, which every window reads. The videos were made without the
    // subtitles beside them, so a local subtitle never keeps a language from
    // being asked.
    setState(State::Searching);
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
    const std::shared_ptr<SubtitleProvider> provider = ProviderChoice::fromPreferences(settings.prefs);
    {
        const QMutexLocker guard(&m_providerLock);
        m_provider = provider;
    }
    // A cancel that came before the provider was there.
    if (m_cancelled)
        provider->cancel();
    return ProviderSearch::runByHash(*m_records, provider, settings);
}

void VerificationJob::cancel()
{
    m_cancelled = true;
    m_intake->cancel();
    const QMutexLocker guard(&m_providerLock);
    if (m_provider)
        m_provider->cancel();
}
