#include "service/VerifyRun.h"

#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "prefs/LangModule.h"
#include "prefs/myPrefs.h"
#include "preview/SubtitleCheck.h"
#include "service/ClientIntake.h"
#include "service/openSubtitleItem.h"
#include "service/OSClient.h"

#include <QMutexLocker>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

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

VerifyRun::VerifyRun()
    : m_client(std::make_unique<OSClient>())
    , m_intake(std::make_shared<ClientIntake>(*m_client))
{
    const QMutexLocker guard(&m_client->stateLock());
    m_client->mode = u"PutSubs"_s;
}

VerifyRun::~VerifyRun()
{
    m_intake->waitUntilDone();
}

bool VerifyRun::addPath(const QString &path)
{
    return m_intake->add(path, MovieFileParser::Mode::PutSubs);
}

QList<std::pair<QString, QString>> VerifyRun::notTakenIn() const
{
    QList<std::pair<QString, QString>> list;
    for (const auto &[shown, reason] : m_intake->notTakenIn())
        list.append({shown, reason});
    return list;
}

VerifyPairing VerifyRun::pairingOf(const subtitleFile &subtitle)
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

QList<VerifyPairing> VerifyRun::pairings()
{
    m_intake->waitUntilDone();
    m_pairings.clear();
    {
        const QMutexLocker guard(&m_client->stateLock());
        for (const auto &sub : std::as_const(m_client->subfiles)) {
            sub->isChecked = sub->hasMovie;
            sub->addedToList = true;
            m_pairings.append(pairingOf(*sub));
        }
    }
    // The files are read outside the lock.
    for (VerifyPairing &pairing : m_pairings) {
        pairing.refused = SubtitleCheck::refusal(pairing.subtitle);
        if (!pairing.refused.isEmpty())
            pairing.video.clear();
    }
    std::sort(m_pairings.begin(), m_pairings.end(),
              [](const VerifyPairing &a, const VerifyPairing &b) { return a.subtitle < b.subtitle; });
    return m_pairings;
}

QList<VerifyOutcome> VerifyRun::verify()
{
    return verify(*m_client, m_pairings);
}

QList<VerifyOutcome> VerifyRun::verify(OSClient &client, const QList<VerifyPairing> &pairings,
                                       const StageHook &stage)
{
    const auto tell = [&stage](Stage step) {
        if (stage)
            stage(step);
    };
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

    tell(Stage::Hashing);
    {
        MethodProfiler trace(u"Hashing Files"_s);
        for (const auto &video : std::as_const(videos)) {
            const bool hashed = !video->movieHash().isEmpty();
            const QMutexLocker guard(&client.stateLock());
            video->toSearch = hashed;
        }
    }
    {
        const QMutexLocker guard(&client.stateLock());
        client.movieFiles = videos;
    }
    tell(Stage::Readying);

    // The run searches at most three languages at a time. Ask in the
    // subtitles' languages, through the client's own override rather than the
    // preferences, which every window reads. The videos were made without the
    // subtitles beside them, so a local subtitle never keeps a language from
    // being asked.
    tell(Stage::Searching);
    for (qsizetype at = 0; at < languages.size(); at += 3) {
        const QStringList batch = languages.mid(at, 3);
        {
            const QMutexLocker guard(&client.stateLock());
            client.languageOverride = batch;
        }
        MethodProfiler trace(u"Starting Search"_s);
        if (!client.SearchSubs()) {
            const QStringList journal = client.status();
            QString failure = journal.isEmpty() ? u"the search failed"_s : journal.last();
            const QString detail = client.lastErrorString();
            if (!detail.isEmpty())
                failure += u" ("_s + detail + u')';
            for (VerifyOutcome &o : outcomes) {
                if (batch.contains(o.lang)) {
                    o.status = VerifyOutcome::Status::Failed;
                    o.reason = failure;
                }
            }
        }
    }

    const QMutexLocker guard(&client.stateLock());
    client.languageOverride.clear();
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
