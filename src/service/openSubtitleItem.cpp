#include "service/openSubtitleItem.h"

#include "common/JobSession.h"
#include "common/NumberRange.h"
#include "media/FileNames.h"
#include "media/Utf8Recoding.h"
#include "media/VideoMetadata.h"
#include "prefs/myPrefs.h"
#include "service/SubtitleDownload.h"
#include "service/SubtitleProvider.h"
#include "service/XMLRPC.h"
#include "service/XmlRpcProvider.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSaveFile>

#include <optional>

using namespace Qt::Literals::StringLiterals;

Q_LOGGING_CATEGORY(lcItem, "lumbra.result")

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

// Numbers arrive as XML-RPC numbers or as decimal text ("7.5", "0").
double readNumber(const Variant &v)
{
    if (v.typeId() == QMetaType::QString) {
        static const QRegularExpression leadingNumber(u"^\\s*[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?"_s);
        const auto m = leadingNumber.match(v.toString());
        return m.hasMatch() ? m.captured(0).trimmed().toDouble() : 0.0;
    }
    return v.toDouble();
}

int readInt(const Variant &v)
{
    return clampedInteger<int>(readNumber(v));
}

bool readFlag(const Variant &v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    const QString text = v.toString().trimmed();
    if (text.compare(u"true"_s, Qt::CaseInsensitive) == 0)
        return true;
    return readNumber(v) != 0.0;
}

// "tt0111161" and "0111161" both name IMDB number 111161.
int readImdbNumber(const Variant &v)
{
    QString text = v.toString().trimmed();
    while (!text.isEmpty() && text.front().isLetter())
        text.remove(0, 1);
    return readInt(text);
}

// The service writes "2013-10-16 16:56:06"; XML-RPC dates are ISO 8601.
Date readServiceDate(const Variant &v)
{
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    const QString text = v.toString().trimmed();
    const Date spaced = QDateTime::fromString(text.left(19), u"yyyy-MM-dd HH:mm:ss"_s);
    return spaced.isValid() ? spaced : XMLRPC::ParseISO8601(text);
}

void take(const Dictionary &d, const QString &key, QString &field)
{
    if (d.contains(key))
        field = d.value(key).toString();
}
void take(const Dictionary &d, const QString &key, int &field)
{
    if (d.contains(key))
        field = readInt(d.value(key));
}
void take(const Dictionary &d, const QString &key, double &field)
{
    if (d.contains(key))
        field = readNumber(d.value(key));
}
void take(const Dictionary &d, const QString &key, bool &field)
{
    if (d.contains(key))
        field = readFlag(d.value(key));
}

} // namespace

openSubtitleItem::openSubtitleItem(const Dictionary &d)
{
    take(d, u"IDMovie"_s, IDMovie);
    if (d.contains(u"IDMovieImdb"_s))
        IDMovieImdb = readImdbNumber(d.value(u"IDMovieImdb"_s));
    take(d, u"IDSubMovieFile"_s, IDSubMovieFile);
    take(d, u"IDSubtitle"_s, IDSubtitle);
    take(d, u"IDSubtitleFile"_s, IDSubtitleFile);
    if (d.contains(u"ISO639"_s))
        ISO639 = SubtitleDownload::safeLanguage(d.value(u"ISO639"_s).toString());
    take(d, u"LanguageName"_s, LanguageName);
    take(d, u"MatchedBy"_s, MatchedBy);
    if (d.contains(u"MovieBytesize"_s))
        MovieBytesize = clampedInteger<quint64>(readNumber(d.value(u"MovieBytesize"_s)));
    take(d, u"MovieHash"_s, MovieHash);
    take(d, u"MovieImdbRating"_s, MovieImdbRating);
    take(d, u"MovieKind"_s, MovieKind);
    take(d, u"MovieName"_s, MovieName);
    take(d, u"MovieNameEng"_s, MovieNameEng);
    take(d, u"MovieReleaseName"_s, MovieReleaseName);
    take(d, u"MovieTimeMS"_s, MovieTimeMS);
    take(d, u"MovieYear"_s, MovieYear);
    take(d, u"QueryNumber"_s, QueryNumber);
    if (isDictionary(d.value(u"QueryParameters"_s)))
        QueryParameters = d.value(u"QueryParameters"_s).value<Dictionary>();
    take(d, u"SeriesEpisode"_s, SeriesEpisode);
    take(d, u"SeriesSeason"_s, SeriesSeason);
    take(d, u"SubActualCD"_s, SubActualCD);
    if (d.contains(u"SubAddDate"_s))
        SubAddDate = readServiceDate(d.value(u"SubAddDate"_s));
    take(d, u"SubAuthorComment"_s, SubAuthorComment);
    take(d, u"SubBad"_s, SubBad);
    take(d, u"SubComments"_s, SubComments);
    take(d, u"SubDownloadLink"_s, SubDownloadLink);
    take(d, u"SubDownloadsCnt"_s, SubDownloadsCnt);
    take(d, u"SubFeatured"_s, SubFeatured);
    if (d.contains(u"SubFileName"_s))
        SubFileName = SubtitleDownload::safeLeafName(d.value(u"SubFileName"_s).toString());
    if (d.contains(u"SubFormat"_s))
        SubFormat = SubtitleDownload::safeFormat(d.value(u"SubFormat"_s).toString());
    take(d, u"SubHash"_s, SubHash);
    take(d, u"SubHearingImpaired"_s, SubHearingImpaired);
    take(d, u"SubAutoTranslation"_s, SubAutoTranslation);
    take(d, u"SubForeignPartsOnly"_s, SubForeignPartsOnly);
    take(d, u"SubLanguageID"_s, SubLanguageID);
    take(d, u"SubRating"_s, SubRating);
    take(d, u"SubSize"_s, SubSize);
    take(d, u"SubSumCD"_s, SubSumCD);
    take(d, u"SubtitlesLink"_s, SubtitlesLink);
    take(d, u"UserID"_s, UserID);
    take(d, u"UserNickName"_s, UserNickName);
    take(d, u"userRank"_s, userRank);
    take(d, u"ZipDownloadLink"_s, ZipDownloadLink);
    take(d, u"HashWasAlreadyInDB"_s, HashWasAlreadyInDB);
    take(d, u"alreadyInDB"_s, alreadyInDB);
    take(d, u"MovieFileWasAlreadyInDB"_s, MovieFileWasAlreadyInDB);
}

namespace {

// A result's flags: its mark in the list and what the mark means.
struct ResultFlag {
    bool openSubtitleItem::*set;
    const char16_t *mark;
    const char16_t *meaning;
};

constexpr ResultFlag kResultFlags[] = {
    {&openSubtitleItem::SubHearingImpaired, u"HI",
     u"for the hearing-impaired, with sounds and speakers described"},
    {&openSubtitleItem::SubAutoTranslation, u"MT",
     u"machine- or AI-translated; never ticked automatically while you skip those"},
    {&openSubtitleItem::SubForeignPartsOnly, u"forced",
     u"only the parts in a foreign language; never ticked automatically"},
};

} // namespace

QString openSubtitleItem::flagMarks() const
{
    QStringList marks;
    for (const ResultFlag &flag : kResultFlags) {
        if (this->*flag.set)
            marks.append(QString::fromUtf16(flag.mark));
    }
    return marks.isEmpty() ? QString() : u'[' + marks.join(u", "_s) + u"] "_s;
}

QString openSubtitleItem::flagMeanings() const
{
    QStringList lines;
    for (const ResultFlag &flag : kResultFlags) {
        if (this->*flag.set)
            lines.append(QString::fromUtf16(flag.mark) + u": "_s + QString::fromUtf16(flag.meaning));
    }
    return lines.join(u'\n');
}

QString openSubtitleItem::Cellstring() const
{
    return MovieName + u'/' + SubFileName + u" ("_s + QString::number(SubDownloadsCnt) + u')';
}

void openSubtitleItem::setMovieFolderItemPath(const QString &path, const FolderIdentity &folder)
{
    m_movieFolderItemPath = path;
    m_listedFolder = folder;
    const VideoMetadata fromSubtitle(SubFileName);
    const VideoMetadata fromVideo{QFileInfo(path)};
    if (fromSubtitle.isTVShow == fromVideo.isTVShow && fromSubtitle.episode == fromVideo.episode &&
        fromSubtitle.season == fromVideo.season)
        metaMatch = true;
    else if (fromVideo.episode == SeriesEpisode && fromVideo.season == SeriesSeason)
        metaMatch = true;
}

QString openSubtitleItem::temppath() const
{
    return m_temppath.isEmpty() ? SubtitleDownload::applicationTempDir() : m_temppath;
}

QString openSubtitleItem::finalName() const
{
    return finalName(myPrefs::languageInSubtitleNames());
}

QString openSubtitleItem::finalName(bool languageInName) const
{
    return SubtitleDownload::finalName(shortname(QFileInfo(m_movieFolderItemPath).fileName()), ISO639,
                                       SubFormat, languageInName);
}

PlacementOptions openSubtitleItem::placementOptionsOf(const JobSession *session)
{
    // A run with settings of its own keeps them in its session; others
    // follow the preferences of the moment.
    return session && session->placement
               ? *session->placement
               : PlacementOptions{myPrefs::languageInSubtitleNames(), myPrefs::ConvertToUTF8()};
}

QString openSubtitleItem::finalTargetIn(const JobSession *session) const
{
    return finalTarget(placementOptionsOf(session).languageInName);
}

QString openSubtitleItem::finalTarget(bool languageInName) const
{
    return QFileInfo(m_movieFolderItemPath).absolutePath() + u'/' + finalName(languageInName);
}

void openSubtitleItem::markFailed(const QString &why, JobSession *session)
{
    qCInfo(lcItem) << "download of" << SubFileName << "refused:" << why;
    underSessionLock(session, [&] {
        status = u"Error"_s;
        downloadError = why;
        replacedNote.clear();
        replacedKeptAt.clear();
    });
}

QString openSubtitleItem::previewName() const
{
    return QString::number(IDSubtitle) + u'_' + SubFileName + u'.' + ISO639 + u'.' + SubFormat;
}

bool openSubtitleItem::fail(const QString &why, JobSession *session)
{
    qCInfo(lcItem) << "download of" << SubFileName << "failed:" << why;
    underSessionLock(session, [&] {
        status = u"Error"_s;
        downloadError = why;
    });
    return false;
}

openSubtitleItem::Transfer openSubtitleItem::beginTransfer(bool toTempOnly, JobSession *session)
{
    Transfer transfer;
    underSessionLock(session, [&] {
        const PlacementOptions options = placementOptionsOf(session);
        transfer.convertToUtf8 = options.convertToUtf8;
        status = u"Downloading"_s;
        downloadError.clear();
        replacedNote.clear();
        replacedKeptAt.clear();
        transfer.tempFolder = temppath();
        transfer.target =
            toTempOnly ? transfer.tempFolder + u'/' + previewName() : finalTarget(options.languageInName);
        if (toTempOnly)
            localtempfile = transfer.target;
        transfer.reusable = localtempfile;
        if (!toTempOnly)
            transfer.folder = m_listedFolder;
    });
    // Without the folder as listed, the folder as it is now, before the wait
    // for the service: the subtitle goes there or nowhere.
    if (!toTempOnly && !transfer.folder.known)
        transfer.folder = FolderIdentity::of(QFileInfo(transfer.target).absolutePath());
    const QFileInfo reuse(transfer.reusable);
    if (transfer.reusable.isEmpty() || !reuse.exists() || !reuse.isReadable())
        transfer.reusable.clear();
    return transfer;
}

ServiceResult<QByteArray> openSubtitleItem::fetchContent(JobSession *session,
                                                         const std::function<bool()> &dropped) const
{
    std::shared_ptr<SubtitleProvider> from;
    std::optional<openSubtitleItem> snapshot;
    underSessionLock(session, [&] {
        from = provider;
        snapshot.emplace(*this);
    });
    if (from)
        return from->download(*snapshot, dropped);
    return XmlRpcProvider::fetchPacked(snapshot->SubDownloadLink, dropped);
}

bool openSubtitleItem::placeContent(const Transfer &transfer, const ServiceResult<QByteArray> &content,
                                    bool toTempOnly, JobSession *session)
{
    if (!content.ok())
        return fail(content.error.reason.isEmpty() ? content.error.text() : content.error.reason, session);
    // Checked before anything is written: what is not a subtitle never
    // takes the place of one.
    QString refusal;
    const std::optional<QByteArray> subtitle =
        SubtitleDownload::readyContent(content.value, QFileInfo(transfer.target).suffix(), &refusal);
    if (!subtitle)
        return fail(refusal, session);
    underSessionLock(session, [&] { status = u"Downloaded"_s; });
    // Written once, beside its target; only when that folder cannot take it
    // is a copy kept in our temporary folder, so that it is not lost.
    const QByteArray bytes = toTempOnly ? *subtitle : bytesToPlace(*subtitle, transfer, session);
    const auto placement = SubtitleDownload::placeKeepingPrevious(bytes, transfer.target, transfer.folder);
    if (placement.outcome == SubtitleDownload::Placement::FolderNotWritable)
        writeFile(transfer.tempFolder + u'/' + QFileInfo(transfer.target).fileName(), bytes);
    return settle(transfer, placement, toTempOnly, session);
}

bool openSubtitleItem::place(const Transfer &transfer, const QString &source, bool toTempOnly,
                             JobSession *session)
{
    // A preview's copy holds the bytes as served; UTF-8 is made from them
    // only on the way to the video.
    if (!toTempOnly && transfer.convertToUtf8) {
        QFile file(source);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray served = file.read(SubtitleDownload::kMaxSubtitleBytes);
            return settle(transfer,
                          SubtitleDownload::placeKeepingPrevious(bytesToPlace(served, transfer, session),
                                                                 transfer.target, transfer.folder),
                          toTempOnly, session);
        }
    }
    return settle(transfer, SubtitleDownload::placeKeepingPrevious(source, transfer.target, transfer.folder),
                  toTempOnly, session);
}

QByteArray openSubtitleItem::bytesToPlace(const QByteArray &served, const Transfer &transfer,
                                          JobSession *session)
{
    if (!transfer.convertToUtf8)
        return served;
    QString language;
    underSessionLock(session, [&] { language = ISO639; });
    const Utf8Recoding::Result recoded = Utf8Recoding::toUtf8(served, language);
    underSessionLock(session, [&] { encodingNote = recoded.note(); });
    return recoded.bytes;
}

bool openSubtitleItem::settle(const Transfer &transfer, const SubtitleDownload::PlacementResult &placement,
                              bool toTempOnly, JobSession *session)
{
    switch (placement.outcome) {
    case SubtitleDownload::Placement::FolderNotWritable:
        return fail(u"folder not writable: "_s + QFileInfo(transfer.target).absolutePath(), session);
    case SubtitleDownload::Placement::CopyFailed:
        return fail(u"could not write the subtitle to %1: %2"_s.arg(transfer.target, placement.why), session);
    case SubtitleDownload::Placement::FolderChanged:
        return fail(u"the folder %1 was replaced since the video was listed (moved away, or swapped for "
                    "another folder or a link to one); nothing was written there"_s.arg(
                        QFileInfo(transfer.target).absolutePath()),
                    session);
    case SubtitleDownload::Placement::Placed:
        break;
    }
    underSessionLock(session, [&] {
        localSubfile = transfer.target;
        replacedNote = SubtitleDownload::replacementNote(placement);
        replacedKeptAt = placement.keptAt;
        status = u"OK"_s;
        if (!toTempOnly)
            Downloaded = true;
    });
    return true;
}

bool openSubtitleItem::refusedForItsFolder(const Transfer &transfer, JobSession *session)
{
    if (!transfer.folder.changedAt(QFileInfo(transfer.target).absolutePath()))
        return false;
    settle(transfer, {SubtitleDownload::Placement::FolderChanged, {}, {}, false}, false, session);
    return true;
}

bool openSubtitleItem::Download(bool toTempOnly, JobSession *session, const std::function<bool()> &cancelled)
{
    const Transfer transfer = beginTransfer(toTempOnly, session);
    if (transfer.tempFolder.isEmpty())
        return fail(u"no temporary folder"_s, session);
    if (refusedForItsFolder(transfer, session))
        return false;
    // An earlier preview already holds the subtitle.
    if (!transfer.reusable.isEmpty())
        return place(transfer, transfer.reusable, toTempOnly, session);
    return placeContent(transfer, fetchContent(session, cancelled), toTempOnly, session);
}

bool openSubtitleItem::startDownload(JobSession *session, bool &placed)
{
    m_pending = beginTransfer(false, session);
    placed = false;
    if (m_pending.tempFolder.isEmpty()) {
        fail(u"no temporary folder"_s, session);
        return false;
    }
    if (refusedForItsFolder(m_pending, session))
        return false;
    if (m_pending.reusable.isEmpty())
        return true;
    placed = place(m_pending, m_pending.reusable, false, session);
    return false;
}

std::function<bool(JobSession *)> openSubtitleItem::placement(ServiceResult<QByteArray> content)
{
    return [this, transfer = m_pending, content = std::move(content)](JobSession *session) {
        return placeContent(transfer, content, false, session);
    };
}
