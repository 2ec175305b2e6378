#pragma once

#include "common/Types.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class movieFile;
class VideoMetadata;

// What each step of a search run asks the service about: which videos a
// search in a language includes, and the query sent for a video. Pure
// functions over the records; callers hold the owner's state lock. The
// run's settings (the languages, whether to refresh) come in as values.
namespace SearchSteps {

// A video that the name search asks about as an episode (show, season,
// episode) rather than by its name.
bool isEpisode(const VideoMetadata &meta);
// The name a name search sends for a film, and the name its results are
// matched against: the leaf name without its last extension.
QString nameQueryOf(const movieFile &video);

// Whether a subtitle beside the video, or a counted text subtitle inside it,
// is in `lang3` (three-letter code).
bool hasLocalSubtitleIn(const movieFile &video, const QString &lang3);

// The listed, checked videos a search in `lang3` asks about: no subtitle in
// it beside them (unless `refreshSubs`) and no hash match in it yet.
QList<std::shared_ptr<movieFile>> videosToSearch(const QList<std::shared_ptr<movieFile>> &videos,
                                                 const QString &lang3, bool refreshSubs);

// The hashes of the listed, checked videos that still lack a result in one
// of `languages` (two-letter codes) without a subtitle in it beside them
// (unless `refreshSubs`); each hash once, in the order first met.
VariantList hashesLackingResults(const QList<std::shared_ptr<movieFile>> &videos,
                                 const QStringList &languages, bool refreshSubs);

} // namespace SearchSteps
