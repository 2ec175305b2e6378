// The records of a job: the path intake that makes them and the merging of
// search replies into them.

#include "service/JobRecords.h"

#include "common/LangModule.h"
#include "common/RunTogether.h"
#include "media/FileNames.h"
#include "media/FileTypes.h"
#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "prefs/myPrefs.h"
#include "service/openSubtitleItem.h"
#include "service/ResultMerge.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QSet>
#include <QThread>
#include <QVarLengthArray>

#include <algorithm>
#include <mutex>
#include <shared_mutex>

using namespace Qt::Literals::StringLiterals;

namespace {

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Whether the path's extension is one of the type's; a path without a dot is
// taken whole, as extension() gives it.
bool isOfType(const FileType &type, const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot < 0 ? type.hasExtension(QString(u'.' + path))
                   : type.hasExtension(QStringView(path).sliced(dot));
}

// Whether a path names a video, a subtitle or neither. The file types are
// asked once per extension: a library holds only a handful of them.
class KindOfPath final {
public:
    enum Kind { Video, Subtitle, Other };

    Kind operator()(const QString &path)
    {
        const qsizetype dot = path.lastIndexOf(u'.');
        if (dot < 0)
            return kindOf(path);
        const QStringView dotExtension = QStringView(path).sliced(dot);
        for (const auto &[known, kind] : std::as_const(m_known)) {
            if (known == dotExtension)
                return kind;
        }
        const Kind kind = kindOf(path);
        if (m_known.size() < kMaxKnown)
            m_known.append({dotExtension.toString(), kind});
        return kind;
    }

private:
    static Kind kindOf(const QString &path)
    {
        return isOfType(FileTypes::MovieTypes, path) ? Video
               : isOfType(FileTypes::SubTypes, path) ? Subtitle
                                                     : Other;
    }

    // A listing of odd names is not remembered beyond this many.
    static constexpr qsizetype kMaxKnown = 64;
    QList<std::pair<QString, Kind>> m_known;
};

// The length of a video's stem, its path without the extension: how the
// names of the subtitles that go with it begin.
qsizetype stemLength(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot < 0 ? path.size() : dot;
}

void appendShared(QStringList &list, const QStringList &more)
{
    if (list.isEmpty())
        list = more;
    else
        list.append(more);
}

} // namespace

JobRecords::JobRecords() = default;

JobRecords::~JobRecords() = default;

void JobRecords::fixIntakeSettings(const IntakeSettings &settings)
{
    const QMutexLocker guard(&stateLock());
    m_fixedIntake = settings;
}

JobRecords::IntakeSettings JobRecords::intakeSettings() const
{
    {
        const QMutexLocker guard(&stateLock());
        if (m_fixedIntake)
            return *m_fixedIntake;
    }
    return {myPrefs::languageList(), myPrefs::EmbeddedSubsCount()};
}

// --- Merging replies ----------------------------------------------------------

void JobRecords::attachItems(const ResultList &items)
{
    const QMutexLocker guard(&stateLock());
    ResultMerge(movieFiles).attachAll(items);
}

void JobRecords::storeImdbCandidates(const Dictionary &byHash)
{
    const QMutexLocker guard(&stateLock());
    ResultMerge(movieFiles).storeImdbCandidates(byHash);
}

void JobRecords::markLocalCopies()
{
    const QMutexLocker guard(&stateLock());
    ResultMerge::markLocalCopies(movieFiles);
}

void JobRecords::addThisResult(const openSubtitleItemPtr &item)
{
    ResultMerge(movieFiles).attach(item);
}

void JobRecords::addThisResult(const Dictionary &candidate, const VariantList &candidates)
{
    ResultMerge(movieFiles).storeImdbCandidate(candidate, candidates);
}

// --- Path intake --------------------------------------------------------------

void JobRecords::hashForSearch(movieFile &video)
{
    video.computeMovieHash();
    for (const auto &local : video.subtitles())
        local->computeSubHash();
}

void JobRecords::processFiles(const QStringList &newPaths, const std::function<bool()> &stop)
{
    QString queueMode;
    qsizetype queuedVideos = 0;
    {
        const QMutexLocker guard(&stateLock());
        const std::unique_lock indexGuard(m_indexLock);
        // A library's lists are shared, not copied, where they start empty.
        appendShared(fileList, newPaths);
        const QStringList fresh = m_seenPaths.takeNew(fileList); // a path sorted before is not again
        appendShared(bigFileList, fresh);
        KindOfPath kindOfPath;
        for (const QString &path : fresh) {
            const KindOfPath::Kind kind = kindOfPath(path);
            if (kind == KindOfPath::Video) {
                bigMovieList.append(path);
                m_videoStems.add(FoldedKey::of(path, stemLength(path)), {});
            } else if (kind == KindOfPath::Subtitle) {
                m_subtitlesByPath.add(FoldedKey::of(path, path.size()), {m_subtitlesArrived++, path});
                bigSubList.append(path);
            }
        }
        m_videoStems.settle();
        m_subtitlesByPath.settle();
        fileList.clear();
        queueMode = mode;
        queuedVideos = bigMovieList.size();
    }
    const bool getSubs = queueMode == "GetSubs"_L1;
    if (!getSubs && queueMode != "PutSubs"_L1)
        return;
    if (!getSubs) {
        takeInQueuedSubtitles(stop);
        return;
    }
    // The wanted languages decide whether a video lacks a subtitle; one look
    // at them serves the whole batch.
    const IntakeSettings settings = intakeSettings();
    // A library's worth of videos is shared out among the cores.
    const int helpers = queuedVideos > kVideosPerBatch * 4 ? RunTogether::spareCores() : 0;
    RunTogether::run(helpers, [&] { buildQueuedVideoRecords(settings, stop); });
}

void JobRecords::takeInQueuedSubtitles(const std::function<bool()> &stop)
{
    while (!(stop && stop())) {
        QString path;
        {
            const QMutexLocker guard(&stateLock());
            if (bigSubList.isEmpty())
                break;
            path = bigSubList.takeFirst();
            ++m_intakeBusy;
        }
        addSubtitleFile(path);
        const QMutexLocker guard(&stateLock());
        --m_intakeBusy;
    }
}

void JobRecords::buildQueuedVideoRecords(const IntakeSettings &settings, const std::function<bool()> &stop)
{
    while (!(stop && stop())) {
        QStringList videos;
        qsizetype ticket = 0;
        {
            const QMutexLocker guard(&stateLock());
            const qsizetype count = std::min(bigMovieList.size(), kVideosPerBatch);
            if (count == 0)
                break;
            videos = bigMovieList.first(count);
            bigMovieList.remove(0, count);
            ticket = m_batchesTaken++;
            ++m_intakeBusy;
        }
        const QList<QStringList> subtitles = subtitlesBeside(videos);
        QList<std::shared_ptr<movieFile>> records;
        records.reserve(videos.size());
        for (qsizetype i = 0; i < videos.size(); ++i) // reads the disk: outside the lock
            records.append(
                movieFile::create(videos.at(i), subtitles.at(i), settings.languages, settings.countEmbedded));
        const QMutexLocker guard(&stateLock());
        // Batches are listed in the order they were taken, whichever thread
        // ends first; every batch taken is finished, so none is waited for
        // for good.
        m_batchesWaiting.emplace(ticket, std::move(records));
        for (auto next = m_batchesWaiting.begin();
             next != m_batchesWaiting.end() && next->first == m_batchesListed;
             next = m_batchesWaiting.erase(next), ++m_batchesListed)
            movieFiles.append(next->second);
        --m_intakeBusy;
    }
}

bool JobRecords::intakeBusy() const
{
    const QMutexLocker guard(&stateLock());
    return m_intakeBusy > 0;
}

void JobRecords::addFile(const QString &path)
{
    addFile(path, intakeSettings());
}

void JobRecords::addFile(const QString &path, const IntakeSettings &settings)
{
    QString queueMode;
    {
        const QMutexLocker guard(&stateLock());
        queueMode = mode;
    }
    if (queueMode == "PutSubs"_L1)
        addSubtitleFile(path);
    else
        addMovieFile(path, settings);
}

void JobRecords::addMovieFile(const QString &path, const IntakeSettings &settings)
{
    const QStringList beside = subtitlesBeside({path}).constFirst();
    // Reads the disk: outside the lock.
    auto record = movieFile::create(path, beside, settings.languages, settings.countEmbedded);
    const QMutexLocker guard(&stateLock());
    movieFiles.append(record);
}

QList<QStringList> JobRecords::subtitlesBeside(const QStringList &videos) const
{
    const std::shared_lock guard(m_indexLock);
    IndexCursors from{m_videoStems.cursor(), m_subtitlesByPath.cursor()};
    QList<QStringList> beside;
    beside.reserve(videos.size());
    for (const QString &video : videos)
        beside.append(subtitlesBeside(video, from));
    return beside;
}

QStringList JobRecords::subtitlesBeside(const QString &path, IndexCursors &from) const
{
    // Every subtitle whose path starts with the video's path without its
    // extension: a range of the index, put back in arrival order. One named
    // after a video whose name only begins like this one's belongs to that
    // video (Movie 2.en.srt is not Movie.avi's, Aliens.en.srt not Alien.mkv's).
    const FoldedKey stemKey = FoldedKey::of(path, stemLength(path));
    const QStringView stem = stemKey.view();
    auto longerStems = m_videoStems.startingWith(stem, from.stems);
    while (longerStems.first != longerStems.second && longerStems.first->first.size() == stem.size())
        ++longerStems.first; // this video's own stem (and that of a namesake of another extension)
    const auto namedAfterAnother = [&longerStems](const FoldedKey &subtitle) {
        return std::any_of(longerStems.first, longerStems.second, [&subtitle](const auto &longer) {
            return FoldedKey::startsWith(subtitle.view(), longer.first.view());
        });
    };
    const auto subtitles = m_subtitlesByPath.startingWith(stem, from.subtitles);
    QVarLengthArray<SubtitleArrival, 8> found;
    for (auto it = subtitles.first; it != subtitles.second; ++it)
        if (!namedAfterAnother(it->first))
            found.append(it->second);
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.order < b.order; });
    QStringList beside;
    beside.reserve(found.size());
    for (const SubtitleArrival &arrival : std::as_const(found))
        beside.append(arrival.path);
    return beside;
}

void JobRecords::addSubtitleFile(const QString &path)
{
    auto record = std::make_shared<subtitleFile>(path);
    const QString subtitleName = record->subtitleFileName();
    const QString oneOff = shortname(subtitleName);
    const QString twoOff = shortname(oneOff);
    // The video beside the subtitle whose name is the subtitle's without its
    // extension (Movie.srt, Movie.en.srt: Movie.mkv) or, failing that,
    // without its language code too. A video of that name in another folder
    // is another film.
    const qsizetype slash = path.lastIndexOf(u'/');
    const QStringView folder = QStringView(path).left(slash + 1);
    QString video;
    {
        const QMutexLocker guard(&stateLock());
        QString nameOnly;
        for (auto it = bigMovieList.crbegin(); it != bigMovieList.crend(); ++it) {
            const qsizetype videoSlash = it->lastIndexOf(u'/');
            if (videoSlash != slash || !it->startsWith(folder))
                continue;
            const QString videoBase = shortname(it->mid(videoSlash + 1));
            if (sameText(oneOff, videoBase)) {
                video = *it;
                break;
            }
            if (nameOnly.isEmpty() && sameText(twoOff, videoBase))
                nameOnly = *it;
        }
        if (video.isEmpty())
            video = nameOnly;
    }
    if (!video.isEmpty()) {
        record->setThisMovie(movieFile::create(video));
        record->hasMovie = true;
    }
    const QMutexLocker guard(&stateLock());
    const bool known = std::any_of(subfiles.cbegin(), subfiles.cend(),
                                   [&](const auto &s) { return s->path() == record->path(); });
    if (!known)
        subfiles.append(record);
}
