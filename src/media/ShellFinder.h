#pragma once

#include "common/WorkItem.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// What a finder lists: either a folder with everything below it, or the
// entries of a folder whose names start with a prefix (each with everything
// below it, when it is a folder).
struct FindCommand {
    QString folder;
    // Empty: the folder itself and everything below it.
    QString namePrefix;
};

// Whether "." + an extension occurs in an extension list (ignoring case),
// answered once per distinct extension: a listing holds thousands of names
// but only a handful of extensions. Not shared between threads.
class ExtensionTest final {
public:
    explicit ExtensionTest(const QString &extensions);
    // `dotExtension` is the "." and what follows it.
    bool operator()(QStringView dotExtension);

private:
    struct Known {
        QString dotExtension;
        bool kept = false;
    };
    // A listing of odd names is not remembered beyond this many.
    static constexpr qsizetype kMaxKnown = 64;
    QString m_extensions;
    QList<Known> m_known;
};

// One listed path.
struct FoundEntry {
    QString path;
    bool isFolder = false;
};

// Lists files for the intake and keeps the paths of video and subtitle files.
//
// The tree is walked in-process: no shell, no command line, so a name is
// only ever data, whatever quotes, dollars, backslashes, dashes or newlines
// it holds. The listing is sorted in byte order of the paths, like
// `find DIR | LC_ALL=C sort`. Symbolic links are listed but not followed
// below the starting folder, so a link cycle cannot trap the walk. Names that
// are not valid UTF-8 cannot be carried in a QString without changing the
// file they name; they are left out, with a warning, and kept in
// skippedNames() so that the user can be told.
class ShellFinder final : public WorkItem {
public:
    // `results` belongs to the caller and must outlive the run; the finder
    // appends the video and subtitle files of the listing that it does not
    // hold yet.
    ShellFinder(FindCommand command, QStringList *results);

    // Asked between entries of the walk; when it answers true the walk stops
    // and lists what it has read so far.
    void setStop(std::function<bool()> stop) { m_stop = std::move(stop); }

    static FindCommand treeOf(const QString &folder);
    static FindCommand siblingsOf(const QString &folder, const QString &namePrefix);

    // Lists, then keeps the wanted files in the caller's list.
    void DoWork() override;

    // Everything listed by the last run, in byte order of the paths.
    const QList<FoundEntry> &listing() const { return m_listing; }
    QStringList resultLines() const;
    // Entries left out of the last run because their names are not valid
    // UTF-8, shown as shownName() gives them, in byte order.
    const QList<FoundEntry> &skippedNames() const { return m_skipped; }
    // A path for people: valid UTF-8 as text, every other byte as \xHH.
    static QString shownName(const QByteArray &path);

    const FindCommand &command() const { return mCommand; }
    const QString &extensionList() const { return m_extensionList; }

    // The listing itself, without keeping anything.
    static QList<FoundEntry> list(const FindCommand &command, QList<FoundEntry> *skippedNames = nullptr,
                                  const std::function<bool()> &stop = {});

    // True for the path of a file named like "name.ext" whose ".ext" occurs
    // in `extensions` (ignoring case); hidden names, names ending in "." and
    // names without a "." are never kept.
    static bool keepsName(const QString &path, const QString &extensions);
    static bool keepsName(QStringView path, ExtensionTest &extensions);

private:
    QString m_extensionList;
    FindCommand mCommand;
    QStringList *mResults;
    QList<FoundEntry> m_listing;
    QList<FoundEntry> m_skipped;
    std::function<bool()> m_stop;
};
