#pragma once

#include "service/HttpRules.h"
#include "service/rest/RestPacer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <utility>

// What one HTTP exchange with the REST API (or a download link) ended with.
struct RestReply {
    enum class Failure {
        None,      // a page arrived: `status`, the headers and `body` are set
        Network,   // no page: `networkError` says why
        Timeout,   // nothing moved within the transfer timeout
        TooSlow,   // the whole exchange took longer than its time limit
        TooLarge,  // the body went over the size limit
        Cancelled, // the caller's cancel flag was raised
        Redirect,  // too many redirects, or one we do not follow: `networkError` says which
    };
    QUrl url;
    Failure failure = Failure::None;
    QString networkError;
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    QByteArray location;
    QByteArray retryAfter;
    QByteArray reason;                     // X-Reason or X-OpenSubtitles-Message
    RateHeaders rate;                      // for the pacer
    std::chrono::milliseconds timeLimit{}; // the request's, for the words of TooSlow
};

// One blocking HTTP request on the calling thread (its own network manager
// and event loop, so any worker thread may call it). Redirects are not
// followed: the caller decides which to follow and with which headers. The
// body is counted as it arrives and the exchange ends at the size limit,
// after the silence limit without a byte, or at its time limit.
namespace RestTransport {

using Headers = QList<std::pair<QByteArray, QByteArray>>;

struct Request {
    QByteArray verb = "GET";
    QUrl url;
    Headers headers;
    QByteArray body;
    qint64 maxBytes = 0;
    // Without a byte moving, and for the whole exchange.
    std::chrono::milliseconds timeout = HttpRules::SilenceLimit;
    std::chrono::milliseconds deadline = HttpRules::RequestLimit;
    // Raised from another thread, it ends the exchange within about 50 ms.
    const std::atomic<bool> *cancel = nullptr;
    // Asked as often, on the calling thread: true drops this exchange alone.
    std::function<bool()> dropped;
};

RestReply exchange(const Request &request);

// Whether the host is this computer (127.0.0.0/8, ::1 or "localhost"): the
// only place plain HTTP is allowed to carry a key or an account.
bool isLoopback(const QUrl &url);
// HTTPS, or HTTP to this computer.
bool isSecureEnough(const QUrl &url);

// Sleeps up to `duration`, in slices that notice `cancel`; false when cancelled.
bool waitFor(std::chrono::milliseconds duration, const std::atomic<bool> *cancel);

} // namespace RestTransport
