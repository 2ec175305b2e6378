#include "service/rest/RestTransport.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace RestTransport {

namespace {
constexpr std::chrono::milliseconds kCancelPoll{50};
constexpr qint64 kReadBuffer = 256 * 1024;

bool isCancelled(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load();
}

RateHeaders rateHeadersOf(const QNetworkReply &reply)
{
    const auto either = [&](const char *first, const char *second) {
        const QByteArray value = reply.rawHeader(first);
        return value.isEmpty() ? reply.rawHeader(second) : value;
    };
    return {either("X-RateLimit-Limit-Second", "RateLimit-Limit"),
            either("X-RateLimit-Remaining-Second", "RateLimit-Remaining"),
            reply.rawHeader("RateLimit-Reset")};
}
} // namespace

bool isLoopback(const QUrl &url)
{
    const QString host = url.host();
    if (host.compare("localhost"_L1, Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool isSecureEnough(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == "https"_L1 || (scheme == "http"_L1 && isLoopback(url)));
}

bool waitFor(std::chrono::milliseconds duration, const std::atomic<bool> *cancel)
{
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        if (isCancelled(cancel))
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        QThread::msleep(std::clamp<qint64>(left.count(), 0, kCancelPoll.count()));
    }
    return !isCancelled(cancel);
}

RestReply exchange(const Request &request)
{
    RestReply result;
    result.url = request.url;
    result.timeLimit = request.deadline;
    if (isCancelled(request.cancel)) {
        result.failure = RestReply::Failure::Cancelled;
        return result;
    }
    QNetworkAccessManager manager;
    QNetworkRequest r(request.url);
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    for (const auto &[name, value] : request.headers)
        r.setRawHeader(name, value);
    QNetworkReply *reply = manager.sendCustomRequest(r, request.verb, request.body);
    // Without a bound Qt reads the socket as fast as it can, however slowly
    // the bytes are taken here: a huge reply would fill memory first.
    reply->setReadBufferSize(kReadBuffer);

    QEventLoop loop;
    auto stop = [&](RestReply::Failure failure) {
        if (result.failure == RestReply::Failure::None)
            result.failure = failure;
        reply->abort();
    };
    QTimer silence;
    silence.setSingleShot(true);
    QObject::connect(&silence, &QTimer::timeout, &loop, [&] { stop(RestReply::Failure::Timeout); });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { stop(RestReply::Failure::TooSlow); });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (result.failure != RestReply::Failure::None || !reply->isOpen())
            return;
        silence.start(request.timeout);
        result.body += reply->readAll();
        if (result.body.size() > request.maxBytes)
            stop(RestReply::Failure::TooLarge);
    });
    QObject::connect(reply, &QNetworkReply::uploadProgress, &loop, [&] { silence.start(request.timeout); });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        silence.start(request.timeout);
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > request.maxBytes)
            stop(RestReply::Failure::TooLarge);
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (isCancelled(request.cancel) || (request.dropped && request.dropped()))
            stop(RestReply::Failure::Cancelled);
    });
    poll.start(kCancelPoll);
    silence.start(request.timeout);
    deadline.start(request.deadline);
    if (!reply->isFinished())
        loop.exec();
    poll.stop();
    silence.stop();
    deadline.stop();

    if (result.failure != RestReply::Failure::None) {
        result.body.clear();
    } else {
        if (reply->isOpen())
            result.body += reply->readAll();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError error = reply->error();
        // Qt reports HTTP error statuses as errors too; those are pages.
        const bool broken = (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
                            error == QNetworkReply::ProtocolFailure;
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
            result.failure = RestReply::Failure::Timeout;
            result.body.clear();
        } else if (status.isValid() && status.toInt() > 0 && !broken) {
            result.status = status.toInt();
            result.contentType = reply->rawHeader("Content-Type");
            result.location = reply->rawHeader("Location");
            result.retryAfter = reply->rawHeader("Retry-After");
            result.rate = rateHeadersOf(*reply);
            result.reason = reply->rawHeader("X-Reason");
            if (result.reason.isEmpty())
                result.reason = reply->rawHeader("X-OpenSubtitles-Message");
            if (result.body.size() > request.maxBytes) {
                result.failure = RestReply::Failure::TooLarge;
                result.body.clear();
            }
        } else {
            result.failure = RestReply::Failure::Network;
            result.networkError = reply->errorString();
            result.body.clear();
        }
    }
    delete reply;
    return result;
}

} // namespace RestTransport
