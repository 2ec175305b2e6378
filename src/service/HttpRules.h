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
