#pragma once

#include "common/WorkItem.h"

#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <memory>

class ExtensionTest;
class IntakeTarget;
class ShellFinder;

// The file intake of one dropped item (the seed). A folder seeds a listing of
// everything below it; a single file seeds a listing of the entries beside it
// that share its short name, so a video brings in its subtitles and a
// subtitle its video. The video and subtitle files found go to the window's
// client in one batch.
class MovieFileParser final : public WorkItem {
public:
    enum class Mode {
        GetSubs, // download window: seeds a single file only if it is a video
        PutSubs, // upload window: seeds a single file only if it is a subtitle
    };

    MovieFileParser(const QString &seed, std::shared_ptr<IntakeTarget> window, Mode mode);
    ~MovieFileParser() override;

    // Queues an intake item for the seed on the application's work queue when
    // the seed exists and can be read. Returns whether it did.
    static bool Queue(const QString &seed, const std::shared_ptr<IntakeTarget> &window, Mode mode);

    void DoWork() override;

    // Fills foundFiles from the seed; true when it holds a path afterwards.
    bool handleSeedFile(const QString &seed);

    // "getsubs" or "putsubs".
    QString ParseMode() const;
    Mode mode() const { return m_mode; }
    const QString &seed() const { return mFile; }
    // The mode's own extensions: videos when getting, subtitles when putting.
    const QString &fileExtensions() const { return m_fileExtensions; }
    const QStringList &foundFiles() const { return m_foundFiles; }
    // The files of the mode's type and the folders found under the seed that
    // could not be taken in because their names are not valid UTF-8, as
    // ShellFinder::shownName shows them; handed to the window with
    // unreadableNameReason().
    const QStringList &unreadableNames() const { return m_unreadableNames; }
    static QString unreadableNameReason();

private:
    // The name prefix of the entries a single-file seed lists beside it.
    QString siblingPrefix(const QFileInfo &seed) const;
    // Adds the files of the mode's own type that the finder's list did not
    // keep; the set of what is held is only made when one turns up.
    void addOwnTypeBeyond(const ShellFinder &finder, ExtensionTest &ownType);
    // Drops what the wider listing of a subtitle seed found beyond its own
    // short name, except the videos it pairs with.
    void keepCompanionsOf(const QFileInfo &seed);

    QString mFile;
    std::shared_ptr<IntakeTarget> mWindow;
    Mode m_mode;
    QString m_fileExtensions;
    QStringList m_foundFiles;
    QStringList m_unreadableNames;
};
