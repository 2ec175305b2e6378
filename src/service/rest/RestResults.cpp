#include "service/rest/RestResults.h"

#include "common/LangModule.h"
#include "service/rest/RestJson.h"
#include "service/rest/RestLanguages.h"

#include <QDateTime>
#include <QJsonArray>

using namespace Qt::Literals::StringLiterals;

namespace RestResults {

namespace {

constexpr qint64 kIntMax = std::numeric_limits<int>::max();

Dictionary echoOf(const RestSearch &search, const QString &language)
{
    Dictionary echo{{u"sublanguageid"_s, LangModule::getLangThree(language)}};
    if (!search.movieHash.isEmpty())
        echo.insert(u"moviehash"_s, search.movieHash);
    if (!search.imdbId.isEmpty())
        echo.insert(u"imdbid"_s, search.imdbId);
    if (!search.query.isEmpty()) {
        echo.insert(u"query"_s, search.query);
        if (search.season > 0 || search.episode > 0) {
            echo.insert(u"season"_s, search.season);
            echo.insert(u"episode"_s, search.episode);
        }
    }
    return echo;
}

QString matchedBy(const QJsonObject &attributes, const RestSearch &search)
{
    if (!search.movieHash.isEmpty() && RestJson::flag(attributes.value("moviehash_match"_L1)))
        return u"moviehash"_s;
    if (!search.imdbId.isEmpty())
        return u"imdbid"_s;
    if (!search.query.isEmpty())
        return u"fulltext"_s;
    return QString(); // a hash search that did not match the hash: not ours
}

QString withSrt(QString name)
{
    if (!name.endsWith(".srt"_L1, Qt::CaseInsensitive))
        name += ".srt"_L1;
    return name;
}

} // namespace

openSubtitleItemPtr fromItem(const QJsonObject &item, const RestSearch &search)
{
    using namespace RestJson;
    const QJsonObject a = object(item.value("attributes"_L1));
    const QString language = RestLanguages::fromRest(text(a.value("language"_L1)));
    if (language.isEmpty() || !search.languages.contains(language, Qt::CaseInsensitive))
        return nullptr;
    const QJsonArray files = array(a.value("files"_L1));
    if (files.size() != 1)
        return nullptr;
    const QJsonObject file = object(files.at(0));
    const qint64 fileId = integer(file.value("file_id"_L1), 1, kIntMax, 0);
    const QString how = matchedBy(a, search);
    if (fileId == 0 || how.isEmpty())
        return nullptr;

    const QJsonObject feature = object(a.value("feature_details"_L1));
    const QJsonObject uploader = object(a.value("uploader"_L1));
    QString fileName = text(file.value("file_name"_L1));
    if (fileName.trimmed().isEmpty())
        fileName = text(a.value("release"_L1));
    QString movieName = text(feature.value("movie_name"_L1));
    if (movieName.isEmpty())
        movieName = text(feature.value("title"_L1));
    const qint64 subtitleId =
        integer(a.value("subtitle_id"_L1), 0, kIntMax, integer(item.value("id"_L1), 0, kIntMax));

    // Through the record's own reader, so that names and codes are cleaned
    // exactly as XML-RPC entries are.
    const Dictionary entry{
        {u"MatchedBy"_s, how},
        {u"MovieHash"_s, how == "moviehash"_L1 ? search.movieHash : QString()},
        {u"QueryParameters"_s, QVariant::fromValue(echoOf(search, language))},
        {u"IDSubtitleFile"_s, fileId},
        {u"IDSubtitle"_s, subtitleId},
        {u"IDMovie"_s, integer(feature.value("feature_id"_L1), 0, kIntMax)},
        {u"IDMovieImdb"_s, integer(feature.value("imdb_id"_L1), 0, kIntMax)},
        {u"SubHash"_s, QString(u"rest-"_s + QString::number(fileId))},
        {u"SubFileName"_s, withSrt(fileName.trimmed().isEmpty() ? u"subtitle"_s : fileName)},
        {u"SubFormat"_s, u"srt"_s},
        {u"SubDownloadsCnt"_s, integer(a.value("download_count"_L1), 0, kIntMax)},
        {u"SubRating"_s, number(a.value("ratings"_L1), 0, 10)},
        {u"SubHearingImpaired"_s, flag(a.value("hearing_impaired"_L1))},
        // The same flags as the XML-RPC entries carry, so both interfaces choose alike.
        {u"SubAutoTranslation"_s,
         flag(a.value("machine_translated"_L1)) || flag(a.value("ai_translated"_L1))},
        {u"SubForeignPartsOnly"_s, flag(a.value("foreign_parts_only"_L1))},
        {u"ISO639"_s, language},
        {u"SubLanguageID"_s, LangModule::getLangThree(language)},
        {u"LanguageName"_s, LangModule::getLangFull(language)},
        {u"MovieName"_s, movieName},
        {u"MovieYear"_s, integer(feature.value("year"_L1), 0, 9999)},
        {u"MovieKind"_s, text(feature.value("feature_type"_L1)).toLower()},
        {u"SeriesSeason"_s, integer(feature.value("season_number"_L1), 0, 100000)},
        {u"SeriesEpisode"_s, integer(feature.value("episode_number"_L1), 0, 100000)},
        {u"MovieReleaseName"_s, text(a.value("release"_L1))},
        {u"SubtitlesLink"_s, text(a.value("url"_L1))},
        {u"UserNickName"_s, text(uploader.value("name"_L1))},
        {u"userRank"_s, text(uploader.value("rank"_L1))},
        {u"UserID"_s, integer(uploader.value("uploader_id"_L1), 0, kIntMax)},
        {u"SubAuthorComment"_s, text(a.value("comments"_L1))},
        {u"SubSumCD"_s, 1},
        {u"SubActualCD"_s, 1},
    };
    auto record = std::make_shared<openSubtitleItem>(entry);
    const QDateTime added = QDateTime::fromString(text(a.value("upload_date"_L1)), Qt::ISODate);
    if (added.isValid())
        record->SubAddDate = added;
    return record;
}

QList<openSubtitleItemPtr> fromSearchReply(const QJsonObject &reply, const RestSearch &search)
{
    QList<openSubtitleItemPtr> records;
    for (const QJsonValue &item : RestJson::array(reply.value("data"_L1))) {
        if (auto record = fromItem(RestJson::object(item), search))
            records.append(record);
    }
    QStringList hashMatched;
    for (const auto &r : std::as_const(records)) {
        if (r->MatchedBy == "moviehash"_L1)
            hashMatched.append(r->ISO639);
    }
    records.removeIf([&](const openSubtitleItemPtr &r) {
        return r->MatchedBy != "moviehash"_L1 && hashMatched.contains(r->ISO639);
    });
    return records;
}

} // namespace RestResults
