#pragma once

#include "service/openSubtitleItem.h"

#include <QList>
#include <QStringList>

// The choice of the subtitle checked for download automatically: per
// language, the candidates (results in that language that are not flagged
// bad) are scored in list order against the best so far: +1 when the
// subtitle's own episode data agrees with the video's (metaMatch), -3 when
// not; +1 more when it is rated higher than the best, or rated the same and
// downloaded more. The highest score wins; a tie goes to the one downloaded
// more if it agrees with the video. An unrated subtitle counts as 5, a 10 as
// 7 (the changed ratings stay on the records). The winner gets `myBest` and
// `isChecked`; nothing is ever unchecked. Without a candidate that agrees
// with the video a language gets no choice.
//
// Some results never take part: forced (foreign-parts-only) subtitles, which
// are no full subtitle; machine- or AI-translated ones while the user skips
// them; and by the user's hearing-impaired wish, hearing-impaired ones
// ("avoid", while a candidate that is not one exists in the language) or
// all others ("only"). They stay in the list, unchecked.
namespace BestChoice {

// What the user wants of the automatic choice.
struct Wishes {
    QString hearingImpaired = QStringLiteral("any"); // "any", "avoid" or "only"
    bool skipMachineTranslated = true;
};

// Marks the best result of each language (two-letter codes) in `results`.
void mark(const QList<openSubtitleItemPtr> &results, const QStringList &languages, const Wishes &wishes = {});

} // namespace BestChoice
