#include "media/StringHelpers.h"

using namespace Qt::Literals::StringLiterals;

QString TrimWhitespace(const QString &text)
{
    return text.trimmed();
}

qsizetype LastPosOf(const QString &text, const QString &sought)
{
    if (sought.isEmpty())
        return 0;
    // lastIndexOf finds the same place as searching forward again and again
    // from just after each hit, overlapping hits included.
    return text.lastIndexOf(sought, -1, Qt::CaseInsensitive) + 1;
}

QString ReplaceLineEndings(const QString &text, const QString &ending)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out += ending;
        } else if (c == u'\n') {
            out += ending;
        } else {
            out += c;
        }
    }
    return out;
}
