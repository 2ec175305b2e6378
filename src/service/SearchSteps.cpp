#include "service/SearchSteps.h"

#include "common/LangModule.h"
#include "media/FileNames.h"
#include "media/movieFile.h"
#include "media/subtitleFile.h"
#include "media/VideoMetadata.h"
#include "service/openSubtitleItem.h"

#include <QSet>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace SearchSteps {
namespace {

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Whether the video has a result in `lang3`; with `how`, only one matched so.
bool hasResultIn(const movieFile &video, const QString &lang3, const QString &how = {})
{
    const auto results = video.subtitleResults();
    return std::any_of(results.cbegin(), results.cend(), [&](const auto &r) {
        return sameText(LangModule::getLangThree(r->ISO639), lang3) &&
               (how.isEmpty() || sameText(r->MatchedBy, how));
    });
}

} // namespace

bool isEpisode(const VideoMetadata &meta)
{
    return meta.isTVShow && sameText(meta.showtype.left(2), u"EP"_s);
}

QString nameQueryOf(const movieFile &video)
{
    return shortname(video.movieFileName());
}

bool hasLocalSubtitleIn(const movieFile &video, const QString &lang3)
{
    // A text subtitle inside the video serves like one beside it.
    if (video.carriesSubtitleIn(lang3))
        return true;
    const auto locals = video.subtitles();
    return std::any_of(locals.cbegin(), locals.cend(), [&](const auto &sub) {
        return sameText(LangModule::getLangThree(sub->ISO639()), lang3);
    });
}

QList<std::shared_ptr<movieFile>> videosToSearch(const QList<std::shared_ptr<movieFile>> &videos,
                                                 const QString &lang3, bool refreshSubs)
{
    QList<std::shared_ptr<movieFile>> taken;
    for (const auto &video : videos) {
        if (!video->addedToList || !video->isChecked || !video->metadata())
            continue;
        if (!refreshSubs && hasLocalSubtitleIn(*video, lang3))
            continue;
        if (!hasResultIn(*video, lang3, u"moviehash"_s))
            taken.append(video);
    }
    return taken;
}

VariantList hashesLackingResults(const QList<std::shared_ptr<movieFile>> &videos,
                                 const QStringList &languages, bool refreshSubs)
{
    VariantList hashes;
    QSet<QString> listed;
    for (const QString &language : languages) {
        const QString lang3 = LangModule::getLangThree(language);
        for (const auto &video : videos) {
            if (!video->addedToList || !video->isChecked)
                continue;
            const QString hash = video->movieHash();
            if (listed.contains(hash))
                continue;
            if (!refreshSubs && hasLocalSubtitleIn(*video, lang3))
                continue;
            if (hasResultIn(*video, lang3))
                continue;
            listed.insert(hash);
            hashes.append(hash);
        }
    }
    return hashes;
}

} // namespace SearchSteps
