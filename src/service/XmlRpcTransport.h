#pragma once

#include "common/Types.h"
#include "service/HttpRules.h"
#include "service/ServiceError.h"
#include "service/XMLRPC.h"
#include "service/XMLRPCMessage.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class ClientJournal;
class HttpExchange;
class QThread;
struct HttpReply;

// Posts XML-RPC requests to the service and hands back the decoded reply or
// the error that kept it from coming, with its code and reason.
//
// A request is posted from the thread that makes it, over that thread's own
// QNetworkAccessManager, and its reply is handled in the same thread. send()
// and call() block the calling thread on a local event loop until the reply
// has been handled or the request has failed; post() returns at once, and
// the reply is handled when the calling thread's event loop next runs.
//
// Failures are also written to the journal it is given ("ERROR:CONN" and the
// HTTP entries), which is for people to read: the wait ends on the request's
// own failure, never on what the journal says.
class XmlRpcTransport final : public QObject {
    Q_OBJECT
public:
    // Sane bounds the transport enforces; each failure is recorded with fail().
    static constexpr qint64 DefaultMaxReplySize = qint64(64) * 1024 * 1024;
    static constexpr std::chrono::milliseconds DefaultTransferTimeout{60000};

    explicit XmlRpcTransport(ClientJournal &journal);
    ~XmlRpcTransport() override;

    // The XML-RPC endpoint: a full URL. A scheme starting with "https" (in any
    // letter case) makes the connection secure.
    QString server() const;
    void setServer(const QString &url);
    // The port in use: the override when set, otherwise 443 for a secure
    // connection and 80 for a plain one. Setting it sets the override; 0
    // clears it. Without an override, a port written in the URL is used.
    int port() const;
    void setPort(int port);
    bool isSecure() const;
    // The URL the next post goes to, after the port rules above.
    QUrl requestUrl() const;

    // How long a request may go without any data moving before it fails.
    std::chrono::milliseconds transferTimeout() const;
    void setTransferTimeout(std::chrono::milliseconds timeout);
    // How long a whole exchange may take (HttpRules::RequestLimit; tests
    // shorten it).
    std::chrono::milliseconds timeLimit() const;
    void setTimeLimit(std::chrono::milliseconds limit);
    // The largest reply body accepted, before and after unpacking.
    qint64 maxReplySize() const;
    void setMaxReplySize(qint64 bytes);

    // Called with each decoded reply, on the thread that posted the request,
    // before the request counts as answered. It may still fail the request
    // with fail() (a refused login is a normal reply).
    void setReplyHandler(std::function<void(const QString &method, const Variant &value)> handler);

    // Posts the message and returns at once.
    void post(const XMLRPC::Message &message);
    // Posts the message and waits until its reply has been handled; false
    // when the request failed (lastFailure() says why).
    bool send(const XMLRPC::Message &message);
    // The same, with the decoded reply or the error as the value. Nothing of
    // the exchange is kept: the request is let go as its reply arrives, and
    // the reply and its text are handed over (xmlreq(), message(),
    // lastReply() and xmlresp() are empty after it). The entries of the
    // reply's `stream` array, if one is given, go to `stream` as they are
    // decoded instead of into the value (see XMLRPC::EntryStream for when
    // they count).
    ServiceResult<Variant> call(const XMLRPC::Message &message, const XMLRPC::EntryStream &stream = {});
    // Why the request under way or last made failed; ServiceError::None when
    // it was answered.
    ServiceError lastFailure() const;

    bool busy() const;

    // Ends the conversation for good, from any thread: a request under way
    // fails at once and later ones fail without being sent.
    void cancel();
    bool cancelled() const;

    // Records a failure of the request under way: its error value (the first
    // failure of a request is its cause), lastError(), and an "ERROR:CONN"
    // journal entry. `code` is a ServiceError code or the service's own.
    void fail(int code, const QString &text);

    // The failure recorded last, in its own words (lastFailure() is the
    // request's cause, named after its method); a cancellation counts too.
    ServiceError lastError() const;
    bool isGzipped() const;
    QString xmlreq() const;
    QString xmlresp() const;
    // The message handed to the last send().
    XMLRPC::Message message() const;
    // The decoded value of the last reply that was handed on.
    Variant lastReply() const;

    // "Lumbra XMLRPC Client 2.0 (Qt …; system; architecture; version)": what
    // every request of ours to the service sends as its User-Agent.
    static QString DefaultUserAgent();

signals:
    // `busy` changed, or the request failed. Emitted from the thread that
    // changed it.
    void changed();

private:
    void postTo(const QUrl &url);
    void handleReply(const HttpReply &reply);
    void Event_PageReceived(const HttpReply &reply);
    void httpError(int status, const QString &method);
    Variant ProcessResponse(const QByteArray &text);
    bool deferReply(const QByteArray &text);
    void takeReply(const QByteArray &text, const QString &method);
    void recordFailure(int code, const QString &reason);
    void setBusy(bool busy);
    QString lastMethod() const;
    bool waitEnded(bool *answered) const;
    void deleteFinishedExchanges();
    void abortExchanges();

    ClientJournal &m_journal;
    std::function<void(const QString &, const Variant &)> m_replyHandler; // set before any request

    mutable QMutex m_lock; // guards everything below; never held across a network wait
    QString m_rpcServer;
    int m_overridePort = 0;
    std::chrono::milliseconds m_transferTimeout = DefaultTransferTimeout;
    std::chrono::milliseconds m_timeLimit = HttpRules::RequestLimit;
    qint64 m_maxReplySize = DefaultMaxReplySize;
    bool m_busy = false;
    bool m_cancelled = false;
    XMLRPC::Message m_message;
    QString m_lastMethod; // of the request under way or last sent
    bool m_isGzipped = false;
    // The request under way or last sent, as it went (xmlreq() is its text).
    QByteArray m_requestBody;
    // Set for a call(): its reply's streamed array, and that nothing of the
    // exchange is kept once its reply has come.
    XMLRPC::EntryStream m_stream;
    bool m_keepNothing = false;
    std::optional<QByteArray> m_answer; // a call()'s reply, until its exchange has gone
    QString m_userAgent;
    QByteArray m_xmlresp;
    Variant m_lastReply;
    ServiceError m_lastError;
    ServiceError m_failure; // of the request under way or last made

    struct Exchange {
        QPointer<HttpExchange> exchange;
        QThread *thread;
    };
    QList<Exchange> m_exchanges; // posted and not yet deleted
};
