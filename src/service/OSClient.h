#pragma once

#include "common/Types.h"
#include "service/ServiceError.h"
#include "service/XMLRPCMessage.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

class HttpExchange;
class movieFile;
class openSubtitleItem;
class subtitleFile;
class QThread;
struct HttpReply;

// The client of the subtitle service's XML-RPC interface. Each workflow window
// owns one.
//
// Transport: a request is posted from the thread that makes it, over that
// thread's own QNetworkAccessManager, and its reply is handled in the same
// thread. SendReq blocks the calling worker thread on a local event loop until
// the reply has been handled or has failed; SendMessage only posts, and the
// reply is handled when the calling thread's event loop next runs.
//
// The journal (`status`) and `busy` may be read from any thread. Every
// failure appends an entry whose text before the first ":" is "ERROR".
class OSClient : public QObject {
    Q_OBJECT
public:
    // Sane bounds the transport enforces; each failure is recorded with IssueError.
    static constexpr int MaxRedirects = 5;
    static constexpr qint64 DefaultMaxReplySize = qint64(64) * 1024 * 1024;
    static constexpr std::chrono::milliseconds DefaultTransferTimeout{60000};

    // Error numbers recorded by the client itself (a fault reply records the
    // service's own number).
    enum ErrorNumber {
        BadReply = 500,          // not XML, not a methodResponse, unpacking failed, too large
        EmptyReply = 501,        // status 200 without a body
        HttpError = 502,         // another HTTP status, or too many redirects
        HostNotFound = 503,      // name resolution failed
        ConnectionLost = 504,    // the connection broke off
        SocketError = 505,       // any other network failure
        ConnectionRefused = 508, // nothing listens at the address
        TimedOut = 509,          // no answer in time
    };

    explicit OSClient(QObject *parentWindow = nullptr);
    ~OSClient() override;

    QObject *parentWindow() const { return m_parentWindow; }

    // The XML-RPC endpoint: a full URL. A scheme starting with "https" (in any
    // letter case) makes the connection secure.
    QString RPCServer() const;
    void setRPCServer(const QString &url);
    // The port in use: the override when set, otherwise 443 for a secure
    // connection and 80 for a plain one. Setting it sets the override; 0
    // clears it. Without an override, a port written in RPCServer is used.
    int RPCPort() const;
    void setRPCPort(int port);
    bool isSecure() const;
    // The URL the next post goes to, after the port rules above.
    QUrl requestUrl() const;

    // How long a request may go without any data moving before it fails.
    std::chrono::milliseconds transferTimeout() const;
    void setTransferTimeout(std::chrono::milliseconds timeout);
    // The largest reply body accepted, before and after unpacking.
    qint64 maxReplySize() const;
    void setMaxReplySize(qint64 bytes);

    // Posts the message and returns at once.
    void SendMessage(const XMLRPC::Message &message);
    // Posts the message and waits until its reply has been handled. False when
    // a failure entry was appended to the journal meanwhile.
    bool SendReq(const XMLRPC::Message &message);
    // Posts the message and waits: the decoded reply, or why there is none.
    ServiceResult<Variant> call(const XMLRPC::Message &message);
    // Why the last request failed; ServiceError::None when it was answered.
    ServiceError lastFailure() const;

    bool busy() const;

    // Ends the conversation for good, from any thread: a request under way
    // fails at once and later ones fail without being sent. A window that
    // closes while its worker waits on the service calls it before waiting
    // for that worker.
    void cancel();
    bool cancelled() const;

    // The journal: request steps and errors, oldest first.
    QStringList status() const;
    void appendStatus(const QString &entry);
    void clearStatus();

    int lastError() const;
    QString lastErrorString() const;
    bool isGzipped() const;
    QString xmlreq() const;
    QString xmlresp() const;
    // The message handed to the last SendReq.
    XMLRPC::Message message() const;
    // The decoded value of the last reply that was handed on.
    Variant lastReply() const;

    // The error number and text recorded when a request gets no page at all.
    struct SocketFailure {
        int number;
        QString text;
    };
    static SocketFailure socketFailure(QNetworkReply::NetworkError error);

    // --- The conversation with the service ---------------------------------
    // Everything below is the window's shared state: read and change it only
    // while holding stateLock(), the one lock of the window that owns this
    // client. The client takes it itself for each step of a run or intake and
    // never holds it across a network wait or a file read.
    using ResultList = QList<std::shared_ptr<openSubtitleItem>>;
    QMutex &stateLock() const { return m_stateLock; }

    // One search run: server check, login, then the searches by hash, IMDB
    // id, tag and name in every preferred language. Call it from a worker
    // thread, after the videos and their local subtitles have been hashed;
    // true when every step that ran succeeded, else searchFailure() says why.
    bool SearchSubs();
    ServiceError searchFailure() const;
    // Builds and sends the request(s) of one step; false when one failed.
    bool sendXMLReq(const QString &method, const QString &kind);

    // Sorts newly found paths into videos and subtitles and turns the queue of
    // this client's mode into records. Called by the file intake, from worker
    // threads, with a video and the subtitles beside it in one call.
    // `stop`, asked before each file, ends the intake early.
    void processFiles(const QStringList &newPaths = {}, const std::function<bool()> &stop = {});
    void addFile(const QString &path);
    // Reads what a search compares: the video's movie hash and the hashes of
    // the subtitles beside it. Call it outside the state lock.
    static void hashForSearch(movieFile &video);
    // True while a path is being turned into a record.
    bool intakeBusy() const;

    // Attaches a search result to every video it matches.
    void addThisResult(const std::shared_ptr<openSubtitleItem> &item);
    // Stores an IMDB candidate on every video with its hash.
    void addThisResult(const Dictionary &candidate, const VariantList &candidates);
    // Marks the best result per search language; returns the same list.
    ResultList FindBestSub(const ResultList &results) const;

    // The steps of a search run that do not depend on the service's
    // interface, for the provider-neutral run (ProviderSearch). Under the
    // state lock, except storeImdbCandidates and markLocalCopies, which take it.
    // The listed, checked videos a search in `lang3` asks about: no subtitle
    // in it beside them (unless refreshing) and no hash match in it yet.
    QList<std::shared_ptr<movieFile>> videosToSearch(const QString &lang3) const;
    // The hashes of the videos that have no result yet in some wanted language.
    VariantList hashesLackingResults() const;
    // Per movie hash, the film most often seen under it becomes the videos' identity.
    void storeImdbCandidates(const Dictionary &byHash);
    // Results that are the subtitle already beside their video are marked so.
    void markLocalCopies();
    // Attaches the results of one reply to the videos they match, through one
    // index; takes the state lock.
    void attachItems(const ResultList &items);

    QString osUsername;
    QString osPassword;
    QString osAgent;
    QString osToken;
    QStringList searchLangs;
    // When not empty, the languages (two-letter codes) a run searches instead
    // of the preferred ones: a verification asks in its subtitles' languages
    // without touching the preferences other windows read.
    QStringList languageOverride;
    QList<std::shared_ptr<movieFile>> movieFiles;
    QList<std::shared_ptr<subtitleFile>> subfiles;
    // "GetSubs" (download window) or "PutSubs" (upload window).
    QString mode;
    QStringList fileList;
    QStringList bigFileList;
    QStringList bigMovieList;
    QStringList bigSubList;

signals:
    // The journal or `busy` changed. Emitted from the thread that changed them.
    void journalChanged();

public:
    // Lumbra's own User-Agent, sent with every request to the service and its
    // download links.
    static QString DefaultUserAgent();

private:
    void post(const QUrl &url);
    void handleReply(const HttpReply &reply);
    void Event_PageReceived(const HttpReply &reply);
    void httpError(int status, const QString &method);
    Variant ProcessResponse(const QByteArray &text);
    void IssueError(int number, const QString &text);
    void recordFailure(int code, const QString &reason);
    // The method-specific handling of a decoded reply (login token, search results).
    void XMLResponse(const QString &method, const Variant &value);
    void setBusy(bool busy);
    QString lastMethod() const;
    void deleteFinishedExchanges();
    void abortExchanges();

    QObject *m_parentWindow;

    bool searchByKind(const QString &kind);
    static bool hasLocalSubtitleIn(const movieFile &video, const QString &lang3);
    static Dictionary queryFor(const movieFile &video, const QString &kind, const QString &lang3);
    void attachResults(const VariantList &entries);
    // The videos by what results are matched on, built once per reply.
    struct VideoIndex;
    void attachResult(const std::shared_ptr<openSubtitleItem> &item, const VideoIndex &index);
    void storeImdbCandidate(const Dictionary &candidate, const VariantList &candidates,
                            const VideoIndex &index);
    static bool resultMatches(const openSubtitleItem &item, const QString &how, const movieFile &video);
    static bool nameQueryMatchesFilm(const QString &query, const movieFile &video);
    void addMovieFile(const QString &path);
    void addSubtitleFile(const QString &path);

    // Indexes over the path lists, so that a drop of a whole library sorts in
    // n log n: every path seen, and the subtitle paths by lower-cased path
    // in the order they arrived.
    QSet<QString> m_knownPaths;
    struct SubtitleArrival {
        qsizetype order;
        QString path;
    };
    QMultiMap<QString, SubtitleArrival> m_subtitlesByPath;

    mutable QMutex m_stateLock;
    int m_intakeBusy = 0;

    mutable QMutex m_lock; // guards everything below; never held across a network wait
    QString m_rpcServer;
    int m_overridePort = 0;
    std::chrono::milliseconds m_transferTimeout = DefaultTransferTimeout;
    qint64 m_maxReplySize = DefaultMaxReplySize;
    bool m_busy = false;
    bool m_cancelled = false;
    XMLRPC::Message m_message;
    XMLRPC::Message m_lastMessage;
    bool m_isGzipped = false;
    QString m_xmlreq;
    QByteArray m_requestBody;
    QString m_userAgent;
    QByteArray m_xmlresp;
    Variant m_lastReply;
    int m_lastError = 0;
    QString m_lastErrorString;
    ServiceError m_failure;    // of the request under way or last made
    ServiceError m_runFailure; // the last failed request of the search run
    QStringList m_status;
    int m_redirects = 0;

    struct Exchange {
        QPointer<HttpExchange> exchange;
        QThread *thread;
    };
    QList<Exchange> m_exchanges; // posted and not yet deleted
};
