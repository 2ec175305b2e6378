#include "service/XmlRpcTransport.h"

#include "common/Gzip.h"
#include "common/NumberRange.h"
#include "service/ClientJournal.h"
#include "service/HttpExchange.h"
#include "service/HttpRules.h"
#include "service/XMLRPC.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QSysInfo>
#include <QThread>

#include <optional>
#include <utility>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcClient, "lumbra.service.client", QtInfoMsg)

namespace {

// A reason for an error recorded without a text of its own.
QString describeError(int number)
{
    switch (number) {
    case ServiceError::BadReply:
        return u"the service's reply could not be read"_s;
    case ServiceError::EmptyReply:
        return u"the service sent an empty reply"_s;
    default:
        return u"error %1"_s.arg(number);
    }
}

} // namespace

XmlRpcTransport::XmlRpcTransport(ClientJournal &journal)
    : m_journal(journal)
{
}

XmlRpcTransport::~XmlRpcTransport()
{
    // Requests posted from this thread die with the transport; a worker that
    // still waits on one is a bug of its owner, which ends its threads first.
    const QList<Exchange> exchanges = m_exchanges;
    for (const Exchange &e : exchanges) {
        if (e.thread == QThread::currentThread())
            delete e.exchange.data();
    }
}

QString XmlRpcTransport::server() const
{
    QMutexLocker locker(&m_lock);
    return m_rpcServer;
}

void XmlRpcTransport::setServer(const QString &url)
{
    QMutexLocker locker(&m_lock);
    m_rpcServer = url;
}

int XmlRpcTransport::port() const
{
    QMutexLocker locker(&m_lock);
    if (m_overridePort != 0)
        return m_overridePort;
    return m_rpcServer.left(5).compare("https"_L1, Qt::CaseInsensitive) == 0 ? 443 : 80;
}

void XmlRpcTransport::setPort(int port)
{
    QMutexLocker locker(&m_lock);
    m_overridePort = port;
}

bool XmlRpcTransport::isSecure() const
{
    QMutexLocker locker(&m_lock);
    return m_rpcServer.left(5).compare("https"_L1, Qt::CaseInsensitive) == 0;
}

QUrl XmlRpcTransport::requestUrl() const
{
    const bool secure = isSecure();
    QMutexLocker locker(&m_lock);
    QUrl url(m_rpcServer.trimmed());
    if (secure)
        url.setScheme(u"https"_s);
    if (m_overridePort != 0)
        url.setPort(m_overridePort);
    // Otherwise a port in the URL stands, and without one the scheme's own
    // (443 or 80) applies.
    return url;
}

std::chrono::milliseconds XmlRpcTransport::transferTimeout() const
{
    QMutexLocker locker(&m_lock);
    return m_transferTimeout;
}

void XmlRpcTransport::setTransferTimeout(std::chrono::milliseconds timeout)
{
    QMutexLocker locker(&m_lock);
    m_transferTimeout = timeout;
}

std::chrono::milliseconds XmlRpcTransport::timeLimit() const
{
    QMutexLocker locker(&m_lock);
    return m_timeLimit;
}

void XmlRpcTransport::setTimeLimit(std::chrono::milliseconds limit)
{
    QMutexLocker locker(&m_lock);
    m_timeLimit = limit;
}

qint64 XmlRpcTransport::maxReplySize() const
{
    QMutexLocker locker(&m_lock);
    return m_maxReplySize;
}

void XmlRpcTransport::setMaxReplySize(qint64 bytes)
{
    QMutexLocker locker(&m_lock);
    m_maxReplySize = bytes;
}

QString XmlRpcTransport::DefaultUserAgent()
{
    return u"Lumbra XMLRPC Client 2.0 (Qt %1; %2 %3; %4)"_s.arg(
        QString::fromLatin1(qVersion()), QSysInfo::prettyProductName(), QSysInfo::buildCpuArchitecture(),
        QStringLiteral(LUMBRA_VERSION));
}

void XmlRpcTransport::setReplyHandler(std::function<void(const QString &, const Variant &)> handler)
{
    m_replyHandler = std::move(handler);
}

void XmlRpcTransport::post(const XMLRPC::Message &message)
{
    const QString agent = DefaultUserAgent();
    const QString xml = message.Serialize();
    const QUrl url = requestUrl();
    {
        QMutexLocker locker(&m_lock);
        m_busy = true;
        m_requestBody = xml.toUtf8();
        m_userAgent = agent;
        m_lastMethod = message.MethodName;
        m_failure = {};
    }
    emit changed();
    qCDebug(lcClient) << "posting" << message.MethodName << "to" << url.toDisplayString();
    postTo(url);
}

void XmlRpcTransport::postTo(const QUrl &url)
{
    HttpRequest request;
    request.verb = "POST";
    request.url = url;
    request.contentType = "text/xml";
    // Asking for gzip ourselves also keeps Qt from unpacking the reply behind
    // our back: the reply arrives as the server sent it.
    request.headers = {{"Accept-Encoding", "gzip"}};
    {
        QMutexLocker locker(&m_lock);
        request.body = m_requestBody;
        request.userAgent = m_userAgent.toUtf8();
        request.silenceLimit = m_transferTimeout;
        request.timeLimit = m_timeLimit;
        request.maxBytes = m_maxReplySize;
    }
    auto *exchange = new HttpExchange(HttpExchange::threadManager(), std::move(request));
    const QPointer<XmlRpcTransport> self(this);
    connect(exchange, &HttpExchange::finished, exchange, [self, exchange](const HttpReply &reply) {
        if (self)
            self->handleReply(reply);
        exchange->deleteLater();
    });
    {
        QMutexLocker locker(&m_lock);
        m_exchanges.removeIf(
            [](const Exchange &e) { return e.thread == QThread::currentThread() && !e.exchange; });
        m_exchanges.append({exchange, QThread::currentThread()});
    }
    exchange->start();
}

void XmlRpcTransport::cancel()
{
    {
        QMutexLocker locker(&m_lock);
        if (m_cancelled)
            return;
        m_cancelled = true;
        m_lastError = {ServiceError::ConnectionLost, u"cancelled"_s};
        m_failure = ServiceError::cancelledError();
    }
    m_journal.append(u"ERROR:CANCELLED"_s);
    // Wakes a worker waiting in send().
    emit changed();
}

bool XmlRpcTransport::cancelled() const
{
    QMutexLocker locker(&m_lock);
    return m_cancelled;
}

ServiceResult<Variant> XmlRpcTransport::call(const XMLRPC::Message &message,
                                             const XMLRPC::EntryStream &stream)
{
    {
        QMutexLocker locker(&m_lock);
        m_lastReply = Variant();
        m_stream = stream;
        m_keepNothing = true;
    }
    bool answered = send(message);
    // The reply is decoded only now that its exchange has gone, and with it
    // every copy of the request: a search sends thousands of queries.
    std::optional<QByteArray> text;
    {
        QMutexLocker locker(&m_lock);
        m_requestBody.clear();
        m_message = {};
        text = std::exchange(m_answer, std::nullopt);
    }
    if (answered && text) {
        takeReply(*text, message.MethodName);
        text.reset();
        waitEnded(&answered);
    }
    // The caller gets the only copy of the reply, and of its text none is kept.
    QMutexLocker locker(&m_lock);
    m_stream = {};
    m_keepNothing = false;
    m_xmlresp.clear();
    Variant reply = std::exchange(m_lastReply, Variant());
    locker.unlock();
    if (!answered) {
        ServiceError failure = lastFailure();
        if (failure.ok())
            failure = {ServiceError::BadReply, u"the request failed"_s};
        return ServiceResult<Variant>::failure(failure);
    }
    return ServiceResult<Variant>::success(std::move(reply));
}

ServiceError XmlRpcTransport::lastFailure() const
{
    QMutexLocker locker(&m_lock);
    return m_failure;
}

bool XmlRpcTransport::send(const XMLRPC::Message &message)
{
    if (cancelled()) {
        QMutexLocker locker(&m_lock);
        m_failure = ServiceError::cancelledError();
        return false;
    }
    QEventLoop loop;
    // Wakes the loop from whichever thread ends the request.
    connect(this, &XmlRpcTransport::changed, &loop, &QEventLoop::quit);
    {
        QMutexLocker locker(&m_lock);
        m_message = message;
    }
    post(message);
    bool answered = false;
    while (!waitEnded(&answered))
        loop.exec();
    if (cancelled())
        abortExchanges();
    deleteFinishedExchanges();
    return answered;
}

// The request has ended: answered when the transport went idle without a
// failure of its own (a failure may come before the transport is idle).
bool XmlRpcTransport::waitEnded(bool *answered) const
{
    QMutexLocker locker(&m_lock);
    const bool failed = m_cancelled || !m_failure.ok();
    *answered = !failed;
    return failed || !m_busy;
}

void XmlRpcTransport::abortExchanges()
{
    // Deleting an exchange aborts its request; it then reports nothing.
    // Finished ones go too, as in deleteFinishedExchanges.
    QList<HttpExchange *> open;
    {
        QMutexLocker locker(&m_lock);
        for (auto it = m_exchanges.begin(); it != m_exchanges.end();) {
            if (it->thread != QThread::currentThread()) {
                ++it;
                continue;
            }
            if (it->exchange)
                open.append(it->exchange.data());
            it = m_exchanges.erase(it);
        }
    }
    qDeleteAll(open);
}

void XmlRpcTransport::deleteFinishedExchanges()
{
    QList<HttpExchange *> finished;
    {
        QMutexLocker locker(&m_lock);
        for (auto it = m_exchanges.begin(); it != m_exchanges.end();) {
            // Only this thread's exchanges may be looked at (and deleted) here.
            if (it->thread != QThread::currentThread()) {
                ++it;
            } else if (!it->exchange) {
                it = m_exchanges.erase(it);
            } else if (it->exchange->isFinished()) {
                finished.append(it->exchange.data());
                it = m_exchanges.erase(it);
            } else {
                ++it;
            }
        }
    }
    qDeleteAll(finished);
}

void XmlRpcTransport::handleReply(const HttpReply &reply)
{
    switch (reply.failure) {
    case HttpReply::Failure::None:
        Event_PageReceived(reply);
        return;
    case HttpReply::Failure::Network: {
        const ServiceError failure = HttpReply::networkFailure(reply.networkError);
        qCWarning(lcClient) << "no reply from" << reply.url.toDisplayString() << failure.reason;
        fail(failure.code, failure.reason);
        break;
    }
    case HttpReply::Failure::Timeout:
        fail(ServiceError::TimedOut,
             u"the service sent nothing for %1 s"_s.arg(double(reply.silenceLimit.count()) / 1000.0));
        break;
    case HttpReply::Failure::TooSlow:
        fail(ServiceError::TimedOut, u"the service did not finish its answer within %1 s"_s.arg(
                                         double(reply.timeLimit.count()) / 1000.0));
        break;
    case HttpReply::Failure::TooLarge:
        fail(ServiceError::BadReply, u"the reply is larger than %1 bytes"_s.arg(reply.maxBytes));
        break;
    case HttpReply::Failure::Redirect:
        if (reply.refusedRedirect.isEmpty())
            fail(ServiceError::HttpError,
                 u"too many redirects (more than %1)"_s.arg(HttpRules::MaxRedirects));
        else
            fail(ServiceError::HttpError, u"a redirect to %1, which Lumbra does not follow"_s.arg(
                                              reply.refusedRedirect.toDisplayString(QUrl::RemoveUserInfo)));
        break;
    case HttpReply::Failure::Cancelled:
        fail(ServiceError::Cancelled, u"cancelled"_s);
        break;
    }
    // Nothing is in flight any more, so the client is idle again.
    setBusy(false);
}

void XmlRpcTransport::Event_PageReceived(const HttpReply &reply)
{
    const QByteArray encoding = reply.header("Content-Encoding").trimmed();
    const bool gzipped = encoding.compare("gzip", Qt::CaseInsensitive) == 0 ||
                         encoding.compare("x-gzip", Qt::CaseInsensitive) == 0;
    {
        QMutexLocker locker(&m_lock);
        m_isGzipped = gzipped;
    }
    const QString method = lastMethod();
    qCDebug(lcClient) << method << "answered with HTTP" << reply.status << (gzipped ? "(gzip)" : "");

    switch (reply.status) {
    case 200: {
        QByteArray text = reply.body;
        bool readable = true;
        if (gzipped) {
            QString why;
            const std::optional<QByteArray> unpacked = Gzip::gunzip(reply.body, maxReplySize(), &why);
            if (unpacked) {
                text = *unpacked;
            } else {
                // A broken stream or one that unpacks beyond the size limit.
                fail(ServiceError::BadReply, u"Reply could not be unpacked: "_s + why);
                readable = false;
            }
        }
        if (readable && !deferReply(text))
            takeReply(text, method);
        setBusy(false);
        return;
    }
    case 503:
        recordFailure(ServiceError::Unavailable, u"the service is unavailable (HTTP 503)"_s);
        m_journal.append("ERROR: Service is unavailable trying "_L1 + method);
        setBusy(false);
        return;
    default:
        httpError(reply.status, method);
        return;
    }
}

void XmlRpcTransport::httpError(int status, const QString &method)
{
    // The service's own status where it has a meaning of its own (429: slow
    // down), so that it is worded as such; our code for the others.
    if (status == 429)
        fail(status, u"the service asks to slow down (HTTP 429)"_s);
    else
        fail(ServiceError::HttpError, u"the service answered with HTTP status %1"_s.arg(status));
    m_journal.append("ERROR:"_L1 + method);
    setBusy(false);
}

// A call() decodes its reply once the exchange that brought it has gone.
bool XmlRpcTransport::deferReply(const QByteArray &text)
{
    QMutexLocker locker(&m_lock);
    if (m_keepNothing)
        m_answer = text;
    return m_keepNothing;
}

void XmlRpcTransport::takeReply(const QByteArray &text, const QString &method)
{
    const Variant value = ProcessResponse(text);
    if (!value.isValid())
        return;
    {
        QMutexLocker locker(&m_lock);
        m_lastReply = value;
    }
    if (m_replyHandler)
        m_replyHandler(method, value);
}

Variant XmlRpcTransport::ProcessResponse(const QByteArray &text)
{
    XMLRPC::EntryStream stream;
    {
        QMutexLocker locker(&m_lock);
        if (!m_keepNothing)
            m_xmlresp = text; // shared, not copied: a reply may be tens of megabytes
        stream = m_stream;
    }
    if (text.isEmpty()) {
        fail(ServiceError::EmptyReply, {});
        return {};
    }
    // The streaming reader skips whitespace between elements, so pretty-printed
    // and one-line replies read the same, and it honours the document's own
    // encoding.
    const XMLRPC::ParsedDocument doc = XMLRPC::ParseDocumentStreamed(text, stream);
    if (!doc.ok() || !doc.methodName.isEmpty()) { // not XML-RPC, or a request
        fail(ServiceError::BadReply, {});
        return {};
    }
    if (doc.isFault) {
        // The service sends the code member first and the text second; the
        // names are not read.
        const VariantList members = doc.fault.value<Dictionary>().values();
        if (members.size() < 2) {
            fail(ServiceError::BadReply, {});
            return {};
        }
        // A code out of range is clamped; a fault without a usable code (0,
        // NaN) is still a failure, never a success.
        const int code = clampedInteger<int>(members[0].toDouble());
        fail(code != 0 ? code : int(ServiceError::BadReply), members[1].toString());
        return {};
    }
    if (doc.params.isEmpty()) {
        fail(ServiceError::BadReply, {});
        return {};
    }
    return doc.params.first();
}

void XmlRpcTransport::recordFailure(int code, const QString &reason)
{
    QMutexLocker locker(&m_lock);
    // The first failure of a request is its cause; a cancellation stands.
    if (m_failure.ok())
        m_failure = {code, m_lastMethod + u": "_s + reason};
}

void XmlRpcTransport::fail(int code, const QString &text)
{
    qCWarning(lcClient) << "error" << code << text;
    recordFailure(code, text.isEmpty() ? describeError(code) : text);
    {
        QMutexLocker locker(&m_lock);
        m_lastError = {code, text};
    }
    m_journal.append(u"ERROR:CONN"_s);
    emit changed();
}

void XmlRpcTransport::setBusy(bool busy)
{
    {
        QMutexLocker locker(&m_lock);
        m_busy = busy;
    }
    emit changed();
}

QString XmlRpcTransport::lastMethod() const
{
    QMutexLocker locker(&m_lock);
    return m_lastMethod;
}

bool XmlRpcTransport::busy() const
{
    QMutexLocker locker(&m_lock);
    return m_busy;
}

ServiceError XmlRpcTransport::lastError() const
{
    QMutexLocker locker(&m_lock);
    return m_lastError;
}

bool XmlRpcTransport::isGzipped() const
{
    QMutexLocker locker(&m_lock);
    return m_isGzipped;
}

QString XmlRpcTransport::xmlreq() const
{
    QMutexLocker locker(&m_lock);
    return QString::fromUtf8(m_requestBody);
}

QString XmlRpcTransport::xmlresp() const
{
    QMutexLocker locker(&m_lock);
    return QString::fromUtf8(m_xmlresp);
}

XMLRPC::Message XmlRpcTransport::message() const
{
    QMutexLocker locker(&m_lock);
    return m_message;
}

Variant XmlRpcTransport::lastReply() const
{
    QMutexLocker locker(&m_lock);
    return m_lastReply;
}
