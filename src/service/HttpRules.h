#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QUrl>

#include <chrono>
#include <optional>

// The limits every HTTP exchange with the subtitle service keeps, and the
// rules for where a request may go and what it may carry there: the XML-RPC
// transport, the REST client and the subtitle downloads all take them from
// here, so they cannot drift apart.
namespace HttpRules {

// How long an exchange may go without a byte moving.
constexpr std::chrono::milliseconds SilenceLimit{40000};
// How long a whole exchange may take, however steadily bytes trickle in: a
// reply that never ends must not hold a run for ever. Downloads get more
// room, a subtitle file being larger than an answer.
constexpr std::chrono::milliseconds RequestLimit{120000};
constexpr std::chrono::milliseconds DownloadLimit{300000};
// Redirects followed for one request before it fails.
constexpr int MaxRedirects = 5;

// Where a redirect may take a request.
enum class RedirectScope {
    // Any web address, never from https:// down to http:// (a request that
    // carries no credentials: XML-RPC calls, whose token is in the body, and
    // download links).
    NoLessSafe,
    // https://, or http:// to this computer (a REST download link).
    SecureEnough,
    // The request's own origin, and secure enough: the request carries the
    // API key and the token along.
    SameOrigin,
};
bool mayRedirect(const QUrl &from, const QUrl &to, RedirectScope scope);

// Whether the host is this computer (127.0.0.0/8, ::1 or "localhost"): the
// only place plain HTTP is allowed to carry a key or an account.
bool isLoopback(const QUrl &url);
// HTTPS, or HTTP to this computer.
bool isSecureEnough(const QUrl &url);
// An http:// or https:// address with a host: a link of another scheme
// (file:, ftp:, data:) would read what the service names from elsewhere,
// this computer included.
bool isWebAddress(const QUrl &url);

// Whether two addresses are the same origin: scheme, host and port (the
// scheme's own port where none is written). Credentials sent to one are
// never sent to another.
bool sameOrigin(const QUrl &a, const QUrl &b);

// The wait a Retry-After header asks for, in either of its forms: a number
// of seconds, or an HTTP date (compared with `now`). Empty for a value that
// is neither (a date in the past is a wait of 0).
std::optional<std::chrono::seconds> retryAfter(const QByteArray &value,
                                               const QDateTime &now = QDateTime::currentDateTimeUtc());

// Whether text may travel in an HTTP header as a token (RFC 6750's
// characters): a token with anything else, line breaks above all, could add
// headers of its own to our requests.
bool isTokenText(const QByteArray &token);

} // namespace HttpRules
