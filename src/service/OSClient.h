#pragma once

#include "common/JobSession.h"
#include "common/Types.h"
#include "service/SeenPaths.h"
#include "service/ServiceError.h"
#include "service/SortedPathIndex.h"
#include "service/XMLRPCMessage.h"
#include "service/XmlRpcTransport.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QNetworkReply>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <shared_mutex>

class ClientJournal;
class movieFile;
class openSubtitleItem;
class subtitleFile;

// The client of the subtitle service's XML-RPC interface. Each workflow window
// owns one.
//
// It puts together parts that work (and are tested) alone: the transport
// (XmlRpcTransport: posting, waiting, reply decoding, errors as values), the
// journal of the conversation (ClientJournal), the best choice (BestChoice)
// and, here, the search run, the merging of its replies into the records and
// the path intake. The transport's operations are offered here under their
// old names for the windows and tests that speak to the client as a whole.
//
// The journal (`status`) and `busy` may be read from any thread.
class OSClient : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxRedirects = HttpRules::MaxRedirects;
    static constexpr qint64 DefaultMaxReplySize = qint64(64) * 1024 * 1024;
    static constexpr std::chrono::milliseconds DefaultTransferTimeout{60000};

    explicit OSClient(QObject *parentWindow = nullptr);
    ~OSClient() override;

    QObject *parentWindow() const { return m_parentWindow; }

    XmlRpcTransport &transport() const { return *m_transport; }
    ClientJournal &journal() const { return *m_journal; }

    // The transport's endpoint and bounds (see XmlRpcTransport).
    QString RPCServer() const;
    void setRPCServer(const QString &url);
    int RPCPort() const;
    void setRPCPort(int port);
    bool isSecure() const;
    QUrl requestUrl() const;
    std::chrono::milliseconds transferTimeout() const;
    void setTransferTimeout(std::chrono::milliseconds timeout);
    qint64 maxReplySize() const;
    void setMaxReplySize(qint64 bytes);

    // Posts the message and returns at once.
    void SendMessage(const XMLRPC::Message &message);
    // Posts the message and waits until its reply has been handled. False when
    // the request failed; lastFailure() says why, and a search run keeps it
    // as its failure.
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

    // Lumbra's own User-Agent, sent with every request to the service and its
    // download links.
    static QString DefaultUserAgent() { return XmlRpcTransport::DefaultUserAgent(); }

    static ServiceError socketFailure(QNetworkReply::NetworkError error);

    // --- The conversation with the service ---------------------------------
    // Everything below is the window's shared state: read and change it only
    // while holding stateLock(), the one lock of the window that owns this
    // client. The client takes it itself for each step of a run or intake and
    // never holds it across a network wait or a file read.
    using ResultList = QList<std::shared_ptr<openSubtitleItem>>;
    QMutex &stateLock() const { return m_session->stateLock(); }
    // The job's shared state, for what keeps it (the window's lists) or must
    // notice when it is gone (previews and workers, through a weak pointer).
    const std::shared_ptr<JobSession> &session() const { return m_session; }

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
    // interface, for the provider-neutral run (ProviderSearch), over this
    // client's records and run settings (SearchSteps, ResultMerge). Under the
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
    // Whether a run searches the languages that have a subtitle beside the
    // video too: the preference, taken when the run starts.
    bool refreshSubs = false;
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

private:
    // The method-specific handling of a decoded reply (login token, search results).
    void XMLResponse(const QString &method, const Variant &value);
    // A failed request of the search run: searchFailure() reports the last.
    void keepRunFailure(const ServiceError &failure);

    QObject *m_parentWindow;

    bool searchByKind(const QString &kind);
    void attachResults(const VariantList &entries);
    void addFile(const QString &path, const QStringList &languages);
    void addMovieFile(const QString &path, const QStringList &languages);
    // The subtitles listed so far that go with each of the videos; fastest
    // for videos in listing order, whose searches go on one from the other.
    // Takes the index lock, not the state lock.
    QList<QStringList> subtitlesBeside(const QStringList &videos) const;
    struct IndexCursors;
    QStringList subtitlesBeside(const QString &path, IndexCursors &from) const;
    // Turns the queued videos into records, a batch at a time, on every
    // thread that calls it at once; the records are listed in queue order.
    void buildQueuedVideoRecords(const QStringList &languages, const std::function<bool()> &stop);
    void takeInQueuedSubtitles(const std::function<bool()> &stop);
    void addSubtitleFile(const QString &path);

    // Indexes over the path lists, so that a drop of a whole library sorts in
    // n log n: every path seen, the videos' lower-cased paths without their
    // extensions, and the subtitle paths by lower-cased path in the order
    // they arrived.
    SeenPaths m_seenPaths;
    // Guards the two indexes below: changed with the state lock held too,
    // read by the threads that build records without it, side by side.
    mutable std::shared_mutex m_indexLock;
    struct NoValue {};
    SortedPathIndex<NoValue> m_videoStems;
    struct SubtitleArrival {
        qsizetype order;
        QString path;
    };
    SortedPathIndex<SubtitleArrival> m_subtitlesByPath;
    struct IndexCursors {
        SortedPathIndex<NoValue>::Cursor stems;
        SortedPathIndex<SubtitleArrival>::Cursor subtitles;
    };
    qsizetype m_subtitlesArrived = 0;

    const std::shared_ptr<JobSession> m_session = std::make_shared<JobSession>();
    int m_intakeBusy = 0;
    // Videos are turned into records in batches, numbered as they are
    // taken; a batch that ends before an earlier one waits here.
    static constexpr qsizetype kVideosPerBatch = 32;
    qsizetype m_batchesTaken = 0;
    qsizetype m_batchesListed = 0;
    std::map<qsizetype, QList<std::shared_ptr<movieFile>>> m_batchesWaiting;

    // Declared before the transport, which writes to it.
    std::unique_ptr<ClientJournal> m_journal;
    std::unique_ptr<XmlRpcTransport> m_transport;

    mutable QMutex m_runLock;  // guards m_runFailure
    ServiceError m_runFailure; // the last failed request of the search run
};
