#include "cli/CliText.h"

using namespace Qt::Literals::StringLiterals;

QString printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            out += u"\\x%1"_s.arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}
