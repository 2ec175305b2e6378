#pragma once

#include "common/JobSession.h"
#include "common/Types.h"
#include "service/ServiceError.h"
#include "service/SubtitleDownload.h"

#include <QMutex>

#include <functional>
#include <memory>

class movieFile;
class SubtitleProvider;

// One subtitle the service offered for a video: the fields of one entry of a
// SearchSubtitles reply, plus our own state for it (checked, best choice,
// download progress). Records are shared between a video's result list and
// the lists that show them, and are guarded by the owning window's lock.
class openSubtitleItem final {
public:
    openSubtitleItem() = default;
    // Reads every known key of a reply entry; numbers and flags may arrive as
    // XML-RPC numbers or as decimal text.
    explicit openSubtitleItem(const Dictionary &entry);

    // "MovieName/SubFileName (downloads)", as the results list shows it.
    QString Cellstring() const;
    // The service's flags as the results list marks them before the name:
    // "[HI] ", "[MT, forced] "; empty for none.
    QString flagMarks() const;
    // What those marks mean, a line each, for a tooltip; empty for none.
    QString flagMeanings() const;

    // Setting the video path also decides whether the subtitle's own episode
    // data agrees with the video's (metaMatch); that agreement is never undone.
    // `folder` is the video's folder as it was listed: the subtitle goes
    // there or nowhere. Unknown, the folder as the download begins is taken.
    QString movieFolderItemPath() const { return m_movieFolderItemPath; }
    void setMovieFolderItemPath(const QString &path, const FolderIdentity &folder = {});

    // The folder downloads and previews go through; the application's private
    // temporary folder unless set.
    QString temppath() const;
    void setTemppath(const QString &path) { m_temppath = path; }

    // Fetches, unpacks, checks and places the subtitle: beside the video, or
    // only into the temporary folder for a preview. The content comes from
    // the provider that found the record (or, without one, from its
    // SubDownloadLink); an earlier preview's copy is used instead when there
    // is one. Blocks; run it off the UI thread. True when the subtitle ended
    // up where it was meant to go. `session` is the owning job: the record's
    // state changes are made under its lock (without one for a record of no
    // job), the transfer and file work outside it. When `cancelled` turns
    // true the transfer under way is dropped.
    bool Download(bool toTempOnly, JobSession *session = nullptr,
                  const std::function<bool()> &cancelled = {});

    // The same in two halves, for a queue whose transfers a provider runs
    // (SubtitleProvider::downloadEach): startDownload() marks the record and
    // says whether content is needed (false: an earlier preview's copy was
    // placed, or placing failed, and the outcome is in `placed`);
    // placement() is the task that places the content the provider
    // delivered, where startDownload() said. The task may run on another
    // thread while the record lives; it returns whether it placed.
    bool startDownload(JobSession *session, bool &placed);
    std::function<bool(JobSession *session)> placement(ServiceResult<QByteArray> content);
    // The subtitle's content from the record's provider, or from its link.
    ServiceResult<QByteArray> fetchContent(JobSession *session, const std::function<bool()> &dropped) const;

    // The names a download writes, derived from the video's name and the
    // service fields (which are sanitised on the way in).
    QString finalName() const;
    QString finalName(bool languageInName) const;
    QString previewName() const;
    // Where a final download places the subtitle: finalName() in the video's folder.
    QString finalTarget(bool languageInName) const;
    // The same, named as the job's placement options say; call it under the
    // session's lock when there is a session.
    QString finalTargetIn(const JobSession *session) const;
    static PlacementOptions placementOptionsOf(const JobSession *session);

    // Records a download that was refused before it started, with the reason.
    void markFailed(const QString &why, JobSession *session = nullptr);

    // Service fields.
    int IDMovie = 0;
    int IDMovieImdb = 0;
    int IDSubMovieFile = 0;
    int IDSubtitle = 0;
    int IDSubtitleFile = 0;
    QString ISO639;
    QString LanguageName;
    QString MatchedBy;
    quint64 MovieBytesize = 0;
    QString MovieHash;
    double MovieImdbRating = 0;
    QString MovieKind;
    QString MovieName;
    QString MovieNameEng;
    QString MovieReleaseName;
    int MovieTimeMS = 0;
    int MovieYear = 0;
    int QueryNumber = 0;
    Dictionary QueryParameters;
    int SeriesEpisode = 0;
    int SeriesSeason = 0;
    int SubActualCD = 0;
    Date SubAddDate;
    QString SubAuthorComment;
    bool SubBad = false;
    int SubComments = 0;
    QString SubDownloadLink;
    int SubDownloadsCnt = 0;
    bool SubFeatured = false;
    QString SubFileName;
    QString SubFormat;
    QString SubHash;
    bool SubHearingImpaired = false;
    bool SubAutoTranslation = false;  // machine- or AI-translated
    bool SubForeignPartsOnly = false; // forced: only the parts in another language
    QString SubLanguageID;
    double SubRating = 0;
    int SubSize = 0;
    int SubSumCD = 0;
    QString SubtitlesLink;
    int UserID = 0;
    QString UserNickName;
    QString userRank;
    QString ZipDownloadLink;
    bool HashWasAlreadyInDB = false;
    bool alreadyInDB = false;
    bool MovieFileWasAlreadyInDB = false;

    // Our state.
    bool isChecked = false;
    bool myBest = false;
    int myRating = 0;
    bool metaMatch = false;
    bool localHave = false;
    std::weak_ptr<::movieFile> movieFile; // the video it was last attached to
    QString status = QStringLiteral("idle");
    QString downloadError; // why the last download failed, for the user
    // Where the subtitle that the last placement replaced went (the trash or
    // a backup beside the video), in words and as a path; empty when none.
    QString replacedNote;
    QString replacedKeptAt;
    // What measuring the placed subtitle against the speech did ("moved 2.3 s
    // later"), or why it changed nothing; empty when it was not measured.
    QString timingNote;
    bool Downloaded = false;
    QString localtempfile; // preview copy in the temporary folder
    QString localSubfile;  // the placed subtitle
    // What became of the placed subtitle's text encoding when UTF-8 was
    // asked for ("converted from windows-1251", "kept as served: ..."); empty
    // when it was not asked for.
    QString encodingNote;
    // The service interface that found the record; downloads ask it for the
    // content. Empty for records made elsewhere, which fetch SubDownloadLink.
    std::shared_ptr<SubtitleProvider> provider;

private:
    struct Transfer {
        QString tempFolder;
        QString target;
        QString reusable;           // an earlier preview's copy, when it is still there
        FolderIdentity folder;      // the target's folder as listed, else as the transfer began
        bool convertToUtf8 = false; // as the run's settings were when it began
    };
    Transfer beginTransfer(bool toTempOnly, JobSession *session);
    bool place(const Transfer &transfer, const QString &source, bool toTempOnly, JobSession *session);
    bool placeContent(const Transfer &transfer, const ServiceResult<QByteArray> &content, bool toTempOnly,
                      JobSession *session);
    // The record's state after a placement.
    bool settle(const Transfer &transfer, const SubtitleDownload::PlacementResult &placement, bool toTempOnly,
                JobSession *session);
    bool fail(const QString &why, JobSession *session);
    // Fails the transfer when its folder is no longer the one listed: found
    // before the download, that spends nothing of the day's quota.
    bool refusedForItsFolder(const Transfer &transfer, JobSession *session);
    // What goes beside the video: the bytes as served, or UTF-8 made from
    // them when the user asked for it (the outcome in encodingNote).
    QByteArray bytesToPlace(const QByteArray &served, const Transfer &transfer, JobSession *session);

    // The transfer under way between startDownload() and placement().
    Transfer m_pending;
    QString m_movieFolderItemPath;
    FolderIdentity m_listedFolder;
    QString m_temppath;
};

using openSubtitleItemPtr = std::shared_ptr<openSubtitleItem>;
