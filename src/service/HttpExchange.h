#pragma once

#include "service/HttpRules.h"
#include "service/ServiceError.h"

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <utility>

class QNetworkAccessManager;

// One request to the subtitle service or to a download link, with every
// limit it keeps: the XML-RPC transport, the REST client and the downloads
// all describe their requests this way and run them through HttpExchange.
struct HttpRequest {
    QByteArray verb = "GET";
    QUrl url;
    // Sent as they are, besides the User-Agent (and the Content-Type, when
    // there is a body).
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QByteArray contentType;
    QByteArray userAgent;
    // The largest body accepted, counted as it arrives.
    qint64 maxBytes = 0;
    // How long the exchange may go without a byte moving, and how long it
    // may take as a whole (redirects included).
    std::chrono::milliseconds silenceLimit = HttpRules::SilenceLimit;
    std::chrono::milliseconds timeLimit = HttpRules::RequestLimit;
    // Redirects followed before the exchange fails (0: a redirect is handed
    // back as the page it is), and where they may lead.
    int maxRedirects = HttpRules::MaxRedirects;
    HttpRules::RedirectScope redirectScope = HttpRules::RedirectScope::NoLessSafe;
    // Raised from any thread, it ends the exchange within about 50 ms.
    const std::atomic<bool> *cancel = nullptr;
    // Asked as often on the exchange's thread: true drops this exchange alone.
    std::function<bool()> dropped;
};

// What one exchange ended with: either a page (any HTTP status, with its
// headers and body) or a failure without a page.
struct HttpReply {
    enum class Failure {
        None,      // a page arrived: `status`, `headers` and `body` are set
        Network,   // no page: `networkError` and `errorText` say why
        Timeout,   // nothing moved within the silence limit
        TooSlow,   // the whole exchange took longer than its time limit
        TooLarge,  // the body went over the size limit
        Cancelled, // the cancel token was raised, or the exchange was dropped
        Redirect,  // too many redirects, or one to where the request may not go
    };

    QUrl url; // the address that answered (after redirects)
    Failure failure = Failure::None;
    QNetworkReply::NetworkError networkError = QNetworkReply::NoError;
    QString errorText;
    // For Failure::Redirect: the address refused, or empty when there were
    // too many redirects.
    QUrl refusedRedirect;
    int status = 0;
    QByteArray reasonPhrase; // "Not Found"
    QList<QNetworkReply::RawHeaderPair> headers;
    QByteArray body;
    // The request's limits, for the words of a failure.
    std::chrono::milliseconds silenceLimit{};
    std::chrono::milliseconds timeLimit{};
    qint64 maxBytes = 0;

    // A header of the page, by its name in any letter case; empty when absent.
    QByteArray header(QByteArrayView name) const;
    bool ok() const { return failure == Failure::None; }
    // What a failure of the network itself means in the service's
    // vocabulary (refused, unknown host, broken off...), with the words the
    // log and the tests know it by; the same for every interface.
    static ServiceError networkFailure(QNetworkReply::NetworkError error);
};

// Runs one HttpRequest over a given QNetworkAccessManager. It lives in the
// thread that created it (the manager's thread) and reports there through
// `finished`, exactly once; deleting it before then aborts the request.
//
// The body is counted as it arrives and never waits in Qt's buffers beyond a
// small bound: Qt otherwise reads the socket as fast as it can, and a reply
// of a gigabyte sent without a length would fill memory before it is
// counted.
class HttpExchange final : public QObject {
    Q_OBJECT
public:
    HttpExchange(QNetworkAccessManager *manager, HttpRequest request, QObject *parent = nullptr);
    ~HttpExchange() override;

    void start();
    bool isFinished() const { return m_finished; }

    // Runs the request on the calling thread, over that thread's manager,
    // and waits for its end (any thread may call it).
    static HttpReply run(const HttpRequest &request);
    // The calling thread's own network manager, made on first use and
    // deleted when the thread ends (the main thread's with the application).
    static QNetworkAccessManager *threadManager();

signals:
    void finished(const HttpReply &reply);

private:
    void send(const QUrl &url);
    void bindReadBuffer();
    void readBody();
    void replyEnded();
    bool followRedirect();
    void checkCancel();
    void fail(HttpReply::Failure failure);
    void finish();
    void dropReply();

    QNetworkAccessManager *m_manager;
    HttpRequest m_request;
    QPointer<QNetworkReply> m_reply;
    QTimer m_silence;
    QTimer m_deadline;
    QTimer m_cancelPoll;
    HttpReply m_result;
    int m_redirects = 0;
    bool m_finished = false;
};
