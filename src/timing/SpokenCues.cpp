#include "timing/SpokenCues.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

QString withoutFormatting(const QString &line)
{
    static const QRegularExpression tags(u"<[^>]*>|\\{[^}]*\\}"_s);
    return QString(line).remove(tags).trimmed();
}

bool isMusicLine(const QString &text)
{
    return text.startsWith(u'♪') || text.startsWith(u'♫') || text.startsWith(u'#') || text.endsWith(u'♪') ||
           text.endsWith(u'♫');
}

// A line that is one bracketed note: "[laughs]", "(MUSIC PLAYING)".
bool isBracketedNote(const QString &text)
{
    static const QRegularExpression note(u"^(\\[[^\\]]*\\]|\\([^)]*\\))$"_s);
    return note.match(text).hasMatch();
}

} // namespace

bool SpokenCues::isSoundTag(const QStringList &lines)
{
    for (const QString &line : lines) {
        const QString text = withoutFormatting(line);
        if (!text.isEmpty() && !isMusicLine(text) && !isBracketedNote(text))
            return false;
    }
    return true;
}

std::vector<CueSpan> SpokenCues::spans(const QList<subLine> &cues)
{
    std::vector<CueSpan> spans;
    for (const subLine &cue : cues) {
        const bool timed = std::isfinite(cue.startSeconds) && std::isfinite(cue.endSeconds) &&
                           cue.startSeconds >= 0 && cue.endSeconds > cue.startSeconds;
        if (timed && !isSoundTag(cue.subText))
            spans.push_back({cue.startSeconds, cue.endSeconds});
    }
    std::sort(spans.begin(), spans.end(),
              [](const CueSpan &a, const CueSpan &b) { return a.start < b.start; });
    return spans;
}
