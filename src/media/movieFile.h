#pragma once

#include "common/FolderIdentity.h"
#include "common/Types.h"
#include "media/StreamProbe.h"
#include "media/VideoMetadata.h"

#include <QFileInfo>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

class openSubtitleItem;
class subtitleFile;

// One local video file and what is learned about it: size, names and movie
// hash (read from the disk on first use and kept), the episode data of its
// name, the subtitle files lying beside it, the service's results for it and
// its state in the windows' lists.
//
// Records are made with create() and held by shared pointers: the subtitles
// a record lists point back at it. Copies share the file, the metadata object
// and the subtitle records; each record has its own lists, so reordering or
// filling a copy's results never touches the record it came from (the result
// objects themselves are shared, so a check made through a copy is seen by
// the original).
//
// Threads: the cached values and the lists are kept under the record's own
// lock, so workers and the main thread may read them at any time. The plain
// fields below follow the window's lock, like the window's other state.
class movieFile final : public std::enable_shared_from_this<movieFile> {
    struct Key {
        explicit Key() = default;
    };

public:
    using SubtitleList = QList<std::shared_ptr<subtitleFile>>;
    using ResultList = QList<std::shared_ptr<openSubtitleItem>>;

    // A record of the file, when it exists; otherwise an empty record (no
    // file, no metadata).
    static std::shared_ptr<movieFile> create(const QFileInfo &file);
    // The same from a native path.
    static std::shared_ptr<movieFile> create(const QString &path);
    // A record of the video at `path` with the subtitle files given, each
    // pointing back at the record; matchMovieSubs has run on it with
    // `languages`. For a file just listed or opened: whether it is there is
    // not asked again (a file gone by now is found gone when it is read);
    // its folder's identity is taken now (listedFolder).
    // With `countEmbedded`, a wanted language without a subtitle beside the
    // video makes the record read the video's streams (probeStreams), and a
    // text subtitle stream inside counts for its language.
    static std::shared_ptr<movieFile> create(const QString &path, const QStringList &subtitlePaths,
                                             const QStringList &languages, bool countEmbedded = false);
    // A copy (see above). With `takeResults` the copy starts with the same
    // results; otherwise with none. The size, names and hash are read
    // through their getters, so copying computes the hash if it is unknown.
    static std::shared_ptr<movieFile> create(const movieFile &other, bool takeResults);

    // A copy with the results.
    std::shared_ptr<movieFile> Clone2() const;

    explicit movieFile(Key);
    movieFile(const movieFile &) = delete;
    movieFile &operator=(const movieFile &) = delete;
    ~movieFile();

    // The video file; an empty QFileInfo when there is none. Each call gives a
    // fresh QFileInfo, so callers never share its internal cache.
    QFileInfo movieFolderItem() const;
    // The native path, empty when there is no file.
    QString path() const;
    // Episode data of the name; null when there is no file. Copies share it.
    std::shared_ptr<VideoMetadata> metadata() const;

    // Lazily read values: empty (or 0) means "not known yet", and a value
    // that cannot be read is tried again on the next call.
    quint64 bytesize() const;
    void setBytesize(quint64 size);
    QString movieFileName() const;
    void setMovieFileName(const QString &name);
    // The name without its last extension; empty for a name without a dot.
    QString movieFileNameShort() const;
    void setMovieFileNameShort(const QString &name);
    // The hash as far as it is known: empty until computeMovieHash() (or
    // setMovieHash) has run. Never reads the file, so it is safe under a lock.
    QString movieHash() const;
    // Reads the file and stores its hash; empty when it cannot be read. Call
    // it outside any lock: it reads 128 KiB.
    QString computeMovieHash();
    // Stores the hash and marks the record as hashed.
    void setMovieHash(const QString &hash);
    bool isHashed() const;

    // The streams inside the video, as its container header says; null until
    // probeStreams() has run. Copies share them.
    std::shared_ptr<const VideoStreams> streams() const;
    // Reads the header once (later calls give what the first one read).
    // Call it outside any lock: it opens the file.
    std::shared_ptr<const VideoStreams> probeStreams();
    // Whether a text subtitle stream inside the video in `language` (two- or
    // three-letter code) counts as a subtitle the video has: only when the
    // record was made to count them and has read them. Never reads the file.
    bool carriesSubtitleIn(const QString &language) const;

    // Local subtitles that belong to this video.
    SubtitleList subtitles() const;
    void setSubtitles(const SubtitleList &list);
    // The service's results for this video.
    ResultList subtitleResults() const;
    void setSubtitleResults(const ResultList &list);
    void addSubtitleResult(const std::shared_ptr<openSubtitleItem> &result);
    // IMDB candidates for this video.
    QList<Dictionary> imdbs() const;
    void setImdbs(const QList<Dictionary> &list);
    // Appends `entry` unless an entry with the same "movieImdbID" (as a
    // number: "0042" and 42 are one) is there already; true when appended.
    bool addImdb(const Dictionary &entry);

    // Sets m.hasAllSubs: whether a local subtitle exists for every one of
    // `languages` (the preferred ones, two- or three-letter codes). Runs once
    // per record.
    static void matchMovieSubs(movieFile &m, const QStringList &languages, bool countEmbedded = false);

    QString filterBy;      // IMDB identifier chosen to filter results, or empty
    QString iso639;        // language code of a per-language copy
    qint32 matchedby = 0;  // best match level of a per-language copy's results
    qint32 videowidth = 0; // pixels, from the player's identification run
    qint32 videoheight = 0;
    bool isChecked = false;   // the check mark of the record's row
    bool toSearch = false;    // whether the next search includes this file
    bool addedToList = false; // the record has a row in its window's list
    bool hasAllSubs = false;  // set by matchMovieSubs
    bool localSubsMatched = false;
    // The video's folder as it was when the video was listed (or opened):
    // a subtitle is placed only into that same folder, not into another put
    // at its path since. Unknown for records not made from a listing.
    FolderIdentity listedFolder;

private:
    void setFile(const QFileInfo &file);
    void setListedFile(const QString &path);
    bool fileUsable() const;
    void buildSubtitles(const QStringList &subtitlePaths);
    void copyFrom(const movieFile &other, bool takeResults);
    void indexImdbsLocked();

    mutable QMutex m_mutex;
    mutable QMutex m_hashing; // one hash computation at a time
    QString m_path;
    std::shared_ptr<VideoMetadata> m_metadata;
    mutable quint64 m_bytesize = 0;
    mutable QString m_movieFileName;
    mutable QString m_movieFileNameShort;
    mutable QString m_movieHash;
    bool m_hashed = false;
    mutable QMutex m_probing; // one header read at a time
    std::shared_ptr<const VideoStreams> m_streams;
    bool m_countEmbedded = false;
    SubtitleList m_subtitles;
    ResultList m_subtitleResults;
    QList<Dictionary> m_imdbs;
    QSet<qlonglong> m_imdbIds; // the "movieImdbID" of every entry, as numbers
};
