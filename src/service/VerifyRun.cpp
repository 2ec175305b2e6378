#include "service/VerifyRun.h"

#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "prefs/LangModule.h"
#include "prefs/myPrefs.h"
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

QList<VerifyPairing> VerifyRun::pairings()
{
    m_intake->waitUntilDone();
    QList<std::shared_ptr<subtitleFile>> subs;
    {
        const QMutexLocker guard(&m_client->stateLock());
        subs = m_client->subfiles;
    }
    // A subtitle whose name gives no language is taken to be in the default language.
    const QString fallback = myPrefs::defaultLanguage();
    m_pairings.clear();
    for (const auto &sub : std::as_const(subs)) {
        VerifyPairing pairing;
        pairing.subtitle = sub->path();
        const QString lang = LangModule::getLangTwo(sub->ISO639());
        pairing.lang = lang.isEmpty() ? fallback : lang;
        const QMutexLocker guard(&m_client->stateLock());
        sub->isChecked = sub->hasMovie;
        sub->addedToList = true;
        if (sub->hasMovie && sub->thisMovie())
            pairing.video = sub->thisMovie()->path();
        m_pairings.append(pairing);
    }
    std::sort(m_pairings.begin(), m_pairings.end(),
              [](const VerifyPairing &a, const VerifyPairing &b) { return a.subtitle < b.subtitle; });
    return m_pairings;
}

QList<VerifyOutcome> VerifyRun::verify()
{
    // The paired videos, one record each, and the languages to ask about.
    QList<std::shared_ptr<movieFile>> videos;
    QStringList languages;
    QList<VerifyOutcome> outcomes;
    for (const VerifyPairing &pairing : std::as_const(m_pairings)) {
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

    {
        MethodProfiler trace(u"Hashing Files"_s);
        for (const auto &video : std::as_const(videos)) {
            const bool hashed = !video->movieHash().isEmpty();
            const QMutexLocker guard(&m_client->stateLock());
            video->toSearch = hashed;
        }
    }
    {
        const QMutexLocker guard(&m_client->stateLock());
        m_client->movieFiles = videos;
    }

    // The run searches the preferred languages, at most three at a time; ask
    // in the subtitles' languages instead, and regardless of the subtitle
    // lying beside the video.
    const myPrefs::Values saved = myPrefs::values();
    QString failure;
    for (qsizetype at = 0; at < languages.size(); at += 3) {
        myPrefs::Values run = saved;
        run.languageList = languages.mid(at, 3);
        run.refreshSubs = true;
        myPrefs::setValues(run);
        MethodProfiler trace(u"Starting Search"_s);
        if (!m_client->SearchSubs()) {
            const QStringList journal = m_client->status();
            failure = journal.isEmpty() ? u"the search failed"_s : journal.last();
            const QString detail = m_client->lastErrorString();
            if (!detail.isEmpty())
                failure += u" ("_s + detail + u')';
            for (VerifyOutcome &o : outcomes) {
                if (run.languageList.contains(o.lang)) {
                    o.status = VerifyOutcome::Status::Failed;
                    o.reason = failure;
                }
            }
        }
    }
    myPrefs::setValues(saved);

    const QMutexLocker guard(&m_client->stateLock());
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
