#pragma once

#include <QFileInfo>
#include <QMutex>
#include <QString>

// What a video's file name says about it: whether it names a television
// episode (one episode, a range of two, an air date, a special or a numbered
// part) and of which show. The IMDB identifier the service finds for the
// video is kept here too. The parsed fields are set while the object is
// built and only read afterwards.
class VideoMetadata final {
public:
    VideoMetadata() = default;
    // Parses the text as a name.
    explicit VideoMetadata(const QString &text);
    // Parses the file's name without its last extension.
    explicit VideoMetadata(const QFileInfo &file);

    // Parses the file's name without its last extension (a name without a
    // "." gives empty text).
    void GetEpisodeMetadata(const QFileInfo &file);
    // What of a file's name is parsed: the name without its last extension,
    // empty for a name without a ".".
    static QString parsedPartOf(QStringView fileName);
    // Parses the text and sets every field except the IMDB identifier.
    void GetEpisodeMetadata(const QString &text);

    VideoMetadata(const VideoMetadata &other);
    VideoMetadata &operator=(const VideoMetadata &other);

    // What the service says the video is: its IMDB identifier and the title
    // that goes with it. Empty until the client learns it. Copies of a video
    // record share one VideoMetadata, and the search sets this while the
    // window reads it, so it is kept under a lock.
    struct ServiceIdentity {
        QString movieImdbID;
        QString MovieName;
        qint32 MovieYear = 0;
        QString MovieKind;
        qint32 SeriesSeason = 0;
        qint32 SeriesEpisode = 0;
    };
    ServiceIdentity identity() const;
    void setIdentity(const ServiceIdentity &identity);
    QString movieImdbID() const;
    void setMovieImdbID(const QString &id);

    bool isTVShow = false;
    QString showname;
    // "EPI", "EP2", "DAY", "SPC", "PRT" or "UNK".
    QString showtype;
    // The marker in its normalised form: "1x2", "1x2-3", "2010-1-5", "SP01", "2-3".
    QString metadata;
    qint32 season = 0;
    qint32 episode = 0;
    qint32 episode2 = 0;
    QString showDate;
    qint32 part = 0;
    qint32 parts = 0;

private:
    mutable QMutex m_mutex;
    ServiceIdentity m_identity;
};
