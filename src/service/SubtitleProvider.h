#pragma once

#include "common/Types.h"
#include "service/openSubtitleItem.h"
#include "service/ServiceError.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

// How to find subtitles for one video in one language. Which fields count
// depends on the kind.
struct SubtitleQuery {
    enum class Kind {
        Hash, // movieHash and movieByteSize
        Imdb, // imdbId
        Tag,  // tag: the video's file name
        Name, // query, plus season and episode for an episode (both 0 for a film)
    };
    Kind kind = Kind::Hash;
    QString language; // three-letter code (ISO 639-2/B), as the service takes it
    QString movieHash;
    quint64 movieByteSize = 0;
    QString imdbId; // digits, without leading letters
    QString tag;
    QString query;
    int season = 0;
    int episode = 0;

    // The query as a "QueryParameters" echo: the keys a result found by it
    // carries, which the merging of results reads.
    Dictionary parameters() const;
};

// Who signs in, and as which application.
struct ProviderAccount {
    QString user;
    QString password;
    QString language = QStringLiteral("en"); // of the service's own messages
    QString agent;                           // the registered application identifier
};

// A service that offers subtitles, as the download and verification jobs use
// it: sign in, search, fetch one subtitle. One object serves one job.
//
// Contract:
// - Every call blocks the calling thread until the answer is in or failed and
//   may take as long as the network does; call it from a worker thread with
//   an event loop available (a QThread), never from the GUI thread.
// - Errors are values: each call returns ServiceError::None or a code and a
//   reason for people (ServiceError.h lists the codes; others are the
//   service's own). Nothing is thrown and nothing has to be read from a log.
// - cancel() may be called from any thread at any time: the call under way
//   returns at once with ServiceError::Cancelled, and so does every later one.
// - signIn() comes first; search() and download() without a successful
//   sign-in fail (the provider decides how).
// - search() returns loose records, one per subtitle found, in the service's
//   order: `MatchedBy` is "moviehash", "imdbid", "tag" or "fulltext" after
//   the query kind that found it, `QueryParameters` echoes that query
//   (SubtitleQuery::parameters()), `ISO639` is the two-letter language,
//   `SubHash` identifies the subtitle file (results of one video are kept
//   unique by it), `MovieHash` the hash searched for, `SubFileName` and
//   `SubFormat` are plain names. The job attaches them to its videos.
// - A failed search() may still carry in `value` what its requests that went
//   well found (a service asked once per language fails one language, not
//   all); the caller attaches those and reports the error.
// - download() returns the subtitle's text, unpacked, as the service has it
//   (encoding untouched); placing it is the job's work. `dropped`, when it
//   turns true, drops that one transfer (the provider stays usable).
// - downloadEach() is the download step of a whole queue, so that a provider
//   may run several transfers at once; the job never loops over download()
//   itself.
class SubtitleProvider {
public:
    virtual ~SubtitleProvider() = default;

    virtual ServiceError signIn(const ProviderAccount &account) = 0;
    // `limit` is the most results wanted per query.
    virtual ServiceResult<QList<openSubtitleItemPtr>> search(const QList<SubtitleQuery> &queries,
                                                             int limit) = 0;
    // The films the service knows under each movie hash: per hash a list of
    // candidates, each with "MovieHash", "movieImdbID", "MovieName",
    // "MovieYear", "MovieKind", "SeriesSeason", "SeriesEpisode" and
    // "seenCount". A provider without such a request returns NotSupported.
    virtual ServiceResult<QMap<QString, QList<Dictionary>>> identify(const QStringList &movieHashes);
    using StopCheck = std::function<bool()>;
    virtual ServiceResult<QByteArray> download(const openSubtitleItem &subtitle,
                                               const StopCheck &dropped = {}) = 0;

    // Downloads `subtitles` (copies taken under the job's lock). `begin(i)` is
    // asked, in order, just before entry i is requested: false leaves it out
    // (no request; the job has settled it or the run stops). `delivered(i, r)`
    // gets the content or the error of each entry that began, on the calling
    // thread, one at a time. Entries may be under way together and may be
    // delivered out of order; `dropped` drops the transfers under way. This
    // one fetches them one after the other.
    virtual void downloadEach(const QList<openSubtitleItem> &subtitles, const std::function<bool(int)> &begin,
                              const std::function<void(int, const ServiceResult<QByteArray> &)> &delivered,
                              const StopCheck &dropped = {});
    // How many more downloads the service allows today, as its last answer
    // said; -1 when it keeps no count or has not said yet.
    virtual int remainingDownloads() const { return -1; }

    // How long one request may go without an answer before it fails with
    // ServiceError::TimedOut; set before signIn(). Providers keep their own
    // limit unless told.
    virtual void setRequestTimeout(std::chrono::milliseconds timeout) { (void)timeout; }

    virtual void cancel() = 0;
    virtual bool cancelled() const = 0;
};
