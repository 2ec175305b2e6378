#include "media/TextTransforms.h"

#include <QList>

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

QString ZeroPad(qint64 value, int width)
{
    return ZeroPad(QString::number(value), width);
}

QString ZeroPad(const QString &text, int width)
{
    if (text.size() >= width)
        return text;
    return QString(width - text.size(), u'0') + text;
}

namespace {
void appendEscape(QString &out, uint value)
{
    out += u'%';
    out += QString::number(value, 16).toUpper().rightJustified(2, u'0');
}
} // namespace

QString encodeURL(const QString &text)
{
    QString out;
    out.reserve(text.size() * 3);
    for (const uint cp : text.toUcs4()) {
        const bool asciiAlnum =
            (cp >= U'0' && cp <= U'9') || (cp >= U'A' && cp <= U'Z') || (cp >= U'a' && cp <= U'z');
        if (asciiAlnum) {
            out += QChar(char16_t(cp));
        } else if (cp <= 0xFF) {
            appendEscape(out, cp);
        } else {
            const char32_t c32 = cp;
            const QByteArray utf8 = QString::fromUcs4(&c32, 1).toUtf8();
            for (const char byte : utf8)
                appendEscape(out, static_cast<unsigned char>(byte));
        }
    }
    return out;
}
