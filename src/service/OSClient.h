#pragma once

#include "common/Types.h"
#include "service/ServiceError.h"
#include "service/XMLRPCMessage.h"
#include "service/XmlRpcTransport.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class ClientJournal;
class JobRecords;
struct RunSettings;

// The client of the subtitle service's XML-RPC interface: the transport
// (XmlRpcTransport: posting, waiting, reply decoding, errors as values) and
// the journal of the conversation (ClientJournal), put together under the
// names the service's conversation has always used, and the login token of a
// LogIn reply. The records it searches for belong to the job (JobRecords); the
// search run is ProviderSearch's, through an XmlRpcProvider that writes to
// this client's journal and reads its own replies.
//
// The journal (`status`) and `busy` may be read from any thread.
class OSClient : public QObject {
    Q_OBJECT
public:
    explicit OSClient(QObject *parentWindow = nullptr);
    ~OSClient() override;

    QObject *parentWindow() const { return m_parentWindow; }

    XmlRpcTransport &transport() const { return *m_transport; }
    ClientJournal &journal() const { return *m_journal; }

    // The transport's endpoint (see XmlRpcTransport).
    QString RPCServer() const;
    void setRPCServer(const QString &url);
    int RPCPort() const;
    void setRPCPort(int port);

    // Posts the message and returns at once.
    void SendMessage(const XMLRPC::Message &message);
    // Posts the message and waits until its reply has been handled. False when
    // the request failed; transport().lastFailure() says why.
    bool SendReq(const XMLRPC::Message &message);

    bool busy() const;
    // The journal: request steps and errors, oldest first.
    QStringList status() const;
    bool isGzipped() const;
    QString xmlreq() const;
    QString xmlresp() const;
    // The message handed to the last SendReq.
    XMLRPC::Message message() const;

    // Lumbra's own User-Agent, sent with every request to the service and its
    // download links.
    static QString DefaultUserAgent() { return XmlRpcTransport::DefaultUserAgent(); }

    // One search run over `records` (ProviderSearch::run) with the service
    // address and account of `settings`; the journal starts empty. Call it
    // from a worker thread.
    // True when every step that ran succeeded, else searchFailure() says why.
    bool SearchSubs(JobRecords &records, const RunSettings &settings);
    ServiceError searchFailure() const;
    // The login token of the last LogIn reply; kept across runs.
    QString osToken() const;

signals:
    // The journal or `busy` changed. Emitted from the thread that changed them.
    void journalChanged();

private:
    // A LogIn reply sent through this client: its token, or the refusal it
    // carries as the request's failure.
    void XMLResponse(const QString &method, const Variant &value);

    QObject *m_parentWindow;

    // Declared before the transport, which writes to it.
    std::unique_ptr<ClientJournal> m_journal;
    std::unique_ptr<XmlRpcTransport> m_transport;

    mutable QMutex m_runLock; // guards the two below
    ServiceError m_runFailure;
    QString m_osToken;
};
