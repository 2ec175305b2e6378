#include "service/rest/RestClient.h"

#include "service/HttpRules.h"
#include "service/rest/RestJson.h"
#include "service/rest/RestLanguages.h"
#include "service/rest/RestPacer.h"
#include "service/rest/RestQuery.h"
#include "service/SubtitleDownload.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {
Q_LOGGING_CATEGORY(lcRest, "lumbra.rest")

bool waitForTurn(RestPacer &pacer, const std::atomic<bool> *cancel)
{
    return RestPacer::waitFor(pacer.reserve(), cancel);
}

bool isHtml(const HttpReply &reply)
{
    return reply.header("Content-Type").toLower().contains("html");
}

bool looksLikePage(const HttpReply &reply)
{
    return isHtml(reply) || reply.body.trimmed().startsWith('<');
}

RateHeaders rateHeadersOf(const HttpReply &reply)
{
    const auto either = [&](const char *first, const char *second) {
        const QByteArray value = reply.header(first);
        return value.isEmpty() ? reply.header(second) : value;
    };
    return {either("X-RateLimit-Limit-Second", "RateLimit-Limit"),
            either("X-RateLimit-Remaining-Second", "RateLimit-Remaining"), reply.header("RateLimit-Reset")};
}

// The service's words about an error: X-Reason, or X-OpenSubtitles-Message.
QByteArray reasonOf(const HttpReply &reply)
{
    const QByteArray reason = reply.header("X-Reason");
    return reason.isEmpty() ? reply.header("X-OpenSubtitles-Message") : reason;
}

} // namespace

namespace RestReplies {

QString pageTitle(const QByteArray &body)
{
    static const QRegularExpression title(u"<title[^>]*>([^<]{1,300})</title>"_s,
                                          QRegularExpression::CaseInsensitiveOption);
    return title.match(QString::fromUtf8(body.left(64 * 1024))).captured(1).simplified();
}

QString serviceMessage(const QByteArray &body, const QByteArray &reason)
{
    QString said;
    if (const auto json = RestJson::parseObject(body)) {
        said = RestJson::text(json->value("message"_L1));
        if (said.isEmpty())
            said = RestJson::text(json->value("error"_L1));
        if (said.isEmpty())
            said = RestJson::text(RestJson::array(json->value("errors"_L1)).at(0));
    }
    if (said.isEmpty())
        said = QString::fromUtf8(reason.left(300));
    return said.simplified();
}

QUrl resolveRoot(const QUrl &configured, const QString &baseUrl)
{
    const QString given = baseUrl.trimmed();
    if (given.isEmpty())
        return configured;
    QUrl candidate;
    if (given.contains("://"_L1)) {
        candidate = QUrl(given, QUrl::StrictMode);
        if (candidate.path().isEmpty() || candidate.path() == "/"_L1)
            candidate.setPath(configured.path());
    } else {
        candidate = configured;
        const QUrl hostPort(u"//"_s + given, QUrl::StrictMode);
        if (!hostPort.isValid() || hostPort.host().isEmpty() || !hostPort.path().isEmpty())
            return configured;
        candidate.setHost(hostPort.host());
        candidate.setPort(hostPort.port(hostPort.host() == configured.host() ? configured.port() : -1));
    }
    const QString host = candidate.host().toLower();
    const QString home = configured.host().toLower();
    const QString parent = home.section(u'.', 1);
    const bool related = host == home || (parent.contains(u'.') && host.endsWith(u'.' + parent));
    // The key goes to the same scheme and port as configured, on the same
    // host or a sibling of the service's own domain: never to another port of
    // the same computer.
    QUrl origin = candidate;
    origin.setHost(configured.host());
    return candidate.isValid() && related && HttpRules::sameOrigin(origin, configured) &&
                   HttpRules::isSecureEnough(candidate)
               ? candidate
               : configured;
}

RestQuota quotaOf(const QJsonObject &reply, int known)
{
    RestQuota quota;
    // The service has been seen to count below zero.
    quota.remaining =
        int(std::max<qint64>(0, RestJson::integer(reply.value("remaining"_L1), -1000000, 1000000, known)));
    quota.resetTime = RestJson::text(reply.value("reset_time"_L1)).left(100);
    quota.resetTimeUtc = RestJson::text(reply.value("reset_time_utc"_L1)).left(100);
    return quota;
}

} // namespace RestReplies

namespace {

QString serviceMessage(const HttpReply &reply)
{
    return RestReplies::serviceMessage(reply.body, reasonOf(reply));
}

QString withSaid(const QString &text, const QString &said)
{
    return said.isEmpty() ? text : text + u" ("_s + said + u')';
}

// "it wants a pause of 3600 s (until 14:05 UTC)", from either form of Retry-After.
QString pauseWords(const QByteArray &retryAfter)
{
    const std::optional<std::chrono::seconds> wait = HttpRules::retryAfter(retryAfter);
    if (!wait)
        return u"it does not say for how long"_s;
    const QDateTime until = QDateTime::currentDateTimeUtc().addSecs(wait->count());
    return u"it wants a pause of %1 s (until %2 UTC)"_s.arg(wait->count())
        .arg(until.toString(u"yyyy-MM-dd HH:mm"_s));
}

// Why a redirect was not followed.
QString redirectWords(const HttpReply &reply)
{
    if (reply.refusedRedirect.isEmpty())
        return u"too many redirects"_s;
    if (!HttpRules::isSecureEnough(reply.refusedRedirect))
        return u"a redirect to an address that is not https://"_s;
    return u"a redirect to %1, where Lumbra does not send its key"_s.arg(
        reply.refusedRedirect.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery));
}

QString hostOf(const QUrl &url)
{
    return url.port() > 0 ? url.host() + u':' + QString::number(url.port()) : url.host();
}

} // namespace

bool RestClient::endsSession(const ServiceError &error)
{
    // 502 is the insecure address here: this client words every other
    // failure it makes of an HTTP status by its own code.
    return error.code == 403 || error.code == 401 || error.code == ServiceError::HttpError ||
           error.cancelled();
}

QString RestClient::defaultServer()
{
    return u"https://api.opensubtitles.com/api/v1"_s;
}

QString RestClient::apiKeyPage()
{
    return u"https://www.opensubtitles.com/en/consumers"_s;
}

QByteArray RestClient::userAgent()
{
    return QByteArrayLiteral("Lumbra v" LUMBRA_VERSION);
}

RestClient::RestClient(Settings settings)
    : m_settings(std::move(settings))
{
}

RestQuota RestClient::quota() const
{
    const QMutexLocker guard(&m_lock);
    return m_quota;
}

QUrl RestClient::apiRoot() const
{
    const QMutexLocker guard(&m_lock);
    return m_root.isValid() ? m_root : QUrl(m_settings.server.trimmed());
}

ServiceError RestClient::settingsError() const
{
    if (m_settings.apiKey.trimmed().isEmpty())
        return {403, u"the subtitle service's REST API needs an API key: get one at %1 and enter it in the "
                     "preferences (\"REST API key\", or lumbra-cli prefs --set RestApiKey=KEY)"_s.arg(
                         apiKeyPage())};
    const QUrl server(m_settings.server.trimmed(), QUrl::StrictMode);
    if (!HttpRules::isSecureEnough(server))
        return {ServiceError::HttpError,
                u"the REST server address '%1' is not an https:// address (plain http is accepted for "
                "this computer only); correct RestServer in the preferences"_s.arg(m_settings.server)};
    return {};
}

// --- Requests ---------------------------------------------------------------

HttpReply RestClient::sendOnce(const Call &call, Endpoint endpoint, const QUrl &url)
{
    HttpRequest request;
    request.verb = call.verb;
    request.url = url;
    request.body = call.body;
    request.contentType = "application/json";
    request.userAgent = userAgent();
    request.maxBytes = RestJson::kMaxReplyBytes;
    request.silenceLimit = m_timeout;
    request.timeLimit = m_requestLimit;
    request.cancel = &m_cancel;
    request.dropped = call.dropped;
    // Redirects stay on the same origin and keep the key and token; the API
    // sends relative ones for queries not in its canonical form.
    request.redirectScope = HttpRules::RedirectScope::SameOrigin;
    request.headers = {{"Api-Key", m_settings.apiKey.trimmed().toUtf8()}, {"Accept", "application/json"}};
    if (call.withToken) {
        const QMutexLocker guard(&m_lock);
        if (!m_token.isEmpty())
            request.headers.emplaceBack("Authorization", "Bearer " + m_token.toUtf8());
    }
    RestPacer &pacer = endpoint == Endpoint::Login ? RestPacer::login() : RestPacer::api();
    if (!waitForTurn(pacer, &m_cancel)) {
        HttpReply cancelled;
        cancelled.url = url;
        cancelled.failure = HttpReply::Failure::Cancelled;
        return cancelled;
    }
    ++m_requests;
    HttpReply reply = HttpExchange::run(request);
    if (reply.ok())
        pacer.noteReply(reply.status, rateHeadersOf(reply), reply.header("Retry-After"));
    return reply;
}

HttpReply RestClient::send(const Call &call, Endpoint endpoint)
{
    if (std::optional<HttpReply> paused = pausedReply())
        return *paused;
    HttpReply reply;
    for (int attempt = 1; attempt <= kRateLimitAttempts; ++attempt) {
        reply = sendOnce(call, endpoint, QUrl(apiRoot().toString() + call.path));
        if (reply.status != 429)
            return reply;
        // A wait it does not say (or cannot be read) is taken as a second; the
        // pacer holds every request for it (the next turn waits). A pause
        // longer than we accept ends this client's requests until it is over.
        const std::chrono::seconds wait = HttpRules::retryAfter(reply.header("Retry-After")).value_or(1s);
        if (wait > kMaxRetryAfter) {
            pauseUntil(wait, reply);
            return reply;
        }
        if (attempt == kRateLimitAttempts)
            return reply;
        qCInfo(lcRest) << "rate limited; trying again after the pause the service asks for";
    }
    return reply;
}

// A pause longer than we wait ends this client's requests until it is over:
// each later one gets the same answer at once, without asking again.
void RestClient::pauseUntil(std::chrono::seconds wait, const HttpReply &reply)
{
    const QMutexLocker guard(&m_lock);
    m_pausedUntil = std::chrono::steady_clock::now() + wait;
    m_pauseReply = reply;
}

std::optional<HttpReply> RestClient::pausedReply() const
{
    const QMutexLocker guard(&m_lock);
    if (!m_pauseReply || std::chrono::steady_clock::now() >= m_pausedUntil)
        return std::nullopt;
    return m_pauseReply;
}

ServiceError RestClient::errorOf(const HttpReply &reply, const QString &what)
{
    const QString host = hostOf(reply.url);
    switch (reply.failure) {
    case HttpReply::Failure::Cancelled:
        return {ServiceError::Cancelled, u"cancelled"_s};
    case HttpReply::Failure::Network:
        // Qt's own time limits, where they apply, end an exchange this way.
        if (reply.networkError != QNetworkReply::OperationCanceledError &&
            reply.networkError != QNetworkReply::TimeoutError)
            return {HttpReply::networkFailure(reply.networkError).code,
                    u"cannot reach %1: %2"_s.arg(host, reply.errorText)};
        [[fallthrough]];
    case HttpReply::Failure::Timeout:
        return {ServiceError::TimedOut, u"%1 stopped answering (no data for %2 s) during %3"_s.arg(host)
                                            .arg(m_timeout.count() / 1000.0)
                                            .arg(what)};
    case HttpReply::Failure::TooSlow:
        return {ServiceError::TimedOut, u"%1 did not finish %2 within %3 s"_s.arg(host, what)
                                            .arg(double(reply.timeLimit.count()) / 1000.0)};
    case HttpReply::Failure::Redirect:
        return {ServiceError::BadReply, u"%1 answered %2 with %3"_s.arg(host, what, redirectWords(reply))};
    case HttpReply::Failure::TooLarge:
        return {ServiceError::BadReply, u"the answer of %1 to %2 was too large"_s.arg(host, what)};
    case HttpReply::Failure::None:
        break;
    }
    const int status = reply.status;
    if (looksLikePage(reply) && status != 403)
        return {ServiceError::BadReply,
                withSaid(
                    u"%1 answered %2 with a web page instead of data (HTTP %3)"_s.arg(host, what).arg(status),
                    RestReplies::pageTitle(reply.body))};
    const QString said = looksLikePage(reply) ? RestReplies::pageTitle(reply.body) : serviceMessage(reply);
    if (status == 401)
        return {401, withSaid(u"the service refused the account '%1'"_s.arg(m_settings.username), said) +
                         u"; correct the user name and password in the preferences (OSUsername, OSPassword), "
                         "or clear them to use the service without an account"_s};
    if (status == 403)
        return {403, withSaid(u"the service refused the request"_s, said) +
                         u"; check the REST API key in the preferences (RestApiKey); keys are "
                         "issued at "_s +
                         apiKeyPage()};
    if (status == 410)
        return {410, u"the download link expired"_s};
    if (status == 429)
        return {429, withSaid(u"the service asks to slow down"_s, said) + u"; "_s +
                         pauseWords(reply.header("Retry-After")) + u"; try again later"_s};
    if (status >= 500)
        return {ServiceError::Unavailable, withSaid(u"the service failed (HTTP %1)"_s.arg(status), said)};
    return {ServiceError::BadReply,
            withSaid(u"unexpected answer to %1 (HTTP %2)"_s.arg(what).arg(status), said)};
}

std::optional<QJsonObject> RestClient::jsonOf(const HttpReply &reply, ServiceError &error,
                                              const QString &what)
{
    if (!reply.ok() || reply.status != 200) {
        error = errorOf(reply, what);
        return std::nullopt;
    }
    if (looksLikePage(reply)) {
        error = errorOf(reply, what);
        return std::nullopt;
    }
    auto json = RestJson::parseObject(reply.body);
    if (!json)
        error = {ServiceError::BadReply, u"the service's answer to %1 could not be read"_s.arg(what)};
    return json;
}

// --- Sign-in ----------------------------------------------------------------

ServiceError RestClient::signIn()
{
    ServiceError error = ensureSignedIn();
    if (!error && !m_settings.username.isEmpty())
        askRemainingDownloads();
    return error;
}

void RestClient::askRemainingDownloads()
{
    ServiceError error;
    const HttpReply reply = sendInSession({"GET", u"/infos/user"_s, {}, true, {}}, error);
    if (error)
        return;
    const auto json = jsonOf(reply, error, u"the account's details"_s);
    if (!json)
        return; // the count comes with the first download instead
    const QJsonObject data = RestJson::object(json->value("data"_L1));
    const qint64 remaining = RestJson::integer(data.value("remaining_downloads"_L1), -1000000, 1000000, -1);
    if (remaining == -1)
        return;
    const QMutexLocker guard(&m_lock);
    m_quota.remaining = int(std::max<qint64>(0, remaining));
}

bool RestClient::useCachedToken()
{
    if (!m_settings.tokens)
        return false;
    const auto cached =
        m_settings.tokens->find(m_settings.username, QUrl(m_settings.server.trimmed()), m_settings.password);
    if (!cached)
        return false;
    qCDebug(lcRest) << "reusing the token of the last sign-in";
    const QMutexLocker guard(&m_lock);
    m_token = cached->token;
    m_root = cached->root;
    m_signedIn = true;
    return true;
}

void RestClient::keepToken(const QString &token, const QUrl &root)
{
    if (m_settings.tokens)
        m_settings.tokens->keep(m_settings.username, QUrl(m_settings.server.trimmed()),
                                {token, root, m_settings.tokens->expiryOf(token)}, m_settings.password);
}

void RestClient::forgetToken()
{
    if (m_settings.tokens)
        m_settings.tokens->forget(m_settings.username, QUrl(m_settings.server.trimmed()));
}

ServiceError RestClient::ensureSignedIn()
{
    if (ServiceError error = settingsError())
        return error;
    {
        const QMutexLocker guard(&m_lock);
        if (m_signedIn)
            return {};
    }
    if (!m_settings.username.isEmpty() && useCachedToken())
        return {};
    return login();
}

ServiceError RestClient::login()
{
    if (m_settings.username.isEmpty()) {
        const QMutexLocker guard(&m_lock);
        m_signedIn = true; // anonymous: the key alone, no request
        return {};
    }
    const QJsonObject body{{u"username"_s, m_settings.username}, {u"password"_s, m_settings.password}};
    const HttpReply reply =
        send({"POST", u"/login"_s, QJsonDocument(body).toJson(QJsonDocument::Compact), false, {}},
             Endpoint::Login);
    if (reply.ok() && reply.status == 400) {
        return {401, withSaid(u"the service refused the sign-in of '%1'"_s.arg(m_settings.username),
                              serviceMessage(reply)) +
                         u"; the preference OSUsername takes the user name, not the e-mail address"_s};
    }
    ServiceError error;
    const auto json = jsonOf(reply, error, u"the sign-in"_s);
    if (!json)
        return error;
    const QString token = RestJson::text(json->value("token"_L1));
    if (token.isEmpty())
        return {ServiceError::BadReply, u"the service's sign-in answer has no token"_s};
    // It goes into a header of every later request: only token characters.
    if (!HttpRules::isTokenText(token.toUtf8()))
        return {ServiceError::BadReply, u"the service's sign-in answer has a token with characters a token "
                                        "cannot hold"_s};
    const QUrl root = RestReplies::resolveRoot(QUrl(m_settings.server.trimmed()),
                                               RestJson::text(json->value("base_url"_L1)));
    keepToken(token, root);
    const QMutexLocker guard(&m_lock);
    m_token = token;
    m_root = root;
    m_signedIn = true;
    return {};
}

HttpReply RestClient::sendInSession(const Call &call, ServiceError &error)
{
    HttpReply reply = send(call, Endpoint::Api);
    bool hadToken = false;
    {
        const QMutexLocker guard(&m_lock);
        hadToken = !m_token.isEmpty();
    }
    // A token runs out after a day: sign in afresh once and ask again.
    if (reply.ok() && reply.status == 401 && hadToken) {
        qCInfo(lcRest) << "the service refused the token; signing in again";
        forgetToken();
        {
            const QMutexLocker guard(&m_lock);
            m_token.clear();
            m_signedIn = false;
        }
        if ((error = login()))
            return reply;
        reply = send(call, Endpoint::Api);
    }
    return reply;
}

// --- Search -----------------------------------------------------------------

RestClient::SearchResult RestClient::search(const RestSearch &search)
{
    SearchResult result;
    if ((result.error = ensureSignedIn()))
        return result;

    RestQuery::Pairs pairs;
    QStringList languages;
    for (const QString &code : search.languages) {
        const QString rest = RestLanguages::toRest(code);
        if (!rest.isEmpty())
            languages.append(rest);
    }
    if (languages.isEmpty())
        return result;
    pairs.append({u"languages"_s, languages.join(u',')});
    static const QRegularExpression hash(u"^[0-9a-f]{16}\\z"_s);
    const QString movieHash = search.movieHash.trimmed().toLower().rightJustified(16, u'0');
    if (!search.movieHash.trimmed().isEmpty() && hash.match(movieHash).hasMatch())
        pairs.append({u"moviehash"_s, movieHash});
    if (!search.imdbId.trimmed().isEmpty())
        pairs.append({u"imdb_id"_s, search.imdbId.trimmed()});
    if (!search.query.trimmed().isEmpty()) {
        pairs.append({u"query"_s, search.query.trimmed()});
        if (search.season > 0)
            pairs.append({u"season_number"_s, QString::number(search.season)});
        if (search.episode > 0)
            pairs.append({u"episode_number"_s, QString::number(search.episode)});
    }
    if (pairs.size() == 1)
        return result; // nothing to search by

    const Call call{"GET", u"/subtitles?"_s + RestQuery::canonical(pairs), {}, true, {}};
    const HttpReply reply = sendInSession(call, result.error);
    if (result.error)
        return result;
    const auto json = jsonOf(reply, result.error, u"the search"_s);
    if (json)
        result.items = RestResults::fromSearchReply(*json, search);
    return result;
}

// --- Download ---------------------------------------------------------------

RestClient::Download RestClient::fetchSubtitle(int fileId, const std::function<bool()> &dropped)
{
    Download result;
    {
        const QMutexLocker guard(&m_lock);
        if (m_quotaError)
            result.error = m_quotaError;
    }
    if (result.error || (result.error = ensureSignedIn()))
        return result;

    // /download can also convert on the service's side: `sub_format` (srt,
    // webvtt, ...), `in_fps`/`out_fps` (re-times every cue from one frame
    // rate to another) and `timeshift` (moves every cue). Where the timing
    // work finds that a frame-rate mismatch or a constant offset is all that
    // is wrong, asking here for the fixed file costs no extra request and no
    // extra quota; nothing needs it yet, so the file comes as it is.
    const QJsonObject body{{u"file_id"_s, fileId}, {u"sub_format"_s, u"srt"_s}};
    const Call call{"POST", u"/download"_s, QJsonDocument(body).toJson(QJsonDocument::Compact), true,
                    dropped};
    // A link that has expired by the time we fetch it is asked for once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        result = Download();
        const HttpReply reply = sendInSession(call, result.error);
        if (result.error)
            return result;
        if (reply.ok() && reply.status == 406) {
            result.error = quotaUsedUp(reply);
            return result;
        }
        const auto json = jsonOf(reply, result.error, u"the download request"_s);
        if (!json)
            return result;
        noteQuota(*json);
        const QUrl link(RestJson::text(json->value("link"_L1)), QUrl::StrictMode);
        if (!HttpRules::isSecureEnough(link)) {
            result.error = {ServiceError::BadReply,
                            u"the service gave a download link that is not an https:// address"_s};
            return result;
        }
        result = fetchLink(link, dropped);
        result.fileName = RestJson::text(json->value("file_name"_L1));
        if (result.error.code != 410)
            return result;
    }
    result.error.reason = u"the download link had expired, and so had the new one"_s;
    return result;
}

void RestClient::noteQuota(const QJsonObject &reply)
{
    const QMutexLocker guard(&m_lock);
    m_quota = RestReplies::quotaOf(reply, m_quota.remaining);
}

ServiceError RestClient::quotaUsedUp(const HttpReply &reply)
{
    const auto json = RestJson::parseObject(reply.body);
    if (json)
        noteQuota(*json);
    const QJsonObject said = json.value_or(QJsonObject());
    const qint64 used = RestJson::integer(said.value("requests"_L1), 0, 1000000, 0);
    QString message = u"the service's download quota for today is used up"_s;
    if (used > 0)
        message += used == 1 ? u": 1 download"_s : u": %1 downloads"_s.arg(used);
    const RestQuota q = quota();
    // The moment in the user's own time, as the clock on their screen shows it.
    const QDateTime renews = QDateTime::fromString(q.resetTimeUtc, Qt::ISODateWithMs);
    if (renews.isValid())
        message += u"; it renews at %1"_s.arg(renews.toLocalTime().toString(u"HH:mm"_s));
    else if (!q.resetTime.isEmpty())
        message += u"; it renews in %1"_s.arg(q.resetTime);
    if (m_settings.username.isEmpty())
        message += u"; an account gets more: set OSUsername and OSPassword in the preferences"_s;
    const ServiceError error{406, message};
    const QMutexLocker guard(&m_lock);
    m_quotaError = error;
    m_quota.remaining = 0;
    return error;
}

RestClient::Download RestClient::fetchLink(const QUrl &link, const std::function<bool()> &dropped)
{
    Download result;
    HttpRequest request;
    request.url = link;
    request.userAgent = userAgent();
    request.maxBytes = SubtitleDownload::kMaxSubtitleBytes;
    request.silenceLimit = m_timeout;
    request.timeLimit = m_downloadLimit;
    request.cancel = &m_cancel;
    request.dropped = dropped;
    // The link is on the web site, not the API: it needs neither key nor
    // token, and may move to any address secure enough. Packed files arrive
    // as sent and are unpacked, within the size limit, before placement.
    request.redirectScope = HttpRules::RedirectScope::SecureEnough;
    request.headers = {{"Accept-Encoding", "gzip"}};
    ++m_requests;
    const HttpReply reply = HttpExchange::run(request);
    if (!reply.ok() || reply.status != 200) {
        result.error = errorOf(reply, u"the subtitle download"_s);
        return result;
    }
    if (looksLikePage(reply) && isHtml(reply)) {
        result.error = {ServiceError::BadReply,
                        withSaid(u"the download link gave a web page instead of a subtitle"_s,
                                 RestReplies::pageTitle(reply.body))};
        return result;
    }
    result.content = reply.body;
    return result;
}
