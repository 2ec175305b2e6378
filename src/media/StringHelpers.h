#pragma once

#include <QString>

// The text without leading and trailing white space (Unicode white space,
// line breaks included).
QString TrimWhitespace(const QString &text);

// The 1-based position of the last occurrence of `sought` in `text`, ignoring
// letter case; 0 when there is none or `sought` is empty.
qsizetype LastPosOf(const QString &text, const QString &sought);

// Every line ending (CR, LF or CR LF) replaced by `ending`.
QString ReplaceLineEndings(const QString &text, const QString &ending = QStringLiteral("\n"));

// The text unchanged; kept so that call sites read like their counterparts.
inline QString Str(const QString &text)
{
    return text;
}
