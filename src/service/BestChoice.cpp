#include "service/BestChoice.h"

#include "prefs/myPrefs.h"

#include <algorithm>
#include <optional>

namespace BestChoice {

namespace {

bool inLanguage(const openSubtitleItem &result, const QString &language)
{
    return result.ISO639.compare(language, Qt::CaseInsensitive) == 0;
}

// Whether the result may be chosen at all, hearing-impaired wishes aside.
bool acceptable(const openSubtitleItem &result, const Wishes &wishes)
{
    return !result.SubBad && !result.SubForeignPartsOnly &&
           !(wishes.skipMachineTranslated && result.SubAutoTranslation);
}

// The hearing-impaired flag a candidate must have, if any.
std::optional<bool> hearingImpairedWanted(const QList<openSubtitleItemPtr> &results, const QString &language,
                                          const Wishes &wishes)
{
    if (wishes.hearingImpaired == myPrefs::kHearingOnly)
        return true;
    if (wishes.hearingImpaired != myPrefs::kHearingAvoid)
        return std::nullopt;
    const bool plainOneExists = std::any_of(results.cbegin(), results.cend(), [&](const auto &r) {
        return inLanguage(*r, language) && acceptable(*r, wishes) && !r->SubHearingImpaired;
    });
    return plainOneExists ? std::optional<bool>(false) : std::nullopt;
}

// Scores each candidate of `language` in list order; the best one, or null.
const openSubtitleItem *bestOf(const QList<openSubtitleItemPtr> &results, const QString &language,
                               const Wishes &wishes)
{
    const std::optional<bool> hearingImpaired = hearingImpairedWanted(results, language, wishes);
    const openSubtitleItem blank; // what the first candidate is measured against
    const openSubtitleItem *best = nullptr;
    for (const auto &candidate : results) {
        if (!inLanguage(*candidate, language) || !acceptable(*candidate, wishes))
            continue;
        if (hearingImpaired && candidate->SubHearingImpaired != *hearingImpaired)
            continue;
        candidate->myBest = false;
        candidate->myRating = 0;
        if (candidate->SubRating == 0)
            candidate->SubRating = 5.0;
        if (candidate->SubRating == 10)
            candidate->SubRating = 7.0;

        const openSubtitleItem &bar = best ? *best : blank;
        int score = candidate->metaMatch ? 1 : -3;
        if (bar.SubRating < candidate->SubRating)
            score += 1;
        else if (bar.SubRating == candidate->SubRating && bar.SubDownloadsCnt < candidate->SubDownloadsCnt)
            score += 1;
        candidate->myRating = score;

        if (bar.myRating < score ||
            (bar.myRating == score && bar.SubDownloadsCnt < candidate->SubDownloadsCnt &&
             candidate->metaMatch && !candidate->SubBad))
            best = candidate.get();
    }
    return best;
}

} // namespace

void mark(const QList<openSubtitleItemPtr> &results, const QStringList &languages, const Wishes &wishes)
{
    for (const QString &language : languages) {
        const openSubtitleItem *best = bestOf(results, language, wishes);
        if (!best)
            continue; // no acceptable subtitle in this language
        for (const auto &result : results) {
            if (result->SubHash == best->SubHash) {
                result->myBest = true;
                result->isChecked = true;
                break;
            }
        }
    }
}

} // namespace BestChoice
