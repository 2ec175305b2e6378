// The client as the windows see it: the transport and the journal put
// together. The search run, the replies that become result records and the
// path intake are in OSClientSession.cpp.

#include "service/OSClient.h"

#include "service/ClientJournal.h"

#include <QMutexLocker>

OSClient::OSClient(QObject *parentWindow)
    : QObject(parentWindow)
    , m_parentWindow(parentWindow)
    , m_journal(std::make_unique<ClientJournal>())
    , m_transport(std::make_unique<XmlRpcTransport>(*m_journal))
{
    m_transport->setReplyHandler(
        [this](const QString &method, const Variant &value) { XMLResponse(method, value); });
    // Direct: the signal is emitted from whichever thread changed the
    // journal or the transport, as before they were parts.
    connect(m_journal.get(), &ClientJournal::changed, this, &OSClient::journalChanged, Qt::DirectConnection);
    connect(m_transport.get(), &XmlRpcTransport::changed, this, &OSClient::journalChanged,
            Qt::DirectConnection);
}

OSClient::~OSClient()
{
    // The transport goes first: it still writes to the journal while it aborts.
    m_transport.reset();
}

QString OSClient::RPCServer() const
{
    return m_transport->server();
}

void OSClient::setRPCServer(const QString &url)
{
    m_transport->setServer(url);
}

int OSClient::RPCPort() const
{
    return m_transport->port();
}

void OSClient::setRPCPort(int port)
{
    m_transport->setPort(port);
}

bool OSClient::isSecure() const
{
    return m_transport->isSecure();
}

QUrl OSClient::requestUrl() const
{
    return m_transport->requestUrl();
}

std::chrono::milliseconds OSClient::transferTimeout() const
{
    return m_transport->transferTimeout();
}

void OSClient::setTransferTimeout(std::chrono::milliseconds timeout)
{
    m_transport->setTransferTimeout(timeout);
}

qint64 OSClient::maxReplySize() const
{
    return m_transport->maxReplySize();
}

void OSClient::setMaxReplySize(qint64 bytes)
{
    m_transport->setMaxReplySize(bytes);
}

void OSClient::SendMessage(const XMLRPC::Message &message)
{
    m_transport->post(message);
}

bool OSClient::SendReq(const XMLRPC::Message &message)
{
    if (m_transport->send(message))
        return true;
    keepRunFailure(m_transport->lastFailure());
    return false;
}

ServiceResult<Variant> OSClient::call(const XMLRPC::Message &message)
{
    ServiceResult<Variant> reply = m_transport->call(message);
    if (!reply.ok())
        keepRunFailure(reply.error);
    return reply;
}

void OSClient::keepRunFailure(const ServiceError &failure)
{
    const QMutexLocker locker(&m_runLock);
    m_runFailure = failure;
}

ServiceError OSClient::lastFailure() const
{
    return m_transport->lastFailure();
}

ServiceError OSClient::searchFailure() const
{
    {
        const QMutexLocker locker(&m_runLock);
        if (!m_runFailure.ok())
            return m_runFailure;
    }
    return cancelled() ? ServiceError::cancelledError() : ServiceError{};
}

bool OSClient::busy() const
{
    return m_transport->busy();
}

void OSClient::cancel()
{
    m_transport->cancel();
}

bool OSClient::cancelled() const
{
    return m_transport->cancelled();
}

QStringList OSClient::status() const
{
    return m_journal->entries();
}

void OSClient::appendStatus(const QString &entry)
{
    m_journal->append(entry);
}

void OSClient::clearStatus()
{
    m_journal->clear();
}

int OSClient::lastError() const
{
    return m_transport->lastError().code;
}

QString OSClient::lastErrorString() const
{
    return m_transport->lastError().reason;
}

bool OSClient::isGzipped() const
{
    return m_transport->isGzipped();
}

QString OSClient::xmlreq() const
{
    return m_transport->xmlreq();
}

QString OSClient::xmlresp() const
{
    return m_transport->xmlresp();
}

XMLRPC::Message OSClient::message() const
{
    return m_transport->message();
}

Variant OSClient::lastReply() const
{
    return m_transport->lastReply();
}

ServiceError OSClient::socketFailure(QNetworkReply::NetworkError error)
{
    return XmlRpcTransport::socketFailure(error);
}
