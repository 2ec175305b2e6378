#include "service/HttpExchange.h"

#include <QNetworkAccessManager>

HttpExchange::HttpExchange(QNetworkAccessManager *manager, const QNetworkRequest &request,
                           const QByteArray &body, std::chrono::milliseconds timeout, qint64 maxBodySize,
                           QObject *parent, std::chrono::milliseconds deadline)
    : QObject(parent)
    , m_manager(manager)
    , m_request(request)
    , m_body(body)
    , m_maxBodySize(maxBodySize)
{
    m_result.url = request.url();
    m_timer.setSingleShot(true);
    m_timer.setInterval(timeout);
    connect(&m_timer, &QTimer::timeout, this, [this] { fail(HttpReply::Failure::Timeout); });
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(deadline);
    connect(&m_deadline, &QTimer::timeout, this, [this] { fail(HttpReply::Failure::TooSlow); });
}

HttpExchange::~HttpExchange()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        delete m_reply;
    }
}

void HttpExchange::start()
{
    m_reply = m_manager->post(m_request, m_body);
    // The reply belongs to this exchange, whichever goes first of it and the manager.
    m_reply->setParent(this);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        const qint64 announced = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (announced > m_maxBodySize)
            fail(HttpReply::Failure::TooLarge);
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &HttpExchange::readBody);
    // Any progress restarts the clock: the timeout is for a silent server, not a slow one.
    connect(m_reply, &QNetworkReply::uploadProgress, this, [this] { m_timer.start(); });
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this] { m_timer.start(); });
    connect(m_reply, &QNetworkReply::finished, this, &HttpExchange::complete);
    m_timer.start();
    m_deadline.start();
}

void HttpExchange::readBody()
{
    if (m_finished || !m_reply)
        return;
    m_result.body += m_reply->readAll();
    if (m_result.body.size() > m_maxBodySize)
        fail(HttpReply::Failure::TooLarge);
}

void HttpExchange::fail(HttpReply::Failure failure)
{
    if (m_finished)
        return;
    m_result.failure = failure;
    m_result.body.clear();
    m_finished = true;
    m_timer.stop();
    m_deadline.stop();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        // An aborted reply the server is still sending may keep its
        // connection busy, and the thread's next request would wait behind
        // it until its own time ran out: the connections go with it.
        m_manager->clearConnectionCache();
    }
    emit finished(m_result);
}

void HttpExchange::complete()
{
    if (m_finished)
        return;
    readBody();
    if (m_finished)
        return;
    m_finished = true;
    m_timer.stop();
    m_deadline.stop();
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Qt reports HTTP error statuses as errors too (201-499); those are pages.
    // Network and proxy errors, or a garbled reply, mean the page did not arrive whole.
    const QNetworkReply::NetworkError error = m_reply->error();
    const bool broken = (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
                        error == QNetworkReply::ProtocolFailure;
    if (status.isValid() && status.toInt() > 0 && !broken) {
        // A page, whatever its status: HTTP errors are the caller's business.
        m_result.status = status.toInt();
        m_result.contentEncoding = m_reply->rawHeader("Content-Encoding");
        m_result.location = m_reply->rawHeader("Location");
    } else {
        m_result.failure = HttpReply::Failure::Network;
        m_result.networkError = error;
        m_result.body.clear();
    }
    emit finished(m_result);
}
