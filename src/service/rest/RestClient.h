#pragma once

#include "service/HttpExchange.h"
#include "service/HttpRules.h"
#include "service/rest/RestResults.h"
#include "service/rest/RestTokenCache.h"
#include "service/ServiceError.h"

#include <QByteArray>
#include <QJsonObject>
#include <QMutex>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

// The download quota as the last /download reply reported it.
struct RestQuota {
    int remaining = -1;   // -1: not known yet
    QString resetTime;    // "09 hours and 57 minutes"
    QString resetTimeUtc; // "2024-04-23T23:59:59.999Z"
};

// What the API's replies say, read apart from any request so that each can be
// checked on its own. None of them trusts the reply's shape.
namespace RestReplies {
// The title of an HTML error page (a proxy's or the web site's), or empty.
QString pageTitle(const QByteArray &body);
// The service's own words about an error: "message", "error" or the first of
// "errors" of a JSON body, else `reason` (the X-Reason header).
QString serviceMessage(const QByteArray &body, const QByteArray &reason);
// The root the sign-in reply names (its base_url): a bare host
// ("api.opensubtitles.com") or a full address. It is taken only when it is
// secure enough and stays on the configured host or its parent domain (the
// service moves paying accounts to "vip-api." the same way); anything else
// keeps the configured root, so a reply cannot send our key elsewhere.
QUrl resolveRoot(const QUrl &configured, const QString &baseUrl);
// The quota a /download reply (200 or 406) reports; `known` stays the count
// when the reply gives none.
RestQuota quotaOf(const QJsonObject &reply, int known);
} // namespace RestReplies

// The client of the subtitle service's REST API (v1): sign-in, search and
// download, with the API's rules kept on our side: the key and our
// User-Agent on every request, canonical queries, HTTPS (plain HTTP only to
// this computer), a pace under the per-second limit, the waits a 429 asks
// for (bounded), one fresh sign-in when a token is refused, one new link when
// a download link has expired.
//
// Failures are ServiceErrors whose reason a user can act on (it says what to
// change, and where, when a setting is the cause): the service's status where
// it has a meaning of its own (401 bad account, 403 key missing or refused,
// 406 quota used up, 410 expired link, 429 slow down), ours otherwise (506
// the service failed, 500 an unreadable reply or web page, 502 an address
// that is not secure, 504 no connection, 509 out of time, 499 cancelled).
//
// Any thread may call it, one request at a time per thread; requests block.
// cancel() from any thread ends what is under way and everything after it.
class RestClient final {
public:
    struct Settings {
        QString server = defaultServer(); // .../api/v1
        QString apiKey;
        QString username; // empty: anonymous
        QString password;
        // Tokens kept across runs; none: every run signs in.
        std::shared_ptr<RestTokenCache> tokens;
    };

    static QString defaultServer();
    // Where a user gets an API key.
    static QString apiKeyPage();
    // "Lumbra v<version>", as the API asks applications to say who they are.
    static QByteArray userAgent();

    explicit RestClient(Settings settings);

    // Errors no later request of the same session can escape (no key, an
    // address that is not secure, a refused key or account, a cancelled
    // run): a run stops rather than repeating them for every video.
    static bool endsSession(const ServiceError &error);

    // Checks the settings and signs in when an account is set (anonymous use
    // needs no request): with the cached token while it is valid, else with
    // the password. Later requests sign in on their own when needed. Signed
    // in, it asks /infos/user how many downloads are left today.
    ServiceError signIn();

    struct SearchResult {
        QList<openSubtitleItemPtr> items;
        ServiceError error;
    };
    // One GET /subtitles, first page only (50 results, far more than the
    // ten per query the XML-RPC search takes).
    SearchResult search(const RestSearch &search);

    struct Download {
        QByteArray content; // the subtitle file, as sent (plain text)
        QString fileName;   // the name the service gives it
        ServiceError error;
    };
    // POST /download for the file id, then a plain GET of the link. Once the
    // quota is used up, later calls fail at once with the same message.
    // `dropped`, when it turns true, drops this download alone.
    Download fetchSubtitle(int fileId, const std::function<bool()> &dropped = {});

    RestQuota quota() const;
    // The number of requests sent to the API and to download links.
    int requestCount() const { return m_requests.load(); }

    void cancel() { m_cancel = true; }
    bool cancelled() const { return m_cancel.load(); }

    // How long a request may go without any data moving before it fails.
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    // How long a whole API exchange and a whole download may take
    // (HttpRules' limits; tests shorten them).
    void setTimeLimits(std::chrono::milliseconds request, std::chrono::milliseconds download)
    {
        m_requestLimit = request;
        m_downloadLimit = download;
    }
    // The longest Retry-After we wait for; a longer one fails at once.
    static constexpr std::chrono::seconds kMaxRetryAfter{30};
    // How many times a request is tried when it gets 429.
    static constexpr int kRateLimitAttempts = 3;

private:
    enum class Endpoint { Login, Api };
    struct Call {
        QByteArray verb;
        QString path; // below the API root, with the query
        QByteArray body;
        bool withToken = true;
        std::function<bool()> dropped;
    };
    HttpReply send(const Call &call, Endpoint endpoint);
    HttpReply sendOnce(const Call &call, Endpoint endpoint, const QUrl &url);
    // An API request with the session's token; a refused token is renewed once.
    HttpReply sendInSession(const Call &call, ServiceError &error);
    void noteQuota(const QJsonObject &reply);
    ServiceError quotaUsedUp(const HttpReply &reply);
    std::optional<QJsonObject> jsonOf(const HttpReply &reply, ServiceError &error, const QString &what);
    ServiceError errorOf(const HttpReply &reply, const QString &what);
    void pauseUntil(std::chrono::seconds wait, const HttpReply &reply);
    std::optional<HttpReply> pausedReply() const;
    ServiceError settingsError() const;
    ServiceError ensureSignedIn();
    ServiceError login();
    bool useCachedToken();
    void keepToken(const QString &token, const QUrl &root);
    void forgetToken();
    void askRemainingDownloads();
    QUrl apiRoot() const;
    Download fetchLink(const QUrl &link, const std::function<bool()> &dropped);

    const Settings m_settings;
    std::chrono::milliseconds m_timeout = HttpRules::SilenceLimit;
    std::chrono::milliseconds m_requestLimit = HttpRules::RequestLimit;
    std::chrono::milliseconds m_downloadLimit = HttpRules::DownloadLimit;
    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_requests{0};

    mutable QMutex m_lock; // guards the session state below; never held across a request
    QString m_token;
    QUrl m_root; // the API root in use (base_url from the sign-in, or the configured server)
    bool m_signedIn = false;
    RestQuota m_quota;
    ServiceError m_quotaError;
    std::optional<HttpReply> m_pauseReply; // a 429 asking for more than kMaxRetryAfter
    std::chrono::steady_clock::time_point m_pausedUntil;
};
