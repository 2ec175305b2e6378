#pragma once

#include <QFileInfo>
#include <QMutex>
#include <QString>

#include <memory>

class movieFile;

// One local subtitle file: its name, the language its name gives, its hash
// and size, read from the disk on first use and kept, and the video it
// belongs to.
//
// Workers and the main thread read the same record, so the cached values are
// kept under the record's own lock. A cached value is computed outside the
// lock (the hash is computed by one thread at a time) and is never replaced
// once set. The plain flags follow the window's lock, like the window's other
// state.
class subtitleFile final {
public:
    // `file` may be empty (no file). The path form takes a native path.
    explicit subtitleFile(const QFileInfo &file);
    explicit subtitleFile(const QString &path);

    subtitleFile(const subtitleFile &) = delete;
    subtitleFile &operator=(const subtitleFile &) = delete;

    // The file; an empty QFileInfo when there is none. Each call gives a
    // fresh QFileInfo, so callers never share its internal cache.
    QFileInfo SubtitleFolderItem() const;
    void setSubtitleFolderItem(const QFileInfo &file);
    // The native path, empty when there is no file.
    QString path() const;

    // The leaf name; empty when the file is absent, missing or unreadable.
    QString subtitleFileName() const;
    void setSubtitleFileName(const QString &name);

    // The three-letter language code from a name such as movie.en.srt, or the
    // one set; empty when the name gives none (tried again on the next read).
    QString ISO639() const;
    void setISO639(const QString &code);
    // The three-letter code a name such as movie.en.srt gives; empty when it
    // gives none. Looks at no file.
    static QString languageInName(QStringView name);

    // The subtitle hash: 32 hex digits, "Error" when the file exists but
    // cannot be read, empty when it is absent. subHash() only reports what
    // computeSubHash() found (empty before), so it never reads the file and
    // is safe under a lock; computeSubHash() reads the whole file.
    QString subHash() const;
    QString computeSubHash();
    void setSubHash(const QString &hash);

    quint64 bytesize() const;
    void setBytesize(quint64 size);

    // The video this subtitle belongs to. A subtitle listed in a video
    // record's `subtitles` points back at that record without keeping it
    // alive; a video set here is kept alive by the subtitle (the upload side,
    // where the subtitle owns the video found for it). Never set a record's
    // own subtitle to that record: they would keep each other alive.
    std::shared_ptr<movieFile> thisMovie() const;
    void setThisMovie(const std::shared_ptr<movieFile> &movie);

    bool hasMovie = false;
    bool isChecked = false;
    bool addedToList = false;

private:
    friend class movieFile;
    void setOwnerMovie(const std::weak_ptr<movieFile> &owner);
    bool fileUsable() const;
    // What ISO639() gives when the file is there and readable, without
    // looking at it.
    QString languageOfName() const;

    mutable QMutex m_mutex;
    mutable QMutex m_hashing; // one hash computation at a time
    QString m_path;
    mutable QString m_subtitleFileName;
    mutable QString m_iso639;
    mutable QString m_subHash;
    mutable quint64 m_bytesize = 0;
    std::shared_ptr<movieFile> m_ownedMovie;
    std::weak_ptr<movieFile> m_ownerMovie;
};
