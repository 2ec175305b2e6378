#pragma once

#include <QString>

// Small text transforms and searches used across the program.

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

// The text form of the value with "0" put in front up to `width` characters;
// never shortened.
QString ZeroPad(qint64 value, int width);
QString ZeroPad(const QString &text, int width);

// Percent-encodes text for the query of a web search: ASCII letters and
// digits stay, every other character up to U+00FF becomes "%" and two
// upper-case hexadecimal digits of its code point. Characters beyond U+00FF
// are written as the "%XX" escapes of their UTF-8 bytes, since a longer
// hexadecimal number after "%" would read back as a different character.
QString encodeURL(const QString &text);
