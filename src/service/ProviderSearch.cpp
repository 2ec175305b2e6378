#include "service/ProviderSearch.h"

#include "common/LangModule.h"
#include "media/FileNames.h"
#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "media/VideoMetadata.h"
#include "service/openSubtitleItem.h"
#include "service/OSClient.h"
#include "service/SubtitleProvider.h"

#include <QMutexLocker>

using namespace Qt::Literals::StringLiterals;

namespace ProviderSearch {

namespace {

using Kind = SubtitleQuery::Kind;

// As many results per query as the service was always asked for.
constexpr int kResultsPerQuery = 10;

std::optional<SubtitleQuery> queryFor(const movieFile &video, Kind kind, const QString &lang3)
{
    SubtitleQuery q;
    q.kind = kind;
    q.language = lang3;
    const VideoMetadata &meta = *video.metadata();
    switch (kind) {
    case Kind::Hash:
        q.movieHash = video.movieHash();
        q.movieByteSize = video.bytesize();
        if (q.movieHash.isEmpty())
            return std::nullopt;
        break;
    case Kind::Imdb:
        q.imdbId = meta.movieImdbID();
        if (q.imdbId.isEmpty())
            return std::nullopt;
        break;
    case Kind::Tag:
        q.tag = video.movieFileName();
        break;
    case Kind::Name:
        if (meta.isTVShow && meta.showtype.left(2).compare("EP"_L1, Qt::CaseInsensitive) == 0) {
            q.query = meta.showname;
            q.season = meta.season;
            q.episode = meta.episode;
        } else {
            q.query = shortname(video.movieFileName());
        }
        break;
    }
    return q;
}

class Run {
public:
    Run(OSClient &client, std::shared_ptr<SubtitleProvider> provider)
        : m_client(client)
        , m_provider(std::move(provider))
    {
    }

    ServiceError search(Kind kind);
    void chooseBest();
    ServiceError identifyUnmatched();

private:
    OSClient &m_client;
    std::shared_ptr<SubtitleProvider> m_provider;
};

ServiceError Run::search(Kind kind)
{
    QList<SubtitleQuery> queries;
    {
        const QMutexLocker guard(&m_client.stateLock());
        for (const QString &language : std::as_const(m_client.searchLangs)) {
            const QString lang3 = LangModule::getLangThree(language);
            for (const auto &video : m_client.videosToSearch(lang3)) {
                if (const auto q = queryFor(*video, kind, lang3))
                    queries.append(*q);
            }
        }
    }
    if (queries.isEmpty())
        return {};
    const auto found = m_provider->search(queries, kResultsPerQuery);
    // What the requests that went well found counts, even when another failed.
    for (const auto &item : found.value)
        item->provider = m_provider; // not shared with anyone yet
    m_client.attachItems(found.value);
    return found.error;
}

void Run::chooseBest()
{
    const QMutexLocker guard(&m_client.stateLock());
    for (const auto &video : std::as_const(m_client.movieFiles)) {
        const auto results = video->subtitleResults();
        if (!results.isEmpty())
            video->setSubtitleResults(m_client.FindBestSub(results));
    }
}

ServiceError Run::identifyUnmatched()
{
    QStringList hashes;
    {
        const QMutexLocker guard(&m_client.stateLock());
        for (const Variant &hash : m_client.hashesLackingResults())
            hashes.append(hash.toString());
    }
    if (hashes.isEmpty())
        return {};
    const auto films = m_provider->identify(hashes);
    if (films.error.code == ServiceError::NotSupported)
        return {};
    if (!films.ok())
        return films.error;
    Dictionary byHash;
    for (auto it = films.value.cbegin(); it != films.value.cend(); ++it) {
        VariantList candidates;
        for (const Dictionary &candidate : it.value())
            candidates.append(QVariant::fromValue(candidate));
        byHash.insert(it.key(), candidates);
    }
    m_client.storeImdbCandidates(byHash);
    return {};
}

// Fixes the languages and hashes the videos, then signs in.
ServiceError prepareAndSignIn(OSClient &client, SubtitleProvider &provider, const ProviderAccount &account,
                              const myPrefs::Values &prefs)
{
    QList<std::shared_ptr<movieFile>> videos;
    {
        const QMutexLocker guard(&client.stateLock());
        client.searchLangs = !client.languageOverride.isEmpty() ? client.languageOverride
                             : prefs.languageList.isEmpty()     ? QStringList{u"en"_s}
                                                                : prefs.languageList;
        client.refreshSubs = prefs.refreshSubs;
        videos = client.movieFiles;
    }
    // Jobs hash before they search; this catches the rest, outside the lock.
    for (const auto &video : std::as_const(videos))
        OSClient::hashForSearch(*video);

    const MethodProfiler trace(u"Logging in"_s);
    return provider.signIn(account);
}

} // namespace

ServiceError run(OSClient &client, const std::shared_ptr<SubtitleProvider> &provider,
                 const ProviderAccount &account, const myPrefs::Values &prefs, ServiceError *stepFailure)
{
    if (ServiceError error = prepareAndSignIn(client, *provider, account, prefs); !error.ok())
        return error;
    Run run(client, provider);
    ServiceError hashSearch;
    {
        const MethodProfiler trace(u"Searching Subtitles remotely"_s);
        hashSearch = run.search(Kind::Hash);
    }
    {
        const MethodProfiler trace(u"Finding Best Subs"_s);
        run.chooseBest();
    }
    if (hashSearch.cancelled() || endsTheRun(hashSearch))
        return hashSearch;
    if (stepFailure)
        *stepFailure = hashSearch;
    if (hashSearch.ok()) {
        const MethodProfiler trace(u"Finding IMDBIDs of unhashed videos"_s);
        if (ServiceError error = run.identifyUnmatched(); !error.ok())
            return error;
        if (ServiceError error = run.search(Kind::Imdb); !error.ok())
            return error;
    }
    {
        const MethodProfiler trace(u"Finding Subs by Tag"_s);
        if (ServiceError error = run.search(Kind::Tag); !error.ok())
            return error;
    }
    ServiceError nameSearch;
    {
        const MethodProfiler trace(u"Finding Subs by Name"_s);
        nameSearch = run.search(Kind::Name);
    }
    {
        const MethodProfiler trace(u"Processing subtitle results"_s);
        client.markLocalCopies();
    }
    return nameSearch;
}

bool endsTheRun(const ServiceError &error)
{
    return error.code == ServiceError::TimedOut || error.code == ServiceError::ConnectionRefused ||
           error.code == ServiceError::HostNotFound || error.code == 429;
}

ServiceError runByHash(OSClient &client, const std::shared_ptr<SubtitleProvider> &provider,
                       const ProviderAccount &account, const myPrefs::Values &prefs)
{
    if (ServiceError error = prepareAndSignIn(client, *provider, account, prefs); !error.ok())
        return error;
    Run run(client, provider);
    const MethodProfiler trace(u"Searching Subtitles remotely"_s);
    return run.search(Kind::Hash);
}

} // namespace ProviderSearch
