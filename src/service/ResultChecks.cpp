#include "service/ResultChecks.h"

#include "media/movieFile.h"
#include "service/openSubtitleItem.h"

namespace ResultChecks {

void toggle(const movieFile &video, openSubtitleItem &result)
{
    if (result.isChecked) {
        result.isChecked = false;
        return;
    }
    const auto results = video.subtitleResults();
    const openSubtitleItem *first = nullptr;
    for (const auto &r : results) {
        if (r && r->SubHash.compare(result.SubHash, Qt::CaseInsensitive) == 0) {
            first = r.get();
            break;
        }
    }
    // A result this video does not list changes nothing: with no language to
    // go by, unchecking would hit the results that have no language at all.
    if (!first)
        return;
    const QString language = first->ISO639;
    for (const auto &r : results) {
        if (!r || r->ISO639.compare(language, Qt::CaseInsensitive) != 0)
            continue;
        if (r->SubHash.compare(result.SubHash, Qt::CaseInsensitive) != 0)
            r->isChecked = false;
        else
            result.isChecked = true;
    }
}

void uncheckAll(const movieFile &video)
{
    for (const auto &r : video.subtitleResults()) {
        if (r)
            r->isChecked = false;
    }
}

} // namespace ResultChecks
