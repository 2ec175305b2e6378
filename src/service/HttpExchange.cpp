#include "service/HttpExchange.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QThread>
#include <QThreadStorage>

using namespace Qt::Literals::StringLiterals;

namespace {

// What Qt may hold of a reply that has not been taken yet.
constexpr qint64 kReadBuffer = 256 * 1024;
constexpr std::chrono::milliseconds kCancelPoll{50};

QThreadStorage<QNetworkAccessManager *> &threadManagers()
{
    static QThreadStorage<QNetworkAccessManager *> managers;
    return managers;
}

// Runs on the main thread as the application object goes. Left to itself, the
// main thread's manager would be deleted only after the application's event
// dispatcher is gone, too late for Qt Network to shut its connection thread
// down cleanly: now and then that ended the process with a crash or a leak.
void dropMainThreadManager()
{
    threadManagers().setLocalData(nullptr);
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

QByteArray HttpReply::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

ServiceError HttpReply::networkFailure(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
        return {ServiceError::SocketError, u"Socket drivers could not be initialized"_s};
    case QNetworkReply::ConnectionRefusedError:
        return {ServiceError::ConnectionRefused, u"Server refused the connection"_s};
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TemporaryNetworkFailureError:
        return {ServiceError::ConnectionLost, u"Server connection has been lost"_s};
    case QNetworkReply::HostNotFoundError:
        return {ServiceError::HostNotFound, u"Could not find server at specified location"_s};
    case QNetworkReply::TimeoutError:
        return {ServiceError::TimedOut, u"Server did not answer in time"_s};
    default:
        return {ServiceError::SocketError, u"Unknown socket error #%1"_s.arg(int(error))};
    }
}

QNetworkAccessManager *HttpExchange::threadManager()
{
    QThreadStorage<QNetworkAccessManager *> &managers = threadManagers();
    if (!managers.hasLocalData() || !managers.localData()) {
        managers.setLocalData(new QNetworkAccessManager);
        const QCoreApplication *app = QCoreApplication::instance();
        if (app && QThread::currentThread() == app->thread())
            qAddPostRoutine(dropMainThreadManager);
    }
    return managers.localData();
}

HttpReply HttpExchange::run(const HttpRequest &request)
{
    HttpReply result;
    HttpExchange exchange(threadManager(), request);
    QEventLoop loop;
    connect(&exchange, &HttpExchange::finished, &loop, [&](const HttpReply &reply) {
        result = reply;
        loop.quit();
    });
    exchange.start();
    if (!exchange.isFinished())
        loop.exec();
    return result;
}

HttpExchange::HttpExchange(QNetworkAccessManager *manager, HttpRequest request, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_request(std::move(request))
{
    m_result.url = m_request.url;
    m_result.silenceLimit = m_request.silenceLimit;
    m_result.timeLimit = m_request.timeLimit;
    m_result.maxBytes = m_request.maxBytes;
    m_silence.setSingleShot(true);
    m_silence.setInterval(m_request.silenceLimit);
    connect(&m_silence, &QTimer::timeout, this, [this] { fail(HttpReply::Failure::Timeout); });
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(m_request.timeLimit);
    connect(&m_deadline, &QTimer::timeout, this, [this] { fail(HttpReply::Failure::TooSlow); });
    m_cancelPoll.setInterval(kCancelPoll);
    connect(&m_cancelPoll, &QTimer::timeout, this, &HttpExchange::checkCancel);
}

HttpExchange::~HttpExchange()
{
    dropReply();
}

void HttpExchange::start()
{
    m_silence.start();
    m_deadline.start();
    if (m_request.cancel || m_request.dropped)
        m_cancelPoll.start();
    checkCancel();
    if (!m_finished)
        send(m_request.url);
}

void HttpExchange::send(const QUrl &url)
{
    QNetworkRequest request(url);
    // Redirects are followed here, where the rules of the request are known.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!m_request.userAgent.isEmpty())
        request.setRawHeader("User-Agent", m_request.userAgent);
    if (!m_request.body.isEmpty() && !m_request.contentType.isEmpty())
        request.setRawHeader("Content-Type", m_request.contentType);
    for (const auto &[name, value] : std::as_const(m_request.headers))
        request.setRawHeader(name, value);
    m_result.url = url;
    m_reply = m_manager->sendCustomRequest(request, m_request.verb, m_request.body);
    // The reply belongs to this exchange, whichever goes first of it and the manager.
    m_reply->setParent(this);
    bindReadBuffer();
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        m_silence.start();
        const qint64 announced = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (announced > m_request.maxBytes) {
            fail(HttpReply::Failure::TooLarge);
            return;
        }
        // A body of known length comes into one block of that size. Grown as
        // it arrives, a search reply of megabytes would be copied at every
        // doubling, with the old block and the new one alive together.
        if (announced > m_result.body.capacity())
            m_result.body.reserve(announced);
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &HttpExchange::readBody);
    // Any progress restarts the clock: the silence limit is for a silent
    // server, not a slow one (the time limit is for that).
    connect(m_reply, &QNetworkReply::uploadProgress, this, [this] { m_silence.start(); });
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this] { m_silence.start(); });
    connect(m_reply, &QNetworkReply::finished, this, &HttpExchange::replyEnded);
}

// Bounded, Qt stops reading the socket while this much waits to be taken
// here. Qt's connection thread learns the bound by a queued signal that it
// ignores until it has made its own reply for the request, and for a POST
// it makes that reply later than a bound set right away reaches it: the
// bound was lost, the connection thread sent everything while this side,
// believing itself bounded, held it without a readyRead, so nothing was
// counted, memory filled and the connection stayed busy for the thread's
// next request. Set again once the event loop has turned (the request has
// reached the connection thread by then), it holds for every verb.
void HttpExchange::bindReadBuffer()
{
    m_reply->setReadBufferSize(kReadBuffer);
    QTimer::singleShot(0, m_reply, [reply = m_reply] {
        if (reply)
            reply->setReadBufferSize(kReadBuffer);
    });
}

void HttpExchange::readBody()
{
    if (m_finished || !m_reply || !m_reply->isOpen())
        return;
    m_silence.start();
    m_result.body += m_reply->readAll();
    if (m_result.body.size() > m_request.maxBytes)
        fail(HttpReply::Failure::TooLarge);
}

void HttpExchange::replyEnded()
{
    readBody();
    if (m_finished)
        return;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Qt reports HTTP error statuses as errors too (201-499); those are pages.
    // Network and proxy errors, or a garbled reply, mean the page did not arrive whole.
    const QNetworkReply::NetworkError error = m_reply->error();
    const bool broken = (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
                        error == QNetworkReply::ProtocolFailure;
    if (!status.isValid() || status.toInt() <= 0 || broken) {
        m_result.failure = HttpReply::Failure::Network;
        m_result.networkError = error;
        m_result.errorText = m_reply->errorString();
        m_result.body.clear();
        finish();
        return;
    }
    m_result.status = status.toInt();
    m_result.reasonPhrase = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    m_result.headers = m_reply->rawHeaderPairs();
    if (followRedirect())
        return;
    finish();
}

// A redirect the request allows goes on within this exchange (and its time
// limit); one it does not allow fails it. True when the exchange goes on.
bool HttpExchange::followRedirect()
{
    const QByteArray location = m_result.header("Location");
    if (m_request.maxRedirects <= 0 || !isRedirect(m_result.status) || location.isEmpty())
        return false;
    if (m_redirects == m_request.maxRedirects) {
        fail(HttpReply::Failure::Redirect);
        return true;
    }
    const QUrl next = m_result.url.resolved(QUrl::fromEncoded(location));
    if (!HttpRules::mayRedirect(m_result.url, next, m_request.redirectScope)) {
        m_result.refusedRedirect = next;
        fail(HttpReply::Failure::Redirect);
        return true;
    }
    ++m_redirects;
    if (m_result.status == 303) { // "see other": fetched, never posted again
        m_request.verb = "GET";
        m_request.body.clear();
    }
    dropReply();
    m_result.status = 0;
    m_result.reasonPhrase.clear();
    m_result.headers.clear();
    m_result.body.clear();
    send(next);
    return true;
}

void HttpExchange::checkCancel()
{
    if ((m_request.cancel && m_request.cancel->load()) || (m_request.dropped && m_request.dropped()))
        fail(HttpReply::Failure::Cancelled);
}

void HttpExchange::fail(HttpReply::Failure failure)
{
    if (m_finished)
        return;
    m_result.failure = failure;
    m_result.body.clear();
    dropReply();
    finish();
}

void HttpExchange::finish()
{
    m_finished = true;
    m_silence.stop();
    m_deadline.stop();
    m_cancelPoll.stop();
    emit finished(m_result);
}

void HttpExchange::dropReply()
{
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    if (!m_reply->isFinished())
        m_reply->abort();
    m_reply->deleteLater();
    m_reply = nullptr;
}
