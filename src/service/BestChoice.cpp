#include "service/BestChoice.h"

namespace BestChoice {

namespace {

// Scores each candidate of `language` in list order; the best one, or null.
const openSubtitleItem *bestOf(const QList<openSubtitleItemPtr> &results, const QString &language)
{
    const openSubtitleItem blank; // what the first candidate is measured against
    const openSubtitleItem *best = nullptr;
    for (const auto &candidate : results) {
        if (candidate->ISO639.compare(language, Qt::CaseInsensitive) != 0 || candidate->SubBad)
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

void mark(const QList<openSubtitleItemPtr> &results, const QStringList &languages)
{
    for (const QString &language : languages) {
        const openSubtitleItem *best = bestOf(results, language);
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
