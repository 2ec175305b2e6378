#include "service/rest/RestProvider.h"

#include "common/LangModule.h"
#include "service/ProviderSearch.h"
#include "service/rest/RestDownloads.h"
#include "service/SubtitleDownload.h"

#include <QMutexLocker>

using namespace Qt::Literals::StringLiterals;

namespace {

// A query without its language: queries that share it become one request.
struct QueryGroup {
    SubtitleQuery query;
    QStringList languages; // two-letter codes
    QMap<QString, SubtitleQuery> byLanguage;
};

bool sameSearch(const SubtitleQuery &a, const SubtitleQuery &b)
{
    return a.kind == b.kind && a.movieHash == b.movieHash && a.imdbId == b.imdbId && a.query == b.query &&
           a.season == b.season && a.episode == b.episode;
}

RestSearch restSearchOf(const QueryGroup &group)
{
    RestSearch search;
    search.languages = group.languages;
    const SubtitleQuery &q = group.query;
    switch (q.kind) {
    case SubtitleQuery::Kind::Hash:
        search.movieHash = q.movieHash;
        break;
    case SubtitleQuery::Kind::Imdb:
        search.imdbId = q.imdbId;
        break;
    case SubtitleQuery::Kind::Name:
        search.query = q.query;
        search.season = q.season;
        search.episode = q.episode;
        break;
    case SubtitleQuery::Kind::Tag:
        break;
    }
    return search;
}

} // namespace

RestProvider::RestProvider(const QString &server, const QString &apiKey,
                           std::shared_ptr<RestTokenCache> tokens)
    : m_server(server)
    , m_apiKey(apiKey)
    , m_tokens(std::move(tokens))
{
}

RestProvider::~RestProvider() = default;

void RestProvider::setRequestTimeout(std::chrono::milliseconds timeout)
{
    const QMutexLocker guard(&m_lock);
    m_timeout = timeout;
}

RestClient *RestProvider::client() const
{
    const QMutexLocker guard(&m_lock);
    return m_client.get();
}

ServiceError RestProvider::signIn(const ProviderAccount &account)
{
    RestClient *client = nullptr;
    {
        const QMutexLocker guard(&m_lock);
        if (m_cancelled)
            return ServiceError::cancelledError();
        m_client = std::make_unique<RestClient>(
            RestClient::Settings{m_server, m_apiKey, account.user, account.password, m_tokens});
        client = m_client.get();
        if (m_timeout.count() > 0)
            client->setTransferTimeout(m_timeout);
    }
    return client->signIn();
}

ServiceResult<QList<openSubtitleItemPtr>> RestProvider::search(const QList<SubtitleQuery> &queries, int limit)
{
    using Result = ServiceResult<QList<openSubtitleItemPtr>>;
    RestClient *rest = client();
    if (m_cancelled)
        return Result::failure(ServiceError::cancelledError());
    if (!rest)
        return Result::failure({ServiceError::BadReply, u"search before sign-in"_s});

    QList<QueryGroup> groups;
    for (const SubtitleQuery &q : queries) {
        const QString language = LangModule::getLangTwo(q.language);
        if (q.kind == SubtitleQuery::Kind::Tag || language.isEmpty())
            continue;
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const QueryGroup &g) { return sameSearch(g.query, q); });
        if (group == groups.end())
            group = groups.insert(groups.end(), QueryGroup{q, {}, {}});
        if (!group->languages.contains(language))
            group->languages.append(language);
        group->byLanguage.insert(language, q);
    }

    // A failed group does not lose what the others found: the failure is
    // reported with it, as the XML-RPC search does. One that ends the run
    // (no answer, 429, cancelled) would only repeat for the next group.
    Result outcome;
    QList<openSubtitleItemPtr> &found = outcome.value;
    for (const QueryGroup &group : std::as_const(groups)) {
        const auto result = rest->search(restSearchOf(group));
        if (result.error) {
            outcome.error = result.error;
            if (ProviderSearch::endsTheRun(outcome.error) || RestClient::endsSession(outcome.error))
                break;
            continue;
        }
        QMap<QString, int> perLanguage;
        for (const auto &item : result.items) {
            if (++perLanguage[item->ISO639] > limit)
                continue;
            const SubtitleQuery &own = group.byLanguage.value(item->ISO639, group.query);
            item->QueryParameters = own.parameters();
            found.append(item);
        }
    }
    return outcome;
}

ServiceResult<QByteArray> RestProvider::download(const openSubtitleItem &subtitle, const StopCheck &dropped)
{
    RestClient *rest = client();
    if (m_cancelled)
        return ServiceResult<QByteArray>::failure(ServiceError::cancelledError());
    if (!rest)
        return ServiceResult<QByteArray>::failure({ServiceError::BadReply, u"download before sign-in"_s});
    const auto fetched = rest->fetchSubtitle(subtitle.IDSubtitleFile, dropped);
    if (fetched.error)
        return ServiceResult<QByteArray>::failure(fetched.error);
    return ServiceResult<QByteArray>::success(fetched.content);
}

void RestProvider::downloadEach(const QList<openSubtitleItem> &subtitles,
                                const std::function<bool(int)> &begin,
                                const std::function<void(int, const ServiceResult<QByteArray> &)> &delivered,
                                const StopCheck &dropped)
{
    RestDownloads(int(subtitles.size()), begin, delivered)
        .run([&](int index) { return download(subtitles[index], dropped); },
             SubtitleDownload::kDownloadsInFlight);
}

int RestProvider::remainingDownloads() const
{
    const RestClient *rest = client();
    return rest ? rest->quota().remaining : -1;
}

void RestProvider::cancel()
{
    const QMutexLocker guard(&m_lock);
    m_cancelled = true;
    if (m_client)
        m_client->cancel();
}

bool RestProvider::cancelled() const
{
    return m_cancelled;
}
