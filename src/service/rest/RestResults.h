#pragma once

#include "service/openSubtitleItem.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// What one search asks the REST API. Empty fields are not sent.
struct RestSearch {
    QString movieHash; // the video's hash, 16 hex digits
    QString imdbId;    // an IMDB number ("tt" and leading zeros are dropped)
    QString query;     // a name: the show for an episode, the file's base name for a film
    int season = 0;    // with `query`, for an episode
    int episode = 0;
    QStringList languages; // Lumbra's two-letter codes
};

// The reply of GET /subtitles turned into result records that the merge,
// the best choice, the lists and the download treat as they treat XML-RPC
// results. How the fields map:
//
// - MatchedBy: "moviehash" when the item says moviehash_match true; otherwise
//   how the search asked: "imdbid" when it sent an IMDB id, "fulltext" for a
//   name. QueryParameters echoes the search in the XML-RPC form ("moviehash",
//   "imdbid", "query", "season", "episode", "sublanguageid"), which is what
//   the merge compares with the video.
// - IDSubtitleFile: files[0].file_id, the id POST /download takes.
//   IDSubtitle: subtitle_id (the item's "id" when absent). IDMovie:
//   feature_id. IDMovieImdb: feature_details.imdb_id.
// - SubHash: "rest-" and the file id. The API gives no hash of the file's
//   content; the merge and the best choice need a key that tells subtitles
//   apart, and no local subtitle is ever mistaken for a REST result.
// - SubFileName: files[0].file_name (sent without extension) with ".srt"
//   added, as downloads are asked for in SubRip; release when there is no
//   file name. SubFormat: "srt".
// - SubDownloadsCnt: download_count. SubRating: ratings (0 to 10, 0 for no
//   votes, the XML-RPC meaning). SubAddDate: upload_date. SubBad: false (the
//   API flags no bad subtitles). SubHearingImpaired: hearing_impaired.
// - ISO639: our two-letter code of `language` ("pt-BR" gives "pb");
//   SubLanguageID: its three-letter code; LanguageName: its display name.
// - MovieName: feature_details.movie_name (title when absent); MovieYear,
//   MovieKind ("movie" or "episode"), SeriesSeason, SeriesEpisode,
//   MovieReleaseName (release), SubtitlesLink (url), UserNickName,
//   userRank, UserID (uploader), SubAuthorComment (comments).
//
// Items are dropped when their language is not one Lumbra offers or was not
// asked for, when they have no file id, or when they come in more than one
// file (Lumbra places one subtitle file per video). When an asked language
// has a hash match, the name matches in that language are dropped, as the
// XML-RPC search never asks by name for a video its hash found.
namespace RestResults {

QList<openSubtitleItemPtr> fromSearchReply(const QJsonObject &reply, const RestSearch &search);

// One item of a reply, or null when it cannot be used.
openSubtitleItemPtr fromItem(const QJsonObject &item, const RestSearch &search);

} // namespace RestResults
