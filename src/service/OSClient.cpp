#include "service/OSClient.h"

#include "service/ClientJournal.h"
#include "service/ProviderSearch.h"
#include "service/RunSettings.h"
#include "service/XmlRpcProvider.h"

#include <QMutexLocker>

using namespace Qt::Literals::StringLiterals;

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

void OSClient::SendMessage(const XMLRPC::Message &message)
{
    m_transport->post(message);
}

bool OSClient::SendReq(const XMLRPC::Message &message)
{
    return m_transport->send(message);
}

bool OSClient::busy() const
{
    return m_transport->busy();
}

QStringList OSClient::status() const
{
    return m_journal->entries();
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

void OSClient::XMLResponse(const QString &method, const Variant &value)
{
    if (method != "LogIn"_L1)
        return;
    if (isDictionary(value)) {
        const Dictionary reply = value.value<Dictionary>();
        // "401 Unauthorized" and the like: searching without a session
        // would only meet refusals, and the account is the user's to fix.
        const QString status = reply.value(u"status"_s).toString().trimmed();
        if (!status.isEmpty() && !status.startsWith("200"_L1)) {
            const int code = status.section(u' ', 0, 0).toInt();
            m_transport->fail(code > 0 ? code : 401, status);
            return;
        }
        if (reply.contains(u"token"_s)) {
            const QMutexLocker locker(&m_runLock);
            m_osToken = reply.value(u"token"_s).toString();
        }
    }
    m_journal->append(u"LOGIN:ID"_s);
}

bool OSClient::SearchSubs(JobRecords &records, const RunSettings &settings)
{
    setRPCServer(settings.prefs.OSAPIServer);
    m_journal->clear();
    const auto provider = std::make_shared<XmlRpcProvider>(RPCServer(), *m_journal);
    const ServiceError failure = ProviderSearch::run(records, provider, settings);
    const QMutexLocker locker(&m_runLock);
    m_runFailure = failure;
    if (!provider->token().isEmpty())
        m_osToken = provider->token();
    return failure.ok();
}

ServiceError OSClient::searchFailure() const
{
    const QMutexLocker locker(&m_runLock);
    return m_runFailure;
}

QString OSClient::osToken() const
{
    const QMutexLocker locker(&m_runLock);
    return m_osToken;
}
