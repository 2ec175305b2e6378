#include "service/ResultMerge.h"

#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "media/VideoMetadata.h"
#include "service/openSubtitleItem.h"
#include "service/SearchSteps.h"

#include <QHash>
#include <QSet>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Our hashes are 16 digits; anything the service sends is compared in that form.
QString normalHash(const QString &hash)
{
    const QString h = hash.trimmed().toLower();
    return h.isEmpty() ? h : h.rightJustified(16, u'0');
}

int numberOf(const Variant &v)
{
    return v.toString().trimmed().toInt();
}

Dictionary imdbEntryOf(const openSubtitleItem &item)
{
    return Dictionary{{u"movieImdbID"_s, item.IDMovieImdb},   {u"MovieName"_s, item.MovieName},
                      {u"MovieYear"_s, item.MovieYear},       {u"MovieKind"_s, item.MovieKind},
                      {u"SeriesSeason"_s, item.SeriesSeason}, {u"SeriesEpisode"_s, item.SeriesEpisode}};
}

bool nameQueryMatchesFilm(const QString &query, const movieFile &video)
{
    return !query.isEmpty() && sameText(query, SearchSteps::nameQueryOf(video));
}

bool resultMatches(const openSubtitleItem &item, const QString &how, const movieFile &video)
{
    const VideoMetadata &meta = *video.metadata();
    if (how == "moviehash"_L1)
        return !item.MovieHash.isEmpty() && normalHash(item.MovieHash) == normalHash(video.movieHash());
    if (how == "imdbid"_L1)
        return meta.movieImdbID().toLongLong() == item.IDMovieImdb;
    if (how == "tag"_L1)
        return sameText(item.QueryParameters.value(u"tag"_s).toString(), video.movieFileName());
    if (how != "fulltext"_L1)
        return false;

    const QString query = item.QueryParameters.value(u"query"_s).toString();
    if (SearchSteps::isEpisode(meta)) {
        if (!sameText(meta.showname, query) ||
            numberOf(item.QueryParameters.value(u"season"_s)) != meta.season ||
            numberOf(item.QueryParameters.value(u"episode"_s)) != meta.episode)
            return nameQueryMatchesFilm(query, video);
        return meta.movieImdbID().isEmpty() || item.IDMovieImdb <= 0 ||
               meta.movieImdbID().toLongLong() == item.IDMovieImdb;
    }
    return nameQueryMatchesFilm(query, video);
}

} // namespace

// The videos by each key a result is matched on, as positions in the
// list: a reply of thousands of results meets thousands of videos, and
// each result looks only at the videos that can match it. Keys are a superset
// filter; resultMatches() still decides.
struct ResultMerge::VideoIndex {
    using Positions = QList<qsizetype>;

    explicit VideoIndex(const QList<std::shared_ptr<movieFile>> &list)
        : videos(list)
    {
        for (qsizetype at = 0; at < videos.size(); ++at) {
            const movieFile &video = *videos[at];
            byHash[normalHash(video.movieHash())].append(at);
            const auto meta = video.metadata();
            if (!meta)
                continue;
            byImdb[meta->movieImdbID().toLongLong()].append(at);
            byTag[video.movieFileName().toCaseFolded()].append(at);
            byName[SearchSteps::nameQueryOf(video).toCaseFolded()].append(at);
            if (SearchSteps::isEpisode(*meta))
                byEpisode[episodeKey(meta->showname, meta->season, meta->episode)].append(at);
        }
    }

    static QString episodeKey(const QString &show, int season, int episode)
    {
        return u"%1\n%2\n%3"_s.arg(show.toCaseFolded()).arg(season).arg(episode);
    }

    // The videos a result may match, in list order.
    Positions candidates(openSubtitleItem &item, const QString &how) const
    {
        if (how == "moviehash"_L1)
            return item.MovieHash.isEmpty() ? Positions() : byHash.value(normalHash(item.MovieHash));
        if (how == "imdbid"_L1)
            return byImdb.value(item.IDMovieImdb);
        if (how == "tag"_L1)
            return byTag.value(item.QueryParameters.value(u"tag"_s).toString().toCaseFolded());
        if (how != "fulltext"_L1)
            return {};
        lendSeasonAndEpisode(item);
        const QString query = item.QueryParameters.value(u"query"_s).toString();
        Positions found = byName.value(query.toCaseFolded());
        found += byEpisode.value(episodeKey(query, numberOf(item.QueryParameters.value(u"season"_s)),
                                            numberOf(item.QueryParameters.value(u"episode"_s))));
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
        return found;
    }

    // A name result that came back without season or episode takes them from
    // the first video it could be attached to.
    void lendSeasonAndEpisode(openSubtitleItem &item) const
    {
        if (item.QueryParameters.contains(u"season"_s) && item.QueryParameters.contains(u"episode"_s))
            return;
        for (qsizetype at = 0; at < videos.size(); ++at) {
            if (!videos[at]->metadata() || lists(at, item.SubHash))
                continue;
            const VideoMetadata &meta = *videos[at]->metadata();
            if (!item.QueryParameters.contains(u"season"_s))
                item.QueryParameters.insert(u"season"_s, qint32(meta.season));
            if (!item.QueryParameters.contains(u"episode"_s))
                item.QueryParameters.insert(u"episode"_s, qint32(meta.episode));
            return;
        }
    }

    // Whether the video at `at` lists a result with this subtitle hash. Its
    // hashes are gathered the first time it is asked about, so a long reply
    // stays linear.
    bool lists(qsizetype at, const QString &subHash) const
    {
        auto it = listedHashes.find(at);
        if (it == listedHashes.end()) {
            QSet<QString> hashes;
            for (const auto &result : videos[at]->subtitleResults())
                hashes.insert(result->SubHash);
            it = listedHashes.insert(at, hashes);
        }
        return it->contains(subHash);
    }
    void addResult(qsizetype at, const openSubtitleItemPtr &item)
    {
        lists(at, item->SubHash);
        listedHashes[at].insert(item->SubHash);
        videos[at]->addSubtitleResult(item);
    }

    const QList<std::shared_ptr<movieFile>> videos; // shared, not copied
    mutable QHash<qsizetype, QSet<QString>> listedHashes;
    QHash<QString, Positions> byHash;
    QHash<qlonglong, Positions> byImdb;
    QHash<QString, Positions> byTag;
    QHash<QString, Positions> byName;
    QHash<QString, Positions> byEpisode;
};

ResultMerge::ResultMerge(const QList<std::shared_ptr<movieFile>> &videos)
    : m_index(std::make_unique<VideoIndex>(videos))
{
}

ResultMerge::~ResultMerge() = default;

void ResultMerge::attachAll(const QList<openSubtitleItemPtr> &items)
{
    for (const auto &item : items)
        attach(item);
}

void ResultMerge::attach(const openSubtitleItemPtr &item)
{
    VideoIndex &index = *m_index;
    const QString how = item->MatchedBy.toLower();
    for (const qsizetype at : index.candidates(*item, how)) {
        const auto &video = index.videos[at];
        if (!video->metadata())
            continue;
        if (index.lists(at, item->SubHash))
            continue;
        if (!resultMatches(*item, how, *video))
            continue;

        for (const auto &local : video->subtitles()) {
            if (local->subHash() == item->SubHash)
                item->localHave = true;
        }
        item->MovieHash = video->movieHash();
        item->movieFile = video;
        item->setMovieFolderItemPath(video->path());
        index.addResult(at, item);

        video->addImdb(imdbEntryOf(*item));
    }
}

void ResultMerge::storeImdbCandidates(const Dictionary &byHash)
{
    for (const auto &[hash, candidates] : byHash) {
        if (!isArray(candidates))
            continue;
        const VariantList list = candidates.toList();
        double mostSeen = 0;
        Dictionary chosen;
        for (const Variant &c : list) {
            const Dictionary candidate = c.value<Dictionary>();
            const double seen = candidate.value(u"seenCount"_s).toString().toDouble();
            if (seen > mostSeen) {
                mostSeen = seen;
                chosen = candidate;
            }
        }
        if (!chosen.isEmpty())
            storeImdbCandidate(chosen, list);
    }
}

void ResultMerge::storeImdbCandidate(const Dictionary &candidate, const VariantList &candidates)
{
    const VideoIndex &index = *m_index;
    const QString hash = normalHash(candidate.value(u"MovieHash"_s).toString());
    if (hash.isEmpty())
        return;
    QList<Dictionary> all;
    for (const Variant &c : candidates)
        all.append(c.value<Dictionary>());
    for (const qsizetype at : index.byHash.value(hash)) {
        const auto &video = index.videos[at];
        if (!video->metadata())
            continue;
        video->metadata()->setIdentity(
            {candidate.value(u"movieImdbID"_s).toString(), candidate.value(u"MovieName"_s).toString(),
             numberOf(candidate.value(u"MovieYear"_s)), candidate.value(u"MovieKind"_s).toString(),
             numberOf(candidate.value(u"SeriesSeason"_s)), numberOf(candidate.value(u"SeriesEpisode"_s))});
        video->setImdbs(all);
    }
}

void ResultMerge::markLocalCopies(const QList<std::shared_ptr<movieFile>> &videos)
{
    for (const auto &video : videos) {
        const auto locals = video->subtitles();
        if (locals.isEmpty())
            continue;
        const QString localHash = locals.first()->subHash();
        for (const auto &result : video->subtitleResults()) {
            if (localHash == result->SubHash)
                result->localHave = true;
        }
    }
}
