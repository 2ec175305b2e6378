// The conversation half of OSClient: the search run, the path intake, the
// replies that become result records, and the best choice. The transport
// (posting, waiting, reply parsing, errors) is XmlRpcTransport.

#include "service/OSClient.h"

#include "common/LangModule.h"
#include "common/RunTogether.h"
#include "media/FileNames.h"
#include "media/FileTypes.h"
#include "media/MethodProfiler.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "prefs/myPrefs.h"
#include "service/BestChoice.h"
#include "service/openSubtitleItem.h"
#include "service/ResultMerge.h"
#include "service/SearchSteps.h"

#include <QCoreApplication>
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

// --- The search run ---------------------------------------------------------

bool OSClient::SearchSubs()
{
    const myPrefs::Values prefs = myPrefs::values();
    QList<std::shared_ptr<movieFile>> videos;
    {
        const QMutexLocker guard(&stateLock());
        searchLangs = !languageOverride.isEmpty()    ? languageOverride
                      : prefs.languageList.isEmpty() ? QStringList{u"en"_s}
                                                     : prefs.languageList;
        refreshSubs = prefs.refreshSubs;
        osUsername = prefs.OSUsername;
        osPassword = prefs.OSPassword;
        osAgent = u"Lumbra %1.%2"_s.arg(QCoreApplication::applicationVersion().section(u'.', 0, 0).toInt())
                      .arg(QCoreApplication::applicationVersion().section(u'.', 1, 1).toInt());
        videos = movieFiles;
    }
    setRPCServer(prefs.OSAPIServer);
    clearStatus();
    keepRunFailure({});
    // Hashing reads the disk: here, outside the lock, never while a reply is
    // applied. Jobs hash before they search; this catches the rest.
    for (const auto &video : videos)
        hashForSearch(*video);

    {
        const MethodProfiler trace(u"Getting Server Info"_s);
        if (!sendXMLReq(u"ServerInfo"_s, {}))
            return false;
    }
    {
        const MethodProfiler trace(u"Logging in"_s);
        if (!sendXMLReq(u"LogIn"_s, {}))
            return false;
    }
    bool hashSearched;
    {
        const MethodProfiler trace(u"Searching Subtitles remotely"_s);
        hashSearched = sendXMLReq(u"SearchSubtitles"_s, u"hash"_s);
    }
    {
        const MethodProfiler trace(u"Finding Best Subs"_s);
        const QMutexLocker guard(&stateLock());
        for (const auto &video : std::as_const(movieFiles)) {
            const auto results = video->subtitleResults();
            if (!results.isEmpty())
                video->setSubtitleResults(FindBestSub(results));
        }
    }
    if (hashSearched) {
        const MethodProfiler trace(u"Finding IMDBIDs of unhashed videos"_s);
        if (!sendXMLReq(u"CheckMovieHash2"_s, {}) || !sendXMLReq(u"SearchSubtitles"_s, u"imdbid"_s))
            return false;
    }
    {
        const MethodProfiler trace(u"Finding Subs by Tag"_s);
        if (!sendXMLReq(u"SearchSubtitles"_s, u"tag"_s))
            return false;
    }
    bool nameSearched;
    {
        const MethodProfiler trace(u"Finding Subs by Name"_s);
        nameSearched = sendXMLReq(u"SearchSubtitles"_s, u"name"_s);
    }
    {
        const MethodProfiler trace(u"Processing subtitle results"_s);
        markLocalCopies();
    }
    return nameSearched;
}

void OSClient::markLocalCopies()
{
    const QMutexLocker guard(&stateLock());
    ResultMerge::markLocalCopies(movieFiles);
}

bool OSClient::sendXMLReq(const QString &method, const QString &kind)
{
    if (method == "ServerInfo"_L1) {
        appendStatus(u"VERIFY"_s);
        return SendReq(XMLRPC::Message(method));
    }
    if (method == "LogIn"_L1) {
        XMLRPC::Message message(method);
        {
            const QMutexLocker guard(&stateLock());
            message.AddParam_String(osUsername);
            message.AddParam_String(osPassword);
            message.AddParam_String(u"en"_s);
            message.AddParam_String(osAgent);
        }
        appendStatus(u"LOGIN:SENT"_s);
        return SendReq(message);
    }
    if (method == "CheckMovieHash2"_L1) {
        XMLRPC::Message message(method);
        {
            const QMutexLocker guard(&stateLock());
            const VariantList hashes = hashesLackingResults();
            if (hashes.isEmpty())
                return true; // every video has its results: nothing to ask
            message.AddParam_String(osToken);
            message.AddParam_Array(hashes);
        }
        appendStatus(u"SEARCH:HASH2IMDB"_s);
        return SendReq(message);
    }
    if (method == "SearchSubtitles"_L1)
        return searchByKind(kind);
    return true;
}

bool OSClient::searchByKind(const QString &kind)
{
    static const QHash<QString, QString> journalEntry = {{u"hash"_s, u"SEARCH:HASH"_s},
                                                         {u"imdbid"_s, u"SEARCH:IMDBID"_s},
                                                         {u"tag"_s, u"SEARCH:TAGS"_s},
                                                         {u"name"_s, u"SEARCH:NAME"_s}};
    if (!journalEntry.contains(kind))
        return true;

    bool allSent = true;
    QStringList languages;
    {
        const QMutexLocker guard(&stateLock());
        languages = searchLangs;
    }
    for (const QString &language : std::as_const(languages)) {
        XMLRPC::Message message(u"SearchSubtitles"_s);
        {
            const QMutexLocker guard(&stateLock());
            const QString lang3 = LangModule::getLangThree(language);
            const auto videos = SearchSteps::videosToSearch(movieFiles, lang3, refreshSubs);
            if (videos.isEmpty())
                continue;
            VariantList queries;
            for (const auto &video : videos) {
                if (kind == "imdbid"_L1 && video->metadata()->movieImdbID().isEmpty())
                    continue;
                queries.append(QVariant::fromValue(SearchSteps::queryFor(*video, kind, lang3)));
            }
            if (queries.isEmpty())
                continue; // no video has an IMDB id: nothing to ask
            message.AddParam_String(osToken);
            message.AddParam_Array(queries);
            message.AddParam_Dictionary(Dictionary{{u"limit"_s, 10}});
        }
        appendStatus(journalEntry.value(kind));
        if (!SendReq(message))
            allSent = false;
    }
    return allSent;
}

QList<std::shared_ptr<movieFile>> OSClient::videosToSearch(const QString &lang3) const
{
    return SearchSteps::videosToSearch(movieFiles, lang3, refreshSubs);
}

VariantList OSClient::hashesLackingResults() const
{
    return SearchSteps::hashesLackingResults(movieFiles, searchLangs, refreshSubs);
}

// --- Replies ------------------------------------------------------------------

void OSClient::XMLResponse(const QString &method, const Variant &value)
{
    if (method == "LogIn"_L1) {
        if (isDictionary(value)) {
            const Dictionary reply = value.value<Dictionary>();
            // "401 Unauthorized" and the like: searching without a session
            // would only meet refusals, and the account is the user's to fix.
            const QString status = reply.value(u"status"_s).toString().trimmed();
            if (!status.isEmpty() && !status.startsWith("200"_L1)) {
                const int code = status.section(u' ', 0, 0).toInt();
                m_transport->fail(code > 0 ? code : 401, status);
                return;
            }
            if (reply.contains(u"token"_s)) {
                const QMutexLocker guard(&stateLock());
                osToken = reply.value(u"token"_s).toString();
            }
        }
        appendStatus(u"LOGIN:ID"_s);
        return;
    }
    if (!isDictionary(value))
        return;
    const Variant data = value.value<Dictionary>().value(u"data"_s);
    if (method == "SearchSubtitles"_L1) {
        if (isArray(data))
            attachResults(data.toList());
    } else if (method == "CheckMovieHash2"_L1) {
        if (isDictionary(data))
            storeImdbCandidates(data.value<Dictionary>());
        else if (isArray(data))
            attachResults(data.toList());
    }
}

void OSClient::attachResults(const VariantList &entries)
{
    QList<openSubtitleItemPtr> items;
    for (const Variant &entry : entries) {
        if (isDictionary(entry))
            items.append(std::make_shared<openSubtitleItem>(entry.value<Dictionary>()));
    }
    attachItems(items);
}

void OSClient::attachItems(const ResultList &items)
{
    const QMutexLocker guard(&stateLock());
    ResultMerge(movieFiles).attachAll(items);
}

void OSClient::storeImdbCandidates(const Dictionary &byHash)
{
    const QMutexLocker guard(&stateLock());
    ResultMerge(movieFiles).storeImdbCandidates(byHash);
}

// --- Merging and the best choice ----------------------------------------------

void OSClient::addThisResult(const openSubtitleItemPtr &item)
{
    ResultMerge(movieFiles).attach(item);
}

void OSClient::addThisResult(const Dictionary &candidate, const VariantList &candidates)
{
    ResultMerge(movieFiles).storeImdbCandidate(candidate, candidates);
}

OSClient::ResultList OSClient::FindBestSub(const ResultList &results) const
{
    BestChoice::mark(results, searchLangs, BestChoice::Wishes::fromPreferences());
    return results;
}

// --- Path intake --------------------------------------------------------------

void OSClient::hashForSearch(movieFile &video)
{
    video.computeMovieHash();
    for (const auto &local : video.subtitles())
        local->computeSubHash();
}

void OSClient::processFiles(const QStringList &newPaths, const std::function<bool()> &stop)
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
    // at the preferences serves the whole batch.
    const QStringList languages = myPrefs::languageList();
    // A library's worth of videos is shared out among the cores.
    const int helpers = queuedVideos > kVideosPerBatch * 4 ? RunTogether::spareCores() : 0;
    RunTogether::run(helpers, [&] { buildQueuedVideoRecords(languages, stop); });
}

void OSClient::takeInQueuedSubtitles(const std::function<bool()> &stop)
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

void OSClient::buildQueuedVideoRecords(const QStringList &languages, const std::function<bool()> &stop)
{
    const bool countEmbedded = myPrefs::EmbeddedSubsCount();
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
            records.append(movieFile::create(videos.at(i), subtitles.at(i), languages, countEmbedded));
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

bool OSClient::intakeBusy() const
{
    const QMutexLocker guard(&stateLock());
    return m_intakeBusy > 0;
}

void OSClient::addFile(const QString &path)
{
    addFile(path, myPrefs::languageList());
}

void OSClient::addFile(const QString &path, const QStringList &languages)
{
    QString queueMode;
    {
        const QMutexLocker guard(&stateLock());
        queueMode = mode;
    }
    if (queueMode == "PutSubs"_L1)
        addSubtitleFile(path);
    else
        addMovieFile(path, languages);
}

void OSClient::addMovieFile(const QString &path, const QStringList &languages)
{
    const QStringList beside = subtitlesBeside({path}).constFirst();
    // Reads the disk: outside the lock.
    auto record = movieFile::create(path, beside, languages, myPrefs::EmbeddedSubsCount());
    const QMutexLocker guard(&stateLock());
    movieFiles.append(record);
}

QList<QStringList> OSClient::subtitlesBeside(const QStringList &videos) const
{
    const std::shared_lock guard(m_indexLock);
    IndexCursors from{m_videoStems.cursor(), m_subtitlesByPath.cursor()};
    QList<QStringList> beside;
    beside.reserve(videos.size());
    for (const QString &video : videos)
        beside.append(subtitlesBeside(video, from));
    return beside;
}

QStringList OSClient::subtitlesBeside(const QString &path, IndexCursors &from) const
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

void OSClient::addSubtitleFile(const QString &path)
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
