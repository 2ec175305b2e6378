#pragma once

// Fixtures of the REST tests, kept out of the test sources: moc does not
// read raw string literals with backslashes in them.

#include <QByteArray>

namespace RestFixtures {

// Two films (one found by hash, one of the same name found only by name) and
// an episode, for the REST stand-in; anonymous quota two downloads.
inline const QByteArray kCatalog = R"({
  "users": {"alice": "secret"},
  "quota": {"anonymous": 2, "user": 20},
  "rate_limit": 0,
  "movies": [
    {"hash": "5b8f8f4e41ccb21e", "bytesize": 1000, "imdbid": "0770828", "name": "Man of Steel",
     "year": "2013", "subtitles": [
        {"id": 1950000001, "lang": "eng", "file": "Man.of.Steel.en.srt", "rating": "7.5", "downloads": 900,
         "content": "1\n00:00:01,000 --> 00:00:02,000\nHello\n"},
        {"id": 1950000002, "lang": "pob", "file": "Man.of.Steel.pb.srt"}]},
    {"imdbid": "3128398", "name": "League of Assassins", "show": "Arrow", "kind": "episode",
     "season": 2, "episode": 5, "subtitles": [{"id": 1950000003, "lang": "eng", "file": "Arrow.S02E05.srt"}]},
    {"name": "Man of Steel", "subtitles": [{"id": 1950000004, "lang": "eng", "file": "steel.by.name.srt"}]}
  ]})";

// The recorded episode item of a search reply (language as the database writes it).
inline const QByteArray kRecordedEpisodeItem = R"({"id":"3178800","type":"subtitle","attributes":{
          "subtitle_id":"3178800","language":"pt-BR","download_count":212472,"ratings":10.0,
          "hearing_impaired":false,"upload_date":"2013-11-07T04:48:10Z","release":"Arrow.S02E05.HDTV.x264-LOL",
          "comments":null,"uploader":{"uploader_id":null,"name":"Anonymous","rank":"anonymous"},
          "feature_details":{"feature_id":348318,"feature_type":"Episode","year":2013,"title":"League of Assassins",
            "movie_name":"Arrow - S02E05  League of Assassins","imdb_id":3128398,"season_number":2,"episode_number":5},
          "url":"https://www.opensubtitles.com/en/subtitles/legacy/5259348",
          "files":[{"file_id":3249003,"cd_number":1,"file_name":"Arrow.S02E05.HDTV.x264-LOL"}],
          "moviehash_match":false}})";

} // namespace RestFixtures
