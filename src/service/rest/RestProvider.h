#pragma once

#include "service/rest/RestClient.h"
#include "service/SubtitleProvider.h"

#include <QMutex>

#include <atomic>
#include <memory>

// The subtitle service's REST API as a provider.
//
// Queries that differ only in their language become one request that asks
// for all their languages at once (the API takes a list), so a video costs
// one request per kind of search, not one per language: the API's
// per-second limit, not the network, bounds a large run. Hash queries send
// the hash alone; IMDB queries the id; name queries the name with season and
// episode. The API has no release-tag search: tag queries find nothing here,
// and the name search that follows covers those videos. Each result echoes
// the query of its own language. Downloads go through POST /download and the
// link it returns; the remaining quota is kept for the windows and the
// command line.
class RestProvider final : public SubtitleProvider {
public:
    // `server` is the API root (the RestServer preference), `apiKey` the
    // RestApiKey preference; `tokens`, when given, keeps sign-ins across runs.
    RestProvider(const QString &server, const QString &apiKey, std::shared_ptr<RestTokenCache> tokens = {});
    ~RestProvider() override;

    ServiceError signIn(const ProviderAccount &account) override;
    ServiceResult<QList<openSubtitleItemPtr>> search(const QList<SubtitleQuery> &queries, int limit) override;
    ServiceResult<QByteArray> download(const openSubtitleItem &subtitle,
                                       const StopCheck &dropped = {}) override;
    // Up to four downloads under way together (see RestDownloads).
    void downloadEach(const QList<openSubtitleItem> &subtitles, const std::function<bool(int)> &begin,
                      const std::function<void(int, const ServiceResult<QByteArray> &)> &delivered,
                      const StopCheck &dropped = {}) override;
    int remainingDownloads() const override;

    void setRequestTimeout(std::chrono::milliseconds timeout) override;
    void cancel() override;
    bool cancelled() const override;

    // The session's client (null before signIn), for its quota and request count.
    RestClient *client() const;

private:
    QString m_server;
    QString m_apiKey;
    std::shared_ptr<RestTokenCache> m_tokens;
    std::chrono::milliseconds m_timeout{0}; // 0: the client's own
    std::atomic<bool> m_cancelled{false};
    mutable QMutex m_lock; // guards m_client's creation against cancel()
    std::unique_ptr<RestClient> m_client;
};
